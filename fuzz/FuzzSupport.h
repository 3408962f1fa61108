// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzz targets share: a property check that stops the run, a split of the input into
// fields, and a scratch file for readers that take a path.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>

namespace fuzz {

inline void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// The input read front to back: bytes, small numbers and NUL-ended fields.
class Input {
 public:
  Input(const uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}
  bool empty() const { return rest_.empty(); }
  uint8_t Byte() {
    if (rest_.empty()) return 0;
    const auto byte = static_cast<uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return byte;
  }
  std::string_view Field() {
    const auto end = rest_.find('\0');
    const std::string_view field = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    return field;
  }
  std::string_view Take(std::size_t count) {
    const std::string_view taken = rest_.substr(0, count);
    rest_.remove_prefix(taken.size());
    return taken;
  }
  std::string_view Rest() { return Take(rest_.size()); }

 private:
  std::string_view rest_;
};

// The scratch files of this process, removed when it ends.
struct ScratchFiles {
  std::set<std::filesystem::path> paths;
  ~ScratchFiles() {
    std::error_code ignored;
    for (const auto& path : paths) std::filesystem::remove(path, ignored);
  }
};

// A file of this process in the temporary folder, rewritten for every input.
inline std::filesystem::path ScratchFile(std::string_view name) {
  static ScratchFiles files;
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("tagwright-fuzz-" + std::to_string(getpid()) + "-" + std::string(name));
  files.paths.insert(path);
  return path;
}

inline std::filesystem::path WriteScratch(std::string_view name, std::string_view bytes) {
  const std::filesystem::path path = ScratchFile(name);
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace fuzz
