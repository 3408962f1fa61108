// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command block the Z setup wizard sends on Finish, built piece by piece from the wizard's
// choices. Plain logic, so that the block can be checked byte for byte.
#include <optional>
#include <string>

#include "wizards/ClockTime.h"

namespace tw {

struct ZSetupChoices {
  std::string darkness = "20";  // DarknessComboBox text
  long long tearoffDots = 0;
  long long widthDots = 448;
  long long lengthDots = 100;
  long long labelShiftDots = 0;
  // List indexes; -1 (no selection) or an entry without a letter adds no letter.
  int backfeed = 1;
  int orientation = 0;
  int speed = 3;
  int mediaType = 0;
  int handling = 0;
  int feed = 0;
  bool mirror = false;
  bool advanced = true;  // ContinueCheckBox: backfeed, clock, handling and feed are sent
  bool setClock = false;
  ClockTime clock{};
  // true: the computer clock, numbers without leading zeros; false: the entered time, two digits.
  bool computerClock = true;
};

std::string BuildZSetupBlock(const ZSetupChoices& choices);

// The clock command alone, e.g. "^ST12,7,2026,9,5,3,M" or "^ST12,07,2026,09,05,03,M".
std::string ZClockCommand(const ClockTime& time, bool computerClock);

}  // namespace tw
