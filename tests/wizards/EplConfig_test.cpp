// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/EplConfig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tw {
namespace {

using U = LengthUnit;

// The parts of a configuration reply, laid out as an E printer lays out its answer to "UQ": the
// label field line first, then speed, darkness and orientation, the code page, model and firmware,
// and the option line last.
struct ReplyParts {
  std::string labelField = "Q200,24+0";
  std::string width = "q832";
  std::string line2 = "S3 D08 R0,0 ZT";
  std::string codePage = "I8,0,001";
  std::string model = "QRT-L42D";
  std::string firmware = "FV2.31.0518E";
  std::string extra;  // a line before the options, e.g. "JF"
  std::string options = "Option:D";

  std::string Text() const {
    std::string text = "\r\n" + labelField + " " + width + "\r\n" + line2 + "\r\n" + codePage + "\r\n" + model +
                       " " + firmware + "\r\n";
    if (!extra.empty()) text += extra + "\r\n";
    return text + options + "\r\n";
  }
};

ModelList List(std::vector<std::string> names) {
  ModelList list;
  list.num = static_cast<int>(names.size());
  list.names = std::move(names);
  return list;
}

// The context of a wizard whose lists name no model (as without lib/SysOption.ini): 203 dpi.
EplReadContext Context(U unit = U::Millimetre, int resolution = 0) {
  EplReadContext context;
  context.resolution300 = List({""});
  context.printModeModels = List({""});
  context.unit = unit;
  context.resolution = resolution;
  return context;
}

EplReadContext Context300(U unit = U::Millimetre) {
  EplReadContext context = Context(unit);
  context.resolution300 = List({"QRT-L42D"});
  return context;
}

EplConfiguration Parse(const ReplyParts& parts, const EplReadContext& context = Context()) {
  return ParseEplConfiguration(parts.Text(), context);
}

// ---- Version and model ----

TEST(EplConfigVersionTest, TwelveCharactersFromTheMarker) {
  const EplConfiguration c = Parse({});
  ASSERT_TRUE(c.VersionFound());
  EXPECT_EQ(*c.firmwareVersion, "FV2.31.0518E");
}

TEST(EplConfigVersionTest, FewerCharactersWhereTheReplyEnds) {
  const EplConfiguration c = ParseEplConfiguration("abc FV1.2", Context());
  EXPECT_EQ(c.firmwareVersion, "FV1.2");
}

TEST(EplConfigVersionTest, NoMarkerOrNoReplySetsNothing) {
  for (const std::string& reply : {std::string(), std::string("QRT-L42D q832 Q200,24+0 Option:P I8,0,001")}) {
    const EplConfiguration c = ParseEplConfiguration(reply, Context(U::Millimetre, 300));
    EXPECT_FALSE(c.VersionFound()) << reply;
    EXPECT_FALSE(c.model || c.orientationIndex || c.width || c.mediaTypeIndex || c.darknessIndex ||
                 c.codePageIndex)
        << reply;
    EXPECT_EQ(c.resolution, 300) << "the resolution in force stays";
  }
}

TEST(EplConfigModelTest, ModelNameIsCutAtTheBlankAfterIt) {
  EXPECT_EQ(Parse({}).model, "QRT-L42D");
}

TEST(EplConfigModelTest, ModelNameIsNineCharactersAtMostAndEndsAtALineEnd) {
  ReplyParts longName;
  longName.model = "QRT-ABCDEFGH";
  EXPECT_EQ(Parse(longName).model, "QRT-ABCDE");
  EXPECT_EQ(ParseEplConfiguration("FV1 QRT-T3\r\nq832", Context()).model, "QRT-T3");
}

TEST(EplConfigModelTest, WithoutAModelOnlyTheVersionIsRead) {
  ReplyParts parts;
  parts.model = "XYZ";
  const EplConfiguration c = Parse(parts, Context(U::Millimetre, 300));
  EXPECT_TRUE(c.VersionFound());
  EXPECT_FALSE(c.model || c.orientationIndex || c.width || c.mediaTypeIndex);
  EXPECT_EQ(c.resolution, 300);
}

// ---- Resolution and print mode from the model lists ----

TEST(EplConfigResolutionTest, SecondOfTwoNamesGives300AndNeitherGives203) {
  EplReadContext context = Context();
  context.resolution300 = List({"QRT-T3", "QRT-L42D"});
  EXPECT_EQ(Parse({}, context).resolution, kResolution300);
  context.resolution300 = List({"QRT-T3", "QRT-T4"});
  EXPECT_EQ(Parse({}, context).resolution, kResolution203);
}

TEST(EplConfigResolutionTest, NamesAreComparedWithoutSurroundingBlanksAndWithLetterCase) {
  EplReadContext context = Context();
  context.resolution300 = List({"  QRT-L42D "});
  EXPECT_EQ(Parse({}, context).resolution, kResolution300);
  context.resolution300 = List({"qrt-l42d"});
  EXPECT_EQ(Parse({}, context).resolution, kResolution203);
}

TEST(EplConfigResolutionTest, WithoutSysOptionEveryModelIs203AndThePrintModeIsHidden) {
  test::TempDir dir;
  EplReadContext context;
  context.resolution300 = ReadModelList(dir / "missing.ini", kResolution300Section);
  context.printModeModels = ReadModelList(dir / "missing.ini", kPrintTransferModeSection);
  context.resolution = kResolution300;
  const EplConfiguration c = Parse({}, context);
  EXPECT_EQ(c.resolution, kResolution203);
  EXPECT_EQ(c.printModeVisible, false);
  EXPECT_EQ(c.width->text, "104.00");  // 832 dots at 8 per mm
}

TEST(EplConfigResolutionTest, AnEmptyListKeepsTheResolutionInForceAndItsDivisors) {
  for (int inForce : {0, kResolution203, kResolution300}) {
    EplReadContext context = Context(U::Millimetre, inForce);
    context.resolution300 = List({});
    context.printModeModels = List({});
    const EplConfiguration c = Parse({}, context);
    EXPECT_EQ(c.resolution, inForce);
    EXPECT_FALSE(c.printModeVisible.has_value()) << "the print mode controls stay as they are";
    // 832 dots: 104.00 mm at 203 dpi; at 300 dpi (also before any read) 69.33 mm.
    EXPECT_EQ(c.width->text, inForce == kResolution203 ? "104.00" : "69.33") << inForce;
  }
}

TEST(EplConfigResolutionTest, PrintModeControlsFollowTheirOwnList) {
  EplReadContext context = Context();
  context.printModeModels = List({"QRT-T3", "QRT-L42D"});
  EXPECT_EQ(Parse({}, context).printModeVisible, true);
  context.printModeModels = List({"QRT-T3"});
  EXPECT_EQ(Parse({}, context).printModeVisible, false);
}

// ---- Orientation and width ----

TEST(EplConfigWidthTest, OrientationIsTopOnlyWithZT) {
  ReplyParts parts;
  EXPECT_EQ(Parse(parts).orientationIndex, 0);
  parts.line2 = "S3 D08 R0,0 ZB";
  EXPECT_EQ(Parse(parts).orientationIndex, 1);
}

TEST(EplConfigWidthTest, WidthIsShownInTheUnitAtTheResolution) {
  const EplConfiguration at203 = Parse({});
  EXPECT_EQ(at203.width->dots, 832);
  EXPECT_EQ(at203.width->text, "104.00");
  EXPECT_EQ(Parse({}, Context(U::Centimetre)).width->text, "10.40");
  EXPECT_EQ(Parse({}, Context(U::Inch)).width->text, "4.09");  // 832 / 203.2
  EXPECT_EQ(Parse({}, Context(U::Dots)).width->text, "832");
  EXPECT_EQ(Parse({}, Context300(U::Inch)).width->text, "2.73");  // 832 / 304.8
}

TEST(EplConfigWidthTest, FourDigitWidthOfA300DpiPrinterIsReadWhole) {
  ReplyParts parts;
  parts.width = "q1248";
  const EplConfiguration c = Parse(parts, Context300());
  EXPECT_EQ(c.width->dots, 1248);
  EXPECT_EQ(c.width->text, "104.00");
}

TEST(EplConfigWidthTest, MarkerAtTheEndStopsWithoutAMessage) {
  const EplConfiguration c = ParseEplConfiguration("FV1 QRT-L42D ZT q", Context());
  EXPECT_TRUE(c.orientationIndex.has_value());
  EXPECT_FALSE(c.width.has_value());
  EXPECT_TRUE(c.conversionError.empty());
}

TEST(EplConfigWidthTest, WidthThatIsNotANumberIsAConversionErrorThatNamesItsTextAndField) {
  ReplyParts parts;
  parts.width = "q123456";
  const EplConfiguration c = Parse(parts);
  EXPECT_FALSE(c.width.has_value());
  EXPECT_EQ(c.conversionError.rfind("'123456", 0), 0u) << c.conversionError;
  EXPECT_EQ(c.unreadText, "123456");
  EXPECT_EQ(c.unreadSource, "q123456");
  EXPECT_FALSE(c.mediaTypeIndex || c.darknessIndex);
}

// The model's name ("QRT-"), an echoed request or any text before the label line hold a "Q" or a
// "q" too, but not followed by a digit: the width and the label field are found all the same.
TEST(EplConfigWidthTest, TextBeforeTheLabelLineIsNotTakenForWidthOrLabelField) {
  const EplConfiguration plain = Parse({});
  for (const std::string before : {"UQ\r\n", "QRT-L42D FV2.31.0518E\r\n", "UQ\r\nquery QRT-L42D\r\n"}) {
    SCOPED_TRACE(before);
    const EplConfiguration c = ParseEplConfiguration(before + ReplyParts().Text(), Context());
    EXPECT_TRUE(c.conversionError.empty()) << c.conversionError;
    ASSERT_TRUE(c.width && c.height && c.gap && c.offset);
    EXPECT_EQ(c.width->dots, plain.width->dots);
    EXPECT_EQ(c.height->dots, plain.height->dots);
    EXPECT_EQ(c.gap->dots, plain.gap->dots);
    EXPECT_EQ(c.mediaTypeIndex, plain.mediaTypeIndex);
    EXPECT_EQ(c.darknessIndex, plain.darknessIndex);
  }
}

TEST(EplConfigWidthTest, WidthWithoutAnyMarkerStopsTheReading) {
  ReplyParts parts;
  parts.width = "w832";
  const EplConfiguration c = Parse(parts);
  EXPECT_TRUE(c.orientationIndex.has_value());
  EXPECT_FALSE(c.width || c.mediaTypeIndex || c.darknessIndex);
  EXPECT_TRUE(c.conversionError.empty());
}

// ---- Label field ----

TEST(EplConfigLabelFieldTest, GapLabels) {
  const EplConfiguration c = Parse({});  // Q200,24+0 at 203 dpi, mm
  EXPECT_EQ(c.mediaTypeIndex, 2);
  EXPECT_EQ(c.height->text, "25.00");
  EXPECT_EQ(c.gap->text, "3.00");
  EXPECT_EQ(c.offset->text, "0.00");
  EXPECT_TRUE(c.conversionError.empty());
}

TEST(EplConfigLabelFieldTest, BlackMarksWithANegativeOffset) {
  ReplyParts parts;
  parts.labelField = "Q200,B24-8";
  const EplConfiguration c = Parse(parts);
  EXPECT_EQ(c.mediaTypeIndex, 1);
  EXPECT_EQ(c.height->text, "25.00");
  EXPECT_EQ(c.gap->dots, 24);
  EXPECT_EQ(c.gap->text, "3.00");
  EXPECT_EQ(c.offset->dots, -8);
  EXPECT_EQ(c.offset->text, "-1.00");
}

TEST(EplConfigLabelFieldTest, ZeroAfterTheCommaIsContinuousMediaAndLeavesTheLengths) {
  for (const char* field : {"Q203,0", "Q0001,0", "Q200,024+0"}) {
    ReplyParts parts;
    parts.labelField = field;
    const EplConfiguration c = Parse(parts);
    EXPECT_EQ(c.mediaTypeIndex, 0) << field;
    EXPECT_FALSE(c.height || c.gap || c.offset) << field;
    EXPECT_EQ(c.darknessIndex, 8) << "reading goes on after " << field;
  }
}

TEST(EplConfigLabelFieldTest, LengthsOfAnyNumberOfDigitsAreRead) {
  struct Case {
    const char* field;
    long long length, gap, offset;
  };
  for (const Case& k : {Case{"Q20,24+0", 20, 24, 0}, Case{"Q15,24+3", 15, 24, 3}, Case{"Q1218,B36+12", 1218, 36, 12},
                        Case{"Q65535,240-280", 65535, 240, -280}}) {
    ReplyParts parts;
    parts.labelField = k.field;
    const EplConfiguration c = Parse(parts, Context(U::Dots));
    ASSERT_TRUE(c.height && c.gap && c.offset) << k.field << ": " << c.conversionError;
    EXPECT_EQ(c.height->dots, k.length) << k.field;
    EXPECT_EQ(c.height->text, std::to_string(k.length)) << k.field;
    EXPECT_EQ(c.gap->dots, k.gap) << k.field;
    EXPECT_EQ(c.offset->dots, k.offset) << k.field;
  }
}

TEST(EplConfigLabelFieldTest, FieldEndsAtItsLineEnd) {
  // The next line starts with a B: it is not taken for the black-mark letter, and the offset is not
  // read across the line end.
  const std::string reply = "\r\nQ200,24+0\r\nBAUD 9600\r\nq832 QRT-L42D FV1 D05 Option:D\r\n";
  const EplConfiguration c = ParseEplConfiguration(reply, Context());
  EXPECT_EQ(c.mediaTypeIndex, 2);
  EXPECT_EQ(c.offset->dots, 0);
  EXPECT_EQ(c.darknessIndex, 5);
}

TEST(EplConfigLabelFieldTest, WithoutASignedOffsetTheOffsetFieldStays) {
  ReplyParts parts;
  parts.labelField = "Q200,24";
  const EplConfiguration c = Parse(parts);
  EXPECT_EQ(c.gap->dots, 24);
  EXPECT_FALSE(c.offset.has_value());
  parts.labelField = "Q200,";
  const EplConfiguration empty = Parse(parts);
  EXPECT_EQ(empty.mediaTypeIndex, 2);
  EXPECT_EQ(empty.gap->text, "0.00") << "an empty gap counts as 0";
}

TEST(EplConfigLabelFieldTest, NumbersThatCannotBeReadStopWithAConversionError) {
  struct Case {
    const char* field;
    bool heightSet, offsetSet;
  };
  for (const Case& k : {Case{"Q2x0,24+0", false, false}, Case{"Q200,24+x", true, false},
                        Case{"Q200,2x+0", true, true}, Case{"Q200,24+", true, false}}) {
    ReplyParts parts;
    parts.labelField = k.field;
    const EplConfiguration c = Parse(parts);
    EXPECT_FALSE(c.conversionError.empty()) << k.field;
    EXPECT_EQ(c.unreadSource, k.field);
    EXPECT_EQ(c.height.has_value(), k.heightSet) << k.field;
    EXPECT_EQ(c.offset.has_value(), k.offsetSet) << k.field;
    EXPECT_FALSE(c.gap.has_value()) << k.field;
    EXPECT_FALSE(c.darknessIndex.has_value()) << "reading stops at " << k.field;
  }
}

TEST(EplConfigLabelFieldTest, WithoutALabelFieldReadingStopsWithoutTakingTheModelNameForIt) {
  for (const char* reply : {"FV1 QRT-L42D q832 ZT D03 S4 Option:P I8,0,001", "FV1 QRT-L42D q832 Q ZT"}) {
    const EplConfiguration c = ParseEplConfiguration(reply, Context());
    EXPECT_TRUE(c.width.has_value());
    EXPECT_TRUE(c.conversionError.empty()) << c.conversionError;
    EXPECT_FALSE(c.mediaTypeIndex || c.darknessIndex);
  }
}

// ---- Darkness, speed, options ----

TEST(EplConfigLevelsTest, DarknessTakesTheFirstMarkerInTableOrder) {
  ReplyParts parts;
  parts.line2 = "S3 D03 D01 ZT";
  EXPECT_EQ(Parse(parts).darknessIndex, 1);
  parts.line2 = "S3 D14 ZT";
  EXPECT_EQ(Parse(parts).darknessIndex, 14);
  parts.line2 = "S3 D15 ZT";
  EXPECT_EQ(Parse(parts).darknessIndex, 15);
  parts.line2 = "S3 ZT";
  EXPECT_EQ(Parse(parts).darknessIndex, 15);
}

TEST(EplConfigLevelsTest, SpeedTakesTheFirstMarkerInTableOrder) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"S2", 0}, {"S3", 1}, {"S4", 2}, {"S5", 3}, {"S6", 4}, {"S9", 4}, {"S5 S2", 0}, {"", 4}};
  for (const auto& [marker, index] : cases) {
    ReplyParts parts;
    parts.line2 = marker + " D08 ZT";
    EXPECT_EQ(Parse(parts).speedIndex, index) << marker;
  }
}

TEST(EplConfigLevelsTest, OptionLettersSelectTheMediaHandling) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"Option:D", 0}, {"Option:P", 1}, {"Option:L", 2}, {"Option:D,L,P", 1}, {"Option:", 0}};
  for (const auto& [line, index] : cases) {
    ReplyParts parts;
    parts.options = line;
    EXPECT_EQ(Parse(parts).mediaHandlingIndex, index) << line;
  }
}

TEST(EplConfigLevelsTest, OnlyTheOptionLineCounts) {
  const std::string reply = "Q200,24+0 q832 QRT-L42D FV1 Option:D\r\nPRINTER LABEL\r\n";
  EXPECT_EQ(ParseEplConfiguration(reply, Context()).mediaHandlingIndex, 0);
}

TEST(EplConfigLevelsTest, TopOfFormBackupFollowsJF) {
  ReplyParts parts;
  EXPECT_EQ(Parse(parts).tofBackup, false);
  parts.extra = "JF";
  EXPECT_EQ(Parse(parts).tofBackup, true);
}

TEST(EplConfigLevelsTest, WithoutTheOptionLineReadingStopsBeforeTheCodePage) {
  ReplyParts parts;
  parts.options = "Opt:P";
  const EplConfiguration c = Parse(parts);
  EXPECT_TRUE(c.speedIndex.has_value());
  EXPECT_FALSE(c.mediaHandlingIndex || c.tofBackup || c.codePageIndex || c.countryIndex);
}

// ---- Code page and country ----

TEST(EplConfigCodePageTest, EightBitCodePagesAndTheirCountries) {
  struct Case {
    const char* line;
    int codePage, country;
  };
  for (const Case& k : {Case{"I8,0,001", 0, 16}, Case{"I8,1,032", 1, 0}, Case{"I8,9,358", 9, 3},
                        Case{"I8,10,044", 10, 15}, Case{"I8,13,049", 13, 5}, Case{"I8,A,049", 14, 5},
                        Case{"I8,E,046", 18, 13}, Case{"I8,F,002", 19, 1}, Case{"I8,Z,999", 0, 16},
                        Case{"I8,1", 0, 16}}) {
    ReplyParts parts;
    parts.codePage = k.line;
    const EplConfiguration c = Parse(parts);
    EXPECT_EQ(c.codePageIndex, k.codePage) << k.line;
    EXPECT_EQ(c.countryIndex, k.country) << k.line;
    EXPECT_EQ(c.countryVisible, true) << k.line;
  }
}

TEST(EplConfigCodePageTest, SevenBitCodePagesHideTheCountry) {
  struct Case {
    const char* line;
    int codePage, country;
  };
  for (const Case& k : {Case{"I7,0,001", 20, 16}, Case{"I7,3,044", 23, 15}, Case{"I7,8,032", 28, 0}}) {
    ReplyParts parts;
    parts.codePage = k.line;
    const EplConfiguration c = Parse(parts);
    EXPECT_EQ(c.codePageIndex, k.codePage) << k.line;
    EXPECT_EQ(c.countryIndex, k.country) << k.line;
    EXPECT_EQ(c.countryVisible, false) << k.line;
  }
}

TEST(EplConfigCodePageTest, WithoutAMarkerNothingIsSelected) {
  ReplyParts parts;
  parts.codePage = "I9,0,001";
  const EplConfiguration c = Parse(parts);
  EXPECT_TRUE(c.mediaHandlingIndex.has_value());
  EXPECT_FALSE(c.codePageIndex || c.countryIndex || c.countryVisible);
}

TEST(EplConfigCodePageTest, CodesOfEveryIndexAndTheirKind) {
  for (int i = 0; i < kCodePageItemCount; ++i) {
    EXPECT_EQ(CodePageCode(i), kCodePageItems[static_cast<std::size_t>(i)].code);
    EXPECT_FALSE(IsSevenBitCodePage(i));
    EXPECT_TRUE(CountryCodeApplies(i));
  }
  EXPECT_EQ(CodePageCode(19), "F");
  EXPECT_EQ(CodePageCode(20), "0");
  EXPECT_EQ(CodePageCode(28), "8");
  EXPECT_TRUE(IsSevenBitCodePage(20) && IsSevenBitCodePage(28));
  EXPECT_FALSE(CountryCodeApplies(20));
  EXPECT_FALSE(CodePageCode(-1) || CodePageCode(29));
}

TEST(EplConfigCodePageTest, EveryCountryCodeSelectsItsRow) {
  for (int i = 0; i < kCountryCount; ++i) {
    EXPECT_EQ(CountryIndexForCode(kCountries[static_cast<std::size_t>(i)].code), i);
  }
  EXPECT_EQ(CountryIndexForCode("999"), kDefaultCountryIndex);
  EXPECT_EQ(CountryIndexForCode(""), kDefaultCountryIndex);
}

// ---- Units ----

// An inch is 25.4 x 12 dots at 300 dpi, as the commands count it.
TEST(EplConfigUnitsTest, LengthsReadAt300DpiInEveryUnit) {
  ReplyParts parts;
  parts.labelField = "Q600,B36-12";
  struct Case {
    U unit;
    const char *height, *gap, *offset;
  };
  for (const Case& k : {Case{U::Centimetre, "5.00", "0.30", "-0.10"}, Case{U::Inch, "1.97", "0.12", "-0.04"},
                        Case{U::Millimetre, "50.00", "3.00", "-1.00"}, Case{U::Dots, "600", "36", "-12"}}) {
    const EplConfiguration c = Parse(parts, Context300(k.unit));
    EXPECT_EQ(c.resolution, kResolution300);
    EXPECT_EQ(c.height->text, k.height);
    EXPECT_EQ(c.gap->text, k.gap);
    EXPECT_EQ(c.offset->text, k.offset);
  }
}

TEST(EplConfigUnitsTest, ProcessWideResolutionKeepsItsValue) {
  const int before = CurrentEplResolution();
  SetCurrentEplResolution(kResolution203);
  EXPECT_EQ(CurrentEplResolution(), kResolution203);
  SetCurrentEplResolution(before);
}

}  // namespace
}  // namespace tw
