// SPDX-License-Identifier: GPL-3.0-or-later
// The background receive thread against the virtual printer: chunks reach the sink in order, a
// cleared run flag ends the thread within a round, and only one thread runs at a time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "link/DataTransfer.h"
#include "link/ReceiveThread.h"
#include "sim/VirtualPrinter.h"
#include "link/DataTransfer.h"
#include "support/PrinterLink.h"
#include "support/PtyPair.h"
#include "support/ScriptedUsb.h"
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

// An unplugged serial adapter ends the rounds, and the ended thread clears its run flag. On the
// parallel kind a failed write (EIO from a printer without a reverse channel, as a hung-up
// pseudo-terminal answers; ENOSPC when out of paper) fails that write only: the port stays.
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
  EXPECT_FALSE(Receive_Thread::Running()) << "an ended thread clears its flag";
  Receive_Thread::Stop();
  ended.wait();
  EXPECT_TRUE(endedByItself) << "the thread must not go on reading a device that is gone";
  EXPECT_TRUE(PortWentAway());
  EXPECT_FALSE(SendToPrinter("after"));

  test::PtyPair lpt;
  ASSERT_TRUE(OpenParallelPort(lpt.slavePath()));
  Link().currentKind = PortKind::Parallel;
  lpt.CloseMaster();
  EXPECT_FALSE(SendToPrinter("after"));
  EXPECT_FALSE(PortWentAway()) << "EIO on the parallel kind is not a departure";
}

// A USB device whose reads wait until they are cancelled (or 20 s, its read time-out).
class UsbDeviceWaitingForCancel : public test::ScriptedUsbDevice {
 public:
  int uRead(int, int, char*, int) override {
    std::unique_lock lock(mutex_);
    woken_.wait_for(lock, seconds(20), [&] { return cancelled_; });
    cancelled_ = false;
    return 0;
  }
  void CancelRead(int) override {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    woken_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool cancelled_ = false;
};

// Stopping ends a round that waits for data at once, not after the read time-out (20 s here; 4 s for
// the USB printer node, a pseudo-terminal standing in for it).
TEST_F(ReceiveThreads, StoppingEndsAWaitingRoundAtOnce) {
  test::ScopedFastPacer realTimeouts(0.1, 1.0);
  auto usb = std::make_shared<UsbDeviceWaitingForCancel>();
  int pipeEnds[2];  // a parallel port whose driver offers no poll: its reads come back empty at once
  ASSERT_EQ(::pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC), 0);
  test::PtyPair printerNode;
  std::filesystem::create_symlink(printerNode.slavePath(), dir_ / "lp0");
  const struct {
    const char* name;
    std::function<void()> connect;
  } kinds[] = {
      {"network", [&] { ConnectToPrinter(); }},
      {"parallel", [&] { ASSERT_TRUE(test::ConnectLink(printer_, test::Transport::PtyAsParallel)); }},
      {"parallel without poll", [&] {
         Link().SetParallel(FdChannel::Open(pipeEnds[0], FdChannel::Polling::Unsupported));
         Link().currentKind = PortKind::Parallel;
       }},
      {"USB device", [&] {
         ResetLink({usb, nullptr, nullptr});
         Link().usbHandle = usb->OpenDeviceX(0);
         Link().currentKind = PortKind::UsbDevice;
       }},
      {"USB printer", [&] {
         ResetLink({nullptr, MakeUsbPrinterNodeApi(dir_.path()), nullptr});
         Link().usbHandle = Link().Libraries().usbPrinter->OpenUSBPrinter("lp0");
         Link().currentKind = PortKind::UsbPrinter;
       }},
  };
  for (const auto& kind : kinds) {
    kind.connect();
    Link().networkReadTimeoutMs = 20000;
    Link().parallelReadTimeoutMs = 20000;
    Receive_Thread::Start(Sink());
    std::this_thread::sleep_for(milliseconds(200));  // the round is inside its read by now
    const auto start = steady_clock::now();
    Receive_Thread::Stop();
    Receive_Thread::Join();
    EXPECT_LT(steady_clock::now() - start, seconds(3)) << kind.name;
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
    printer_.Stop();
  }
  ::close(pipeEnds[1]);
}

// Bytes that arrive while the thread is being stopped reach either its sink or the window's own
// read afterwards: none is lost, none is read twice.
TEST_F(ReceiveThreads, BytesArrivingDuringAStopAreReadExactlyOnce) {
  ConnectToPrinter();
  for (int i = 0; i < 30; ++i) {
    const std::size_t before = Collected().size();
    Receive_Thread::Start(Sink());
    const std::string piece = "<" + std::to_string(i) + ">";
    printer_.SendUnsolicited(piece);
    // Stop at different moments: in the round's pause, in its read, after it.
    std::this_thread::sleep_for(microseconds(i % 3 == 0 ? 0 : 500 * i));
    Receive_Thread::Stop();
    Receive_Thread::Join();
    std::string windowRead;
    for (int wait = 0; wait < 200 && Collected().size() - before + windowRead.size() < piece.size(); ++wait) {
      windowRead += ReadAvailable().text;
    }
    EXPECT_EQ(Collected().substr(before) + windowRead, piece) << i;
  }
  EXPECT_GT(chunks_, 0) << "no stop came after the thread had read";
}
}  // namespace
}  // namespace tw
