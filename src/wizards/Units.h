// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Length units of the setup wizards: the unit list, the printer's dot density, the conversions
// between units, the display forms of lengths and the speed lists that follow the unit.
// Plain logic; the wizard windows bind it to their controls.
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// The index of a unit in a wizard's UnitsComboBox.
enum class LengthUnit : int { Centimetre = 0, Inch = 1, Millimetre = 2, Dots = 3 };

inline constexpr int kLengthUnitCount = 4;
// Both wizards open with millimetres chosen.
inline constexpr LengthUnit kDefaultLengthUnit = LengthUnit::Millimetre;

// The unit at a combo box index, or nullopt for an index outside the four units (no selection).
std::optional<LengthUnit> LengthUnitFromIndex(int index);
// Caption next to the length fields ("cm", "inch", "mm", "dots").
std::string_view LengthLabelText(LengthUnit unit);
// Caption next to the speed list ("cm/s", "inch/s", "mm/s", "dots/s").
std::string_view SpeedLabelText(LengthUnit unit);

// The five printing speeds (2 to 6 inches per second) written in a unit; the same in both wizards
// and at both resolutions.
inline constexpr int kSpeedCount = 5;
const std::array<std::string_view, kSpeedCount>& SpeedList(LengthUnit unit);
// The same list as one comma text, e.g. "2.0,3.0,4.0,5.0,6.0".
std::string SpeedCommaText(LengthUnit unit);

// A positive decimal number held exactly as mantissa / 10^scale (203.2 is {2032, 1}).
struct DecimalFactor {
  long long mantissa;
  int scale;
  long double Value() const;
};

// Printer resolution as the E wizard stores it: 200 or 300, and 0 before a configuration has been
// read. 200 means 203 dpi; every other value means 300 dpi.
inline constexpr int kResolution203 = 200;
inline constexpr int kResolution300 = 300;
bool IsResolution203(int resolution);

// Dots per length unit at one resolution.
struct DotDensity {
  int resolution;                // 200 or 300 (never 0: 0 reads as 300)
  DecimalFactor perMm;           // 8 or 12
  DecimalFactor perCm;           // 80 or 120
  // 203.2 or 304.8 (25.4 x 12): conversions and values read from the printer. The same factor as
  // the commands use, so that inches shown are the dots sent: a read followed by Finish changes
  // nothing, and the widest label (1248 dots, 4.09 inch) stays within the field's range.
  DecimalFactor perInch;
  DecimalFactor commandPerInch;  // 203.2 or 304.8 (25.4 x 12): lengths written into commands
};
DotDensity DensityForResolution(int resolution);
// The Z wizard works at a fixed 8 dots per mm.
DotDensity ZDensity();

// The twelve conversions of a wizard. Results to dots are whole numbers rounded half to even on the
// decimal value of the input (0.5625 mm is 4.5 dots and gives 4; 0.6875 mm gives 6); the other
// results are formed at extended precision and stored as doubles. NaN and infinities pass through.
class UnitConverter {
 public:
  explicit UnitConverter(DotDensity density) : density_(density) {}

  double Inch2mm(double x) const;
  double Inch2cm(double x) const;
  double Cm2inch(double x) const;
  double Cm2mm(double x) const;
  double Mm2inch(double x) const;
  double Mm2cm(double x) const;
  double Dots2cm(double x) const;
  double Dots2inch(double x) const;
  double Dots2mm(double x) const;
  double Cm2Dots(double x) const;
  double inch2Dots(double x) const;
  double Mm2Dots(double x) const;

  // The conversion from one unit to another (the matching method above); the value itself when the
  // units are the same.
  double Convert(LengthUnit from, LengthUnit to, double x) const;

  const DotDensity& Density() const { return density_; }

 private:
  DotDensity density_;
};

// Rounds x * factor to a whole number, an exact half going to the even neighbour, using the decimal
// value of x (its shortest round-trip text) so that decimal halves round as written.
double RoundHalfEvenProduct(double x, DecimalFactor factor);
// Truncates x * factor toward zero, likewise on the decimal value of x (4.35 x 80 is 348).
double TruncatedProduct(double x, DecimalFactor factor);

// A length in dots as written into the commands a wizard sends: value x dots per unit (inch uses
// commandPerInch), truncated toward zero; a value already in dots is truncated as it is.
double CommandDots(double value, LengthUnit unit, const DotDensity& density);

// Display form of a length in cm, inch or mm: exactly two decimals ("56.00", "1.50", "-1.25"),
// rounded half away from zero on the decimal value; a value that rounds to zero shows as "0.00".
std::string FormatLengthTwoDecimals(double value);
// Display form of a length in dots: a whole number ("448").
std::string FormatDots(long long dots);

// Reads a length field's text as a number: an optional leading "-", digits and at most one ".",
// with at least one digit ("5.", ".5" and "-1.5" read; "", ".", "-", "1e3", " 5" do not).
std::optional<double> ParseLengthNumber(std::string_view text);
// Reads a whole number: an optional leading "-" and digits, within the range of int.
std::optional<int> ParseWholeNumber(std::string_view text);

// The error texts shown when a text cannot be read as a number.
std::string NotAFloatText(std::string_view text);    // "'abc' is not a valid floating point value"
std::string NotAnIntegerText(std::string_view text);  // "'1.5' is not a valid integer value"
std::string TooLargeForDotsText(std::string_view text);  // "'1e30' is too large to be written in dots"

}  // namespace tw
