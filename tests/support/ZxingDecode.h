// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads a barcode back from a 1-bit image with a real decoder (libzxing), so that the tests judge
// the drawn symbols by what a scanner sees rather than by their own idea of the patterns.
#include <cstdint>
#include <string>
#include <vector>

namespace tw::test {

struct Decoded {
  bool ok = false;
  std::string text;         // as UTF-8 (the decoder's character-set guess for binary data)
  std::string bytes;        // the raw content bytes
  std::string format;       // "Code128", "Code39", "ITF", "EAN-13", "UPC-A", "PDF417", "DataMatrix", "QRCode"
  std::string symbologyId;  // "]C1" for Code 128 starting with FNC1, ...
};

// Decodes the one symbol in `dots` (row-major, width * height bytes, 1 = black). The image is
// surrounded by `margin` white pixels first: the label may end at the symbol's edge, the decoder
// wants a quiet zone.
Decoded ZxingDecode(int width, int height, const std::vector<uint8_t>& dots, int margin = 40);

}  // namespace tw::test
