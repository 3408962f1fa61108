// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Jobs over a printer list: inventory, backup, apply and send, each run on every printer of the list
// concurrently (at most `jobs` printers at a time), each printer over a session of its own
// (fleet/PrinterSession.h), so that a slow, silent or dropping printer holds up and fails only itself.
//
// Stopping: the first Stop() starts no further printer and ends every printer's waits at once,
// except for a printer in the middle of its writes (apply's slot writes, send's transfer), which
// finishes them (each write is bounded by the write time-out) and then stops; a second Stop() (or
// Cut()) ends every wait at once. Every printer ends done, failed, skipped, not started or
// interrupted ("interrupted: k of n slots written" for apply).
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fleet/PrinterList.h"
#include "link/DeviceLibraries.h"

namespace tw {
class WaitInterrupt;
}

namespace tw::fleet {

enum class JobKind { Inventory, Backup, Apply, Send };
const char* JobName(JobKind kind);

inline constexpr int kDefaultJobs = 8;

struct JobOptions {
  JobKind kind = JobKind::Inventory;
  std::filesystem::path target;  // backup: the folder; apply: the dump file; send: the file
  CommandSet set = CommandSet::Z;  // apply: the command set of the dump file
  bool dryRun = false;             // apply: read and compare only
  std::optional<std::vector<int>> slotList;  // apply: the slots to bring in line (default: DefaultApplySlots)
  int jobs = kDefaultJobs;
};

// The slots apply writes by default: those the user editor of the command set shows, without its
// network rows, in the editor's order. The named entries are no slots and are never written.
std::vector<int> DefaultApplySlots(CommandSet set);
// A --slots list: hexadecimal slot addresses and ranges ("1B,20,50-5C"), and the word "user" for the
// default slots of the set; nullopt with `error` saying why.
std::optional<std::vector<int>> ParseSlotList(const std::string& text, CommandSet set, std::string* error);

// A file that the download treats as firmware or as a font: never sent to a whole list.
bool IsFirmwareOrFontFile(const std::filesystem::path& file);

enum class PrinterState { Waiting, Running, Done, Failed, Skipped, NotStarted, Interrupted };

// What a printer's job is doing while it runs.
enum class JobStep { None, Connecting, Asking, ReadingParameters, Reading, Writing, Resetting, ReadingBack, Sending };

struct SlotChange {
  int slot = 0;
  uint16_t from = 0;
  uint16_t to = 0;
};

struct PrinterResult {
  PrinterEntry printer;
  PrinterState state = PrinterState::Waiting;
  int progress = 0;     // percent
  JobStep step = JobStep::None;
  std::string result;   // the outcome in a few words
  std::string error;    // why it failed (empty otherwise)
  // inventory
  bool answered = false;
  std::string version, identity, status;
  // apply
  std::vector<SlotChange> changes;
  int slotsWritten = 0;  // apply: written (how it is known: writtenKnown)
  // apply: slotsWritten counts the slots read back with the new value, the writes the printer
  // acknowledged (no read-back was possible), or nothing is known of them.
  enum class Known { ReadBack, Acknowledged, Unknown };
  Known writtenKnown = Known::ReadBack;
  // backup
  std::filesystem::path file;
};

// "done", "failed", "skipped", "not started", "interrupted: k of n slots written", ...
std::string StateText(const PrinterResult& result);

class FleetRun {
 public:
  FleetRun(PrinterList list, JobOptions options, std::shared_ptr<NetPortApi> net = MakeTcpNetPortApi());
  ~FleetRun();  // cuts and waits for the workers
  FleetRun(const FleetRun&) = delete;
  FleetRun& operator=(const FleetRun&) = delete;

  // Checks what the job needs before any printer is touched (the dump file, the folder, the file to
  // send); a sentence when the job cannot start.
  std::optional<std::string> Prepare();
  void Start();
  void Wait();
  bool Finished() const;
  // First call: start nothing new, let writes finish. Further calls: Cut().
  void Stop();
  void Cut();
  bool Stopped() const { return stopping_; }

  std::vector<PrinterResult> Snapshot() const;
  const JobOptions& options() const { return options_; }

  // Exit status of the finished run: 0 every printer succeeded (or was skipped), 3 some failed,
  // 130 it was stopped.
  int ExitStatus() const;

 private:
  struct Slot;
  void Worker();
  void RunPrinter(std::size_t index, WaitInterrupt& interrupt);
  void Inventory(std::size_t index);
  void Backup(std::size_t index);
  void Apply(std::size_t index);
  void Send(std::size_t index);
  // Updates a printer's result under the lock.
  void Update(std::size_t index, const std::function<void(PrinterResult&)>& change);
  void Fail(std::size_t index, const std::string& why);
  // Enters a printer's write phase unless a stop came first; leaving it lets a stop end the job.
  bool BeginWrites(std::size_t index);
  void EndWrites(std::size_t index);

  PrinterList list_;
  JobOptions options_;
  std::shared_ptr<NetPortApi> net_;
  std::vector<PrinterResult> results_;
  // The interrupt of each running printer (made when it starts, so that a long list does not hold
  // a descriptor per printer); null while it waits or once it ended.
  std::vector<WaitInterrupt*> interrupts_;
  std::vector<char> writing_;
  // apply: the dump's value of each slot to bring in line; send: the file's bytes
  std::vector<std::pair<int, uint16_t>> wanted_;
  std::string sendBytes_;
  mutable std::mutex mutex_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> cut_{false};
  std::atomic<int> running_{0};
  std::vector<std::thread> workers_;
};

}  // namespace tw::fleet
