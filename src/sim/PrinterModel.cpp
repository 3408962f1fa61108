// SPDX-License-Identifier: GPL-3.0-or-later
// The printer's side of the protocol: finds the commands it knows in the byte stream, answers them
// and takes everything else as print data.
#include <cstdio>
#include <optional>
#include <utility>

#include "sim/VirtualPrinter.h"

namespace tw::sim {
namespace {

constexpr std::string_view kReset = "~JR";
constexpr std::string_view kParameterIntro = "~WN";
constexpr std::string_view kMemoryListingRequest = "^XA^WD*:*.*^XZ";
constexpr std::string_view kConfigurationRequest = "UQ";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHostStatusRequest = "~HS";
constexpr std::string_view kErrorStatusRequest = "~HQES";
constexpr std::string_view kIdentificationRequest = "~HI";
constexpr std::string_view kErrorCodeRequest = "^ee";

constexpr std::string_view kVersionBody = "01@version";
constexpr std::string_view kReadSlotPrefix = "00@eep,r,";
constexpr std::string_view kWriteSlotPrefix = "00@eep,w,";
constexpr std::string_view kReadEntryPrefix = "00@ini,r,";
constexpr std::string_view kWriteEntryPrefix = "00@ini,w,";

constexpr std::string_view kDefaultZVersion = "WVLZ-V2.31 2026-05-18";
constexpr std::string_view kDefaultEVersion = "WVLE-V2.31 2026-05-18";

// A factory table of a 203 dpi printer: tear-off -5 dots, label shift -10 dots, thermal transfer,
// speed 100, darkness 20, gap labels 200 dots long with 24-dot gaps, tear-off mode, 9600 8N1,
// network 192.168.1.20/24 via 192.168.1.1 on port 9100, 832 dots wide.
struct DefaultSlot {
  uint8_t address;
  uint16_t value;
};
constexpr DefaultSlot kDefaultSlots[] = {
    {0x01, 0x0085}, {0x06, 0x0010}, {0x0C, 0xFFF6}, {0x0D, 0x0001}, {0x0F, 0x0064}, {0x10, 0x0080},
    {0x11, 0x0040}, {0x12, 0x0014}, {0x1B, 0x0018}, {0x1C, 0x0012}, {0x1D, 0x0011}, {0x1E, 0x00C8},
    {0x20, 0x0010}, {0x21, 0x0018}, {0x2B, 0x0001}, {0x34, 0x1000}, {0x35, 0x0A0A}, {0x36, 0x0A0A},
    {0x38, 0x238C}, {0x3B, 0x1401}, {0x3C, 0xA8C0}, {0x3D, 0x00FF}, {0x3E, 0xFFFF}, {0x3F, 0x0101},
    {0x40, 0xA8C0}, {0x47, 0x0340}, {0x48, 0x0000}, {0x50, 0x0001}, {0x51, 0x0080}, {0x53, 0x0108},
    {0x56, 0x0010}, {0x57, 0x0000}, {0x58, 0x0000}, {0x59, 0x0000}, {0x5A, 0x0340},
};

struct DefaultEntry {
  std::string_view key;
  std::string_view value;
};
constexpr DefaultEntry kNamedEntries[] = {
    {"PrinterName", "TW Virtual 203"},
    {"PrinterNameQesh", "TWV-203"},
    {"TphAdj", "0100"},
};

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Exactly `digits` hexadecimal digits of either case.
std::optional<unsigned> ParseHex(std::string_view text, std::size_t digits) {
  if (text.size() != digits) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return value;
}

// A bit number: exactly two decimal digits, 00 to 15.
std::optional<unsigned> ParseBit(std::string_view text) {
  if (text.size() != 2 || text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9') {
    return std::nullopt;
  }
  const unsigned bit = static_cast<unsigned>((text[0] - '0') * 10 + (text[1] - '0'));
  if (bit > 15) return std::nullopt;
  return bit;
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
  return text;
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t comma = text.find(',');
    parts.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return parts;
    text.remove_prefix(comma + 1);
  }
}

// A bit range first..last of a slot, both inclusive.
struct Field {
  unsigned first;
  unsigned last;
  unsigned Mask() const { return ((1u << (last - first + 1)) - 1u) << first; }
};

std::optional<Field> ParseField(std::string_view first, std::string_view last) {
  const auto firstBit = ParseBit(first);
  const auto lastBit = ParseBit(last);
  if (!firstBit || !lastBit || *firstBit > *lastBit) return std::nullopt;
  return Field{*firstBit, *lastBit};
}

// Whole: `rest` begins with `literal`; Partial: `rest` is a beginning of `literal`.
enum class LiteralMatch { No, Partial, Whole };
LiteralMatch MatchLiteral(std::string_view rest, std::string_view literal) {
  if (rest.starts_with(literal)) return LiteralMatch::Whole;
  if (rest.size() < literal.size() && literal.starts_with(rest)) return LiteralMatch::Partial;
  return LiteralMatch::No;
}

// Command text for a log line: control bytes written as <XX>.
std::string Printable(std::string_view bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "<%02X>", c);
      text += escape;
    }
  }
  return text;
}

bool IsHeldEntry(std::string_view key) {
  for (const auto& entry : kNamedEntries) {
    if (entry.key == key) return true;
  }
  return false;
}

}  // namespace

PrinterModel::PrinterModel(Personality personality, std::string versionText,
                           ConfigurationOptions configuration)
    : personality_(personality),
      versionText_(std::move(versionText)),
      configuration_(std::move(configuration)) {
  if (versionText_.empty()) {
    versionText_ = personality == Personality::Z ? kDefaultZVersion : kDefaultEVersion;
  }
  for (const auto& slot : kDefaultSlots) slots_[slot.address] = slot.value;
  for (const auto& entry : kNamedEntries) named_[std::string(entry.key)] = entry.value;
}

uint16_t PrinterModel::Slot(int address) const {
  if (address < 0 || address >= static_cast<int>(slots_.size())) return 0;
  return slots_[static_cast<std::size_t>(address)];
}

void PrinterModel::SetSlot(int address, uint16_t value) {
  if (address < 0 || address >= static_cast<int>(slots_.size())) return;
  slots_[static_cast<std::size_t>(address)] = value;
}

std::string PrinterModel::NamedEntry(const std::string& key) const {
  const auto it = named_.find(key);
  return it == named_.end() ? std::string() : it->second;
}

void PrinterModel::SetNamedEntry(const std::string& key, const std::string& value) {
  if (IsHeldEntry(key)) named_[key] = value;
}

void PrinterModel::DropNamedEntry(const std::string& key) { named_.erase(key); }

std::string PrinterModel::VersionReply() const { return versionText_ + std::string(kLineEnd); }

std::string PrinterModel::ConfigurationReply() const {
  const ConfigurationOptions& c = configuration_;
  if (!c.replyOverride.empty()) return c.replyOverride;
  char darkness[8];
  std::snprintf(darkness, sizeof darkness, "D%02d", c.darkness);
  std::string reply(kLineEnd);
  reply += c.labelField + " q" + std::to_string(c.widthDots) + std::string(kLineEnd);
  reply += "S" + std::to_string(c.speed) + " " + darkness + " R0,0 " +
           (c.topOrientation ? "ZT" : "ZB") + std::string(kLineEnd);
  reply += c.codePage + std::string(kLineEnd);
  reply += c.model + " FV" + c.firmware + std::string(kLineEnd);
  if (c.tofBackup) reply += "JF" + std::string(kLineEnd);
  reply += "Option:" + c.options + std::string(kLineEnd);
  return reply;
}

std::string PrinterModel::MemoryListingReply() const {
  return "MEMORY LISTING\r\n"
         "R: 0 FILES 256 KB FREE\r\n"
         "E: 0 FILES 4096 KB FREE\r\n";
}

void PrinterModel::DiscardPending() {
  pending_.clear();
  atLineStart_ = true;
}

PrinterModel::Output PrinterModel::Feed(std::string_view bytes) {
  Output out;
  pending_.append(bytes);
  const std::string_view data(pending_);
  std::size_t pos = 0;
  bool lineStart = atLineStart_;
  while (pos < data.size()) {
    Step step = TryCommand(data.substr(pos), lineStart, out);
    if (step.scan == Scan::NeedMore && data.size() - pos < kMaxPendingBytes) break;
    if (step.scan == Scan::Command) {
      pos += step.length;
      lineStart = true;
      line_.clear();
      lineTooLong_ = false;
      if (out.resetRequested) {
        // The printer restarts: whatever followed the reset in this chunk is lost.
        DiscardPending();
        return out;
      }
      continue;
    }
    // Not a command (or one that never completed within the cap): one byte of print data.
    lineStart = IsLineEnd(data[pos]);
    TakePrintData(data[pos]);
    ++out.printDataBytes;
    ++pos;
  }
  atLineStart_ = lineStart;
  pending_.erase(0, pos);
  return out;
}

PrinterModel::Step PrinterModel::TryCommand(std::string_view rest, bool atLineStart, Output& out) {
  const auto literal = [&](std::string_view command) -> Step {
    switch (MatchLiteral(rest, command)) {
      case LiteralMatch::Whole:
        out.commands.push_back(Printable(command));
        return {Scan::Command, command.size()};
      case LiteralMatch::Partial:
        return {Scan::NeedMore};
      case LiteralMatch::No:
        break;
    }
    return {Scan::NoCommand};
  };

  switch (rest.front()) {
    case '~': {
      if (rest.starts_with(kParameterIntro)) return TryParameterCommand(rest, out);
      bool partial = MatchLiteral(rest, kParameterIntro) == LiteralMatch::Partial;
      const Step reset = literal(kReset);
      if (reset.scan == Scan::Command) out.resetRequested = true;
      if (reset.scan != Scan::NoCommand) return reset;
      if (personality_ != Personality::Z) return {partial ? Scan::NeedMore : Scan::NoCommand};
      // The Z status queries: host status, error and warning status, identification.
      using Answer = std::string (PrinterModel::*)() const;
      static constexpr std::pair<std::string_view, Answer> kQueries[] = {
          {kHostStatusRequest, &PrinterModel::HostStatusReply},
          {kErrorStatusRequest, &PrinterModel::ErrorStatusReply},
          {kIdentificationRequest, &PrinterModel::IdentificationReply},
      };
      for (const auto& [query, answer] : kQueries) {
        const Step step = literal(query);
        if (step.scan == Scan::Command) out.reply += (this->*answer)();
        if (step.scan == Scan::Command) return step;
        partial = partial || step.scan == Scan::NeedMore;
      }
      return {partial ? Scan::NeedMore : Scan::NoCommand};
    }
    case '^': {
      if (personality_ == Personality::E) {
        const Step errors = TryLineCommand(rest, kErrorCodeRequest, atLineStart, out);
        if (errors.scan == Scan::Command) out.reply += ErrorCodeReply();
        if (errors.scan != Scan::NoCommand) return errors;
      }
      const Step listing = literal(kMemoryListingRequest);
      if (listing.scan == Scan::Command) out.reply += MemoryListingReply();
      return listing;
    }
    case 'U': {
      // The E printer's configuration request is a line of its own: "UQ" ended by CR LF or LF.
      if (personality_ != Personality::E) return {Scan::NoCommand};
      const Step request = TryLineCommand(rest, kConfigurationRequest, atLineStart, out);
      if (request.scan == Scan::Command) out.reply += ConfigurationReply();
      return request;
    }
    default:
      return {Scan::NoCommand};
  }
}

// An E command that is a line of its own: the command ended by CR LF or LF.
PrinterModel::Step PrinterModel::TryLineCommand(std::string_view rest, std::string_view command,
                                                bool atLineStart, Output& out) {
  if (!atLineStart) return {Scan::NoCommand};
  const std::size_t n = command.size();
  const LiteralMatch match = MatchLiteral(rest, command);
  if (match == LiteralMatch::Partial || (match == LiteralMatch::Whole && rest.size() == n)) {
    return {Scan::NeedMore};
  }
  if (match == LiteralMatch::No || !IsLineEnd(rest[n])) return {Scan::NoCommand};
  std::size_t length = n + 1;
  if (rest[n] == '\r' && rest.size() > length && rest[length] == '\n') ++length;
  out.commands.push_back(Printable(rest.substr(0, length)));
  return {Scan::Command, length};
}

// "~WN" + body + terminator. The terminator is "~" (the protocol's own messages), or CR LF (the
// records of a dump file and the named-entry messages). A named entry's value, and a message that
// is not understood, end before a "~" without taking it: the "~" may begin the next message, as
// when a dump file holds an empty entry value directly followed by the next record.
PrinterModel::Step PrinterModel::TryParameterCommand(std::string_view rest, Output& out) {
  const std::string_view window = rest.substr(0, kMaxPendingBytes);
  const std::size_t end = window.find_first_of("~\r\n", kParameterIntro.size());
  if (end == std::string_view::npos) {
    return {rest.size() >= kMaxPendingBytes ? Scan::NoCommand : Scan::NeedMore};
  }
  const std::string_view body = rest.substr(kParameterIntro.size(), end - kParameterIntro.size());
  const bool understood = RunParameterCommand(body, out);
  const bool namedEntry = body.starts_with(kReadEntryPrefix) || body.starts_with(kWriteEntryPrefix);
  std::size_t length = end + 1;
  if (rest[end] == '~') {
    if (!understood || namedEntry) length = end;
  } else if (rest[end] == '\r' && rest.size() > length && rest[length] == '\n') {
    ++length;
  }
  out.commands.push_back(Printable(rest.substr(0, length)) + (understood ? "" : " (ignored)"));
  return {Scan::Command, length};
}

// Carries out one parameter message; false when it is not one this printer understands.
bool PrinterModel::RunParameterCommand(std::string_view body, Output& out) {
  if (body == kVersionBody) {
    out.reply += VersionReply();
    return true;
  }
  if (body.starts_with(kReadSlotPrefix)) {
    const auto parts = SplitCommas(body.substr(kReadSlotPrefix.size()));
    const auto address = ParseHex(parts[0], 2);
    if (!address) return false;
    const unsigned word = slots_[*address];
    if (parts.size() == 1) {
      out.reply += Hex4(word) + std::string(kLineEnd);
      return true;
    }
    if (parts.size() != 3) return false;
    const auto field = ParseField(parts[1], parts[2]);
    if (!field) return false;
    out.reply += Hex4((word & field->Mask()) >> field->first) + std::string(kLineEnd);
    return true;
  }
  if (body.starts_with(kWriteSlotPrefix)) {
    const auto parts = SplitCommas(body.substr(kWriteSlotPrefix.size()));
    if (parts.size() != 2 && parts.size() != 4) return false;
    const auto address = ParseHex(parts[0], 2);
    const auto value = ParseHex(parts[1], 4);
    if (!address || !value) return false;
    if (parts.size() == 2) {
      slots_[*address] = static_cast<uint16_t>(*value);
      return true;
    }
    const auto field = ParseField(parts[2], parts[3]);
    if (!field) return false;
    // The value is right-aligned: shift it into place; bits beyond the field's width are dropped
    // so that the slot's other bits stay as they were.
    const unsigned kept = slots_[*address] & ~field->Mask();
    slots_[*address] = static_cast<uint16_t>(kept | ((*value << field->first) & field->Mask()));
    return true;
  }
  if (body.starts_with(kReadEntryPrefix)) {
    const auto entry = named_.find(std::string(body.substr(kReadEntryPrefix.size())));
    if (entry == named_.end()) return false;
    out.reply += entry->second + std::string(kLineEnd);
    return true;
  }
  if (body.starts_with(kWriteEntryPrefix)) {
    const std::string_view entry = body.substr(kWriteEntryPrefix.size());
    const std::size_t comma = entry.find(',');
    if (comma == std::string_view::npos) return false;
    const std::string key(entry.substr(0, comma));
    if (!IsHeldEntry(key)) return false;
    named_[key] = std::string(entry.substr(comma + 1));
    return true;
  }
  return false;
}

}  // namespace tw::sim
