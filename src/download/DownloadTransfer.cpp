// SPDX-License-Identifier: GPL-3.0-or-later
#include "download/DownloadTransfer.h"

#include <algorithm>
#include <deque>
#include <string>
#include <utility>

#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"

namespace tw {
namespace {

constexpr int kParallelReadTimeoutMs = 3000;
constexpr int kParallelWriteTimeoutMs = 150000;
constexpr int kUsbDeviceReadTimeout = 50;
constexpr int kUsbDeviceWriteTimeout = 150;
constexpr int kUsbPrinterWriteTimeoutMs = 150000;
constexpr int kUsbPrinterReadTimeoutMs = 100;

// The bar follows what the printer took: each mark waits here until the bytes before it are taken.
// On the network the system takes a file far ahead of a slow printer; elsewhere written is taken.
class BarOfTakenBytes {
 public:
  explicit BarOfTakenBytes(const std::function<void(int)>& showBar) : showBar_(showBar) {}
  void Add(uint64_t offset, const std::vector<BarMark>& marks) {
    for (const BarMark& mark : marks) pending_.emplace_back(offset, mark);
  }
  // Counts the bytes of `sent` that the printer has taken and shows the marks up to them.
  uint64_t Follow(uint64_t sent) {
    const long undelivered = UndeliveredBytes();
    if (undelivered >= 0) taken_ = sent - std::min<uint64_t>(sent, static_cast<uint64_t>(undelivered));
    while (!pending_.empty() && pending_.front().first <= taken_) {
      const BarMark mark = pending_.front().second;
      pending_.pop_front();
      if (showBar_) showBar_(mark.value);
      if (mark.pause) Pause(*mark.pause);
    }
    return taken_;
  }

 private:
  const std::function<void(int)>& showBar_;
  std::deque<std::pair<uint64_t, BarMark>> pending_;
  uint64_t taken_ = 0;
};

}  // namespace

void RaiseLinkTimeoutsForDownload() {
  LinkState& link = Link();
  link.serialWriteTimeoutMs = kDownloadSerialWriteTimeoutMs;
  const DeviceLibraries libraries = link.Libraries();
  switch (link.currentKind.load()) {
    case PortKind::Parallel:
      SetParallelTimeouts(link.Parallel(), kParallelReadTimeoutMs, kParallelWriteTimeoutMs);
      break;
    case PortKind::UsbDevice:
      if (libraries.usbDevice) {
        libraries.usbDevice->SetUSBTimeouts(link.usbHandle, kUsbDeviceReadTimeout, kUsbDeviceWriteTimeout);
      }
      break;
    case PortKind::UsbPrinter:
      if (libraries.usbPrinter) {
        libraries.usbPrinter->SetSinglePrnTimeout(link.usbHandle, kUsbPrinterWriteTimeoutMs,
                                                  kUsbPrinterReadTimeoutMs);
      }
      break;
    default: break;
  }
}

void TransferGate::Hold() {
  std::lock_guard lock(mutex_);
  held_ = true;
}

void TransferGate::Release() {
  {
    std::lock_guard lock(mutex_);
    held_ = false;
  }
  changed_.notify_all();
}

void TransferGate::Cancel() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  changed_.notify_all();
}

bool TransferGate::cancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

bool TransferGate::Pass() const {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !held_ || cancelled_; });
  return !cancelled_;
}

DownloadOutcome SendPlannedFile(std::istream& file, const DownloadPlan& plan,
                                const std::function<void(int)>& showBar, const TransferGate& gate,
                                uint64_t* bytesTaken) {
  BarOfTakenBytes bar(showBar);
  uint64_t sent = 0;
  const auto ended = [&](DownloadOutcome outcome) {
    if (bytesTaken) *bytesTaken = bar.Follow(sent);
    return outcome;
  };
  // A stop while the system still holds bytes for a network printer closes the link hard, so that
  // nothing more leaves (a cut firmware file must not go on arriving); the count comes first.
  bool stopped = false;
  const auto stop = [&] {
    stopped = true;
    const uint64_t taken = bar.Follow(sent);
    if (Link().currentKind == PortKind::Network && UndeliveredBytes() != 0) {
      CloseNetworkLink(NetworkClose::Hard);
      Link().open = false;
    }
    if (bytesTaken) *bytesTaken = taken;
    return DownloadOutcome::Cancelled;
  };
  std::string buffer;
  for (uint64_t index = 0; index < plan.pieceCount(); ++index) {
    if (!gate.Pass()) return stop();
    const DownloadPiece piece = plan.Piece(index);
    bar.Add(piece.offset, piece.before);
    bar.Follow(sent);
    if (piece.length > 0) {
      buffer.assign(piece.length, '\0');
      // A short read would send stale bytes in place of the file's: stop instead.
      if (!file.read(buffer.data(), piece.length) || file.gcount() != piece.length) {
        return ended(DownloadOutcome::ReadFailed);
      }
      if (!SendToPrinter(buffer)) return ended(DownloadOutcome::WriteFailed);
      sent += piece.length;
    }
    bar.Add(sent, piece.after);
    bar.Follow(sent);
  }
  // Bytes the system took are not yet the printer's: a link that drops before they are is a failure.
  // A stop meanwhile closes the network link hard, which ends the wait: nothing more leaves.
  const bool delivered = AwaitDelivery([&] {
    bar.Follow(sent);
    if (gate.cancelled() && !stopped) stop();
  });
  if (stopped) return DownloadOutcome::Cancelled;
  return ended(delivered ? DownloadOutcome::Completed : DownloadOutcome::WriteFailed);
}

bool CloseLinkForPrinterRestart() {
  LinkState& link = Link();
  switch (link.currentKind.load()) {
    case PortKind::UsbDevice:
    case PortKind::UsbPrinter: CloseUsbPort(); break;
    case PortKind::Network: CloseNetworkLink(NetworkClose::AfterTransfer); break;
    default: return false;
  }
  link.open = false;
  return true;
}

}  // namespace tw
