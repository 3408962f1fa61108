#pragma once
// Where the program's runtime files live: lib/, Language/ and help/ beside the executable.
#include <filesystem>

namespace tw {

// The folder of the running program (set once at start-up; tests point it at a temporary folder).
std::filesystem::path ProgramDir();
void SetProgramDir(const std::filesystem::path& dir);
// Sets the program folder from argv[0] / /proc/self/exe.
void InitProgramDirFromExecutable();

std::filesystem::path LibDir();          // <program>/lib
std::filesystem::path PortInfoPath();    // <program>/lib/PortInfo.ini
std::filesystem::path SysOptionPath();   // <program>/lib/SysOption.ini

}  // namespace tw
