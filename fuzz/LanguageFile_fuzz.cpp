// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the reading of a language file's bytes.
// Properties checked:
//  - a file that is valid UTF-8 is read as it is, byte for byte;
//  - every other file is read converted (from GB18030), and what is read is valid UTF-8, so every
//    text the windows take from it is.
// Validity is judged here independently of the reader (RFC 3629: no overlong forms, no surrogates,
// nothing above U+10FFFF, no sequence cut at the end).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "lang/Language.h"

namespace {

bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (text.size() - i < static_cast<std::size_t>(length)) return false;
    for (int k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string read = tw::ParseLanguageFile(bytes).Serialize();
  if (IsUtf8(bytes)) {
    fuzz::Require(read == bytes);
  } else {
    fuzz::Require(IsUtf8(read));
  }
  return 0;
}
