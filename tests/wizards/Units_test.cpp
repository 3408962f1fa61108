// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/Units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tw {
namespace {

TEST(LengthUnitTest, IndexesAndLabels) {
  EXPECT_EQ(LengthUnitFromIndex(0), LengthUnit::Centimetre);
  EXPECT_EQ(LengthUnitFromIndex(3), LengthUnit::Dots);
  EXPECT_EQ(LengthUnitFromIndex(-1), std::nullopt);
  EXPECT_EQ(LengthUnitFromIndex(4), std::nullopt);
  EXPECT_EQ(kDefaultLengthUnit, LengthUnit::Millimetre);
  EXPECT_EQ(LengthLabelText(LengthUnit::Centimetre), "cm");
  EXPECT_EQ(LengthLabelText(LengthUnit::Inch), "inch");
  EXPECT_EQ(LengthLabelText(LengthUnit::Millimetre), "mm");
  EXPECT_EQ(LengthLabelText(LengthUnit::Dots), "dots");
  EXPECT_EQ(SpeedLabelText(LengthUnit::Centimetre), "cm/s");
  EXPECT_EQ(SpeedLabelText(LengthUnit::Inch), "inch/s");
  EXPECT_EQ(SpeedLabelText(LengthUnit::Millimetre), "mm/s");
  EXPECT_EQ(SpeedLabelText(LengthUnit::Dots), "dots/s");
}

TEST(SpeedListTest, CommaTextsPerUnit) {
  EXPECT_EQ(SpeedCommaText(LengthUnit::Centimetre), "5.1,7.6,10.2,12.7,15.2");
  EXPECT_EQ(SpeedCommaText(LengthUnit::Inch), "2.0,3.0,4.0,5.0,6.0");
  EXPECT_EQ(SpeedCommaText(LengthUnit::Millimetre), "50.8,76.2,101.6,127.0,152.4");
  EXPECT_EQ(SpeedCommaText(LengthUnit::Dots), "406,610,813,1016,1219");
}

TEST(SpeedListTest, EntryIStandsForTwoPlusIInchesPerSecond) {
  // Every list writes 2 to 6 inches per second to one decimal (dots: whole dots at 203 dpi).
  for (int i = 0; i < kSpeedCount; ++i) {
    const double inches = 2 + i;
    EXPECT_NEAR(std::stod(std::string(SpeedList(LengthUnit::Inch)[i])), inches, 1e-9);
    EXPECT_NEAR(std::stod(std::string(SpeedList(LengthUnit::Millimetre)[i])), inches * 25.4, 0.05);
    EXPECT_NEAR(std::stod(std::string(SpeedList(LengthUnit::Centimetre)[i])), inches * 2.54, 0.05);
    EXPECT_NEAR(std::stod(std::string(SpeedList(LengthUnit::Dots)[i])), inches * 203.2, 0.5);
  }
}

TEST(DotDensityTest, TwoHundredMeans203DpiEverythingElse300) {
  EXPECT_TRUE(IsResolution203(200));
  EXPECT_FALSE(IsResolution203(300));
  EXPECT_FALSE(IsResolution203(0));
  const DotDensity low = DensityForResolution(200);
  EXPECT_EQ(low.perMm.Value(), 8);
  EXPECT_EQ(low.perCm.Value(), 80);
  EXPECT_DOUBLE_EQ(static_cast<double>(low.perInch.Value()), 203.2);
  EXPECT_DOUBLE_EQ(static_cast<double>(low.commandPerInch.Value()), 203.2);
  for (int resolution : {300, 0, 600, -1}) {
    const DotDensity high = DensityForResolution(resolution);
    EXPECT_EQ(high.resolution, 300);
    EXPECT_EQ(high.perMm.Value(), 12);
    EXPECT_EQ(high.perCm.Value(), 120);
    EXPECT_DOUBLE_EQ(static_cast<double>(high.perInch.Value()), 304.8);  // shown as sent
    EXPECT_DOUBLE_EQ(static_cast<double>(high.commandPerInch.Value()), 304.8);
  }
  EXPECT_EQ(ZDensity().resolution, 200);
}

TEST(ConversionTest, BetweenLengthUnits) {
  const UnitConverter z(ZDensity());
  EXPECT_DOUBLE_EQ(z.Inch2mm(2), 50.8);
  EXPECT_DOUBLE_EQ(z.Inch2cm(2), 5.08);
  EXPECT_DOUBLE_EQ(z.Cm2inch(5.08), 2);
  EXPECT_DOUBLE_EQ(z.Cm2mm(1.25), 12.5);
  EXPECT_DOUBLE_EQ(z.Mm2inch(50.8), 2);
  EXPECT_DOUBLE_EQ(z.Mm2cm(12.5), 1.25);
}

TEST(ConversionTest, DotsAt203AndAt300) {
  const UnitConverter low(DensityForResolution(200));
  const UnitConverter high(DensityForResolution(300));
  EXPECT_DOUBLE_EQ(low.Dots2mm(448), 56);
  EXPECT_DOUBLE_EQ(high.Dots2mm(672), 56);
  EXPECT_DOUBLE_EQ(low.Dots2cm(448), 5.6);
  EXPECT_DOUBLE_EQ(high.Dots2cm(672), 5.6);
  EXPECT_DOUBLE_EQ(low.Dots2inch(406.4), 2);
  EXPECT_DOUBLE_EQ(high.Dots2inch(609.6), 2);
  EXPECT_EQ(low.Mm2Dots(56), 448);
  EXPECT_EQ(high.Mm2Dots(104), 1248);
  EXPECT_EQ(low.Mm2Dots(104), 832);
  EXPECT_EQ(low.Cm2Dots(5.6), 448);
  EXPECT_EQ(high.Cm2Dots(5.6), 672);
  EXPECT_EQ(low.inch2Dots(2.2), 447);   // 447.04
  EXPECT_EQ(high.inch2Dots(2.2), 671);  // 670.56: 25.4 x 12 per inch, as the commands use
}

TEST(ConversionTest, ToDotsRoundsDecimalHalvesToEven) {
  const UnitConverter z(ZDensity());
  EXPECT_EQ(z.Mm2Dots(0.5625), 4);  // 4.5
  EXPECT_EQ(z.Mm2Dots(0.6875), 6);  // 5.5
  EXPECT_EQ(z.Mm2Dots(-0.5625), -4);
  EXPECT_EQ(z.Mm2Dots(-0.6875), -6);
  // Halves that binary doubles cannot hold exactly still round as written.
  EXPECT_EQ(z.Cm2Dots(0.05625), 4);  // 4.5
  EXPECT_EQ(z.Cm2Dots(0.06875), 6);  // 5.5
  EXPECT_EQ(z.inch2Dots(0.0025), 1);  // 0.508
  EXPECT_EQ(z.inch2Dots(0.3125), 64);  // 63.5
  EXPECT_EQ(z.inch2Dots(0.9375), 190);  // 190.5
  EXPECT_EQ(z.inch2Dots(0.0625), 13);  // 12.7
  const UnitConverter high(DensityForResolution(300));
  EXPECT_EQ(high.Mm2Dots(0.375), 4);  // 4.5
  EXPECT_EQ(high.inch2Dots(0.005), 2);  // 1.5
  EXPECT_EQ(high.inch2Dots(0.625), 190);  // 190.5
}

TEST(ConversionTest, RoundTripsThroughDots) {
  const UnitConverter z(ZDensity());
  for (long long dots : {0LL, 1LL, 7LL, 120LL, 447LL, 448LL, 832LL, 7999LL, -120LL, -7999LL}) {
    EXPECT_EQ(z.Mm2Dots(z.Dots2mm(static_cast<double>(dots))), dots);
    EXPECT_EQ(z.Cm2Dots(z.Dots2cm(static_cast<double>(dots))), dots);
    EXPECT_EQ(z.inch2Dots(z.Dots2inch(static_cast<double>(dots))), dots);
  }
  const UnitConverter high(DensityForResolution(300));
  for (long long dots : {0LL, 1LL, 180LL, 1248LL, 65535LL, -280LL}) {
    EXPECT_EQ(high.Mm2Dots(high.Dots2mm(static_cast<double>(dots))), dots);
    EXPECT_EQ(high.inch2Dots(high.Dots2inch(static_cast<double>(dots))), dots);
  }
}

TEST(ConversionTest, ConvertPicksTheMethodForEachPair) {
  const UnitConverter z(ZDensity());
  EXPECT_DOUBLE_EQ(z.Convert(LengthUnit::Millimetre, LengthUnit::Inch, 50.8), 2);
  EXPECT_EQ(z.Convert(LengthUnit::Millimetre, LengthUnit::Dots, 56), 448);
  EXPECT_DOUBLE_EQ(z.Convert(LengthUnit::Dots, LengthUnit::Millimetre, 448), 56);
  EXPECT_DOUBLE_EQ(z.Convert(LengthUnit::Inch, LengthUnit::Centimetre, 1), 2.54);
  EXPECT_DOUBLE_EQ(z.Convert(LengthUnit::Centimetre, LengthUnit::Millimetre, 1.5), 15);
  EXPECT_EQ(z.Convert(LengthUnit::Inch, LengthUnit::Dots, 1), 203);
  for (int unit = 0; unit < kLengthUnitCount; ++unit) {
    const auto same = static_cast<LengthUnit>(unit);
    EXPECT_EQ(z.Convert(same, same, 1.2345), 1.2345);
  }
}

TEST(CommandDotsTest, TruncatesTowardZeroOnTheDecimalValue) {
  const DotDensity z = ZDensity();
  EXPECT_EQ(CommandDots(56, LengthUnit::Millimetre, z), 448);
  EXPECT_EQ(CommandDots(12.5, LengthUnit::Millimetre, z), 100);
  EXPECT_EQ(CommandDots(2.2, LengthUnit::Inch, z), 447);  // 447.04
  EXPECT_EQ(CommandDots(-1.5, LengthUnit::Millimetre, z), -12);
  EXPECT_EQ(CommandDots(-1.0, LengthUnit::Millimetre, z), -8);
  EXPECT_EQ(CommandDots(-0.99, LengthUnit::Centimetre, z), -79);  // -79.2
  EXPECT_EQ(CommandDots(0.6875, LengthUnit::Millimetre, z), 5);   // 5.5
  EXPECT_EQ(CommandDots(-120.9, LengthUnit::Dots, z), -120);
  // 4.35 as a double lies just below 4.35; the typed length is exactly 348 dots.
  EXPECT_EQ(CommandDots(4.35, LengthUnit::Centimetre, z), 348);
  const DotDensity high = DensityForResolution(300);
  EXPECT_EQ(CommandDots(2.2, LengthUnit::Inch, high), 670);  // 2.20 x 304.8 = 670.56
  EXPECT_EQ(CommandDots(56, LengthUnit::Millimetre, high), 672);
  EXPECT_EQ(CommandDots(5.6, LengthUnit::Centimetre, high), 672);
}

TEST(ConversionTest, NonFiniteValuesPassThrough) {
  const UnitConverter z(ZDensity());
  EXPECT_TRUE(std::isnan(z.Mm2Dots(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_TRUE(std::isinf(z.Cm2Dots(std::numeric_limits<double>::infinity())));
  EXPECT_EQ(z.Mm2Dots(1e20), 8e20);
  EXPECT_EQ(z.Mm2Dots(1e-300), 0);
}

TEST(DisplayFormTest, TwoDecimals) {
  EXPECT_EQ(FormatLengthTwoDecimals(56), "56.00");
  EXPECT_EQ(FormatLengthTwoDecimals(1.5), "1.50");
  EXPECT_EQ(FormatLengthTwoDecimals(-1.5), "-1.50");
  EXPECT_EQ(FormatLengthTwoDecimals(0), "0.00");
  EXPECT_EQ(FormatLengthTwoDecimals(-1.25), "-1.25");
  EXPECT_EQ(FormatLengthTwoDecimals(2.2047244), "2.20");
  EXPECT_EQ(FormatLengthTwoDecimals(0.125), "0.13");  // one dot in mm
  EXPECT_EQ(FormatLengthTwoDecimals(9.999), "10.00");
  EXPECT_EQ(FormatLengthTwoDecimals(-99.995), "-100.00");
  EXPECT_EQ(FormatLengthTwoDecimals(-0.001), "0.00");
  EXPECT_EQ(FormatLengthTwoDecimals(1e20), "100000000000000000000.00");
  EXPECT_EQ(FormatDots(448), "448");
  EXPECT_EQ(FormatDots(-120), "-120");
}

TEST(NumberReadingTest, LengthNumbers) {
  EXPECT_EQ(ParseLengthNumber("56"), 56);
  EXPECT_EQ(ParseLengthNumber("-1.5"), -1.5);
  EXPECT_EQ(ParseLengthNumber("5."), 5);
  EXPECT_EQ(ParseLengthNumber(".5"), 0.5);
  for (const char* bad : {"", ".", "-", "-.", "1e3", " 5", "5 ", "1.2.3", "--1", "+1", "nan", "inf", "0x10"}) {
    EXPECT_EQ(ParseLengthNumber(bad), std::nullopt) << bad;
  }
}

TEST(NumberReadingTest, WholeNumbers) {
  EXPECT_EQ(ParseWholeNumber("240"), 240);
  EXPECT_EQ(ParseWholeNumber("-280"), -280);
  for (const char* bad : {"", "-", "1.5", "12.", "99999999999", "1-", "+3"}) {
    EXPECT_EQ(ParseWholeNumber(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(NotAnIntegerText("1.5"), "'1.5' is not a valid integer value");
  EXPECT_EQ(NotAFloatText(""), "'' is not a valid floating point value");
}

}  // namespace
}  // namespace tw
