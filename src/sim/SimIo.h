// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Low-level pieces of the virtual printer's transports: a stop signal that wakes every wait, waits
// and writes that end when it is raised, pacing at a baud rate, and opening the TCP listener and
// the pseudo-terminal.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::sim::io {

// An eventfd that every wait below polls beside its own descriptor, so that Stop ends them at once.
class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;
  void Raise();
  void Clear();
  bool Raised() const;
  int fd() const { return fd_; }

 private:
  int fd_;
};

enum class WaitResult { Ready, TimedOut, Stopped, Failed };
// Waits up to timeoutMs (< 0: no limit) for `events` on fd.
WaitResult WaitFor(int fd, short events, int timeoutMs, const StopSignal& stop);
// Sleeps ms unless stopped; false when stopped.
bool Sleep(int ms, const StopSignal& stop);

// Paces a transfer at a baud rate of 10 bits a byte: bytes go in slices of about 10 ms, and each
// slice is allowed only once the line would have carried the bytes before it.
class BytePacer {
 public:
  explicit BytePacer(int baud = 0);
  bool active() const { return bytesPerSecond_ > 0; }
  int baud() const { return baud_; }
  std::size_t SliceBytes() const;
  // Milliseconds until the next slice may go (0: now).
  int DelayMs() const;
  void Account(std::size_t bytes);

 private:
  using Clock = std::chrono::steady_clock;
  int baud_;
  double bytesPerSecond_;
  Clock::time_point nextFree_;
};

// Writes every byte (send with MSG_NOSIGNAL on a socket), waiting for room up to `timeoutMs` at a
// time; false when the link failed, stayed full that long, or the printer stopped.
bool WriteAll(int fd, bool isSocket, std::string_view bytes, int timeoutMs, const StopSignal& stop);

// A non-blocking listening socket bound to host:port (port 0: any free one) with SO_REUSEADDR;
// a receive buffer of `receiveBufferBytes` when > 0. Returns the descriptor (-1 on failure) and
// sets boundPort.
int OpenTcpListener(const std::string& host, uint16_t port, int receiveBufferBytes,
                    uint16_t& boundPort);

struct PtyPair {
  int master = -1;
  int heldSlave = -1;  // kept open so that the master never sees a hang-up between clients
  std::string path;
};
// Opens a pseudo-terminal with its slave in raw mode; false on failure (nothing left open).
bool OpenPty(PtyPair& pty);
void ClosePty(PtyPair& pty);
// Puts the terminal back into raw mode (no echo, no line editing, no signals, no CR/LF
// translation) if a client changed that; leaves speed, parity and flow control to the client.
void EnsureRawMode(int fd);

void CloseFd(int& fd);

}  // namespace tw::sim::io
