// SPDX-License-Identifier: GPL-3.0-or-later
// Barcode fields drawn by the preview and read back from the label image by a real decoder, at two
// resolutions and two orientations; the narrowest bar of a linear code is one module wide.
#include <gtest/gtest.h>

#include <cstdio>

#include "preview/Preview.h"
#include "support/ZxingDecode.h"

namespace tw::preview {
namespace {

struct Field {
  const char* name;
  const char* command;  // %c: the orientation
  std::string data;     // as written after ^FD
  std::string decoded;
  const char* format;
  bool linear;
  friend void PrintTo(const Field& row, std::ostream* out) { *out << row.name; }
};

const Field kFields[] = {
    {"Code128SubsetSwitches", "^BC%c,80,Y,N,N", ">:AB>5123456>6cd", "AB123456cd", "Code128", true},
    {"Code128HexEscapes", "^FH^BC%c,80", "A_5EB_7e", "A^B~", "Code128", true},
    {"Code39", "^B3%c,N,80,Y,N", "TAG-39", "TAG-39", "Code39", true},
    {"Interleaved2of5", "^B2%c,80,Y,N,N", "12345678", "12345678", "ITF", true},
    {"Ean13", "^BE%c,80,Y,N", "590123412345", "5901234123457", "EAN-13", true},
    {"UpcA", "^BU%c,80,Y,N,Y", "03600029145", "036000291452", "UPC-A", true},
    {"Pdf417", "^B7%c,8,5,4", "PDF417 preview", "PDF417 preview", "PDF417", false},
    {"DataMatrix", "^BX%c,6,200", "DM preview_5F123", "DM preview_5F123", "DataMatrix", false},
    {"Qr", "^BQ%c,2", "QA,QR _preview", "QR _preview", "QRCode", false},
};

// The shortest run of black dots along row (or column) `at` of the image.
int NarrowestBar(const LabelImage& image, bool alongColumn, int at) {
  int narrowest = 1 << 30, run = 0;
  const int length = alongColumn ? image.height() : image.width();
  for (int i = 0; i <= length; ++i) {
    const bool black = i < length && (alongColumn ? image.At(at, i) : image.At(i, at));
    if (black) {
      ++run;
    } else if (run > 0) {
      narrowest = std::min(narrowest, run);
      run = 0;
    }
  }
  return narrowest;
}

class BarcodeFields : public ::testing::TestWithParam<std::tuple<Field, int, char>> {};

TEST_P(BarcodeFields, DecodeToTheirData) {
  const auto& [field, dotsPerMm, orientation] = GetParam();
  const int module = dotsPerMm / 4;  // 2 dots at 8 dots/mm, 3 at 12
  char command[64];
  std::snprintf(command, sizeof command, field.command, orientation);
  const std::string data = "^XA^PW600^LL600^BY" + std::to_string(module) + "^FO100,100" + command + "^FD" +
                           field.data + "^FS^XZ";
  const Result result = Render(data, CommandSet::Z, {dotsPerMm, 0, 0});
  ASSERT_EQ(result.labels.size(), 1u);
  const LabelImage& image = result.labels[0].image;
  EXPECT_TRUE(result.labels[0].notDrawn.empty()) << Describe(result.labels[0].notDrawn[0]);
  // The field's part of the label (the rest is white): the decoder looks for a symbol near the
  // middle of its image.
  int x0 = image.width(), y0 = image.height(), x1 = 0, y1 = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.At(x, y)) x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
    }
  }
  ASSERT_LT(x0, x1);
  std::vector<uint8_t> dots;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) dots.push_back(image.At(x, y));
  }
  const test::Decoded decoded = test::ZxingDecode(x1 - x0, y1 - y0, dots);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.text, field.decoded);
  EXPECT_EQ(decoded.format, field.format);
  if (field.linear) {  // across the bars, 40 dots from their top
    EXPECT_EQ(NarrowestBar(image, orientation == 'R', orientation == 'R' ? x1 - 41 : y0 + 40), module);
  }
}

INSTANTIATE_TEST_SUITE_P(Symbologies, BarcodeFields,
                         ::testing::Combine(::testing::ValuesIn(kFields), ::testing::Values(8, 12),
                                            ::testing::Values('N', 'R')),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::to_string(std::get<1>(info.param)) + "dpmm_" + std::get<2>(info.param);
                         });

}  // namespace
}  // namespace tw::preview
