// SPDX-License-Identifier: GPL-3.0-or-later
#include "portset/ConnectProcedure.h"

#include <cerrno>

#include "core/AppPaths.h"
#include "core/Ini.h"
#include "core/Pacing.h"
#include "core/SysOption.h"
#include "link/Connection.h"
#include "link/PortListing.h"

namespace tw {
namespace {

constexpr int kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kDataBits[] = {7, 8};
constexpr int kParityCodes[] = {1, 2, 0};  // odd, even, none

// The value at a list position, or the default position's value when it is out of range.
template <std::size_t N>
int ListValue(const int (&values)[N], int position, int fallbackPosition) {
  return position >= 0 && position < static_cast<int>(N) ? values[position] : values[fallbackPosition];
}

ConnectOutcome Failure(const char* messageKey, const char* captionKey, MsgIcon icon, bool resetStatus) {
  ConnectOutcome outcome;
  outcome.messageKey = messageKey;
  outcome.captionKey = captionKey;
  outcome.icon = icon;
  outcome.statusChanged = resetStatus;
  return outcome;
}

// The message of an open that has just failed: the one naming the group or udev rule that grants
// access when the system refused it for lack of permission (errno EACCES, which every opening layer
// keeps), else the usual one. Called right after the failed open, before anything touches errno.
// A USB printer that another program holds (errno EBUSY) gets `inUseKey` where one is given.
const char* OpenFailureKey(const char* usualKey, const char* noAccessKey, const char* inUseKey = nullptr) {
  if (errno == EBUSY && inUseKey) return inUseKey;
  return errno == EACCES ? noAccessKey : usualKey;
}

// An address part read as the decimal number 0 to 255 it is typed as ("010" is 10); anything else
// stays as typed, and the connect fails on it.
std::string AddressPart(const std::string& typed) {
  const std::optional<int> value =
      typed.empty() || typed.size() > 3 || typed.find_first_not_of("0123456789") != std::string::npos
          ? std::nullopt
          : ParseIniInteger(typed);
  return value && *value <= 255 ? std::to_string(*value) : typed;
}

// Closes the serial, parallel and USB ports; an open network link stays until a network connect.
void CloseLocalPorts() {
  CloseSerialPort();
  CloseParallelPort();
  CloseUsbPort();
}

// A serial or parallel port name with the device the port map gives it.
std::string WithDevice(const std::string& name) { return name + " (" + MapPortName(SysOptionPath(), name) + ")"; }

}  // namespace

PortStatusText StatusOfLink() {
  LinkState& link = Link();
  if (!link.open) return {};
  switch (link.currentKind.load()) {
    case PortKind::Network: return {"NET", ""};
    case PortKind::Serial: {
      const std::string name = link.Get(LinkState::Text::SerialDisplayName);
      if (name.starts_with('/')) return {"", name};  // a device found on the system is its own path
      // Names beyond COM9 stand after the caption, the others in panel 1.
      return name.size() > 4 ? PortStatusText{WithDevice(name), ""} : PortStatusText{"", WithDevice(name)};
    }
    case PortKind::Parallel: return {"", WithDevice(link.Get(LinkState::Text::LinkName))};
    case PortKind::UsbDevice:
    case PortKind::UsbPrinter: return {"", link.Get(LinkState::Text::LinkName)};
    case PortKind::Spooler: break;
  }
  return {};
}

bool IsValidComName(const std::string& name) {
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0 || name[3] < '1' || name[3] > '9') return false;
  for (std::size_t i = 4; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return true;
}

ConnectOutcome ConnectPrinter(const ConnectRequest& request) {
  LinkState& link = Link();
  if (request.selectedKind) link.selectedKind = *request.selectedKind;
  const PortKind kind = link.selectedKind;
  const PortChoice& choice = request.choice;

  CloseLocalPorts();

  ConnectOutcome outcome;
  switch (kind) {
    case PortKind::Serial: {
      // A device found on the system is opened by its path; a COMn name through the port map.
      const bool device = !choice.serialDevice.empty();
      const std::string& name = device ? choice.serialDevice : request.comName;
      if (!device && !IsValidComName(name)) return Failure("ShuRuPortError", "PortSetting", MsgIcon::None, false);
      // Names of COM10 and up carry the device-namespace prefix, as the system expects them.
      const std::string openName = !device && name.size() > 4 ? "\\\\.\\" + name : name;
      link.serialWriteTimeoutMs = pace::kSerialWriteAtConnect.ms;
      errno = 0;
      bool opened = OpenSerialPort(openName, ListValue(kBaudRates, choice.baudIndex, 2),
                                   ListValue(kDataBits, choice.dataBitIndex, 1), choice.stopBitIndex == 1 ? 2 : 1,
                                   choice.handShakeIndex == 1 ? FlowControl::XonXoff : FlowControl::Hardware,
                                   ListValue(kParityCodes, choice.parityIndex, 2));
      if (!opened) return Failure(OpenFailureKey("COMNotOpen", "NoAccessSerial"), "PortSetting", MsgIcon::None, true);
      link.Set(LinkState::Text::SerialDisplayName, name);
      break;
    }
    case PortKind::Parallel: {
      errno = 0;
      if (!OpenParallelPort(request.lptName)) {
        return Failure(OpenFailureKey("OpenLPTError", "NoAccessParallel"), "PortSetting", MsgIcon::Information, false);
      }
      link.Set(LinkState::Text::LinkName, request.lptName);
      break;
    }
    case PortKind::UsbDevice: {
      const std::string& name = request.usbName;
      if (name.empty()) return Failure("NoUsbPrinter", "PortSetting", MsgIcon::Information, false);
      const int index = UsbDeviceIndexOfName(name);
      link.Set(LinkState::Text::UsbDeviceName, name);
      errno = 0;
      if (index < 0 || OpenUsbDevicePort(index) == -1) {
        return Failure(OpenFailureKey("CantOpenUSB", "NoAccessUsbDevice", "UsbInUse"), "PortSetStr", MsgIcon::Information, true);
      }
      link.Set(LinkState::Text::LinkName, name);
      break;
    }
    case PortKind::UsbPrinter: {
      const std::string& name = request.usbName;
      if (name.empty()) return Failure("NoUsbPrinter", "PortSetting", MsgIcon::Information, false);
      errno = 0;
      if (OpenUsbPrinterPort(name) == -1) {
        return Failure(OpenFailureKey("USBNotOpen", "NoAccessUsbPrinter", "UsbInUse"), "PortSetting", MsgIcon::Information, true);
      }
      // The link name carries the class prefix, so the status bar and the editors show the same port.
      link.Set(LinkState::Text::LinkName, "class USB-" + name);
      break;
    }
    case PortKind::Network: {
      link.currentKind = PortKind::Network;
      link.Set(LinkState::Text::NetworkAddress, AddressPart(choice.ip[0]) + "." + AddressPart(choice.ip[1]) + "." +
                                                    AddressPart(choice.ip[2]) + "." + AddressPart(choice.ip[3]));
      std::optional<int> port = ParseIniInteger(choice.port);
      link.networkPort = port.value_or(-1);
      link.networkConnectTimeoutMs = pace::kNetworkConnect.ms;
      link.networkWriteTimeoutMs = pace::kNetworkWrite.ms;
      link.networkReadTimeoutMs = pace::kNetworkRead.ms;
      CloseNetworkLink();
      if (!OpenNetworkLink()) return Failure("OpenPordFailed", "Warning", MsgIcon::Warning, true);
      link.Set(LinkState::Text::LinkName, "NET");
      break;
    }
    case PortKind::Spooler: return outcome;  // no connect path opens the spooler
  }

  link.open = true;
  link.currentKind = kind;
  outcome.opened = true;
  outcome.statusChanged = true;
  const PortStatusText status = StatusOfLink();
  outcome.statusPanel0Suffix = status.panel0Suffix;
  outcome.statusPanel1 = status.panel1;
  link.SetPositions({choice.baudIndex, choice.dataBitIndex, choice.stopBitIndex, choice.handShakeIndex,
                     choice.parityIndex, choice.lptIndex, request.usbIndex});

  PortChoice saved = choice;
  saved.kind = kind;
  if (kind == PortKind::UsbDevice || kind == PortKind::UsbPrinter) saved.usbNames = request.usbListText;
  try {
    SavePortChoice(PortInfoPath(), saved);
  } catch (const IniWriteError& error) {
    outcome.iniWriteError = error.what();
  }
  return outcome;
}

}  // namespace tw
