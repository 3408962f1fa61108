// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/ParamProtocol.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "link/DataTransfer.h"
#include "link/ExchangeSteps.h"
#include "link/LinkState.h"

namespace tw {
namespace {

constexpr std::string_view kReadSlotPrefix = "~WN00@eep,r,";
constexpr std::string_view kWriteSlotPrefix = "~WN00@eep,w,";
constexpr std::string_view kNamedEntryPrefix = "~WN00@ini,r,";
constexpr int kSlotCount = 256;
constexpr int kNamedEntryReads = 11;

// The parallel gathering: 100 bytes a read, at most 18 reads, into a 2048-byte area, of which the
// 256 six-byte answers need 1536.
constexpr int kGatherReadBytes = 100;
constexpr int kGatherReads = 18;
constexpr std::size_t kGatherAreaBytes = 2048;
constexpr std::size_t kAnswerBytes = 6;  // four hexadecimal digits, CR LF
constexpr std::size_t kGatherNeededBytes = kSlotCount * kAnswerBytes;

// The named entries that close a dump file, in their order.
constexpr std::string_view kDumpEntryKeys[] = {"PrinterName", "PrinterNameQesh", "TphAdj"};

// Positions (from 0) of a record line's address and value: "~WN00@eep,w,AA,VVVV".
constexpr std::size_t kAddressAt = 12;
constexpr std::size_t kValueAt = 15;
constexpr std::size_t kShortestRecord = 19;
// A dump file's lines are kept only this far; the rest of a line is skipped unread into memory, so
// that a huge file without line ends (a binary file) cannot fill the memory.
constexpr std::size_t kKeptLineChars = 64;

std::string_view Head(std::string_view text, std::size_t n) { return text.substr(0, n); }

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool AllHex(std::string_view text) {
  for (char c : text) {
    if (!IsHexDigit(c)) return false;
  }
  return true;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string SlotAddressText(int slot) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", slot);
  return text;
}

// The value of a read reply: its first four characters when they are hexadecimal digits. A shorter
// or garbled reply is a failed read like an empty one: shown as a value, it would be a wrong one.
std::optional<std::string> ReplyValue(const std::string& reply) {
  if (reply.size() < 4 || !AllHex(Head(reply, 4))) return std::nullopt;
  return reply.substr(0, 4);
}

std::optional<std::string> Ask(const std::string& request) {
  Link().serialWriteTimeoutMs = kParamReadWriteTimeoutMs;
  if (!SendToPrinter(request)) return std::nullopt;
  return ReadReply(ReplyEnd::Line).text;
}

std::optional<std::string> AskForValue(const std::string& request) {
  const std::optional<std::string> reply = Ask(request);
  return reply ? ReplyValue(*reply) : std::nullopt;
}

bool SendWithTimeout(const std::string& message) {
  Link().serialWriteTimeoutMs = kParamRequestTimeoutMs;
  return SendToPrinter(message);
}

// Sets the link's read-once mode for its life when asked, and clears it on every way out.
class ReadOnceScope {
 public:
  explicit ReadOnceScope(bool wanted) : wanted_(wanted) {
    if (wanted_) Link().readOnce = true;
  }
  ~ReadOnceScope() {
    if (wanted_) Link().readOnce = false;
  }
  ReadOnceScope(const ReadOnceScope&) = delete;
  ReadOnceScope& operator=(const ReadOnceScope&) = delete;

 private:
  bool wanted_;
};

// The records of the gathered answers are matched to slots by position only. When one answer is
// missing, extra or garbled, every later record would carry another slot's value, and sending such
// a file back would write those values into the wrong slots; so every answer must have its shape.
bool AnswersInStep(std::string_view collected) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::string_view answer = collected.substr(slot * kAnswerBytes, kAnswerBytes);
    if (!AllHex(Head(answer, 4)) || answer.substr(4) != "\r\n") return false;
  }
  return true;
}

}  // namespace

std::string ReadSlotRequest(std::string_view address) {
  return std::string(kReadSlotPrefix) + std::string(Head(address, 2)) + "~";
}

std::string ReadFieldRequest(std::string_view address, std::string_view first, std::string_view last) {
  return std::string(kReadSlotPrefix) + std::string(Head(address, 2)) + "," + std::string(Head(first, 2)) + "," +
         std::string(Head(last, 2)) + "~";
}

std::string WriteSlotCommand(std::string_view address, std::string_view value) {
  return std::string(kWriteSlotPrefix) + std::string(Head(address, 2)) + "," + std::string(Head(value, 4)) + "~";
}

std::string WriteFieldCommand(std::string_view address, std::string_view value, std::string_view first,
                              std::string_view last) {
  return std::string(kWriteSlotPrefix) + std::string(Head(address, 2)) + "," + std::string(Head(value, 4)) + "," +
         std::string(Head(first, 2)) + "," + std::string(Head(last, 2)) + "~";
}

std::string NamedEntryRequest(std::string_view key) { return std::string(kNamedEntryPrefix) + std::string(key) + "\r\n"; }

std::optional<std::string> SlotValueText(std::string_view hex) {
  if (hex.empty() || hex.size() > 4 || !AllHex(hex)) return std::nullopt;
  std::string value(4 - hex.size(), '0');
  for (char c : hex) value += UpperAscii(c);
  return value;
}

std::optional<std::string> ReadParameterSlot(std::string_view address) {
  return AskForValue(ReadSlotRequest(address));
}

std::optional<std::string> ReadParameterField(std::string_view address, std::string_view first,
                                              std::string_view last) {
  return AskForValue(ReadFieldRequest(address, first, last));
}

std::optional<std::string> ReadParameterSlotReply(std::string_view address) { return Ask(ReadSlotRequest(address)); }

bool RequestParameterSlot(std::string_view address) { return SendWithTimeout(ReadSlotRequest(address)); }

bool RequestParameterField(std::string_view address, std::string_view first, std::string_view last) {
  return SendWithTimeout(ReadFieldRequest(address, first, last));
}

bool WriteParameterSlot(std::string_view address, std::string_view value) {
  return SendWithTimeout(WriteSlotCommand(address, value));
}

bool WriteParameterField(std::string_view address, std::string_view value, std::string_view first,
                         std::string_view last) {
  return SendWithTimeout(WriteFieldCommand(address, value, first, last));
}

int ParseSlotValue(std::string_view text) {
  const std::string_view digits = Head(text, 4);
  if (digits.size() < 4 || !AllHex(digits)) return 0;
  return std::stoi(std::string(digits), nullptr, 16);
}

std::optional<std::string> DecimalToSlotText(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 0xFFFF) return std::nullopt;
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04lX", value);
  return std::string(hex);
}

NamedEntryAnswer ReadNamedEntry(std::string_view key) {
  // A late piece of an earlier answer would otherwise begin this entry's value.
  DiscardPendingInput();
  SendToPrinter(NamedEntryRequest(key));  // a failed send shows as no answer
  for (int i = 0; i < kNamedEntryReads; ++i) {
    const int64_t started = NowMs();
    Reply reply = ReadReply(ReplyEnd::Line);
    if (reply.text.empty()) continue;
    const bool whole = CompleteReplyLine(reply, started);
    return {whole ? NamedEntryAnswer::State::Complete : NamedEntryAnswer::State::Cut, std::move(reply.text)};
  }
  return {};
}

bool GatherParallelDump(std::ostream& stream) {
  Pause(pace::kParallelDumpGatherSettle);
  std::string collected;
  char buffer[kGatherReadBytes];
  for (int read = 0; read < kGatherReads && collected.size() < kGatherNeededBytes; ++read) {
    int n = 0;
    if (!ParallelRead(buffer, kGatherReadBytes, &n) || n <= 0) continue;
    const std::size_t room = kGatherAreaBytes - collected.size();
    collected.append(buffer, std::min(static_cast<std::size_t>(n), room));
  }
  if (collected.size() < kGatherNeededBytes || !AnswersInStep(collected)) return false;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    stream << kWriteSlotPrefix << SlotAddressText(slot) << ","
           << std::string_view(collected).substr(slot * kAnswerBytes, kAnswerBytes);
  }
  return static_cast<bool>(stream);
}

bool WriteParameterDump(const std::filesystem::path& file, bool readOnce, std::vector<std::string>* unanswered) {
  ReadOnceScope mode(readOnce);
  std::ofstream stream(file, std::ios::binary | std::ios::trunc);
  if (!stream) return false;

  // The steps a job shows: the slots, then the named entries; a stop comes between two of them.
  const int steps = kSlotCount + static_cast<int>(std::size(kDumpEntryKeys));
  bool slotsCopied = false;
  if (Link().currentKind == PortKind::Parallel) {
    // The requests go out together and their answers come as one: a stop waits for the entries.
    slotsCopied = ExchangeStep(0, steps);
    for (int slot = 0; slot < kSlotCount && slotsCopied; ++slot) {
      slotsCopied = RequestParameterSlot(SlotAddressText(slot));
    }
    slotsCopied = slotsCopied && GatherParallelDump(stream);
  } else {
    slotsCopied = DumpParameterTable(stream, steps);
  }
  if (!slotsCopied) return false;

  // Each record must end its line: a cut value would run into the next record, and sent back it
  // would write a wrong text into the printer.
  std::string entries;
  int step = kSlotCount;
  for (std::string_view key : kDumpEntryKeys) {
    if (!ExchangeStep(step++, steps)) return false;
    const NamedEntryAnswer answer = ReadNamedEntry(key);
    if (answer.state == NamedEntryAnswer::State::Cut) return false;
    if (answer.state == NamedEntryAnswer::State::None) {
      if (unanswered) unanswered->emplace_back(key);
      continue;
    }
    entries += "~WN00@ini,w," + std::string(key) + "," + answer.text;
  }
  stream << entries;
  stream.close();
  return !stream.fail();
}

std::filesystem::path PartialDumpPath(const std::filesystem::path& target) {
  std::filesystem::path partial = target;
  partial += ".partial";
  return partial;
}

bool SaveParameterDump(const std::filesystem::path& target, bool readOnce, std::vector<std::string>* unanswered) {
  const std::filesystem::path partial = PartialDumpPath(target);
  std::error_code renameError, ignored;
  const bool saved = WriteParameterDump(partial, readOnce, unanswered) &&
                     (std::filesystem::rename(partial, target, renameError), !renameError);
  if (!saved) std::filesystem::remove(partial, ignored);
  return saved;
}

std::optional<DumpFile> DumpFile::Open(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  DumpFile file;
  std::streambuf* bytes = in.rdbuf();
  while (file.lines_.size() < kSlotCount) {
    std::string line;
    int c = bytes->sbumpc();
    if (c == std::char_traits<char>::eof()) break;
    while (c != std::char_traits<char>::eof() && c != '\n') {
      if (line.size() < kKeptLineChars) line += static_cast<char>(c);
      c = bytes->sbumpc();
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    file.lines_.push_back(std::move(line));
  }
  return file;
}

std::optional<std::string> DumpFile::FindSlot(std::string_view address) const {
  if (address.size() < 2) return std::nullopt;
  for (const std::string& line : lines_) {
    if (line.size() < kShortestRecord) continue;  // empty, or too short to hold a value
    if (UpperAscii(line[kAddressAt]) == UpperAscii(address[0]) &&
        UpperAscii(line[kAddressAt + 1]) == UpperAscii(address[1])) {
      return line.substr(kValueAt, 4);
    }
  }
  return std::nullopt;
}

}  // namespace tw
