// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/HexConversions.h"

#include <array>
#include <climits>
#include <cstddef>

namespace tw {
namespace {

constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr std::size_t kEscapeLength = 6;  // "<\xHH>"
constexpr unsigned char kCr = '\r';
constexpr unsigned char kLf = '\n';

unsigned char ByteAt(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// The value of every hex digit (either case); -1 for every other byte.
constexpr auto kHexDigitValues = [] {
  std::array<signed char, 256> values{};
  values.fill(-1);
  for (int i = 0; i < 10; ++i) values['0' + i] = static_cast<signed char>(i);
  for (int i = 0; i < 6; ++i) {
    values['A' + i] = static_cast<signed char>(10 + i);
    values['a' + i] = static_cast<signed char>(10 + i);
  }
  return values;
}();

int HexDigitValue(unsigned char c) { return kHexDigitValues[c]; }

// The byte of the escape that starts at `pos`, or -1 when no complete escape starts there.
int EscapeAt(std::string_view s, std::size_t pos) {
  if (pos >= s.size() || s.size() - pos < kEscapeLength) return -1;
  if (s[pos] != '<' || s[pos + 1] != '\\' || (s[pos + 2] != 'x' && s[pos + 2] != 'X') ||
      s[pos + 5] != '>')
    return -1;
  const int high = HexDigitValue(ByteAt(s, pos + 3));
  const int low = HexDigitValue(ByteAt(s, pos + 4));
  if (high < 0 || low < 0) return -1;
  return high * 16 + low;
}

// True when the "<" at `pos` is followed by nothing but the start of an escape spelling up to the end
// of `s` ("<", "<\", "<\x", "<\x4" or "<\x41" at its end). Text added after `s` (the next received
// chunk) could complete it into an escape, so such a "<" is written as an escape too.
bool UnfinishedEscapeAt(std::string_view s, std::size_t pos) {
  if (pos >= s.size() || s[pos] != '<' || s.size() - pos >= kEscapeLength) return false;
  for (std::size_t k = 1; pos + k < s.size(); ++k) {
    const unsigned char c = ByteAt(s, pos + k);
    const bool fits = k == 1 ? c == '\\' : k == 2 ? (c == 'x' || c == 'X') : HexDigitValue(c) >= 0;
    if (!fits) return false;
  }
  return true;
}

bool IsCrLfAt(std::string_view s, std::size_t pos) {
  return pos + 1 < s.size() && ByteAt(s, pos) == kCr && ByteAt(s, pos + 1) == kLf;
}

// A byte that the code page 936 memo shows only together with a second such byte. 0xFF is neither
// a lead nor a trail byte there, so a pair holding it could not be shown and is escaped instead.
bool IsDoubleByteHalf(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

void AppendHexPair(std::string& out, unsigned char byte) {
  out += kUpperDigits[byte >> 4];
  out += kUpperDigits[byte & 0x0F];
}

void AppendEscape(std::string& out, unsigned char byte) {
  out += "<\\x";
  AppendHexPair(out, byte);
  out += '>';
}

// One step of a walk over normalized hex text, two characters at a time.
struct HexPair {
  enum class Kind { Byte, LineBreak, Other, End } kind;
  unsigned char value = 0;
};

HexPair PairAt(std::string_view normalized, std::size_t pos) {
  if (pos >= normalized.size() || normalized.size() - pos < 2) return {HexPair::Kind::End};
  if (IsCrLfAt(normalized, pos)) return {HexPair::Kind::LineBreak};
  const int high = HexDigitValue(ByteAt(normalized, pos));
  const int low = HexDigitValue(ByteAt(normalized, pos + 1));
  if (high < 0 || low < 0) return {HexPair::Kind::Other};
  return {HexPair::Kind::Byte, static_cast<unsigned char>(high * 16 + low)};
}

bool IsBytePair(const HexPair& pair, unsigned char value) {
  return pair.kind == HexPair::Kind::Byte && pair.value == value;
}

// True when the "<" at pair `pos` and the five pairs after it spell an escape, or when the pairs
// after it up to the end begin one. Written as they are, those bytes would read back as the escape's
// single byte (or could, once more text follows), so the "<" is written as an escape.
bool LiteralEscapeAtPair(std::string_view normalized, std::size_t pos) {
  char spelled[kEscapeLength];
  std::size_t length = 0;
  for (; length < kEscapeLength; ++length) {
    const HexPair pair = PairAt(normalized, pos + 2 * length);
    if (pair.kind == HexPair::Kind::End) break;
    if (pair.kind != HexPair::Kind::Byte) return false;
    spelled[length] = static_cast<char>(pair.value);
  }
  const std::string_view bytes(spelled, length);
  return EscapeAt(bytes, 0) >= 0 || UnfinishedEscapeAt(bytes, 0);
}

// NormalizeHexInput can report lengths up to INT_MAX; every input character gives at most two.
constexpr std::size_t kMaxHexInputLength = INT_MAX / 2;

}  // namespace

std::string DecodeEscapes(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int escaped = text[i] == '<' ? EscapeAt(text, i) : -1;
    if (escaped >= 0) {
      bytes += static_cast<char>(escaped);
      i += kEscapeLength - 1;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

std::string BytesToEscapedText(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = ByteAt(bytes, i);
    const bool pairFollows = i + 1 < bytes.size();
    if (b == '<' && (EscapeAt(bytes, i) >= 0 || UnfinishedEscapeAt(bytes, i))) {
      AppendEscape(text, b);  // keeps a literal "<\xHH>" in the data literal
    } else if (b >= 0x20 && b <= 0x80) {
      text += static_cast<char>(b);
    } else if (IsCrLfAt(bytes, i)) {
      text += "\r\n";
      ++i;
    } else if (IsDoubleByteHalf(b) && pairFollows && IsDoubleByteHalf(ByteAt(bytes, i + 1))) {
      text += bytes.substr(i, 2);
      ++i;
    } else {
      AppendEscape(text, b);
    }
  }
  return text;
}

NormalizedHex NormalizeHexInput(std::string_view hexText) {
  const NormalizedHex illegal{{}, -1};
  const NormalizedHex groupTooLong{{}, -2};
  if (hexText.size() > kMaxHexInputLength) return illegal;

  std::string text;
  text.reserve(hexText.size() + hexText.size() / 2);
  std::size_t groupLength = 0;
  // A group of one digit gets a "0" in front of it.
  auto padSingleDigit = [&] {
    if (groupLength == 1) {
      const char digit = text.back();
      text.back() = '0';
      text += digit;
    }
  };
  // Position hexText.size() stands for the blank appended to the input, which ends the last group.
  for (std::size_t i = 0; i <= hexText.size(); ++i) {
    const unsigned char c = i < hexText.size() ? ByteAt(hexText, i) : ' ';
    if (c == ' ') {
      if (groupLength > 2) return groupTooLong;
      padSingleDigit();
      groupLength = 0;
    } else if (c == kCr || c == kLf) {
      // A line break (CR LF, or a lone CR or LF as pasted text may hold) ends a group of any even
      // length; an odd one would shift every later pair.
      if (groupLength > 1 && groupLength % 2 != 0) return illegal;
      padSingleDigit();
      groupLength = 0;
      text += "\r\n";
      if (IsCrLfAt(hexText, i)) ++i;
    } else if (const int value = HexDigitValue(c); value >= 0) {
      text += kUpperDigits[value];
      ++groupLength;
    } else {
      return illegal;
    }
  }
  // Every group now holds an even number of digits, so the text's length is even.
  const int length = static_cast<int>(text.size());
  return {std::move(text), length};
}

std::string HexPairsToBytes(std::string_view normalized) {
  std::string bytes;
  bytes.reserve(normalized.size() / 2 + 1);
  for (std::size_t pos = 0; pos + 1 < normalized.size(); pos += 2) {
    const HexPair pair = PairAt(normalized, pos);
    if (pair.kind == HexPair::Kind::LineBreak)
      bytes += "\r\n";
    else if (pair.kind == HexPair::Kind::Byte)
      bytes += static_cast<char>(pair.value);
  }
  return bytes;
}

std::string BytesToHexView(std::string_view bytes) {
  std::string hex;
  hex.reserve(3 * bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (IsCrLfAt(bytes, i)) {
      hex += "\r\n";
      ++i;
      continue;
    }
    const int escaped = bytes[i] == '<' ? EscapeAt(bytes, i) : -1;
    if (escaped >= 0) i += kEscapeLength - 1;
    AppendHexPair(hex, escaped >= 0 ? static_cast<unsigned char>(escaped) : ByteAt(bytes, i));
    hex += ' ';
  }
  return hex;
}

std::string BytesToSpacedHex(std::string_view bytes) {
  std::string hex;
  hex.reserve(3 * bytes.size());
  for (const char b : bytes) {
    AppendHexPair(hex, static_cast<unsigned char>(b));
    hex += ' ';
  }
  return hex;
}

std::string HexViewToEscapedText(std::string_view normalized) {
  std::string text;
  text.reserve(normalized.size());
  std::size_t pos = 0;
  while (pos + 1 < normalized.size()) {
    const HexPair pair = PairAt(normalized, pos);
    const HexPair next = PairAt(normalized, pos + 2);
    const std::size_t here = pos;
    pos += 2;
    if (pair.kind == HexPair::Kind::LineBreak) {
      text += "\r\n";
      continue;
    }
    if (pair.kind != HexPair::Kind::Byte) continue;

    const unsigned char b = pair.value;
    const unsigned char high = b >> 4;
    if (b == kCr && IsBytePair(next, kLf)) {
      text += "\r\n";
      pos += 2;
    } else if (b == kCr || high <= 0x1 || high == 0xF) {
      AppendEscape(text, b);
    } else if (high <= 0x7) {
      if (b == '<' && LiteralEscapeAtPair(normalized, here))
        AppendEscape(text, b);
      else
        text += static_cast<char>(b);
    } else if (b == 0x80 || IsBytePair(next, 0x80)) {
      // 0x80 stands alone in code page 936, and a lead byte followed by it is shown as one character.
      text += static_cast<char>(b);
    } else if (next.kind == HexPair::Kind::Byte && IsDoubleByteHalf(next.value)) {
      text += static_cast<char>(b);
      text += static_cast<char>(next.value);
      pos += 2;
    } else {
      // A lead byte at the end or before anything else cannot be shown on its own.
      AppendEscape(text, b);
    }
  }
  return text;
}

}  // namespace tw
