// SPDX-License-Identifier: GPL-3.0-or-later
// The session log: each line splits into time, direction, port and bytes; the file is the user's
// alone; a line that another thread is writing as the log goes finds what it needs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "link/HexConversions.h"
#include "link/SessionLog.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

struct LineCase {
  const char* port;
  const char* bytes;
  const char* rest;  // the line after "HH:MM:SS.mmm > "
};
const LineCase kLines[] = {
    {"127.0.0.1:9100", "~WN01@version~\r\n", "127.0.0.1:9100 ~WN01@version~<\\x0D><\\x0A>"},
    {"QRT L42 USB", "^XA", "QRT<\\x20>L42<\\x20>USB ^XA"},
};

TEST(SessionLogLine, SplitsAtTheFirstBlankAfterThePort) {
  for (const LineCase& c : kLines) {
    const std::string line = SessionLogLine(std::chrono::system_clock::now(), TrafficDirection::Sent, c.port, c.bytes);
    EXPECT_EQ(line.substr(13), std::string("> ") + c.rest);
    const std::string rest = line.substr(15);
    EXPECT_EQ(DecodeEscapes(rest.substr(0, rest.find(' '))), c.port);
    EXPECT_EQ(DecodeEscapes(rest.substr(rest.find(' ') + 1)), c.bytes);
  }
}

TEST(SessionLog, IsTheUsersAloneAndOutlivesALineInFlight) {
  test::TempDir dir;
  auto token = std::make_shared<int>(0);
  const std::weak_ptr<int> portNameAlive = token;
  std::atomic<bool> inLine{false}, release{false};
  auto log = std::make_unique<SessionLog>([token, &inLine, &release] {
    inLine = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return std::string("p");
  });
  token.reset();
  ASSERT_EQ(log->Start((dir / "s.log").string()), "");
  using std::filesystem::perms;
  EXPECT_EQ(std::filesystem::status(dir / "s.log").permissions() & perms::all, perms::owner_read | perms::owner_write);
  std::thread line([] { NoteTraffic(TrafficDirection::Sent, "^XA"); });
  while (!inLine) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  log.reset();
  EXPECT_FALSE(portNameAlive.expired()) << "the line in flight lost what it uses";
  release = true;
  line.join();
  EXPECT_EQ(test::ReadFileBytes(dir / "s.log"), "") << "nothing is written after the log has stopped";
}

}  // namespace
}  // namespace tw
