#include "app/TextFiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "lang/MessageCatalog.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

void SayFileFailed(std::string_view key, const QString& path, const QString& reason) {
  ShowMessageQ(Tip(key) + QDir::toNativeSeparators(path) + QStringLiteral("\n") + reason,
               QString::fromUtf8(kApplicationTitle), MsgIcon::Error);
}

}  // namespace

QString WithTextFileName(const QString& path) {
  const QFileInfo info(path);
  QString name = info.fileName().toLower();
  if (!name.endsWith(QStringLiteral(".txt"))) name += QStringLiteral(".txt");
  return info.dir().filePath(name);
}

bool WriteFileOrSay(const QString& path, std::string_view bytes) {
  QFile file(path);
  const auto size = static_cast<qint64>(bytes.size());
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes.data(), size) == size &&
      file.flush()) {
    file.close();
    if (file.error() == QFileDevice::NoError) return true;
  }
  SayFileFailed("FileWriteFail", path, file.errorString());
  return false;
}

void SayFileReadFailed(const QString& path, const QString& reason) { SayFileFailed("FileReadFail", path, reason); }

}  // namespace tw
