// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/SessionLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

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
  std::string line = stamp;
  // Blanks in a port's name (a USB model's) are escaped: the first blank after the name ends it.
  for (char c : port) {
    if (c == ' ') {
      line += "<\\x20>";
    } else {
      line += c;
    }
  }
  line += ' ';
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

struct SessionLog::Sink {
  std::function<std::string()> portName;
  std::mutex mutex;
  std::FILE* file = nullptr;
  std::string path;

  void Write(TrafficDirection direction, std::string_view bytes) {
    const std::string port = portName ? portName() : std::string();
    const std::string line = SessionLogLine(std::chrono::system_clock::now(), direction, port, bytes) + "\n";
    std::lock_guard lock(mutex);
    if (!file) return;
    std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);  // a session that ends badly still leaves its log
  }
};

SessionLog::SessionLog(std::function<std::string()> portName) : sink_(std::make_shared<Sink>()) {
  sink_->portName = std::move(portName);
}

SessionLog::~SessionLog() { Stop(); }

std::string SessionLog::Start(const std::string& path) {
  Stop();
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return std::strerror(errno);
  std::FILE* file = ::fdopen(fd, "ab");
  if (!file) {
    const int error = errno;
    ::close(fd);
    return std::strerror(error);
  }
  {
    std::lock_guard lock(sink_->mutex);
    sink_->file = file;
    sink_->path = path;
  }
  SetTrafficObserver([sink = sink_](TrafficDirection direction, std::string_view bytes) { sink->Write(direction, bytes); });
  return {};
}

void SessionLog::Stop() {
  SetTrafficObserver({});
  std::lock_guard lock(sink_->mutex);
  if (sink_->file) std::fclose(sink_->file);
  sink_->file = nullptr;
  sink_->path.clear();
}

bool SessionLog::running() const {
  std::lock_guard lock(sink_->mutex);
  return sink_->file != nullptr;
}

std::string SessionLog::path() const {
  std::lock_guard lock(sink_->mutex);
  return sink_->path;
}

}  // namespace tw
