// The libusb device layer against the virtual USB printer: enumeration, the transfers both ways and
// the faults a real printer shows.
#include <gtest/gtest.h>

#include <string>

#include "link/DeviceLibraries.h"
#include "usb/support/VirtualUsbPrinter.h"

namespace tw {
namespace {

using test::VirtualUsbPrinter;

class UsbDeviceLayer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::InUsbTestbed()) << "run with libumockdev-preload (umockdev-wrapper)"; }
  VirtualUsbPrinter printer;
  std::shared_ptr<UsbDeviceApi> devices = MakeLibUsbDeviceApi();

  std::string ReadAll(int handle) {
    std::string got;
    char buffer[1024];
    for (int n; (n = devices->uRead(handle, 1, buffer, sizeof buffer)) > 0;) got.append(buffer, n);
    return got;
  }
};

TEST_F(UsbDeviceLayer, ListsTheVirtualPrinterAtIndexZeroOnly) {
  EXPECT_EQ(devices->Describe(0), "1209:4c50 Virtual Label Printer");
  EXPECT_EQ(devices->Describe(1), "");
  EXPECT_EQ(devices->OpenDeviceX(1), -1);
}

TEST_F(UsbDeviceLayer, SendsAndReadsTheVersionReply) {
  const int handle = devices->OpenDeviceX(0);
  ASSERT_GE(handle, 1);
  devices->SetUSBTimeouts(handle, 5, 5);
  const std::string request = "~WN01@version~\r\n";
  EXPECT_EQ(devices->uWrite(handle, 0, request.data(), static_cast<int>(request.size())), static_cast<int>(request.size()));
  EXPECT_EQ(printer.Received(), request);
  EXPECT_EQ(ReadAll(handle), sim::PrinterModel(sim::Personality::Z).VersionReply());
  devices->CloseDevice(handle);
}

}  // namespace
}  // namespace tw
