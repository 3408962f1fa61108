// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The E printer's configuration: what the E setup wizard reads from the printer's answer to "UQ",
// and the tables its code-page page and its command block share with that reading. Plain logic; the
// wizard applies the result to its controls.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/SysOption.h"
#include "wizards/ClockTime.h"
#include "wizards/Units.h"

namespace tw {

// The printer resolution of the E wizard (kResolution203 or kResolution300; 0 until a configuration
// has been read, which counts as 300 dpi). Process-wide: it survives from one showing of the wizard
// to the next.
int CurrentEplResolution();
void SetCurrentEplResolution(int resolution);

// ---------------------------------------------------------------------------------------------
// Code pages and country codes

struct CodePageRow {
  std::string_view item;  // the entry of CodePageComboBox
  std::string_view code;  // sent after "I8," (or "I7,")
};
// The entries of CodePageComboBox, indexes 0 to 18.
inline constexpr int kCodePageItemCount = 19;
inline constexpr std::array<CodePageRow, kCodePageItemCount> kCodePageItems{{
    {"English-US(437)", "0"},    {"latin 1(850)", "1"},    {"Latin 2(852)", "2"},
    {"Portuguese(860)", "3"},    {"French Canadian(863)", "4"}, {"Nordic(865)", "5"},
    {"Turkish(857)", "6"},       {"Icelandic(861)", "7"},  {"Hcbrew(862)", "8"},
    {"Cyrillic CIS1(866)", "9"}, {"Greek(737)", "10"},     {"Greek 1(851)", "11"},
    {"Greek 2(869)", "12"},      {"Latin 1(1252)", "13"},  {"Latin 2(1250)", "A"},
    {"Cyrllic(1251)", "B"},      {"Greek(1253)", "C"},     {"Turkish(1254)", "D"},
    {"Hebrew(1255)", "E"},
}};
// Beyond the list: index 19 is the 8-bit code page "F"; indexes 20 to 28 are the 7-bit code pages
// "0" to "8", which go out with "I7," instead of "I8,".
inline constexpr int kCodePageIndexF = 19;
inline constexpr int kFirstSevenBitCodePage = 20;
inline constexpr int kLastCodePageIndex = 28;
// The code sent for a code-page index 0 to 28; nullopt for any other index.
std::optional<std::string_view> CodePageCode(int index);
// Whether a code-page index is one of the 7-bit ones (sent with "I7,").
bool IsSevenBitCodePage(int index);
// KDULabel and KDUCountryCodeComboBox are shown only for the 8-bit code pages.
bool CountryCodeApplies(int codePageIndex);

struct CountryRow {
  std::string_view item;  // the entry of KDUCountryCodeComboBox
  std::string_view code;  // sent after the code page
};
inline constexpr int kCountryCount = 17;
inline constexpr std::array<CountryRow, kCountryCount> kCountries{{
    {"Belgium", "032"}, {"Canada", "002"},    {"Denmark", "045"},    {"Finland", "358"},
    {"France", "033"},  {"Germany", "049"},   {"Netherl'ds", "031"}, {"Italy", "039"},
    {"Latin Am.", "003"}, {"Norway", "047"},  {"Portugal", "351"},   {"S.Africa", "027"},
    {"Spain", "034"},   {"Sweden", "046"},    {"Swizerl'd", "041"},  {"U.K.", "044"},
    {"U.S.A.", "001"},
}};
// The index a printer's country code selects; any code not in the table selects U.S.A. (16).
inline constexpr int kDefaultCountryIndex = 16;
int CountryIndexForCode(std::string_view code);

// ---------------------------------------------------------------------------------------------
// Reading the answer to "UQ"

// What the reading starts from besides the reply.
struct EplReadContext {
  ModelList resolution300;     // lib/SysOption.ini [Resolution300]
  ModelList printModeModels;   // lib/SysOption.ini [PrintTranserMode]
  int resolution = 0;          // the resolution in force before this read
  LengthUnit unit = kDefaultLengthUnit;  // the unit the wizard's length fields are expressed in
};

// A length read from the printer: its dots and its text in the wizard's current unit.
struct ReadLength {
  long long dots = 0;
  std::string text;
};

// The result of one reading. Every member that is empty leaves its control as it was: the reading
// stops at the first marker the reply lacks, and what was read before it stays.
struct EplConfiguration {
  // FirmwareVersionShowLabel: the 12 characters from "FV". Empty when the reply has no "FV" (or
  // there was no reply): the label shows GetVersionFail, Next and Finish are disabled.
  std::optional<std::string> firmwareVersion;
  std::optional<std::string> model;  // the model name after "QRT-" (cut at its first blank)
  // The resolution and its dot densities in force after the read (the divisors for showing
  // lengths in a unit). Unchanged from the context when no model was read or a list's Num is
  // below 1.
  int resolution = 0;
  std::optional<bool> printModeVisible;  // PrintModeLabel and PrintModeComboBox
  std::optional<int> orientationIndex;   // OrientationComboBox
  std::optional<ReadLength> width;       // WidthEdit
  std::optional<int> mediaTypeIndex;     // MediaTypeComboBox: 0 continuous, 1 marks, 2 gaps
  std::optional<ReadLength> height;      // HeightEdit
  std::optional<ReadLength> offset;      // OffsetEdit
  std::optional<ReadLength> gap;         // GapHeightEdit
  std::optional<int> darknessIndex;      // DarknessComboBox
  std::optional<int> speedIndex;         // SpeedComboBox
  std::optional<int> mediaHandlingIndex; // MediaHandingComboBox
  std::optional<bool> tofBackup;         // chkTOFBackup
  // CodePageComboBox: 0 to 19 for "I8,", 20 to 28 for "I7,". An index beyond the list's 19 entries
  // leaves the list with no selection; the wizard keeps the index so that Finish sends it back.
  std::optional<int> codePageIndex;
  std::optional<bool> countryVisible;    // KDULabel and KDUCountryCodeComboBox
  std::optional<int> countryIndex;       // KDUCountryCodeComboBox
  // A width, length, gap or offset that is not a number: the reading stopped there, and this is
  // the conversion error; unreadText is the text that could not be read and unreadSource the field
  // of the reply it came from ("q12x", "Q20,24+x"), which the wizard names in its message.
  std::string conversionError;
  std::string unreadText;
  std::string unreadSource;

  bool VersionFound() const { return firmwareVersion.has_value(); }
};

// Reads the configuration reply. The reply is searched with case-sensitive substring tests, in the
// order of the members above; nothing is ever read beyond its end. The width is taken at the first
// "q" and the label field at the first "Q" that a digit follows.
EplConfiguration ParseEplConfiguration(std::string_view reply, const EplReadContext& context);

// ---------------------------------------------------------------------------------------------
// The command block sent on Finish

struct EplSetupChoices {
  // Lengths in dots as commands carry them.
  long long widthDots = 448;
  long long lengthDots = 100;
  long long gapDots = 0;
  long long offsetDots = 0;
  // List indexes; -1 is no selection. A list without a selection (or an empty darkness text) leaves
  // its command out rather than sending it incomplete.
  int mediaType = 0;    // 0 continuous, 1 black marks, 2 gaps
  int orientation = 0;  // 0 "ZT", 1 "ZB"
  int speed = 0;        // 2 + index inches per second
  std::string darkness = "15";  // DarknessComboBox text
  int printMode = 1;    // 0 direct ("OD"), 1 transfer
  int handling = 0;     // 0 none, 1 peel ("OP"), 2 no liner ("OL")
  bool errorReport = false;
  int codePage = 0;     // 0 to 28 (20 to 28 are 7-bit); another index leaves the code-page line out
  int country = kDefaultCountryIndex;  // another index leaves the code-page line out
  bool tofBackup = true;
  bool advanced = true;  // ContinueCheckBox: the clock line may be sent
  bool setClock = false;
  using Clock = ClockTime;
  Clock clock{};
  // true: the computer clock, numbers without leading zeros; false: the entered time, two digits.
  bool computerClock = true;
};

// The block, one command a line, each line ended by CR LF.
std::string BuildEplSetupBlock(const EplSetupChoices& choices);
// The label line alone: "Q" length "," ["B"] gap offset, or "Q0001,0" for continuous media.
std::string EplLabelLine(const EplSetupChoices& choices);
// The clock line alone, e.g. "TS12,7,2026,9,5,3" or "TS12,07,2026,09,05,03".
std::string EplClockLine(const EplSetupChoices::Clock& time, bool computerClock);

// A number of dots as a length field shows it in a unit at a resolution's densities: two decimals
// for cm, inch and mm, a whole number for dots.
std::string DotsInUnit(long long dots, LengthUnit unit, const DotDensity& density);

}  // namespace tw
