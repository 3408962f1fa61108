// SPDX-License-Identifier: GPL-3.0-or-later
// The command block of the E setup wizard, built from its choices: the lines, their order and the
// conditions under which each is sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wizards/EplConfig.h"

namespace tw {
namespace {

using U = LengthUnit;

std::vector<std::string> LinesOf(const std::string& block) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < block.size()) {
    const std::size_t end = block.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
    if (end == std::string::npos) break;
    lines.push_back(block.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// The choices of the wizard's documented example: 56.00 x 12.50 mm gap labels with 3.00 mm gaps,
// lowest speed, darkness 15, transfer printing, U.S.A., top-of-form backup, no clock.
EplSetupChoices Example(int resolution) {
  const DotDensity density = DensityForResolution(resolution);
  EplSetupChoices c;
  c.widthDots = static_cast<long long>(CommandDots(56.00, U::Millimetre, density));
  c.lengthDots = static_cast<long long>(CommandDots(12.50, U::Millimetre, density));
  c.gapDots = static_cast<long long>(CommandDots(3.00, U::Millimetre, density));
  c.offsetDots = static_cast<long long>(CommandDots(0.00, U::Millimetre, density));
  c.mediaType = 2;
  c.orientation = 0;
  c.speed = 0;
  c.darkness = "15";
  c.printMode = 1;
  c.handling = 0;
  c.errorReport = false;
  c.codePage = 0;
  c.country = 16;
  c.tofBackup = true;
  c.setClock = false;
  return c;
}

TEST(EplSetupBlockTest, ExampleAt203Dpi) {
  EXPECT_EQ(BuildEplSetupBlock(Example(kResolution203)),
            "q448\r\nQ100,24+0\r\nZT\r\nS2\r\nD15\r\nO\r\nUN\r\nI8,0,001\r\nJF\r\n");
}

TEST(EplSetupBlockTest, ExampleAt300DpiAndBeforeAnyRead) {
  for (int resolution : {kResolution300, 0}) {
    const std::vector<std::string> lines = LinesOf(BuildEplSetupBlock(Example(resolution)));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "q672") << resolution;
    EXPECT_EQ(lines[1], "Q150,36+0") << resolution;
  }
}

TEST(EplSetupBlockTest, InchesAt300DpiUseTheCommandFactor) {
  EplSetupChoices c = Example(kResolution300);
  c.widthDots = static_cast<long long>(CommandDots(2.20, U::Inch, DensityForResolution(kResolution300)));
  EXPECT_EQ(LinesOf(BuildEplSetupBlock(c)).front(), "q670");  // 2.20 x 25.4 x 12 = 670.56
}

TEST(EplSetupBlockTest, LabelLineOfEveryMediaType) {
  EplSetupChoices c = Example(kResolution203);
  c.mediaType = 1;
  c.gapDots = 0;
  c.offsetDots = static_cast<long long>(CommandDots(-1.00, U::Millimetre, DensityForResolution(kResolution203)));
  EXPECT_EQ(EplLabelLine(c), "Q100,B000-8");
  c.mediaType = 2;
  EXPECT_EQ(EplLabelLine(c), "Q100,000-8");
  c.gapDots = 24;
  c.offsetDots = 5;
  EXPECT_EQ(EplLabelLine(c), "Q100,24+5");
  for (int continuous : {0, -1}) {
    c.mediaType = continuous;
    EXPECT_EQ(EplLabelLine(c), "Q0001,0") << "whatever the lengths hold";
  }
}

TEST(EplSetupBlockTest, ClockLineOnlyWithTheAdvancedSettings) {
  EplSetupChoices c = Example(kResolution203);
  c.setClock = true;
  c.clock = {2026, 3, 7, 9, 5, 4};
  c.advanced = false;
  std::vector<std::string> lines = LinesOf(BuildEplSetupBlock(c));
  EXPECT_EQ(lines.back(), "JF");
  EXPECT_EQ(lines.size(), 9u) << "the lines O to JF are sent without the advanced settings";

  c.advanced = true;
  lines = LinesOf(BuildEplSetupBlock(c));
  EXPECT_EQ(lines.back(), "TS3,7,2026,9,5,4");
  c.computerClock = false;
  EXPECT_EQ(LinesOf(BuildEplSetupBlock(c)).back(), "TS03,07,2026,09,05,04");
}

TEST(EplSetupBlockTest, AdvancedLinesFollowTheirControls) {
  EplSetupChoices c = Example(kResolution203);
  c.orientation = 1;
  c.speed = 4;
  c.darkness = "3";
  c.printMode = 0;
  c.handling = 1;
  c.errorReport = true;
  c.codePage = 14;
  c.country = 5;
  c.tofBackup = false;
  EXPECT_EQ(BuildEplSetupBlock(c), "q448\r\nQ100,24+0\r\nZB\r\nS6\r\nD3\r\nO\r\nOD\r\nOP\r\nUS\r\nI8,A,049\r\nJB\r\n");
  c.handling = 2;
  EXPECT_EQ(LinesOf(BuildEplSetupBlock(c))[7], "OL");
}

TEST(EplSetupBlockTest, CodePagesBeyondTheListKeepTheirCommand) {
  EplSetupChoices c = Example(kResolution203);
  const std::vector<std::pair<int, std::string>> cases = {
      {10, "I8,10,001"}, {19, "I8,F,001"}, {20, "I7,0,001"}, {23, "I7,3,001"}, {28, "I7,8,001"}};
  for (const auto& [index, line] : cases) {
    c.codePage = index;
    EXPECT_EQ(LinesOf(BuildEplSetupBlock(c))[7], line) << index;
  }
}

TEST(EplSetupBlockTest, ListsWithoutASelectionLeaveTheirCommandOut) {
  EplSetupChoices c = Example(kResolution203);
  c.orientation = -1;
  c.speed = -1;
  c.darkness = "";
  c.printMode = -1;
  c.handling = -1;
  c.codePage = -1;
  EXPECT_EQ(BuildEplSetupBlock(c), "q448\r\nQ100,24+0\r\nO\r\nUN\r\nJF\r\n");
  c = Example(kResolution203);
  c.country = -1;
  EXPECT_EQ(BuildEplSetupBlock(c).find("I8,"), std::string::npos);
}

}  // namespace
}  // namespace tw
