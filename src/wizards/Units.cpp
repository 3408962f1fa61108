// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/Units.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace tw {

namespace {

struct UnitRow {
  std::string_view lengthLabel;
  std::string_view speedLabel;
  std::array<std::string_view, kSpeedCount> speeds;
};

// Indexed by LengthUnit.
constexpr std::array<UnitRow, kLengthUnitCount> kUnitRows{{
    {"cm", "cm/s", {"5.1", "7.6", "10.2", "12.7", "15.2"}},
    {"inch", "inch/s", {"2.0", "3.0", "4.0", "5.0", "6.0"}},
    {"mm", "mm/s", {"50.8", "76.2", "101.6", "127.0", "152.4"}},
    {"dots", "dots/s", {"406", "610", "813", "1016", "1219"}},
}};

const UnitRow& RowOf(LengthUnit unit) { return kUnitRows.at(static_cast<std::size_t>(unit)); }

constexpr std::array<DotDensity, 2> kDensities{{
    {kResolution203, {8, 0}, {80, 0}, {2032, 1}, {2032, 1}},
    {kResolution300, {12, 0}, {120, 0}, {3048, 1}, {3048, 1}},
}};

// Products and quotients are formed at extended precision and then stored as doubles.
double Times(double x, long double factor) { return static_cast<double>(static_cast<long double>(x) * factor); }
double Over(double x, long double divisor) { return static_cast<double>(static_cast<long double>(x) / divisor); }

// Holds a 17-digit mantissa times a factor, and powers of ten up to 10^38.
__extension__ typedef __int128 Wide;

Wide PowerOfTen(int exponent) {
  Wide result = 1;
  for (int i = 0; i < exponent; ++i) result *= 10;
  return result;
}

// Above this magnitude every double is a whole number, so x * factor needs no decimal care.
constexpr double kExactDecimalLimit = 1e15;

}  // namespace

std::optional<LengthUnit> LengthUnitFromIndex(int index) {
  if (index < 0 || index >= kLengthUnitCount) return std::nullopt;
  return static_cast<LengthUnit>(index);
}

std::string_view LengthLabelText(LengthUnit unit) { return RowOf(unit).lengthLabel; }
std::string_view SpeedLabelText(LengthUnit unit) { return RowOf(unit).speedLabel; }
const std::array<std::string_view, kSpeedCount>& SpeedList(LengthUnit unit) { return RowOf(unit).speeds; }

std::string SpeedCommaText(LengthUnit unit) {
  std::string text;
  for (std::string_view speed : SpeedList(unit)) {
    if (!text.empty()) text += ',';
    text += speed;
  }
  return text;
}

long double DecimalFactor::Value() const {
  return static_cast<long double>(mantissa) / static_cast<long double>(PowerOfTen(scale));
}

bool IsResolution203(int resolution) { return resolution == kResolution203; }

DotDensity DensityForResolution(int resolution) {
  return IsResolution203(resolution) ? kDensities[0] : kDensities[1];
}

DotDensity ZDensity() { return kDensities[0]; }

namespace {

enum class WholeRounding { HalfToEven, TowardZero };

// x * factor made whole, computed on the decimal value of x (its shortest round-trip text, at most
// 17 digits) so that a length typed as 4.35 cm is exactly 348 dots and not 347.99999...
double WholeProduct(double x, DecimalFactor factor, WholeRounding rounding) {
  if (!std::isfinite(x) || std::fabs(x) >= kExactDecimalLimit) {
    const long double product = static_cast<long double>(x) * factor.Value();
    return static_cast<double>(rounding == WholeRounding::HalfToEven ? std::nearbyintl(product)
                                                                     : std::truncl(product));
  }
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::scientific);
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));  // e.g. "-5.625e-01"
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t ePos = text.find('e');
  int exponent = 0;
  std::from_chars(text.data() + ePos + 1 + (text[ePos + 1] == '+'), text.data() + text.size(), exponent);
  Wide mantissa = 0;
  bool afterPoint = false;
  for (char c : text.substr(0, ePos)) {
    if (c == '.') {
      afterPoint = true;
      continue;
    }
    mantissa = mantissa * 10 + (c - '0');
    if (afterPoint) --exponent;
  }
  mantissa *= factor.mantissa;
  exponent -= factor.scale;
  Wide whole;
  if (exponent >= 0) {
    whole = mantissa * PowerOfTen(exponent);
  } else if (exponent < -30) {
    whole = 0;  // the mantissa is below 10^21, so the product is far below one half
  } else {
    const Wide divisor = PowerOfTen(-exponent);
    whole = mantissa / divisor;
    const Wide twiceRemainder = 2 * (mantissa % divisor);
    const bool roundUp = rounding == WholeRounding::HalfToEven &&
                         (twiceRemainder > divisor || (twiceRemainder == divisor && whole % 2 != 0));
    if (roundUp) ++whole;
  }
  const double magnitude = static_cast<double>(whole);
  return negative ? -magnitude : magnitude;
}

}  // namespace

double RoundHalfEvenProduct(double x, DecimalFactor factor) {
  return WholeProduct(x, factor, WholeRounding::HalfToEven);
}

double TruncatedProduct(double x, DecimalFactor factor) {
  return WholeProduct(x, factor, WholeRounding::TowardZero);
}

double CommandDots(double value, LengthUnit unit, const DotDensity& density) {
  switch (unit) {
    case LengthUnit::Centimetre: return TruncatedProduct(value, density.perCm);
    case LengthUnit::Inch: return TruncatedProduct(value, density.commandPerInch);
    case LengthUnit::Millimetre: return TruncatedProduct(value, density.perMm);
    case LengthUnit::Dots: break;
  }
  return std::trunc(value);
}

double UnitConverter::Inch2mm(double x) const { return Times(x, 25.4L); }
double UnitConverter::Inch2cm(double x) const { return Times(x, 2.54L); }
double UnitConverter::Cm2inch(double x) const { return Over(x, 2.54L); }
double UnitConverter::Cm2mm(double x) const { return Times(x, 10.0L); }
double UnitConverter::Mm2inch(double x) const { return Over(x, 25.4L); }
double UnitConverter::Mm2cm(double x) const { return Over(x, 10.0L); }
double UnitConverter::Dots2cm(double x) const { return Over(x, density_.perCm.Value()); }
double UnitConverter::Dots2inch(double x) const { return Over(x, density_.perInch.Value()); }
double UnitConverter::Dots2mm(double x) const { return Over(x, density_.perMm.Value()); }
double UnitConverter::Cm2Dots(double x) const { return RoundHalfEvenProduct(x, density_.perCm); }
double UnitConverter::inch2Dots(double x) const { return RoundHalfEvenProduct(x, density_.perInch); }
double UnitConverter::Mm2Dots(double x) const { return RoundHalfEvenProduct(x, density_.perMm); }

double UnitConverter::Convert(LengthUnit from, LengthUnit to, double x) const {
  using Method = double (UnitConverter::*)(double) const;
  // kMethods[from][to]; the diagonal is the identity.
  static constexpr Method kMethods[kLengthUnitCount][kLengthUnitCount] = {
      /* cm   */ {nullptr, &UnitConverter::Cm2inch, &UnitConverter::Cm2mm, &UnitConverter::Cm2Dots},
      /* inch */ {&UnitConverter::Inch2cm, nullptr, &UnitConverter::Inch2mm, &UnitConverter::inch2Dots},
      /* mm   */ {&UnitConverter::Mm2cm, &UnitConverter::Mm2inch, nullptr, &UnitConverter::Mm2Dots},
      /* dots */ {&UnitConverter::Dots2cm, &UnitConverter::Dots2inch, &UnitConverter::Dots2mm, nullptr},
  };
  const Method method = kMethods[static_cast<int>(from)][static_cast<int>(to)];
  return method ? (this->*method)(x) : x;
}

std::string FormatLengthTwoDecimals(double value) {
  if (!std::isfinite(value)) return std::to_string(value);
  // Shortest fixed text that reads back as the value, then rounded to two decimals by hand so that
  // the decimal value decides (0.125 shows as 0.13).
  char buffer[400];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t point = text.find('.');
  std::string digits(text.substr(0, point));
  std::string fraction = point == std::string_view::npos ? std::string() : std::string(text.substr(point + 1));
  fraction.resize(std::max<std::size_t>(fraction.size(), 3), '0');
  digits += fraction.substr(0, 2);
  if (fraction[2] >= '5') {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) digits.insert(digits.begin(), '1');
    else ++digits[i - 1];
  }
  const bool zero = digits.find_first_not_of('0') == std::string::npos;
  std::string result = (negative && !zero) ? "-" : "";
  result += digits.substr(0, digits.size() - 2);
  result += '.';
  result += digits.substr(digits.size() - 2);
  return result;
}

std::string FormatDots(long long dots) { return std::to_string(dots); }

std::optional<double> ParseLengthNumber(std::string_view text) {
  std::string_view body = text;
  if (!body.empty() && body.front() == '-') body.remove_prefix(1);
  int digitCount = 0;
  int pointCount = 0;
  for (char c : body) {
    if (c >= '0' && c <= '9') ++digitCount;
    else if (c == '.') ++pointCount;
    else return std::nullopt;
  }
  if (digitCount == 0 || pointCount > 1) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int> ParseWholeNumber(std::string_view text) {
  std::string_view body = text;
  if (!body.empty() && body.front() == '-') body.remove_prefix(1);
  if (body.empty() || body.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string NotAFloatText(std::string_view text) {
  return "'" + std::string(text) + "' is not a valid floating point value";
}

std::string NotAnIntegerText(std::string_view text) {
  return "'" + std::string(text) + "' is not a valid integer value";
}

std::string TooLargeForDotsText(std::string_view text) {
  return "'" + std::string(text) + "' is too large to be written in dots";
}

}  // namespace tw
