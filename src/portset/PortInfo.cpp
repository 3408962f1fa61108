// SPDX-License-Identifier: GPL-3.0-or-later
#include "portset/PortInfo.h"

#include <optional>
#include <string_view>

#include "core/Ini.h"

namespace tw {
namespace {

constexpr std::string_view kSection = "PortInfo";
constexpr std::string_view kCommandSection = "CommandInfo";  // its only key has the same name
constexpr std::string_view kPortNameKey = "PortName";
constexpr std::string_view kUsbNameKey = "USBName";
constexpr std::string_view kSerialDeviceKey = "SerialDevice";
constexpr std::string_view kPortKey = "Port";
constexpr std::string_view kDefaultPortName = "COM0";

struct SerialKey {
  std::string_view name;
  int PortChoice::*field;
  int listSize;
};
constexpr SerialKey kSerialKeys[] = {
    {"baudRate", &PortChoice::baudIndex, kBaudListSize},
    {"DataBit", &PortChoice::dataBitIndex, kDataBitListSize},
    {"StopBit", &PortChoice::stopBitIndex, kStopBitListSize},
    {"HandShake", &PortChoice::handShakeIndex, kHandShakeListSize},
    {"Parity", &PortChoice::parityIndex, kParityListSize},
};

std::string IpKey(std::size_t part) { return "IP" + std::to_string(part + 1); }

int ListPosition(int position, int listSize) { return position >= 0 && position < listSize ? position : -1; }

}  // namespace

PortChoice ReadPortChoice(const std::filesystem::path& portInfo) { return ReadPortChoice(IniDocument::Load(portInfo)); }

PortChoice ReadPortChoice(const IniDocument& document) {
  PortChoice choice;
  const std::string portName = document.ReadString(kSection, kPortNameKey, kDefaultPortName);
  // Letter case counts: "Net" is not "NET".
  std::string_view family = std::string_view(portName).substr(0, 3);
  std::optional<int> number = ParseIniInteger(std::string_view(portName).substr(family.size()));
  // The program never writes a COM, LPT or USB name without a number after it ("COM", "LPTx");
  // such a name is read as the default "COM0", so that the file's serial settings still apply.
  if ((family == "COM" || family == "LPT" || family == "USB") && !number) {
    family = "COM";
    number = 0;
  }

  if (family == "COM") {
    choice.kind = PortKind::Serial;
    choice.comIndex = ListPosition(*number, kComListSize);
    choice.serialDevice = document.ReadString(kSection, kSerialDeviceKey, "");
    for (const SerialKey& key : kSerialKeys) {
      choice.*key.field = ListPosition(document.ReadInteger(kSection, key.name, choice.*key.field), key.listSize);
    }
  } else if (family == "LPT") {
    choice.kind = PortKind::Parallel;
    choice.lptIndex = ListPosition(*number, kLptListSize);
  } else if (family == "USB") {
    choice.kind = *number == 1 ? PortKind::UsbDevice : PortKind::UsbPrinter;
    choice.usbNames = document.ReadString(kSection, kUsbNameKey, choice.usbNames);
  } else if (family == "NET") {
    choice.kind = PortKind::Network;
    for (std::size_t part = 0; part < choice.ip.size(); ++part) {
      choice.ip[part] = document.ReadString(kSection, IpKey(part), choice.ip[part]);
    }
    choice.port = document.ReadString(kSection, kPortKey, choice.port);
  } else {
    choice.kind = PortKind::Serial;
    choice.serialFromFile = false;
  }
  choice.commandSet = ListPosition(document.ReadInteger(kCommandSection, kCommandSection, 0), kCommandSetListSize);
  return choice;
}

void SavePortChoice(const std::filesystem::path& portInfo, const PortChoice& choice) {
  IniDocument document = IniDocument::LoadForUpdate(portInfo);
  WritePortChoice(document, choice);
  document.Save(portInfo);
}

void WritePortChoice(IniDocument& document, const PortChoice& choice) {
  const auto write = [&](std::string_view key, const std::string& value) { document.Write(kSection, key, value); };
  switch (choice.kind) {
    case PortKind::Serial:
      write(kPortNameKey, "COM" + std::to_string(choice.comIndex));
      // A file that never named a device stays as it was; one that did forgets it for a COMn name.
      if (!choice.serialDevice.empty() || document.ReadString(kSection, kSerialDeviceKey, "\x01") != "\x01") {
        write(kSerialDeviceKey, choice.serialDevice);
      }
      for (const SerialKey& key : kSerialKeys) document.WriteInteger(kSection, key.name, choice.*key.field);
      break;
    case PortKind::Parallel:
      write(kPortNameKey, "LPT" + std::to_string(choice.lptIndex));
      break;
    case PortKind::UsbDevice:
    case PortKind::UsbPrinter:
      write(kPortNameKey, choice.kind == PortKind::UsbDevice ? "USB1" : "USB2");
      write(kUsbNameKey, choice.usbNames);
      break;
    case PortKind::Network:
      write(kPortNameKey, "NET");
      for (std::size_t part = 0; part < choice.ip.size(); ++part) write(IpKey(part), choice.ip[part]);
      write(kPortKey, choice.port);
      break;
    case PortKind::Spooler:
      break;
  }
  document.WriteInteger(kCommandSection, kCommandSection, choice.commandSet);
}

}  // namespace tw
