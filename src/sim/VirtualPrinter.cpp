// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual printer's transports: a TCP listener serving one connection at a time, or a
// pseudo-terminal, each served by one thread that feeds the printer model and sends its replies
// with the configured faults.
#include "sim/VirtualPrinter.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "sim/SimIo.h"

namespace tw::sim {
namespace {

// How often an idle link wakes up to check that the pseudo-terminal is still in raw mode.
constexpr int kIdleCheckMs = 50;
// How long one write may wait for room before the reply is given up (a host that never reads).
constexpr int kWriteTimeoutMs = 5000;
// With baud pacing, a small socket receive buffer lets TCP flow control hold the sender back.
constexpr int kPacedReceiveBufferBytes = 4096;

// Bytes of the same length as the reply but never a valid one: no hex digits, no line ends, and
// none of the flow-control characters 0x11 and 0x13.
std::string Garble(const std::string& reply) {
  static constexpr std::string_view kPattern = "#?*\xFE!%";
  std::string garbage(reply.size(), '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = kPattern[i % kPattern.size()];
  return garbage;
}

}  // namespace

struct VirtualPrinter::Impl {
  enum class Transport { None, Tcp, Pty };
  enum class LinkEnd { Stopped, Closed, Reset, Dropped };

  explicit Impl(PrinterOptions printerOptions)
      : options(std::move(printerOptions)),
        faults(options.faults),
        model(options.personality, options.versionText, options.configuration) {
    model.SetStatusOptions(options.status);
  }

  // The rate at which received bytes are taken, as a baud rate of 10 bits a byte (0: no limit).
  static int ReceiveBaud(const Faults& f) { return f.baud > 0 ? f.baud : f.readBytesPerSecond * 10; }

  Faults CurrentFaults() const {
    std::lock_guard lock(faultsMutex);
    return faults;
  }

  void Log(const std::string& line) const {
    if (options.commandLog) options.commandLog(line);
  }

  void Record(std::string_view bytes) {
    {
      std::lock_guard lock(receivedMutex);
      if (options.keepReceived) received.append(bytes);
      receivedCount += bytes.size();
    }
    receivedChanged.notify_all();
  }

  void SetLink(int fd, bool isSocket) {
    std::lock_guard lock(linkMutex);
    linkFd = fd;
    linkIsSocket = isSocket;
    sendPacer = io::BytePacer(CurrentFaults().baud);
  }

  // Sends to the current link, in pieces with gaps and at the baud rate when those faults are set.
  // The link lock is held for the whole message so that replies and unsolicited bytes never mix.
  void SendToHost(std::string_view bytes, int pieceBytes, int gapMs) {
    std::lock_guard lock(linkMutex);
    if (linkFd < 0) return;
    const int baud = CurrentFaults().baud;
    if (sendPacer.baud() != baud) sendPacer = io::BytePacer(baud);
    const std::size_t piece = pieceBytes > 0 ? static_cast<std::size_t>(pieceBytes) : bytes.size();
    for (bool first = true; !bytes.empty(); first = false) {
      if (!first && !io::Sleep(gapMs, stop)) return;
      std::string_view part = bytes.substr(0, piece);
      bytes.remove_prefix(part.size());
      while (!part.empty()) {
        if (!io::Sleep(sendPacer.DelayMs(), stop)) return;
        const std::string_view slice = part.substr(0, sendPacer.SliceBytes());
        if (!io::WriteAll(linkFd, linkIsSocket, slice, kWriteTimeoutMs, stop)) {
          Log("reply not sent: the host does not take it");
          return;
        }
        sendPacer.Account(slice.size());
        part.remove_prefix(slice.size());
      }
    }
  }

  void SendReply(std::string reply) {
    const Faults f = CurrentFaults();
    if (f.noReply) return;
    if (f.garbage) reply = Garble(reply);
    if (f.replyDelayMs > 0 && !io::Sleep(f.replyDelayMs, stop)) return;
    SendToHost(reply, f.splitPieceBytes, f.splitGapMs);
  }

  // Reads from one link until it ends, feeding the model and answering.
  LinkEnd ServeLink(int fd) {
    {
      std::lock_guard lock(modelMutex);
      model.DiscardPending();
    }
    long long taken = 0;
    io::BytePacer receivePacer;
    std::string buffer(64 * 1024, '\0');
    for (;;) {
      const Faults f = CurrentFaults();
      if (receivePacer.baud() != ReceiveBaud(f)) receivePacer = io::BytePacer(ReceiveBaud(f));
      // Holding back the next read is what slows the sender: its data waits in the kernel buffer.
      if (!io::Sleep(receivePacer.DelayMs(), stop)) return LinkEnd::Stopped;
      const io::WaitResult wait = io::WaitFor(fd, POLLIN, kIdleCheckMs, stop);
      if (wait == io::WaitResult::Stopped) return LinkEnd::Stopped;
      if (wait == io::WaitResult::Failed) return LinkEnd::Closed;
      if (pty.heldSlave >= 0) io::EnsureRawMode(pty.heldSlave);
      if (wait == io::WaitResult::TimedOut) continue;
      // Checked once data waits (not before), so that a limit of 0 drops the link when anything
      // arrives and a pseudo-terminal does not spin while it is quiet.
      if (f.disconnectAfterBytes >= 0 && taken >= f.disconnectAfterBytes) return LinkEnd::Dropped;

      std::size_t want = std::min(buffer.size(), receivePacer.SliceBytes());
      if (f.disconnectAfterBytes >= 0) {
        want =
            std::min<std::size_t>(want, static_cast<std::size_t>(f.disconnectAfterBytes - taken));
      }
      const ssize_t n = read(fd, buffer.data(), want);
      if (n == 0) return LinkEnd::Closed;
      if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        return LinkEnd::Closed;
      }
      const std::string_view bytes(buffer.data(), static_cast<std::size_t>(n));
      receivePacer.Account(bytes.size());
      taken += n;
      Record(bytes);

      PrinterModel::Output out;
      {
        std::lock_guard lock(modelMutex);
        out = model.Feed(bytes);
      }
      for (const std::string& command : out.commands) Log(command);
      if (out.printDataBytes > 0)
        Log("print data, " + std::to_string(out.printDataBytes) + " bytes");
      if (!out.reply.empty()) SendReply(std::move(out.reply));
      if (out.resetRequested) return LinkEnd::Reset;
      if (f.disconnectAfterBytes >= 0 && taken >= f.disconnectAfterBytes) return LinkEnd::Dropped;
    }
  }

  void RunTcp() {
    for (;;) {
      const io::WaitResult wait = io::WaitFor(listenFd, POLLIN, -1, stop);
      if (wait == io::WaitResult::Stopped || wait == io::WaitResult::Failed) return;
      int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        // Out of descriptors or a connection that went away before it was taken: try again later.
        if (errno != EAGAIN && errno != EWOULDBLOCK && !io::Sleep(10, stop)) return;
        continue;
      }
      ++connections;
      const int on = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      if (ReceiveBaud(CurrentFaults()) > 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kPacedReceiveBufferBytes,
                   sizeof kPacedReceiveBufferBytes);
      }
      Log("connection " + std::to_string(connections.load()) + " accepted");
      SetLink(fd, true);
      if (const std::string greeting = CurrentFaults().greeting; !greeting.empty()) SendToHost(greeting, 0, 0);
      const LinkEnd end = ServeLink(fd);
      SetLink(-1, false);
      io::CloseFd(fd);
      if (end == LinkEnd::Stopped) return;
      if (end == LinkEnd::Reset) Log("reset: connection closed");
      if (end == LinkEnd::Dropped) Log("disconnect fault: connection closed");
      if (end == LinkEnd::Closed) Log("connection closed by the host");
    }
  }

  void RunPty() {
    SetLink(pty.master, false);
    for (;;) {
      const LinkEnd end = ServeLink(pty.master);
      if (end == LinkEnd::Stopped) break;
      if (end == LinkEnd::Closed) {
        // Not expected while the slave is held open; do not spin if it happens.
        if (!io::Sleep(100, stop)) break;
        continue;
      }
      // Reset or disconnect fault: what is queued either way is lost, as in a restart.
      tcflush(pty.master, TCIOFLUSH);
      tcflush(pty.heldSlave, TCIOFLUSH);
      Log(end == LinkEnd::Reset ? "reset: queued bytes discarded"
                                : "disconnect fault: queued bytes discarded");
    }
    SetLink(-1, false);
  }

  PrinterOptions options;

  mutable std::mutex faultsMutex;
  Faults faults;

  mutable std::mutex modelMutex;
  PrinterModel model;

  mutable std::mutex receivedMutex;
  mutable std::condition_variable receivedChanged;
  std::string received;
  std::size_t receivedCount = 0;  // bytes since the last clear, kept or not

  std::atomic<int> connections{0};
  io::StopSignal stop;

  std::mutex controlMutex;  // starting and stopping
  Transport transport = Transport::None;
  std::thread worker;
  int listenFd = -1;
  io::PtyPair pty;

  std::mutex linkMutex;  // the link that replies and unsolicited bytes go to
  int linkFd = -1;
  bool linkIsSocket = false;
  io::BytePacer sendPacer;
};

VirtualPrinter::VirtualPrinter(PrinterOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

VirtualPrinter::~VirtualPrinter() { Stop(); }

uint16_t VirtualPrinter::ListenTcp(const std::string& host, uint16_t port) {
  std::lock_guard control(impl_->controlMutex);
  if (impl_->transport != Impl::Transport::None) return 0;
  const int receiveBuffer = Impl::ReceiveBaud(impl_->CurrentFaults()) > 0 ? kPacedReceiveBufferBytes : 0;
  uint16_t bound = 0;
  impl_->listenFd = io::OpenTcpListener(host, port, receiveBuffer, bound);
  if (impl_->listenFd < 0) return 0;
  impl_->transport = Impl::Transport::Tcp;
  impl_->worker = std::thread([impl = impl_.get()] { impl->RunTcp(); });
  return bound;
}

std::string VirtualPrinter::OpenPty() {
  std::lock_guard control(impl_->controlMutex);
  if (impl_->transport != Impl::Transport::None) return {};
  if (!io::OpenPty(impl_->pty)) return {};
  impl_->transport = Impl::Transport::Pty;
  impl_->worker = std::thread([impl = impl_.get()] { impl->RunPty(); });
  return impl_->pty.path;
}

void VirtualPrinter::Stop() {
  std::lock_guard control(impl_->controlMutex);
  if (impl_->transport == Impl::Transport::None) return;
  impl_->stop.Raise();
  if (impl_->worker.joinable()) impl_->worker.join();
  io::CloseFd(impl_->listenFd);
  io::ClosePty(impl_->pty);
  impl_->stop.Clear();
  impl_->transport = Impl::Transport::None;
}

std::string VirtualPrinter::Received() const {
  std::lock_guard lock(impl_->receivedMutex);
  return impl_->received;
}

void VirtualPrinter::ClearReceived() {
  std::lock_guard lock(impl_->receivedMutex);
  impl_->received.clear();
  impl_->receivedCount = 0;
}

bool VirtualPrinter::WaitForReceived(std::size_t bytes, int timeoutMs) const {
  std::unique_lock lock(impl_->receivedMutex);
  return impl_->receivedChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return impl_->receivedCount >= bytes; });
}

int VirtualPrinter::Connections() const { return impl_->connections.load(); }

void VirtualPrinter::SetFaults(const Faults& faults) {
  std::lock_guard lock(impl_->faultsMutex);
  impl_->faults = faults;
}

void VirtualPrinter::SendUnsolicited(const std::string& bytes) { impl_->SendToHost(bytes, 0, 0); }

uint16_t VirtualPrinter::Slot(int address) const {
  std::lock_guard lock(impl_->modelMutex);
  return impl_->model.Slot(address);
}

void VirtualPrinter::SetSlot(int address, uint16_t value) {
  std::lock_guard lock(impl_->modelMutex);
  impl_->model.SetSlot(address, value);
}

std::string VirtualPrinter::NamedEntry(const std::string& key) const {
  std::lock_guard lock(impl_->modelMutex);
  return impl_->model.NamedEntry(key);
}

void VirtualPrinter::SetNamedEntry(const std::string& key, const std::string& value) {
  std::lock_guard lock(impl_->modelMutex);
  impl_->model.SetNamedEntry(key, value);
}

void VirtualPrinter::DropNamedEntry(const std::string& key) {
  std::lock_guard lock(impl_->modelMutex);
  impl_->model.DropNamedEntry(key);
}

void VirtualPrinter::SetConditions(const PrinterConditions& conditions) {
  std::lock_guard lock(impl_->modelMutex);
  impl_->model.SetConditions(conditions);
}

PrinterConditions VirtualPrinter::Conditions() const {
  std::lock_guard lock(impl_->modelMutex);
  return impl_->model.Conditions();
}

long long VirtualPrinter::PrintedLabels() const {
  std::lock_guard lock(impl_->modelMutex);
  return impl_->model.PrintedLabels();
}

}  // namespace tw::sim
