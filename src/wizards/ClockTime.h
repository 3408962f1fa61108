// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tw {

// A moment for a printer's real-time clock, as a setup wizard sends it.
struct ClockTime {
  int year, month, day, hour, minute, second;
};

}  // namespace tw
