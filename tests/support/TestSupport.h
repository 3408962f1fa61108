// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the tests.
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/Pacing.h"

namespace tw::test {

// A fresh folder under the system's temporary folder, removed with its content at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Writes a file (folders created) and returns its path.
  std::filesystem::path Write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& path);

// A pacer that runs the clock fast: sleeps are scaled by `sleepScale`, time-outs by `timeoutScale`
// (never below 1 ms for a non-zero time-out), and every step is recorded by name.
class FastPacer : public Pacer {
 public:
  explicit FastPacer(double sleepScale = 0.0, double timeoutScale = 0.05)
      : sleepScale_(sleepScale), timeoutScale_(timeoutScale) {}
  void Sleep(PaceStep step) override;
  int Timeout(PaceStep step) override;
  int64_t NowMs() override;
  // How many sleeps of the named step happened.
  int SleepCount(std::string_view name) const;
  std::vector<PaceStep> Sleeps() const;

 private:
  double sleepScale_;
  double timeoutScale_;
  mutable std::mutex mutex_;
  std::vector<PaceStep> sleeps_;
};

// Installs a FastPacer for the life of the object and restores the real pacer afterwards.
class ScopedFastPacer {
 public:
  explicit ScopedFastPacer(double sleepScale = 0.0, double timeoutScale = 0.05);
  ~ScopedFastPacer();
  FastPacer& operator*() { return *pacer_; }
  FastPacer* operator->() { return pacer_.get(); }

 private:
  std::shared_ptr<FastPacer> pacer_;
};

// Records every message shown while it lives and answers with `answer`.
class MessageRecorder {
 public:
  struct Shown {
    std::string text, caption;
    MsgIcon icon;
    MsgButtons buttons;
  };
  explicit MessageRecorder(MsgAnswer answer = MsgAnswer::Ok);
  ~MessageRecorder();
  std::vector<Shown> shown() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Shown> shown_;
};

}  // namespace tw::test
