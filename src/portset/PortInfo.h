// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// lib/PortInfo.ini: the last port that was opened, its settings and the command set. Decoded into
// plain data that presets the port dialog, and encoded from the choice of a successful connect.
//
// Section PortInfo: PortName ("COMn", "LPTn" with n the position in the dialog's list, "USB1",
// "USB2", "NET"), SerialDevice (a serial device found on the system, beside PortName), the serial list positions baudRate, DataBit, StopBit, HandShake, Parity, the USB
// name list USBName, the network fields IP1 ... IP4 and Port. Section CommandInfo: key CommandInfo.
#include <array>
#include <filesystem>
#include <string>

#include "core/Ini.h"
#include "link/PortKind.h"

namespace tw {

// Sizes of the dialog's lists; a position read from the file outside its list becomes -1.
inline constexpr int kComListSize = 8;        // "COM1" ... "COM8"
inline constexpr int kBaudListSize = 7;       // 2400 ... 115200
inline constexpr int kDataBitListSize = 2;    // 7, 8
inline constexpr int kStopBitListSize = 2;    // 1, 2
inline constexpr int kHandShakeListSize = 2;  // hardware, software
inline constexpr int kParityListSize = 3;     // odd, even, none
inline constexpr int kLptListSize = 2;        // "LPT1", "LPT2"
inline constexpr int kCommandSetListSize = 2; // WVLZ, WVLE

struct PortChoice {
  PortKind kind = PortKind::Serial;
  // Serial: positions in the dialog's lists; -1 means the list has no selection.
  int comIndex = 0;         // position in "COM1" ... "COM8"
  // A serial device chosen from the ports found on the system (key SerialDevice: its by-id link, else
  // its /dev path), which the dialog selects in place of comIndex; empty for the COMn names.
  std::string serialDevice;
  int baudIndex = 2;        // 2400, 4800, 9600, 19200, 38400, 57600, 115200
  int dataBitIndex = 1;     // 7, 8
  int stopBitIndex = 0;     // 1, 2
  int handShakeIndex = 0;   // hardware, software
  int parityIndex = 2;      // odd, even, none
  // False when PortName was not recognised: the dialog keeps its own serial presets (which are the
  // defaults above) and nothing but the command set was read.
  bool serialFromFile = true;
  int lptIndex = 0;         // position in "LPT1", "LPT2"
  std::string usbNames = "1";  // the USB name list's content (entries separated by CR LF)
  std::array<std::string, 4> ip{"192", "168", "19", "168"};
  std::string port = "9100";
  int commandSet = 0;       // 0 = Z command set (WVLZ), 1 = E command set (WVLE); -1 = no selection
};

// Reads the file (a missing or unreadable file, or a missing section, gives every default). Only the
// fields of the kind that PortName names are read; the others keep their defaults.
PortChoice ReadPortChoice(const std::filesystem::path& portInfo);
PortChoice ReadPortChoice(const IniDocument& portInfo);
// Writes PortName, the keys of the chosen kind and CommandInfo; keys of other kinds stay untouched.
// The USB name list is stored as its first entry (an INI value holds one line). The spooler kind is
// never opened, so it has no PortName: only CommandInfo is written for it.
// Throws IniWriteError ("Unable to write to <path>"); the old file is then left as it was.
void SavePortChoice(const std::filesystem::path& portInfo, const PortChoice& choice);
// The same keys written into a document held in memory.
void WritePortChoice(IniDocument& portInfo, const PortChoice& choice);

}  // namespace tw
