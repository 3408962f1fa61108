// SPDX-License-Identifier: GPL-3.0-or-later
// The list commands of tagwright-cli as a user runs them: Ctrl+C during a job, a bad list file,
// `list add`.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "sim/VirtualPrinter.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

struct InterruptRow {
  const char* name;
  std::size_t fileBytes;  // sent to a printer that takes 20000 bytes a second
  int signals;
  const char* firstPrinterState;
};

class CliFleetInterrupt : public ::testing::TestWithParam<InterruptRow> {};

// One job at a time: the slow printer is in the middle of its writes when Ctrl+C comes, the others
// have not started.
TEST_P(CliFleetInterrupt, StartsNothingNewLetsWritesFinishOrCutsOnTheSecond) {
  const InterruptRow& row = GetParam();
  test::TempDir dir;
  std::vector<std::unique_ptr<sim::VirtualPrinter>> printers;
  std::string list;
  for (int i = 0; i < 3; ++i) {
    printers.push_back(std::make_unique<sim::VirtualPrinter>());
    sim::Faults faults;
    if (i == 0) faults.readBytesPerSecond = 20000;
    printers[i]->SetFaults(faults);
    list += "p" + std::to_string(i) + " 127.0.0.1:" + std::to_string(printers[i]->ListenTcp()) + "\n";
  }
  const auto listFile = dir.Write("printers.txt", list);
  const auto file = dir.Write("label.txt", std::string(row.fileBytes, 'x'));
  const test::ProcessResult result = test::RunProgramWatching(
      "tagwright-cli", {"--printers", listFile.string(), "--jobs", "1", "send", file.string()}, 60000,
      [&](int pid, const std::function<std::string()>& errSoFar) {
        ASSERT_TRUE(printers[0]->WaitForReceived(1, 20000));
        for (int i = 0; i < row.signals; ++i) {
          // A second signal only once the first was taken, so that the two cannot merge into one.
          for (int wait = 0; i && errSoFar().find("Stopping") == std::string::npos && wait < 2000; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
          ::kill(pid, SIGINT);
        }
      });
  EXPECT_EQ(result.exitCode, 130) << result.err;
  std::istringstream lines(result.out);
  std::string header, p0, p1, p2;
  std::getline(lines, header);
  std::getline(lines, p0);
  std::getline(lines, p1);
  std::getline(lines, p2);
  EXPECT_NE(p0.find(row.firstPrinterState), std::string::npos) << result.out;
  EXPECT_NE(p1.find("not started"), std::string::npos) << result.out;
  EXPECT_NE(p2.find("not started"), std::string::npos) << result.out;
  EXPECT_EQ(printers[1]->Connections(), 0);
  if (row.signals == 1) EXPECT_TRUE(printers[0]->WaitForReceived(row.fileBytes, 1000));
}

INSTANTIATE_TEST_SUITE_P(Signals, CliFleetInterrupt,
                         ::testing::Values(InterruptRow{"OnceWritesFinish", 30000, 1, "done"},
                                           InterruptRow{"TwiceCuts", 2000000, 2, "interrupted"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliFleet, ABadListFileIsRefusedAndListAddAppends) {
  test::TempDir dir;
  const auto bad = dir.Write("bad.txt", "a 10.0.0.1\nb 10.0.0.2 q\n");
  test::ProcessResult result = test::RunProgram("tagwright-cli", {"--printers", bad.string(), "inventory"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("line 2: the command set q is not z or e"), std::string::npos) << result.err;
  const auto list = dir / "printers.txt";
  result = test::RunProgram("tagwright-cli", {"--printers", list.string(), "list", "add", "left", "10.0.0.7:6101", "e"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  result = test::RunProgram("tagwright-cli", {"--printers", list.string(), "list", "add", "x", "10.0.0.8", "w"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(test::ReadFileBytes(list), "left 10.0.0.7:6101 e\n");
  // A list file that begins with a UTF-8 byte-order mark is read like any other.
  const auto marked = dir.Write("marked.txt", "\xEF\xBB\xBF" "a 10.0.0.1\n");
  result = test::RunProgram("tagwright-cli", {"--printers", marked.string(), "list", "add", "b", "10.0.0.2"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // An empty list: the job cannot start. --json with another format: wrong usage.
  const auto empty = dir.Write("empty.txt", "# nothing yet\n");
  EXPECT_EQ(test::RunProgram("tagwright-cli", {"--printers", empty.string(), "inventory"}).exitCode, 1);
  EXPECT_EQ(test::RunProgram("tagwright-cli", {"--printers", empty.string(), "--json", "--format", "csv", "inventory"}).exitCode, 2);
  // Firmware is never sent to a list.
  const auto firmware = dir.Write("main.jk", "firmware");
  result = test::RunProgram("tagwright-cli", {"--printers", list.string(), "send", firmware.string()});
  EXPECT_EQ(result.exitCode, 1);
}

// A dry run's change lines stay out of a CSV report (on standard error) and come before a table.
TEST(CliFleet, ADryRunKeepsItsChangeLinesOutOfACsvReport) {
  test::TempDir dir;
  sim::VirtualPrinter printer;
  const auto list = dir.Write("printers.txt", "p0 127.0.0.1:" + std::to_string(printer.ListenTcp()) + "\n");
  ASSERT_EQ(test::RunProgram("tagwright-cli", {"--printers", list.string(), "backup", dir.path().string()}).exitCode, 0);
  std::filesystem::path dump;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    if (entry.path().extension() == ".eep") dump = entry.path();
  }
  printer.SetSlot(0x0F, 0x0007);
  for (const char* format : {"csv", "table"}) {
    const test::ProcessResult result = test::RunProgram(
        "tagwright-cli", {"--printers", list.string(), "--format", format, "apply", "--dry-run", dump.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const bool csv = std::string(format) == "csv";
    EXPECT_EQ(result.out.find("p0 0F 0007 -> "), csv ? std::string::npos : 0u) << result.out;
    EXPECT_EQ(result.err.find("p0 0F 0007 -> "), csv ? 0u : std::string::npos) << result.err;
  }
}

}  // namespace
}  // namespace tw
