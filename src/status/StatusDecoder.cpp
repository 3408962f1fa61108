// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding the status replies: the frames of the Z replies, the code line of the E reply, and the
// tables that give each documented field, bit and code its condition.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "core/AppPaths.h"
#include "core/SysOption.h"
#include "status/PrinterStatus.h"
#include "wizards/EplConfig.h"

namespace tw::status {
namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

struct ConditionInfo {
  std::string_view id;
  Severity severity;
  std::string_view text;
};

// Every condition, with its severity: error for what stops printing, warning for what holds it
// back or asks for care, info for the rest.
constexpr ConditionInfo kConditions[] = {
    {"paper-out", Severity::Error, "Paper out"},
    {"pause", Severity::Warning, "Paused"},
    {"buffer-full", Severity::Warning, "Receive buffer full"},
    {"comms-diagnostic-mode", Severity::Info, "Communications diagnostic mode"},
    {"partial-format", Severity::Info, "Partial format in progress"},
    {"corrupt-ram", Severity::Error, "Configuration lost (corrupt RAM)"},
    {"under-temperature", Severity::Error, "Under temperature"},
    {"over-temperature", Severity::Error, "Over temperature"},
    {"head-open", Severity::Error, "Print head open"},
    {"ribbon-out", Severity::Error, "Ribbon out"},
    {"label-waiting", Severity::Info, "Label waiting to be taken"},
    {"cutter-fault", Severity::Error, "Cutter fault"},
    {"head-over-temperature", Severity::Error, "Print head over temperature"},
    {"motor-over-temperature", Severity::Error, "Motor over temperature"},
    {"bad-head-element", Severity::Error, "Bad print head element"},
    {"head-detection-error", Severity::Error, "Print head detection error"},
    {"invalid-firmware-config", Severity::Error, "Invalid firmware configuration"},
    {"head-thermistor-open", Severity::Error, "Print head thermistor open"},
    {"paper-jam-during-retract", Severity::Error, "Paper jam during retract"},
    {"presenter-not-running", Severity::Error, "Presenter not running"},
    {"paper-feed-error", Severity::Error, "Paper feed error"},
    {"clear-paper-path-failed", Severity::Error, "Clearing the paper path failed"},
    {"black-mark-calibrate-error", Severity::Error, "Black mark calibration error"},
    {"black-mark-not-found", Severity::Error, "Black mark not found"},
    {"calibrate", Severity::Warning, "Media needs calibrating"},
    {"clean-head", Severity::Warning, "Clean the print head"},
    {"replace-head", Severity::Warning, "Replace the print head"},
    {"paper-near-end", Severity::Warning, "Paper near end"},
    {"sensor-1", Severity::Warning, "Sensor 1 warning"},
    {"sensor-2", Severity::Warning, "Sensor 2 warning"},
    {"sensor-3", Severity::Warning, "Sensor 3 warning"},
    {"sensor-4", Severity::Warning, "Sensor 4 warning"},
    {"sensor-5", Severity::Warning, "Sensor 5 warning"},
    {"sensor-6", Severity::Warning, "Sensor 6 warning"},
    {"sensor-7", Severity::Warning, "Sensor 7 warning"},
    {"sensor-8", Severity::Warning, "Sensor 8 warning"},
    {"syntax-error", Severity::Error, "Syntax error"},
    {"object-exceeds-label", Severity::Error, "Object exceeds the label"},
    {"data-length", Severity::Error, "Data length error"},
    {"insufficient-memory", Severity::Error, "Insufficient memory"},
    {"memory-configuration", Severity::Error, "Memory configuration error"},
    {"duplicate-name", Severity::Error, "Duplicate name"},
    {"unknown", Severity::Info, "Unknown condition"},
};

// ~HS: the strings' field counts, and the flag fields that are conditions (string, position,
// the field's letter).
constexpr std::size_t kHostStatusFields[3] = {12, 11, 2};
struct HostStatusFlag {
  int string;
  std::size_t position;
  char letter;
  std::string_view id;
};
constexpr HostStatusFlag kHostStatusFlags[] = {
    {0, 1, 'b', "paper-out"},         {0, 2, 'c', "pause"},
    {0, 5, 'f', "buffer-full"},       {0, 6, 'g', "comms-diagnostic-mode"},
    {0, 7, 'h', "partial-format"},    {0, 9, 'j', "corrupt-ram"},
    {0, 10, 'k', "under-temperature"}, {0, 11, 'l', "over-temperature"},
    {1, 2, 'o', "head-open"},         {1, 3, 'p', "ribbon-out"},
    {1, 7, 't', "label-waiting"},
};

// ~HQES: the bits of the second group of each flag set.
struct StatusBit {
  uint32_t bit;
  std::string_view id;
};
constexpr StatusBit kErrorBits[] = {
    {0x1, "paper-out"},
    {0x2, "ribbon-out"},
    {0x4, "head-open"},
    {0x8, "cutter-fault"},
    {0x10, "head-over-temperature"},
    {0x20, "motor-over-temperature"},
    {0x40, "bad-head-element"},
    {0x80, "head-detection-error"},
    {0x100, "invalid-firmware-config"},
    {0x200, "head-thermistor-open"},
    {0x1000, "paper-jam-during-retract"},
    {0x2000, "presenter-not-running"},
    {0x4000, "paper-feed-error"},
    {0x8000, "clear-paper-path-failed"},
    {0x40000, "black-mark-calibrate-error"},
    {0x80000, "black-mark-not-found"},
};
constexpr StatusBit kWarningBits[] = {
    {0x1, "calibrate"},   {0x2, "clean-head"}, {0x4, "replace-head"}, {0x8, "paper-near-end"},
    {0x10, "sensor-1"},   {0x20, "sensor-2"},  {0x40, "sensor-3"},    {0x80, "sensor-4"},
    {0x100, "sensor-5"},  {0x200, "sensor-6"}, {0x400, "sensor-7"},   {0x800, "sensor-8"},
};

// ^ee: the error codes.
struct ErrorCode {
  std::string_view code;
  std::string_view id;
};
constexpr ErrorCode kErrorCodes[] = {
    {"01", "syntax-error"},        {"02", "object-exceeds-label"}, {"03", "data-length"},
    {"04", "insufficient-memory"}, {"05", "memory-configuration"}, {"07", "paper-out"},
    {"08", "duplicate-name"},      {"11", "head-open"},
};

const ConditionInfo* FindInfo(std::string_view id) {
  for (const ConditionInfo& info : kConditions) {
    if (info.id == id) return &info;
  }
  return nullptr;
}

std::string HexValue(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

constexpr std::string_view kUnknown = "unknown";

// One condition per id: a second source adds its field to the first's. The unknown condition
// names its values in its text and takes the worst severity of its sources.
void AddCondition(Report& report, std::string_view id, const std::string& field,
                  Severity unknownSeverity = Severity::Info) {
  auto it = std::find_if(report.conditions.begin(), report.conditions.end(),
                         [&](const Condition& c) { return c.id == id; });
  if (it == report.conditions.end()) {
    const ConditionInfo* info = FindInfo(id);
    report.conditions.push_back({std::string(id), id == kUnknown ? unknownSeverity : info->severity,
                                 std::string(info->text), field});
    it = report.conditions.end() - 1;
  } else {
    it->field += ", " + field;
    if (id == kUnknown) it->severity = std::max(it->severity, unknownSeverity);
  }
  if (id == kUnknown) it->text = "Unknown: " + it->field;
}

// The notes, with their catalog keys and English texts (%1: the argument).
struct NoteInfo {
  std::string_view key;
  std::string_view text;
};
constexpr NoteInfo kNotAnswered{"NoteNotAnswered", "%1 not answered"};
constexpr NoteInfo kNoEtx{"NoteNoEtx", "%1: a frame without its end mark (ETX)"};
constexpr NoteInfo kFrameMissing{"NoteFrameMissing", "%1 missing"};
constexpr NoteInfo kExtraFrames{"NoteExtraFrames", "%1: more frames than expected, not read"};
constexpr NoteInfo kFieldCount{"NoteFieldCount", "%1: unexpected number of fields, not read"};
constexpr NoteInfo kBadValue{"NoteBadValue", "%1: unreadable value, not read"};
constexpr NoteInfo kUnreadable{"NoteUnreadable", "%1: unreadable, not read"};
constexpr NoteInfo kFlagDisagrees{"NoteFlagDisagrees", "%1: the summary flag disagrees with the bits"};
constexpr NoteInfo kOutside{"NoteOutside", "%1 bytes outside the status replies"};
constexpr NoteInfo kNoLineEnd{"NoteNoLineEnd", "%1: reply without its line end"};
constexpr NoteInfo kLinkFailed{"NoteLinkFailed", "The request %1 could not be sent"};
constexpr NoteInfo kLinkLost{"NoteLinkLost", "The link was lost during %1"};
constexpr NoteInfo kStrayFrame{"NoteStrayFrame", "%1: a frame of another reply, handed on"};

void AddNote(Report& report, const NoteInfo& note, const std::string& argument) {
  std::string text(note.text);
  text.replace(text.find("%1"), 2, argument);
  report.notes.push_back({std::string(note.key), argument, std::move(text)});
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t comma = text.find(',');
    parts.push_back(Trim(text.substr(0, comma)));
    if (comma == std::string_view::npos) return parts;
    text.remove_prefix(comma + 1);
  }
}

bool AllOf(std::string_view text, std::string_view allowed) {
  return !text.empty() && text.find_first_not_of(allowed) == std::string_view::npos;
}

// ---- Z replies: frames STX ... ETX (CR LF)

struct Frame {
  std::string_view body;
  std::string_view whole;  // from its STX to its end, with the CR LF after its ETX
  bool hasEtx = false;
  bool closed = false;  // by its ETX or by the STX of the next frame
};

// A frame without its ETX ends where the next STX begins; one still open at the end of the bytes
// is kept unclosed. Bytes between frames are left out.
std::vector<Frame> SplitFrames(std::string_view bytes) {
  std::vector<Frame> frames;
  std::size_t i = bytes.find(kStx);
  while (i != std::string_view::npos) {
    const std::size_t end = bytes.find_first_of(std::string_view("\x02\x03", 2), i + 1);
    if (end == std::string_view::npos) {
      frames.push_back({bytes.substr(i + 1), bytes.substr(i), false, false});
      break;
    }
    std::size_t next = end;
    if (bytes[end] == kEtx) {
      ++next;
      if (next < bytes.size() && bytes[next] == '\r') ++next;
      if (next < bytes.size() && bytes[next] == '\n') ++next;
    }
    frames.push_back({bytes.substr(i + 1, end - i - 1), bytes.substr(i, next - i), bytes[end] == kEtx, true});
    i = bytes.find(kStx, next);
  }
  return frames;
}

std::size_t FramesOf(Query query) { return query == Query::HostStatus ? 3 : 1; }

// True when the string was read (a value of it may still be unreadable).
bool DecodeHostStatusString(int index, std::string_view body, Report& report) {
  const std::string name = "~HS string " + std::to_string(index + 1);
  const auto fields = SplitCommas(Trim(body));
  if (fields.size() != kHostStatusFields[index]) {
    AddNote(report, kFieldCount, name);
    return false;
  }
  for (const HostStatusFlag& flag : kHostStatusFlags) {
    if (flag.string != index) continue;
    const std::string field = std::string("~HS ") + flag.letter;
    const std::string_view value = fields[flag.position];
    if (value == "1") {
      AddCondition(report, flag.id, field);
    } else if (value != "0") {
      AddNote(report, kBadValue, field + " '" + std::string(value) + "'");
    }
  }
  return true;
}

// "ERRORS:" or "WARNINGS:" followed by the flag and two groups of eight hex digits.
struct FlagSet {
  char flag;
  uint64_t bits;
};
std::optional<FlagSet> ReadFlagSet(std::string_view body, std::string_view label) {
  const std::size_t at = body.find(label);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = body.substr(at + label.size());
  std::vector<std::string_view> words;
  while (words.size() < 3) {
    const std::size_t start = rest.find_first_not_of(" \t");
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const std::size_t end = std::min(rest.find_first_of(" \t\r\n"), rest.size());
    words.push_back(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  constexpr std::string_view kHex = "0123456789ABCDEFabcdef";
  if (words.size() != 3 || (words[0] != "0" && words[0] != "1") || words[1].size() != 8 ||
      words[2].size() != 8 || !AllOf(words[1], kHex) || !AllOf(words[2], kHex)) {
    return std::nullopt;
  }
  const uint64_t high = std::stoull(std::string(words[1]), nullptr, 16);
  const uint64_t low = std::stoull(std::string(words[2]), nullptr, 16);
  return FlagSet{words[0][0], (high << 32) | low};
}

bool DecodeFlagSet(std::string_view body, std::string_view label, std::string_view group,
                   std::span<const StatusBit> bits, Severity unknownSeverity, Report& report) {
  const std::string name = "~HQES " + std::string(group);
  const auto set = ReadFlagSet(body, label);
  if (!set) {
    AddNote(report, kUnreadable, name);
    return false;
  }
  if ((set->flag == '1') != (set->bits != 0)) AddNote(report, kFlagDisagrees, name);
  for (int bit = 0; bit < 64; ++bit) {
    const uint64_t value = uint64_t{1} << bit;
    if (!(set->bits & value)) continue;
    const auto known = std::find_if(bits.begin(), bits.end(),
                                    [&](const StatusBit& b) { return b.bit == value; });
    if (known != bits.end()) {
      AddCondition(report, known->id, name + " " + HexValue(value));
    } else {
      AddCondition(report, kUnknown, name + " " + HexValue(value), unknownSeverity);
    }
  }
  return true;
}

bool DecodeIdentification(std::string_view body, Report& report) {
  const auto fields = SplitCommas(Trim(body));
  if (fields.size() < 4 || fields[0].empty()) {
    AddNote(report, kUnreadable, "~HI");
    return false;
  }
  Identity identity{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                    std::string(fields[3]), {}};
  for (std::size_t i = 4; i < fields.size(); ++i)
    identity.options += (i > 4 ? "," : "") + std::string(fields[i]);
  report.identity = std::move(identity);
  return true;
}

// Whether a closed frame has the shape of the query's reply. A reply that came after its own wait
// ran out is read with the next query; its frames must not be taken for that query's.
bool FitsQuery(Query query, std::string_view body) {
  const std::size_t fields = SplitCommas(Trim(body)).size();
  switch (query) {
    case Query::HostStatus: return std::find(std::begin(kHostStatusFields), std::end(kHostStatusFields), fields) != std::end(kHostStatusFields);
    case Query::ErrorStatus: return body.find("ERRORS:") != std::string_view::npos;
    case Query::Identification:
      // A model name is never digits only, as the first field of a ~HS string is.
      return fields >= 4 && !AllOf(Trim(body).substr(0, Trim(body).find(',')), " 0123456789");
    default: return false;
  }
}

// The frames taken as the query's reply, in order: those that fit, up to the number it has (a
// last one still open is taken as cut short). Every other byte goes to `outside`, in order.
struct TakenFrames {
  std::vector<Frame> frames;
  std::string outside;
  bool stray = false;  // a frame of another shape was left out
  bool extra = false;  // a frame beyond the reply's number was left out
};
TakenFrames TakeFrames(Query query, std::string_view bytes) {
  TakenFrames taken;
  const std::size_t wanted = FramesOf(query);
  std::size_t done = 0;  // bytes placed so far
  for (const Frame& frame : SplitFrames(bytes)) {
    const std::size_t at = static_cast<std::size_t>(frame.whole.data() - bytes.data());
    taken.outside.append(bytes.substr(done, at - done));
    done = at + frame.whole.size();
    const bool fits = !frame.closed || FitsQuery(query, frame.body);
    if (fits && taken.frames.size() < wanted) {
      taken.frames.push_back(frame);
      continue;
    }
    (fits ? taken.extra : taken.stray) = true;
    taken.outside.append(frame.whole);
  }
  taken.outside.append(bytes.substr(done));
  return taken;
}

bool DecodeFramed(Query query, std::string_view bytes, Report& report) {
  const TakenFrames taken = TakeFrames(query, bytes);
  const std::string name(QueryName(query));
  if (taken.stray) AddNote(report, kStrayFrame, name);
  if (taken.extra) AddNote(report, kExtraFrames, name);
  bool decoded = false;
  for (std::size_t i = 0; i < taken.frames.size(); ++i) {
    const Frame& frame = taken.frames[i];
    if (!frame.hasEtx) {
      AddNote(report, kNoEtx, query == Query::HostStatus ? "~HS string " + std::to_string(i + 1) : name);
    }
    switch (query) {
      case Query::HostStatus: decoded |= DecodeHostStatusString(static_cast<int>(i), frame.body, report); break;
      case Query::ErrorStatus:
        decoded |= DecodeFlagSet(frame.body, "ERRORS:", "errors", kErrorBits, Severity::Error, report);
        decoded |= DecodeFlagSet(frame.body, "WARNINGS:", "warnings", kWarningBits, Severity::Warning, report);
        break;
      case Query::Identification: DecodeIdentification(frame.body, report); break;
      default: break;
    }
  }
  if (taken.frames.empty()) {
    AddNote(report, kNotAnswered, name);
  } else {
    // Only a frame that could be read makes the query answered.
    if (query != Query::Identification && decoded) report.answered = true;
    for (std::size_t i = taken.frames.size(); i < FramesOf(query); ++i)
      AddNote(report, kFrameMissing, "~HS string " + std::to_string(i + 1));
  }
  report.outside += taken.outside;
  return !taken.frames.empty();
}

// ---- E reply: one line of codes

bool IsCodeList(std::string_view text) {
  if (text.empty()) return false;
  for (const std::string_view code : SplitCommas(text)) {
    if (code.size() != 2 || !AllOf(code, "0123456789")) return false;
  }
  return true;
}

struct CodeLine {
  std::string_view codes;  // the line without its end; empty when none was found
  bool ended = false;
  std::string outside;
};

// The first line of codes is the reply; every other line is outside it. A last line without its
// end counts only while no ended one was found.
CodeLine FindCodeLine(std::string_view bytes) {
  CodeLine line;
  while (!bytes.empty()) {
    const std::size_t lf = bytes.find('\n');
    const std::string_view whole = bytes.substr(0, lf == std::string_view::npos ? bytes.size() : lf + 1);
    bytes.remove_prefix(whole.size());
    const std::string_view text = Trim(whole);
    if (line.codes.empty() && IsCodeList(text)) {
      line.codes = text;
      line.ended = lf != std::string_view::npos;
    } else {
      line.outside += whole;
    }
  }
  return line;
}

bool DecodeErrorCodes(std::string_view bytes, Report& report) {
  const CodeLine line = FindCodeLine(bytes);
  report.outside += line.outside;
  if (line.codes.empty()) {
    AddNote(report, kNotAnswered, "^ee");
    return false;
  }
  report.answered = true;
  if (!line.ended) AddNote(report, kNoLineEnd, "^ee");
  for (const std::string_view code : SplitCommas(line.codes)) {
    if (code == "00") continue;
    const auto known = std::find_if(std::begin(kErrorCodes), std::end(kErrorCodes),
                                    [&](const ErrorCode& e) { return e.code == code; });
    const std::string field = "^ee code " + std::string(code);
    AddCondition(report, known != std::end(kErrorCodes) ? known->id : kUnknown, field,
                 Severity::Error);
  }
  return true;
}

// ---- E configuration: the identity from the lines the E setup wizard reads

bool ConfigurationComplete(std::string_view bytes) {
  const std::size_t option = bytes.find("Option:");
  return option != std::string_view::npos && bytes.find('\n', option) != std::string_view::npos;
}

bool DecodeConfiguration(std::string_view bytes, Report& report) {
  if (Trim(bytes).empty()) {
    AddNote(report, kNotAnswered, "UQ");
    return false;
  }
  EplReadContext context;
  context.resolution300 = ReadModelList(SysOptionPath(), kResolution300Section);
  const EplConfiguration configuration = ParseEplConfiguration(bytes, context);
  if (!configuration.model) {
    AddNote(report, kUnreadable, "UQ");
    return true;
  }
  Identity identity;
  identity.model = *configuration.model;
  identity.firmware = std::string(Trim(std::string_view(*configuration.firmwareVersion).substr(2)));  // after "FV"
  if (configuration.resolution == kResolution300) identity.dotsPerMm = "12";
  if (configuration.resolution == kResolution203) identity.dotsPerMm = "8";
  report.identity = std::move(identity);
  return true;
}

std::size_t VisibleBytes(std::string_view bytes) {
  return static_cast<std::size_t>(std::count_if(bytes.begin(), bytes.end(),
                                                [](char c) { return c != '\r' && c != '\n'; }));
}

}  // namespace

std::string_view RequestBytes(Query query) {
  switch (query) {
    case Query::HostStatus: return "~HS";
    case Query::ErrorStatus: return "~HQES";
    case Query::Identification: return "~HI";
    case Query::ErrorCodes: return "^ee\r\n";
    case Query::Configuration: return "UQ\r\n";
  }
  return {};
}

std::string_view QueryName(Query query) {
  const std::string_view request = RequestBytes(query);
  return request.substr(0, request.find('\r'));
}

std::vector<Query> QueriesOf(CommandSet set) {
  if (set == CommandSet::E) return {Query::ErrorCodes, Query::Configuration};
  return {Query::ErrorStatus, Query::HostStatus, Query::Identification};
}

std::optional<Severity> Report::Worst() const {
  std::optional<Severity> worst;
  for (const Condition& c : conditions) {
    if (!worst || c.severity > *worst) worst = c.severity;
  }
  return worst;
}

const Condition* Report::Find(std::string_view id) const {
  for (const Condition& c : conditions) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

std::string_view SeverityName(Severity severity) {
  switch (severity) {
    case Severity::Info: return "info";
    case Severity::Warning: return "warning";
    case Severity::Error: return "error";
  }
  return {};
}

std::string_view ConditionText(std::string_view id) {
  const ConditionInfo* info = FindInfo(id);
  return info ? info->text : std::string_view();
}

bool ReplyComplete(Query query, std::string_view bytes) {
  if (query == Query::ErrorCodes) {
    const CodeLine line = FindCodeLine(bytes);
    return !line.codes.empty() && line.ended;
  }
  if (query == Query::Configuration) return ConfigurationComplete(bytes);
  const TakenFrames taken = TakeFrames(query, bytes);
  return static_cast<std::size_t>(std::count_if(taken.frames.begin(), taken.frames.end(),
                                                [](const Frame& f) { return f.closed; })) >= FramesOf(query);
}

bool DecodeReply(Query query, std::string_view bytes, Report& report) {
  report.raw.append(bytes);
  const std::size_t outsideBefore = report.outside.size();
  const bool found = query == Query::ErrorCodes      ? DecodeErrorCodes(bytes, report)
                     : query == Query::Configuration ? DecodeConfiguration(bytes, report)
                                                     : DecodeFramed(query, bytes, report);
  const std::size_t noise = VisibleBytes(std::string_view(report.outside).substr(outsideBefore));
  if (noise > 0) AddNote(report, kOutside, std::to_string(noise));
  return found;
}

void AddLinkNote(Report& report, bool lost, Query query) {
  AddNote(report, lost ? kLinkLost : kLinkFailed, std::string(QueryName(query)));
}

}  // namespace tw::status
