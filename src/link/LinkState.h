// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one printer link of the process: which kind of port is open, its channels and handles, its
// time-outs and the read modes. Every window and the receive thread read it; only the connect
// procedure, the reset command, the download of certain files and program exit change what is open.
//
// Two threads use it at once (the UI thread sends, connects and closes; the receive thread reads), so
// scalars are atomics and channels are shared_ptr copies taken under the mutex: a close takes the
// channel out of the state and cancels it, and a reader still holding its copy ends its wait at once.
#include <atomic>
#include <mutex>
#include <string>

#include "link/DeviceLibraries.h"
#include "link/FdChannel.h"
#include "link/PortKind.h"

namespace tw {

// The port dialog's list positions at the last connect, shown again when the dialog reopens.
struct ListPositions {
  int baud = 2, dataBit = 1, stopBit = 0, flowControl = 0, parity = 2, lpt = 0, usb = 0;
};

class LinkState {
 public:
  std::atomic<PortKind> currentKind{PortKind::Serial};
  std::atomic<PortKind> selectedKind{PortKind::Serial};
  std::atomic<bool> open{false};

  std::atomic<int> usbHandle{-1};      // from OpenDeviceX or OpenUSBPrinter; currentKind says which
  std::atomic<int> networkHandle{-1};  // from OpenPort
  std::atomic<bool> networkOpen{false};

  std::atomic<int> serialWriteTimeoutMs{2000};
  std::atomic<int> parallelReadTimeoutMs{2000};
  std::atomic<int> parallelWriteTimeoutMs{3000};
  std::atomic<int> networkConnectTimeoutMs{3000};
  std::atomic<int> networkWriteTimeoutMs{20000};
  std::atomic<int> networkReadTimeoutMs{5000};

  std::atomic<bool> readOnce{false};  // one reply expected: ReadReply reads once
  std::atomic<bool> drain{false};     // set by DiscardPendingInput while it throws input away

  // Channels: null when closed.
  FdChannelPtr Serial() const;
  FdChannelPtr Parallel() const;
  void SetSerial(FdChannelPtr channel);    // cancels the channel it replaces
  void SetParallel(FdChannelPtr channel);  // cancels the channel it replaces

  // Texts, read and written under the mutex.
  enum class Text {
    ParallelName,       // e.g. "LPT1"
    NetworkAddress,     // dotted IPv4
    LinkName,           // the port as the status bar shows it
    SerialDisplayName,  // the COM name without the "\\.\" prefix
    UsbDeviceName,
    Count
  };
  std::string Get(Text which) const;
  void Set(Text which, std::string value);
  std::atomic<int> networkPort{9100};

  ListPositions Positions() const;
  void SetPositions(const ListPositions& positions);

  DeviceLibraries Libraries() const;
  void SetLibraries(DeviceLibraries libraries);

 private:
  mutable std::mutex mutex_;
  FdChannelPtr serial_;
  FdChannelPtr parallel_;
  std::string texts_[static_cast<int>(Text::Count)];
  ListPositions positions_;
  DeviceLibraries libraries_;
};

// The process-wide link.
LinkState& Link();
// Closes whatever is open and returns the link to its start-up state, using `libraries` for USB and
// the network from now on (tests pass scripted layers; the program passes the real ones).
void ResetLink(DeviceLibraries libraries);

}  // namespace tw
