// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/AppPaths.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
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

// Gives `temporary` the name `target` unless that exists already (which counts as done). A file
// system without hard links gets the rename that refuses to replace.
bool PlaceWithoutReplacing(const fs::path& temporary, const fs::path& target) {
  if (::link(temporary.c_str(), target.c_str()) == 0 || errno == EEXIST) return true;
  if (errno != EPERM && errno != EOPNOTSUPP) return false;
  return ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0 || errno == EEXIST;
}

// Copies the delivered option file to `own` as a whole or not at all: the copy is made under a
// temporary name and then linked to its own name, which fails rather than replaces when another
// program starting at the same moment got there first (its copy is as good). A crash leaves at most
// the temporary file, never a truncated option file that would be kept from then on.
std::error_code CopyWithoutReplacing(const fs::path& delivered, const fs::path& own) {
  fs::path temporary = own;
  static std::atomic<int> copies{0};
  temporary += "." + std::to_string(::getpid()) + "-" + std::to_string(++copies) + ".tmp";
  std::error_code ec, probe;
  fs::copy_file(delivered, temporary, fs::copy_options::overwrite_existing, ec);
  // A package without a default option file leaves every option at its default.
  if (ec == std::errc::no_such_file_or_directory && !fs::exists(delivered, probe)) return {};
  if (!ec && !PlaceWithoutReplacing(temporary, own)) ec = std::error_code(errno, std::generic_category());
  std::error_code ignored;
  fs::remove(temporary, ignored);
  return ec;
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
  if (!ec && !fs::exists(own, ec) && !ec) ec = CopyWithoutReplacing(InstalledDataDir() / kSysOptionName, own);
  return ec ? dir.string() + ": " + ec.message() : std::string();
}

}  // namespace tw
