// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimIo.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tw::sim::io {

StopSignal::StopSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() { CloseFd(fd_); }

void StopSignal::Raise() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(fd_, &one, sizeof one);
}

void StopSignal::Clear() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(fd_, &count, sizeof count);
}

bool StopSignal::Raised() const {
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

WaitResult WaitFor(int fd, short events, int timeoutMs, const StopSignal& stop) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    int remaining = -1;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      remaining = static_cast<int>(std::max<long long>(left.count(), 0));
    }
    pollfd fds[2] = {{stop.fd(), POLLIN, 0}, {fd, events, 0}};
    const nfds_t count = fd >= 0 ? 2 : 1;
    const int n = poll(fds, count, remaining);
    if (n < 0) {
      if (errno == EINTR) continue;
      return WaitResult::Failed;
    }
    if (fds[0].revents) return WaitResult::Stopped;
    if (n == 0) return WaitResult::TimedOut;
    if (fds[1].revents & (events | POLLHUP | POLLERR)) return WaitResult::Ready;
    if (fds[1].revents & POLLNVAL) return WaitResult::Failed;
  }
}

bool Sleep(int ms, const StopSignal& stop) {
  if (ms <= 0) return !stop.Raised();
  return WaitFor(-1, 0, ms, stop) == WaitResult::TimedOut;
}

BytePacer::BytePacer(int baud)
    : baud_(std::max(baud, 0)), bytesPerSecond_(baud_ / 10.0), nextFree_(Clock::now()) {}

std::size_t BytePacer::SliceBytes() const {
  if (!active()) return 64 * 1024;
  return std::max<std::size_t>(1, static_cast<std::size_t>(bytesPerSecond_ / 100.0));
}

int BytePacer::DelayMs() const {
  if (!active()) return 0;
  const auto wait = nextFree_ - Clock::now();
  if (wait <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
}

void BytePacer::Account(std::size_t bytes) {
  if (!active() || bytes == 0) return;
  // A line that stood idle has no credit: the next byte starts now at the earliest.
  const auto start = std::max(nextFree_, Clock::now());
  const auto lineTime = std::chrono::duration<double>(static_cast<double>(bytes) / bytesPerSecond_);
  nextFree_ = start + std::chrono::duration_cast<Clock::duration>(lineTime);
}

bool WriteAll(int fd, bool isSocket, std::string_view bytes, int timeoutMs,
              const StopSignal& stop) {
  while (!bytes.empty()) {
    const ssize_t n = isSocket ? send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                               : write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (WaitFor(fd, POLLOUT, timeoutMs, stop) != WaitResult::Ready) return false;
      continue;
    }
    return false;
  }
  return true;
}

int OpenTcpListener(const std::string& host, uint16_t port, int receiveBufferBytes,
                    uint16_t& boundPort) {
  boundPort = 0;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found) != 0) {
    return -1;
  }
  int fd = -1;
  for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Set before listen, so that accepted connections advertise the small window from the start.
    if (receiveBufferBytes > 0) {
      setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    }
    if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, 4) != 0) CloseFd(fd);
  }
  freeaddrinfo(found);
  if (fd < 0) return -1;
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    CloseFd(fd);
    return -1;
  }
  boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  return fd;
}

void EnsureRawMode(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return;
  constexpr tcflag_t kLocal = ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN;
  constexpr tcflag_t kInput = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL;
  const bool raw = (t.c_lflag & kLocal) == 0 && (t.c_iflag & kInput) == 0 &&
                   (t.c_oflag & OPOST) == 0 && t.c_cc[VMIN] == 1 && t.c_cc[VTIME] == 0;
  if (raw) return;
  t.c_lflag &= ~kLocal;
  t.c_iflag &= ~kInput;
  t.c_oflag &= ~OPOST;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &t);
}

bool OpenPty(PtyPair& pty) {
  pty = PtyPair{};
  pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.master < 0) return false;
  char name[128];
  if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 ||
      ptsname_r(pty.master, name, sizeof name) != 0) {
    ClosePty(pty);
    return false;
  }
  pty.path = name;
  pty.heldSlave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (pty.heldSlave < 0) {
    ClosePty(pty);
    return false;
  }
  termios t{};
  if (tcgetattr(pty.heldSlave, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(pty.heldSlave, TCSANOW, &t);
  }
  const int flags = fcntl(pty.master, F_GETFL);
  fcntl(pty.master, F_SETFL, flags | O_NONBLOCK);
  return true;
}

void ClosePty(PtyPair& pty) {
  CloseFd(pty.heldSlave);
  CloseFd(pty.master);
  pty.path.clear();
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace tw::sim::io
