// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sending side of a download, apart from the window: the link's time-outs for a long transfer,
// the pieces of a file sent as its plan says, and the closing of the link after a file that makes
// the printer restart. The window runs SendPlannedFile in a thread of its own.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <istream>
#include <mutex>

#include "download/DownloadPlan.h"

namespace tw {

inline constexpr int kDownloadSerialWriteTimeoutMs = 50000;

enum class DownloadOutcome {
  Completed,
  WriteFailed,  // a piece could not be written to the printer
  ReadFailed,   // the file gave fewer bytes than its size promised (it changed or went away)
  Cancelled,    // stopped on request: before the next piece, or while the end waited for the printer
};

// Raises the open link's time-outs for the transfer, by the current port kind: the serial write
// time-out to 50 s; parallel read 3 s and write 150 s; USB device read 50 and write 150; USB printer
// write 150000 ms and read 100 ms. They stay raised; later reads set their own.
void RaiseLinkTimeoutsForDownload();

// Between the pieces of a transfer: a stop request, and a hold that keeps the next piece back (while
// the window asks whether to stop) until it is released or the transfer is stopped.
class TransferGate {
 public:
  void Hold();
  void Release();
  void Cancel();  // also ends a hold
  bool cancelled() const;
  // Waits while the gate is held; false once the transfer is to stop.
  bool Pass() const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool held_ = false;
  bool cancelled_ = false;
};

// Sends the pieces of `plan` read from `file` (at its current position) with SendToPrinter. Each bar
// value goes to `showBar` (called in this thread) once the printer has taken the bytes before it
// (on the network: acknowledged them), and the marks' pauses are taken here. An empty piece sends
// nothing. Passes `gate` before each piece. A stop while the end waits for the printer ends the
// wait; on the network the link is then closed hard (the open flag cleared), so that nothing more
// leaves. `bytesTaken` (when given) gets the bytes the printer took.
DownloadOutcome SendPlannedFile(std::istream& file, const DownloadPlan& plan,
                                const std::function<void(int value)>& showBar, const TransferGate& gate,
                                uint64_t* bytesTaken = nullptr);

// After a file that makes the printer restart: a USB or network link is closed and the open flag
// cleared (true: the user must connect again); a serial or parallel port stays open (false).
bool CloseLinkForPrinterRestart();

}  // namespace tw
