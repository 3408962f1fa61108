// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/Ranges.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {

using UnitRanges = std::array<FieldRange, kLengthUnitCount>;  // cm, inch, mm, dots
using WizardRanges = std::array<UnitRanges, kLengthFieldCount>;

constexpr WizardRanges kZRanges{{
    /* WidthEdit */
    {{{1.50, 10.40, "1.50-10.40", false},
      {0.60, 4.09, "0.60-4.09", false},
      {15.00, 104.00, "15.00-104.00", false},
      {120, 832, "120-832", false}}},
    /* HeightEdit */
    {{{1.00, 100.00, "1.00-100.00", false},
      {0.40, 40.00, "0.40-40.00", false},
      {10.00, 1000.00, "10.00-1000.00", false},
      {80, 8000, "80-8000", false}}},
    /* TearoffadjustEdit */
    {{{-1.00, 1.00, "-1.00-1.00", false},
      {-0.39, 0.39, "-0.39-0.39", false},
      {-15.00, 15.00, "-15.00-15.00", false},
      {-120, 120, "-120-120", false}}},
    /* LabelShiftEdit */
    {{{-99.99, 99.99, "-99.99-99.99", false},
      {-39.37, 39.37, "-39.37-39.37", false},
      {-999.90, 999.90, "-999.90-999.90", false},
      {-7999, 7999, "-7999-7999", false}}},
}};

constexpr WizardRanges kERanges{{
    /* WidthEdit */
    {{{1.50, 10.40, "1.50-10.40", false},
      {0.60, 4.09, "0.60-4.09", false},
      {15.00, 104.00, "15.00-104.00", false},
      {180, 1248, "180-1248", false}}},
    /* HeightEdit */
    {{{0.63, 819.19, "0.63-819.19", false},
      {0.25, 322.52, "0.25-322.52", false},
      {6.30, 8191.88, "6.3-8191.88", false},
      {75, 65535, "75-65535", false}}},
    /* GapHeightEdit */
    {{{0.00, 2.00, "0.00-2.00", false},
      {0.00, 0.79, "0.00-0.79", false},
      {0.00, 20.00, "0.00-20.00", false},
      {0, 240, "0-240", true}}},
    /* OffsetEdit */
    {{{-2.34, 2.34, "-2.34-2.34", false},
      {-0.92, 0.92, "-0.92-0.92", false},
      {-23.33, 23.33, "-23.33-23.33", false},
      {-280, 280, "-280-280", true}}},
}};

FieldCheck Rejected(FieldVerdict verdict, std::string_view text) {
  FieldCheck check;
  check.verdict = verdict;
  check.text = std::string(text);
  return check;
}

FieldCheck ConversionFailure(std::string_view text, std::string error) {
  FieldCheck check = Rejected(FieldVerdict::ConversionError, text);
  check.error = std::move(error);
  return check;
}

}  // namespace

const FieldRange& RangeOf(WizardKind wizard, LengthField field, LengthUnit unit) {
  const WizardRanges& ranges = wizard == WizardKind::Z ? kZRanges : kERanges;
  return ranges.at(static_cast<std::size_t>(field)).at(static_cast<std::size_t>(unit));
}

bool FieldAllowsMinus(LengthField field) { return field == LengthField::Third || field == LengthField::Fourth; }

bool PassesCharacterScan(std::string_view text, bool allowMinus) {
  const std::string_view allowed = allowMinus ? "0123456789.-" : "0123456789.";
  if (text.find_first_not_of(allowed) != std::string_view::npos) return false;
  if (std::count(text.begin(), text.end(), '.') >= 2) return false;
  const auto minusCount = std::count(text.begin(), text.end(), '-');
  return minusCount == 0 || (minusCount == 1 && text.front() == '-');
}

FieldCheck CheckLengthField(WizardKind wizard, LengthField field, LengthUnit unit, std::string_view text) {
  if (!PassesCharacterScan(text, FieldAllowsMinus(field))) return Rejected(FieldVerdict::NotANumber, text);

  const FieldRange& range = RangeOf(wizard, field, unit);
  double value = 0;
  if (range.wholeNumber) {
    const std::optional<int> whole = ParseWholeNumber(text);
    if (!whole) return ConversionFailure(text, NotAnIntegerText(text));
    value = *whole;
  } else {
    const std::optional<double> number = ParseLengthNumber(text);
    if (!number) return ConversionFailure(text, NotAFloatText(text));
    value = *number;
  }
  if (value < range.lower || value > range.upper) {
    FieldCheck check = Rejected(FieldVerdict::OutOfRange, text);
    check.rangeText = std::string(range.text);
    return check;
  }

  FieldCheck check;
  if (unit != LengthUnit::Dots) {
    check.text = FormatLengthTwoDecimals(value);
  } else if (wizard == WizardKind::Z) {
    // The Z wizard rewrites dots by reading the text itself as a whole number.
    const std::optional<int> whole = ParseWholeNumber(text);
    if (!whole) return ConversionFailure(text, NotAnIntegerText(text));
    check.text = FormatDots(*whole);
  } else {
    check.text = FormatDots(static_cast<long long>(std::trunc(value)));
  }
  return check;
}

FieldDots DotsOfFieldText(std::string_view text, LengthUnit unit, const DotDensity& density) {
  const std::optional<double> value = ParseLengthNumber(text);
  if (!value) return {std::nullopt, NotAFloatText(text)};
  const double dots = CommandDots(*value, unit, density);
  if (!std::isfinite(dots) || std::fabs(dots) > static_cast<double>(kLargestDots)) {
    return {std::nullopt, TooLargeForDotsText(text)};
  }
  return {static_cast<long long>(dots), {}};
}

UnitChange ChangeLengthUnit(const UnitConverter& converter, LengthUnit current, LengthUnit chosen,
                            const std::array<std::string, kLengthFieldCount>& fields, const HeldDots& held) {
  UnitChange change;
  change.fields = fields;
  change.dots = held;
  change.currentUnit = current;
  if (chosen == current) return change;

  UnitChange converted = change;
  for (std::size_t i = 0; i < kLengthFieldCount; ++i) {
    if (!held[i]) {
      const FieldDots read = DotsOfFieldText(fields[i], current, converter.Density());
      if (!read.dots) {
        change.ok = false;
        change.failedField = static_cast<LengthField>(i);
        change.error = read.error;
        return change;
      }
      converted.dots[i] = read.dots;
    }
    const long long dots = *converted.dots[i];
    const double shown = converter.Convert(LengthUnit::Dots, chosen, static_cast<double>(dots));
    converted.fields[i] = chosen == LengthUnit::Dots ? FormatDots(dots) : FormatLengthTwoDecimals(shown);
  }
  converted.currentUnit = chosen;
  return converted;
}

}  // namespace tw
