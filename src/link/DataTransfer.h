// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every byte sent to the printer or read from it passes through these operations. They dispatch on
// the link's current port kind, apply that kind's waits and time-outs, and report failure by their
// result only (one exception: a reply read on a closed USB printer says so itself).
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "core/Pacing.h"

namespace tw {

inline constexpr int kReplyBufferSize = 1024;  // a single read asks for at most this many bytes
inline constexpr int kBulkReadSize = 50000;    // what ReadAvailable asks for

// What a read brought: the byte count and the bytes (zero bytes included).
struct Reply {
  double count = 0;
  std::string text;
};

// Writes all bytes to the open port; true only when every byte was written.
bool SendToPrinter(std::string_view bytes);
// After the last write of a transfer: on the network, waits until the printer has acknowledged
// every byte; false when the connection failed or the printer took nothing for the write time-out.
// `whileWaiting` runs between checks (a window keeps itself served). On a USB printer node, waits
// up to the write time-out until the node has taken every byte; false when the device went away or
// the time-out passed. Other kinds: true.
bool AwaitDelivery(const std::function<void()>& whileWaiting = {});
// Bytes handed to the system that the printer has not taken yet: on the network the bytes not yet
// acknowledged (-1 when the connection failed or is closed); 0 on the other kinds.
long UndeliveredBytes();
// How the end of a reply is told: by a round that brings nothing (the kind's fixed waits), or by the
// line end that closes every answer of the parameter protocol.
enum class ReplyEnd { Rounds, Line };

// Reads one reply (at most 1024 bytes) in rounds, as the kind and the read mode say; the
// USBSetting keys of lib/SysOption.ini are read at every call. A line answer is taken the moment
// its line end arrives; the kind's fixed waits only bound how long it may take. In normal mode a
// reply whose rounds end before its line end is read on for it, up to the length the kind's read
// loop could have run (a printer that pauses between pieces longer than a round's wait).
Reply ReadReply(ReplyEnd end = ReplyEnd::Rounds);
// Completes a reply whose line end has not come: reads on, each further piece within the wait the
// kind's first read gives the first bytes (in the current read mode), the whole reply within the
// length of the kind's normal read loop counted from `startedMs`. True when the reply ends its line.
bool CompleteReplyLine(Reply& reply, int64_t startedMs);
// How long the kind's first read of a reply waits for its first bytes, in the current read mode.
int ReplyWaitMs();
// One read that waits up to waitMs for bytes (at most 1024): the bytes, empty when none came.
std::string ReadWithin(int waitMs);
// One bulk read of whatever the printer has sent (at most 50000 bytes).
Reply ReadAvailable();
// Throws away input that arrived before a request: reads until a read brings nothing, at most
// kStaleInputReads reads of 1024 bytes; each read waits kStaleInputWait on the serial, parallel and
// network kinds, the USBReadBlankTimeout on the USB kinds. The spooler has nothing to read.
void DiscardPendingInput();
// Reads the 256 parameter slots one request at a time and writes one write-command record per slot
// to the stream. False when a request cannot be sent, the stream fails, or a slot has no answer of
// four hexadecimal digits and CR LF after its attempts: the dump ends at that slot.
bool DumpParameterTable(std::ostream& stream);
// True for a slot read's whole answer: four hexadecimal digits followed by CR LF.
bool IsSlotAnswer(std::string_view answer);

// One exchange at a time on the link. A transfer that runs while the windows stay live (a download
// sends from a thread of its own) claims the link for its whole length; work started by a timer
// (the editors' dump) claims it too, and waits for a later tick while it is taken.
// True when the claim was taken; false while another holds it.
bool ClaimLinkExchange();
void ReleaseLinkExchange();
bool LinkExchangeClaimed();

inline constexpr int kStaleInputReads = 8;
namespace pace {
inline constexpr PaceStep kStaleInputWait{"wait for stale input before a request", 100};
}  // namespace pace

// The per-kind primitives.
bool ParallelWrite(std::string_view bytes);
bool ParallelRead(char* buffer, int length, int* n);
bool ParallelPoll(char* buffer, int length, int* n);
bool NetworkWrite(std::string_view bytes);
bool NetworkRead(char* buffer, int length, int* n);
bool SpoolerWrite(std::string_view bytes);

}  // namespace tw
