// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/FleetJobs.h"

#include <stdio.h>  // renameat2, RENAME_NOREPLACE
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>

#include "download/DownloadPlan.h"
#include "fleet/PrinterSession.h"
#include "link/WaitInterrupt.h"
#include "params/ParamProtocol.h"
#include "params/UserParamRows.h"
#include "status/PrinterStatus.h"

namespace tw::fleet {
namespace {

// Once a status query went unanswered, the next ones of the same printer wait only this long.
constexpr PaceStep kAfterSilence{"list inventory: a status query after an unanswered one", 500};

constexpr std::string_view kVersionRequest = "~WN01@version~\r\n";
constexpr std::string_view kResetCommand = "~JR";

std::string Hex2(int slot) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", slot);
  return text;
}

std::string Hex4(uint16_t value) {
  char text[5];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

bool EndsLine(std::string_view text) { return !text.empty() && text.back() == '\n'; }

// An answer text for a table cell: line ends and control bytes dropped at the ends, the rest kept.
std::string Trimmed(std::string text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && static_cast<unsigned char>(text[start]) <= ' ') ++start;
  return text.substr(start);
}

std::string TimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

std::string IdentityText(const status::Report& report) {
  if (!report.identity) return {};
  std::string text;
  for (const std::string* part : {&report.identity->model, &report.identity->firmware}) {
    if (!part->empty()) text += (text.empty() ? "" : " ") + *part;
  }
  return text;
}

// The conditions in words with their severity, "ok" when an answered reading reports none.
std::string StatusText(const status::Report& report) {
  if (!report.answered) return {};
  std::string text;
  for (const status::Condition& condition : report.conditions) {
    text += (text.empty() ? "" : "; ") + condition.text + " (" + std::string(status::SeverityName(condition.severity)) + ")";
  }
  return text.empty() ? "ok" : text;
}

// Renames a finished file into place unless a file of that name exists. A file system without the
// no-replace rename gets a hard link and the removal of the old name, which refuse an existing file
// the same way.
bool RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

std::string ChangeCount(std::size_t n) { return std::to_string(n) + (n == 1 ? " slot" : " slots"); }

}  // namespace

const char* JobName(JobKind kind) {
  switch (kind) {
    case JobKind::Inventory: return "inventory";
    case JobKind::Backup: return "backup";
    case JobKind::Apply: return "apply";
    case JobKind::Send: return "send";
  }
  return "";
}

std::vector<int> DefaultApplySlots(CommandSet set) {
  const std::vector<SettingRow>& rows = set == CommandSet::E ? EplUserRows() : ZUserRows();
  std::vector<int> slots;
  for (const RowSlot& rowSlot : RowSlots(rows)) {
    const SettingRow& row = rows[rowSlot.row];
    if (row.part == Part::Network) continue;
    const int slot = SlotNumber(row.slotSpecs[rowSlot.slot].address);
    if (std::find(slots.begin(), slots.end(), slot) == slots.end()) slots.push_back(slot);
  }
  return slots;
}

std::optional<std::vector<int>> ParseSlotList(const std::string& text, CommandSet set, std::string* error) {
  std::vector<int> slots;
  auto add = [&](int slot) {
    if (std::find(slots.begin(), slots.end(), slot) == slots.end()) slots.push_back(slot);
  };
  auto hex = [](std::string_view digits) -> std::optional<int> {
    std::optional<std::string> value = digits.size() <= 2 ? SlotValueText(digits) : std::nullopt;
    if (!value) return std::nullopt;
    return std::stoi(*value, nullptr, 16);
  };
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    if (item == "user") {
      for (int slot : DefaultApplySlots(set)) add(slot);
      continue;
    }
    const std::size_t dash = item.find('-');
    const std::optional<int> first = hex(std::string_view(item).substr(0, dash));
    const std::optional<int> last = dash == std::string::npos ? first : hex(std::string_view(item).substr(dash + 1));
    if (!first || !last || *first > *last) {
      *error = "The slot list entry \"" + item + "\" is not a slot (00 to FF), a range AA-BB or \"user\".";
      return std::nullopt;
    }
    for (int slot = *first; slot <= *last; ++slot) add(slot);
  }
  if (slots.empty()) {
    *error = "The slot list names no slot.";
    return std::nullopt;
  }
  return slots;
}

bool IsFirmwareOrFontFile(const std::filesystem::path& file) {
  std::string name = file.filename().string();
  if (IsFirmwareFile(name)) return true;
  if (name.size() < 3) return false;
  std::string tail = name.substr(name.size() - 3);
  for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return tail == ".ZK";
}

std::string StateText(const PrinterResult& result) {
  switch (result.state) {
    case PrinterState::Waiting: return "waiting";
    case PrinterState::Running: return "running";
    case PrinterState::Done: return "done";
    case PrinterState::Failed: return "failed";
    case PrinterState::Skipped: return "skipped";
    case PrinterState::NotStarted: return "not started";
    case PrinterState::Interrupted: {
      if (result.changes.empty()) return "interrupted";
      const std::string n = std::to_string(result.changes.size());
      switch (result.writtenKnown) {
        case PrinterResult::Known::ReadBack:
          return "interrupted: " + std::to_string(result.slotsWritten) + " of " + n + " slots written";
        case PrinterResult::Known::Acknowledged:
          return "interrupted: " + std::to_string(result.slotsWritten) + " of " + n + " slots delivered";
        case PrinterResult::Known::Unknown: return "interrupted: which of the " + n + " slots were written is not known";
      }
      return "interrupted";
    }
  }
  return "";
}

FleetRun::FleetRun(PrinterList list, JobOptions options, std::shared_ptr<NetPortApi> net)
    : list_(std::move(list)), options_(std::move(options)), net_(std::move(net)) {
  for (const PrinterEntry& printer : list_.printers) {
    PrinterResult result;
    result.printer = printer;
    results_.push_back(std::move(result));
  }
  interrupts_.assign(list_.printers.size(), nullptr);
  writing_.assign(list_.printers.size(), 0);
  options_.jobs = std::max(options_.jobs, 1);
}

FleetRun::~FleetRun() {
  if (!workers_.empty()) {
    Cut();
    Wait();
  }
}

std::optional<std::string> FleetRun::Prepare() {
  std::error_code code;
  switch (options_.kind) {
    case JobKind::Inventory: break;
    case JobKind::Backup:
      if (!std::filesystem::is_directory(options_.target, code)) {
        return "The backup folder " + options_.target.string() + " does not exist.";
      }
      break;
    case JobKind::Apply: {
      const std::optional<DumpFile> dump = DumpFile::Open(options_.target);
      if (!dump) return "The dump file " + options_.target.string() + " cannot be read.";
      const std::vector<int> slots = options_.slotList ? *options_.slotList : DefaultApplySlots(options_.set);
      for (int slot : slots) {
        const std::optional<std::string> text = dump->FindSlot(Hex2(slot));
        const std::optional<uint16_t> value = text ? FourHexDigits(*text) : std::nullopt;
        if (!value) return "The dump file " + options_.target.string() + " has no value for slot " + Hex2(slot) + ".";
        wanted_.emplace_back(slot, *value);
      }
      break;
    }
    case JobKind::Send: {
      if (IsFirmwareOrFontFile(options_.target)) {
        return "The file " + options_.target.string() +
               " is a firmware or font file; such files are not sent to a list of printers.";
      }
      std::ifstream in(options_.target, std::ios::binary);
      std::ostringstream bytes;
      if (in) bytes << in.rdbuf();
      if (!in || in.bad()) return "The file " + options_.target.string() + " cannot be read.";
      sendBytes_ = bytes.str();
      if (sendBytes_.empty()) return "The file " + options_.target.string() + " is empty.";
      break;
    }
  }
  return std::nullopt;
}

void FleetRun::Start() {
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(options_.jobs), results_.size());
  running_ = static_cast<int>(count);
  for (std::size_t i = 0; i < count; ++i) workers_.emplace_back([this] { Worker(); });
}

void FleetRun::Wait() {
  for (std::thread& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
}

bool FleetRun::Finished() const { return running_ == 0; }

void FleetRun::Worker() {
  for (;;) {
    const std::size_t index = next_++;
    if (index >= results_.size()) break;
    WaitInterrupt interrupt;
    {
      // Under the lock that Stop() takes: a printer either starts before the stop (and is then
      // interrupted by it) or not at all.
      std::lock_guard lock(mutex_);
      PrinterResult& r = results_[index];
      if (stopping_) {
        r.state = PrinterState::NotStarted;
        continue;
      }
      r.state = PrinterState::Running;
      r.step = JobStep::Connecting;
      interrupts_[index] = &interrupt;
    }
    RunPrinter(index, interrupt);
  }
  --running_;
}

void FleetRun::Stop() {
  if (stopping_.exchange(true)) {
    Cut();
    return;
  }
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < results_.size(); ++i) {
    if (interrupts_[i] && !writing_[i]) interrupts_[i]->Raise();
  }
}

void FleetRun::Cut() {
  stopping_ = true;
  cut_ = true;
  std::lock_guard lock(mutex_);
  for (WaitInterrupt* interrupt : interrupts_) {
    if (interrupt) interrupt->Raise();
  }
}

bool FleetRun::BeginWrites(std::size_t index) {
  std::lock_guard lock(mutex_);
  if (stopping_) return false;
  writing_[index] = 1;
  return true;
}

void FleetRun::EndWrites(std::size_t index) {
  std::lock_guard lock(mutex_);
  writing_[index] = 0;
  if (stopping_ && interrupts_[index]) interrupts_[index]->Raise();
}

void FleetRun::Fail(std::size_t index, const std::string& why) {
  Update(index, [&](PrinterResult& r) {
    r.state = PrinterState::Failed;
    r.error = why;
  });
}

void FleetRun::Update(std::size_t index, const std::function<void(PrinterResult&)>& change) {
  std::lock_guard lock(mutex_);
  change(results_[index]);
}

std::vector<PrinterResult> FleetRun::Snapshot() const {
  std::lock_guard lock(mutex_);
  return results_;
}

int FleetRun::ExitStatus() const {
  if (stopping_) return 130;
  std::lock_guard lock(mutex_);
  for (const PrinterResult& result : results_) {
    if (result.state != PrinterState::Done && result.state != PrinterState::Skipped) return 3;
  }
  return 0;
}

void FleetRun::RunPrinter(std::size_t index, WaitInterrupt& interrupt) {
  WaitInterrupt::Scope scope(interrupt);
  switch (options_.kind) {
    case JobKind::Inventory: Inventory(index); break;
    case JobKind::Backup: Backup(index); break;
    case JobKind::Apply: Apply(index); break;
    case JobKind::Send: Send(index); break;
  }
  // A job that finished says so (Done); a printer whose waits were ended by a stop before that is
  // interrupted, whatever its job made of the stop.
  std::lock_guard lock(mutex_);
  PrinterResult& r = results_[index];
  const bool stopped = stopping_ && interrupt.raised();
  if (r.state == PrinterState::Running) r.state = stopped ? PrinterState::Interrupted : PrinterState::Done;
  if (stopped && r.state == PrinterState::Failed) {
    r.state = PrinterState::Interrupted;
    r.error.clear();
  }
  r.step = JobStep::None;
  interrupts_[index] = nullptr;
}

void FleetRun::Inventory(std::size_t index) {
  const PrinterEntry printer = list_.printers[index];
  PrinterSession session(net_);
  if (auto failure = session.Open(printer.address, printer.port)) return Fail(index, *failure);
  Update(index, [](PrinterResult& r) {
    r.step = JobStep::Asking;
    r.progress = 10;
  });
  const std::string version = session.Ask(kVersionRequest, EndsLine);
  // The status queries of the printer's command set, the identification among them; once a query
  // went unanswered the next ones wait only a short while, as a status reading does.
  const status::CommandSet set = printer.set == CommandSet::E ? status::CommandSet::E : status::CommandSet::Z;
  status::Report report;
  report.commandSet = set;
  bool silent = version.empty();
  const std::vector<status::Query> queries = status::QueriesOf(set);
  for (std::size_t i = 0; i < queries.size() && !WaitInterrupted(); ++i) {
    const status::Query query = queries[i];
    const std::string reply =
        session.Ask(status::RequestBytes(query), [query](std::string_view bytes) { return status::ReplyComplete(query, bytes); },
                    silent ? TimeoutMs(kAfterSilence) : -1);
    silent = !status::DecodeReply(query, reply, report);
    Update(index, [&](PrinterResult& r) { r.progress = 10 + static_cast<int>(90 * (i + 1) / queries.size()); });
  }
  const bool wentAway = session.WentAway();
  session.Close();
  Update(index, [&](PrinterResult& r) {
    r.answered = !version.empty() || report.answered;
    r.version = Trimmed(version);
    r.identity = IdentityText(report);
    r.status = StatusText(report);
    r.result = r.answered ? r.version + (r.status.empty() ? "" : "; " + r.status) : std::string();
  });
  if (version.empty() && !report.answered) {
    return Fail(index, wentAway ? "the printer closed the connection" : "the printer did not answer");
  }
  if (!WaitInterrupted()) Update(index, [](PrinterResult& r) { r.state = PrinterState::Done; });
}

void FleetRun::Backup(std::size_t index) {
  const PrinterEntry printer = list_.printers[index];
  const std::filesystem::path target = options_.target / (printer.name + "-" + TimeStamp() + ".eep");
  std::error_code code;
  if (std::filesystem::exists(target, code)) return Fail(index, "the file " + target.string() + " exists already");
  PrinterSession session(net_);
  if (auto failure = session.Open(printer.address, printer.port)) return Fail(index, *failure);
  Update(index, [](PrinterResult& r) {
    r.step = JobStep::ReadingParameters;
    r.progress = 10;
  });
  std::vector<std::string> unanswered;
  std::string error;
  const std::optional<std::string> dump = session.DumpTable(&unanswered, &error, [&](int slot) {
    if (slot % 16 == 15) Update(index, [&](PrinterResult& r) { r.progress = 10 + 85 * (slot + 1) / 256; });
  });
  session.Close(PrinterSession::CloseHow::AfterTransfer);
  if (!dump) return Fail(index, "the parameter dump failed: " + error);
  // Written as the one-printer dump is: a temporary file, renamed once complete; never over a file.
  // The temporary file is made new (never one that exists, nor through a symbolic link), so that
  // two runs in the same second cannot write into each other's file.
  const std::filesystem::path partial = PartialDumpPath(target);
  const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return Fail(index, "the file " + partial.string() + " cannot be made (it may exist already)");
  std::size_t written = 0;
  while (written < dump->size()) {
    const ssize_t n = ::write(fd, dump->data() + written, dump->size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 || written < dump->size()) {
    std::filesystem::remove(partial, code);
    return Fail(index, "the file " + partial.string() + " cannot be written");
  }
  if (!RenameWithoutReplacing(partial, target)) {
    std::filesystem::remove(partial, code);
    return Fail(index, "the file " + target.string() + " cannot be made (it may exist already)");
  }
  std::string note;
  for (const std::string& key : unanswered) note += (note.empty() ? "; named entries not answered: " : ", ") + key;
  Update(index, [&](PrinterResult& r) {
    r.state = PrinterState::Done;
    r.file = target;
    r.progress = 100;
    r.result = target.filename().string() + note;
  });
}

void FleetRun::Apply(std::size_t index) {
  const PrinterEntry printer = list_.printers[index];
  if (printer.set != options_.set) {
    Update(index, [&](PrinterResult& r) {
      r.state = PrinterState::Skipped;
      r.result = std::string("command set ") + CommandSetName(printer.set) + ", the dump file is of set " +
                 CommandSetName(options_.set);
    });
    return;
  }
  PrinterSession session(net_);
  if (auto failure = session.Open(printer.address, printer.port)) return Fail(index, *failure);
  Update(index, [](PrinterResult& r) { r.step = JobStep::Reading; });

  // Reads every slot of the set; nullopt names the first slot without an answer.
  auto readSlots = [&](std::vector<uint16_t>* values, int progressFrom, int progressTo) -> std::optional<int> {
    session.PrepareSlotReads();
    values->clear();
    for (std::size_t i = 0; i < wanted_.size(); ++i) {
      const std::optional<std::string> answer = session.SlotAnswer(wanted_[i].first);
      if (!answer) return wanted_[i].first;
      values->push_back(*FourHexDigits(answer->substr(0, 4)));
      const int progress = progressFrom + static_cast<int>((progressTo - progressFrom) * (i + 1) / wanted_.size());
      Update(index, [&](PrinterResult& r) { r.progress = progress; });
    }
    return std::nullopt;
  };

  std::vector<uint16_t> values;
  if (auto missing = readSlots(&values, 0, options_.dryRun ? 100 : 30)) {
    return Fail(index, "no answer for slot " + Hex2(*missing));
  }
  std::vector<SlotChange> changes;
  for (std::size_t i = 0; i < wanted_.size(); ++i) {
    if (values[i] != wanted_[i].second) changes.push_back({wanted_[i].first, values[i], wanted_[i].second});
  }
  Update(index, [&](PrinterResult& r) {
    r.changes = changes;
    r.result = changes.empty() ? "already as the dump file" : ChangeCount(changes.size()) + (changes.size() == 1 ? " differs" : " differ");
  });
  if (options_.dryRun || changes.empty()) {
    session.Close();
    Update(index, [](PrinterResult& r) {
      r.state = PrinterState::Done;
      r.progress = 100;
    });
    return;
  }
  // The slots whose read-back holds the new value; nullopt when they cannot be read.
  auto holdingNewValues = [&](int progress) -> std::optional<int> {
    std::vector<uint16_t> now;
    if (readSlots(&now, progress, progress)) return std::nullopt;
    int holding = 0;
    for (std::size_t i = 0; i < wanted_.size(); ++i) {
      for (const SlotChange& change : changes) holding += change.slot == wanted_[i].first && now[i] == change.to;
    }
    return holding;
  };

  // The writes: whole slots, as the one-printer write sends them, then the wait for the printer to
  // take them all. A stop lets them finish, and what they wrote is read back before the printer
  // leaves its write phase (so that the first stop does not end that reading too).
  if (!BeginWrites(index)) {
    session.Close();
    Update(index, [](PrinterResult& r) { r.state = PrinterState::Interrupted; });
    return;
  }
  Update(index, [](PrinterResult& r) { r.step = JobStep::Writing; });
  std::vector<long> sentAfter;  // bytes sent once each command was written
  long sent = 0;
  bool delivered = true;
  for (const SlotChange& change : changes) {
    const std::string command = WriteSlotCommand(Hex2(change.slot), Hex4(change.to));
    if (!session.Send(command)) {
      delivered = false;
      break;
    }
    sent += static_cast<long>(command.size());
    sentAfter.push_back(sent);
  }
  delivered = delivered && session.AwaitDelivery();

  if (!delivered) {
    // Only what the printer shows holds: after a cut, the commands it acknowledged; after a lost
    // link, what reading the slots back finds, never the count of commands sent.
    if (cut_) {
      const long unacknowledged = session.Undelivered();
      int acknowledged = 0;
      for (long after : sentAfter) acknowledged += unacknowledged >= 0 && after <= sent - unacknowledged ? 1 : 0;
      session.Close(PrinterSession::CloseHow::Hard);
      EndWrites(index);
      Update(index, [&](PrinterResult& r) {
        r.state = PrinterState::Interrupted;
        r.slotsWritten = acknowledged;
        r.writtenKnown = unacknowledged >= 0 ? PrinterResult::Known::Acknowledged : PrinterResult::Known::Unknown;
      });
      return;
    }
    session.Close(PrinterSession::CloseHow::Hard);
    std::optional<int> holding;
    if (!session.Reopen()) holding = holdingNewValues(30);
    session.Close();
    EndWrites(index);
    Update(index, [&](PrinterResult& r) {
      r.slotsWritten = holding.value_or(0);
      r.writtenKnown = holding ? PrinterResult::Known::ReadBack : PrinterResult::Known::Unknown;
    });
    return Fail(index, holding ? "the link was lost while writing; read back, " + std::to_string(*holding) + " of " +
                                     std::to_string(changes.size()) + " slots hold the new value"
                               : "the link was lost while writing; which of the " + std::to_string(changes.size()) +
                                     " slots were written is not known");
  }
  Update(index, [&](PrinterResult& r) {
    r.slotsWritten = static_cast<int>(changes.size());
    r.writtenKnown = PrinterResult::Known::Acknowledged;
    r.progress = 50;
  });
  if (stopping_) {
    // Stopped during the writes: what they wrote is read back, then the job ends without the reset.
    const std::optional<int> holding = holdingNewValues(50);
    session.Close(PrinterSession::CloseHow::AfterTransfer);
    EndWrites(index);
    Update(index, [&](PrinterResult& r) {
      r.state = PrinterState::Interrupted;
      if (holding) {
        r.slotsWritten = *holding;
        r.writtenKnown = PrinterResult::Known::ReadBack;
      }
    });
    return;
  }
  EndWrites(index);

  // As the user editor ends its write: a wait, the reset (which drops the network link), then a
  // new connection and the read-back.
  Update(index, [](PrinterResult& r) { r.step = JobStep::Resetting; });
  PauseUnlessInterrupted(pace::kAfterWrites);
  if (WaitInterrupted()) return Fail(index, "stopped before the reset");
  if (!session.Send(kResetCommand) || !session.AwaitDelivery()) return Fail(index, "the reset could not be sent");
  session.Close(PrinterSession::CloseHow::AfterTransfer);
  PauseUnlessInterrupted(pace::kAfterReset);
  Update(index, [](PrinterResult& r) {
    r.step = JobStep::ReadingBack;
    r.progress = 70;
  });
  if (auto failure = session.Reopen()) return Fail(index, "after the reset: " + *failure);
  std::vector<uint16_t> after;
  if (auto missing = readSlots(&after, 70, 100)) {
    Update(index, [](PrinterResult& r) { r.writtenKnown = PrinterResult::Known::Unknown; });
    return Fail(index, "read-back: no answer for slot " + Hex2(*missing));
  }
  session.Close();
  std::string differing;
  int holding = 0;
  for (std::size_t i = 0; i < wanted_.size(); ++i) {
    for (const SlotChange& change : changes) holding += change.slot == wanted_[i].first && after[i] == change.to;
    if (after[i] != wanted_[i].second) {
      differing += (differing.empty() ? "" : ", ") + Hex2(wanted_[i].first) + " holds " + Hex4(after[i]) +
                   " (wanted " + Hex4(wanted_[i].second) + ")";
    }
  }
  Update(index, [&](PrinterResult& r) {
    r.slotsWritten = holding;
    r.writtenKnown = PrinterResult::Known::ReadBack;
  });
  if (!differing.empty()) return Fail(index, "read-back differs: " + differing);
  Update(index, [&](PrinterResult& r) {
    r.state = PrinterState::Done;
    r.progress = 100;
    r.result = ChangeCount(changes.size()) + " written, read back";
  });
}

void FleetRun::Send(std::size_t index) {
  const PrinterEntry printer = list_.printers[index];
  PrinterSession session(net_);
  if (auto failure = session.Open(printer.address, printer.port)) return Fail(index, *failure);
  if (!BeginWrites(index)) {
    session.Close();
    Update(index, [](PrinterResult& r) { r.state = PrinterState::Interrupted; });
    return;
  }
  Update(index, [](PrinterResult& r) { r.step = JobStep::Sending; });
  // Blocks, so that progress follows what the printer took.
  constexpr std::size_t kBlock = 64 * 1024;
  bool sent = true;
  for (std::size_t offset = 0; sent && offset < sendBytes_.size(); offset += kBlock) {
    sent = session.Send(std::string_view(sendBytes_).substr(offset, kBlock));
    const long undelivered = std::max(session.Undelivered(), 0L);
    const std::size_t taken = std::min(offset + kBlock, sendBytes_.size()) - static_cast<std::size_t>(undelivered);
    Update(index, [&](PrinterResult& r) { r.progress = static_cast<int>(taken * 99 / sendBytes_.size()); });
  }
  const bool delivered = sent && session.AwaitDelivery();
  // The connection is closed before the write phase ends: a stop raised then would cut the close's
  // wait short, and a reset connection can make the printer drop data it took.
  session.Close(delivered ? PrinterSession::CloseHow::AfterTransfer : PrinterSession::CloseHow::Hard);
  EndWrites(index);
  if (!delivered) return Fail(index, "the printer did not take all the data");
  Update(index, [&](PrinterResult& r) {
    r.state = PrinterState::Done;
    r.progress = 100;
    r.result = std::to_string(sendBytes_.size()) + " bytes delivered";
  });
}

}  // namespace tw::fleet
