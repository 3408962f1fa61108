// SPDX-License-Identifier: GPL-3.0-or-later
// tagwright-cli's parameter commands end to end: read-slot, write-slot and dump against the virtual
// printer, their exit codes, and a dump file that restores another printer's table through `send`.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <thread>

#include "sim/VirtualPrinter.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

test::ProcessResult Cli(const std::vector<std::string>& args) {
  return test::RunProgram("tagwright-cli", args, "", 60000);
}

std::string Net(uint16_t port) { return "net:127.0.0.1:" + std::to_string(port); }

class CliParams : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = printer_.ListenTcp();
    ASSERT_NE(port_, 0);
  }
  test::ProcessResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", Net(port_)});
    return Cli(args);
  }
  // Writes get no reply: wait until the printer has taken the commands and carried out the last one
  // (it counts the bytes before it acts on them).
  void WaitForPrinter(std::size_t bytes, int slot, uint16_t value) {
    ASSERT_TRUE(printer_.WaitForReceived(bytes, 5000));
    for (int i = 0; i < 300 && printer_.Slot(slot) != value; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  sim::VirtualPrinter printer_;
  uint16_t port_ = 0;
  test::TempDir dir_;
};

TEST_F(CliParams, ReadSlotPrintsTheWordOrTheField) {
  printer_.SetSlot(0x0A, 0x0A3F);
  auto word = Run({"read-slot", "0a"});
  EXPECT_EQ(word.exitCode, 0) << word.err;
  EXPECT_EQ(word.out, "0A3F\n");
  auto field = Run({"read-slot", "0A", "8", "11"});
  EXPECT_EQ(field.exitCode, 0) << field.err;
  EXPECT_EQ(field.out, "000A\n");
  EXPECT_EQ(printer_.Received(), "~WN00@eep,r,0A~~WN00@eep,r,0A,08,11~")
      << "the address in upper case, the bits as two digits";
}

TEST_F(CliParams, WriteSlotCompletesTheValueAndWritesWordOrField) {
  printer_.SetSlot(0x1C, 0x0012);
  auto word = Run({"write-slot", "20", "f0d7"});
  EXPECT_EQ(word.exitCode, 0) << word.err;
  auto field = Run({"write-slot", "1C", "1", "08", "8"});
  EXPECT_EQ(field.exitCode, 0) << field.err;
  const std::string sent = "~WN00@eep,w,20,F0D7~~WN00@eep,w,1C,0001,08,08~";
  WaitForPrinter(sent.size(), 0x1C, 0x0112);
  EXPECT_EQ(printer_.Received(), sent);
  EXPECT_EQ(printer_.Slot(0x20), 0xF0D7);
  EXPECT_EQ(printer_.Slot(0x1C), 0x0112);
}

TEST_F(CliParams, BadArgumentsExitWithTwoAndSendNothing) {
  const std::vector<std::vector<std::string>> bad = {
      {"read-slot", "1G"},        {"read-slot", "123"},          {"read-slot", "1"},
      {"read-slot", "1B", "16", "16"}, {"read-slot", "1B", "7", "0"}, {"read-slot", "1B", "3"},
      {"read-slot", "1B", "-1", "3"}, {"write-slot", "1B", "12345"}, {"write-slot", "1B", "0x12"},
      {"write-slot", "1B", ""},   {"write-slot", "1B"},          {"dump"},
  };
  for (const auto& args : bad) {
    auto result = Run(args);
    EXPECT_EQ(result.exitCode, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "") << ": " << result.err;
    EXPECT_FALSE(result.err.empty());
  }
  EXPECT_EQ(printer_.Received(), "");
}

TEST_F(CliParams, FailuresExitWithOne) {
  sim::Faults faults;
  faults.garbage = true;
  printer_.SetFaults(faults);
  auto garbled = Run({"read-slot", "01"});
  EXPECT_EQ(garbled.exitCode, 1) << "a garbled reply is no value";
  EXPECT_EQ(garbled.out, "");

  auto toNowhere = Run({"dump", (dir_ / "no-such-folder" / "table.eep").string()});
  EXPECT_EQ(toNowhere.exitCode, 1);
  EXPECT_FALSE(toNowhere.err.empty());

  printer_.Stop();
  EXPECT_EQ(Run({"write-slot", "01", "0001"}).exitCode, 1);
  EXPECT_EQ(Run({"read-slot", "01"}).exitCode, 1);
}

// Ctrl+C and SIGTERM stop any command at once, whatever it waits for (a slow dump, a quiet listen, a
// send the printer has stopped taking): the link is closed, the exit status is 128 + the signal, and
// no partial dump is left behind.
TEST_F(CliParams, AnInterruptedCommandStopsAtOnceWithTheSignalsStatus) {
  struct Row {
    const char* command;
    sim::Faults faults;
    std::string input;
    std::size_t receivedBeforeSignal;
  };
  sim::Faults slow, taking;
  slow.replyDelayMs = 200;            // 256 slots would take about a minute
  taking.readBytesPerSecond = 20000;  // 4 MB would take minutes
  const Row rows[] = {{"dump", slow, "", 3 * 15}, {"listen", {}, "", 0}, {"send", taking, std::string(4 << 20, 's'), 1}};
  for (const Row& row : rows) {
    printer_.SetFaults(row.faults);
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
      SCOPED_TRACE(std::string(row.command) + " " + std::to_string(signal));
      printer_.ClearReceived();
      const int connections = printer_.Connections();
      const std::filesystem::path file = dir_ / "table.eep";
      std::vector<std::string> args = {"--port", Net(port_), row.command};
      if (row.command != std::string("listen")) args.push_back(row.input.empty() ? file.string() : "-");
      std::chrono::steady_clock::time_point signalled;
      auto result = test::RunProgram("tagwright-cli", args, row.input, 30000, [&](int pid) {
        for (int i = 0; i < 500 && printer_.Connections() == connections; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(printer_.WaitForReceived(row.receivedBeforeSignal, 10000));
        signalled = std::chrono::steady_clock::now();
        ::kill(pid, signal);
      });
      EXPECT_EQ(result.exitCode, status) << result.err;
      EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(10));
      EXPECT_TRUE(std::filesystem::is_empty(dir_.path())) << "no dump and no partial file";
    }
  }
}

TEST_F(CliParams, ADumpFromASilentPrinterFailsAndLeavesNoFile) {
  sim::Faults silent;
  silent.noReply = true;
  printer_.SetFaults(silent);
  auto result = Run({"dump", (dir_ / "table.eep").string()});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_EQ(printer_.Received(), "~WN00@eep,r,00~");
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(CliParams, ADumpLeavesOutAndNamesAnEntryThePrinterDoesNotAnswer) {
  printer_.DropNamedEntry("PrinterNameQesh");
  const auto file = dir_ / "table.eep";
  auto result = Run({"dump", file.string()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("PrinterNameQesh"), std::string::npos) << result.err;
  const std::string saved = test::ReadFileBytes(file);
  EXPECT_EQ(saved.substr(saved.find("~WN00@ini")), "~WN00@ini,w,PrinterName,TW Virtual 203\r\n~WN00@ini,w,TphAdj,0100\r\n");
}

TEST_F(CliParams, ADumpFileSentWithSendRestoresTheTable) {
  for (int slot = 0; slot < 256; ++slot) printer_.SetSlot(slot, static_cast<uint16_t>(slot * 0x0101 ^ 0x5A));
  printer_.SetNamedEntry("PrinterName", "Bay 2");
  printer_.SetNamedEntry("PrinterNameQesh", "B2");
  printer_.SetNamedEntry("TphAdj", "0077");
  const auto file = dir_ / "table.eep";
  auto dumped = Run({"dump", file.string()});
  ASSERT_EQ(dumped.exitCode, 0) << dumped.err;

  sim::VirtualPrinter fresh;
  const uint16_t freshPort = fresh.ListenTcp();
  ASSERT_NE(freshPort, 0);
  ASSERT_NE(fresh.Slot(0x00), printer_.Slot(0x00));
  auto sent = Cli({"--port", Net(freshPort), "send", file.string()});
  ASSERT_EQ(sent.exitCode, 0) << sent.err;
  ASSERT_TRUE(fresh.WaitForReceived(test::ReadFileBytes(file).size(), 5000));
  // The last record is taken once its line end has arrived; give the printer a moment to apply it.
  for (int i = 0; i < 100 && fresh.NamedEntry("TphAdj") != "0077"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  for (int slot = 0; slot < 256; ++slot) EXPECT_EQ(fresh.Slot(slot), printer_.Slot(slot)) << slot;
  EXPECT_EQ(fresh.NamedEntry("PrinterName"), "Bay 2");
  EXPECT_EQ(fresh.NamedEntry("PrinterNameQesh"), "B2");
  EXPECT_EQ(fresh.NamedEntry("TphAdj"), "0077");
}

TEST(CliParamsOverSerial, ReadAndWriteOverAPseudoTerminal) {
  sim::VirtualPrinter printer;
  const std::string path = printer.OpenPty();
  ASSERT_FALSE(path.empty());
  const std::string port = "serial:" + path + ":115200:8N1:sw";
  auto write = Cli({"--port", port, "write-slot", "48", "4"});
  EXPECT_EQ(write.exitCode, 0) << write.err;
  auto read = Cli({"--port", port, "read-slot", "48"});
  EXPECT_EQ(read.exitCode, 0) << read.err;
  EXPECT_EQ(read.out, "0004\n");
}

}  // namespace
}  // namespace tw
