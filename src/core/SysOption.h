// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// lib/SysOption.ini: the option file delivered with the program and edited by hand. The program only
// reads it, at the moment a value is needed (nothing is cached); a missing key gives its default.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// USBReadTimes is held between -1 (no round) and this: a reply read makes at most one more round,
// and a printer that never stops sending must not keep it reading for days.
inline constexpr int kMaxUsbReadTimes = 1000;

// Section USBSetting, read at every reply read.
struct UsbSettings {
  int readTimes = 50;          // USBReadTimes: bound on the rounds of one reply read (-1 ... kMaxUsbReadTimes)
  int readTimeout = 5;         // USBReadTimeout
  int writeTimeout = 20;       // USBWriteTimeout
  int readBlankTimeout = 5;    // USBReadBlankTimeout: read time-out while stale input is drained
  int writeBlankTimeout = 5;   // USBWriteBlankTimeout
};
UsbSettings ReadUsbSettings(const std::filesystem::path& sysOption);

// Section names of the two model lists.
inline constexpr std::string_view kResolution300Section = "Resolution300";
inline constexpr std::string_view kPrintTransferModeSection = "PrintTranserMode";

// At most this many model entries are read, whatever Num says: a hand-edited Num of two billion
// must not make the program read (and hold) two billion names.
inline constexpr int kModelListLimit = 1024;

// A model list section (Resolution300, PrintTranserMode): Num and Name1 ... Name<Num>.
struct ModelList {
  int num = 1;                     // Num as read
  std::vector<std::string> names;  // names[i] is the value of "Name" + (i + 1); missing keys are empty
  // Whether a model reported by the printer is listed: compared with equal letter case after blanks
  // are trimmed on both sides. An empty entry lists no model.
  bool Contains(std::string_view model) const;
};
// Reads min(Num, kModelListLimit) entries (none for a negative Num).
ModelList ReadModelList(const std::filesystem::path& sysOption, std::string_view section);

// The parallel-port time-out keys, each in a section of its own name, kept in 16 bits: a value
// outside 0 ... 65535 is held at the nearer end rather than wrapped around.
struct ParallelTimeoutKeys {
  int readTotalTimeoutConstant = 3000;
  int writeTotalTimeoutConstant = 2000;
};
ParallelTimeoutKeys ReadParallelTimeoutKeys(const std::filesystem::path& sysOption);

// The device path of one of the program's port names: COMn -> /dev/ttyS(n-1), LPTn -> /dev/lp(n-1)
// (n from 1, any number of digits without a leading zero, letters in any case), unless the PortMap
// section names another path for it (key "COM3", "LPT1", ...). A "\\.\" prefix is dropped first; any
// other name (a device path typed by the user) is returned unchanged.
std::string MapPortName(const std::filesystem::path& sysOption, const std::string& name);

}  // namespace tw
