// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the port settings read from the command line and from the program's files: the CLI's
// --port value, lib/PortInfo.ini and lib/SysOption.ini.
// Input layout: the --port text NUL, a port name NUL, then the INI text (read both as PortInfo.ini
// and as SysOption.ini).
// Properties checked:
//  - a --port value that parses holds values within their ranges, and written back in the
//    documented form it parses to the same settings;
//  - PortInfo.ini's positions lie within their lists (or are -1), and the choice written back into
//    the file reads back the same;
//  - SysOption.ini's values lie within their ranges (read rounds, time-outs in 16 bits, a model list
//    of min(Num, limit) entries), and a COMn or LPTn name maps to a path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "cli/PortSpec.h"
#include "core/Ini.h"
#include "core/SysOption.h"
#include "portset/PortInfo.h"

using fuzz::Require;

namespace {

bool SamePortSpec(const tw::PortSpec& a, const tw::PortSpec& b) {
  return a.kind == b.kind && a.name == b.name && a.number == b.number && a.serial.baud == b.serial.baud &&
         a.serial.dataBits == b.serial.dataBits && a.serial.stopBits == b.serial.stopBits &&
         a.serial.parity == b.serial.parity && a.serial.flow == b.serial.flow;
}

std::string WrittenBack(const tw::PortSpec& spec) {
  switch (spec.kind) {
    case tw::PortKind::Network: return "net:" + spec.name + ":" + std::to_string(spec.number);
    case tw::PortKind::Serial:
      return "serial:" + spec.name + ":" + std::to_string(spec.serial.baud) + ":" + std::to_string(spec.serial.dataBits) +
             "NOE"[spec.serial.parity] + std::to_string(spec.serial.stopBits) + ":" +
             (spec.serial.flow == tw::FlowControl::Hardware ? "hw" : "sw");
    case tw::PortKind::Parallel: return "lpt:" + spec.name;
    case tw::PortKind::UsbPrinter: return "usblp:" + spec.name;
    case tw::PortKind::UsbDevice: return "usb:" + std::to_string(spec.number);
    case tw::PortKind::Spooler: break;
  }
  Require(false);
  return {};
}

void CheckPortSpec(const std::string& text) {
  std::string error;
  const std::optional<tw::PortSpec> spec = tw::ParsePortSpec(text, &error);
  if (!spec) {
    Require(!error.empty());
    return;
  }
  Require(!spec->name.empty() || spec->kind == tw::PortKind::UsbDevice);
  if (spec->kind == tw::PortKind::Network) Require(spec->number >= 1 && spec->number <= 65535);
  if (spec->kind == tw::PortKind::UsbDevice) Require(spec->number >= 1 && spec->number <= 8);
  const tw::SerialSettings& serial = spec->serial;
  Require(serial.dataBits >= 5 && serial.dataBits <= 8 && (serial.stopBits == 1 || serial.stopBits == 2) &&
          serial.parity >= 0 && serial.parity <= 2);
  const std::optional<tw::PortSpec> again = tw::ParsePortSpec(WrittenBack(*spec), nullptr);
  Require(again && SamePortSpec(*spec, *again));
}

void RequireListPosition(int position, int listSize) { Require(position >= -1 && position < listSize); }

bool SameChoice(const tw::PortChoice& a, const tw::PortChoice& b) {
  return a.kind == b.kind && a.comIndex == b.comIndex && a.baudIndex == b.baudIndex &&
         a.dataBitIndex == b.dataBitIndex && a.stopBitIndex == b.stopBitIndex &&
         a.handShakeIndex == b.handShakeIndex && a.parityIndex == b.parityIndex && a.lptIndex == b.lptIndex &&
         a.usbNames == b.usbNames && a.ip == b.ip && a.port == b.port && a.commandSet == b.commandSet;
}

// A text that an INI value keeps as it is: one line, no blank at its ends, not wholly in quotes
// (the read rules of the profile functions take those away).
bool KeptAsIs(std::string_view value) {
  if (value.find_first_of("\r\n") != std::string_view::npos || value.size() > tw::kIniValueLimit) return false;
  if (value.empty()) return true;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  if (blank(value.front()) || blank(value.back())) return false;
  return !(value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front());
}

void CheckPortInfo(std::string_view text) {
  tw::IniDocument document = tw::IniDocument::Parse(text);
  const tw::PortChoice choice = tw::ReadPortChoice(document);
  RequireListPosition(choice.comIndex, tw::kComListSize);
  RequireListPosition(choice.baudIndex, tw::kBaudListSize);
  RequireListPosition(choice.dataBitIndex, tw::kDataBitListSize);
  RequireListPosition(choice.stopBitIndex, tw::kStopBitListSize);
  RequireListPosition(choice.handShakeIndex, tw::kHandShakeListSize);
  RequireListPosition(choice.parityIndex, tw::kParityListSize);
  RequireListPosition(choice.lptIndex, tw::kLptListSize);
  RequireListPosition(choice.commandSet, tw::kCommandSetListSize);
  // Written back, the port name is one the program writes: that it was not recognised before is
  // the one thing that may read differently. Texts that hand-editing put in quotes with blanks at
  // their ends lose those blanks when written back (the profile functions' rules).
  if (!KeptAsIs(choice.usbNames) || !KeptAsIs(choice.port)) return;
  for (const std::string& part : choice.ip) {
    if (!KeptAsIs(part)) return;
  }
  tw::WritePortChoice(document, choice);
  Require(SameChoice(tw::ReadPortChoice(document), choice));
}

void CheckSysOption(std::string_view text, const std::string& portName) {
  const std::filesystem::path file = fuzz::WriteScratch("SysOption.ini", text);
  const tw::UsbSettings usb = tw::ReadUsbSettings(file);
  Require(usb.readTimes >= -1 && usb.readTimes <= tw::kMaxUsbReadTimes);
  const tw::ParallelTimeoutKeys parallel = tw::ReadParallelTimeoutKeys(file);
  Require(parallel.readTotalTimeoutConstant >= 0 && parallel.readTotalTimeoutConstant <= 0xFFFF);
  Require(parallel.writeTotalTimeoutConstant >= 0 && parallel.writeTotalTimeoutConstant <= 0xFFFF);
  for (std::string_view section : {tw::kResolution300Section, tw::kPrintTransferModeSection}) {
    const tw::ModelList list = tw::ReadModelList(file, section);
    Require(list.names.size() == static_cast<std::size_t>(std::clamp(list.num, 0, tw::kModelListLimit)));
  }
  const std::string mapped = tw::MapPortName(file, portName);
  Require(!portName.empty() || mapped.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::string portSpec(input.Field());
  const std::string portName(input.Field());
  const std::string_view iniText = input.Rest();
  CheckPortSpec(portSpec);
  CheckPortInfo(iniText);
  CheckSysOption(iniText, portName);
  return 0;
}
