// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter dump files: finding a slot's value in a file, whatever the file holds; and the gathering
// of a parallel-port dump, with a pseudo-terminal opened as the parallel port and the test standing in
// for the printer on its other end.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <thread>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "params/ParamProtocol.h"
#include "support/PtyPair.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

std::string Record(int slot, const std::string& value, const char* lineEnd = "\r\n") {
  char text[64];
  std::snprintf(text, sizeof text, "~WN00@eep,w,%02X,%s%s", slot, value.c_str(), lineEnd);
  return text;
}

class DumpFileRead : public ::testing::Test {
 protected:
  std::optional<DumpFile> Load(const std::string& bytes) { return DumpFile::Open(dir_.Write("f.eep", bytes)); }
  test::TempDir dir_;
};

TEST_F(DumpFileRead, FindsTheFirstMatchingLineIgnoringCase) {
  const auto dump = Load(Record(0x01, "0085") + "~WN00@eep,w,1b,0018\r\n" + Record(0x1B, "FFFF") +
                         Record(0x2A, "00c0", "\n") + "~WN00@ini,w,PrinterName,TW\r\n");
  ASSERT_TRUE(dump);
  EXPECT_EQ(dump->FindSlot("01"), "0085");
  EXPECT_EQ(dump->FindSlot("1B"), "0018") << "lower-case address in the file; first match wins";
  EXPECT_EQ(dump->FindSlot("1b"), "0018");
  EXPECT_EQ(dump->FindSlot("2A"), "00c0") << "a line ended by LF alone; the value as written";
  EXPECT_EQ(dump->FindSlot("48"), std::nullopt) << "a slot without a line is missing";
  EXPECT_EQ(dump->FindSlot(""), std::nullopt);
}

TEST_F(DumpFileRead, OnlyTheFirst256LinesCountAndEmptyLinesAmongThem) {
  std::string bytes = "\r\n\r\n";  // two empty lines count among the 256
  for (int slot = 0; slot < 256; ++slot) bytes += Record(slot, "1234");
  const auto dump = Load(bytes);
  ASSERT_TRUE(dump);
  EXPECT_EQ(dump->FindSlot("00"), "1234");
  EXPECT_EQ(dump->FindSlot("FD"), "1234");
  EXPECT_EQ(dump->FindSlot("FE"), std::nullopt) << "line 257";
  EXPECT_EQ(dump->FindSlot("FF"), std::nullopt) << "line 258";
}

TEST_F(DumpFileRead, ShortLinesNeverMatchAndAreNeverReadBeyond) {
  // Each line holds the address at characters 13-14 but stops before character 19.
  const auto dump = Load("~WN00@eep,w,1B,001\r\n~WN00@eep,w,1B\r\n~WN00@eep,w,1\r\n~\r\n" + Record(0x1B, "0042"));
  ASSERT_TRUE(dump);
  EXPECT_EQ(dump->FindSlot("1B"), "0042");
  const auto onlyShort = Load("~WN00@eep,w,1B,001");
  ASSERT_TRUE(onlyShort);
  EXPECT_EQ(onlyShort->FindSlot("1B"), std::nullopt);
}

TEST_F(DumpFileRead, EmptyBinaryAndHugeFilesLoadWithoutACrash) {
  const auto empty = Load("");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->FindSlot("00"), std::nullopt);

  std::mt19937 random(5);
  std::string binary(1 << 20, '\0');
  for (auto& b : binary) b = static_cast<char>(random() & 0xFF);
  const auto noise = Load(binary);
  ASSERT_TRUE(noise);
  for (int slot = 0; slot < 256; slot += 17) noise->FindSlot(Record(slot, "").substr(12, 2));

  // One line of 32 MiB without a line end, then a record: the record is line 2.
  const auto huge = Load(std::string(32 << 20, 'x') + "\n" + Record(0x33, "ABCD"));
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->FindSlot("33"), "ABCD");

  EXPECT_FALSE(DumpFile::Open(dir_ / "does-not-exist.eep").has_value());
}

// ---- The parallel gathering ----

// The value the test's printer holds in a slot.
std::string Value(int slot) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", (slot * 7) & 0xFFFF);
  return text;
}

std::string Answers(int count) {
  std::string bytes;
  for (int slot = 0; slot < count; ++slot) bytes += Value(slot) + "\r\n";
  return bytes;
}

class ParallelGathering : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    ResetLink({});
    ASSERT_TRUE(OpenParallelPort(pty_.slavePath()));
    Link().currentKind = PortKind::Parallel;
    Link().open = true;
  }
  void TearDown() override { ResetLink({}); }

  test::TempDir dir_;
  test::ScopedFastPacer pacer_{0.0, 0.02};
  test::PtyPair pty_;
};

TEST_F(ParallelGathering, The1536BytesBecome256Records) {
  pty_.WriteMaster(Answers(256));
  std::ostringstream stream;
  ASSERT_TRUE(GatherParallelDump(stream));
  EXPECT_EQ(pacer_->SleepCount(pace::kParallelDumpGatherSettle.name), 1);
  std::string expected;
  for (int slot = 0; slot < 256; ++slot) expected += Record(slot, Value(slot));
  EXPECT_EQ(stream.str(), expected);
}

TEST_F(ParallelGathering, FailsOnFewerBytesOrAnswersOutOfStep) {
  pty_.WriteMaster(Answers(255).substr(0, 1530));
  std::ostringstream shortAnswer;
  EXPECT_FALSE(GatherParallelDump(shortAnswer)) << "1530 bytes after 18 reads";
  EXPECT_EQ(shortAnswer.str(), "");

  // 1536 bytes, but one answer lost a digit: every later record would be another slot's value.
  std::string shifted = Answers(257);
  shifted.erase(600, 1);
  pty_.WriteMaster(shifted.substr(0, 1536));
  std::ostringstream outOfStep;
  EXPECT_FALSE(GatherParallelDump(outOfStep));
  EXPECT_EQ(outOfStep.str(), "");
}

// The whole dump over the parallel kind, with the test answering as the printer: the requests go out
// back to back, then the answer is gathered; a short answer fails the dump before the named entries.
TEST_F(ParallelGathering, AWholeDumpSendsTheRequestsAndFailsOnAShortAnswer) {
  const std::size_t requestBytes = 256 * 15;
  for (std::size_t answerBytes : {std::size_t{1536}, std::size_t{1530}}) {
    SCOPED_TRACE(answerBytes);
    std::string requests;
    std::thread printer([&] {
      requests = pty_.ReadMaster(requestBytes, 5000);
      pty_.WriteMaster(Answers(256).substr(0, answerBytes));
    });
    const auto file = dir_ / "parallel.eep";
    std::vector<std::string> unanswered;
    const bool done = WriteParameterDump(file, true, &unanswered);
    printer.join();
    EXPECT_FALSE(Link().readOnce);
    ASSERT_EQ(requests.size(), requestBytes);
    EXPECT_EQ(requests.substr(0, 30), "~WN00@eep,r,00~~WN00@eep,r,01~");
    EXPECT_EQ(requests.substr(requestBytes - 15), "~WN00@eep,r,FF~");
    const std::string written = test::ReadFileBytes(file);
    const std::string afterGathering = pty_.ReadMaster(1 << 16, 200);
    if (answerBytes == 1536) {
      EXPECT_TRUE(done);
      EXPECT_EQ(afterGathering, "~WN00@ini,r,PrinterName\r\n~WN00@ini,r,PrinterNameQesh\r\n~WN00@ini,r,TphAdj\r\n");
      EXPECT_EQ(written.substr(0, 21), "~WN00@eep,w,00,0000\r\n");
      EXPECT_TRUE(written.ends_with("~WN00@eep,w,FF,06F9\r\n")) << "no named entry came: none is recorded";
      EXPECT_EQ(unanswered, (std::vector<std::string>{"PrinterName", "PrinterNameQesh", "TphAdj"}));
    } else {
      EXPECT_FALSE(done);
      EXPECT_EQ(written, "");
      EXPECT_EQ(afterGathering, "") << "a failed gathering asks for no named entry";
    }
  }
}

}  // namespace
}  // namespace tw
