// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MemoText.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <array>
#include <cstdint>
#include <vector>

#include "link/HexConversions.h"

namespace tw {
namespace {

// Characters that a text document does not keep as they are: it turns the line and paragraph
// separators and its frame markers into line breaks and the no-break space into a space.
bool DocumentChangesCharacter(char16_t c) {
  return c == 0x2028 || c == 0x2029 || c == 0x00A0 || c == 0xFDD0 || c == 0xFDD1;
}

// What code page 936 shows and gives back unchanged, checked once with the codec itself: every byte
// from 0x80 alone, and every pair of a byte from 0x80 with any second byte.
class CodePage936 {
 public:
  CodePage936() : encoding_(0x10000, 0) {
    QStringDecoder decoder("windows-936");
    QStringEncoder encoder("windows-936");
    // The character that `bytes` stand for when they decode to one character that encodes back to
    // them; 0 otherwise.
    auto shownAs = [&](QByteArrayView bytes) -> char16_t {
      decoder.resetState();
      const QString shown = decoder(bytes);
      if (shown.size() != 1 || shown[0].isSurrogate() || DocumentChangesCharacter(shown[0].unicode())) return 0;
      encoder.resetState();
      const QByteArray encoded = encoder(shown);
      return encoded == bytes ? shown[0].unicode() : 0;
    };
    for (int first = 0x80; first <= 0xFF; ++first) {
      const char single = static_cast<char>(first);
      Record(singles_[first - 0x80], shownAs(QByteArrayView(&single, 1)), static_cast<uint16_t>(first));
      for (int second = 0; second <= 0xFF; ++second) {
        const char pair[2] = {single, static_cast<char>(second)};
        Record(pairs_[PairIndex(first, second)], shownAs(QByteArrayView(pair, 2)),
               static_cast<uint16_t>(first << 8 | second));
      }
    }
  }

  // The character shown for a byte from 0x80 alone, or for such a byte and the byte after it; 0 when
  // the code page does not give them back.
  char16_t Single(unsigned char byte) const { return singles_[byte - 0x80]; }
  char16_t Pair(unsigned char first, unsigned char second) const { return pairs_[PairIndex(first, second)]; }
  // The bytes of a character from U+0080 (one byte when below 0x100), 0 when the code page cannot
  // encode it so that it reads back the same.
  uint16_t Encoding(char16_t c) const { return encoding_[c]; }

 private:
  static std::size_t PairIndex(int first, int second) { return static_cast<std::size_t>((first - 0x80) << 8 | second); }
  void Record(char16_t& slot, char16_t shown, uint16_t bytes) {
    slot = shown;
    if (shown >= 0x80) encoding_[shown] = bytes;
  }

  std::array<char16_t, 0x80> singles_{};
  std::array<char16_t, 0x80 * 0x100> pairs_{};
  std::vector<uint16_t> encoding_;
};

const CodePage936& CodePage() {
  static const CodePage936 table;
  return table;
}

constexpr char kUpperDigits[] = "0123456789ABCDEF";

void AppendEscape(QString& memo, unsigned char byte) {
  const char escape[] = {'<', '\\', 'x', kUpperDigits[byte >> 4], kUpperDigits[byte & 0x0F], '>'};
  memo.append(QLatin1StringView(escape, sizeof escape));
}

bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n' || c == 0x2028 || c == 0x2029; }

bool NeedsGb18030(char16_t c, const CodePage936& codePage) {
  return c >= 0x80 && !IsLineBreak(c) && codePage.Encoding(c) == 0;
}

}  // namespace

QString TextFormToMemo(std::string_view textForm) {
  const CodePage936& codePage = CodePage();
  QString memo;
  memo.reserve(static_cast<qsizetype>(textForm.size()));
  const std::size_t size = textForm.size();
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(textForm[i]);
    if (byte == '\r' && i + 1 < size && textForm[i + 1] == '\n') {
      memo += QLatin1Char('\n');
      ++i;
    } else if (byte >= 0x20 && byte < 0x80) {
      memo += QLatin1Char(static_cast<char>(byte));
    } else if (byte < 0x20) {
      AppendEscape(memo, byte);  // control bytes, a lone CR or LF: the memo would not keep them
    } else if (const char16_t pair = i + 1 < size ? codePage.Pair(byte, static_cast<unsigned char>(textForm[i + 1])) : 0) {
      memo += QChar(pair);
      ++i;
    } else if (const char16_t single = codePage.Single(byte)) {
      memo += QChar(single);
    } else {
      AppendEscape(memo, byte);
    }
  }
  return memo;
}

std::string MemoToTextForm(const QString& memo) {
  const CodePage936& codePage = CodePage();
  const char16_t* text = reinterpret_cast<const char16_t*>(memo.constData());
  const std::size_t size = static_cast<std::size_t>(memo.size());
  std::string textForm;
  textForm.reserve(size + size / 2);
  for (std::size_t i = 0; i < size; ++i) {
    const char16_t c = text[i];
    if (IsLineBreak(c)) {
      textForm += "\r\n";
      if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n') ++i;
    } else if (c < 0x80) {
      textForm += static_cast<char>(c);
    } else if (const uint16_t bytes = codePage.Encoding(c)) {
      if (bytes > 0xFF) textForm += static_cast<char>(bytes >> 8);
      textForm += static_cast<char>(bytes & 0xFF);
    } else {
      // A run of characters the code page cannot encode (surrogate pairs included) goes to GB18030
      // in one piece.
      std::size_t end = i + 1;
      while (end < size && NeedsGb18030(text[end], codePage)) ++end;
      QStringEncoder gb18030("GB18030");
      const QByteArray encoded = gb18030(QStringView(text + i, static_cast<qsizetype>(end - i)));
      textForm.append(encoded.constData(), static_cast<std::size_t>(encoded.size()));
      i = end - 1;
    }
  }
  return textForm;
}

QString ReceivedChunkToMemo(std::string_view bytes, bool hex) {
  // The hex form is made from the text form, so that data that happens to spell an escape is shown
  // as the bytes it is.
  const std::string textForm = BytesToEscapedText(bytes);
  return TextFormToMemo(hex ? BytesToHexView(textForm) : textForm);
}

QString SwitchMemoForm(const QString& memo, bool toHex) {
  const std::string textForm = MemoToTextForm(memo);
  if (toHex) return TextFormToMemo(BytesToHexView(textForm));
  const NormalizedHex normalized = NormalizeHexInput(textForm);
  return normalized.result < 0 ? QString() : TextFormToMemo(HexViewToEscapedText(normalized.text));
}

std::string MemoFormToBytes(const QString& memo, bool hex) {
  const std::string textForm = MemoToTextForm(memo);
  if (!hex) return DecodeEscapes(textForm);
  const NormalizedHex normalized = NormalizeHexInput(textForm);
  return normalized.result < 0 ? std::string() : HexPairsToBytes(normalized.text);
}

}  // namespace tw
