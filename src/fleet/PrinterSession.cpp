// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/PrinterSession.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/WaitInterrupt.h"
#include "params/ParamProtocol.h"

namespace tw::fleet {
namespace {

constexpr int kSlotCount = 256;
constexpr int kSlotAttempts = 11;      // reads per slot answer, as the dump makes them
constexpr int kNamedEntryReads = 11;   // reads for the first bytes of a named entry
constexpr std::string_view kDumpEntryKeys[] = {"PrinterName", "PrinterNameQesh", "TphAdj"};

std::string SlotAddress(int slot) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", slot);
  return text;
}

bool EndsLine(const std::string& text) {
  return text.size() >= static_cast<std::size_t>(kReplyBufferSize) || (!text.empty() && text.back() == '\n');
}

}  // namespace

PrinterSession::PrinterSession(std::shared_ptr<NetPortApi> net) : net_(std::move(net)) {}

PrinterSession::~PrinterSession() { Close(CloseHow::Now); }

std::optional<std::string> PrinterSession::Open(const std::string& host, int port) {
  Close();
  address_ = ResolveHostIpv4(host);
  port_ = port;
  if (address_.empty()) return "the host name " + host + " cannot be resolved";
  errno = 0;
  const int connectMs = TimeoutMs(tw::pace::kNetworkConnect);
  handle_ = net_->OpenPort(address_, port, connectMs);
  if (handle_ < 0) {
    const int error = errno;
    const std::string peer = address_ + ":" + std::to_string(port);
    switch (error) {
      case ECONNREFUSED: return "the connection was refused at " + peer;
      case ETIMEDOUT: return "no answer from " + peer + " within " + std::to_string((connectMs + 999) / 1000) + " s";
      case ENETUNREACH:
      case EHOSTUNREACH: return "there is no route to " + address_;
      case ECANCELED: return "the connect was stopped";
      default: return "the printer " + peer + " cannot be reached" + (error ? std::string(": ") + std::strerror(error) : "");
    }
  }
  readTimeoutMs_ = TimeoutMs(tw::pace::kNetworkRead);
  return std::nullopt;
}

std::optional<std::string> PrinterSession::Reopen() {
  const int64_t end = NowMs() + TimeoutMs(pace::kReconnectWindow);
  std::optional<std::string> failure;
  while (true) {
    failure = Open(address_, port_);
    if (!failure || WaitInterrupted() || NowMs() >= end) return failure;
    PauseUnlessInterrupted(pace::kReconnectGap);
  }
}

void PrinterSession::Close(CloseHow how) {
  if (handle_ < 0) return;
  switch (how) {
    case CloseHow::Now: net_->ClosePort(handle_); break;
    case CloseHow::AfterTransfer: net_->ClosePortAfterTransfer(handle_, TimeoutMs(tw::pace::kNetworkCloseLinger)); break;
    case CloseHow::Hard: net_->AbortPort(handle_); break;
  }
  handle_ = -1;
}

bool PrinterSession::Send(std::string_view bytes) {
  if (handle_ < 0) return false;
  return net_->WritePort(handle_, bytes.data(), static_cast<int>(bytes.size()), TimeoutMs(tw::pace::kNetworkWrite)) >= 0;
}

bool PrinterSession::AwaitDelivery() {
  if (handle_ < 0) return false;
  // As the link does it: the write time-out bounds a stall, a slow printer that keeps taking is
  // waited for.
  constexpr int kSliceMs = 50;
  int unacknowledged = -1;
  int64_t lastProgress = NowMs();
  for (;;) {
    const int left = net_->WaitAcknowledged(handle_, kSliceMs);
    if (left <= 0) return left == 0;
    if (WaitInterrupted()) return false;
    if (left != unacknowledged) {
      unacknowledged = left;
      lastProgress = NowMs();
    } else if (NowMs() - lastProgress >= TimeoutMs(tw::pace::kNetworkWrite)) {
      return false;
    }
  }
}

long PrinterSession::Undelivered() { return handle_ < 0 ? -1 : net_->WaitAcknowledged(handle_, 0); }

bool PrinterSession::WentAway() { return handle_ >= 0 && net_->WentAway(handle_); }

long PrinterSession::Read(char* buffer, int capacity, int waitMs) {
  if (handle_ < 0) return -1;
  return net_->ReadPort(handle_, buffer, capacity, std::max(waitMs, 0));
}

void PrinterSession::DiscardPendingInput() {
  std::vector<char> buffer(kReplyBufferSize);
  const int waitMs = TimeoutMs(tw::pace::kStaleInputWait);
  for (int i = 0; i < kStaleInputReads && Read(buffer.data(), kReplyBufferSize, waitMs) > 0; ++i) {
  }
}

void PrinterSession::PrepareSlotReads() {
  DiscardPendingInput();
  readTimeoutMs_ = TimeoutMs(tw::pace::kNetworkReadShort);
}

std::optional<std::string> PrinterSession::SlotAnswer(int slot) {
  if (!Send(ReadSlotRequest(SlotAddress(slot)))) return std::nullopt;
  std::vector<char> buffer(kReplyBufferSize);
  std::string answer;
  for (int attempt = 0; attempt < kSlotAttempts; ++attempt) {
    const long n = Read(buffer.data(), kReplyBufferSize, readTimeoutMs_);
    if (n < 0 || WaitInterrupted()) break;
    if (n > 0) {
      answer.append(buffer.data(), static_cast<std::size_t>(n));
      if (EndsLine(answer)) break;
    }
    PauseUnlessInterrupted(tw::pace::kSlotReadRetry);
  }
  if (!IsSlotAnswer(answer)) return std::nullopt;
  return answer;
}

PrinterSession::EntryState PrinterSession::ReadNamedEntry(std::string_view key, std::string* text) {
  DiscardPendingInput();
  Send(NamedEntryRequest(key));  // a failed send shows as no answer
  std::vector<char> buffer(kReplyBufferSize);
  const int totalMs = 51 * TimeoutMs(tw::pace::kNetworkReadShort);  // the normal read loop's length
  for (int i = 0; i < kNamedEntryReads && !WaitInterrupted(); ++i) {
    const int64_t started = NowMs();
    std::string reply;
    // Read once: every piece within the first wait, to the line end.
    while (!EndsLine(reply)) {
      const int64_t left = started + readTimeoutMs_ - NowMs();
      const long n = Read(buffer.data(), kReplyBufferSize, static_cast<int>(reply.empty() ? readTimeoutMs_ : left));
      if (n <= 0) break;
      reply.append(buffer.data(), static_cast<std::size_t>(n));
    }
    if (reply.empty()) continue;
    // An answer that has begun is read on to its line end.
    while (!EndsLine(reply)) {
      const int64_t left = started + totalMs - NowMs();
      if (left <= 0) break;
      const long n = Read(buffer.data(), kReplyBufferSize, static_cast<int>(std::min<int64_t>(left, readTimeoutMs_)));
      if (n <= 0) break;
      reply.append(buffer.data(), static_cast<std::size_t>(n));
    }
    if (reply.size() > static_cast<std::size_t>(kReplyBufferSize)) reply.resize(kReplyBufferSize);
    *text = reply;
    return !reply.empty() && reply.back() == '\n' ? EntryState::Complete : EntryState::Cut;
  }
  return EntryState::None;
}

std::optional<std::string> PrinterSession::DumpTable(std::vector<std::string>* unanswered, std::string* error,
                                                     const std::function<void(int slot)>& slotRead) {
  PrepareSlotReads();
  std::string file;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::optional<std::string> answer = SlotAnswer(slot);
    if (!answer) {
      *error = WaitInterrupted() ? "stopped" : "no answer for slot " + SlotAddress(slot);
      return std::nullopt;
    }
    file += "~WN00@eep,w," + SlotAddress(slot) + "," + *answer;
    if (slotRead) slotRead(slot);
  }
  for (std::string_view key : kDumpEntryKeys) {
    std::string text;
    switch (ReadNamedEntry(key, &text)) {
      case EntryState::Complete: file += "~WN00@ini,w," + std::string(key) + "," + text; break;
      case EntryState::None: unanswered->emplace_back(key); break;
      case EntryState::Cut: *error = "the named entry " + std::string(key) + " was cut short"; return std::nullopt;
    }
    if (WaitInterrupted()) {
      *error = "stopped";
      return std::nullopt;
    }
  }
  return file;
}

std::string PrinterSession::Ask(std::string_view request, const std::function<bool(std::string_view)>& complete,
                                int firstWaitMs) {
  DiscardPendingInput();
  if (!Send(request)) return {};
  std::vector<char> buffer(kReplyBufferSize);
  std::string reply;
  int wait = firstWaitMs < 0 ? TimeoutMs(pace::kFirstAnswerBytes) : firstWaitMs;
  const int64_t deadline = NowMs() + wait + TimeoutMs(pace::kAnswerPiecesGrace);
  while (!complete(reply) && reply.size() < kMaxAnswerBytes) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) break;
    const long n = Read(buffer.data(), kReplyBufferSize, static_cast<int>(std::min<int64_t>(left, wait)));
    if (n <= 0) break;
    reply.append(buffer.data(), static_cast<std::size_t>(n));
    wait = TimeoutMs(tw::pace::kNetworkReadShort);
  }
  if (reply.size() > kMaxAnswerBytes) reply.resize(kMaxAnswerBytes);
  return reply;
}

}  // namespace tw::fleet
