// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/ZSetupBlock.h"

#include <array>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

namespace tw {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The letter a list index stands for; nothing for no selection or an entry without a letter.
template <std::size_t N>
std::string_view Letter(const std::array<std::string_view, N>& letters, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < N ? letters[index] : std::string_view();
}

// BackfeedComboBox: no backfeed, the printer's default, before printing, after printing.
constexpr std::array<std::string_view, 4> kBackfeedLetters = {"O", "B", "B", "A"};
constexpr std::array<std::string_view, 2> kOrientationLetters = {"N", "I"};
constexpr std::array<std::string_view, 5> kSpeedDigits = {"2", "3", "4", "5", "6"};
constexpr std::array<std::string_view, 3> kMediaLetters = {"N", "M", "Y"};
// MediaHandingComboBox: tear-off, rewind, peel-off, cutter, applicator.
constexpr std::array<std::string_view, 5> kHandlingLetters = {"R", "T", "P", "C", "A"};
constexpr std::array<std::string_view, 4> kFeedLetters = {"N", "F", "C", "S"};

std::string Format(const char* format, long long value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

// One piece of the block: its text, and whether it is sent with these choices.
struct Piece {
  std::function<std::string(const ZSetupChoices&)> text;
  std::function<bool(const ZSetupChoices&)> sent;
};

bool Always(const ZSetupChoices&) { return true; }
bool WhenAdvanced(const ZSetupChoices& c) { return c.advanced; }

const std::vector<Piece>& Pieces() {
  static const std::vector<Piece> pieces = {
      {[](auto&) { return std::string("~MUD"); }, Always},
      {[](auto& c) { return "~SD" + c.darkness; }, Always},
      {[](auto& c) { return "~TA" + Format("%.3lld", c.tearoffDots); }, Always},
      {[](auto& c) { return Join({"~JS", Letter(kBackfeedLetters, c.backfeed)}); }, WhenAdvanced},
      {[](auto&) { return std::string("^XA"); }, Always},
      // The clock is set in a format of its own, ahead of the label settings.
      {[](auto& c) { return ZClockCommand(c.clock, c.computerClock) + "\r\n^XZ\r\n^XA"; },
       [](auto& c) { return c.advanced && c.setClock; }},
      {[](auto& c) { return "^PW" + Format("%lld", c.widthDots); }, Always},
      {[](auto& c) { return "^LL" + Format("%lld", c.lengthDots); }, Always},
      {[](auto& c) { return Join({"^PO", Letter(kOrientationLetters, c.orientation)}); }, Always},
      {[](auto& c) {
         const std::string_view s = Letter(kSpeedDigits, c.speed);
         return Join({"^PR", s, ",", s});
       },
       Always},
      {[](auto& c) { return std::string(c.mirror ? "^PMY" : "^PMN"); }, Always},
      {[](auto& c) { return Join({"^MN", Letter(kMediaLetters, c.mediaType)}); }, Always},
      {[](auto& c) { return "^LS" + Format("%lld", c.labelShiftDots); }, Always},
      {[](auto& c) { return Join({"^MM", Letter(kHandlingLetters, c.handling), ",Y"}); }, WhenAdvanced},
      {[](auto& c) {
         const std::string_view f = Letter(kFeedLetters, c.feed);
         return Join({"^MF", f, ",", f});
       },
       WhenAdvanced},
      {[](auto&) { return std::string("^XZ"); }, Always},
      {[](auto&) { return std::string("^XA^JUS^XZ\r\n"); }, Always},
  };
  return pieces;
}

}  // namespace

std::string ZClockCommand(const ClockTime& t, bool computerClock) {
  const char* format = computerClock ? "^ST%d,%d,%d,%d,%d,%d,M" : "^ST%02d,%02d,%04d,%02d,%02d,%02d,M";
  char text[96];
  std::snprintf(text, sizeof text, format, t.month, t.day, t.year, t.hour, t.minute, t.second);
  return text;
}

std::string BuildZSetupBlock(const ZSetupChoices& choices) {
  std::string block;
  for (const Piece& piece : Pieces()) {
    if (!piece.sent(choices)) continue;
    block += piece.text(choices);
    block += kLineEnd;
  }
  return block;
}

}  // namespace tw
