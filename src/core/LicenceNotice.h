// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What each program's --version prints: its name and version, then the copyright and the licence.
#include <string>

namespace tw {

inline std::string VersionText(const std::string& programAndVersion) {
  return programAndVersion +
         "\nCopyright (C) 2026 Tagwright developers"
         "\nLicence: GPL-3.0-or-later (GNU General Public License, version 3 or later,"
         "\n<https://www.gnu.org/licenses/gpl-3.0.html>)."
         "\nThis is free software: you are free to change and redistribute it."
         "\nThere is NO WARRANTY, to the extent permitted by law.";
}

}  // namespace tw
