#include "core/AppPaths.h"

#include <mutex>
#include <system_error>

namespace tw {
namespace {
std::mutex g_mutex;
std::filesystem::path g_programDir = ".";
}  // namespace

std::filesystem::path ProgramDir() {
  std::lock_guard lock(g_mutex);
  return g_programDir;
}

void SetProgramDir(const std::filesystem::path& dir) {
  std::lock_guard lock(g_mutex);
  g_programDir = dir;
}

void InitProgramDirFromExecutable() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) SetProgramDir(exe.parent_path());
}

std::filesystem::path LibDir() { return ProgramDir() / "lib"; }
std::filesystem::path PortInfoPath() { return LibDir() / "PortInfo.ini"; }
std::filesystem::path SysOptionPath() { return LibDir() / "SysOption.ini"; }

}  // namespace tw
