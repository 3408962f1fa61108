// SPDX-License-Identifier: GPL-3.0-or-later
// Code 128 with the data's own invocation codes, Code 39 and interleaved 2 of 5 at a free
// wide-to-narrow ratio, built from the symbologies' public pattern tables.
#include <array>
#include <cmath>

#include "barcode/BarcodeParts.h"

namespace tw::barcode::parts {
namespace {

// Bar and space widths in modules of the Code 128 symbol values 0-105 and the stop pattern (106).
constexpr std::array<const char*, 107> kCode128Patterns = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213",
    "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132",
    "221231", "213212", "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211",
    "212123", "212321", "232121", "111323", "131123", "131321", "112313", "132113", "132311", "211313",
    "231113", "231311", "112133", "112331", "132131", "113123", "113321", "133121", "313121", "211331",
    "231131", "213113", "213311", "213131", "311123", "311321", "331121", "312113", "312311", "332111",
    "314111", "221411", "431111", "111224", "111422", "121124", "121421", "141122", "141221", "112214",
    "112412", "122114", "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",
    "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311", "113141",
    "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};

enum : int { kShift = 98, kCodeC = 99, kCodeB = 100, kCodeA = 101, kFnc1 = 102, kStartA = 103, kStop = 106 };
enum class Subset { A, B, C };

// The symbol value an invocation code ('>' and this character) stands for; -1: none.
int InvocationValue(char code) {
  constexpr std::string_view kCodes = "0<=123456789:;";
  constexpr std::array<int, 14> kValues = {30, 62, 94, 95, 96, 97, 98, 99, 100, 101, 102, 103, 104, 105};
  const size_t index = kCodes.find(code);
  return index == std::string_view::npos ? -1 : kValues[index];
}

// Longest data, in symbol characters, that a label could hold.
constexpr size_t kMaxCode128Values = 250;
constexpr size_t kMaxLinearChars = 250;

}  // namespace

char Mod10CheckDigit(std::string_view digits) {
  int sum = 0;
  int weight = 3;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    sum += (*it - '0') * weight;
    weight = 4 - weight;
  }
  return char('0' + (10 - sum % 10) % 10);
}

Bars EncodeCode128(std::string_view data, int moduleWidth, bool extraCheck) {
  Bars bars;
  std::vector<int> values;
  Subset subset = Subset::B;
  size_t i = 0;
  if (data.size() >= 2 && data[0] == '>' && InvocationValue(data[1]) >= kStartA) {
    values.push_back(InvocationValue(data[1]));
    subset = Subset(values[0] - kStartA);
    i = 2;
  } else {
    values.push_back(kStartA + 1);
  }
  bool shifted = false;   // the next character is taken from the other of subsets A and B
  char pendingDigit = 0;  // subset C: the first digit of a pair
  while (i < data.size()) {
    if (values.size() > kMaxCode128Values) {
      bars.error = "Code 128 data too long";
      return bars;
    }
    const char c = data[i];
    if (c == '>') {
      if (i + 1 >= data.size()) {
        bars.error = "Code 128 data ends in '>' (a literal '>' is written >0)";
        return bars;
      }
      const char code = data[i + 1];
      const int value = InvocationValue(code);
      i += 2;
      if (value < 0) {
        bars.error = std::string("unknown Code 128 invocation code >") + code;
        return bars;
      }
      if (value >= kStartA) {
        bars.error = std::string("Code 128 start code >") + code + " inside the data";
        return bars;
      }
      if (subset == Subset::C) {
        // Subset C knows only its switches and FNC1; a digit left unpaired before a code is dropped.
        pendingDigit = 0;
        if (value == kCodeB || value == kCodeA || value == kFnc1) {
          values.push_back(value);
          if (value != kFnc1) subset = value == kCodeB ? Subset::B : Subset::A;
        }
        continue;
      }
      if (value == 94 && subset == Subset::A) continue;  // '~' exists in subset B only
      values.push_back(value);
      if (value == 30 || value == 62 || value == 94) bars.text += char(value + 32);
      if (value == kShift) shifted = true;
      if (value == kCodeC) subset = Subset::C;
      if (value == kCodeB && subset == Subset::A) subset = Subset::B;
      if (value == kCodeA && subset == Subset::B) subset = Subset::A;
      continue;
    }
    ++i;
    if (subset == Subset::C) {
      // Digit pairs: a non-digit first character is ignored, a non-digit second one drops the pair.
      const bool digit = c >= '0' && c <= '9';
      if (digit && pendingDigit) {
        values.push_back((pendingDigit - '0') * 10 + (c - '0'));
        bars.text += pendingDigit;
        bars.text += c;
        pendingDigit = 0;
      } else {
        pendingDigit = digit ? c : 0;
      }
      continue;
    }
    const Subset current = shifted ? (subset == Subset::A ? Subset::B : Subset::A) : subset;
    shifted = false;
    const auto byte = static_cast<unsigned char>(c);
    if (current == Subset::A && byte < 0x60) {
      values.push_back(byte >= 0x20 ? byte - 0x20 : byte + 0x40);
    } else if (current == Subset::B && byte >= 0x20 && byte < 0x80) {
      values.push_back(byte - 0x20);
    } else {
      bars.error = std::string("Code 128 subset ") + (current == Subset::A ? 'A' : 'B') +
                   " cannot encode the character 0x" + "0123456789ABCDEF"[byte >> 4] + "0123456789ABCDEF"[byte & 15];
      return bars;
    }
    if (byte >= 0x20 && byte < 0x7F) bars.text += c;
  }
  if (extraCheck) {
    std::string digits;
    for (char c : bars.text)
      if (c >= '0' && c <= '9') digits += c;
    const char check = Mod10CheckDigit(digits);
    if (subset == Subset::C) values.push_back(kCodeB);
    values.push_back(check - '0' + 16);
    bars.text += check;
  }
  if (values.size() < 2) {
    bars.error = "Code 128 field has no data";
    return bars;
  }
  int sum = values[0];
  for (size_t k = 1; k < values.size(); ++k) sum = (sum + int(k) * values[k]) % 103;
  values.push_back(sum);
  values.push_back(kStop);
  for (int value : values)
    for (const char* width = kCode128Patterns[size_t(value)]; *width; ++width)
      bars.widths.push_back((*width - '0') * moduleWidth);
  return bars;
}

std::string AutomaticSubsets(std::string_view data, bool fnc1) {
  const auto digitsAt = [&](size_t i) {
    size_t count = 0;
    while (i + count < data.size() && data[i + count] >= '0' && data[i + count] <= '9') ++count;
    return count;
  };
  const auto inA = [](unsigned char c) { return c < 0x60; };
  const auto inB = [](unsigned char c) { return c >= 0x20 && c < 0x80; };
  // Subset C pays off from four digits on, or for a field of an even number of digits.
  const size_t leading = digitsAt(0);
  Subset subset = Subset::B;
  if (leading >= 4 || (leading == data.size() && leading % 2 == 0)) subset = Subset::C;
  else if (!data.empty() && !inB(data[0]) && inA(data[0])) subset = Subset::A;
  std::string coded = subset == Subset::C ? ">;" : subset == Subset::A ? ">9" : ">:";
  if (fnc1) coded += ">8";
  for (size_t i = 0; i < data.size();) {
    const auto c = static_cast<unsigned char>(data[i]);
    if (subset == Subset::C) {
      if (digitsAt(i) >= 2) {
        coded += data.substr(i, 2);
        i += 2;
        continue;
      }
      subset = !inB(c) && inA(c) ? Subset::A : Subset::B;
      coded += subset == Subset::A ? ">7" : ">6";
      continue;
    }
    const size_t digits = digitsAt(i);
    if (digits >= 4 && digits % 2 == 0) {
      coded += ">5";
      subset = Subset::C;
      continue;
    }
    if (subset == Subset::B && !inB(c) && inA(c)) {
      coded += ">7";
      subset = Subset::A;
    } else if (subset == Subset::A && !inA(c) && inB(c)) {
      coded += ">6";
      subset = Subset::B;
    }
    coded += c == '>' ? std::string(">0") : std::string(1, char(c));  // other bytes are refused later
    ++i;
  }
  return coded;
}

Bars EncodeCode39(std::string_view data, bool checkDigit, int narrow, int wide) {
  // The characters in the order of their check values, '*' last; each pattern's nine bits are its
  // bars and spaces from the left, 1 = wide.
  constexpr std::string_view kCharacters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
  constexpr std::array<uint16_t, 44> kPatterns = {
      0x034, 0x121, 0x061, 0x160, 0x031, 0x130, 0x070, 0x025, 0x124, 0x064, 0x109, 0x049, 0x148, 0x019, 0x118,
      0x058, 0x00D, 0x10C, 0x04C, 0x01C, 0x103, 0x043, 0x142, 0x013, 0x112, 0x052, 0x007, 0x106, 0x046, 0x016,
      0x181, 0x0C1, 0x1C0, 0x091, 0x190, 0x0D0, 0x085, 0x184, 0x0C4, 0x0A8, 0x0A2, 0x08A, 0x02A, 0x094};
  Bars bars;
  if (data.size() > kMaxLinearChars) {
    bars.error = "Code 39 data too long";
    return bars;
  }
  std::string payload(data);
  int sum = 0;
  for (char c : payload) {
    const size_t index = kCharacters.find(c);
    if (index == std::string_view::npos || c == '*') {
      bars.error = std::string("Code 39 cannot encode '") + c + "'";
      return bars;
    }
    sum += int(index);
  }
  if (checkDigit) payload += kCharacters[size_t(sum % 43)];
  bars.text = "*" + payload + "*";
  for (size_t k = 0; k < bars.text.size(); ++k) {
    const uint16_t pattern = kPatterns[kCharacters.find(bars.text[k])];
    for (int bit = 8; bit >= 0; --bit) bars.widths.push_back((pattern >> bit) & 1 ? wide : narrow);
    if (k + 1 < bars.text.size()) bars.widths.push_back(narrow);  // the gap between characters
  }
  return bars;
}

Bars EncodeInterleaved2of5(std::string_view data, bool checkDigit, int narrow, int wide) {
  // Five elements per digit, 1 = wide.
  constexpr std::array<const char*, 10> kDigits = {"00110", "10001", "01001", "11000", "00101",
                                                   "10100", "01100", "00011", "10010", "01010"};
  Bars bars;
  if (data.size() > kMaxLinearChars) {
    bars.error = "interleaved 2 of 5 data too long";
    return bars;
  }
  std::string digits(data);
  for (char c : digits)
    if (c < '0' || c > '9') {
      bars.error = std::string("interleaved 2 of 5 encodes digits only, not '") + c + "'";
      return bars;
    }
  if (checkDigit) digits += Mod10CheckDigit(digits);
  if (digits.size() % 2) digits.insert(0, 1, '0');
  bars.text = digits;
  bars.widths = {narrow, narrow, narrow, narrow};
  for (size_t k = 0; k < digits.size(); k += 2) {
    const char* onBars = kDigits[size_t(digits[k] - '0')];
    const char* onSpaces = kDigits[size_t(digits[k + 1] - '0')];
    for (int e = 0; e < 5; ++e) {
      bars.widths.push_back(onBars[e] == '1' ? wide : narrow);
      bars.widths.push_back(onSpaces[e] == '1' ? wide : narrow);
    }
  }
  bars.widths.insert(bars.widths.end(), {wide, narrow, narrow});
  return bars;
}

}  // namespace tw::barcode::parts
