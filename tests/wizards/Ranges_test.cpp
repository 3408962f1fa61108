// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/Ranges.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

using F = LengthField;
using U = LengthUnit;
using W = WizardKind;

// ---- Character scan ----

TEST(CharacterScanTest, UnsignedFieldsTakeDigitsAndOnePoint) {
  for (const char* good : {"56", "56.00", ".5", "5.", ""}) EXPECT_TRUE(PassesCharacterScan(good, false)) << good;
  for (const char* bad : {"-1", "1.2.3", "1,5", "1e3", " 5", "abc", "+1"}) {
    EXPECT_FALSE(PassesCharacterScan(bad, false)) << bad;
  }
}

TEST(CharacterScanTest, SignedFieldsTakeOneLeadingMinus) {
  for (const char* good : {"-1.5", "1.5", "-", "-0", "120"}) EXPECT_TRUE(PassesCharacterScan(good, true)) << good;
  for (const char* bad : {"1-5", "--1", "1.2.3", "-1-", "1-", "-1.2.3", "- 1"}) {
    EXPECT_FALSE(PassesCharacterScan(bad, true)) << bad;
  }
}

// ---- Leaving a field ----

TEST(FieldCheckTest, MillimetreWidthIsRewrittenWithTwoDecimals) {
  const FieldCheck check = CheckLengthField(W::Z, F::Width, U::Millimetre, "56");
  EXPECT_EQ(check.verdict, FieldVerdict::Accepted);
  EXPECT_EQ(check.text, "56.00");
}

TEST(FieldCheckTest, DotsWidthBelowRangeIsRefusedWithItsRange) {
  const FieldCheck check = CheckLengthField(W::Z, F::Width, U::Dots, "119");
  EXPECT_EQ(check.verdict, FieldVerdict::OutOfRange);
  EXPECT_EQ(check.rangeText, "120-832");
  EXPECT_EQ(check.text, "119");
}

TEST(FieldCheckTest, LabelShiftAboveRangeInCentimetres) {
  const FieldCheck check = CheckLengthField(W::Z, F::Fourth, U::Centimetre, "150");
  EXPECT_EQ(check.verdict, FieldVerdict::OutOfRange);
  EXPECT_EQ(check.rangeText, "-99.99-99.99");
}

TEST(FieldCheckTest, NegativeTearOffIsAcceptedInMillimetres) {
  const FieldCheck check = CheckLengthField(W::Z, F::Third, U::Millimetre, "-1.5");
  EXPECT_EQ(check.verdict, FieldVerdict::Accepted);
  EXPECT_EQ(check.text, "-1.50");
}

TEST(FieldCheckTest, MalformedTextsAreNotNumbersBeforeAnyRangeCheck) {
  for (W wizard : {W::Z, W::E}) {
    for (const char* bad : {"1-5", "--1", "1.2.3"}) {
      const FieldCheck check = CheckLengthField(wizard, F::Third, U::Millimetre, bad);
      EXPECT_EQ(check.verdict, FieldVerdict::NotANumber) << bad;
      EXPECT_EQ(check.text, bad);
    }
    // 1.2.3 would be far outside the width range too, yet the scan refuses it first.
    EXPECT_EQ(CheckLengthField(wizard, F::Width, U::Dots, "1.2.3").verdict, FieldVerdict::NotANumber);
    EXPECT_EQ(CheckLengthField(wizard, F::Width, U::Millimetre, "-20").verdict, FieldVerdict::NotANumber);
  }
}

TEST(FieldCheckTest, TextsThatPassTheScanButAreNoNumberAreConversionErrors) {
  for (const char* text : {"", ".", "-", "-."}) {
    const FieldCheck check = CheckLengthField(W::Z, F::Third, U::Millimetre, text);
    EXPECT_EQ(check.verdict, FieldVerdict::ConversionError) << text;
    EXPECT_EQ(check.error, NotAFloatText(text));
    EXPECT_EQ(check.text, text);
  }
}

TEST(FieldCheckTest, DotsRewriteDiffersBetweenWizards) {
  // Z reads the text of a dots value as a whole number; E truncates it.
  const FieldCheck z = CheckLengthField(W::Z, F::Width, U::Dots, "448.7");
  EXPECT_EQ(z.verdict, FieldVerdict::ConversionError);
  EXPECT_EQ(z.error, NotAnIntegerText("448.7"));
  const FieldCheck e = CheckLengthField(W::E, F::Width, U::Dots, "448.7");
  EXPECT_EQ(e.verdict, FieldVerdict::Accepted);
  EXPECT_EQ(e.text, "448");
  EXPECT_EQ(CheckLengthField(W::E, F::Height, U::Dots, "075").text, "75");
}

TEST(FieldCheckTest, EGapAndOffsetInDotsMustBeWholeNumbers) {
  for (F field : {F::Third, F::Fourth}) {
    const FieldCheck check = CheckLengthField(W::E, field, U::Dots, "3.5");
    EXPECT_EQ(check.verdict, FieldVerdict::ConversionError);
    EXPECT_EQ(check.error, NotAnIntegerText("3.5"));
  }
  EXPECT_EQ(CheckLengthField(W::E, F::Fourth, U::Dots, "-8").text, "-8");
}

// ---- Every field's limits in every unit ----

struct RangeCase {
  W wizard;
  F field;
  U unit;
  double lower;
  double upper;
  const char* text;
};

const RangeCase kRangeCases[] = {
    {W::Z, F::Width, U::Centimetre, 1.50, 10.40, "1.50-10.40"},
    {W::Z, F::Width, U::Inch, 0.60, 4.09, "0.60-4.09"},
    {W::Z, F::Width, U::Millimetre, 15, 104, "15.00-104.00"},
    {W::Z, F::Width, U::Dots, 120, 832, "120-832"},
    {W::Z, F::Height, U::Centimetre, 1, 100, "1.00-100.00"},
    {W::Z, F::Height, U::Inch, 0.40, 40, "0.40-40.00"},
    {W::Z, F::Height, U::Millimetre, 10, 1000, "10.00-1000.00"},
    {W::Z, F::Height, U::Dots, 80, 8000, "80-8000"},
    {W::Z, F::Third, U::Centimetre, -1, 1, "-1.00-1.00"},
    {W::Z, F::Third, U::Inch, -0.39, 0.39, "-0.39-0.39"},
    {W::Z, F::Third, U::Millimetre, -15, 15, "-15.00-15.00"},
    {W::Z, F::Third, U::Dots, -120, 120, "-120-120"},
    {W::Z, F::Fourth, U::Centimetre, -99.99, 99.99, "-99.99-99.99"},
    {W::Z, F::Fourth, U::Inch, -39.37, 39.37, "-39.37-39.37"},
    {W::Z, F::Fourth, U::Millimetre, -999.90, 999.90, "-999.90-999.90"},
    {W::Z, F::Fourth, U::Dots, -7999, 7999, "-7999-7999"},
    {W::E, F::Width, U::Centimetre, 1.50, 10.40, "1.50-10.40"},
    {W::E, F::Width, U::Inch, 0.60, 4.09, "0.60-4.09"},
    {W::E, F::Width, U::Millimetre, 15, 104, "15.00-104.00"},
    {W::E, F::Width, U::Dots, 180, 1248, "180-1248"},
    {W::E, F::Height, U::Centimetre, 0.63, 819.19, "0.63-819.19"},
    {W::E, F::Height, U::Inch, 0.25, 322.52, "0.25-322.52"},
    {W::E, F::Height, U::Millimetre, 6.30, 8191.88, "6.3-8191.88"},
    {W::E, F::Height, U::Dots, 75, 65535, "75-65535"},
    {W::E, F::Third, U::Centimetre, 0, 2, "0.00-2.00"},
    {W::E, F::Third, U::Inch, 0, 0.79, "0.00-0.79"},
    {W::E, F::Third, U::Millimetre, 0, 20, "0.00-20.00"},
    {W::E, F::Third, U::Dots, 0, 240, "0-240"},
    {W::E, F::Fourth, U::Centimetre, -2.34, 2.34, "-2.34-2.34"},
    {W::E, F::Fourth, U::Inch, -0.92, 0.92, "-0.92-0.92"},
    {W::E, F::Fourth, U::Millimetre, -23.33, 23.33, "-23.33-23.33"},
    {W::E, F::Fourth, U::Dots, -280, 280, "-280-280"},
};

std::string Written(U unit, double value) {
  return unit == U::Dots ? FormatDots(static_cast<long long>(value)) : FormatLengthTwoDecimals(value);
}

TEST(FieldRangeTest, LimitsAreInclusiveAndOneStepBeyondIsRefused) {
  for (const RangeCase& c : kRangeCases) {
    SCOPED_TRACE(c.text);
    const double step = c.unit == U::Dots ? 1 : 0.01;
    for (double inside : {c.lower, c.upper}) {
      const FieldCheck check = CheckLengthField(c.wizard, c.field, c.unit, Written(c.unit, inside));
      EXPECT_EQ(check.verdict, FieldVerdict::Accepted) << Written(c.unit, inside);
      EXPECT_EQ(check.text, Written(c.unit, inside));
    }
    for (double outside : {c.lower - step, c.upper + step}) {
      const FieldCheck check = CheckLengthField(c.wizard, c.field, c.unit, Written(c.unit, outside));
      EXPECT_EQ(check.verdict, FieldVerdict::OutOfRange) << Written(c.unit, outside);
      EXPECT_EQ(check.rangeText, c.text);
    }
  }
}

TEST(FieldRangeTest, EveryFieldInEveryUnitHasARange) {
  EXPECT_EQ(std::size(kRangeCases), 2u * kLengthFieldCount * kLengthUnitCount);
}

// ---- Changing the unit ----

const std::array<std::string, kLengthFieldCount> kZDefaults{"56.00", "12.50", "0.00", "0.00"};

TEST(UnitChangeTest, MillimetresToDotsAndBack) {
  const UnitConverter z(ZDensity());
  const UnitChange toDots = ChangeLengthUnit(z, U::Millimetre, U::Dots, kZDefaults);
  ASSERT_TRUE(toDots.ok);
  EXPECT_EQ(toDots.currentUnit, U::Dots);
  EXPECT_EQ(toDots.fields, (std::array<std::string, 4>{"448", "100", "0", "0"}));
  const UnitChange back = ChangeLengthUnit(z, U::Dots, U::Millimetre, toDots.fields);
  ASSERT_TRUE(back.ok);
  EXPECT_EQ(back.fields, kZDefaults);
}

TEST(UnitChangeTest, MillimetresToInchAndCentimetres) {
  const UnitConverter z(ZDensity());
  const UnitChange inch = ChangeLengthUnit(z, U::Millimetre, U::Inch, {"56.00", "12.50", "-1.50", "-999.90"});
  ASSERT_TRUE(inch.ok);
  EXPECT_EQ(inch.fields, (std::array<std::string, 4>{"2.20", "0.49", "-0.06", "-39.37"}));
  const UnitChange cm = ChangeLengthUnit(z, U::Millimetre, U::Centimetre, kZDefaults);
  EXPECT_EQ(cm.fields, (std::array<std::string, 4>{"5.60", "1.25", "0.00", "0.00"}));
}

TEST(UnitChangeTest, EWidthInDotsFollowsTheResolution) {
  const std::array<std::string, 4> fields{"104.00", "12.50", "3.00", "-1.00"};
  const UnitChange high = ChangeLengthUnit(UnitConverter(DensityForResolution(300)), U::Millimetre, U::Dots, fields);
  EXPECT_EQ(high.fields, (std::array<std::string, 4>{"1248", "150", "36", "-12"}));
  const UnitChange low = ChangeLengthUnit(UnitConverter(DensityForResolution(200)), U::Millimetre, U::Dots, fields);
  EXPECT_EQ(low.fields, (std::array<std::string, 4>{"832", "100", "24", "-8"}));
  EXPECT_EQ(CheckLengthField(W::E, F::Width, U::Dots, low.fields[0]).verdict, FieldVerdict::Accepted);
  // Before any read the resolution is 0, which counts as 300 dpi.
  EXPECT_EQ(ChangeLengthUnit(UnitConverter(DensityForResolution(0)), U::Millimetre, U::Dots, fields).fields,
            high.fields);
}

TEST(UnitChangeTest, SameUnitConvertsNothing) {
  const std::array<std::string, 4> typed{"56", "12.5", "-1.5", "abc"};
  const UnitChange change = ChangeLengthUnit(UnitConverter(ZDensity()), U::Millimetre, U::Millimetre, typed);
  EXPECT_TRUE(change.ok);
  EXPECT_EQ(change.fields, typed);
  EXPECT_EQ(change.currentUnit, U::Millimetre);
}

TEST(UnitChangeTest, UnreadableFieldLeavesEveryFieldAndTheUnitAlone) {
  const std::array<std::string, 4> fields{"56.00", "12.50", "", "0.00"};
  const UnitChange change = ChangeLengthUnit(UnitConverter(ZDensity()), U::Millimetre, U::Dots, fields);
  EXPECT_FALSE(change.ok);
  EXPECT_EQ(change.failedField, F::Third);
  EXPECT_EQ(change.error, NotAFloatText(""));
  EXPECT_EQ(change.fields, fields);
  EXPECT_EQ(change.currentUnit, U::Millimetre);
}

TEST(UnitChangeTest, ResultTooLargeForDotsIsRefused) {
  const struct {
    U from, to;
    std::string height;
  } rows[] = {
      {U::Millimetre, U::Dots, "99999999999999999999"},
      {U::Millimetre, U::Dots, "300000000"},         // 2400000000 dots: more than the dots check reads
      {U::Inch, U::Centimetre, "1" + std::string(308, '0')},  // times 2.54 is no finite number
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.height.substr(0, 20));
    const std::array<std::string, 4> fields{"56.00", row.height, "0.00", "0.00"};
    const UnitChange change = ChangeLengthUnit(UnitConverter(ZDensity()), row.from, row.to, fields);
    EXPECT_FALSE(change.ok);
    EXPECT_EQ(change.failedField, F::Height);
    EXPECT_EQ(change.error, TooLargeForDotsText(fields[1]));
    EXPECT_EQ(change.fields, fields);
    EXPECT_EQ(change.currentUnit, row.from);
  }
}

TEST(UnitChangeTest, RoundTripsThroughEveryUnitKeepDotValues) {
  const UnitConverter z(ZDensity());
  const std::array<std::string, 4> dots{"448", "100", "-12", "7999"};
  for (U unit : {U::Centimetre, U::Millimetre}) {
    const UnitChange there = ChangeLengthUnit(z, U::Dots, unit, dots);
    ASSERT_TRUE(there.ok);
    EXPECT_EQ(ChangeLengthUnit(z, unit, U::Dots, there.fields).fields, dots);
  }
}

}  // namespace
}  // namespace tw
