// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pieces Encode puts together: the encoders built from the public pattern tables, the libzint
// wrapper, and the step that turns bars or modules into dots.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "barcode/Barcode.h"

namespace tw::barcode::parts {

// A linear symbol as alternating bar and space widths in dots, starting with a bar, no quiet zones.
struct Bars {
  std::vector<int> widths;
  std::string text;   // interpretation line
  std::string error;  // non-empty: no symbol
};

// Code 128 with the data's own invocation codes (">:" start B, ">5" code C, ">8" FNC1 ...); start
// B when the data names no start code. `extraCheck` adds a mod-10 digit over the data's digits.
Bars EncodeCode128(std::string_view data, int moduleWidth, bool extraCheck);
// Plain data written with the invocation codes of a short Code 128: subset C for runs of four or
// more digits, A only for control characters, B otherwise; `fnc1` puts FNC1 behind the start.
std::string AutomaticSubsets(std::string_view data, bool fnc1);
// Code 39 with its '*' start and stop, optionally the mod-43 check character.
Bars EncodeCode39(std::string_view data, bool checkDigit, int narrow, int wide);
// Interleaved 2 of 5, optionally the mod-10 check digit; a leading 0 makes the digit count even.
Bars EncodeInterleaved2of5(std::string_view data, bool checkDigit, int narrow, int wide);

// The mod-10 check digit of EAN/UPC and interleaved 2 of 5: weights 3 and 1 from the right.
char Mod10CheckDigit(std::string_view digits);

// A symbol as a grid of modules (1 = dark), as libzint encodes it.
struct Modules {
  int columns = 0;
  int rows = 0;
  std::vector<uint8_t> cells;  // rows * columns
  std::string text;
  std::string error;
};

struct ZintJob {
  int symbology = 0;  // BARCODE_...
  std::string data;
  int inputMode = 0;  // DATA_MODE ...
  int option1 = -1;
  int option2 = 0;
  int option3 = 0;
  int appendIndex = 0;  // structured append: 1-based index, count and id; 0: none
  int appendCount = 0;
  std::string appendId;
};
Modules EncodeWithZint(const ZintJob& job);

// The dots of a symbol; an error when it would exceed the bounds a label can hold.
Symbol FromBars(const Bars& bars, int height);
Symbol FromModules(const Modules& modules, int moduleWidth, int rowHeight);

}  // namespace tw::barcode::parts
