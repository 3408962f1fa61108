// SPDX-License-Identifier: GPL-3.0-or-later
// The sending side of a download without the window, against a scripted USB device: a file that
// gives fewer bytes than planned, a stop request, a failing write, and the closing of the link after
// a file that makes the printer restart, per port kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "download/DownloadTransfer.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/ScriptedUsb.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

class DownloadTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLink({usbDevice_, nullptr, nullptr});
    Link().currentKind = PortKind::UsbDevice;
    ASSERT_GE(OpenUsbDevicePort(0), 1);
    Link().open = true;
  }
  void TearDown() override { ResetLink({}); }

  DownloadOutcome Send(const std::string& content, uint64_t plannedSize) {
    std::istringstream file(content);
    return SendPlannedFile(file, DownloadPlan(plannedSize), [this](int value) { bar_.push_back(value); }, gate_);
  }

  test::ScopedFastPacer pacer_;
  std::shared_ptr<test::ScriptedUsbDevice> usbDevice_ = std::make_shared<test::ScriptedUsbDevice>();
  std::vector<int> bar_;
  TransferGate gate_;
};

TEST_F(DownloadTransferTest, WholeFileGoesOutInPlanOrder) {
  const std::string content(123456, 'x');
  EXPECT_EQ(Send(content, content.size()), DownloadOutcome::Completed);
  EXPECT_EQ(usbDevice_->written, content);
  EXPECT_EQ(bar_.back(), 100);
  // The four pauses around the last piece of a blocked file were taken.
  for (const PaceStep* step : {&pace::kDownloadBar95, &pace::kDownloadBar96, &pace::kDownloadBar98, &pace::kDownloadBar99}) {
    EXPECT_EQ(pacer_->SleepCount(step->name), 1) << step->name;
  }
}

TEST_F(DownloadTransferTest, FileShorterThanPlannedStopsWithoutSendingStaleBytes) {
  // 250 bytes planned (passes of 2), 151 there: 75 whole passes go out, the 76th cannot be read.
  std::string content;
  for (int i = 0; i < 151; ++i) content += static_cast<char>('a' + i % 26);
  EXPECT_EQ(Send(content, 250), DownloadOutcome::ReadFailed);
  EXPECT_EQ(usbDevice_->written, content.substr(0, 150));
  EXPECT_NE(bar_.back(), 100);
}

TEST_F(DownloadTransferTest, StopRequestEndsBeforeTheNextPiece) {
  const std::string content(250, 'y');
  std::istringstream file(content);
  const DownloadOutcome outcome = SendPlannedFile(
      file, DownloadPlan(content.size()),
      [this](int value) {
        bar_.push_back(value);
        if (value == 10) gate_.Cancel();  // the user closes the window while pass 10 goes out
      },
      gate_);
  EXPECT_EQ(outcome, DownloadOutcome::Cancelled);
  EXPECT_EQ(usbDevice_->written.size(), 11u * 2);  // passes 0 to 10
  EXPECT_EQ(bar_.back(), 10);
}

TEST_F(DownloadTransferTest, FailedWriteStopsTheTransfer) {
  usbDevice_->failWrites = true;
  EXPECT_EQ(Send(std::string(5000, 'z'), 5000), DownloadOutcome::WriteFailed);
  EXPECT_EQ(bar_, std::vector<int>{0});  // the first pass's value, nothing after it
}

TEST_F(DownloadTransferTest, PrinterRestartClosesOnlyUsbAndNetworkLinks) {
  // The USB device of the fixture is closed and the open flag cleared.
  EXPECT_TRUE(CloseLinkForPrinterRestart());
  EXPECT_FALSE(Link().open);
  EXPECT_EQ(Link().usbHandle.load(), -1);
  EXPECT_EQ(usbDevice_->closed.size(), 1u);

  for (PortKind kind : {PortKind::Serial, PortKind::Parallel, PortKind::Spooler}) {
    Link().currentKind = kind;
    Link().open = true;
    EXPECT_FALSE(CloseLinkForPrinterRestart()) << static_cast<int>(kind);
    EXPECT_TRUE(Link().open) << static_cast<int>(kind);
  }
}

// The real network layer, except that the printer drops the link after the last write, before it
// has acknowledged the bytes: the write's own short wait still sees them on their way.
class DropAfterLastWrite : public NetPortApi {
 public:
  explicit DropAfterLastWrite(std::size_t total) : total_(total) {}
  int OpenPort(const std::string& address, int port, int timeoutMs) override { return real_->OpenPort(address, port, timeoutMs); }
  int WritePort(int handle, const char* bytes, int length, int timeoutMs) override {
    written_ += static_cast<std::size_t>(length);
    return real_->WritePort(handle, bytes, length, timeoutMs);
  }
  int ReadPort(int handle, char* buffer, int capacity, int timeoutMs) override {
    return real_->ReadPort(handle, buffer, capacity, timeoutMs);
  }
  int WaitAcknowledged(int handle, int timeoutMs) override {
    if (written_ < total_) return real_->WaitAcknowledged(handle, timeoutMs);
    return ++waitsAfterLastWrite_ == 1 ? 1 : -1;
  }
  void ClosePort(int handle) override { real_->ClosePort(handle); }

 private:
  std::shared_ptr<NetPortApi> real_ = MakeTcpNetPortApi();
  std::size_t total_, written_ = 0;
  int waitsAfterLastWrite_ = 0;
};

// Downloads the content over the network to the virtual printer through the given layer.
DownloadOutcome DownloadOverNetwork(const std::string& content, std::shared_ptr<NetPortApi> network,
                                    sim::VirtualPrinter& printer, const std::function<void(int)>& showBar = {}) {
  ResetLink({nullptr, nullptr, std::move(network)});
  if (!test::ConnectLink(printer, test::Transport::Tcp)) return DownloadOutcome::WriteFailed;
  std::istringstream file(content);
  const TransferGate gate;
  const DownloadOutcome outcome = SendPlannedFile(file, DownloadPlan(content.size()), showBar, gate);
  ResetLink({});
  return outcome;
}

TEST(DownloadOverNetwork, ASlowPrinterGetsEveryByteAndADropBeforeItsAcknowledgementFails) {
  test::ScopedFastPacer pacer;
  std::string content(150000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('0' + i % 64);
  sim::PrinterOptions slow;
  slow.faults.readBytesPerSecond = 300 * 1024;
  sim::VirtualPrinter printer(slow);
  // The bar follows what the printer took, not what the system did: at each value the printer has
  // read nearly all the bytes before it (the rest waits in its small receive buffer).
  const DownloadPlan plan(content.size());
  std::size_t farthestAhead = 0;
  const auto showBar = [&](int value) {
    if (value > kDownloadBarHold) return;
    const std::size_t shown = static_cast<std::size_t>(value) * plan.barStep() * kDownloadBlockBytes;
    farthestAhead = std::max(farthestAhead, shown - std::min(shown, printer.Received().size()));
  };
  EXPECT_EQ(DownloadOverNetwork(content, MakeTcpNetPortApi(), printer, showBar), DownloadOutcome::Completed);
  ASSERT_TRUE(printer.WaitForReceived(content.size(), 5000));
  EXPECT_TRUE(printer.Received() == content);
  EXPECT_LT(farthestAhead, 40000u);

  sim::VirtualPrinter dropping;
  EXPECT_EQ(DownloadOverNetwork(content, std::make_shared<DropAfterLastWrite>(content.size()), dropping),
            DownloadOutcome::WriteFailed);
}

}  // namespace
}  // namespace tw
