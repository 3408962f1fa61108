// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PtyPair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace tw::test {

PtyPair::PtyPair() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    ADD_FAILURE() << "cannot make a pseudo-terminal";
    return;
  }
  slavePath_ = ::ptsname(master_);
  slaveKeep_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  ::tcgetattr(slaveKeep_, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(slaveKeep_, TCSANOW, &tio);
}

PtyPair::~PtyPair() {
  if (slaveKeep_ >= 0) ::close(slaveKeep_);
  if (master_ >= 0) ::close(master_);
}

std::string PtyPair::ReadMaster(std::size_t count, int timeoutMs) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
  std::string got;
  char buffer[4096];
  while (got.size() < count) {
    int left = static_cast<int>(duration_cast<milliseconds>(deadline - steady_clock::now()).count());
    if (left <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, left) <= 0) break;
    ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

void PtyPair::WriteMaster(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace tw::test
