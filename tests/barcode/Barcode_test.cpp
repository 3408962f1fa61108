// SPDX-License-Identifier: GPL-3.0-or-later
// Barcode symbols read back by a real decoder, bar widths counted in dots, and bad data refused.
#include <gtest/gtest.h>

#include <set>

#include "barcode/Barcode.h"
#include "support/ZxingDecode.h"

namespace tw::barcode {
namespace {

struct RoundTrip {
  const char* name;
  Request request;      // module sizes and height come from the test
  std::string decoded;  // what the decoder reads
  std::string format;   // the decoder's name of the symbology
  std::string text;     // interpretation line
  std::string symbologyId = "";  // checked where given: "]C1" is FNC1 after the start
  friend void PrintTo(const RoundTrip& row, std::ostream* out) { *out << row.name; }
};

class BarcodeRoundTrip : public ::testing::TestWithParam<std::tuple<RoundTrip, int>> {};

TEST_P(BarcodeRoundTrip, DecodesToTheData) {
  const auto& [row, moduleWidth] = GetParam();
  Request request = row.request;
  request.moduleWidth = request.magnification = request.matrixModuleSize = moduleWidth;
  request.height = 60;
  const Symbol symbol = Encode(request);
  ASSERT_EQ(symbol.error, "");
  ASSERT_EQ(symbol.dots.size(), size_t(symbol.width) * size_t(symbol.height));
  const test::Decoded decoded = test::ZxingDecode(symbol.width, symbol.height, symbol.dots);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.text, row.decoded);
  EXPECT_EQ(decoded.format, row.format);
  EXPECT_EQ(symbol.text, row.text);
  if (!row.symbologyId.empty()) EXPECT_EQ(decoded.symbologyId, row.symbologyId);
}

std::string Printable() {
  std::string all;
  for (char c = ' '; c <= '~'; ++c) all += c == '>' ? std::string(">0") : std::string(1, c);
  return all;
}
std::string DigitPairs() {
  std::string all = ">;";
  for (int pair = 0; pair < 100; ++pair) all += std::to_string(pair / 10) + std::to_string(pair % 10);
  return all;
}
std::string Decoded(const std::string& data) {
  std::string out;
  for (size_t i = 0; i < data.size(); ++i) out += data[i] == '>' ? data[++i] == '0' ? ">" : "" : data.substr(i, 1);
  return out;
}

using S = Symbology;
const std::string kCode39 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
const RoundTrip kRoundTrips[] = {
    {"QrAutomatic", {.symbology = S::Qr, .data = "QA,Tagwright 0123"}, "Tagwright 0123", "QRCode", ""},
    {"QrManualGroups", {.symbology = S::Qr, .data = "HM,N0123,AABC,B0004a,b;"}, "0123ABCa,b;", "QRCode", ""},
    {"QrStructuredAppend", {.symbology = S::Qr, .data = "D0102A5,LA,part one"}, "part one", "QRCode", ""},
    {"Code128DefaultB", {.data = "Tagwright 128"}, "Tagwright 128", "Code128", "Tagwright 128"},
    {"Code128EverySubsetBValue", {.data = Printable()}, Decoded(Printable()), "Code128", Decoded(Printable())},
    {"Code128EverySubsetCValue", {.data = DigitPairs()}, DigitPairs().substr(2), "Code128", DigitPairs().substr(2)},
    {"Code128BToC", {.data = ">:AB>512345678"}, "AB12345678", "Code128", "AB12345678"},
    {"Code128CToB", {.data = ">;1234>6xy>0"}, "1234xy>", "Code128", "1234xy>"},
    {"Code128CDropsUnpaired", {.data = ">;12a3x45>6z"}, "1245z", "Code128", "1245z"},
    {"Code128AToB", {.data = ">9AB>6cd"}, "ABcd", "Code128", "ABcd"},
    {"Code128AShift", {.data = ">9AB>4cD\t"}, "ABcD\t", "Code128", "ABcD"},
    {"Code128Fnc1", {.data = ">;>80112345678901231"}, "0112345678901231", "Code128", "0112345678901231",
     "]C1"},
    {"Code128ExtraCheck", {.data = ">:AB12", .checkDigit = true}, "AB123", "Code128", "AB123"},
    {"Code128CaseCode", {.data = "1234567", .code128Mode = 'U'}, "00000000000012345670", "Code128",
     "00000000000012345670"},
    {"Code128Automatic", {.data = "ABC123456def", .code128Mode = 'A'}, "ABC123456def", "Code128", "ABC123456def"},
    {"Code128Identifiers", {.data = "(10)AB1(01)09501101530003", .code128Mode = 'D'}, "10AB1\x1d" "0109501101530003",
     "Code128", "(10)AB1(01)09501101530003", "]C1"},
    {"Code128IdentifiersPlain", {.data = "0109501101530003", .code128Mode = 'D'}, "0109501101530003", "Code128",
     "0109501101530003", "]C1"},
    {"Code128IdentifiersMixed", {.data = "x12345\ty>", .code128Mode = 'D'}, "x12345\ty>", "Code128", "x12345y>",
     "]C1"},
    {"Code39EveryCharacter", {.symbology = S::Code39, .data = kCode39}, kCode39, "Code39", "*" + kCode39 + "*"},
    {"Code39Mod43", {.symbology = S::Code39, .data = "CODE39", .checkDigit = true}, "CODE39W", "Code39",
     "*CODE39W*"},
    {"Interleaved2of5Odd", {.symbology = S::Interleaved2of5, .data = "123456789"}, "0123456789", "ITF", "0123456789"},
    {"Interleaved2of5Mod10", {.symbology = S::Interleaved2of5, .data = "1234567", .checkDigit = true}, "12345670",
     "ITF", "12345670"},
    {"Ean13", {.symbology = S::Ean13, .data = "123456789012"}, "1234567890128", "EAN-13", "1234567890128"},
    {"Ean13Truncated", {.symbology = S::Ean13, .data = "4006381333931999"}, "4006381333931", "EAN-13",
     "4006381333931"},
    {"UpcA", {.symbology = S::UpcA, .data = "01234567890"}, "012345678905", "UPC-A", "012345678905"},
    {"UpcAPaddedCheckNotPrinted", {.symbology = S::UpcA, .data = "123", .upcPrintCheckDigit = false},
     "000000001236", "UPC-A", "00000000123"},
    {"Pdf417", {.symbology = S::Pdf417, .data = "Tagwright PDF417 0123"}, "Tagwright PDF417 0123", "PDF417", ""},
    {"Pdf417Shaped", {.symbology = S::Pdf417, .data = "shaped", .pdfSecurity = 3, .pdfColumns = 2, .pdfRows = 12},
     "shaped", "PDF417", ""},
    {"Pdf417Truncated", {.symbology = S::Pdf417, .data = "cut short", .pdfTruncate = true}, "cut short", "PDF417",
     ""},
    {"DataMatrix", {.symbology = S::DataMatrix, .data = "Tagwright DM 0123"}, "Tagwright DM 0123", "DataMatrix", ""},
    {"DataMatrixSized", {.symbology = S::DataMatrix, .data = "DM", .matrixColumns = 18, .matrixRows = 18}, "DM",
     "DataMatrix", ""},
};

INSTANTIATE_TEST_SUITE_P(Symbologies, BarcodeRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(kRoundTrips), ::testing::Values(2, 3)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_w" +
                                  std::to_string(std::get<1>(info.param));
                         });

// The widths of the bars and spaces of a linear symbol's first row, and that it starts and ends
// with a bar: the printer adds no quiet zone.
struct BarWidths {
  const char* name;
  Request request;
  std::set<int> widths;
  friend void PrintTo(const BarWidths& row, std::ostream* out) { *out << row.name; }
};

class BarcodeBarWidths : public ::testing::TestWithParam<BarWidths> {};

TEST_P(BarcodeBarWidths, AreNarrowAndWideInDots) {
  const Symbol symbol = Encode(GetParam().request);
  ASSERT_EQ(symbol.error, "");
  ASSERT_EQ(symbol.height, GetParam().request.height);
  ASSERT_EQ(symbol.dots.front(), 1);
  ASSERT_EQ(symbol.dots[size_t(symbol.width) - 1], 1);
  std::set<int> widths;
  int run = 1;
  for (int x = 1; x <= symbol.width; ++x, ++run)
    if (x == symbol.width || symbol.dots[size_t(x)] != symbol.dots[size_t(x) - 1]) widths.insert(std::exchange(run, 0));
  EXPECT_EQ(widths, GetParam().widths);
  for (int y = 1; y < symbol.height; ++y)
    ASSERT_TRUE(std::equal(symbol.dots.begin(), symbol.dots.begin() + symbol.width,
                           symbol.dots.begin() + ptrdiff_t(y) * symbol.width));
}

const BarWidths kBarWidths[] = {
    {"Code39W2R3", {.symbology = S::Code39, .data = "AB12", .moduleWidth = 2, .ratio = 3.0, .height = 7}, {2, 6}},
    {"Code39W3R25", {.symbology = S::Code39, .data = "AB12", .moduleWidth = 3, .ratio = 2.5, .height = 5}, {3, 8}},
    {"Code39W9R24", {.symbology = S::Code39, .data = "Z", .moduleWidth = 9, .ratio = 2.4, .height = 3}, {9, 22}},
    {"Interleaved2of5W2R2", {.symbology = S::Interleaved2of5, .data = "1234", .moduleWidth = 2, .ratio = 2.0},
     {2, 4}},
    {"Interleaved2of5W3R27", {.symbology = S::Interleaved2of5, .data = "1234", .moduleWidth = 3, .ratio = 2.7},
     {3, 8}},
    {"Code128W3", {.data = ">;>8001234567890", .moduleWidth = 3, .height = 4}, {3, 6, 9, 12}},
    {"Ean13W2", {.symbology = S::Ean13, .data = "123456789012", .moduleWidth = 2, .height = 9}, {2, 4, 6, 8}},
};

INSTANTIATE_TEST_SUITE_P(Linear, BarcodeBarWidths, ::testing::ValuesIn(kBarWidths),
                         [](const auto& info) { return std::string(info.param.name); });

// Bad data and parameters give an error and no dots.
struct BadInput {
  const char* name;
  Request request;
  friend void PrintTo(const BadInput& row, std::ostream* out) { *out << row.name; }
};

class BarcodeBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(BarcodeBadInput, IsRefused) {
  const Symbol symbol = Encode(GetParam().request);
  EXPECT_NE(symbol.error, "");
  EXPECT_TRUE(symbol.dots.empty());
}

const BadInput kBadInputs[] = {
    {"EmptyCode128", {.data = ""}},
    {"EmptyQr", {.symbology = S::Qr, .data = ""}},
    {"OnlyStartCode", {.data = ">;"}},
    {"LoneInvocationMark", {.data = "AB>"}},
    {"UnknownInvocationCode", {.data = "AB>x"}},
    {"StartCodeInside", {.data = "AB>;12"}},
    {"ControlCharacterInSubsetB", {.data = "A\tB"}},
    {"Code128TooLong", {.data = std::string(400, 'x')}},
    {"Code39WiderThanALabel", {.symbology = S::Code39, .data = std::string(200, 'X'), .moduleWidth = 10}},
    {"Code39Lowercase", {.symbology = S::Code39, .data = "abc"}},
    {"Code39Star", {.symbology = S::Code39, .data = "A*B"}},
    {"Interleaved2of5Letters", {.symbology = S::Interleaved2of5, .data = "12A4"}},
    {"EanNonDigits", {.symbology = S::Ean13, .data = "12345678901X"}},
    {"UpcNonDigits", {.symbology = S::UpcA, .data = "-1"}},
    {"CaseCodeNonDigits", {.data = "12AB", .code128Mode = 'U'}},
    {"IdentifiersUnclosed", {.data = "(01)123(10", .code128Mode = 'D'}},
    {"UnknownCode128Mode", {.data = "AB", .code128Mode = 'Z'}},
    {"QrWithoutPrefix", {.symbology = S::Qr, .data = "hello"}},
    {"QrShortByteGroup", {.symbology = S::Qr, .data = "MM,B0100abc"}},
    {"QrUnknownGroup", {.symbology = S::Qr, .data = "MM,Xabc"}},
    {"QrTooLong", {.symbology = S::Qr, .data = "QA," + std::string(7000, 'x')}},
    {"QrHugeModules", {.symbology = S::Qr, .data = "LA," + std::string(2000, 'x'), .magnification = 100}},
    {"DataMatrixNoSuchSize", {.symbology = S::DataMatrix, .data = "DM", .matrixColumns = 11, .matrixRows = 11}},
    {"DataMatrixTooSmall", {.symbology = S::DataMatrix, .data = std::string(40, 'x'), .matrixColumns = 10}},
    {"Pdf417TooFewRows", {.symbology = S::Pdf417, .data = "x", .pdfRows = 2}},
    {"Pdf417Security9", {.symbology = S::Pdf417, .data = "x", .pdfSecurity = 9}},
    {"ModuleWidthZero", {.data = "AB", .moduleWidth = 0}},
    {"ModuleWidthEleven", {.data = "AB", .moduleWidth = 11}},
    {"RatioBelowTwo", {.symbology = S::Code39, .data = "AB", .ratio = 1.5}},
    {"RatioAboveThree", {.symbology = S::Interleaved2of5, .data = "12", .ratio = 3.1}},
    {"HeightZero", {.data = "AB", .height = 0}},
};

INSTANTIATE_TEST_SUITE_P(Rows, BarcodeBadInput, ::testing::ValuesIn(kBadInputs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tw::barcode
