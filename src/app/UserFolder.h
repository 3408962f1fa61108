// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Start-up check of the user's settings folder of an installed program.

namespace tw {

// Makes the user's lib folder ready (core/AppPaths.h PrepareUserFolder) and, when that fails, tells
// the user in a message box that port choices will not be kept; the program goes on either way.
void ReportUserFolderProblem();

}  // namespace tw
