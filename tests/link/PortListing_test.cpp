// SPDX-License-Identifier: GPL-3.0-or-later
// Port listings: serial ports from a system folder tree, the printer names of the USB printer-class
// layer, the probe of the USB device layer, and the model in a printer's device ID.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/PortListing.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// --- Serial ports -------------------------------------------------------------------------------

class SerialPortListingTest : public ::testing::Test {
 protected:
  // A tty class entry whose device link points at `devicePath` (under sys/devices), optionally with
  // a driver link and a serial-core type.
  void AddTty(const std::string& name, const std::string& devicePath, const std::string& driver,
              const std::string& type = "") {
    const fs::path entry = root_ / "sys/class/tty" / name;
    fs::create_directories(entry);
    const fs::path device = root_ / "sys/devices" / devicePath;
    fs::create_directories(device);
    fs::create_symlink(device, entry / "device");
    if (!driver.empty()) {
      fs::create_directories(root_ / "sys/bus/drivers" / driver);
      fs::create_symlink(root_ / "sys/bus/drivers" / driver, device / "driver");
    }
    if (!type.empty()) root_.Write("sys/class/tty/" + name + "/type", type + "\n");
  }
  void AddByIdLink(const std::string& name, const std::string& target) {
    fs::create_directories(root_ / "dev/serial/by-id");
    fs::create_symlink(target, root_ / "dev/serial/by-id" / name);
  }
  std::string Dev(const std::string& name) const { return (root_ / "dev" / name).string(); }

  test::TempDir root_;
};

TEST_F(SerialPortListingTest, ListsTtysWithADeviceAndTheByIdLinks) {
  AddTty("ttyS0", "platform/serial8250/tty/ttyS0", "serial8250", "4");
  AddTty("ttyS1", "platform/serial8250/tty/ttyS1", "serial8250", "0");  // no UART behind it
  AddTty("ttyS2", "pnp0/00:05/tty/ttyS2", "serial", "4");
  AddTty("ttyS10", "pci0/0000:00:16.3/tty/ttyS10", "");
  AddTty("ttyUSB0", "pci0/usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
  root_.Write("sys/devices/pci0/usb1/1-1/product", "USB UART Cable\n");
  root_.Write("sys/devices/pci0/usb1/1-1/manufacturer", "Cable Maker\n");
  root_.Write("sys/devices/pci0/usb1/1-1/serial", "A1B2\n");
  AddTty("ttyAMA0", "platform/uart/tty/ttyAMA0", "uart-pl011");  // not a kind a printer hangs on
  AddTty("ttyACM0", "pci0/usb1/1-2/1-2:1.0", "cdc_acm");
  root_.Write("sys/devices/pci0/usb1/1-2/product", "Label Printer 200\n");
  // Virtual consoles have no device.
  for (const char* name : {"tty0", "tty1", "console", "ptmx"}) fs::create_directories(root_ / "sys/class/tty" / name);
  AddByIdLink("usb-Cable_Maker_USB_UART_Cable_A1B2-if00-port0", "../../ttyUSB0");
  AddByIdLink("usb-Second_Adapter_0001-if00", "../../ttyUSB1");  // only known by its link

  const std::vector<SerialPortInfo> ports = ListSerialPorts(root_ / "sys", root_ / "dev");

  std::vector<std::string> devices;
  for (const auto& port : ports) devices.push_back(port.device);
  EXPECT_THAT(devices, ElementsAre(Dev("ttyACM0"), Dev("ttyS0"), Dev("ttyS2"), Dev("ttyS10"), Dev("ttyUSB0"),
                                   Dev("ttyUSB1")));
  std::map<std::string, SerialPortInfo> byDevice;
  for (const auto& port : ports) byDevice[port.device] = port;
  EXPECT_EQ(byDevice[Dev("ttyACM0")].description, "Label Printer 200 (cdc_acm)");
  EXPECT_EQ(byDevice[Dev("ttyS0")].description, "serial8250");
  EXPECT_EQ(byDevice[Dev("ttyS10")].description, "ttyS10");
  EXPECT_EQ(byDevice[Dev("ttyUSB0")].description, "Cable Maker USB UART Cable (ftdi_sio)");
  EXPECT_EQ(byDevice[Dev("ttyUSB0")].serialNumber, "A1B2");
  EXPECT_EQ(byDevice[Dev("ttyUSB0")].byId,
            (root_ / "dev/serial/by-id/usb-Cable_Maker_USB_UART_Cable_A1B2-if00-port0").string());
  EXPECT_EQ(byDevice[Dev("ttyS0")].byId, "");
  EXPECT_EQ(byDevice[Dev("ttyUSB1")].description, "usb-Second_Adapter_0001-if00");
  EXPECT_EQ(byDevice[Dev("ttyUSB1")].byId, (root_ / "dev/serial/by-id/usb-Second_Adapter_0001-if00").string());
}

TEST_F(SerialPortListingTest, EmptyOrMissingTreeListsNothing) {
  EXPECT_THAT(ListSerialPorts(root_ / "sys", root_ / "dev"), IsEmpty());
  EXPECT_THAT(ListSerialPorts(root_ / "does-not-exist", root_ / "does-not-exist"), IsEmpty());
}

TEST_F(SerialPortListingTest, RealRootGivesDevicePathsUnderDev) {
  for (const auto& port : ListSerialPorts()) {
    EXPECT_EQ(port.device.rfind("/dev/", 0), 0u) << port.device;
    EXPECT_FALSE(port.description.empty()) << port.device;
  }
}

// --- USB printer names --------------------------------------------------------------------------

// Puts scripted bytes into the enumeration buffer and reports a scripted count.
class ScriptedPrinterEnum : public UsbPrinterApi {
 public:
  ScriptedPrinterEnum(std::string bytes, int count) : bytes_(std::move(bytes)), count_(count) {}
  int EnumUSBPrinter(char* buffer, int capacity) override {
    capacity_ = capacity;
    zeroed_ = std::all_of(buffer, buffer + capacity, [](char c) { return c == '\0'; });
    std::memcpy(buffer, bytes_.data(), std::min(bytes_.size(), static_cast<std::size_t>(capacity)));
    return count_;
  }
  int OpenUSBPrinter(const std::string&) override { return -1; }
  void SetSinglePrnTimeout(int, int, int) override {}
  void SetSplitASB(int, int) override {}
  int WriteUSBPrinter(int, const char*, int, int*) override { return 0; }
  int ReadUSBPrinterForZpl(int, char*, int, int*) override { return 0; }
  void CloseUSBPrinter(int) override {}

  int capacity_ = 0;
  bool zeroed_ = false;

 private:
  std::string bytes_;
  int count_;
};

TEST(UsbPrinterListing, TakesAsManyNamesAsReportedInBufferOrder) {
  struct Case {
    std::string bytes;
    int count;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"lp0 (Label Printer 200)@lp1@", 2, {"lp0 (Label Printer 200)", "lp1"}},
      {"b@a@c@", 2, {"b", "a"}},            // what follows the reported names is ignored
      {"lp0@lp1@", 5, {"lp0", "lp1"}},      // a count larger than the names
      {"lp0@@lp1@", 3, {"lp0", "lp1"}},     // an empty name is no printer
      {"lp0@lp1@", 0, {}},
      {"lp0@lp1@", -2, {}},
      {"", 4, {}},
  };
  for (const Case& c : cases) {
    ScriptedPrinterEnum printers(c.bytes, c.count);
    EXPECT_EQ(ListUsbPrinters(printers), c.names) << c.bytes << " count " << c.count;
    EXPECT_EQ(printers.capacity_, 256);
    EXPECT_TRUE(printers.zeroed_);
  }
}

TEST(UsbPrinterListing, BufferWithoutTerminatorsIsNeverReadPast) {
  const std::string full(256, 'x');
  for (int count : {1, 3}) {
    ScriptedPrinterEnum printers(full, count);
    EXPECT_THAT(ListUsbPrinters(printers), ElementsAre(full)) << "count " << count;
  }
  // The last name runs up to the end of the buffer.
  const std::string tail = "lp0@" + std::string(252, 'y');
  ScriptedPrinterEnum printers(tail, 2);
  EXPECT_THAT(ListUsbPrinters(printers), ElementsAre("lp0", std::string(252, 'y')));
}

// --- USB device probe ---------------------------------------------------------------------------

// Answers OpenDeviceX from a table of results per index and logs every call.
class ScriptedUsbDevices : public UsbDeviceApi {
 public:
  explicit ScriptedUsbDevices(std::vector<int> openResults) : openResults_(std::move(openResults)) {}
  int OpenDeviceX(int index) override {
    log.push_back("open " + std::to_string(index));
    return index >= 0 && index < static_cast<int>(openResults_.size()) ? openResults_[index] : -1;
  }
  void SetUSBTimeouts(int, int, int) override { log.push_back("timeouts"); }
  int uWrite(int, int, const char*, int) override { return 0; }
  int uRead(int, int, char*, int) override { return 0; }
  void CloseDevice(int handle) override { log.push_back("close " + std::to_string(handle)); }

  std::vector<std::string> log;

 private:
  std::vector<int> openResults_;
};

TEST(UsbDeviceProbe, ListsOpenableIndexesAndClosesEachAtOnce) {
  // Index 1 answers 0 and index 3 a negative code: neither is a device.
  ScriptedUsbDevices devices({11, 0, 13, -5, 1, -1, -1, 18});
  EXPECT_THAT(ProbeUsbDevices(devices), ElementsAre("KVUSB-1", "KVUSB-3", "KVUSB-5", "KVUSB-8"));
  EXPECT_THAT(devices.log, ElementsAre("open 0", "close 11", "open 1", "open 2", "close 13", "open 3", "open 4",
                                       "close 1", "open 5", "open 6", "open 7", "close 18"));
}

TEST(UsbDeviceProbe, NoDevicesListsNothing) {
  ScriptedUsbDevices devices({});
  EXPECT_THAT(ProbeUsbDevices(devices), IsEmpty());
  EXPECT_EQ(devices.log.size(), 8u);
}

// --- Model in a device ID -----------------------------------------------------------------------

// A device ID as the printer driver returns it: two big-endian length bytes counting themselves.
std::string DeviceId(const std::string& fields) {
  const std::size_t length = fields.size() + 2;
  return std::string{static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)} + fields;
}

TEST(DeviceIdModel, FindsTheModelField) {
  struct Case {
    std::string id;
    std::string model;
  };
  const std::vector<Case> cases = {
      {DeviceId("MFG:Example;CMD:WVLZ;MDL:LP-200;CLS:PRINTER;"), "LP-200"},
      {DeviceId("MANUFACTURER:Example;MODEL: Label Printer 300 ;"), "Label Printer 300"},
      {DeviceId("mfg:Example;mdl:lp-100"), "lp-100"},             // any case, no final ';'
      {DeviceId("MDL:;MODEL:Second Try;"), "Second Try"},          // an empty field is no model
      {DeviceId("MFG:Example;CMD:WVLZ;"), ""},
      {DeviceId("MFG:Example;MDL"), ""},
      {DeviceId("MDL:A@B\x01" "C\x7f;"), "A_B_C_"},                  // '@' would split the name list
      {DeviceId("MDL:" + std::string(200, 'M') + ";"), std::string(64, 'M')},
      {DeviceId("MDL:" + std::string(63, 'M') + "  X;"), std::string(63, 'M')},  // no blank left at the cut
      {"", ""},
      {std::string(1, '\0'), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ModelFromDeviceId(c.id), c.model) << c.id;
}

TEST(DeviceIdModel, KeepsWithinTheLengthAndTheFirstZeroByte) {
  // The length ends the ID before the model field.
  std::string cut = DeviceId("MFG:Example;");
  cut += "MDL:Beyond;";
  EXPECT_EQ(ModelFromDeviceId(cut), "");
  // A length larger than what came (or sent the wrong way round) is cut to the data.
  std::string swapped = DeviceId("MDL:Swapped;");
  std::swap(swapped[0], swapped[1]);
  EXPECT_EQ(ModelFromDeviceId(swapped), "Swapped");
  // A zeroed driver buffer after the ID ends it.
  std::string padded = std::string("\x04\x00", 2) + "MDL:Padded;" + std::string(100, '\0') + "MDL:Stale;";
  EXPECT_EQ(ModelFromDeviceId(padded), "Padded");
  // A length below two counts as two.
  EXPECT_EQ(ModelFromDeviceId(std::string("\x00\x01", 2) + "MDL:Short;"), "");
}

}  // namespace
}  // namespace tw
