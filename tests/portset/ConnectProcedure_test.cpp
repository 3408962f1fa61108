// SPDX-License-Identifier: GPL-3.0-or-later
// The connect procedure against real pseudo-terminals, a loopback listener and scripted USB layers:
// which port opens, the message keys of each failure, the status bar texts, and lib/PortInfo.ini.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <iostream>

#include "core/AppPaths.h"
#include "core/Ini.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "portset/ConnectProcedure.h"
#include "support/LoopbackListener.h"
#include "support/PtyPair.h"
#include "support/ScriptedUsb.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

class ConnectProcedure : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    device_ = std::make_shared<test::ScriptedUsbDevice>();
    printer_ = std::make_shared<test::ScriptedUsbPrinter>();
    ResetLink({device_, printer_, MakeTcpNetPortApi()});
    dir_.Write("lib/SysOption.ini", "[PortMap]\r\nCOM1=" + com1_.slavePath() + "\r\nCOM12=" + com12_.slavePath() +
                                        "\r\nLPT1=" + lpt1_.slavePath() + "\r\nLPT2=" + (dir_ / "no-such-lp").string() +
                                        "\r\n");
  }
  void TearDown() override { ResetLink({}); }

  ConnectRequest Serial(const std::string& name) {
    ConnectRequest request;
    request.selectedKind = PortKind::Serial;
    request.comName = name;
    return request;
  }
  ConnectRequest Network(int port) {
    ConnectRequest request;
    request.selectedKind = PortKind::Network;
    request.choice.ip = {"127", "0", "0", "1"};
    request.choice.port = std::to_string(port);
    return request;
  }
  IniDocument PortInfo() const { return IniDocument::Load(dir_ / "lib/PortInfo.ini"); }

  test::TempDir dir_;
  test::ScopedFastPacer pacer_;
  test::PtyPair com1_, com12_, lpt1_;
  std::shared_ptr<test::ScriptedUsbDevice> device_;
  std::shared_ptr<test::ScriptedUsbPrinter> printer_;
};

TEST_F(ConnectProcedure, MalformedComNamesAreRefusedWithoutTouchingTheStatusBar) {
  for (const char* name : {"COM0", "com1", "COMA", "COM1X", "COM", "", "COM1 "}) {
    ConnectOutcome outcome = ConnectPrinter(Serial(name));
    EXPECT_FALSE(outcome.opened) << name;
    EXPECT_EQ(outcome.messageKey, "ShuRuPortError") << name;
    EXPECT_EQ(outcome.captionKey, "PortSetting");
    EXPECT_EQ(outcome.icon, MsgIcon::None);
    EXPECT_FALSE(outcome.statusChanged);
  }
  EXPECT_FALSE(Link().open);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "lib/PortInfo.ini"));
}

TEST_F(ConnectProcedure, SerialConnectOpensTheMappedDeviceAndRemembersTheChoice) {
  ConnectRequest request = Serial("COM1");
  request.choice.baudIndex = 6;
  request.choice.parityIndex = 1;
  request.choice.commandSet = 1;
  ConnectOutcome outcome = ConnectPrinter(request);
  ASSERT_TRUE(outcome.opened) << outcome.messageKey;
  EXPECT_TRUE(outcome.messageKey.empty());
  EXPECT_EQ(outcome.statusPanel0Suffix, "");
  EXPECT_EQ(outcome.statusPanel1, "COM1 (" + com1_.slavePath() + ")") << "the name and the device behind it";
  EXPECT_TRUE(Link().open);
  EXPECT_EQ(Link().currentKind, PortKind::Serial);
  EXPECT_EQ(Link().serialWriteTimeoutMs, 2000);

  ASSERT_TRUE(SendToPrinter("^XA^XZ"));
  EXPECT_EQ(com1_.ReadMaster(6, 2000), "^XA^XZ");

  IniDocument info = PortInfo();
  EXPECT_EQ(info.ReadString("PortInfo", "PortName", ""), "COM0");
  EXPECT_EQ(info.ReadInteger("PortInfo", "baudRate", -1), 6);
  EXPECT_EQ(info.ReadInteger("PortInfo", "Parity", -1), 1);
  EXPECT_EQ(info.ReadInteger("CommandInfo", "CommandInfo", -1), 1);

  // A second connect to the same port works because the first handle is closed first.
  EXPECT_TRUE(ConnectPrinter(request).opened);
  ASSERT_TRUE(SendToPrinter("again"));
  EXPECT_EQ(com1_.ReadMaster(5, 2000), "again");
}

TEST_F(ConnectProcedure, LongComNamesShowInPanelZero) {
  ConnectOutcome outcome = ConnectPrinter(Serial("COM12"));
  ASSERT_TRUE(outcome.opened);
  EXPECT_EQ(outcome.statusPanel0Suffix, "COM12 (" + com12_.slavePath() + ")");
  EXPECT_EQ(Link().Get(LinkState::Text::SerialDisplayName), "COM12");
}

TEST_F(ConnectProcedure, AFailedSerialOpenResetsTheStatusAndKeepsTheKindAndFlag) {
  ASSERT_TRUE(ConnectPrinter(Network(0)).messageKey == "OpenPordFailed");
  ConnectOutcome outcome = ConnectPrinter(Serial("COM7"));  // /dev/ttyS6 is not a usable port here
  EXPECT_FALSE(outcome.opened);
  EXPECT_EQ(outcome.messageKey, "COMNotOpen");
  EXPECT_EQ(outcome.captionKey, "PortSetting");
  EXPECT_TRUE(outcome.statusChanged);
  EXPECT_EQ(outcome.statusPanel0Suffix, "");
  EXPECT_EQ(Link().currentKind, PortKind::Network);
}

TEST_F(ConnectProcedure, NetworkConnectAndItsFailure) {
  test::LoopbackListener listener;
  const int port = listener.port();
  // Serial settings from an earlier connect stay in the file while the network is in use.
  ConnectRequest serial = Serial("COM1");
  serial.choice.baudIndex = 4;
  ASSERT_TRUE(ConnectPrinter(serial).opened);

  ConnectOutcome outcome = ConnectPrinter(Network(port));
  ASSERT_TRUE(outcome.opened);
  EXPECT_EQ(outcome.statusPanel0Suffix, "NET");
  EXPECT_EQ(Link().Get(LinkState::Text::LinkName), "NET");
  EXPECT_EQ(Link().currentKind, PortKind::Network);
  EXPECT_EQ(Link().networkReadTimeoutMs, 5000);
  EXPECT_FALSE(Link().Serial()) << "a connect closes the serial port";
  IniDocument info = PortInfo();
  EXPECT_EQ(info.ReadString("PortInfo", "PortName", ""), "NET");
  EXPECT_EQ(info.ReadString("PortInfo", "IP1", ""), "127");
  EXPECT_EQ(info.ReadString("PortInfo", "Port", ""), std::to_string(port));
  EXPECT_EQ(info.ReadInteger("PortInfo", "baudRate", -1), 4);

  // Address parts are decimal numbers: leading zeros are no reason to refuse; they are saved as typed.
  ConnectRequest zeros = Network(port);
  zeros.choice.ip = {"127", "000", "00", "001"};
  EXPECT_TRUE(ConnectPrinter(zeros).opened);
  EXPECT_EQ(Link().Get(LinkState::Text::NetworkAddress), "127.0.0.1");
  EXPECT_EQ(PortInfo().ReadString("PortInfo", "IP4", ""), "001");

  listener.Close();  // nothing listens there any more
  ConnectOutcome failed = ConnectPrinter(Network(port));
  EXPECT_FALSE(failed.opened);
  EXPECT_EQ(failed.messageKey, "OpenPordFailed");
  EXPECT_EQ(failed.captionKey, "Warning");
  EXPECT_EQ(failed.icon, MsgIcon::Warning);
  EXPECT_TRUE(failed.statusChanged);
  EXPECT_EQ(Link().currentKind, PortKind::Network);
  EXPECT_TRUE(Link().open) << "the open flag keeps its earlier value";
  EXPECT_FALSE(SendToPrinter("x")) << "sends then fail";
}

TEST_F(ConnectProcedure, ParallelConnect) {
  ConnectRequest request;
  request.selectedKind = PortKind::Parallel;
  request.lptName = "LPT1";
  // The time-outs come from the keys of lib/SysOption.ini: missing ones take their defaults, a 0
  // keeps the fixed time-out.
  const std::string portMap = test::ReadFileBytes(dir_ / "lib/SysOption.ini");
  const struct {
    const char* keys;
    int read, write;
  } timeouts[] = {
      {"[ReadTotalTimeoutConstant]\nReadTotalTimeoutConstant=1234\n"
       "[WriteTotalTimeoutConstant]\nWriteTotalTimeoutConstant=4321\n", 1234, 4321},
      {"[ReadTotalTimeoutConstant]\nReadTotalTimeoutConstant=0\n"
       "[WriteTotalTimeoutConstant]\nWriteTotalTimeoutConstant=0\n", 2000, 3000},
      {"", 3000, 2000},
  };
  for (const auto& row : timeouts) {
    dir_.Write("lib/SysOption.ini", portMap + row.keys);
    ASSERT_TRUE(ConnectPrinter(request).opened) << row.keys;
    EXPECT_EQ(Link().parallelReadTimeoutMs, row.read) << row.keys;
    EXPECT_EQ(Link().parallelWriteTimeoutMs, row.write) << row.keys;
  }
  ConnectOutcome outcome = ConnectPrinter(request);
  ASSERT_TRUE(outcome.opened);
  EXPECT_EQ(outcome.statusPanel1, "LPT1 (" + lpt1_.slavePath() + ")");
  ASSERT_TRUE(SendToPrinter("~WC"));
  EXPECT_EQ(lpt1_.ReadMaster(3, 2000), "~WC");
  EXPECT_EQ(PortInfo().ReadString("PortInfo", "PortName", ""), "LPT0");

  request.lptName = "LPT2";
  request.choice.lptIndex = 1;
  ConnectOutcome failed = ConnectPrinter(request);
  EXPECT_EQ(failed.messageKey, "OpenLPTError");
  EXPECT_EQ(failed.icon, MsgIcon::Information);
  EXPECT_FALSE(failed.statusChanged);
}

TEST_F(ConnectProcedure, UsbKinds) {
  ConnectRequest request;
  request.selectedKind = PortKind::UsbDevice;
  request.usbName = "KVUSB-1";
  request.usbListText = "KVUSB-1\r\n";
  ConnectOutcome outcome = ConnectPrinter(request);
  ASSERT_TRUE(outcome.opened);
  EXPECT_EQ(outcome.statusPanel1, "KVUSB-1");
  ASSERT_EQ(device_->timeouts.size(), 1u);
  EXPECT_EQ(device_->timeouts[0].read, 5);
  EXPECT_EQ(PortInfo().ReadString("PortInfo", "PortName", ""), "USB1");
  EXPECT_EQ(PortInfo().ReadString("PortInfo", "USBName", ""), "KVUSB-1");

  request.usbName = "KVUSB-3";
  ConnectOutcome missing = ConnectPrinter(request);
  EXPECT_EQ(missing.messageKey, "CantOpenUSB");
  EXPECT_EQ(missing.captionKey, "PortSetStr");
  EXPECT_EQ(device_->closed, (std::vector<int>{10})) << "the open device was closed first";

  request.selectedKind = PortKind::UsbPrinter;
  request.usbName = "lp0 (TestModel)";
  ConnectOutcome printer = ConnectPrinter(request);
  ASSERT_TRUE(printer.opened);
  EXPECT_EQ(printer.statusPanel1, "class USB-lp0 (TestModel)");
  EXPECT_EQ(Link().Get(LinkState::Text::LinkName), "class USB-lp0 (TestModel)") << "the editors show the link name";
  EXPECT_EQ(PortInfo().ReadString("PortInfo", "PortName", ""), "USB2");

  request.usbName = "lp9";
  EXPECT_EQ(ConnectPrinter(request).messageKey, "USBNotOpen");

  request.usbName = "";
  ConnectOutcome empty = ConnectPrinter(request);
  EXPECT_FALSE(empty.opened);
  EXPECT_EQ(empty.messageKey, "NoUsbPrinter") << "an empty name stops with the reason";
}

TEST_F(ConnectProcedure, AnUnwritablePortInfoIsReportedAndThePortStaysOpen) {
  std::filesystem::remove_all(dir_ / "lib");
  dir_.Write("lib", "a file where the folder should be");
  ConnectOutcome outcome = ConnectPrinter(Serial("COM1"));  // no PortMap now: COM1 is /dev/ttyS0
  if (!outcome.opened) GTEST_SKIP() << "no /dev/ttyS0 on this machine";
  EXPECT_EQ(outcome.iniWriteError, "Unable to write to " + (dir_ / "lib/PortInfo.ini").string());
  EXPECT_TRUE(Link().open);
}

TEST_F(ConnectProcedure, AMissingLibFolderFailsTheWriteOnly) {
  test::LoopbackListener listener;
  std::filesystem::remove_all(dir_ / "lib");
  ConnectOutcome outcome = ConnectPrinter(Network(listener.port()));
  EXPECT_TRUE(outcome.opened);
  EXPECT_EQ(outcome.iniWriteError, "Unable to write to " + (dir_ / "lib/PortInfo.ini").string());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "lib")) << "the folder is not created";
}

// Stand-ins for the USB layers that refuse the open as the system does for lack of permission.
struct DeniedUsbDevice : test::ScriptedUsbDevice {
  int OpenDeviceX(int) override {
    errno = EACCES;
    return -1;
  }
};
struct DeniedUsbPrinter : test::ScriptedUsbPrinter {
  int OpenUSBPrinter(const std::string&) override {
    errno = EACCES;
    return -1;
  }
};

// A sysfs attribute without a store method: the kernel refuses to open it for writing with EACCES,
// even for root, so the serial and parallel paths meet a real permission refusal. Empty when this
// system does not behave so.
std::string AttributeRefusingWrites() {
  for (const char* path : {"/sys/kernel/uevent_seqnum", "/sys/class/tty/console/dev"}) {
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
    if (fd < 0 && errno == EACCES) return path;
  }
  return {};
}

TEST_F(ConnectProcedure, PermissionRefusalNamesTheGroupOrRuleOfEachKind) {
  ResetLink({std::make_shared<DeniedUsbDevice>(), std::make_shared<DeniedUsbPrinter>(), MakeTcpNetPortApi()});
  const std::string refusing = AttributeRefusingWrites();
  dir_.Write("lib/SysOption.ini", "[PortMap]\r\nCOM1=" + refusing + "\r\nLPT1=" + refusing + "\r\n");
  struct Row {
    PortKind kind;
    const char* name;
    const char* key;
  };
  const Row rows[] = {{PortKind::Serial, "COM1", "NoAccessSerial"},
                      {PortKind::Parallel, "LPT1", "NoAccessParallel"},
                      {PortKind::UsbDevice, "KVUSB-1", "NoAccessUsbDevice"},
                      {PortKind::UsbPrinter, "lp0 (TestModel)", "NoAccessUsbPrinter"}};
  for (const Row& row : rows) {
    const bool usb = row.kind == PortKind::UsbDevice || row.kind == PortKind::UsbPrinter;
    if (!usb && refusing.empty()) {
      std::cerr << "[   NOTE   ] no sysfs attribute refuses writes here; " << row.name << " not run\n";
      continue;
    }
    ConnectRequest request;
    request.selectedKind = row.kind;
    request.comName = request.lptName = request.usbName = row.name;
    const ConnectOutcome outcome = ConnectPrinter(request);
    EXPECT_FALSE(outcome.opened) << row.name;
    EXPECT_EQ(outcome.messageKey, row.key);
  }
  EXPECT_FALSE(Link().open);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "lib/PortInfo.ini"));
}

}  // namespace
}  // namespace tw
