// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/EplConfig.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace tw {

namespace {

std::atomic<int> eplResolution{0};

// Blanks and control characters (line ends among them) end a field of the reply.
bool EndsField(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The text from `start` up to the first blank or control character, or the end of the reply.
std::string_view FieldAt(std::string_view reply, std::size_t start) {
  const std::string_view rest = reply.substr(start);
  const auto end = std::find_if(rest.begin(), rest.end(), EndsField);
  return rest.substr(0, static_cast<std::size_t>(end - rest.begin()));
}

// At most `count` characters from `start`, fewer where the reply ends.
std::string_view CharactersAt(std::string_view reply, std::size_t start, std::size_t count) {
  return start >= reply.size() ? std::string_view() : reply.substr(start, count);
}

bool Contains(std::string_view text, std::string_view marker) { return text.find(marker) != std::string_view::npos; }

// Dimensions the printer reports have at most five digits (lengths up to 65535 dots).
constexpr std::size_t kMaxDimensionDigits = 5;

// The digits at the start of `text`.
std::string_view LeadingDigits(std::string_view text) {
  const std::size_t end = text.find_first_not_of("0123456789");
  return text.substr(0, end);
}

// A number of dots written by the printer: an optional "-" and digits, within the range of int.
std::optional<long long> ParseDots(std::string_view text) {
  const std::optional<int> value = ParseWholeNumber(text);
  if (!value) return std::nullopt;
  return *value;
}

// The steps of the reading stop either at a missing marker (nothing more is read, no message) or at
// a number that cannot be read (the conversion error is reported).
class Reading {
 public:
  Reading(std::string_view reply, const EplReadContext& context) : reply_(reply), context_(context) {
    result_.resolution = context.resolution;
  }

  EplConfiguration Run() {
    if (!ReadVersion() || !ReadModel()) return result_;
    ReadOrientation();
    if (!ReadWidth() || !ReadLabelField()) return result_;
    ReadDarkness();
    ReadSpeed();
    if (!ReadOptions()) return result_;
    ReadCodePageAndCountry();
    return result_;
  }

 private:
  bool ReadVersion() {
    const std::size_t at = reply_.find("FV");
    if (at == std::string_view::npos) return false;
    result_.firmwareVersion = std::string(CharactersAt(reply_, at, 12));
    return true;
  }

  // The model name and what lib/SysOption.ini says about it. Each list decides only when it has at
  // least one entry (Num of 1 or more); otherwise the resolution or the print-mode controls stay.
  bool ReadModel() {
    const std::size_t at = reply_.find("QRT-");
    if (at == std::string_view::npos) return false;
    const std::string_view model = FieldAt(CharactersAt(reply_, at, 9), 0);
    result_.model = std::string(model);
    if (context_.resolution300.num >= 1) {
      result_.resolution = context_.resolution300.Contains(model) ? kResolution300 : kResolution203;
    }
    if (context_.printModeModels.num >= 1) {
      result_.printModeVisible = context_.printModeModels.Contains(model);
    }
    return true;
  }

  void ReadOrientation() { result_.orientationIndex = Contains(reply_, "ZT") ? 0 : 1; }

  // "q" and the label width in dots: all its digits (a 300 dpi printer reports up to 1248).
  bool ReadWidth() {
    const std::size_t at = MarkerBeforeDigit('q');
    if (at == std::string_view::npos) return false;
    source_ = FieldAt(reply_, at);
    const std::optional<long long> dots = DimensionAfter(reply_.substr(at + 1));
    if (!dots) return false;
    result_.width = Length(*dots);
    return true;
  }

  // The label field: "Q" length "," then "0" (continuous media), or ["B"] gap [("+" | "-") offset]:
  // "Q200,24+0" gap labels, "Q200,B24-8" black marks with a negative offset.
  bool ReadLabelField() {
    const std::size_t at = MarkerBeforeDigit('Q');
    if (at == std::string_view::npos) return false;
    const std::string_view field = FieldAt(reply_, at);
    source_ = field;
    const std::size_t comma = field.find(',');
    const std::string_view afterComma =
        comma == std::string_view::npos ? std::string_view() : field.substr(comma + 1);
    if (!afterComma.empty() && afterComma.front() == '0') {
      result_.mediaTypeIndex = 0;  // continuous: length, gap and offset stay as they are
      return true;
    }

    const std::string_view lengthText = field.substr(1, comma == std::string_view::npos ? field.npos : comma - 1);
    const std::optional<long long> length = Dimension(lengthText);
    if (!length) return false;
    result_.height = Length(*length);

    const bool marks = !afterComma.empty() && afterComma.front() == 'B';
    result_.mediaTypeIndex = marks ? 1 : 2;
    const std::string_view rest = marks ? afterComma.substr(1) : afterComma;

    std::string_view gapText = rest;
    std::optional<std::string_view> offsetText;  // none: the offset field keeps its value
    if (const std::size_t plus = rest.find('+'); plus != std::string_view::npos) {
      gapText = rest.substr(0, plus);
      offsetText = rest.substr(plus + 1);
    } else if (const std::size_t minus = rest.find('-'); minus != std::string_view::npos) {
      gapText = rest.substr(0, minus);
      offsetText = rest.substr(minus);
    }
    if (offsetText) {
      const std::optional<long long> offset = NumberOrError(*offsetText);
      if (!offset) return false;
      result_.offset = Length(*offset);
    }
    const std::optional<long long> gap = NumberOrError(gapText.empty() ? std::string_view("0") : gapText);
    if (!gap) return false;
    result_.gap = Length(*gap);
    return true;
  }

  // "D00" ... "D14", the first found in this order; none: 15.
  void ReadDarkness() {
    constexpr int kMarkedLevels = 15;
    for (int level = 0; level < kMarkedLevels; ++level) {
      const char marker[4] = {'D', static_cast<char>('0' + level / 10), static_cast<char>('0' + level % 10), '\0'};
      if (Contains(reply_, marker)) {
        result_.darknessIndex = level;
        return;
      }
    }
    result_.darknessIndex = kMarkedLevels;
  }

  // "S2" ... "S5", the first found in this order; none: the fastest speed.
  void ReadSpeed() {
    constexpr std::string_view kMarkers[] = {"S2", "S3", "S4", "S5"};
    int index = 0;
    while (index < static_cast<int>(std::size(kMarkers)) && !Contains(reply_, kMarkers[index])) ++index;
    result_.speedIndex = index;
  }

  // The letters of the "Option:" line: "P" peel (1), else "L" no liner (2), else none (0). Only its
  // own line counts, so that letters of whatever follows in the reply are not taken for options.
  bool ReadOptions() {
    constexpr std::string_view kMarker = "Option:";
    const std::size_t at = reply_.find(kMarker);
    if (at == std::string_view::npos) return false;
    std::string_view letters = reply_.substr(at + kMarker.size());
    letters = letters.substr(0, letters.find_first_of("\r\n"));
    result_.mediaHandlingIndex = Contains(letters, "P") ? 1 : Contains(letters, "L") ? 2 : 0;
    result_.tofBackup = Contains(reply_, "JF");
    return true;
  }

  // "I8," code page "," country (8-bit code pages), or "I7," code page "," country (7-bit).
  void ReadCodePageAndCountry() {
    std::size_t at = reply_.find("I8,");
    const bool eightBit = at != std::string_view::npos;
    if (!eightBit) at = reply_.find("I7,");
    if (at == std::string_view::npos) return;
    const std::string_view rest = reply_.substr(at + 3);
    // The code is one character ("0", "A", ...) or two ("10" to "13"), ended by a comma.
    const std::size_t comma = CharactersAt(rest, 0, 3).find(',');
    const std::string_view code = rest.substr(0, comma == std::string_view::npos ? 2 : comma);
    result_.codePageIndex = eightBit ? EightBitIndex(code) : SevenBitIndex(code);
    result_.countryVisible = eightBit;
    const std::string_view country =
        comma == std::string_view::npos ? std::string_view() : CharactersAt(rest, comma + 1, 3);
    result_.countryIndex = CountryIndexForCode(country);
  }

  static int EightBitIndex(std::string_view code) {
    if (code == "F") return kCodePageIndexF;
    for (int i = 1; i < kCodePageItemCount; ++i) {
      if (kCodePageItems[static_cast<std::size_t>(i)].code == code) return i;
    }
    return 0;  // "0" and anything not known
  }

  static int SevenBitIndex(std::string_view code) {
    for (int i = kFirstSevenBitCodePage + 1; i <= kLastCodePageIndex; ++i) {
      if (CodePageCode(i) == code) return i;
    }
    return kFirstSevenBitCodePage;  // "0" and anything not known
  }

  // The digits that follow a marker; a conversion error on the next three characters when there
  // are none.
  std::optional<long long> DimensionAfter(std::string_view text) {
    const std::string_view digits = LeadingDigits(text);
    return Dimension(digits.empty() ? CharactersAt(text, 0, 3) : digits);
  }

  // A width or length: one to five digits.
  std::optional<long long> Dimension(std::string_view text) {
    if (text.empty() || text.size() > kMaxDimensionDigits || LeadingDigits(text).size() != text.size()) {
      Fail(text);
      return std::nullopt;
    }
    return ParseDots(text);
  }

  std::optional<long long> NumberOrError(std::string_view text) {
    const std::optional<long long> dots = ParseDots(text);
    if (!dots) Fail(text);
    return dots;
  }

  void Fail(std::string_view text) {
    result_.conversionError = NotAnIntegerText(text);
    result_.unreadText = std::string(text);
    result_.unreadSource = std::string(source_);
  }

  // The first `marker` followed by a digit: the model's name ("QRT-...") and an echoed command or
  // other text before the label line hold the letter too, but not before a number.
  std::size_t MarkerBeforeDigit(char marker) const {
    for (std::size_t at = reply_.find(marker); at != std::string_view::npos; at = reply_.find(marker, at + 1)) {
      if (at + 1 < reply_.size() && reply_[at + 1] >= '0' && reply_[at + 1] <= '9') return at;
    }
    return std::string_view::npos;
  }

  ReadLength Length(long long dots) const {
    return {dots, DotsInUnit(dots, context_.unit, DensityForResolution(result_.resolution))};
  }

  std::string_view reply_;
  std::string_view source_;  // the field of the reply being read, named when a number fails
  const EplReadContext& context_;
  EplConfiguration result_;
};

}  // namespace

int CurrentEplResolution() { return eplResolution.load(); }
void SetCurrentEplResolution(int resolution) { eplResolution.store(resolution); }

std::optional<std::string_view> CodePageCode(int index) {
  static constexpr std::string_view kSevenBitCodes[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8"};
  if (index >= 0 && index < kCodePageItemCount) return kCodePageItems[static_cast<std::size_t>(index)].code;
  if (index == kCodePageIndexF) return "F";
  if (index >= kFirstSevenBitCodePage && index <= kLastCodePageIndex) {
    return kSevenBitCodes[index - kFirstSevenBitCodePage];
  }
  return std::nullopt;
}

bool IsSevenBitCodePage(int index) { return index >= kFirstSevenBitCodePage && index <= kLastCodePageIndex; }

bool CountryCodeApplies(int codePageIndex) { return codePageIndex < kFirstSevenBitCodePage; }

int CountryIndexForCode(std::string_view code) {
  for (int i = 0; i < kCountryCount; ++i) {
    if (kCountries[static_cast<std::size_t>(i)].code == code) return i;
  }
  return kDefaultCountryIndex;
}

std::string DotsInUnit(long long dots, LengthUnit unit, const DotDensity& density) {
  if (unit == LengthUnit::Dots) return FormatDots(dots);
  const UnitConverter converter(density);
  return FormatLengthTwoDecimals(converter.Convert(LengthUnit::Dots, unit, static_cast<double>(dots)));
}

EplConfiguration ParseEplConfiguration(std::string_view reply, const EplReadContext& context) {
  return Reading(reply, context).Run();
}

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The entry of a table for a list index; nothing for no selection or an index beyond the table.
template <std::size_t N>
std::string_view Entry(const std::array<std::string_view, N>& table, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < N ? table[static_cast<std::size_t>(index)]
                                                           : std::string_view();
}

constexpr std::array<std::string_view, 2> kOrientationLetters = {"T", "B"};
constexpr std::array<std::string_view, 5> kSpeedDigits = {"2", "3", "4", "5", "6"};
constexpr std::array<std::string_view, 3> kHandlingLines = {"", "OP", "OL"};
constexpr std::array<std::string_view, 2> kPrintModeLines = {"OD", ""};

std::string Number(long long value) { return std::to_string(value); }

// A command and its value; nothing when the value is missing (a list without a selection), so
// that no command goes out incomplete.
std::string Command(std::string_view command, std::string_view value) {
  return value.empty() ? std::string() : std::string(command) + std::string(value);
}

// "I8," (or "I7,") code page "," country; empty when either is not known.
std::string CodePageLine(const EplSetupChoices& c) {
  const std::optional<std::string_view> code = CodePageCode(c.codePage);
  if (!code || c.country < 0 || c.country >= kCountryCount) return {};
  return std::string(IsSevenBitCodePage(c.codePage) ? "I7," : "I8,") + std::string(*code) + "," +
         std::string(kCountries[static_cast<std::size_t>(c.country)].code);
}

// The lines of the block in their order; an empty text is not sent.
using Line = std::function<std::string(const EplSetupChoices&)>;

const std::vector<Line>& Lines() {
  static const std::vector<Line> lines = {
      [](auto& c) { return "q" + Number(c.widthDots); },
      [](auto& c) { return EplLabelLine(c); },
      [](auto& c) { return Command("Z", Entry(kOrientationLetters, c.orientation)); },
      [](auto& c) { return Command("S", Entry(kSpeedDigits, c.speed)); },
      [](auto& c) { return Command("D", c.darkness); },
      [](auto&) { return std::string("O"); },
      [](auto& c) { return std::string(Entry(kPrintModeLines, c.printMode)); },
      [](auto& c) { return std::string(Entry(kHandlingLines, c.handling)); },
      [](auto& c) { return std::string(c.errorReport ? "US" : "UN"); },
      [](auto& c) { return CodePageLine(c); },
      [](auto& c) { return std::string(c.tofBackup ? "JF" : "JB"); },
      [](auto& c) { return c.advanced && c.setClock ? EplClockLine(c.clock, c.computerClock) : std::string(); },
  };
  return lines;
}

}  // namespace

std::string EplLabelLine(const EplSetupChoices& c) {
  if (c.mediaType != 1 && c.mediaType != 2) return "Q0001,0";
  // A gap of 0 is written "000": a "0" right after the comma would mean continuous media.
  const std::string gap = c.gapDots == 0 ? "000" : Number(c.gapDots);
  const std::string offset = c.offsetDots < 0 ? Number(c.offsetDots) : "+" + Number(c.offsetDots);
  return "Q" + Number(c.lengthDots) + (c.mediaType == 1 ? ",B" : ",") + gap + offset;
}

std::string EplClockLine(const EplSetupChoices::Clock& t, bool computerClock) {
  const char* format = computerClock ? "TS%d,%d,%d,%d,%d,%d" : "TS%02d,%02d,%04d,%02d,%02d,%02d";
  char text[96];
  std::snprintf(text, sizeof text, format, t.month, t.day, t.year, t.hour, t.minute, t.second);
  return text;
}

std::string BuildEplSetupBlock(const EplSetupChoices& choices) {
  std::string block;
  for (const Line& line : Lines()) {
    const std::string text = line(choices);
    if (text.empty()) continue;
    block += text;
    block += kLineEnd;
  }
  return block;
}

}  // namespace tw
