// SPDX-License-Identifier: GPL-3.0-or-later
// One thread reads from the link while another writes to it or closes it: no crash, no data race
// (this program also runs under ThreadSanitizer), and a close ends a waiting read at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "support/LoopbackListener.h"
#include "support/PtyPair.h"
#include "support/ScriptedUsb.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

using Clock = std::chrono::steady_clock;

class LinkThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    ResetLink({std::make_shared<test::ScriptedUsbDevice>(), std::make_shared<test::ScriptedUsbPrinter>(),
               MakeTcpNetPortApi()});
  }
  void TearDown() override { ResetLink({}); }

  // Runs `read` in a loop on a second thread until stopped; returns how long the thread took to
  // finish once `close` had run on this thread.
  template <typename Read, typename Close>
  std::chrono::milliseconds CloseWhileReading(Read read, Close close) {
    std::atomic<bool> run{true};
    std::atomic<int> rounds{0};
    std::thread reader([&] {
      while (run) {
        read();
        ++rounds;
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    close();
    run = false;
    auto start = Clock::now();
    reader.join();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  }

  test::TempDir dir_;
};

TEST_F(LinkThreads, ClosingTheNetworkEndsAWaitingReadAtOnce) {
  // Real time-outs: the reader waits up to 5 s for data that never comes.
  test::LoopbackListener peer;
  LinkState& link = Link();
  link.Set(LinkState::Text::NetworkAddress, "127.0.0.1");
  link.networkPort = peer.port();
  ASSERT_TRUE(OpenNetworkLink());
  link.currentKind = PortKind::Network;
  link.open = true;

  auto waited = CloseWhileReading([] { ReadAvailable(); }, [] { CloseNetworkLink(); });
  EXPECT_LT(waited.count(), 1000) << "the reader must not sit out its 5 s time-out";
  EXPECT_FALSE(SendToPrinter("after close"));
}

TEST_F(LinkThreads, WritesAndReadsRunTogetherOnASerialPort) {
  test::ScopedFastPacer pacer(0.01);
  test::PtyPair pty;
  Link().currentKind = PortKind::Serial;
  ASSERT_TRUE(OpenSerialPort(pty.slavePath(), 115200, 8, 1, FlowControl::Hardware, 0));
  Link().open = true;

  std::atomic<bool> run{true};
  std::string received;
  std::thread reader([&] {
    while (run) received += ReadAvailable().text;
  });
  std::string sent;
  for (int i = 0; i < 50; ++i) {
    std::string block = "block " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(SendToPrinter(block));
    sent += block;
    pty.WriteMaster("r");
  }
  EXPECT_EQ(pty.ReadMaster(sent.size(), 2000), sent);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  run = false;
  reader.join();
  EXPECT_EQ(received, std::string(50, 'r'));
}

TEST_F(LinkThreads, ClosingAndReopeningTheSerialPortUnderAReader) {
  test::ScopedFastPacer pacer(0.01);
  test::PtyPair pty;
  Link().currentKind = PortKind::Serial;
  ASSERT_TRUE(OpenSerialPort(pty.slavePath(), 9600, 8, 1, FlowControl::Hardware, 0));
  Link().open = true;
  auto waited = CloseWhileReading(
      [] {
        ReadReply();
        ReadAvailable();
      },
      [&] {
        for (int i = 0; i < 20; ++i) {
          CloseSerialPort();
          ASSERT_TRUE(OpenSerialPort(pty.slavePath(), 9600, 8, 1, FlowControl::Hardware, 0));
        }
        CloseSerialPort();
      });
  EXPECT_LT(waited.count(), 1000);
  EXPECT_FALSE(SendToPrinter("closed"));
}

TEST_F(LinkThreads, ClosingUsbWhileTheReceiveLoopRuns) {
  test::ScopedFastPacer pacer;
  ASSERT_NE(OpenUsbPrinterPort("lp0 (TestModel)"), -1);
  Link().currentKind = PortKind::UsbPrinter;
  Link().open = true;
  auto waited = CloseWhileReading([] { ReadAvailable(); }, [] { CloseUsbPort(); });
  EXPECT_LT(waited.count(), 1000);
  EXPECT_EQ(Link().usbHandle, -1);
}

}  // namespace
}  // namespace tw
