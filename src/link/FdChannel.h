#pragma once
// A file descriptor of an open device (serial, parallel, USB printer node, TCP socket) with the waits
// the link needs. Another thread can Cancel() the channel: every wait then returns at once, so a
// close never has to wait for a reader's time-out. The descriptor itself is closed only when the
// last user lets go of the channel (channels are held by shared_ptr), so a descriptor number is never
// reused under a thread that still reads from it. A thread's WaitInterrupt, once raised, ends that
// thread's waits the same way, without cancelling the channel for anyone else.
#include <cstddef>
#include <memory>

namespace tw {

class FdChannel {
 public:
  enum class Wait { Ready, TimedOut, Cancelled, Failed };

  explicit FdChannel(int fd);  // takes ownership of fd
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

 private:
  Wait WaitFor(short events, int timeoutMs) const;
  int fd_;
  int cancelFd_;  // an eventfd, readable once cancelled
  bool isSocket_ = false;
};

using FdChannelPtr = std::shared_ptr<FdChannel>;

}  // namespace tw
