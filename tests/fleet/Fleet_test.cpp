// SPDX-License-Identifier: GPL-3.0-or-later
// The printer list file, and the jobs over it against many virtual printers on loopback: one slow,
// one silent, one that drops the link in the middle of its writes, one with other settings.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fleet/FleetJobs.h"
#include "fleet/FleetReport.h"
#include "fleet/PrinterList.h"
#include "fleet/PrinterSession.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "params/ParamProtocol.h"
#include "sim/VirtualPrinter.h"
#include "support/TestSupport.h"

namespace tw::fleet {
namespace {

struct ListCase {
  const char* text;
  const char* error;  // empty: the list is good
  std::size_t printers;
};

TEST(PrinterList, ParsesGoodListsAndNamesTheBadLine) {
  const ListCase cases[] = {
      {"# a list\n\nline-1 10.0.0.5\nline-2\t10.0.0.6:6101\te  # E printer\r\nlab.3 printer.local z\n", "", 3},
      {"a 10.0.0.5\nb 10.0.0.6\nc\n", "line 3: a printer needs NAME", 0},
      {"a 10.0.0.5 x\n", "line 1: the command set x is not z or e", 0},
      {"a 10.0.0.5:0\n", "line 1: the port of 10.0.0.5:0", 0},
      {"a 10.0.0.5:99999\n", "line 1: the port", 0},
      {"\n\na 10.0.0.5\na 10.0.0.6\n", "line 4: the name a is already used", 0},
      {"../x 10.0.0.5\n", "line 1: the name ../x", 0},
      {"a 10.0.0.5 z extra\n", "line 1: a printer needs", 0},
  };
  for (const ListCase& c : cases) {
    std::string error;
    const std::optional<PrinterList> list = ParsePrinterList(c.text, &error);
    EXPECT_EQ(list.has_value(), std::string(c.error).empty()) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave: " << error;
    if (list) EXPECT_EQ(list->printers.size(), c.printers);
  }
  std::string error;
  const auto list = ParsePrinterList("line-2\t10.0.0.6:6101\te\n", &error);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->printers[0].port, 6101);
  EXPECT_EQ(list->printers[0].set, CommandSet::E);
  EXPECT_EQ(FormatPrinterLine(list->printers[0]), "line-2 10.0.0.6:6101 e");
}

TEST(PrinterList, AppendPrinterAddsALineAndRefusesAUsedName) {
  test::TempDir dir;
  const auto file = dir / "sub/printers.txt";
  std::string error;
  ASSERT_TRUE(AppendPrinter(file, {"p1", "10.0.0.1", 9100, CommandSet::Z}, &error)) << error;
  ASSERT_TRUE(AppendPrinter(file, {"p2", "10.0.0.2", 6101, CommandSet::E}, &error)) << error;
  EXPECT_FALSE(AppendPrinter(file, {"p1", "10.0.0.3", 9100, CommandSet::Z}, &error));
  EXPECT_NE(error.find("already used"), std::string::npos) << error;
  EXPECT_EQ(test::ReadFileBytes(file), "p1 10.0.0.1\np2 10.0.0.2:6101 e\n");
  // A file with a bad line is refused as a whole, and left as it is.
  dir.Write("bad.txt", "p1 10.0.0.1\nnot a good line at all\n");
  EXPECT_FALSE(AppendPrinter(dir / "bad.txt", {"p3", "10.0.0.3", 9100, CommandSet::Z}, &error));
  EXPECT_EQ(test::ReadFileBytes(dir / "bad.txt"), "p1 10.0.0.1\nnot a good line at all\n");
  // A link where a temporary file might be is never written through.
  const auto victim = dir.Write("victim.txt", "keep");
  ASSERT_EQ(::symlink(victim.c_str(), (dir / "sub/printers.txt.new").c_str()), 0);
  ASSERT_TRUE(AppendPrinter(file, {"p3", "10.0.0.3", 9100, CommandSet::Z}, &error)) << error;
  EXPECT_EQ(test::ReadFileBytes(victim), "keep");
}

// The slots the default apply writes: the user editor's, without its network rows.
TEST(FleetJobs, DefaultApplySlotsLeaveOutTheNetworkRows) {
  for (CommandSet set : {CommandSet::Z, CommandSet::E}) {
    const std::vector<int> slots = DefaultApplySlots(set);
    for (int network : {0x38, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40}) {
      EXPECT_EQ(std::count(slots.begin(), slots.end(), network), 0) << network;
    }
    EXPECT_EQ(std::count(slots.begin(), slots.end(), 0x1D), 1);
    EXPECT_EQ(std::count(slots.begin(), slots.end(), 0x5C), set == CommandSet::E ? 1 : 0);
  }
  std::string error;
  EXPECT_EQ(*ParseSlotList("1b,20-22", CommandSet::Z, &error), (std::vector<int>{0x1B, 0x20, 0x21, 0x22}));
  EXPECT_FALSE(ParseSlotList("1G", CommandSet::Z, &error));
  EXPECT_FALSE(ParseSlotList("22-20", CommandSet::Z, &error));
  EXPECT_TRUE(IsFirmwareOrFontFile("main.JK"));
  EXPECT_TRUE(IsFirmwareOrFontFile("song.zk"));
  EXPECT_FALSE(IsFirmwareOrFontFile("label.txt"));
}

// A printer that streams bytes without a line end holds a question only for a bounded time (a slow
// stream) and a bounded number of bytes (a fast one).
TEST(PrinterSession, AskEndsAgainstAPrinterStreamingWithoutLineEnd) {
  for (std::size_t piece : {16, 4096}) {
    sim::VirtualPrinter printer;
    const int port = printer.ListenTcp("127.0.0.1", 0);
    std::atomic<bool> streaming{true}, streamEnded{false};
    PrinterSession session(MakeTcpNetPortApi());
    ASSERT_FALSE(session.Open("127.0.0.1", port));
    std::thread stream([&] {
      for (int i = 0; streaming && i < 4000; ++i) {  // about 20 s
        printer.SendUnsolicited(std::string(piece, 'x'));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      streamEnded = true;
    });
    const std::string reply = session.Ask("~WN01@version~\r\n", [](std::string_view) { return false; });
    EXPECT_FALSE(streamEnded) << piece;
    streaming = false;
    stream.join();
    EXPECT_LE(reply.size(), kMaxAnswerBytes) << piece;
  }
}

// A list of many printers holds no descriptor per printer while its printers wait.
TEST(FleetJobs, AWaitingListHoldsNoDescriptorPerPrinter) {
  auto openDescriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  const auto before = openDescriptors();
  PrinterList list;
  list.printers.assign(500, {"p", "127.0.0.1", 9100, CommandSet::Z});
  FleetRun run(list, {.kind = JobKind::Inventory});
  EXPECT_LT(openDescriptors() - before, 10);
}

// Printers on loopback, each with its role.
class FleetOnLoopback : public ::testing::Test {
 protected:
  static constexpr int kPrinters = 12;
  enum Role { kSlow = 0, kSilent = 1, kDropping = 2, kDifferent = 3, kReverting = 4 };
  const std::vector<std::pair<int, uint16_t>> kDifferentSlots = {{0x0F, 0x0007}, {0x1D, 0xE012}, {0x48, 0x0004}};

  void SetUp() override {
    ResetLink(RealDeviceLibraries());
    std::string text;
    for (int i = 0; i < kPrinters; ++i) {
      printers_.push_back(std::make_unique<sim::VirtualPrinter>());
      sim::Faults faults;
      if (i == kSlow) faults.readBytesPerSecond = 20000;
      if (i == kSilent) faults.noReply = true;
      printers_[i]->SetFaults(faults);
      ports_.push_back(printers_[i]->ListenTcp("127.0.0.1", 0));
      ASSERT_NE(ports_.back(), 0);
      text += "p" + std::to_string(i) + " 127.0.0.1:" + std::to_string(ports_.back()) + "\n";
    }
    // The one with other settings: in user slots, in a network slot and in its name.
    for (auto [slot, value] : kDifferentSlots) printers_[kDifferent]->SetSlot(slot, value);
    printers_[kDifferent]->SetSlot(0x38, 0x1234);
    printers_[kDifferent]->SetNamedEntry("PrinterName", "Line 7");
    std::string error;
    list_ = *ParsePrinterList(text, &error);
  }
  void TearDown() override { ResetLink(RealDeviceLibraries()); }

  std::vector<PrinterResult> Run(JobOptions options) {
    FleetRun run(list_, options);
    EXPECT_FALSE(run.Prepare());
    run.Start();
    run.Wait();
    exitStatus_ = run.ExitStatus();
    return run.Snapshot();
  }

  // The one-printer dump of a printer, through the process-wide link as the CLI makes it.
  std::string SinglePrinterDump(int i, const std::filesystem::path& file) {
    LinkState& link = Link();
    link.Set(LinkState::Text::NetworkAddress, "127.0.0.1");
    link.networkPort = ports_[i];
    EXPECT_TRUE(OpenNetworkLink());
    link.currentKind = PortKind::Network;
    link.open = true;
    EXPECT_TRUE(SaveParameterDump(file, true));
    CloseCurrentPort(NetworkClose::AfterTransfer);
    return test::ReadFileBytes(file);
  }

  std::vector<std::unique_ptr<sim::VirtualPrinter>> printers_;
  std::vector<uint16_t> ports_;
  PrinterList list_;
  int exitStatus_ = -1;
  test::TempDir dir_;
};

TEST_F(FleetOnLoopback, InventoryListsEveryPrinterAndTheSilentOneAsNotAnswering) {
  const std::vector<PrinterResult> results = Run({.kind = JobKind::Inventory, .jobs = kPrinters});
  ASSERT_EQ(results.size(), static_cast<std::size_t>(kPrinters));
  for (int i = 0; i < kPrinters; ++i) {
    EXPECT_EQ(results[i].answered, i != kSilent) << i;
    if (i != kSilent) EXPECT_FALSE(results[i].version.empty() || results[i].identity.empty()) << i;
    if (i != kSilent) EXPECT_EQ(results[i].status, "ok") << i;
  }
  EXPECT_EQ(exitStatus_, 3);
  const std::string json = FormatReport(results, JobKind::Inventory, ReportFormat::Json);
  EXPECT_NE(json.find("\"answered\": false"), std::string::npos);
}

// A stop while a printer's question is unanswered: that printer is interrupted (not done, though
// its version came), the others were never started.
TEST_F(FleetOnLoopback, AStopReportsTheRunningPrinterInterruptedAndTheRestNotStarted) {
  sim::Faults delayed;
  delayed.replyDelayMs = 300;
  printers_[0]->SetFaults(delayed);
  FleetRun run(list_, {.kind = JobKind::Inventory, .jobs = 1});
  ASSERT_FALSE(run.Prepare());
  run.Start();
  // The version request and then the first status request.
  ASSERT_TRUE(printers_[0]->WaitForReceived(17, 20000));
  run.Stop();
  run.Wait();
  const std::vector<PrinterResult> results = run.Snapshot();
  EXPECT_EQ(results[0].state, PrinterState::Interrupted) << StateText(results[0]);
  for (int i = 1; i < kPrinters; ++i) EXPECT_EQ(results[i].state, PrinterState::NotStarted) << i;
  EXPECT_EQ(run.ExitStatus(), 130);
}

TEST_F(FleetOnLoopback, ApplyShowsThenWritesExactlyTheDifferingSlotsAndReadsThemBack) {
  const auto dumpFile = dir_ / "reference.eep";
  SinglePrinterDump(kPrinters - 1, dumpFile);
  // The dropping one differs in five slots and drops the link inside its third write: after the
  // read of the slots (15 bytes a request), two writes of 20 bytes and five bytes more.
  const std::vector<int> slots = DefaultApplySlots(CommandSet::Z);
  const std::vector<int> dropped = {slots[1], slots[2], slots[3], slots[4], slots[5]};
  for (int slot : dropped) printers_[kDropping]->SetSlot(slot, 0x0ABC);
  sim::Faults drop;
  drop.disconnectAfterBytes = static_cast<long long>(slots.size()) * 15 + 2 * 20 + 5;
  printers_[kDropping]->SetFaults(drop);
  // One more differs as the one with other settings does, and takes one slot back after its reset.
  for (auto [slot, value] : kDifferentSlots) printers_[kReverting]->SetSlot(slot, value);
  test::ScopedFastPacer noFixedWaits(0.0, 1.0);

  const std::vector<PrinterResult> dry = Run({.kind = JobKind::Apply, .target = dumpFile, .dryRun = true, .jobs = 8});
  std::string expectedLines;
  for (auto [slot, value] : kDifferentSlots) {
    char line[40];
    std::snprintf(line, sizeof line, "p3 %02X %04X -> %04X\n", slot, value, printers_[0]->Slot(slot));
    expectedLines += line;
  }
  std::vector<PrinterResult> differentOnly = {dry[kDifferent]};
  EXPECT_EQ(ChangeLines(differentOnly), expectedLines);
  EXPECT_EQ(dry[kDropping].changes.size(), dropped.size());
  EXPECT_EQ(printers_[kDifferent]->Slot(0x0F), 0x0007);  // nothing written
  EXPECT_EQ(dry[kSilent].state, PrinterState::Failed);

  printers_[kReverting]->ClearReceived();
  std::thread revert([&] {
    // The slot reads, three writes of 20 bytes and the reset.
    if (printers_[kReverting]->WaitForReceived(slots.size() * 15 + 3 * 20 + 3, 60000)) {
      printers_[kReverting]->SetSlot(kDifferentSlots[0].first, kDifferentSlots[0].second);
    }
  });
  const std::vector<PrinterResult> applied = Run({.kind = JobKind::Apply, .target = dumpFile, .jobs = 8});
  revert.join();
  EXPECT_EQ(applied[kReverting].state, PrinterState::Failed);
  EXPECT_EQ(applied[kReverting].slotsWritten, 2) << applied[kReverting].error;
  EXPECT_EQ(applied[kDifferent].state, PrinterState::Done) << applied[kDifferent].error;
  for (auto [slot, value] : kDifferentSlots) EXPECT_EQ(printers_[kDifferent]->Slot(slot), printers_[0]->Slot(slot));
  EXPECT_EQ(printers_[kDifferent]->Slot(0x38), 0x1234);  // a network slot stays
  EXPECT_EQ(printers_[kDifferent]->NamedEntry("PrinterName"), "Line 7");
  // The dropping printer: failed, and only what its slots show counts as written.
  EXPECT_EQ(applied[kDropping].state, PrinterState::Failed);
  int holding = 0;
  for (int slot : dropped) holding += printers_[kDropping]->Slot(slot) != 0x0ABC;
  EXPECT_EQ(holding, 2);
  EXPECT_EQ(applied[kDropping].slotsWritten, holding) << applied[kDropping].error;
  EXPECT_EQ(applied[kSlow].state, PrinterState::Done);
  EXPECT_EQ(exitStatus_, 3);
}

TEST_F(FleetOnLoopback, BackupFilesAreByteIdenticalToSinglePrinterDumps) {
  const std::vector<PrinterResult> results = Run({.kind = JobKind::Backup, .target = dir_.path(), .jobs = 8});
  for (int i = 0; i < kPrinters; ++i) {
    if (i == kSilent) {
      EXPECT_EQ(results[i].state, PrinterState::Failed);
      continue;
    }
    ASSERT_EQ(results[i].state, PrinterState::Done) << i << " " << results[i].error;
    EXPECT_EQ(results[i].file.filename().string().rfind("p" + std::to_string(i) + "-", 0), 0u);
    EXPECT_EQ(test::ReadFileBytes(results[i].file), SinglePrinterDump(i, dir_ / "single.eep")) << i;
  }
  // The finished files (and the single-printer dump), no partial file of the silent printer.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) ++files;
  EXPECT_EQ(files, static_cast<std::size_t>(kPrinters - 1) + 1);
}

// A backup never writes into a file that is there already, nor through a link at its name.
TEST_F(FleetOnLoopback, BackupNeverWritesThroughAnExistingFile) {
  list_.printers.resize(1);
  const auto victim = dir_.Write("victim.txt", "keep");
  for (std::time_t t = std::time(nullptr), end = t + 60; t < end; ++t) {
    std::tm local{};
    localtime_r(&t, &local);
    char name[64];
    std::strftime(name, sizeof name, "p0-%Y%m%d-%H%M%S.eep.partial", &local);
    ASSERT_EQ(::symlink(victim.c_str(), (dir_ / name).c_str()), 0);
  }
  const std::vector<PrinterResult> results = Run({.kind = JobKind::Backup, .target = dir_.path(), .jobs = 1});
  EXPECT_EQ(results[0].state, PrinterState::Failed);
  EXPECT_EQ(test::ReadFileBytes(victim), "keep");
}

}  // namespace
}  // namespace tw::fleet
