#include "download/DownloadTransfer.h"

#include <string>

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

void ShowMarks(const std::vector<BarMark>& marks, const std::function<void(int)>& showBar) {
  for (const BarMark& mark : marks) {
    if (showBar) showBar(mark.value);
    if (mark.pause) Pause(*mark.pause);
  }
}

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
                                const std::function<void(int)>& showBar, const TransferGate& gate) {
  std::string buffer;
  for (uint64_t index = 0; index < plan.pieceCount(); ++index) {
    if (!gate.Pass()) return DownloadOutcome::Cancelled;
    const DownloadPiece piece = plan.Piece(index);
    ShowMarks(piece.before, showBar);
    if (piece.length > 0) {
      buffer.assign(piece.length, '\0');
      // A short read would send stale bytes in place of the file's: stop instead.
      if (!file.read(buffer.data(), piece.length) || file.gcount() != piece.length) {
        return DownloadOutcome::ReadFailed;
      }
      if (!SendToPrinter(buffer)) return DownloadOutcome::WriteFailed;
    }
    ShowMarks(piece.after, showBar);
  }
  // Bytes the system took are not yet the printer's: a link that drops before they are is a failure.
  return AwaitDelivery() ? DownloadOutcome::Completed : DownloadOutcome::WriteFailed;
}

bool CloseLinkForPrinterRestart() {
  LinkState& link = Link();
  switch (link.currentKind.load()) {
    case PortKind::UsbDevice:
    case PortKind::UsbPrinter: CloseUsbPort(); break;
    case PortKind::Network: CloseNetworkLink(); break;
    default: return false;
  }
  link.open = false;
  return true;
}

}  // namespace tw
