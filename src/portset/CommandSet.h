// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command set flag: true for the Z command set (WVLZ), false for the E command set (WVLE).
// The main window sets it at start from the last port choice (PortInfo.ini); the port settings
// dialog sets it each time it is shown or its choice is clicked. The main window and the password
// dialog read it to choose the variant of their windows.

namespace tw {

bool CommandSetIsZ();
void SetCommandSetIsZ(bool z);

}  // namespace tw
