#include "core/AppPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <system_error>

namespace tw {
namespace fs = std::filesystem;
namespace {
std::mutex g_mutex;
fs::path g_programDir = ".";

constexpr const char* kSysOptionName = "SysOption.ini";

bool IsWritableDir(const fs::path& dir) {
  std::error_code ec;
  return fs::is_directory(dir, ec) && ::access(dir.c_str(), W_OK) == 0;
}

fs::path HomeDir() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}
}  // namespace

fs::path ProgramDir() {
  std::lock_guard lock(g_mutex);
  return g_programDir;
}

void SetProgramDir(const fs::path& dir) {
  std::lock_guard lock(g_mutex);
  g_programDir = dir;
}

void InitProgramDirFromExecutable() {
  std::error_code ec;
  auto exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) SetProgramDir(exe.parent_path());
}

fs::path InstalledDataDir() { return (ProgramDir() / ".." / "share" / "tagwright").lexically_normal(); }

fs::path DataDir() {
  const fs::path programDir = ProgramDir();
  std::error_code ec;
  if (fs::is_directory(programDir / "Language", ec)) return programDir;
  const fs::path installed = InstalledDataDir();
  return fs::is_directory(installed, ec) ? installed : programDir;
}

bool UsesUserFolder() {
  std::error_code ec;
  return !IsWritableDir(ProgramDir() / "lib") && fs::is_directory(InstalledDataDir(), ec);
}

fs::path UserLibDir() {
  // The base directory specification ignores a relative XDG_CONFIG_HOME.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const fs::path base = config && fs::path(config).is_absolute() ? fs::path(config) : HomeDir() / ".config";
  return base / "tagwright" / "lib";
}

fs::path LibDir() { return UsesUserFolder() ? UserLibDir() : ProgramDir() / "lib"; }
fs::path PortInfoPath() { return LibDir() / "PortInfo.ini"; }

fs::path SysOptionPath() {
  if (!UsesUserFolder()) return ProgramDir() / "lib" / kSysOptionName;
  fs::path own = UserLibDir() / kSysOptionName;
  std::error_code ec;
  return fs::exists(own, ec) ? own : InstalledDataDir() / kSysOptionName;
}

std::string PrepareUserFolder() {
  if (!UsesUserFolder()) return {};
  const fs::path dir = UserLibDir();
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!ec && !IsWritableDir(dir)) ec = std::make_error_code(std::errc::permission_denied);
  const fs::path own = dir / kSysOptionName;
  if (!ec && !fs::exists(own, ec) && !ec) {
    fs::copy_file(InstalledDataDir() / kSysOptionName, own, ec);
    // A package without a default option file leaves every option at its default.
    if (ec == std::errc::no_such_file_or_directory) ec.clear();
  }
  return ec ? dir.string() + ": " + ec.message() : std::string();
}

}  // namespace tw
