// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the barcode encoder: the first bytes choose the symbology and its parameters (a few out of
// range), the rest is the field data.
// Properties checked:
//  - a refused symbol has a reason and no dots; a drawn one has width * height dots, each 0 or 1,
//    and no side over 32000 dots;
//  - a linear symbol is as high as asked and starts and ends with a bar (no quiet zone);
//  - a drawn linear symbol's interpretation line holds printable characters only.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "barcode/Barcode.h"

using fuzz::Require;
using tw::barcode::Symbology;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  tw::barcode::Request request;
  request.symbology = Symbology(input.Byte() % 8);
  request.moduleWidth = input.Byte() % 12;           // 0 and 11 are out of range
  request.ratio = 1.9 + (input.Byte() % 13) / 10.0;  // 1.9-3.1
  request.height = input.Byte() % 100;               // small: the fuzzer should spend its time on the data
  const uint8_t flags = input.Byte();
  request.checkDigit = flags & 1;
  request.upcPrintCheckDigit = flags & 2;
  request.pdfTruncate = flags & 4;
  request.code128Mode = "NUAD"[(flags >> 3) & 3];
  request.magnification = input.Byte() % 12;
  request.matrixModuleSize = input.Byte() % 12;
  request.qrErrorCorrection = "\0HQML"[input.Byte() % 5];
  request.pdfSecurity = input.Byte() % 10 - 1;
  request.pdfColumns = input.Byte() % 32;
  request.pdfRows = input.Byte() % 92;
  request.matrixColumns = input.Byte() % 150;
  request.matrixRows = input.Byte() % 150;
  request.data = std::string(input.Rest());

  const tw::barcode::Symbol symbol = tw::barcode::Encode(request);
  if (!symbol.error.empty()) {
    Require(symbol.dots.empty());
    return 0;
  }
  Require(symbol.width > 0 && symbol.height > 0 && symbol.width <= 32000 && symbol.height <= 32000);
  Require(symbol.dots.size() == std::size_t(symbol.width) * std::size_t(symbol.height));
  for (const uint8_t dot : symbol.dots) Require(dot <= 1);
  const bool linear = request.symbology != Symbology::Pdf417 && request.symbology != Symbology::DataMatrix &&
                      request.symbology != Symbology::Qr;
  if (!linear) return 0;
  Require(symbol.height == request.height);
  Require(symbol.dots.front() == 1 && symbol.dots[std::size_t(symbol.width) - 1] == 1);
  for (const char c : symbol.text) Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
  return 0;
}
