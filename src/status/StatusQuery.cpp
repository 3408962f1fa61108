// SPDX-License-Identifier: GPL-3.0-or-later
// Running the status queries over the open printer link.
#include <algorithm>

#include "core/Pacing.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "status/PrinterStatus.h"

namespace tw::status {
namespace {

// A reply that keeps coming in pieces is read at most this long beyond its first wait, so that a
// printer streaming without end cannot hold the reading.
constexpr int kPiecesGraceMs = 1000;

}  // namespace

Report QueryStatus(CommandSet set) {
  Report report;
  report.commandSet = set;
  bool silenceSeen = false;
  for (const Query query : QueriesOf(set)) {
    if (!SendToPrinter(RequestBytes(query))) {
      report.linkFailed = true;
      AddLinkNote(report, false, query);
      break;
    }
    // The first query waits the link's reply time; after one went unanswered, the printer is
    // either silent or busy, and the others are given a short wait only.
    const int wait = silenceSeen ? TimeoutMs(kAfterSilence) : ReplyWaitMs();
    const int64_t deadline = NowMs() + wait + kPiecesGraceMs;
    std::string bytes;
    while (!ReplyComplete(query, bytes)) {
      const int64_t left = deadline - NowMs();
      if (left <= 0) break;
      const std::string piece = ReadWithin(static_cast<int>(std::min<int64_t>(left, wait)));
      if (piece.empty()) break;
      bytes += piece;
    }
    if (!DecodeReply(query, bytes, report)) silenceSeen = true;
    if (bytes.empty() && PortWentAway()) {
      report.linkFailed = true;
      AddLinkNote(report, true, query);
      break;
    }
  }
  return report;
}

}  // namespace tw::status
