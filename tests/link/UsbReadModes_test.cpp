// SPDX-License-Identifier: GPL-3.0-or-later
// The reply reads on the two USB kinds, against scripted device layers: the round bounds of
// USBReadTimes, read-once and drain modes, and the time-outs handed to each layer.
#include <gtest/gtest.h>

#include <sstream>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "support/ScriptedUsb.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

class UsbReadModes : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    device_ = std::make_shared<test::ScriptedUsbDevice>();
    printer_ = std::make_shared<test::ScriptedUsbPrinter>();
    ResetLink({device_, printer_, MakeTcpNetPortApi()});
  }
  void TearDown() override { ResetLink({}); }

  void UseSettings(const std::string& usbSettingLines) {
    dir_.Write("lib/SysOption.ini", "[USBSetting]\r\n" + usbSettingLines);
  }
  void OpenDevice() {
    ASSERT_EQ(OpenUsbDevicePort(0), 10);
    Link().currentKind = PortKind::UsbDevice;
    Link().open = true;
  }
  void OpenPrinter() {
    ASSERT_NE(OpenUsbPrinterPort("lp0 (TestModel)"), -1);
    Link().currentKind = PortKind::UsbPrinter;
    Link().open = true;
  }

  test::TempDir dir_;
  test::ScopedFastPacer pacer_;
  std::shared_ptr<test::ScriptedUsbDevice> device_;
  std::shared_ptr<test::ScriptedUsbPrinter> printer_;
};

TEST_F(UsbReadModes, ReadTimesBoundsTheRoundsOfANormalRead) {
  OpenDevice();
  device_->reads = {"a\r\n", "b", "c", "d\r\n"};

  UseSettings("USBReadTimes=0\r\n");
  Reply one = ReadReply();
  EXPECT_EQ(one.text, "a\r\n");
  EXPECT_EQ(one.count, 3);

  UseSettings("USBReadTimes=-1\r\n");
  device_->readCapacities.clear();
  Reply none = ReadReply();
  EXPECT_EQ(none.count, 0);
  EXPECT_TRUE(none.text.empty());
  EXPECT_TRUE(device_->readCapacities.empty()) << "no round may run";

  // The keys are read at every call: back to the default of 50, the rest arrives in one reply.
  UseSettings("");
  Reply rest = ReadReply();
  EXPECT_EQ(rest.text, "bcd\r\n");
}

TEST_F(UsbReadModes, NormalReadPassesTheSettingsAndStopsAtTheFirstEmptyRound) {
  OpenDevice();
  UseSettings("USBReadTimeout=0x7\r\nUSBWriteTimeout=33\r\n");
  device_->reads = {"VER", "SION\r\n"};
  device_->timeouts.clear();
  Reply reply = ReadReply();
  EXPECT_EQ(reply.text, "VERSION\r\n");
  ASSERT_EQ(device_->timeouts.size(), 1u);
  EXPECT_EQ(device_->timeouts[0].read, 7);
  EXPECT_EQ(device_->timeouts[0].write, 33);
  EXPECT_EQ(device_->readCapacities, (std::vector<int>{1024, 1024, 1024}));
}

TEST_F(UsbReadModes, ALongReplyIsCutAt1024Bytes) {
  OpenDevice();
  std::string big(3000, 'x');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
  device_->reads = {big};
  Reply reply = ReadReply();
  EXPECT_EQ(reply.count, 1024);
  EXPECT_EQ(reply.text, big.substr(0, 1024)) << "zero bytes and all kept byte for byte";
}

TEST_F(UsbReadModes, DrainThrowsPendingInputAwayBeforeTheNextReply) {
  OpenDevice();
  UseSettings("USBReadBlankTimeout=9\r\nUSBWriteBlankTimeout=8\r\n");
  device_->reads = {std::string(100, 'o'), std::string(100, 'l'), std::string(3000, 'd'), "", "new"};
  device_->timeouts.clear();
  DiscardPendingInput();
  EXPECT_FALSE(Link().drain);
  ASSERT_FALSE(device_->timeouts.empty());
  EXPECT_EQ(device_->timeouts[0].read, 9);
  EXPECT_EQ(device_->timeouts[0].write, 8);
  EXPECT_EQ(device_->readCapacities, (std::vector<int>(6, 1024))) << "until a read brings nothing";
  EXPECT_EQ(ReadReply().text, "new");
}

TEST_F(UsbReadModes, ADumpEndsAtTheFirstSlotWithoutFourHexDigits) {
  OpenDevice();
  device_->reads = {"", "0085\r\n", "0G12\r\n"};  // the drain's read that brings nothing, then the answers
  std::ostringstream dump;
  EXPECT_FALSE(DumpParameterTable(dump));
  EXPECT_EQ(dump.str(), "~WN00@eep,w,00,0085\r\n");
  EXPECT_EQ(device_->written, "~WN00@eep,r,00~~WN00@eep,r,01~");
}

TEST_F(UsbReadModes, ReadOnceOnTheDeviceTakesRoundsUntilTheReplyEnds) {
  OpenDevice();
  UseSettings("USBWriteTimeout=44\r\n");
  Link().readOnce = true;
  device_->reads = {"00", "85\r\n"};
  device_->timeouts.clear();
  Reply reply = ReadReply();
  EXPECT_EQ(reply.text, "0085\r\n");
  EXPECT_EQ(device_->timeouts[0].read, 2);
  EXPECT_EQ(device_->timeouts[0].write, 44);
  EXPECT_EQ(device_->readCapacities.size(), 3u) << "two rounds with data, then one empty round ends it";

  device_->readCapacities.clear();
  EXPECT_EQ(ReadReply().count, 0);
  EXPECT_EQ(device_->readCapacities.size(), 5u) << "at most five rounds when nothing comes";
}

TEST_F(UsbReadModes, PrinterClassGetsTheSettingsInMilliseconds) {
  OpenPrinter();
  EXPECT_EQ(printer_->splitAsbCalls, 1);
  ASSERT_EQ(printer_->timeouts.size(), 1u);
  EXPECT_EQ(printer_->timeouts[0].write, 4000);
  EXPECT_EQ(printer_->timeouts[0].read, 4000);

  UseSettings("USBReadTimeout=3\r\nUSBWriteTimeout=20\r\n");
  printer_->reads = {"AB", "CD\r\n"};
  Reply reply = ReadReply();
  EXPECT_EQ(reply.text, "ABCD\r\n");
  EXPECT_EQ(printer_->timeouts.back().write, 2000);
  EXPECT_EQ(printer_->timeouts.back().read, 300);

  // Read-once takes the first round with data and stops.
  Link().readOnce = true;
  printer_->reads = {"12", "34"};
  EXPECT_EQ(ReadReply().text, "12");
}

TEST_F(UsbReadModes, PrinterClassDrainReadsUntilNothingComesAndDropsIt) {
  OpenPrinter();
  printer_->reads = {"stale", std::string(300, 's'), "", "fresh"};
  printer_->readCapacities.clear();
  DiscardPendingInput();
  EXPECT_EQ(printer_->readCapacities, (std::vector<int>{1024, 1024, 1024}));
  EXPECT_EQ(printer_->timeouts.back().write, 500);
  EXPECT_EQ(printer_->timeouts.back().read, 500);
  EXPECT_EQ(ReadReply().text, "fresh");
}

TEST_F(UsbReadModes, PrinterClassWithoutAnOpenHandleSaysSo) {
  test::MessageRecorder messages;
  Link().currentKind = PortKind::UsbPrinter;
  Reply reply = ReadReply();
  EXPECT_EQ(reply.count, 0);
  auto shown = messages.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "USBNotOpen");
  EXPECT_EQ(shown[0].caption, "PortSetStr");
  EXPECT_EQ(shown[0].icon, MsgIcon::Information);
}

TEST_F(UsbReadModes, SendsGoThroughTheLayerOfTheCurrentKind) {
  OpenDevice();
  EXPECT_TRUE(SendToPrinter("~JR"));
  EXPECT_EQ(device_->written, "~JR");
  device_->failWrites = true;
  EXPECT_FALSE(SendToPrinter("x"));

  CloseUsbPort();
  EXPECT_EQ(Link().usbHandle, -1);
  EXPECT_EQ(device_->closed, (std::vector<int>{10}));
  OpenPrinter();
  EXPECT_TRUE(SendToPrinter(std::string("\0\x01\xff", 3)));
  EXPECT_EQ(printer_->written, std::string("\0\x01\xff", 3));
}

TEST_F(UsbReadModes, BulkReadsTakeUpTo50000Bytes) {
  OpenDevice();
  device_->reads = {std::string(60000, 'z')};
  Reply chunk = ReadAvailable();
  EXPECT_EQ(chunk.count, 50000);
  EXPECT_EQ(chunk.text.size(), 50000u);
}

}  // namespace
}  // namespace tw
