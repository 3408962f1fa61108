// SPDX-License-Identifier: GPL-3.0-or-later
// Where the preview puts fields: the dots drawn lie inside the expected rectangle and cover the
// inner one (the same rectangle for boxes and graphics, which are exact; a looser pair for text,
// whose glyphs are stand-ins).
#include <gtest/gtest.h>

#include "preview/Preview.h"

namespace tw::preview {
namespace {

struct Rect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // [x0, x1) x [y0, y1)
};

struct Geometry {
  const char* name;
  CommandSet set;
  std::string data;
  Rect outer, inner;
  int black = -1;     // dots drawn, where exact
  int notDrawn = 0;
  std::string reason = "";  // of the first thing not drawn, where it matters
  friend void PrintTo(const Geometry& row, std::ostream* out) { *out << row.name; }
};

Rect BlackBounds(const LabelImage& image) {
  Rect r{image.width(), image.height(), 0, 0};
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!image.At(x, y)) continue;
      r = {std::min(r.x0, x), std::min(r.y0, y), std::max(r.x1, x + 1), std::max(r.y1, y + 1)};
    }
  }
  return r;
}

class LabelGeometry : public ::testing::TestWithParam<Geometry> {};

TEST_P(LabelGeometry, DrawsInsideTheExpectedRectangle) {
  const Geometry& row = GetParam();
  const Result result = Render(row.data, row.set, {});
  ASSERT_EQ(result.labels.size(), 1u);
  const Label& label = result.labels[0];
  EXPECT_EQ(label.notDrawn.size(), static_cast<std::size_t>(row.notDrawn));
  if (!row.reason.empty() && !label.notDrawn.empty()) EXPECT_EQ(label.notDrawn[0].reason, row.reason);
  if (row.black >= 0) {
    EXPECT_EQ(label.image.CountBlack(), row.black);
  }
  if (row.black == 0) return;
  const Rect r = BlackBounds(label.image);
  EXPECT_GE(r.x0, row.outer.x0);
  EXPECT_GE(r.y0, row.outer.y0);
  EXPECT_LE(r.x1, row.outer.x1);
  EXPECT_LE(r.y1, row.outer.y1);
  EXPECT_LE(r.x0, row.inner.x0);
  EXPECT_LE(r.y0, row.inner.y0);
  EXPECT_GE(r.x1, row.inner.x1);
  EXPECT_GE(r.y1, row.inner.y1);
}

// 64 x 16 dots: a black first and last row, and columns 0, 7, 8, 15 ... 63 between, as zlib data in
// base 64.
const std::string kFrame = "eJz7/x8CGukMoNb+BwA9vkhh";

const Geometry kRows[] = {
    {"HomeAndOrigin", CommandSet::Z, "^XA^LH10,20^FO5,7^GB30,40,3^FS^XZ", {15, 27, 45, 67}, {15, 27, 45, 67}, 384},
    {"TypesetBoxBottomLeft", CommandSet::Z, "^XA^FT5,50^GB10,10,10^FS^XZ", {5, 40, 15, 50}, {5, 40, 15, 50}, 100},
    {"HorizontalLine", CommandSet::Z, "^XA^FO0,0^GB100,0,3^FS^XZ", {0, 0, 100, 3}, {0, 0, 100, 3}, 300},
    {"VerticalLine", CommandSet::Z, "^XA^FO7,9^GB0,50,2^FS^XZ", {7, 9, 9, 59}, {7, 9, 9, 59}, 100},
    {"LabelShiftLeft", CommandSet::Z, "^XA^LS4^FO10,0^GB5,5,5^FS^XZ", {6, 0, 11, 5}, {6, 0, 11, 5}, 25},
    {"WholeLabelUpsideDown", CommandSet::Z, "^XA^PW100^LL100^POI^FO0,0^GB10,10,10^FS^XZ", {90, 90, 100, 100}, {90, 90, 100, 100}, 100},
    {"HugeLabelUpsideDown", CommandSet::Z, "^XA^PW12000^LL12000^POI^FO0,0^GB10,10,10^FS^XZ", {11990, 11990, 12000, 12000}, {11990, 11990, 12000, 12000}, 100},
    {"EHugeLabelUpsideDown", CommandSet::E, "q12001\nQ12000,24\nN\nZB\nLO0,0,10,10\nP1\n", {11991, 11990, 12001, 12000}, {11991, 11990, 12001, 12000}, 100},
    {"DiagonalRightLeaning", CommandSet::Z, "^XA^FO0,0^GD10,10,2,B,R^FS^XZ", {0, 0, 10, 10}, {0, 0, 10, 10}, 20},
    {"HexGraphic", CommandSet::Z, "^XA^FO10,10^GFA,4,4,2,FFFF8001^FS^XZ", {10, 10, 26, 12}, {10, 10, 26, 12}, 18},
    {"CompressedHexGraphic", CommandSet::Z, "^XA^FO0,0^GFA,4,4,2,IF,:^FS^XZ", {0, 0, 12, 2}, {0, 0, 12, 2}, 24},
    {"Z64GraphicWithItsCheck", CommandSet::Z, "^XA^FO10,10^GFA,128,128,8,:Z64:" + kFrame + ":5F6D^FS^XZ",
     {10, 10, 74, 26}, {10, 10, 74, 26}, 352},
    {"Z64GraphicWithAWrongCheck", CommandSet::Z, "^XA^FO10,10^GFA,128,128,8,:Z64:" + kFrame + ":5F6C^FS^XZ", {}, {}, 0, 1},
    {"Z64GraphicLongerThanDeclared", CommandSet::Z, "^XA^FO10,10^GFA,16,16,2,:Z64:eJztwQENAAAAwqD+qW8PBxQAAADwboFh8OI=:5AAA^FS^XZ",
     {10, 10, 26, 18}, {10, 10, 26, 18}, 128},
    {"B64Graphic", CommandSet::Z, "^XA^FO10,10^GFA,4,4,2,:B64:8A/wDw==:DA10^FS^XZ", {10, 10, 26, 12}, {10, 10, 26, 12}, 16},
    {"HexRunCountPastTheRow", CommandSet::Z, "^XA^FO0,0^GFA,2,2,2," + std::string(5368710, 'z') + "F^FS^XZ", {0, 0, 16, 1}, {0, 0, 16, 1}, 16},
    {"Circle", CommandSet::Z, "^XA^FO10,10^GC20,2,B^FS^XZ", {10, 10, 30, 30}, {10, 10, 30, 30}},
    {"Ellipse", CommandSet::Z, "^XA^FO10,10^GE30,20,2,B^FS^XZ", {10, 10, 40, 30}, {10, 10, 40, 30}},
    {"FieldReverse", CommandSet::Z, "^XA^FO0,0^GB20,20,20^FS^FO0,0^FR^GB10,10,10^FS^XZ", {0, 0, 20, 20}, {0, 0, 20, 20}, 300},
    {"BarcodeLargerThanDrawn", CommandSet::Z, "^XA^BY10^FO0,0^A0N,32000,32000^BCN,2000,Y^FD" + std::string(240, 'A') + "^FS^XZ",
     {}, {}, 0, 1, "the field is larger than the preview draws"},
    {"TextAtOrigin", CommandSet::Z, "^XA^FO100,50^ADN,18,10^FDHELLO^FS^XZ", {100, 50, 160, 68}, {103, 54, 156, 64}},
    {"TextOnBaseline", CommandSet::Z, "^XA^FT100,80^ADN,18,10^FDHELLO^FS^XZ", {100, 62, 160, 81}, {103, 69, 156, 79}},
    {"TextTurnedRight", CommandSet::Z, "^XA^FO100,50^ADR,18,10^FDHELLO^FS^XZ", {100, 50, 118, 110}, {104, 53, 114, 106}},
    {"TextUpsideDown", CommandSet::Z, "^XA^FO100,50^ADI,18,10^FDHELLO^FS^XZ", {100, 50, 160, 68}, {104, 54, 157, 64}},
    {"TextTurnedLeft", CommandSet::Z, "^XA^FO100,50^ADB,18,10^FDHELLO^FS^XZ", {100, 50, 118, 110}, {104, 54, 114, 107}},
    {"TextTurnedByDefault", CommandSet::Z, "^XA^FWR^FO100,50^AD,18,10^FDHELLO^FS^XZ", {100, 50, 118, 110}, {104, 53, 114, 106}},
    {"BlockRightJustified", CommandSet::Z, "^XA^FO0,0^FB300,1,0,R^ADN,18,10^FDAB^FS^XZ", {276, 0, 300, 18}, {279, 4, 296, 14}},
    {"BlockCentred", CommandSet::Z, "^XA^FO0,0^FB300,1,0,C^ADN,18,10^FDAB^FS^XZ", {138, 0, 162, 18}, {141, 4, 158, 14}},
    {"BlockWrapsWords", CommandSet::Z, "^XA^FO0,0^FB130,3,0,L^ADN,18,10^FDAAAA BBBB CCCC^FS^XZ", {0, 0, 130, 36}, {3, 4, 100, 32}},
    {"BlockLineBreak", CommandSet::Z, "^XA^FO0,0^FB300,3,5,L^ADN,18,10^FDA\\&B\\&C^FS^XZ", {0, 0, 12, 64}, {3, 4, 9, 60}},
    {"FieldOffTheLabel", CommandSet::Z, "^XA^PW100^LL100^FO150,0^GB10,10,10^FS^XZ", {}, {}, 0, 1},
    {"HugeTextIsReportedNotDrawn", CommandSet::Z, "^XA^FO0,0^A0N,2100,1680^FDHello world, hello world^FS^XZ", {}, {}, 0, 1},
    {"UnknownCommand", CommandSet::Z, "^XA^ZZ1^PR4^MD10^PQ2^FO0,0^GB2,2,2^FS^XZ", {0, 0, 2, 2}, {0, 0, 2, 2}, 4, 1},
    {"ELine", CommandSet::E, "N\nLO10,20,30,40\nP1\n", {10, 20, 40, 60}, {10, 20, 40, 60}, 1200},
    {"EBox", CommandSet::E, "N\nX10,10,2,30,20\nP1\n", {10, 10, 30, 20}, {10, 10, 30, 20}, 2 * 20 + 2 * 20 + 2 * 2 * 6},
    {"EWhiteAndInvert", CommandSet::E, "N\nLO0,0,10,10\nLW0,0,10,5\nLE0,0,10,20\nP1\n", {0, 0, 10, 20}, {0, 0, 10, 20}, 150},
    {"ERawGraphicZeroIsBlack", CommandSet::E, std::string("N\nGW5,6,1,2,\x0F\xFF\nP1\n", 18), {5, 6, 9, 7}, {5, 6, 9, 7}, 4},
    {"ECode128ForcedSubsetKeepsItsData", CommandSet::E, "N\nB10,10,0,1B,2,6,50,N,\"PART>512\"\nP1\n", {10, 10, 256, 60}, {10, 10, 256, 60}},
    {"ETextTurnedAboutItsCorner", CommandSet::E, "N\nA50,50,1,3,1,1,N,\"AB\"\nP1\n", {30, 50, 50, 78}, {35, 52, 47, 74}},
    {"ETextReversed", CommandSet::E, "N\nA50,50,0,3,2,1,R,\"AB\"\nP1\n", {50, 50, 106, 70}, {50, 50, 106, 70}},
};

INSTANTIATE_TEST_SUITE_P(Fields, LabelGeometry, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LabelPreview, TellsTheCommandSetAndSplitsLabels) {
  EXPECT_EQ(DetectCommandSet("\r\n^xa^FDx^FS^XZ"), CommandSet::Z);
  EXPECT_EQ(DetectCommandSet("q812\r\nN\r\nP1\r\n"), CommandSet::E);
  EXPECT_EQ(DetectCommandSet("hello\n"), std::nullopt);
  const Result two = Render("^XA^PW40^LL30^XZ^XA^FO0,0^GB4,4,4^FS^XZ", CommandSet::Z, {12, 0, 0});
  ASSERT_EQ(two.labels.size(), 2u);
  EXPECT_EQ(two.labels[1].image.width(), 40);  // ^PW stays in force
  EXPECT_EQ(two.labels[1].image.CountBlack(), 16);
  const Result big = Render("^XA\n^PW40000^XZ", CommandSet::Z, {});
  ASSERT_EQ(big.labels.size(), 1u);
  EXPECT_TRUE(big.labels[0].image.empty());
  ASSERT_EQ(big.labels[0].notDrawn.size(), 1u);
  EXPECT_EQ(Describe(big.labels[0].notDrawn[0]), "2:1: ^PW: the label is larger than 32000 dots a side");
  EXPECT_EQ(Render("^XA^XZ", CommandSet::Z, {6, 0, 0}).labels[0].image.width(), 610);  // 4 inches
  // Two 32000-dot squares fill the images' memory: the third label is reported at its ^XA.
  const Result full = Render("^XA^XZ^XA^XZ\n^XA\n^FO0,0^XZ", CommandSet::Z, {8, 32000, 32000});
  ASSERT_EQ(full.labels.size(), 3u);
  ASSERT_EQ(full.labels[2].notDrawn.size(), 1u);
  EXPECT_EQ(Describe(full.labels[2].notDrawn[0]), "2:1: ^XA: " + std::string("the labels before this one fill the preview's memory"));
}

}  // namespace
}  // namespace tw::preview
