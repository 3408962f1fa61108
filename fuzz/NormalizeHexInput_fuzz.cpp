// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the text and hex conversions: none may crash, and the properties that the
// program relies on must hold for every input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/HexConversions.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

bool IsUpperHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Normalized text is a sequence of upper-case hex pairs and CR LF line breaks.
bool IsNormalized(std::string_view text) {
  if (text.size() % 2 != 0) return false;
  for (std::size_t pos = 0; pos < text.size(); pos += 2) {
    const bool lineBreak = text[pos] == '\r' && text[pos + 1] == '\n';
    if (!lineBreak && !(IsUpperHexDigit(text[pos]) && IsUpperHexDigit(text[pos + 1]))) return false;
  }
  return true;
}

void CheckNormalizeHexInput(std::string_view input) {
  const tw::NormalizedHex normalized = tw::NormalizeHexInput(input);
  if (normalized.result < 0) {
    Require(normalized.result == -1 || normalized.result == -2);
    Require(normalized.text.empty());
    return;
  }
  Require(static_cast<std::size_t>(normalized.result) == normalized.text.size());
  Require(IsNormalized(normalized.text));
  // The text form written from normalized text reads back as the same bytes.
  Require(tw::DecodeEscapes(tw::HexViewToEscapedText(normalized.text)) ==
          tw::HexPairsToBytes(normalized.text));
}

void CheckByteRoundTrips(std::string_view bytes) {
  const std::string text = tw::BytesToEscapedText(bytes);
  Require(tw::DecodeEscapes(text) == bytes);

  const tw::NormalizedHex viaHexView = tw::NormalizeHexInput(tw::BytesToHexView(text));
  Require(viaHexView.result >= 0);
  Require(tw::HexPairsToBytes(viaHexView.text) == bytes);

  const std::string spaced = tw::BytesToSpacedHex(bytes);
  Require(spaced.size() == 3 * bytes.size());
  const tw::NormalizedHex viaSpaced = tw::NormalizeHexInput(spaced);
  Require(viaSpaced.result == static_cast<int>(2 * bytes.size()));
  Require(tw::HexPairsToBytes(viaSpaced.text) == bytes);

  // The hex view of arbitrary data (taken as text form) shows each escape as its byte.
  Require(tw::HexPairsToBytes(tw::NormalizeHexInput(tw::BytesToHexView(bytes)).text) ==
          tw::DecodeEscapes(bytes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckNormalizeHexInput(input);
  CheckByteRoundTrips(input);
  // Text that is not normalized must still be handled without harm.
  (void)tw::HexPairsToBytes(input);
  (void)tw::HexViewToEscapedText(input);
  return 0;
}
