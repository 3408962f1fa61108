// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A record of a session with the printer, to keep or to send to a colleague: one line per piece of
// bytes the link moved, "HH:MM:SS.mmm > PORT " for what was sent or "HH:MM:SS.mmm < PORT " for what
// was received, then the bytes in the send area's text form with line breaks escaped too, so that
// DecodeEscapes of the rest of the line gives back the bytes exactly. Blanks in PORT are escaped
// ("<\x20>"), so that the first blank after it ends it. The log holds customers' data: a file it
// creates is the user's alone.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/LinkTraffic.h"

namespace tw {

// One line of the log, without its line end.
std::string SessionLogLine(std::chrono::system_clock::time_point when, TrafficDirection direction,
                           std::string_view port, std::string_view bytes);

class SessionLog {
 public:
  // `portName` names the port in each line; it is asked at every line, as the port may change.
  explicit SessionLog(std::function<std::string()> portName);
  ~SessionLog();
  SessionLog(const SessionLog&) = delete;
  SessionLog& operator=(const SessionLog&) = delete;

  // Starts writing to the file (appended to what it holds) and listening to the link. An empty text
  // when it runs, else the system's words for why the file cannot be opened.
  std::string Start(const std::string& path);
  // Stops listening and closes the file.
  void Stop();
  bool running() const;
  std::string path() const;

 private:
  // The file, its lock and the port's name, shared with the link's observer: a line that another
  // thread is writing as the log stops or goes finds them still there (and the file closed).
  struct Sink;
  std::shared_ptr<Sink> sink_;
};

}  // namespace tw
