// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestSupport.h"

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace tw::test {

TempDir::TempDir() {
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() / ("tagwright-test-" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  // A test may have made a folder read-only; give it back before removing.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ec)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::Write(const std::string& name, const std::string& bytes) const {
  auto file = path_ / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file;
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void FastPacer::Sleep(PaceStep step) {
  {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(step);
  }
  int ms = static_cast<int>(step.ms * sleepScale_);
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int FastPacer::Timeout(PaceStep step) {
  if (step.ms <= 0) return step.ms;
  int ms = static_cast<int>(step.ms * timeoutScale_);
  return ms < 1 ? 1 : ms;
}

int64_t FastPacer::NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int FastPacer::SleepCount(std::string_view name) const {
  std::lock_guard lock(mutex_);
  int n = 0;
  for (const auto& s : sleeps_) n += s.name == name;
  return n;
}

std::vector<PaceStep> FastPacer::Sleeps() const {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

ScopedFastPacer::ScopedFastPacer(double sleepScale, double timeoutScale)
    : pacer_(std::make_shared<FastPacer>(sleepScale, timeoutScale)) {
  SetPacer(pacer_);
}

ScopedFastPacer::~ScopedFastPacer() { SetPacer(nullptr); }

MessageRecorder::MessageRecorder(MsgAnswer answer) {
  SetMessageHandler([this, answer](const std::string& text, const std::string& caption, MsgIcon icon,
                                   MsgButtons buttons) {
    std::lock_guard lock(mutex_);
    shown_.push_back({text, caption, icon, buttons});
    return answer;
  });
}

MessageRecorder::~MessageRecorder() { SetMessageHandler(nullptr); }

std::vector<MessageRecorder::Shown> MessageRecorder::shown() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

}  // namespace tw::test
