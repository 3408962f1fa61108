// SPDX-License-Identifier: GPL-3.0-or-later
// Barcode symbols read back by a real decoder, bar widths counted in dots, and bad data refused.
#include <gtest/gtest.h>

#include "barcode/Barcode.h"
#include "support/ZxingDecode.h"

namespace tw::barcode {
namespace {

struct RoundTrip {
  const char* name;
  Symbology symbology;
  std::string data;
  std::string decoded;  // what the decoder reads
  std::string format;   // the decoder's name of the symbology
  std::string text;     // interpretation line
  friend void PrintTo(const RoundTrip& row, std::ostream* out) { *out << row.name; }
};

class BarcodeRoundTrip : public ::testing::TestWithParam<std::tuple<RoundTrip, int>> {};

TEST_P(BarcodeRoundTrip, DecodesToTheData) {
  const auto& [row, moduleWidth] = GetParam();
  Request request;
  request.symbology = row.symbology;
  request.data = row.data;
  request.moduleWidth = moduleWidth;
  request.magnification = moduleWidth;
  request.matrixModuleSize = moduleWidth;
  request.height = 60;
  const Symbol symbol = Encode(request);
  ASSERT_EQ(symbol.error, "");
  const test::Decoded decoded = test::ZxingDecode(symbol.width, symbol.height, symbol.dots);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.text, row.decoded);
  EXPECT_EQ(decoded.format, row.format);
  EXPECT_EQ(symbol.text, row.text);
}

const RoundTrip kRoundTrips[] = {
    {"QrAutomatic", Symbology::Qr, "QA,Tagwright 0123", "Tagwright 0123", "QRCode", ""},
    {"QrManualGroups", Symbology::Qr, "HM,N0123,AABC,B0004a,b;", "0123ABCa,b;", "QRCode", ""},
    {"Code128DefaultB", Symbology::Code128, "Tagwright 128", "Tagwright 128", "Code128", "Tagwright 128"},
    {"Code128BToC", Symbology::Code128, ">:AB>512345678", "AB12345678", "Code128", "AB12345678"},
    {"Code128CToB", Symbology::Code128, ">;1234>6xy>0", "1234xy>", "Code128", "1234xy>"},
    {"Code128CDropsUnpaired", Symbology::Code128, ">;12a3x45>6z", "1245z", "Code128", "1245z"},
    {"Code128AToB", Symbology::Code128, ">9AB>6cd", "ABcd", "Code128", "ABcd"},
    {"Code128Fnc1", Symbology::Code128, ">;>80112345678901231", "0112345678901231", "Code128", "0112345678901231"},
    {"Code39", Symbology::Code39, "TAG-39 X", "TAG-39 X", "Code39", "*TAG-39 X*"},
    {"Interleaved2of5Odd", Symbology::Interleaved2of5, "12345", "012345", "ITF", "012345"},
    {"Ean13", Symbology::Ean13, "123456789012", "1234567890128", "EAN-13", "1234567890128"},
    {"Ean13Truncated", Symbology::Ean13, "4006381333931999", "4006381333931", "EAN-13", "4006381333931"},
    {"UpcAPadded", Symbology::UpcA, "123", "000000001236", "UPC-A", "000000001236"},
    {"UpcA", Symbology::UpcA, "01234567890", "012345678905", "UPC-A", "012345678905"},
    {"Pdf417", Symbology::Pdf417, "Tagwright PDF417 0123", "Tagwright PDF417 0123", "PDF417", ""},
    {"DataMatrix", Symbology::DataMatrix, "Tagwright DM 0123", "Tagwright DM 0123", "DataMatrix", ""},
};

INSTANTIATE_TEST_SUITE_P(Symbologies, BarcodeRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(kRoundTrips), ::testing::Values(2, 3)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_w" +
                                  std::to_string(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace tw::barcode
