// SPDX-License-Identifier: GPL-3.0-or-later
// The data transfer operations against the virtual printer, over loopback TCP and over a
// pseudo-terminal opened as a serial port: exact bytes, the read modes, long replies, the parameter
// table dump, and printers that stay silent, answer in pieces, answer garbage or drop the link.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>
#include <algorithm>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

// The pseudo-terminal also stands in for a parallel port: the link then uses its parallel reads.
using test::Transport;

std::string Name(const ::testing::TestParamInfo<Transport>& info) { return test::TransportName(info.param); }

class DataTransferSim : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
    ASSERT_TRUE(test::ConnectLink(printer_, GetParam()));
  }
  void TearDown() override { ResetLink({}); }

  Reply Ask(const std::string& request) {
    EXPECT_TRUE(SendToPrinter(request));
    return ReadReply();
  }

  test::TempDir dir_;
  // Sleeps at a tenth of their length, time-outs at a twentieth: a silent printer costs little.
  test::ScopedFastPacer pacer_{0.1, 0.05};
  sim::VirtualPrinter printer_;
};

TEST_P(DataTransferSim, BytesArriveExactly) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  ASSERT_TRUE(SendToPrinter(all));
  ASSERT_TRUE(SendToPrinter("^XA^XZ"));
  ASSERT_TRUE(printer_.WaitForReceived(all.size() + 6, 3000));
  EXPECT_EQ(printer_.Received(), all + "^XA^XZ");
}

TEST_P(DataTransferSim, ReadReplyInNormalAndReadOnceMode) {
  printer_.SetSlot(0x01, 0x0085);
  printer_.SetSlot(0x0C, 0xFFF6);
  Reply normal = Ask("~WN00@eep,r,01~");
  EXPECT_EQ(normal.text, "0085\r\n");
  EXPECT_EQ(normal.count, 6);

  Link().readOnce = true;
  Reply once = Ask("~WN00@eep,r,0C~");
  EXPECT_EQ(once.text, "FFF6\r\n");
  Reply field = Ask("~WN00@eep,r,0C,00,03~");
  EXPECT_EQ(field.text, "0006\r\n");
}

TEST_P(DataTransferSim, AReplyOf3000BytesIsCutAt1024) {
  std::string big;
  for (int i = 0; i < 3000; ++i) big += static_cast<char>('A' + i % 26);
  ASSERT_FALSE(Ask("~WN01@version~\r\n").text.empty()) << "the printer has taken up the link";
  printer_.SendUnsolicited(big);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  Reply reply = ReadReply();
  EXPECT_EQ(reply.count, 1024);
  EXPECT_EQ(reply.text, big.substr(0, 1024));
}

TEST_P(DataTransferSim, DumpOf256Slots) {
  for (int slot = 0; slot < 256; ++slot) printer_.SetSlot(slot, static_cast<uint16_t>(slot * 257 ^ 0x1234));
  std::ostringstream dump;
  ASSERT_TRUE(DumpParameterTable(dump));
  std::istringstream lines(dump.str());
  std::string line;
  int slot = 0;
  while (std::getline(lines, line)) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "~WN00@eep,w,%02X,%04X\r", slot, (slot * 257 ^ 0x1234) & 0xFFFF);
    EXPECT_EQ(line, expected);
    ++slot;
  }
  EXPECT_EQ(slot, 256);
}

TEST_P(DataTransferSim, ASilentPrinterGivesEmptyRepliesWithinTheTimeOuts) {
  sim::Faults faults;
  faults.noReply = true;
  printer_.SetFaults(faults);
  auto start = std::chrono::steady_clock::now();
  Reply reply = Ask("~WN01@version~\r\n");
  EXPECT_EQ(reply.count, 0);
  EXPECT_TRUE(reply.text.empty());
  EXPECT_TRUE(ReadAvailable().text.empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

// A slot without an answer of four hexadecimal digits and CR LF fails the dump at that slot: a
// silent printer is not asked 256 times, and no record is written for a missing answer.
TEST_P(DataTransferSim, ADumpEndsAtTheFirstSlotWithoutAValidAnswer) {
  for (const bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "silent" : "garbage");
    sim::Faults faults;
    (silent ? faults.noReply : faults.garbage) = true;
    printer_.SetFaults(faults);
    printer_.ClearReceived();
    const int readTimeoutMs = Link().networkReadTimeoutMs;
    std::ostringstream dump;
    EXPECT_FALSE(DumpParameterTable(dump));
    EXPECT_TRUE(dump.str().empty()) << dump.str();
    EXPECT_EQ(Link().networkReadTimeoutMs, readTimeoutMs) << "the dump's short read time-out ends with it";
    EXPECT_EQ(printer_.Received(), "~WN00@eep,r,00~");
  }
}

// Input left over from an earlier exchange is read away, so that a read of one reply takes the
// answer to its own request.
TEST_P(DataTransferSim, StaleInputIsDiscardedBeforeARequest) {
  printer_.SetSlot(0x01, 0x0085);
  ASSERT_FALSE(Ask("~WN01@version~\r\n").text.empty()) << "the printer has taken up the link";
  printer_.SendUnsolicited("0012\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  DiscardPendingInput();
  Link().readOnce = true;
  EXPECT_EQ(Ask("~WN00@eep,r,01~").text, "0085\r\n");
}

TEST_P(DataTransferSim, AReplyInPiecesIsGatheredWhole) {
  sim::Faults faults;
  faults.splitPieceBytes = 2;
  faults.splitGapMs = 5;
  printer_.SetFaults(faults);
  printer_.SetSlot(0x20, 0xF0D7);
  EXPECT_EQ(Ask("~WN00@eep,r,20~").text, "F0D7\r\n");

  // A dump takes a piece and completes it from the following attempts.
  std::ostringstream dump;
  ASSERT_TRUE(DumpParameterTable(dump));
  EXPECT_NE(dump.str().find("~WN00@eep,w,20,F0D7\r\n~WN00@eep,w,21,"), std::string::npos);
}

TEST_P(DataTransferSim, GarbageIsPassedOnAsReceived) {
  sim::Faults faults;
  faults.garbage = true;
  printer_.SetFaults(faults);
  Reply reply = Ask("~WN00@eep,r,01~");
  EXPECT_GT(reply.count, 0);
  EXPECT_NE(reply.text, "0085\r\n");
  EXPECT_EQ(reply.text.size(), static_cast<std::size_t>(reply.count));
}

TEST_P(DataTransferSim, ADroppedLinkFailsTheSendWithoutACrash) {
  sim::Faults faults;
  faults.disconnectAfterBytes = 1000;
  printer_.SetFaults(faults);
  std::string data(2 * 1024 * 1024, 'x');
  bool allSent = true;
  for (int i = 0; i < 5 && allSent; ++i) allSent = SendToPrinter(data);
  if (GetParam() == Transport::Tcp) {
    EXPECT_FALSE(allSent) << "a send after the printer dropped the link must fail";
  }
  EXPECT_TRUE(ReadReply().text.empty());
}

TEST_P(DataTransferSim, TheKindsWaitsArePacedByName) {
  ASSERT_FALSE(Ask("~WN01@version~\r\n").text.empty());
  const bool lineKind = GetParam() != Transport::Tcp;
  EXPECT_EQ(pacer_->SleepCount(pace::kReplySettle.name), lineKind ? 1 : 0);
  EXPECT_EQ(pacer_->SleepCount(pace::kSerialReadRound.name) >= 2, GetParam() == Transport::Pty)
      << "a serial read pauses before each round, up to the first empty one";
  if (GetParam() == Transport::Tcp) {
    EXPECT_EQ(Link().networkReadTimeoutMs, 500) << "a reply read lowers the network read time-out for good";
  }
}

// A line answer is taken at its line end, but the kind's fixed waits still bound it: an answer that
// comes late (serial and parallel: after 550 ms, inside the 600 ms settle) or in three pieces is read
// whole, in both read modes. A normal reply whose pieces pause longer than a round's wait is waited
// for up to its line end.
TEST_P(DataTransferSim, ALineAnswerThatComesLateOrInPiecesIsReadWhole) {
  test::ScopedFastPacer realTimeouts(0.1, 1.0);
  printer_.SetSlot(0x01, 0x0085);
  struct Row {
    bool once;
    sim::Faults faults;
    ReplyEnd end = ReplyEnd::Line;
  } rows[] = {{false, {.splitPieceBytes = 2, .splitGapMs = 100}},
              {true, {.splitPieceBytes = 2, .splitGapMs = 100}},
              {false, {.splitPieceBytes = 2, .splitGapMs = 600}, ReplyEnd::Rounds}};
  std::vector<Row> all(std::begin(rows), std::end(rows));
  // The network's reply read time-out is 500 ms, as short as it is for the kind's own reads.
  if (GetParam() != Transport::Tcp) all.push_back({false, {.replyDelayMs = 550}});
  for (const Row& row : all) {
    printer_.SetFaults(row.faults);
    Link().readOnce = row.once;
    ASSERT_TRUE(SendToPrinter("~WN00@eep,r,01~"));
    EXPECT_EQ(ReadReply(row.end).text, "0085\r\n") << row.once << " " << row.faults.replyDelayMs << " "
                                                      << row.faults.splitGapMs;
    Link().readOnce = false;
  }
}

INSTANTIATE_TEST_SUITE_P(Transports, DataTransferSim,
                         ::testing::Values(Transport::Tcp, Transport::Pty, Transport::PtyAsParallel), Name);

TEST(DataTransferClosed, NothingOpenMeansEveryOperationFails) {
  test::TempDir dir;
  SetProgramDir(dir.path());
  test::ScopedFastPacer pacer;
  ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  for (PortKind kind : {PortKind::Serial, PortKind::Parallel, PortKind::Spooler, PortKind::Network}) {
    Link().currentKind = kind;
    EXPECT_FALSE(SendToPrinter("~JR")) << static_cast<int>(kind);
    EXPECT_EQ(ReadReply().count, 0);
    EXPECT_TRUE(ReadAvailable().text.empty());
  }
  Link().currentKind = PortKind::Network;
  std::ostringstream dump;
  EXPECT_FALSE(DumpParameterTable(dump)) << "the first request cannot be sent";
  EXPECT_TRUE(dump.str().empty());
  ResetLink({});
}

}  // namespace
}  // namespace tw
