// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/SessionLog.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "link/HexConversions.h"

namespace tw {

std::string SessionLogLine(std::chrono::system_clock::time_point when, TrafficDirection direction,
                           std::string_view port, std::string_view bytes) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d %c ", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms), direction == TrafficDirection::Sent ? '>' : '<');
  std::string line = std::string(stamp) + std::string(port) + ' ';
  // The text form keeps CR LF as a line break; in a log of one line per piece it is escaped as well.
  for (char c : BytesToEscapedText(bytes)) {
    if (c == '\r') {
      line += "<\\x0D>";
    } else if (c == '\n') {
      line += "<\\x0A>";
    } else {
      line += c;
    }
  }
  return line;
}

SessionLog::SessionLog(std::function<std::string()> portName) : portName_(std::move(portName)) {}

SessionLog::~SessionLog() { Stop(); }

std::string SessionLog::Start(const std::string& path) {
  Stop();
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) return std::strerror(errno);
  {
    std::lock_guard lock(mutex_);
    file_ = file;
    path_ = path;
  }
  SetTrafficObserver([this](TrafficDirection direction, std::string_view bytes) { Write(direction, bytes); });
  return {};
}

void SessionLog::Stop() {
  SetTrafficObserver({});
  std::lock_guard lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = nullptr;
  path_.clear();
}

bool SessionLog::running() const {
  std::lock_guard lock(mutex_);
  return file_ != nullptr;
}

std::string SessionLog::path() const {
  std::lock_guard lock(mutex_);
  return path_;
}

void SessionLog::Write(TrafficDirection direction, std::string_view bytes) {
  const std::string port = portName_ ? portName_() : std::string();
  const std::string line = SessionLogLine(std::chrono::system_clock::now(), direction, port, bytes) + "\n";
  std::lock_guard lock(mutex_);
  if (!file_) return;
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);  // a session that ends badly still leaves its log
}

}  // namespace tw
