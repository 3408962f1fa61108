// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/FdChannel.h"

#include <string_view>

#include "link/LinkTraffic.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "link/WaitInterrupt.h"

namespace tw {
namespace {

// The rest between retries on a descriptor without poll: short against the time-outs, long enough
// that a wait of seconds costs the processor next to nothing.
constexpr int kNoPollRetryMs = 10;
// The character devices of the lp driver (/dev/lpN).
constexpr unsigned kLpMajor = 6;

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Milliseconds left to a deadline (never below 0); -1 when there is none.
int LeftMs(int64_t deadline, int timeoutMs) {
  if (timeoutMs < 0) return -1;
  const int64_t left = deadline - SteadyMs();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

FdChannelPtr FdChannel::Open(int fd, Polling polling, Departure departure) {
  auto channel = std::make_shared<FdChannel>(fd, polling, departure);
  return channel->cancelFd_ >= 0 ? channel : nullptr;
}

FdChannel::FdChannel(int fd, Polling polling, Departure departure)
    : fd_(fd), cancelFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), departure_(departure) {
  struct stat st {};
  const bool known = fd_ >= 0 && ::fstat(fd_, &st) == 0;
  isSocket_ = known && S_ISSOCK(st.st_mode);
  pollable_ = polling == Polling::Detect && !(known && S_ISCHR(st.st_mode) && major(st.st_rdev) == kLpMajor);
}

FdChannel::~FdChannel() {
  if (fd_ >= 0) ::close(fd_);
  if (cancelFd_ >= 0) ::close(cancelFd_);
}

void FdChannel::Cancel() {
  uint64_t one = 1;
  if (cancelFd_ >= 0) (void)!::write(cancelFd_, &one, sizeof one);
}

bool FdChannel::cancelled() const {
  pollfd p{cancelFd_, POLLIN, 0};
  return cancelFd_ < 0 || ::poll(&p, 1, 0) > 0;
}

bool FdChannel::Rest(int ms) const {
  if (cancelFd_ < 0) return false;
  // The calling thread's interrupt ends the rest too (fd -1 is ignored by poll).
  const WaitInterrupt* interrupt = WaitInterrupt::Current();
  pollfd fds[2] = {{cancelFd_, POLLIN, 0}, {interrupt ? interrupt->fd() : -1, POLLIN, 0}};
  return ::poll(fds, 2, ms) <= 0 || !((fds[0].revents | fds[1].revents) & POLLIN);
}

void FdChannel::NoteFailure(int error) const {
  if (departure_ == Departure::AnyError || error == 0 || error == ENODEV || error == ENXIO) wentAway_ = true;
}

FdChannel::Wait FdChannel::WaitFor(short events, int timeoutMs) const {
  if (fd_ < 0) return Wait::Failed;
  // What the kernel answers for a driver without poll: ready at once.
  if (!pollable_) return cancelled() || WaitInterrupted() ? Wait::Cancelled : Wait::Ready;
  const int64_t deadline = SteadyMs() + (timeoutMs < 0 ? 0 : timeoutMs);
  // The calling thread's interrupt ends the wait too (fd -1 is ignored by poll).
  const WaitInterrupt* interrupt = WaitInterrupt::Current();
  for (;;) {
    pollfd fds[3] = {{fd_, events, 0}, {cancelFd_, POLLIN, 0}, {interrupt ? interrupt->fd() : -1, POLLIN, 0}};
    int wait = -1;
    if (timeoutMs >= 0) {
      int64_t left = deadline - SteadyMs();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    int n = ::poll(fds, 3, wait);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Wait::Failed;
    }
    // Checked before the data: an interrupted waiter leaves what has arrived for the next reader.
    if (fds[1].revents || fds[2].revents) return Wait::Cancelled;
    if (n == 0) return Wait::TimedOut;
    if (fds[0].revents & POLLNVAL) return Wait::Failed;
    // A hang-up or error counts as ready: the following read or write reports it.
    return Wait::Ready;
  }
}

FdChannel::Wait FdChannel::WaitReadable(int timeoutMs) const { return WaitFor(POLLIN, timeoutMs); }
FdChannel::Wait FdChannel::WaitWritable(int timeoutMs) const { return WaitFor(POLLOUT, timeoutMs); }

long FdChannel::ReadNow(char* buffer, std::size_t capacity) const {
  if (fd_ < 0 || cancelled()) return -1;
  if (capacity == 0) return 0;
  for (;;) {
    if (pollable_) {
      pollfd p{fd_, POLLIN, 0};
      int ready = ::poll(&p, 1, 0);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return ready < 0 ? -1 : 0;
    }
    ssize_t n = ::read(fd_, buffer, capacity);
    if (n > 0) {
      NoteTraffic(TrafficDirection::Received, std::string_view(buffer, static_cast<std::size_t>(n)));
      return static_cast<long>(n);
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    // End of file (peer closed, hang-up) or a device error.
    NoteFailure(n == 0 ? 0 : errno);
    return -1;
  }
}

long FdChannel::ReadWithin(char* buffer, std::size_t capacity, int timeoutMs) const {
  const int64_t deadline = SteadyMs() + (timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    switch (WaitReadable(LeftMs(deadline, timeoutMs))) {
      case Wait::Ready: break;
      case Wait::TimedOut: return 0;
      default: return -1;
    }
    const long n = ReadNow(buffer, capacity);
    if (n != 0) return n;
    // Ready, yet nothing to read: a descriptor without poll. Try again after a rest.
    const int left = LeftMs(deadline, timeoutMs);
    if (left == 0) return 0;
    if (!Rest(left < 0 ? kNoPollRetryMs : std::min(left, kNoPollRetryMs))) return -1;
  }
}

std::size_t FdChannel::WriteAll(const char* bytes, std::size_t length, int timeoutMs, Deadline mode) const {
  std::size_t done = 0;
  int64_t deadline = SteadyMs() + (timeoutMs < 0 ? 0 : timeoutMs);
  while (done < length) {
    const int left = LeftMs(deadline, timeoutMs);
    if (left == 0) break;
    if (WaitWritable(left) != Wait::Ready) break;
    // A socket whose peer has gone must fail the write, not raise SIGPIPE.
    ssize_t n = isSocket_ ? ::send(fd_, bytes + done, length - done, MSG_NOSIGNAL)
                          : ::write(fd_, bytes + done, length - done);
    if (n > 0) {
      NoteTraffic(TrafficDirection::Sent, std::string_view(bytes + done, static_cast<std::size_t>(n)));
      done += static_cast<std::size_t>(n);
      if (mode == Deadline::Idle) deadline = SteadyMs() + timeoutMs;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Said writable and was not (the lp driver has no poll; the printer is busy): rest, not spin.
      if (!pollable_ && !Rest(left < 0 ? kNoPollRetryMs : std::min(left, kNoPollRetryMs))) break;
    } else {
      if (n < 0) NoteFailure(errno);
      break;
    }
  }
  return done;
}

}  // namespace tw
