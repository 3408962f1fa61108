// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The length fields of the setup wizards: what may be typed into them, the permitted range of each
// field in each unit, the check made when the user leaves a field, and the re-expression of all
// fields when the unit changes.
#include <array>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "wizards/Units.h"

namespace tw {

// Which wizard's rules apply: the Z command set wizard (TSetPrinter) or the E one (TSetPrinterEPL).
enum class WizardKind { Z, E };

// The four length fields, in the order a unit change converts them.
enum class LengthField : int {
  Width = 0,   // WidthEdit
  Height = 1,  // HeightEdit
  Third = 2,   // Z TearoffadjustEdit, E GapHeightEdit
  Fourth = 3,  // Z LabelShiftEdit, E OffsetEdit
};
inline constexpr int kLengthFieldCount = 4;

// Catalog entries of the field messages (section SetPrinter_1).
inline constexpr std::string_view kFieldMessageSection = "SetPrinter_1";
inline constexpr std::string_view kNotANumberKey = "QingShuRuShuZhi";
inline constexpr std::string_view kInputErrorCaptionKey = "ShuRuCuoWu";
inline constexpr std::string_view kRangeKey = "FanWei";

// The permitted range of one field in one unit; limits are inclusive.
struct FieldRange {
  double lower;
  double upper;
  std::string_view text;  // shown after the FanWei text, e.g. "120-832"
  bool wholeNumber;       // the value is read as a whole number rather than a floating-point one
};
const FieldRange& RangeOf(WizardKind wizard, LengthField field, LengthUnit unit);

// The third and fourth fields may hold a leading minus; width and height may not.
bool FieldAllowsMinus(LengthField field);

// The character scan of a field's text: digits and fewer than two "."; where a minus is allowed,
// also at most one "-" and only as the first character. An empty text passes (it then fails as a
// number).
bool PassesCharacterScan(std::string_view text, bool allowMinus);

enum class FieldVerdict {
  Accepted,         // text holds the rewritten display form
  NotANumber,       // message QingShuRuShuZhi, caption ShuRuCuoWu; the field keeps its text
  OutOfRange,       // message FanWei + rangeText, caption ShuRuCuoWu; the field keeps its text
  ConversionError,  // the number conversion failed: error holds its text; the field keeps its text
};

struct FieldCheck {
  FieldVerdict verdict = FieldVerdict::Accepted;
  std::string text;       // the field's text after the check
  std::string rangeText;  // OutOfRange only
  std::string error;      // ConversionError only
};

// The check made when the user leaves a length field: character scan, range check in the current
// unit, then the rewrite into the unit's display form.
FieldCheck CheckLengthField(WizardKind wizard, LengthField field, LengthUnit unit, std::string_view text);

// The most dots a length may hold: the dots check reads a field in dots as an int.
inline constexpr long long kLargestDots = std::numeric_limits<int>::max();

// The dots that a field's text stands for in a unit, as the commands carry them (CommandDots). A
// text that is no number, or whose dots are not finite or beyond kLargestDots, gives no dots and
// the error text to show.
struct FieldDots {
  std::optional<long long> dots;
  std::string error;
};
FieldDots DotsOfFieldText(std::string_view text, LengthUnit unit, const DotDensity& density);

using HeldDots = std::array<std::optional<long long>, kLengthFieldCount>;

// The outcome of choosing a unit in UnitsComboBox.
struct UnitChange {
  bool ok = true;
  std::array<std::string, kLengthFieldCount> fields;  // the field texts to show
  HeldDots dots;                                      // the dots each field holds now
  LengthUnit currentUnit;                             // the unit the fields are now expressed in
  std::optional<LengthField> failedField;             // the field that could not be read
  std::string error;                                  // its conversion error text
};

// Re-expresses the four fields from the current unit in the chosen one. The dots are a field's
// value: a field holding dots (`held`: read from the printer, or kept from the last change) shows
// them in the chosen unit; another field's text is read in the current unit and its dots are shown.
// A change of unit therefore never changes the dots, however often the unit goes back and forth.
// Every field is read before any is changed: if one cannot be read as a number or its dots are not
// representable, nothing is converted, the current unit stays and the caller puts the unit list
// back, so that fields never end up in two different units. Choosing the unit already in force
// converts nothing. The captions and the speed list then follow currentUnit (LengthLabelText,
// SpeedLabelText, SpeedList), keeping the selected speed index.
UnitChange ChangeLengthUnit(const UnitConverter& converter, LengthUnit current, LengthUnit chosen,
                            const std::array<std::string, kLengthFieldCount>& fields, const HeldDots& held = {});

}  // namespace tw
