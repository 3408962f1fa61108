// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the program's runtime files live.
//
// A build folder or a portable folder keeps everything beside the executable: lib/ (PortInfo.ini,
// SysOption.ini), Language/ and help/. An installed tree keeps the delivered, read-only files in
// ../share/tagwright relative to the executable (Language/, help/, the default SysOption.ini) and the
// writable lib/ in the user's folder $XDG_CONFIG_HOME/tagwright/lib (default ~/.config/tagwright/lib).
// A writable lib/ beside the program always wins, so a portable folder keeps its old rule.
#include <filesystem>
#include <string>

namespace tw {

// The folder of the running program (set once at start-up; tests point it at a temporary folder).
std::filesystem::path ProgramDir();
void SetProgramDir(const std::filesystem::path& dir);
// Sets the program folder from /proc/self/exe.
void InitProgramDirFromExecutable();

// <program>/../share/tagwright, where an installed tree keeps its delivered files.
std::filesystem::path InstalledDataDir();
// The folder holding Language/ and help/: the program folder when it has Language/ beside it, else
// the installed data folder when that exists, else the program folder.
std::filesystem::path DataDir();
// True when the INI files live in the user's folder: no writable lib/ beside the program and an
// installed data folder next to it.
bool UsesUserFolder();
// $XDG_CONFIG_HOME/tagwright/lib, or ~/.config/tagwright/lib when the variable is unset or relative.
std::filesystem::path UserLibDir();

std::filesystem::path LibDir();          // <program>/lib, or the user's lib folder
std::filesystem::path PortInfoPath();    // <lib>/PortInfo.ini
// <lib>/SysOption.ini; in the user's folder, the delivered default until the user's copy exists.
std::filesystem::path SysOptionPath();

// Makes the user's lib folder ready when the program uses it: creates it and copies the delivered
// SysOption.ini into it unless a copy is already there. Returns an empty text when all is well or
// nothing is needed, else the reason (the folder's path and the system's words).
std::string PrepareUserFolder();

}  // namespace tw
