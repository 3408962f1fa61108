// SPDX-License-Identifier: GPL-3.0-or-later
// The Z setup wizard's command block, byte for byte: the defaults, the pieces that depend on the
// advanced settings, signed and zero-filled numbers, the clock lines and the list letters.
#include <gtest/gtest.h>

#include <string>

#include "wizards/ZSetupBlock.h"

namespace tw {
namespace {

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

TEST(ZSetupBlock, TheDefaultsGiveTheDesignedBlock) {
  EXPECT_EQ(BuildZSetupBlock({}), Lines({"~MUD", "~SD20", "~TA000", "~JSB", "^XA", "^PW448", "^LL100", "^PON",
                                         "^PR5,5", "^PMN", "^MNN", "^LS0", "^MMR,Y", "^MFN,N", "^XZ",
                                         "^XA^JUS^XZ", ""}));
}

TEST(ZSetupBlock, WithoutTheAdvancedSettingsBackfeedClockHandlingAndFeedAreLeftOut) {
  ZSetupChoices choices;
  choices.advanced = false;
  choices.setClock = true;  // the clock page was skipped: its choice is not sent
  choices.mirror = true;
  EXPECT_EQ(BuildZSetupBlock(choices), Lines({"~MUD", "~SD20", "~TA000", "^XA", "^PW448", "^LL100", "^PON",
                                              "^PR5,5", "^PMY", "^MNN", "^LS0", "^XZ", "^XA^JUS^XZ", ""}));
}

TEST(ZSetupBlock, SignedLengthsAndZeroFilledTearOff) {
  ZSetupChoices choices;
  const std::pair<long long, const char*> tearoffs[] = {{-12, "~TA-012"}, {5, "~TA005"}, {120, "~TA120"}, {-120, "~TA-120"}};
  for (const auto& [dots, line] : tearoffs) {
    choices.tearoffDots = dots;
    EXPECT_NE(BuildZSetupBlock(choices).find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line;
  }
  choices.labelShiftDots = -10;
  choices.widthDots = 447;
  choices.lengthDots = 8000;
  const std::string block = BuildZSetupBlock(choices);
  for (const char* line : {"^LS-10\r\n", "^PW447\r\n", "^LL8000\r\n"}) {
    EXPECT_NE(block.find(line), std::string::npos) << line;
  }
}

TEST(ZSetupBlock, TheClockLinesComeAfterTheFirstFormatStartInBothForms) {
  ZSetupChoices choices;
  choices.setClock = true;
  choices.clock = {2026, 3, 7, 9, 5, 4};
  choices.computerClock = true;
  EXPECT_NE(BuildZSetupBlock(choices).find("^XA\r\n^ST3,7,2026,9,5,4,M\r\n^XZ\r\n^XA\r\n^PW448\r\n"), std::string::npos);

  choices.computerClock = false;
  EXPECT_NE(BuildZSetupBlock(choices).find("^XA\r\n^ST03,07,2026,09,05,04,M\r\n^XZ\r\n^XA\r\n^PW448\r\n"),
            std::string::npos);
  choices.clock = {2026, 12, 31, 23, 59, 58};
  EXPECT_EQ(ZClockCommand(choices.clock, true), "^ST12,31,2026,23,59,58,M");
  EXPECT_EQ(ZClockCommand(choices.clock, false), "^ST12,31,2026,23,59,58,M");
}

TEST(ZSetupBlock, EveryListEntryHasItsLetterAndNoSelectionHasNone) {
  struct Case {
    int ZSetupChoices::*list;
    int index;
    const char* line;
  };
  const Case cases[] = {
      {&ZSetupChoices::backfeed, 0, "~JSO"},    {&ZSetupChoices::backfeed, 1, "~JSB"},
      {&ZSetupChoices::backfeed, 2, "~JSB"},    {&ZSetupChoices::backfeed, 3, "~JSA"},
      {&ZSetupChoices::backfeed, -1, "~JS"},    {&ZSetupChoices::orientation, 1, "^POI"},
      {&ZSetupChoices::speed, 0, "^PR2,2"},     {&ZSetupChoices::speed, 4, "^PR6,6"},
      {&ZSetupChoices::speed, -1, "^PR,"},      {&ZSetupChoices::mediaType, 1, "^MNM"},
      {&ZSetupChoices::mediaType, 2, "^MNY"},   {&ZSetupChoices::handling, 1, "^MMT,Y"},
      {&ZSetupChoices::handling, 2, "^MMP,Y"},  {&ZSetupChoices::handling, 3, "^MMC,Y"},
      {&ZSetupChoices::handling, 4, "^MMA,Y"},  {&ZSetupChoices::feed, 1, "^MFF,F"},
      {&ZSetupChoices::feed, 2, "^MFC,C"},      {&ZSetupChoices::feed, 3, "^MFS,S"},
      {&ZSetupChoices::feed, 7, "^MF,"},
  };
  for (const Case& c : cases) {
    ZSetupChoices choices;
    choices.*c.list = c.index;
    EXPECT_NE(BuildZSetupBlock(choices).find(std::string("\r\n") + c.line + "\r\n"), std::string::npos) << c.line;
  }
}

}  // namespace
}  // namespace tw
