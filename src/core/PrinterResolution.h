// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The connected printer's resolution as last read from it (by the E setup wizard's configuration
// read or by the status reading's identification), shared by the windows that draw at the printer's
// resolution. Nothing is queried for it: it is only what a read has already brought.
#include <string_view>

namespace tw {

// Dots per millimetre last read (6, 8, 12 or 24); 0 when none has been read yet.
int LastReadDotsPerMm();
// Takes a reading; values other than 6, 8, 12 and 24 are not resolutions and are ignored.
void SetLastReadDotsPerMm(int dotsPerMm);
// The same from a reply's text, such as "8" or "12.0".
void SetLastReadDotsPerMm(std::string_view text);

}  // namespace tw
