// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file descriptor of an open device (serial, parallel, USB printer node, TCP socket) with the waits
// the link needs. Another thread can Cancel() the channel: every wait then returns at once, so a
// close never has to wait for a reader's time-out. The descriptor itself is closed only when the
// last user lets go of the channel (channels are held by shared_ptr), so a descriptor number is never
// reused under a thread that still reads from it. A thread's WaitInterrupt, once raised, ends that
// thread's waits the same way, without cancelling the channel for anyone else.
#include <atomic>
#include <cstddef>
#include <memory>

namespace tw {

class FdChannel;
using FdChannelPtr = std::shared_ptr<FdChannel>;

class FdChannel {
 public:
  enum class Wait { Ready, TimedOut, Cancelled, Failed };
  // Whether poll() tells when the descriptor is ready. The parallel port's lp driver offers no poll:
  // the kernel then reports it ready at once, and reads and writes are retried after short rests.
  enum class Polling { Detect, Unsupported };
  // Which failed reads and writes mean that the device went away. A parallel port answers EIO when
  // the printer has no reverse channel and ENOSPC when it is out of paper, and stays usable: there
  // only the end of file, ENODEV and ENXIO mean gone. A hung-up tty answers EIO: any error does.
  enum class Departure { AnyError, Removal };

  // Takes ownership of fd. Null (fd closed) when the channel's wake-up event cannot be made: such a
  // channel would look open and never read.
  static FdChannelPtr Open(int fd, Polling polling = Polling::Detect, Departure departure = Departure::AnyError);

  // Takes ownership of fd.
  explicit FdChannel(int fd, Polling polling = Polling::Detect, Departure departure = Departure::AnyError);
  ~FdChannel();
  FdChannel(const FdChannel&) = delete;
  FdChannel& operator=(const FdChannel&) = delete;

  int fd() const { return fd_; }

  // Waits until the descriptor is readable (or has hung up). timeoutMs < 0 waits without limit.
  Wait WaitReadable(int timeoutMs) const;
  Wait WaitWritable(int timeoutMs) const;

  // Reads what has arrived, without waiting: the byte count, 0 when nothing is there,
  // -1 when the device failed or the peer closed.
  long ReadNow(char* buffer, std::size_t capacity) const;
  // Waits up to timeoutMs for data, then reads what is there (same results as ReadNow).
  long ReadWithin(char* buffer, std::size_t capacity, int timeoutMs) const;
  // Whether a write's time-out bounds the whole write or each pause in its progress.
  enum class Deadline { Total, Idle };
  // Writes all bytes, waiting up to timeoutMs (in all, or without progress); returns how many were
  // written.
  std::size_t WriteAll(const char* bytes, std::size_t length, int timeoutMs, Deadline deadline = Deadline::Total) const;

  // Wakes every waiter; later waits return Cancelled at once.
  void Cancel();
  bool cancelled() const;

  // The device went away while open (a USB serial adapter unplugged, the other side of a
  // pseudo-terminal closed, the peer of a socket gone): a read found its end or an I/O error.
  bool wentAway() const { return wentAway_; }

 private:
  Wait WaitFor(short events, int timeoutMs) const;
  // Sleeps up to ms between retries on a descriptor that said it was ready and was not; false
  // when the channel is cancelled or the calling thread's interrupt is raised.
  bool Rest(int ms) const;
  // Marks the channel gone when a failure with this errno (0: end of file) means so.
  void NoteFailure(int error) const;
  int fd_;
  int cancelFd_;  // an eventfd, readable once cancelled
  bool isSocket_ = false;
  bool pollable_ = true;
  Departure departure_ = Departure::AnyError;
  mutable std::atomic<bool> wentAway_{false};
};

}  // namespace tw
