// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One network printer's connection for the jobs over a printer list. The printer link of the
// program is one per process; a list job talks to many printers at once, so each gets a session of
// its own over the link's TCP layer (NetPortApi), with the link's network rules: the same time-outs,
// stale input read away before a request, a slot's answer read as the parameter dump reads it, a
// named entry read once to its line end, delivery confirmed by the printer's acknowledgement.
// The bytes sent are those of the one-printer tools, built by the same message functions.
//
// Waits end at once when the calling thread's WaitInterrupt is raised (link/WaitInterrupt.h).
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/Pacing.h"
#include "link/DeviceLibraries.h"

namespace tw::fleet {

namespace pace {
inline constexpr PaceStep kAfterWrites{"list job: wait after writing the parameters, before the reset", 3000};
inline constexpr PaceStep kAfterReset{"list job: wait after a reset before connecting again", 2000};
inline constexpr PaceStep kReconnectWindow{"list job: how long a reset printer may take to accept again", 30000};
inline constexpr PaceStep kReconnectGap{"list job: gap between connect attempts after a reset", 500};
// The version query's four reply reads of the short network read time-out bound the wait for the
// first bytes of an answer.
inline constexpr PaceStep kFirstAnswerBytes{"list job: wait for the first bytes of an answer", 2000};
// An answer that keeps coming in pieces is read at most this long beyond its first wait, so that a
// printer streaming without end cannot hold the job.
inline constexpr PaceStep kAnswerPiecesGrace{"list job: answer pieces beyond the first wait", 1000};
}  // namespace pace

// The most bytes an answer to a question is read to; a printer streaming more is cut off there.
inline constexpr std::size_t kMaxAnswerBytes = 64 * 1024;

class PrinterSession {
 public:
  explicit PrinterSession(std::shared_ptr<NetPortApi> net);
  ~PrinterSession();
  PrinterSession(const PrinterSession&) = delete;
  PrinterSession& operator=(const PrinterSession&) = delete;

  // Resolves the host and connects within the link's connect time-out; a sentence on failure.
  std::optional<std::string> Open(const std::string& host, int port);
  // Connects again after a reset, retrying until the printer accepts or the reconnect window ends.
  std::optional<std::string> Reopen();
  enum class CloseHow { Now, AfterTransfer, Hard };
  void Close(CloseHow how = CloseHow::Now);
  bool IsOpen() const { return handle_ >= 0; }

  // All bytes written (the write time-out bounds a stall); false when the link failed.
  bool Send(std::string_view bytes);
  // Waits until the printer has acknowledged every byte (the time-out bounds a stall).
  bool AwaitDelivery();
  // Bytes written that the printer has not acknowledged (-1: the link failed).
  long Undelivered();
  // The printer closed or reset the connection.
  bool WentAway();

  // Reads input left over from earlier exchanges away (as the link does before a request).
  void DiscardPendingInput();
  // Before slot reads: input left over is read away, and the answers get the short network read
  // time-out, as in the one-printer dump.
  void PrepareSlotReads();
  // Sends the read-slot request of `slot` and reads its answer as the parameter dump does: the six
  // bytes (four hexadecimal digits, CR LF), or nullopt when no such answer came or the send failed.
  std::optional<std::string> SlotAnswer(int slot);
  // The parameter dump (the same requests and records as the one-printer dump): 256 slot records,
  // then the named entries in their order; a named entry without answer is left out and its key put
  // into `unanswered`. Nullopt with `error` set on failure.
  // `slotRead` (when given) hears of each slot read (0 to 255).
  std::optional<std::string> DumpTable(std::vector<std::string>* unanswered, std::string* error,
                                       const std::function<void(int slot)>& slotRead = {});
  // A request and its answer: the first bytes within kFirstAnswerBytes, each further piece within
  // the short network read time-out, until `complete` says the answer is whole (or the pieces stop),
  // at most the first wait and kAnswerPiecesGrace in all and kMaxAnswerBytes bytes.
  // Empty when nothing came.
  // `firstWaitMs` < 0: kFirstAnswerBytes.
  std::string Ask(std::string_view request, const std::function<bool(std::string_view)>& complete,
                  int firstWaitMs = -1);

  const std::string& address() const { return address_; }

 private:
  long Read(char* buffer, int capacity, int waitMs);
  enum class EntryState { Complete, None, Cut };
  EntryState ReadNamedEntry(std::string_view key, std::string* text);

  std::shared_ptr<NetPortApi> net_;
  std::string address_;
  int port_ = 0;
  int handle_ = -1;
  int readTimeoutMs_ = 0;
};

}  // namespace tw::fleet
