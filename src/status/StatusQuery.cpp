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
constexpr PaceStep kPiecesGrace{"status reply pieces beyond the first wait", 1000};
// The whole reading ends within the link's reply time and 1 s; this much of it is kept for
// connecting and sending.
constexpr PaceStep kReadingBeyondReplyWait{"status reading beyond the link's reply time", 1000};
constexpr PaceStep kSendMargin{"status reading margin for connecting and sending", 100};
// A frame's CR LF may come in a piece of its own after the reply is complete at its ETX; it is
// waited for this long, so that it does not reach the receive area as an empty line.
constexpr PaceStep kLineEndWait{"status frame line end after its ETX", 200};

// True while a complete ~HS or ~HI reply still lacks the CR LF after its last ETX (~HQES has none).
bool AwaitsLineEnd(Query query, std::string_view bytes) {
  if (query != Query::HostStatus && query != Query::Identification) return false;
  const std::string_view tail = bytes.substr(bytes.rfind('\x03') + 1);
  return tail.empty() || tail == "\r";
}

}  // namespace

Report QueryStatus(CommandSet set) {
  Report report;
  report.commandSet = set;
  const std::vector<Query> queries = QueriesOf(set);
  const int64_t readingEnd =
      NowMs() + ReplyWaitMs() + TimeoutMs(kReadingBeyondReplyWait) - TimeoutMs(kSendMargin);
  bool silenceSeen = false;
  for (std::size_t index = 0; index < queries.size(); ++index) {
    const Query query = queries[index];
    const int64_t start = NowMs();
    if (start >= readingEnd) {  // no time left: not sent, so that no late reply can follow
      DecodeReply(query, "", report);
      continue;
    }
    if (!SendToPrinter(RequestBytes(query))) {
      report.linkFailed = true;
      AddLinkNote(report, false, query);
      break;
    }
    // The first query waits the link's reply time; after one went unanswered, the printer is
    // either silent or busy, and the others share what is left of the reading.
    const int64_t left = readingEnd - start;
    const int64_t wait = silenceSeen ? left / static_cast<int64_t>(queries.size() - index)
                                     : std::min<int64_t>(ReplyWaitMs(), left);
    const int64_t deadline = std::min(start + wait + TimeoutMs(kPiecesGrace), readingEnd);
    std::string bytes;
    while (!ReplyComplete(query, bytes)) {
      const int64_t remaining = deadline - NowMs();
      if (remaining <= 0) break;
      const std::string piece = ReadWithin(static_cast<int>(std::min(remaining, wait)));
      if (piece.empty()) break;
      bytes += piece;
    }
    const int64_t lineEndBy = NowMs() + TimeoutMs(kLineEndWait);
    while (ReplyComplete(query, bytes) && AwaitsLineEnd(query, bytes)) {
      const int64_t remaining = lineEndBy - NowMs();
      if (remaining <= 0) break;
      const std::string piece = ReadWithin(static_cast<int>(remaining));
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
