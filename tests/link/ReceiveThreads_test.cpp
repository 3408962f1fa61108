// The background receive thread against the virtual printer: chunks reach the sink in order, a
// cleared run flag ends the thread within a round, and only one thread runs at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "sim/VirtualPrinter.h"
#include "link/DataTransfer.h"
#include "support/PrinterLink.h"
#include "support/PtyPair.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

using namespace std::chrono;

class ReceiveThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  }
  void TearDown() override {
    Receive_Thread::Stop();
    Receive_Thread::Join();
    ResetLink({});
  }
  void ConnectToPrinter() { ASSERT_TRUE(test::ConnectLink(printer_, test::Transport::Tcp)); }
  std::string Collected() {
    std::lock_guard lock(mutex_);
    return collected_;
  }
  Receive_Thread::ChunkSink Sink() {
    return [this](const std::string& chunk) {
      std::lock_guard lock(mutex_);
      collected_ += chunk;
      ++chunks_;
    };
  }

  test::TempDir dir_;
  test::ScopedFastPacer pacer_{0.1, 0.02};
  sim::VirtualPrinter printer_;
  std::mutex mutex_;
  std::string collected_;
  int chunks_ = 0;
};

TEST_F(ReceiveThreads, ChunksReachTheSinkInArrivalOrder) {
  ConnectToPrinter();
  Receive_Thread::Start(Sink());
  std::string expected;
  for (int i = 0; i < 20; ++i) {
    std::string piece = "chunk " + std::to_string(i) + "\r\n";
    printer_.SendUnsolicited(piece);
    expected += piece;
    std::this_thread::sleep_for(milliseconds(i % 3 == 0 ? 30 : 1));
  }
  for (int i = 0; i < 200 && Collected().size() < expected.size(); ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_EQ(Collected(), expected);
}

TEST_F(ReceiveThreads, WithNoPortOpenItPollsQuietlyAndStopsWithinARound) {
  Receive_Thread::Start(Sink());
  EXPECT_TRUE(Receive_Thread::Running());
  std::this_thread::sleep_for(milliseconds(100));
  const auto start = steady_clock::now();
  Receive_Thread::Stop();
  Receive_Thread::Join();
  // One round here: 10 ms pause, 60 ms settle and an immediate read.
  EXPECT_LT(steady_clock::now() - start, milliseconds(500));
  EXPECT_TRUE(Collected().empty());
  EXPECT_GT(pacer_->SleepCount(pace::kReceiveRound.name), 1);
}

TEST_F(ReceiveThreads, StartingTwiceKeepsOneThread) {
  ConnectToPrinter();
  Receive_Thread::Start(Sink());
  Receive_Thread::Start(Sink());  // already running: nothing more starts
  printer_.SendUnsolicited("once");
  for (int i = 0; i < 100 && Collected().empty(); ++i) std::this_thread::sleep_for(milliseconds(10));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(Collected(), "once") << "a second thread would have raced for the bytes or the sink";

  // Stop and start again at once: the new thread waits for the old one to end.
  Receive_Thread::Stop();
  Receive_Thread::Start(Sink());
  printer_.SendUnsolicited("twice");
  for (int i = 0; i < 100 && Collected().size() < 9; ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_EQ(Collected(), "oncetwice");
}

TEST_F(ReceiveThreads, ASerialDeviceThatGoesAwayEndsTheRoundsAndFailsSends) {
  test::PtyPair pty;
  ASSERT_TRUE(OpenSerialPort(pty.slavePath(), 9600, 8, 1, FlowControl::Hardware, 0));
  Link().currentKind = PortKind::Serial;
  Link().open = true;
  Receive_Thread::Start(Sink());
  pty.WriteMaster("before\r\n");
  for (int i = 0; i < 500 && Collected().empty(); ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_EQ(Collected(), "before\r\n");
  pty.CloseMaster();  // the adapter is unplugged
  auto ended = std::async(std::launch::async, [] { Receive_Thread::Join(); });
  const bool endedByItself = ended.wait_for(seconds(10)) == std::future_status::ready;
  Receive_Thread::Stop();
  ended.wait();
  EXPECT_TRUE(endedByItself) << "the thread must not go on reading a device that is gone";
  EXPECT_TRUE(PortWentAway());
  EXPECT_FALSE(SendToPrinter("after"));
}

}  // namespace
}  // namespace tw
