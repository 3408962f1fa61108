#include "app/MemoText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include "link/HexConversions.h"

namespace tw {

QString TextFormToMemo(std::string_view textForm) {
  QStringDecoder decode("windows-936");
  QString text = decode(QByteArrayView(textForm.data(), static_cast<qsizetype>(textForm.size())));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

std::string MemoToTextForm(const QString& memo) {
  QString text = memo;
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  QStringEncoder encode("windows-936");
  QByteArray bytes = encode(text);
  return bytes.toStdString();
}

QString ReceivedChunkToMemo(std::string_view bytes, bool hex) {
  // The hex form is made from the text form, so that data that happens to spell an escape is shown
  // as the bytes it is.
  const std::string textForm = BytesToEscapedText(bytes);
  return TextFormToMemo(hex ? BytesToHexView(textForm) : textForm);
}

}  // namespace tw
