// SPDX-License-Identifier: GPL-3.0-or-later
// The libusb device layer against the virtual USB printer: enumeration, the transfers both ways, the
// claim only on use, the time-out units, and the faults a real printer shows.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "link/DeviceLibraries.h"
#include "usb/support/VirtualUsbPrinter.h"

namespace tw {
namespace {

using test::VirtualUsbPrinter;

class UsbDeviceLayer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::InUsbTestbed()) << "run with libumockdev-preload (umockdev-wrapper)"; }

  // Opens index 0 as the connect procedure does.
  int Connect() {
    const int handle = devices->OpenDeviceX(0);
    EXPECT_GE(handle, 1);
    devices->SetUSBTimeouts(handle, 5, 5);
    return handle;
  }
  int Write(int handle, const std::string& bytes) {
    return devices->uWrite(handle, 0, bytes.data(), static_cast<int>(bytes.size()));
  }
  std::string ReadAll(int handle) {
    std::string got;
    char buffer[1024];
    for (int n; (n = devices->uRead(handle, 1, buffer, sizeof buffer)) > 0;) got.append(buffer, n);
    return got;
  }

  VirtualUsbPrinter printer;
  std::shared_ptr<UsbDeviceApi> devices = MakeLibUsbDeviceApi();
  const std::string version = "~WN01@version~\r\n";
  const std::string versionReply = sim::PrinterModel(sim::Personality::Z).VersionReply();
};

TEST_F(UsbDeviceLayer, ListsTheVirtualPrinterAtIndexZeroOnly) {
  EXPECT_EQ(devices->Describe(0), "1209:4c50 Virtual Label Printer");
  EXPECT_EQ(devices->Describe(1), "");
  EXPECT_EQ(devices->OpenDeviceX(1), -1);
}

TEST_F(UsbDeviceLayer, SendsAndReadsRepliesWholeOrSplitOverTransfers) {
  const int handle = Connect();
  for (int split : {0, 5}) {
    printer.SetSplit(split);
    EXPECT_EQ(Write(handle, version), static_cast<int>(version.size()));
    EXPECT_EQ(ReadAll(handle), versionReply) << "split " << split;
  }
  EXPECT_EQ(printer.Received(), version + version);
  devices->CloseDevice(handle);
}

// Listing the devices must not disturb a printer that the printer-class driver serves.
TEST_F(UsbDeviceLayer, ProbingOnlyReadsDescriptorsAndAConnectClaimsUntilClose) {
  for (int probe = 0; probe < 2; ++probe) devices->CloseDevice(devices->OpenDeviceX(0));
  EXPECT_EQ(printer.Claims(), 0);
  EXPECT_EQ(printer.Detaches(), 0);
  EXPECT_TRUE(printer.UsblpBound());

  const int handle = Connect();
  EXPECT_EQ(printer.Claims(), 1);
  EXPECT_FALSE(printer.UsblpBound()) << "the claim detaches the printer driver";
  devices->CloseDevice(handle);
  EXPECT_TRUE(printer.UsblpBound()) << "closing attaches it again";
}

// SetUSBTimeouts counts in tenths of a second: the download's (50, 150) waits 15 s for a busy printer.
TEST_F(UsbDeviceLayer, ADownloadPieceWaitsOutAPrinterBusyForASecond) {
  const int handle = Connect();
  devices->SetUSBTimeouts(handle, 50, 150);
  printer.NakFor(1000);
  const std::string piece(4096, 'p');
  EXPECT_EQ(Write(handle, piece), 4096);
  EXPECT_EQ(printer.ReceivedCount(), 4096u);
  devices->CloseDevice(handle);
}

TEST_F(UsbDeviceLayer, AStallFailsOneWriteAndASilentPrinterReadsAsNothing) {
  const int handle = Connect();
  devices->SetUSBTimeouts(handle, 1, 5);
  printer.StallNextOut();
  EXPECT_LE(Write(handle, version), 0);
  EXPECT_EQ(Write(handle, version), static_cast<int>(version.size())) << "the halt is cleared";
  EXPECT_EQ(ReadAll(handle), versionReply);
  printer.SetSilent(true);
  EXPECT_EQ(Write(handle, version), static_cast<int>(version.size()));
  EXPECT_EQ(ReadAll(handle), "");
  devices->CloseDevice(handle);
}

TEST_F(UsbDeviceLayer, AnUnpluggedDeviceFailsAtOnceAndOpensAgainWhenBack) {
  int handle = Connect();
  printer.UnplugAfter(1000);
  EXPECT_LT(Write(handle, std::string(64 * 1024, 'd')), 64 * 1024);
  const auto start = std::chrono::steady_clock::now();
  char buffer[64];
  for (int round = 0; round < 3; ++round) EXPECT_LE(devices->uRead(handle, 1, buffer, sizeof buffer), 0);
  EXPECT_LE(Write(handle, version), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500)) << "no waiting out time-outs";
  devices->CloseDevice(handle);
  printer.Unplug();
  EXPECT_EQ(devices->OpenDeviceX(0), -1);

  printer.Plug();
  handle = Connect();
  EXPECT_EQ(Write(handle, version), static_cast<int>(version.size()));
  EXPECT_EQ(ReadAll(handle), versionReply);
  devices->CloseDevice(handle);
}

}  // namespace
}  // namespace tw
