// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/DataTransfer.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdio>
#include <functional>
#include <vector>

#include "core/AppPaths.h"
#include "core/Messages.h"
#include "core/Pacing.h"
#include "core/SysOption.h"
#include "link/Connection.h"
#include "link/ExchangeSteps.h"
#include "link/LinkState.h"
#include "link/WaitInterrupt.h"

namespace tw {
namespace {

// The reply being gathered: at most 1024 bytes are kept, byte for byte; the count is capped the same.
class ReplyBuffer {
 public:
  void Append(const char* bytes, long n) {
    if (n <= 0) return;
    long room = kReplyBufferSize - static_cast<long>(text_.size());
    text_.append(bytes, static_cast<std::size_t>(n < room ? n : room));
    total_ += n;
  }
  long total() const { return total_; }
  // An answer of the parameter protocol is complete at its line end (or when no more fits).
  bool EndsLine() const {
    return static_cast<long>(text_.size()) >= kReplyBufferSize || (!text_.empty() && text_.back() == '\n');
  }
  Reply Take() {
    return {static_cast<double>(total_ < kReplyBufferSize ? total_ : kReplyBufferSize), std::move(text_)};
  }

 private:
  std::string text_;
  long total_ = 0;
};

int SerialWriteTimeout() { return TimeoutMs({"serial write time-out", Link().serialWriteTimeoutMs}); }
int ParallelReadTimeout() { return TimeoutMs({"parallel read time-out", Link().parallelReadTimeoutMs}); }
int ParallelWriteTimeout() { return TimeoutMs({"parallel write time-out", Link().parallelWriteTimeoutMs}); }
int NetworkReadTimeout() { return TimeoutMs({"network read time-out", Link().networkReadTimeoutMs}); }
int NetworkWriteTimeout() { return TimeoutMs({"network write time-out", Link().networkWriteTimeoutMs}); }

// Repeats reads on the parallel port until data comes, the port fails, or `window` has passed
// since the first read (which is always made). Each read waits up to the parallel read time-out.
bool ParallelReadWithin(PaceStep window, char* buffer, int length, int* n) {
  auto channel = Link().Parallel();
  if (!channel) return false;
  const int64_t start = NowMs();
  const int windowMs = TimeoutMs(window);
  for (;;) {
    long got = channel->ReadWithin(buffer, static_cast<std::size_t>(length), ParallelReadTimeout());
    if (got > 0) {
      *n = static_cast<int>(got);
      return true;
    }
    if (got < 0 || NowMs() - start >= windowMs) return false;
  }
}

// One read of at most `capacity` bytes by the current kind, as single reads are made everywhere:
// the count read, 0 or less when nothing came.
long ReadOnceByKind(char* buffer, int capacity) {
  LinkState& link = Link();
  switch (link.currentKind.load()) {
    case PortKind::Serial: {
      // The port is set to return at once with what has arrived.
      auto channel = link.Serial();
      return channel ? channel->ReadNow(buffer, static_cast<std::size_t>(capacity)) : -1;
    }
    case PortKind::Parallel: {
      int n = 0;
      return ParallelRead(buffer, capacity, &n) ? n : 0;
    }
    case PortKind::UsbDevice: {
      auto usb = link.Libraries().usbDevice;
      return usb ? usb->uRead(link.usbHandle, 1, buffer, capacity) : -1;
    }
    case PortKind::UsbPrinter: {
      auto printer = link.Libraries().usbPrinter;
      int n = 0;
      if (printer) printer->ReadUSBPrinterForZpl(link.usbHandle, buffer, capacity, &n);
      return n;
    }
    case PortKind::Network: {
      int n = 0;
      return NetworkRead(buffer, capacity, &n) ? n : 0;
    }
    case PortKind::Spooler: return 0;
  }
  return 0;
}

// Up to `rounds` reads, each appended to the reply; stops at the first read that brings nothing
// (and, for a line answer, at its line end). `beforeRound` runs before each read (the serial kind's
// pause).
template <typename Read, typename Before>
void ReadRounds(ReplyBuffer& reply, int rounds, Read read, Before beforeRound, ReplyEnd end = ReplyEnd::Rounds) {
  std::vector<char> round(kReplyBufferSize);
  for (int i = 0; i < rounds; ++i) {
    beforeRound();
    long n = read(round.data(), kReplyBufferSize);
    if (n <= 0) return;
    reply.Append(round.data(), n);
    if (end == ReplyEnd::Line && reply.EndsLine()) return;
  }
}

// A line answer on a kind whose reads can wait for data (serial, parallel, network): bytes are taken
// the moment they arrive and the read stops at the line end. The kind's fixed waits become upper
// bounds: `firstWaitMs` for the first bytes, `nextWaitMs` for each further piece. In read-once mode
// every piece must come within the first wait, as it had to for the kind's single read.
// `readWithin(buffer, capacity, waitMs)` returns the bytes read, 0 or less when none came.
template <typename ReadWithin>
void ReadLineAnswer(ReplyBuffer& reply, int rounds, bool once, int firstWaitMs, int nextWaitMs,
                    ReadWithin readWithin) {
  std::vector<char> round(kReplyBufferSize);
  const int64_t deadline = NowMs() + firstWaitMs;
  if (once) rounds = kReplyBufferSize;  // each read brings a byte at least; the deadline ends it
  for (int i = 0; i < rounds && !reply.EndsLine(); ++i) {
    int64_t wait = i == 0 ? firstWaitMs : once ? deadline - NowMs() : nextWaitMs;
    long n = readWithin(round.data(), kReplyBufferSize, static_cast<int>(wait > 0 ? wait : 0));
    if (n <= 0) return;
    reply.Append(round.data(), n);
  }
}

// Reads stale input away until a read brings nothing (each read waits its kind's drain time-out);
// a printer that keeps sending is not waited out.
template <typename Read>
void DrainStaleInput(Read read) {
  std::vector<char> buffer(kReplyBufferSize);
  for (int i = 0; i < kStaleInputReads && read(buffer.data(), kReplyBufferSize) > 0; ++i) {
  }
}

void ReadUsbDeviceReply(ReplyBuffer& reply, const UsbSettings& settings, int rounds, ReplyEnd end) {
  LinkState& link = Link();
  auto usb = link.Libraries().usbDevice;
  if (!usb) return;
  const int handle = link.usbHandle;
  std::vector<char> round(kReplyBufferSize);
  if (link.drain) {
    usb->SetUSBTimeouts(handle, settings.readBlankTimeout, settings.writeBlankTimeout);
    DrainStaleInput([&](char* b, int c) { return usb->uRead(handle, 1, b, c); });
  } else if (link.readOnce) {
    usb->SetUSBTimeouts(handle, 2, settings.writeTimeout);
    for (int i = 0; i < 5; ++i) {
      int n = usb->uRead(handle, 1, round.data(), kReplyBufferSize);
      if (n > 0) {
        reply.Append(round.data(), n);
        if (end == ReplyEnd::Line && reply.EndsLine()) break;
      } else if (reply.total() > 0) {
        break;  // the reply has come and nothing more follows
      }
    }
  } else {
    usb->SetUSBTimeouts(handle, settings.readTimeout, settings.writeTimeout);
    ReadRounds(reply, rounds, [&](char* b, int c) { return usb->uRead(handle, 1, b, c); }, [] {}, end);
  }
}

void ReadUsbPrinterReply(ReplyBuffer& reply, const UsbSettings& settings, int rounds, ReplyEnd end) {
  LinkState& link = Link();
  auto printer = link.Libraries().usbPrinter;
  const int handle = link.usbHandle;
  if (handle == -1 || !printer) {
    ShowMessage(CatalogText("SetPort", "USBNotOpen"), CatalogText("SetPort", "PortSetStr"), MsgIcon::Information);
    return;
  }
  std::vector<char> round(kReplyBufferSize);
  auto read = [&](char* b, int c) {
    int n = 0;
    printer->ReadUSBPrinterForZpl(handle, b, c, &n);
    return n;
  };
  if (link.drain) {
    printer->SetSinglePrnTimeout(handle, settings.writeBlankTimeout * 100, settings.readBlankTimeout * 100);
    DrainStaleInput(read);
    return;
  }
  printer->SetSinglePrnTimeout(handle, settings.writeTimeout * 100, settings.readTimeout * 100);
  if (link.readOnce) {
    for (int i = 0; i < 5; ++i) {
      int n = read(round.data(), kReplyBufferSize);
      if (n > 0) {
        reply.Append(round.data(), n);
        break;
      }
    }
  } else {
    ReadRounds(reply, rounds, read, [] {}, end);
  }
}

// The channel of the current kind when it is the serial or parallel port (their input can be
// watched directly), else null.
FdChannelPtr LocalPortChannel() {
  LinkState& link = Link();
  const PortKind kind = link.currentKind;
  return kind == PortKind::Serial ? link.Serial() : kind == PortKind::Parallel ? link.Parallel() : nullptr;
}

// Waits the step's time for input to arrive, ending as soon as it does on the kinds whose input can
// be watched (serial and parallel); the other kinds' reads wait for data themselves, so they pause.
void WaitForInput(PaceStep step) {
  if (FdChannelPtr channel = LocalPortChannel()) {
    channel->WaitReadable(TimeoutMs(step));
  } else {
    Pause(step);
  }
}

// The USB kinds' time-outs count in tenths of a second.
int UsbTenthsMs(int tenths) { return TimeoutMs({"USB read time-out", tenths * 100}); }

// How long the kind's first read of a reply waits for its first bytes, in the current read mode.
int FirstByteWaitMs(const UsbSettings& settings) {
  LinkState& link = Link();
  const bool once = link.readOnce;
  switch (link.currentKind.load()) {
    case PortKind::Serial: return TimeoutMs(pace::kReplySettle) + (once ? 0 : TimeoutMs(pace::kSerialReadRound));
    case PortKind::Parallel: return TimeoutMs(pace::kReplySettle) + ParallelReadTimeout();
    case PortKind::Network: return NetworkReadTimeout();
    case PortKind::UsbDevice: return UsbTenthsMs(once ? 2 : settings.readTimeout);
    case PortKind::UsbPrinter: return UsbTenthsMs(settings.readTimeout);
    case PortKind::Spooler: return 0;
  }
  return 0;
}

// The longest a normal reply read of the kind may run while its bytes keep coming: the settle, then
// every round waiting its whole time. A reply still without its line end may take this long.
int TotalReplyWaitMs(const UsbSettings& settings) {
  const int rounds = std::max(settings.readTimes + 1, 1);
  int settle = 0, round = 0;
  switch (Link().currentKind.load()) {
    case PortKind::Serial:
      settle = TimeoutMs(pace::kReplySettle);
      round = TimeoutMs(pace::kSerialReadRound);
      break;
    case PortKind::Parallel:
      settle = TimeoutMs(pace::kReplySettle);
      round = TimeoutMs(pace::kParallelReplyRead);
      break;
    case PortKind::Network: round = TimeoutMs(pace::kNetworkReadShort); break;
    case PortKind::UsbDevice:
    case PortKind::UsbPrinter: round = UsbTenthsMs(settings.readTimeout); break;
    case PortKind::Spooler: break;
  }
  return std::max(settle + rounds * round, FirstByteWaitMs(settings));
}

// One read on the current kind that waits up to waitMs for data: the bytes read, 0 or less when none
// came.
long ReadWithinByKind(char* buffer, int capacity, int waitMs, const UsbSettings& settings) {
  LinkState& link = Link();
  switch (link.currentKind.load()) {
    case PortKind::Serial:
    case PortKind::Parallel: {
      const FdChannelPtr channel = LocalPortChannel();
      return channel ? channel->ReadWithin(buffer, static_cast<std::size_t>(capacity), waitMs) : -1;
    }
    case PortKind::Network: {
      auto net = link.Libraries().network;
      return net ? net->ReadPort(link.networkHandle, buffer, capacity, waitMs) : -1;
    }
    // The USB layers take the wait as their read time-out; the reply read's own time-outs are put
    // back afterwards for the reads that follow.
    case PortKind::UsbDevice: {
      auto usb = link.Libraries().usbDevice;
      if (!usb) return -1;
      usb->SetUSBTimeouts(link.usbHandle, (waitMs + 99) / 100, settings.writeTimeout);
      const int n = usb->uRead(link.usbHandle, 1, buffer, capacity);
      usb->SetUSBTimeouts(link.usbHandle, settings.readTimeout, settings.writeTimeout);
      return n;
    }
    case PortKind::UsbPrinter: {
      auto printer = link.Libraries().usbPrinter;
      int n = 0;
      if (!printer) return -1;
      printer->SetSinglePrnTimeout(link.usbHandle, settings.writeTimeout * 100, waitMs);
      printer->ReadUSBPrinterForZpl(link.usbHandle, buffer, capacity, &n);
      printer->SetSinglePrnTimeout(link.usbHandle, settings.writeTimeout * 100, settings.readTimeout * 100);
      return n;
    }
    case PortKind::Spooler: return 0;
  }
  return 0;
}

// Reads on until the reply ends its line: each further piece may take up to pieceWaitMs, the whole
// until `deadline`. Stops at a piece that does not come in time.
void ReadRestOfLine(ReplyBuffer& reply, const UsbSettings& settings, int64_t deadline, int pieceWaitMs) {
  std::vector<char> round(kReplyBufferSize);
  while (!reply.EndsLine()) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) return;
    const int wait = static_cast<int>(std::min<int64_t>(left, pieceWaitMs));
    const long n = ReadWithinByKind(round.data(), kReplyBufferSize, wait, settings);
    if (n <= 0) return;
    reply.Append(round.data(), n);
  }
}

// A line answer on the serial, parallel or network kind (see ReadLineAnswer for the waits).
void ReadLineAnswerByKind(ReplyBuffer& reply, int rounds) {
  LinkState& link = Link();
  const bool once = link.readOnce;
  switch (link.currentKind.load()) {
    case PortKind::Serial: {
      auto channel = link.Serial();
      if (!channel) return;
      // The settle and the first round's pause bound the wait for the first bytes; a round's pause
      // the wait for each further piece.
      const int settle = TimeoutMs(pace::kReplySettle);
      ReadLineAnswer(reply, rounds, once, once ? settle : settle + TimeoutMs(pace::kSerialReadRound),
                     TimeoutMs(pace::kSerialReadRound),
                     [&](char* b, int c, int ms) { return channel->ReadWithin(b, static_cast<std::size_t>(c), ms); });
      // An answer cut short by the waits is left for its caller to complete, not thrown away.
      if (reply.total() == 0 || reply.EndsLine()) PurgeSerialInput(*channel);
      return;
    }
    case PortKind::Parallel: {
      auto channel = link.Parallel();
      if (!once) SetParallelTimeouts(channel, pace::kParallelReplyRead.ms, pace::kParallelReplyWrite.ms);
      if (!channel) return;
      const int read = ParallelReadTimeout();
      ReadLineAnswer(reply, rounds, once, TimeoutMs(pace::kReplySettle) + read, read,
                     [&](char* b, int c, int ms) { return channel->ReadWithin(b, static_cast<std::size_t>(c), ms); });
      return;
    }
    case PortKind::Network: {
      auto net = link.Libraries().network;
      if (!net) return;
      // Later replies come quickly once the printer has answered once.
      if (!once) link.networkReadTimeoutMs = pace::kNetworkReadShort.ms;
      const int handle = link.networkHandle;
      const int read = NetworkReadTimeout();
      ReadLineAnswer(reply, rounds, once, read, read,
                     [&](char* b, int c, int ms) { return net->ReadPort(handle, b, c, ms); });
      return;
    }
    default: return;
  }
}

std::atomic<bool> g_exchangeClaimed{false};

// Gives the link back its network read time-out when a dump ends, however it ends (a stop, a slot
// without its answer, a failed send), so that later exchanges wait as long as before the dump.
class NetworkReadTimeoutKeeper {
 public:
  NetworkReadTimeoutKeeper() : saved_(Link().networkReadTimeoutMs) {}
  ~NetworkReadTimeoutKeeper() { Link().networkReadTimeoutMs = saved_; }
  NetworkReadTimeoutKeeper(const NetworkReadTimeoutKeeper&) = delete;
  NetworkReadTimeoutKeeper& operator=(const NetworkReadTimeoutKeeper&) = delete;

 private:
  const int saved_;
};

}  // namespace

bool ClaimLinkExchange() { return !g_exchangeClaimed.exchange(true); }
void ReleaseLinkExchange() { g_exchangeClaimed = false; }
bool LinkExchangeClaimed() { return g_exchangeClaimed; }

bool ParallelWrite(std::string_view bytes) {
  auto channel = Link().Parallel();
  if (!channel) return false;
  return channel->WriteAll(bytes.data(), bytes.size(), ParallelWriteTimeout()) == bytes.size();
}

bool ParallelRead(char* buffer, int length, int* n) {
  return ParallelReadWithin(pace::kParallelReadWindow, buffer, length, n);
}

bool ParallelPoll(char* buffer, int length, int* n) {
  return ParallelReadWithin(pace::kParallelPollWindow, buffer, length, n);
}

bool NetworkWrite(std::string_view bytes) {
  LinkState& link = Link();
  auto net = link.Libraries().network;
  if (!net) return false;
  // No pause follows: TCP's flow control holds the writes back while the printer's buffer is full,
  // which gives a slow printer its time; a fixed pause only added idle time. The end of a transfer
  // waits for the printer's acknowledgement (AwaitDelivery).
  return net->WritePort(link.networkHandle, bytes.data(), static_cast<int>(bytes.size()), NetworkWriteTimeout()) >= 0;
}

bool AwaitDelivery(const std::function<void()>& whileWaiting) {
  LinkState& link = Link();
  if (link.currentKind == PortKind::UsbPrinter) {
    auto printer = link.Libraries().usbPrinter;
    return printer && printer->DrainUSBPrinter(link.usbHandle) == 1;
  }
  if (link.currentKind != PortKind::Network) return true;
  auto net = link.Libraries().network;
  if (!net) return false;
  // As for a write, the time-out bounds a stall: a slow printer that keeps taking bytes is waited for.
  constexpr int kSliceMs = 50;
  int unacknowledged = -1;
  int64_t lastProgress = NowMs();
  for (;;) {
    const int left = net->WaitAcknowledged(link.networkHandle, kSliceMs);
    if (left <= 0) return left == 0;
    if (WaitInterrupted()) return false;  // a stop or signal on this thread: not delivered
    if (left != unacknowledged) {
      unacknowledged = left;
      lastProgress = NowMs();
    } else if (NowMs() - lastProgress >= NetworkWriteTimeout()) {
      return false;
    }
    if (whileWaiting) whileWaiting();
  }
}

long UndeliveredBytes() {
  LinkState& link = Link();
  if (link.currentKind != PortKind::Network) return 0;
  auto net = link.Libraries().network;
  return net ? net->WaitAcknowledged(link.networkHandle, 0) : -1;
}

bool NetworkRead(char* buffer, int length, int* n) {
  LinkState& link = Link();
  auto net = link.Libraries().network;
  if (!net) return false;
  int result = net->ReadPort(link.networkHandle, buffer, length, NetworkReadTimeout());
  if (result < 0) return false;
  *n = result;
  return true;
}

// No spooler queue is ever opened on this system, so the spooler path has nothing to write to.
bool SpoolerWrite(std::string_view) { return false; }

bool SendToPrinter(std::string_view bytes) {
  LinkState& link = Link();
  switch (link.currentKind.load()) {
    case PortKind::Serial: {
      auto channel = link.Serial();
      if (!channel) return false;
      std::size_t written = channel->WriteAll(bytes.data(), bytes.size(), SerialWriteTimeout());
      // A write that did not finish in time is abandoned. A finished one is left alone: flushing the
      // output then would throw away bytes still on their way out of the port.
      if (written != bytes.size()) PurgeSerialOutput(*channel);
      return written == bytes.size();
    }
    case PortKind::Parallel: return ParallelWrite(bytes);
    case PortKind::UsbDevice: {
      auto usb = link.Libraries().usbDevice;
      const int length = static_cast<int>(bytes.size());
      return usb && usb->uWrite(link.usbHandle, 0, bytes.data(), length) == length;
    }
    case PortKind::UsbPrinter: {
      auto printer = link.Libraries().usbPrinter;
      const int length = static_cast<int>(bytes.size());
      int written = 0;
      return printer && printer->WriteUSBPrinter(link.usbHandle, bytes.data(), length, &written) == 1 &&
             written == length;
    }
    case PortKind::Spooler: return SpoolerWrite(bytes);
    case PortKind::Network: return NetworkWrite(bytes);
  }
  return false;
}

Reply ReadReply(ReplyEnd end) {
  LinkState& link = Link();
  const UsbSettings settings = ReadUsbSettings(SysOptionPath());
  const int rounds = settings.readTimes + 1 > 0 ? settings.readTimes + 1 : 0;
  const PortKind kind = link.currentKind;
  const int64_t start = NowMs();
  ReplyBuffer reply;
  if (end == ReplyEnd::Line && !link.drain &&
      (kind == PortKind::Serial || kind == PortKind::Parallel || kind == PortKind::Network)) {
    ReadLineAnswerByKind(reply, rounds);
    return reply.Take();
  }
  if (kind == PortKind::Serial || kind == PortKind::Parallel) Pause(pace::kReplySettle);
  switch (kind) {
    case PortKind::Serial: {
      auto channel = link.Serial();
      if (!channel) break;
      auto read = [&](char* b, int c) { return channel->ReadNow(b, static_cast<std::size_t>(c)); };
      if (link.readOnce) {
        ReadRounds(reply, 1, read, [] {});
      } else {
        ReadRounds(reply, rounds, read, [] { Pause(pace::kSerialReadRound); });
      }
      break;
    }
    case PortKind::Parallel: {
      auto read = [](char* b, int c) {
        int n = 0;
        return ParallelRead(b, c, &n) ? n : 0;
      };
      if (link.readOnce) {
        ReadRounds(reply, 1, read, [] {});
      } else {
        SetParallelTimeouts(link.Parallel(), pace::kParallelReplyRead.ms, pace::kParallelReplyWrite.ms);
        ReadRounds(reply, rounds, read, [] {});
      }
      break;
    }
    case PortKind::UsbDevice: ReadUsbDeviceReply(reply, settings, rounds, end); break;
    case PortKind::UsbPrinter: ReadUsbPrinterReply(reply, settings, rounds, end); break;
    case PortKind::Network: {
      auto read = [](char* b, int c) {
        int n = 0;
        return NetworkRead(b, c, &n) ? n : 0;
      };
      if (link.readOnce) {
        ReadRounds(reply, 1, read, [] {});
      } else {
        // Later replies come quickly once the printer has answered once.
        link.networkReadTimeoutMs = pace::kNetworkReadShort.ms;
        ReadRounds(reply, rounds, read, [] {});
      }
      break;
    }
    case PortKind::Spooler: break;
  }
  // A reply that paused longer than a round's wait before its line end is not over: its rest is
  // waited for as long as the normal read loop could have run.
  if (end == ReplyEnd::Rounds && !link.drain && !link.readOnce && reply.total() > 0) {
    ReadRestOfLine(reply, settings, start + TotalReplyWaitMs(settings), INT_MAX);
  }
  if (kind == PortKind::Serial) {
    if (auto channel = link.Serial()) PurgeSerialInput(*channel);
  }
  return reply.Take();
}

bool CompleteReplyLine(Reply& reply, int64_t startedMs) {
  const UsbSettings settings = ReadUsbSettings(SysOptionPath());
  ReplyBuffer buffer;
  buffer.Append(reply.text.data(), static_cast<long>(reply.text.size()));
  ReadRestOfLine(buffer, settings, startedMs + TotalReplyWaitMs(settings), FirstByteWaitMs(settings));
  reply = buffer.Take();
  return !reply.text.empty() && reply.text.back() == '\n';
}

Reply ReadAvailable() {
  LinkState& link = Link();
  const PortKind kind = link.currentKind;
  std::string buffer(kBulkReadSize, '\0');
  long n = 0;
  // On the receive thread a stop cuts the settle short.
  if (kind == PortKind::Serial || kind == PortKind::Parallel) PauseUnlessInterrupted(pace::kReplySettle);
  switch (kind) {
    case PortKind::Serial: {
      // Everything that has arrived is taken; nothing is flushed afterwards, so bytes arriving
      // between this read and the next are kept for the next round.
      if (auto channel = link.Serial()) n = channel->ReadNow(buffer.data(), buffer.size());
      break;
    }
    case PortKind::Parallel: {
      int got = 0;
      if (ParallelPoll(buffer.data(), 100, &got)) n = got;
      break;
    }
    case PortKind::UsbDevice: {
      if (auto usb = link.Libraries().usbDevice) n = usb->uRead(link.usbHandle, 1, buffer.data(), kBulkReadSize);
      break;
    }
    case PortKind::UsbPrinter: {
      if (auto printer = link.Libraries().usbPrinter) {
        int got = 0;
        printer->SetSinglePrnTimeout(link.usbHandle, 4000, 4000);
        printer->ReadUSBPrinterForZpl(link.usbHandle, buffer.data(), kBulkReadSize, &got);
        n = got;
      }
      break;
    }
    case PortKind::Network: {
      int got = 0;
      if (NetworkRead(buffer.data(), kBulkReadSize, &got)) n = got;
      break;
    }
    case PortKind::Spooler: break;
  }
  if (n <= 0) return {};
  buffer.resize(static_cast<std::size_t>(n < kBulkReadSize ? n : kBulkReadSize));
  return {static_cast<double>(buffer.size()), std::move(buffer)};
}

int ReplyWaitMs() { return FirstByteWaitMs(ReadUsbSettings(SysOptionPath())); }

std::string ReadWithin(int waitMs) {
  std::string buffer(kReplyBufferSize, '\0');
  const long n = ReadWithinByKind(buffer.data(), kReplyBufferSize, waitMs, ReadUsbSettings(SysOptionPath()));
  buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return buffer;
}

void DiscardPendingInput() {
  LinkState& link = Link();
  const PortKind kind = link.currentKind;
  if (kind == PortKind::UsbDevice || kind == PortKind::UsbPrinter) {
    link.drain = true;
    ReadReply();
    link.drain = false;
    return;
  }
  if (kind == PortKind::Spooler) return;
  // Late answers of an earlier exchange would be taken for the next request's answer: read them
  // away, each read waiting a short while, until one brings nothing. A printer that keeps sending
  // is not waited out.
  const int waitMs = TimeoutMs(pace::kStaleInputWait);
  const int networkReadTimeoutMs = link.networkReadTimeoutMs;
  link.networkReadTimeoutMs = waitMs;
  const FdChannelPtr channel = LocalPortChannel();
  DrainStaleInput([&](char* b, int c) -> long {
    if (kind != PortKind::Network) return channel ? channel->ReadWithin(b, static_cast<std::size_t>(c), waitMs) : 0;
    int got = 0;
    return NetworkRead(b, c, &got) ? got : 0;
  });
  link.networkReadTimeoutMs = networkReadTimeoutMs;
}

bool IsSlotAnswer(std::string_view answer) {
  if (answer.size() != 6 || answer.substr(4) != "\r\n") return false;
  for (char c : answer.substr(0, 4)) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool DumpParameterTable(std::ostream& stream, int totalSteps) {
  LinkState& link = Link();
  const PortKind kind = link.currentKind;
  std::vector<char> buffer(kReplyBufferSize);
  const NetworkReadTimeoutKeeper keepReadTimeout;

  // Throw away whatever is waiting, so that it is not taken for the first slot's answer.
  if (kind == PortKind::UsbDevice || kind == PortKind::UsbPrinter) {
    DiscardPendingInput();
  } else if (kind == PortKind::Network) {
    // Stale input is read away until the link is quiet, not for a whole read time-out; the slots'
    // answers then get the short time-out.
    DiscardPendingInput();
    link.networkReadTimeoutMs = pace::kNetworkReadShort.ms;
  } else {
    // Short time-outs, so that the read of stale input does not wait out a long one for nothing.
    if (kind == PortKind::Parallel) {
      SetParallelTimeouts(link.Parallel(), pace::kParallelDumpRead.ms, pace::kParallelDumpWrite.ms);
    }
    ReadOnceByKind(buffer.data(), kReplyBufferSize);
  }

  for (int slot = 0; slot < 256; ++slot) {
    char address[3];
    std::snprintf(address, sizeof address, "%02X", slot);
    // A stop asked for between slots ends the dump here, with every earlier answer read whole.
    if (!ExchangeStep(slot, totalSteps)) return false;
    if (!SendToPrinter(std::string("~WN00@eep,r,") + address + "~")) return false;
    if (kind == PortKind::Parallel) Pause(pace::kParallelSlotSettle);
    // An answer is one line; a piece of it is completed from the following attempts so that the rest
    // is not taken for the next slot's answer.
    std::string answer;
    // A serial read waits for pending input as the other kinds' reads wait out their time-outs;
    // without it only the short gaps between attempts would bound the answer, and a printer (or a
    // busy machine) that answers a little late would fail the dump. The wait is shared by a slot's
    // attempts and starts again with each piece that arrives, so that a silent printer fails the dump
    // after one wait, not eleven.
    int64_t answerDue = NowMs() + TimeoutMs(pace::kSerialPendingRead);
    for (int attempt = 0; attempt < 11; ++attempt) {
      if (kind == PortKind::Serial) {
        if (FdChannelPtr channel = LocalPortChannel()) {
          channel->WaitReadable(static_cast<int>(std::max<int64_t>(0, answerDue - NowMs())));
        }
      }
      long n = ReadOnceByKind(buffer.data(), kReplyBufferSize);
      if (n > 0) {
        answer.append(buffer.data(), static_cast<std::size_t>(n));
        if (answer.back() == '\n' || answer.size() >= kReplyBufferSize) break;
        answerDue = NowMs() + TimeoutMs(pace::kSerialPendingRead);
      }
      WaitForInput(pace::kSlotReadRetry);
    }
    // A slot without its answer makes the file useless (it would not load, or would load another
    // slot's value), so the dump fails at once: a silent printer is not waited out 256 times.
    if (!IsSlotAnswer(answer)) return false;
    stream << "~WN00@eep,w," << address << "," << answer;
    if (!stream) return false;
  }
  if (kind == PortKind::Serial) {
    if (auto channel = link.Serial()) PurgeSerialInput(*channel);
  }
  return true;
}

}  // namespace tw
