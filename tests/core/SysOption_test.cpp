// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SysOption.h"

#include <gtest/gtest.h>

#include "core/Ini.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// The option file delivered with the program.
fs::path DeliveredSysOption() {
  return fs::path(TW_SOURCE_DIR) / "runtime" / "lib" / "SysOption.ini";
}

void ExpectUsbSettings(const UsbSettings& actual, const UsbSettings& expected) {
  EXPECT_EQ(actual.readTimes, expected.readTimes);
  EXPECT_EQ(actual.readTimeout, expected.readTimeout);
  EXPECT_EQ(actual.writeTimeout, expected.writeTimeout);
  EXPECT_EQ(actual.readBlankTimeout, expected.readBlankTimeout);
  EXPECT_EQ(actual.writeBlankTimeout, expected.writeBlankTimeout);
}

TEST(SysOptionDefaults, MissingFileGivesEveryDefault) {
  TempDir dir;
  const auto path = dir / "SysOption.ini";
  ExpectUsbSettings(ReadUsbSettings(path), {50, 5, 20, 5, 5});
  for (auto section : {kResolution300Section, kPrintTransferModeSection}) {
    const ModelList list = ReadModelList(path, section);
    EXPECT_EQ(list.num, 1);
    EXPECT_EQ(list.names, std::vector<std::string>{""});
    EXPECT_FALSE(list.Contains("QRT-300"));
  }
  const ParallelTimeoutKeys keys = ReadParallelTimeoutKeys(path);
  EXPECT_EQ(keys.readTotalTimeoutConstant, 3000);
  EXPECT_EQ(keys.writeTotalTimeoutConstant, 2000);
}

TEST(SysOptionDefaults, DeliveredFileHoldsEveryKeyWithItsDefault) {
  const auto path = DeliveredSysOption();
  ASSERT_TRUE(fs::exists(path)) << path;
  const IniDocument document = IniDocument::Load(path);
  const std::pair<std::string_view, std::string_view> keys[] = {
      {"USBSetting", "USBReadTimes"},          {"USBSetting", "USBReadTimeout"},
      {"USBSetting", "USBWriteTimeout"},       {"USBSetting", "USBReadBlankTimeout"},
      {"USBSetting", "USBWriteBlankTimeout"},  {"Resolution300", "Num"},
      {"Resolution300", "Name1"},              {"PrintTranserMode", "Num"},
      {"PrintTranserMode", "Name1"},           {"ReadTotalTimeoutConstant", "ReadTotalTimeoutConstant"},
      {"WriteTotalTimeoutConstant", "WriteTotalTimeoutConstant"},
  };
  for (const auto& [section, key] : keys) EXPECT_TRUE(document.Find(section, key)) << section << "/" << key;
  ExpectUsbSettings(ReadUsbSettings(path), UsbSettings{});
  EXPECT_EQ(ReadModelList(path, kResolution300Section).names, std::vector<std::string>{""});
  EXPECT_EQ(ReadModelList(path, kPrintTransferModeSection).names, std::vector<std::string>{""});
  // The parallel keys are delivered with the time-outs a parallel connect has always set.
  EXPECT_EQ(ReadParallelTimeoutKeys(path).readTotalTimeoutConstant, 2000);
  EXPECT_EQ(ReadParallelTimeoutKeys(path).writeTotalTimeoutConstant, 3000);
  // PortMap only holds commented examples: every port keeps its default device.
  EXPECT_TRUE(document.HasSection("PortMap"));
  EXPECT_TRUE(document.Keys("PortMap").empty());
  EXPECT_EQ(MapPortName(path, "COM1"), "/dev/ttyS0");
}

TEST(SysOptionUsb, EachKeyIsReadOnItsOwnWithTheIntegerRules) {
  TempDir dir;
  const auto path = dir.Write("SysOption.ini",
                              "[usbsetting]\r\n"
                              "USBReadTimes=0x20\r\n"
                              "usbreadtimeout = 9 \r\n"
                              "USBWriteTimeout=fast\r\n"
                              "USBReadBlankTimeout=\"3\"\r\n");
  ExpectUsbSettings(ReadUsbSettings(path), {32, 9, 20, 3, 5});
}

TEST(SysOptionUsb, ReadTimesIsBoundedSoThatTheRoundCountCannotOverflow) {
  const std::pair<const char*, int> cases[] = {
      {"2147483647", kMaxUsbReadTimes}, {"-2147483648", -1}, {"-1", -1}, {"0", 0}, {"50", 50}};
  for (const auto& [text, expected] : cases) {
    TempDir dir;
    const auto path = dir.Write("SysOption.ini", std::string("[USBSetting]\nUSBReadTimes=") + text + "\n");
    EXPECT_EQ(ReadUsbSettings(path).readTimes, expected) << text;
  }
}

TEST(SysOptionModels, NamesAreReadUpToNum) {
  TempDir dir;
  const auto path = dir.Write("SysOption.ini",
                              "[Resolution300]\n"
                              "Num=3\n"
                              "Name1= QRT-300 \n"
                              "Name3=QRT-300E\n"
                              "Name4=QRT-NOTREAD\n"
                              "[PrintTranserMode]\n"
                              "Num=-2\n"
                              "Name1=QRT-200T\n");
  const ModelList resolution = ReadModelList(path, kResolution300Section);
  EXPECT_EQ(resolution.num, 3);
  EXPECT_EQ(resolution.names, (std::vector<std::string>{"QRT-300", "", "QRT-300E"}));
  const ModelList transfer = ReadModelList(path, kPrintTransferModeSection);
  EXPECT_EQ(transfer.num, -2);
  EXPECT_TRUE(transfer.names.empty());
}

TEST(SysOptionModels, HugeNumIsBounded) {
  TempDir dir;
  const auto path = dir.Write("SysOption.ini", "[Resolution300]\nNum=2147483647\nName1=QRT-300\n");
  const ModelList list = ReadModelList(path, kResolution300Section);
  EXPECT_EQ(list.num, 2147483647);
  ASSERT_EQ(list.names.size(), static_cast<std::size_t>(kModelListLimit));
  EXPECT_EQ(list.names.front(), "QRT-300");
}

TEST(SysOptionModels, ModelIsComparedTrimmedWithEqualLetterCase) {
  ModelList list;
  list.names = {"", " QRT-300 ", "QRT-200T"};
  EXPECT_TRUE(list.Contains("QRT-300"));
  EXPECT_TRUE(list.Contains("\tQRT-200T "));
  EXPECT_FALSE(list.Contains("qrt-300"));
  EXPECT_FALSE(list.Contains("QRT-30"));
  EXPECT_FALSE(list.Contains(""));
  EXPECT_FALSE(list.Contains("  "));
}

TEST(SysOptionParallel, TimeOutsAreHeldIn16Bits) {
  struct Case {
    std::string read, write;
    int expectedRead, expectedWrite;
  };
  const Case cases[] = {
      {"0x1F4", "65535", 500, 65535},
      {"70000", "-5", 65535, 0},
      {"fast", "", 3000, 2000},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const auto path = dir.Write("SysOption.ini", "[ReadTotalTimeoutConstant]\nReadTotalTimeoutConstant=" + c.read +
                                                     "\n[WriteTotalTimeoutConstant]\nWriteTotalTimeoutConstant=" +
                                                     c.write + "\n");
    const ParallelTimeoutKeys keys = ReadParallelTimeoutKeys(path);
    EXPECT_EQ(keys.readTotalTimeoutConstant, c.expectedRead) << c.read;
    EXPECT_EQ(keys.writeTotalTimeoutConstant, c.expectedWrite) << c.write;
  }
}

TEST(SysOptionPortMap, DefaultDevicesFollowThePortNumber) {
  TempDir dir;
  const auto path = dir / "SysOption.ini";
  const std::pair<std::string, std::string> cases[] = {
      {"COM1", "/dev/ttyS0"},      {"COM8", "/dev/ttyS7"},     {"COM10", "/dev/ttyS9"},
      {"\\\\.\\COM12", "/dev/ttyS11"}, {"com3", "/dev/ttyS2"}, {"LPT1", "/dev/lp0"},
      {"LPT2", "/dev/lp1"},        {"/dev/pts/4", "/dev/pts/4"}, {"\\\\.\\/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"COM0", "COM0"},            {"COM01", "COM01"},         {"COM", "COM"},
      {"COM1x", "COM1x"},          {"COM99999999999", "COM99999999999"}, {"", ""},
  };
  for (const auto& [name, device] : cases) EXPECT_EQ(MapPortName(path, name), device) << name;
}

TEST(SysOptionPortMap, SectionOverridesSomePorts) {
  TempDir dir;
  const auto path = dir.Write("SysOption.ini",
                              "[PortMap]\r\n"
                              "COM1=/dev/ttyUSB0\r\n"
                              ";COM2=/dev/ttyACM0\r\n"
                              "com10 = /dev/pts/7 \r\n"
                              "LPT2=/dev/usb/lp0\r\n"
                              "COM3=\r\n");
  EXPECT_EQ(MapPortName(path, "COM1"), "/dev/ttyUSB0");
  EXPECT_EQ(MapPortName(path, "\\\\.\\COM1"), "/dev/ttyUSB0");
  EXPECT_EQ(MapPortName(path, "COM2"), "/dev/ttyS1");  // commented out
  EXPECT_EQ(MapPortName(path, "\\\\.\\COM10"), "/dev/pts/7");
  EXPECT_EQ(MapPortName(path, "LPT2"), "/dev/usb/lp0");
  EXPECT_EQ(MapPortName(path, "LPT1"), "/dev/lp0");
  EXPECT_EQ(MapPortName(path, "COM3"), "/dev/ttyS2");  // empty entry
  // The file is read at every call.
  dir.Write("SysOption.ini", "[PortMap]\nCOM1=/dev/ttyACM1\n");
  EXPECT_EQ(MapPortName(path, "COM1"), "/dev/ttyACM1");
}

}  // namespace
}  // namespace tw
