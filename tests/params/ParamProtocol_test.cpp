// SPDX-License-Identifier: GPL-3.0-or-later
// The stored-parameter protocol: its messages byte for byte, the value conversions, and reads, writes,
// named entries and whole-table dumps against the virtual printer over loopback TCP, a
// pseudo-terminal opened as a serial port, and a pseudo-terminal opened as a parallel port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "params/ParamProtocol.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

// ---- Messages and conversions ----

TEST(ParamMessages, EveryMessageByteForByte) {
  struct Row {
    std::string built, expected;
  };
  const Row rows[] = {
      {ReadSlotRequest("1B"), "~WN00@eep,r,1B~"},
      {ReadFieldRequest("01", "00", "07"), "~WN00@eep,r,01,00,07~"},
      {WriteSlotCommand("20", "F0D7"), "~WN00@eep,w,20,F0D7~"},
      {WriteFieldCommand("1C", "0001", "08", "08"), "~WN00@eep,w,1C,0001,08,08~"},
      {NamedEntryRequest("TphAdj"), "~WN00@ini,r,TphAdj\r\n"},
      // Only the first two, two and four characters of the arguments are used.
      {ReadSlotRequest("1B-extra"), "~WN00@eep,r,1B~"},
      {WriteFieldCommand("1Cxx", "00012", "089", "08\r\n"), "~WN00@eep,w,1C,0001,08,08~"},
  };
  for (const Row& row : rows) EXPECT_EQ(row.built, row.expected);
  EXPECT_EQ(ReadSlotRequest("00").size(), 15u);
  EXPECT_EQ(ReadFieldRequest("01", "00", "07").size(), 21u);
  EXPECT_EQ(WriteSlotCommand("00", "0000").size(), 20u);
  EXPECT_EQ(WriteFieldCommand("1C", "0001", "08", "08").size(), 26u);
  EXPECT_EQ(NamedEntryRequest("PrinterNameQesh").size(), 14u + 15u);
}

TEST(ParamConversions, ParseSlotValueTakesFourHexDigits) {
  EXPECT_EQ(ParseSlotValue("0A3F"), 2623);
  EXPECT_EQ(ParseSlotValue("0a3f\r\n"), 2623);
  EXPECT_EQ(ParseSlotValue("FFFF"), 65535);
  EXPECT_EQ(ParseSlotValue("0000"), 0);
  EXPECT_EQ(ParseSlotValue("12345"), 0x1234) << "only the first four characters count";
  for (std::string_view bad : {"", "0A3", "0G00", " 0A3", "#?*\xFE"}) {
    EXPECT_EQ(ParseSlotValue(bad), 0) << bad;
  }
}

TEST(ParamConversions, DecimalToSlotText) {
  EXPECT_EQ(DecimalToSlotText("9100"), "238C");
  EXPECT_EQ(DecimalToSlotText("0"), "0000");
  EXPECT_EQ(DecimalToSlotText("192"), "00C0");
  EXPECT_EQ(DecimalToSlotText("65535"), "FFFF");
  for (std::string_view bad : {"", "65536", "99999", "-1", "+1", "12a", " 1", "100000", "0x10"}) {
    EXPECT_EQ(DecimalToSlotText(bad), std::nullopt) << bad;
  }
}

TEST(ParamConversions, SlotValueTextCompletesOrRefuses) {
  EXPECT_EQ(SlotValueText("1"), "0001");
  EXPECT_EQ(SlotValueText("a3"), "00A3");
  EXPECT_EQ(SlotValueText("E01"), "0E01");
  EXPECT_EQ(SlotValueText("F0D7"), "F0D7");
  for (std::string_view bad : {"", "12345", "0x1", "12 ", "G", "-1", "1,2"}) {
    EXPECT_EQ(SlotValueText(bad), std::nullopt) << bad;
  }
}

// ---- Against the virtual printer ----

// The pseudo-terminal also stands in for a parallel port: the link then uses its parallel reads.
using test::Transport;

std::string Name(const ::testing::TestParamInfo<Transport>& info) { return test::TransportName(info.param); }

std::string Hex2(int n) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", n);
  return text;
}

uint16_t Pattern(int slot) { return static_cast<uint16_t>((slot * 0x9E37 + 0x1D) & 0xFFFF); }

class ParamProtocolSim : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
    ASSERT_TRUE(test::ConnectLink(printer_, GetParam()));
  }
  void TearDown() override {
    ResetLink({});
    Link().readOnce = false;
  }

  // Writes get no reply: wait until the printer has taken every byte and carried out the last command
  // (it counts the bytes before it acts on them).
  void WaitForPrinter(std::size_t bytes, int slot, uint16_t value) {
    ASSERT_TRUE(printer_.WaitForReceived(bytes, 3000));
    for (int i = 0; i < 300 && printer_.Slot(slot) != value; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  test::TempDir dir_;
  // Sleeps at a tenth of their length (the printer still has time to answer), time-outs at a twentieth.
  test::ScopedFastPacer pacer_{0.1, 0.05};
  sim::VirtualPrinter printer_;
};

TEST_P(ParamProtocolSim, ReadsGiveTheSlotAndTheFieldInBothReadModes) {
  printer_.SetSlot(0x0A, 0x0A3F);
  for (bool once : {true, false}) {
    SCOPED_TRACE(once ? "read-once" : "normal");
    Link().readOnce = once;
    printer_.ClearReceived();
    Link().serialWriteTimeoutMs = 1;
    const auto word = ReadParameterSlot("0A");
    ASSERT_EQ(word, "0A3F");
    EXPECT_EQ(ParseSlotValue(*word), 2623);
    EXPECT_EQ(Link().serialWriteTimeoutMs, kParamReadWriteTimeoutMs);
    EXPECT_EQ(ReadParameterField("0A", "08", "11"), "000A") << "bits 8 to 11 of 0A3F, right-aligned";
    EXPECT_EQ(printer_.Received(), "~WN00@eep,r,0A~~WN00@eep,r,0A,08,11~");
  }
}

TEST_P(ParamProtocolSim, AGarbledOrMissingReplyIsAFailedRead) {
  sim::Faults faults;
  faults.garbage = true;
  printer_.SetFaults(faults);
  Link().readOnce = true;
  EXPECT_EQ(ReadParameterSlot("01"), std::nullopt);
  EXPECT_EQ(ReadParameterField("01", "00", "07"), std::nullopt);

  faults.garbage = false;
  faults.noReply = true;
  printer_.SetFaults(faults);
  EXPECT_EQ(ReadParameterSlot("01"), std::nullopt);
}

TEST_P(ParamProtocolSim, WritesAndRequestsSendTheirBytesAtTheShortTimeOut) {
  printer_.SetSlot(0x1C, 0x0012);
  Link().serialWriteTimeoutMs = 1;
  ASSERT_TRUE(WriteParameterSlot("20", "F0D7"));
  EXPECT_EQ(Link().serialWriteTimeoutMs, kParamRequestTimeoutMs);
  ASSERT_TRUE(WriteParameterField("1C", "0001", "08", "08"));
  ASSERT_TRUE(RequestParameterSlot("01"));
  ASSERT_TRUE(RequestParameterField("01", "00", "07"));
  const std::string sent = "~WN00@eep,w,20,F0D7~~WN00@eep,w,1C,0001,08,08~~WN00@eep,r,01~~WN00@eep,r,01,00,07~";
  WaitForPrinter(sent.size(), 0x1C, 0x0112);
  EXPECT_EQ(printer_.Received(), sent);
  EXPECT_EQ(printer_.Slot(0x20), 0xF0D7);
  EXPECT_EQ(printer_.Slot(0x1C), 0x0112) << "the field write keeps the slot's other bits";
}

// A named entry is read to its line end, also when it comes in pieces slower than one read waits;
// an answer whose line end never comes is cut, and a printer that does not answer gives none.
TEST_P(ParamProtocolSim, ANamedEntryComesWithItsLineEnd) {
  using State = NamedEntryAnswer::State;
  printer_.SetNamedEntry("PrinterName", "Dock 7 at the west gate");
  struct Row {
    sim::Faults faults;
    double timeoutScale;
    State state;
    std::string text;
  } rows[] = {
      {{}, 0.05, State::Complete, "Dock 7 at the west gate\r\n"},
      {{.splitPieceBytes = 2, .splitGapMs = 150}, 1.0, State::Complete, "Dock 7 at the west gate\r\n"},
      {{.garbage = true}, 0.01, State::Cut, "#?*\xFE!%#?*\xFE!%#?*\xFE!%#?*\xFE!%#"},
      {{.noReply = true}, 0.01, State::None, ""},
  };
  Link().readOnce = true;
  for (const Row& row : rows) {
    printer_.SetFaults(row.faults);
    printer_.ClearReceived();
    test::ScopedFastPacer waits(0.1, row.timeoutScale);
    const NamedEntryAnswer answer = ReadNamedEntry("PrinterName");
    EXPECT_EQ(answer.state, row.state) << row.text;
    EXPECT_EQ(answer.text, row.text);
    EXPECT_EQ(printer_.Received(), "~WN00@ini,r,PrinterName\r\n");
  }
}

TEST_P(ParamProtocolSim, ADumpHoldsEverySlotAndTheNamedEntries) {
  for (int slot = 0; slot < 256; ++slot) printer_.SetSlot(slot, Pattern(slot));
  printer_.SetNamedEntry("PrinterName", "Line 3 left");
  printer_.SetNamedEntry("PrinterNameQesh", "L3L");
  printer_.SetNamedEntry("TphAdj", "0042");
  const auto file = dir_.Write("table.eep", "old content that is replaced");

  std::vector<std::string> unanswered;
  ASSERT_TRUE(WriteParameterDump(file, true, &unanswered));
  EXPECT_FALSE(Link().readOnce) << "read-once mode is cleared after the dump";
  EXPECT_TRUE(unanswered.empty());

  std::string expected;
  for (int slot = 0; slot < 256; ++slot) {
    char record[32];
    std::snprintf(record, sizeof record, "~WN00@eep,w,%02X,%04X\r\n", slot, Pattern(slot));
    expected += record;
  }
  const std::string slotRecords = expected;
  expected += "~WN00@ini,w,PrinterName,Line 3 left\r\n~WN00@ini,w,PrinterNameQesh,L3L\r\n~WN00@ini,w,TphAdj,0042\r\n";
  EXPECT_EQ(test::ReadFileBytes(file), expected);

  // Entries the printer does not answer are left out and named; the others keep their records whole.
  test::ScopedFastPacer faster(0.1, 0.01);
  printer_.DropNamedEntry("PrinterNameQesh");
  ASSERT_TRUE(WriteParameterDump(file, true, &unanswered));
  EXPECT_EQ(unanswered, std::vector<std::string>{"PrinterNameQesh"});
  EXPECT_EQ(test::ReadFileBytes(file),
            slotRecords + "~WN00@ini,w,PrinterName,Line 3 left\r\n~WN00@ini,w,TphAdj,0042\r\n");

  const auto dump = DumpFile::Open(file);
  ASSERT_TRUE(dump);
  for (int slot = 0; slot < 256; ++slot) {
    char value[8];
    std::snprintf(value, sizeof value, "%04X", Pattern(slot));
    EXPECT_EQ(dump->FindSlot(Hex2(slot)), value) << Hex2(slot);
  }
}

TEST_P(ParamProtocolSim, ADumpWithoutReadOnceLeavesTheModeAlone) {
  Link().readOnce = true;
  ASSERT_TRUE(WriteParameterDump(dir_ / "a.eep", false));
  EXPECT_TRUE(Link().readOnce);
}

INSTANTIATE_TEST_SUITE_P(Transports, ParamProtocolSim,
                         ::testing::Values(Transport::Tcp, Transport::Pty, Transport::PtyAsParallel), Name);

TEST(ParamProtocolClosed, NothingOpenFailsEveryOperationAndClearsReadOnce) {
  test::TempDir dir;
  SetProgramDir(dir.path());
  test::ScopedFastPacer pacer;
  ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  for (PortKind kind : {PortKind::Network, PortKind::Serial, PortKind::Parallel}) {
    SCOPED_TRACE(static_cast<int>(kind));
    Link().currentKind = kind;
    EXPECT_EQ(ReadParameterSlot("01"), std::nullopt);
    EXPECT_FALSE(WriteParameterSlot("01", "0001"));
    EXPECT_FALSE(RequestParameterField("01", "00", "07"));
    const auto file = dir / "dump.eep";
    EXPECT_FALSE(WriteParameterDump(file, true));
    EXPECT_FALSE(Link().readOnce) << "read-once mode is cleared on failure too";
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(test::ReadFileBytes(file).find("~WN00@ini"), std::string::npos)
        << "a failed dump stops before the named entries";
  }
  EXPECT_FALSE(WriteParameterDump(dir / "no-such-folder" / "dump.eep", false));
  ResetLink({});
}

}  // namespace
}  // namespace tw
