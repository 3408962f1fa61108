// SPDX-License-Identifier: GPL-3.0-or-later
#include "portset/PortInfo.h"

#include <gtest/gtest.h>

#include "core/Ini.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;

// Serial settings that differ from every default, so that a test sees whether they were read.
constexpr std::string_view kSerialKeys =
    "baudRate=5\r\nDataBit=0\r\nStopBit=1\r\nHandShake=1\r\nParity=0\r\n";

fs::path WritePortInfo(const TempDir& dir, std::string_view portInfoKeys, std::string_view commandInfo = "") {
  std::string text = "[PortInfo]\r\n" + std::string(portInfoKeys);
  if (!commandInfo.empty()) text += "[CommandInfo]\r\nCommandInfo=" + std::string(commandInfo) + "\r\n";
  return dir.Write("lib/PortInfo.ini", text);
}

void ExpectSerialPresets(const PortChoice& choice) {
  const PortChoice presets;
  EXPECT_EQ(choice.comIndex, presets.comIndex);
  EXPECT_EQ(choice.baudIndex, presets.baudIndex);
  EXPECT_EQ(choice.dataBitIndex, presets.dataBitIndex);
  EXPECT_EQ(choice.stopBitIndex, presets.stopBitIndex);
  EXPECT_EQ(choice.handShakeIndex, presets.handShakeIndex);
  EXPECT_EQ(choice.parityIndex, presets.parityIndex);
}

void ExpectSerialKeysFromFile(const PortChoice& choice) {
  EXPECT_EQ(choice.baudIndex, 5);
  EXPECT_EQ(choice.dataBitIndex, 0);
  EXPECT_EQ(choice.stopBitIndex, 1);
  EXPECT_EQ(choice.handShakeIndex, 1);
  EXPECT_EQ(choice.parityIndex, 0);
}

// ---------------------------------------------------------------------------------------------
// Reading

TEST(ReadPortChoice, MissingFileOrSectionPresetsCom1At9600AndTheZCommandSet) {
  TempDir dir;
  for (const fs::path& path : {dir / "lib" / "PortInfo.ini", dir.Write("empty.ini", "[Other]\nPortName=LPT1\n")}) {
    const PortChoice choice = ReadPortChoice(path);
    EXPECT_EQ(choice.kind, PortKind::Serial);
    EXPECT_TRUE(choice.serialFromFile);
    EXPECT_EQ(choice.comIndex, 0);     // COM1
    EXPECT_EQ(choice.baudIndex, 2);    // 9600
    EXPECT_EQ(choice.dataBitIndex, 1); // 8
    EXPECT_EQ(choice.stopBitIndex, 0); // 1
    EXPECT_EQ(choice.handShakeIndex, 0);
    EXPECT_EQ(choice.parityIndex, 2);  // none
    EXPECT_EQ(choice.commandSet, 0);
  }
}

TEST(ReadPortChoice, PortNameSelectsKindAndListPosition) {
  struct Case {
    std::string portName;
    PortKind kind;
    int comIndex, lptIndex;
  };
  const Case cases[] = {
      {"COM2", PortKind::Serial, 2, 0},       // presets COM3
      {"COM7", PortKind::Serial, 7, 0},       // the last entry, COM8
      {"COM8", PortKind::Serial, -1, 0},      // past the list: no selection
      {"COM9", PortKind::Serial, -1, 0},
      {"COM-1", PortKind::Serial, -1, 0},
      {"LPT0", PortKind::Parallel, 0, 0},
      {"LPT1", PortKind::Parallel, 0, 1},     // presets LPT2
      {"LPT2", PortKind::Parallel, 0, -1},
      {"USB1", PortKind::UsbDevice, 0, 0},
      {"USB2", PortKind::UsbPrinter, 0, 0},
      {"USB3", PortKind::UsbPrinter, 0, 0},   // only 1 selects the device library
      {"USB0", PortKind::UsbPrinter, 0, 0},
      {"NET", PortKind::Network, 0, 0},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const PortChoice choice = ReadPortChoice(WritePortInfo(dir, "PortName=" + c.portName + "\r\n"));
    EXPECT_EQ(choice.kind, c.kind) << c.portName;
    EXPECT_EQ(choice.comIndex, c.comIndex) << c.portName;
    EXPECT_EQ(choice.lptIndex, c.lptIndex) << c.portName;
    EXPECT_TRUE(choice.serialFromFile) << c.portName;
  }
}

TEST(ReadPortChoice, SerialKeysAreReadOnlyForACommunicationsPort) {
  TempDir dir;
  ExpectSerialKeysFromFile(ReadPortChoice(WritePortInfo(dir, "PortName=COM1\r\n" + std::string(kSerialKeys))));
  for (const std::string other : {"LPT0", "USB1", "NET"}) {
    ExpectSerialPresets(ReadPortChoice(WritePortInfo(dir, "PortName=" + other + "\r\n" + std::string(kSerialKeys))));
  }
}

TEST(ReadPortChoice, SerialListPositionsFollowTheIntegerRules) {
  struct Case {
    std::string baudRate;
    int expected;
  };
  const Case cases[] = {{"0x3", 3}, {"fast", 2}, {"6", 6}, {"7", -1}, {"-1", -1}, {"", 2}, {"99999999999", 2}};
  for (const Case& c : cases) {
    TempDir dir;
    const PortChoice choice = ReadPortChoice(WritePortInfo(dir, "PortName=COM0\r\nbaudRate=" + c.baudRate + "\r\n"));
    EXPECT_EQ(choice.baudIndex, c.expected) << c.baudRate;
  }
  TempDir dir;
  const PortChoice outOfLists =
      ReadPortChoice(WritePortInfo(dir, "PortName=COM0\r\nDataBit=2\r\nStopBit=2\r\nHandShake=2\r\nParity=3\r\n"));
  EXPECT_EQ(outOfLists.dataBitIndex, -1);
  EXPECT_EQ(outOfLists.stopBitIndex, -1);
  EXPECT_EQ(outOfLists.handShakeIndex, -1);
  EXPECT_EQ(outOfLists.parityIndex, -1);
}

TEST(ReadPortChoice, UnrecognisedNameKeepsTheDialogsSerialPresets) {
  // Letter case counts: "Net" is not what the program writes, so it is not recognised.
  for (const std::string name : {"Net", "net", "com1", "Usb1", "XYZ", "CO", "\xD6\xD0\xCE\xC4"}) {
    TempDir dir;
    const PortChoice choice =
        ReadPortChoice(WritePortInfo(dir, "PortName=" + name + "\r\n" + std::string(kSerialKeys), "1"));
    EXPECT_EQ(choice.kind, PortKind::Serial) << name;
    EXPECT_FALSE(choice.serialFromFile) << name;
    ExpectSerialPresets(choice);
    EXPECT_EQ(choice.commandSet, 1) << name << ": the command set is read in every case";
  }
}

TEST(ReadPortChoice, NameWithoutANumberReadsAsCom0) {
  for (const std::string name : {"COM", "COMx", "LPT", "LPT 1", "USB", "USBfoo"}) {
    TempDir dir;
    const PortChoice choice = ReadPortChoice(WritePortInfo(dir, "PortName=" + name + "\r\n" + std::string(kSerialKeys)));
    EXPECT_EQ(choice.kind, PortKind::Serial) << name;
    EXPECT_TRUE(choice.serialFromFile) << name;
    EXPECT_EQ(choice.comIndex, 0) << name;
    ExpectSerialKeysFromFile(choice);
  }
}

TEST(ReadPortChoice, NetworkFieldsAsTypedOrTheirDefaults) {
  TempDir dir;
  const PortChoice defaults = ReadPortChoice(WritePortInfo(dir, "PortName=NET\r\n"));
  EXPECT_EQ(defaults.kind, PortKind::Network);
  EXPECT_EQ(defaults.ip, (std::array<std::string, 4>{"192", "168", "19", "168"}));
  EXPECT_EQ(defaults.port, "9100");

  const PortChoice typed =
      ReadPortChoice(WritePortInfo(dir, "PortName=NET\r\nIP1=10\r\nip2=999\r\nIP3=\r\nIP4=007\r\nPort=0x10\r\n"));
  EXPECT_EQ(typed.ip, (std::array<std::string, 4>{"10", "999", "", "007"}));
  EXPECT_EQ(typed.port, "0x10");
}

TEST(ReadPortChoice, UsbNameListComesFromUsbName) {
  TempDir dir;
  EXPECT_EQ(ReadPortChoice(WritePortInfo(dir, "PortName=USB2\r\n")).usbNames, "1");
  EXPECT_EQ(ReadPortChoice(WritePortInfo(dir, "PortName=USB1\r\nUSBName=KVUSB-2\r\n")).usbNames, "KVUSB-2");
  // Only read for a USB kind.
  EXPECT_EQ(ReadPortChoice(WritePortInfo(dir, "PortName=NET\r\nUSBName=KVUSB-2\r\n")).usbNames, "1");
}

TEST(ReadPortChoice, CommandSetComesFromItsOwnSection) {
  struct Case {
    std::string text;
    int expected;
  };
  const Case cases[] = {
      {"[CommandInfo]\nCommandInfo=1\n", 1},
      {"[commandinfo]\nCOMMANDINFO=0x1\n", 1},
      {"[CommandInfo]\nCommandInfo=0\n", 0},
      {"[CommandInfo]\nCommandInfo=2\n", -1},
      {"[CommandInfo]\nCommandInfo=E\n", 0},
      {"[PortInfo]\nCommandInfo=1\n", 0},  // the key in the wrong section is not it
  };
  for (const Case& c : cases) {
    TempDir dir;
    EXPECT_EQ(ReadPortChoice(dir.Write("PortInfo.ini", c.text)).commandSet, c.expected) << c.text;
  }
}

// ---------------------------------------------------------------------------------------------
// Saving

PortChoice SerialChoice() {
  PortChoice choice;
  choice.kind = PortKind::Serial;
  choice.comIndex = 3;
  choice.baudIndex = 6;
  choice.dataBitIndex = 0;
  choice.stopBitIndex = 1;
  choice.handShakeIndex = 1;
  choice.parityIndex = 1;
  choice.commandSet = 1;
  return choice;
}

TEST(SavePortChoice, NewFileHoldsTheKeysOfTheKind) {
  TempDir dir;
  fs::create_directory(dir / "lib");
  const auto path = dir / "lib" / "PortInfo.ini";
  SavePortChoice(path, SerialChoice());
  EXPECT_EQ(ReadFileBytes(path),
            "[PortInfo]\r\nPortName=COM3\r\nbaudRate=6\r\nDataBit=0\r\nStopBit=1\r\nHandShake=1\r\nParity=1\r\n\r\n"
            "[CommandInfo]\r\nCommandInfo=1\r\n");
}

TEST(SavePortChoice, EveryKindReadsBackAsSaved) {
  PortChoice parallel;
  parallel.kind = PortKind::Parallel;
  parallel.lptIndex = 1;
  PortChoice usbDevice;
  usbDevice.kind = PortKind::UsbDevice;
  usbDevice.usbNames = "KVUSB-3";
  PortChoice usbPrinter;
  usbPrinter.kind = PortKind::UsbPrinter;
  usbPrinter.usbNames = "\xD6\xD0\xCE\xC4 Printer";
  usbPrinter.commandSet = 1;
  PortChoice network;
  network.kind = PortKind::Network;
  network.ip = {"10", "0", "0", "254"};
  network.port = "6101";
  PortChoice serialDevice = SerialChoice();
  serialDevice.comIndex = 0;
  serialDevice.serialDevice = "/dev/serial/by-id/usb-Cable_Maker_USB_UART_A1B2-if00-port0";

  for (const PortChoice& saved : {SerialChoice(), parallel, usbDevice, usbPrinter, network, serialDevice}) {
    TempDir dir;
    const auto path = dir / "PortInfo.ini";
    SavePortChoice(path, saved);
    const PortChoice read = ReadPortChoice(path);
    EXPECT_EQ(read.kind, saved.kind);
    EXPECT_EQ(read.commandSet, saved.commandSet);
    EXPECT_TRUE(read.serialFromFile);
    switch (saved.kind) {
      case PortKind::Serial:
        EXPECT_EQ(read.comIndex, saved.comIndex);
        EXPECT_EQ(read.baudIndex, saved.baudIndex);
        EXPECT_EQ(read.dataBitIndex, saved.dataBitIndex);
        EXPECT_EQ(read.stopBitIndex, saved.stopBitIndex);
        EXPECT_EQ(read.handShakeIndex, saved.handShakeIndex);
        EXPECT_EQ(read.parityIndex, saved.parityIndex);
        EXPECT_EQ(read.serialDevice, saved.serialDevice);
        // A COMn name chosen later forgets the device.
        SavePortChoice(path, SerialChoice());
        EXPECT_EQ(ReadPortChoice(path).serialDevice, "");
        break;
      case PortKind::Parallel: EXPECT_EQ(read.lptIndex, saved.lptIndex); break;
      case PortKind::UsbDevice:
      case PortKind::UsbPrinter: EXPECT_EQ(read.usbNames, saved.usbNames); break;
      case PortKind::Network:
        EXPECT_EQ(read.ip, saved.ip);
        EXPECT_EQ(read.port, saved.port);
        break;
      case PortKind::Spooler: break;
    }
  }
}

TEST(SavePortChoice, UsbNameListIsStoredAsItsFirstEntry) {
  TempDir dir;
  const auto path = dir / "PortInfo.ini";
  PortChoice usb;
  usb.kind = PortKind::UsbDevice;
  usb.usbNames = "KVUSB-1\r\nKVUSB-2\r\n";
  SavePortChoice(path, usb);
  const std::string text = ReadFileBytes(path);
  EXPECT_NE(text.find("PortName=USB1\r\nUSBName=KVUSB-1\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("KVUSB-2"), std::string::npos) << text;
  EXPECT_EQ(ReadPortChoice(path).usbNames, "KVUSB-1");
}

TEST(SavePortChoice, SerialKeysSurviveANetworkConnection) {
  TempDir dir;
  const auto path = dir / "PortInfo.ini";
  SavePortChoice(path, SerialChoice());
  PortChoice network;
  network.kind = PortKind::Network;
  network.ip = {"172", "16", "0", "9"};
  SavePortChoice(path, network);
  EXPECT_EQ(ReadPortChoice(path).kind, PortKind::Network);

  // The user sets PortName back to a serial port by hand: the old serial settings apply again.
  WriteIniString(path, "PortInfo", "PortName", "COM1");
  const PortChoice choice = ReadPortChoice(path);
  EXPECT_EQ(choice.kind, PortKind::Serial);
  EXPECT_EQ(choice.comIndex, 1);
  EXPECT_EQ(choice.baudIndex, 6);
  EXPECT_EQ(choice.parityIndex, 1);
  EXPECT_EQ(choice.commandSet, 0);  // the network save wrote its own command set
}

TEST(SavePortChoice, OtherLinesOfTheFileStayAsTheyWere) {
  TempDir dir;
  const std::string before = "; written by hand\n[PortInfo]\nPortName=COM0\nbaudRate=2\nIP1=10\n[Extra]\nx=1\n";
  const auto path = dir.Write("PortInfo.ini", before);
  PortChoice parallel;
  parallel.kind = PortKind::Parallel;
  parallel.lptIndex = 1;
  SavePortChoice(path, parallel);
  EXPECT_EQ(ReadFileBytes(path),
            "; written by hand\n[PortInfo]\nPortName=LPT1\nbaudRate=2\nIP1=10\n[Extra]\nx=1\n\n[CommandInfo]\n"
            "CommandInfo=0\n");
}

TEST(SavePortChoice, SpoolerWritesOnlyTheCommandSet) {
  TempDir dir;
  const auto path = dir.Write("PortInfo.ini", "[PortInfo]\r\nPortName=NET\r\n");
  PortChoice spooler;
  spooler.kind = PortKind::Spooler;
  spooler.commandSet = 1;
  SavePortChoice(path, spooler);
  EXPECT_EQ(ReadFileBytes(path), "[PortInfo]\r\nPortName=NET\r\n\r\n[CommandInfo]\r\nCommandInfo=1\r\n");
}

TEST(SavePortChoice, UnwritableFileReportsItsPathAndKeepsTheOldFile) {
  TempDir dir;
  // No lib folder: it is not created.
  const auto missing = dir / "lib" / "PortInfo.ini";
  try {
    SavePortChoice(missing, SerialChoice());
    FAIL() << "saved into a missing folder";
  } catch (const IniWriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + missing.string());
  }
  EXPECT_FALSE(fs::exists(dir / "lib"));

  // A folder where the file should be: nothing may replace it.
  const auto occupied = dir / "PortInfo.ini";
  fs::create_directories(occupied / "keep");
  EXPECT_THROW(SavePortChoice(occupied, SerialChoice()), IniWriteError);
  EXPECT_TRUE(fs::is_directory(occupied / "keep"));
}

}  // namespace
}  // namespace tw
