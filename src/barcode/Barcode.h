// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Barcode symbols for the label preview: turns a field's data into the dots of one symbol at the
// printer's resolution, unrotated. Pure logic: no drawing surface, no printer. The preview places,
// rotates and clips the symbol and draws its interpretation line with its own fonts.
#include <cstdint>
#include <string>
#include <vector>

namespace tw::barcode {

enum class Symbology { Code128, Code39, Interleaved2of5, Ean13, UpcA, Pdf417, DataMatrix, Qr };

struct Request {
  Symbology symbology = Symbology::Code128;
  // The field's bytes after hexadecimal escapes were decoded. Code 128 in mode 'N' may carry the
  // data's own invocation codes (">:" start B, ">5" code C, ">8" FNC1 ...); QR carries its
  // field-data prefix ("QA,text", "MM,N0123,...").
  std::string data;
  int moduleWidth = 2;     // narrow bar / module width in dots (1-10)
  double ratio = 3.0;      // wide-to-narrow ratio for Code 39 and interleaved 2 of 5 (2.0-3.0)
  int height = 10;         // bar height of linear codes in dots; PDF417 row height in dots
  bool checkDigit = false; // Code 39 mod 43, interleaved 2 of 5 mod 10, Code 128 extra mod 10
  char code128Mode = 'N';  // N (invocation codes in the data), U, A (automatic subsets), D
  bool upcPrintCheckDigit = true;
  // Two-dimensional codes. 0 means the symbology's default or automatic choice.
  int magnification = 0;       // QR module size in dots
  char qrErrorCorrection = 0;  // H, Q, M or L; 0: from the field-data prefix, else Q
  int pdfSecurity = 0;         // 0-8
  int pdfColumns = 0;          // data columns 1-30
  int pdfRows = 0;             // rows 3-90
  bool pdfTruncate = false;
  int matrixModuleSize = 0;    // Data Matrix module size in dots
  int matrixColumns = 0;       // Data Matrix columns and rows
  int matrixRows = 0;
};

struct Symbol {
  int width = 0;               // in dots
  int height = 0;              // in dots
  std::vector<uint8_t> dots;   // row-major, width * height bytes, 1 = black
  std::string text;            // interpretation line as printed (linear codes); empty for 2-D
  std::string error;           // non-empty: nothing drawn, and why (bad data, bad parameter)
};

// Encodes one symbol. Never throws; bounded in time and memory on any input (over-long data is
// refused with an error).
Symbol Encode(const Request& request);

}  // namespace tw::barcode
