// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SysOption.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "core/Ini.h"

namespace tw {
namespace {

constexpr std::string_view kUsbSection = "USBSetting";
constexpr std::string_view kPortMapSection = "PortMap";
constexpr std::string_view kWindowsDevicePrefix = "\\\\.\\";

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int ReadUint16Key(const IniDocument& document, std::string_view sectionAndKey, int fallback) {
  return std::clamp(document.ReadInteger(sectionAndKey, sectionAndKey, fallback), 0, 0xFFFF);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char upper, char c) { return c == upper || c == upper - 'A' + 'a'; });  // prefix: upper case
}

// n of "<prefix>n": at least one digit, no leading zero, at least 1.
std::optional<int> PortNumber(std::string_view name, std::string_view prefix) {
  if (!StartsWithIgnoringCase(name, prefix)) return std::nullopt;
  const std::string_view digits = name.substr(prefix.size());
  if (digits.empty() || digits[0] < '1' || digits[0] > '9') return std::nullopt;
  int number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return number;
}

}  // namespace

UsbSettings ReadUsbSettings(const std::filesystem::path& sysOption) {
  struct Key {
    std::string_view name;
    int UsbSettings::*field;
  };
  static constexpr Key kKeys[] = {
      {"USBReadTimes", &UsbSettings::readTimes},
      {"USBReadTimeout", &UsbSettings::readTimeout},
      {"USBWriteTimeout", &UsbSettings::writeTimeout},
      {"USBReadBlankTimeout", &UsbSettings::readBlankTimeout},
      {"USBWriteBlankTimeout", &UsbSettings::writeBlankTimeout},
  };
  const IniDocument document = IniDocument::Load(sysOption);
  UsbSettings settings;
  for (const Key& key : kKeys) {
    settings.*key.field = document.ReadInteger(kUsbSection, key.name, settings.*key.field);
  }
  settings.readTimes = std::clamp(settings.readTimes, -1, kMaxUsbReadTimes);
  return settings;
}

bool ModelList::Contains(std::string_view model) const {
  const std::string_view wanted = TrimBlanks(model);
  if (wanted.empty()) return false;
  return std::any_of(names.begin(), names.end(),
                     [wanted](const std::string& name) { return TrimBlanks(name) == wanted; });
}

ModelList ReadModelList(const std::filesystem::path& sysOption, std::string_view section) {
  const IniDocument document = IniDocument::Load(sysOption);
  ModelList list;
  list.num = document.ReadInteger(section, "Num", list.num);
  const int count = std::clamp(list.num, 0, kModelListLimit);
  for (int index = 1; index <= count; ++index) {
    list.names.push_back(document.ReadString(section, "Name" + std::to_string(index), ""));
  }
  return list;
}

ParallelTimeoutKeys ReadParallelTimeoutKeys(const std::filesystem::path& sysOption) {
  const IniDocument document = IniDocument::Load(sysOption);
  ParallelTimeoutKeys keys;
  keys.readTotalTimeoutConstant = ReadUint16Key(document, "ReadTotalTimeoutConstant", keys.readTotalTimeoutConstant);
  keys.writeTotalTimeoutConstant =
      ReadUint16Key(document, "WriteTotalTimeoutConstant", keys.writeTotalTimeoutConstant);
  return keys;
}

std::string MapPortName(const std::filesystem::path& sysOption, const std::string& name) {
  struct Family {
    std::string_view prefix;
    std::string_view devicePrefix;
  };
  static constexpr Family kFamilies[] = {{"COM", "/dev/ttyS"}, {"LPT", "/dev/lp"}};

  std::string_view device = name;
  if (device.starts_with(kWindowsDevicePrefix)) device.remove_prefix(kWindowsDevicePrefix.size());
  for (const Family& family : kFamilies) {
    const auto number = PortNumber(device, family.prefix);
    if (!number) continue;
    const std::string key = std::string(family.prefix) + std::to_string(*number);
    std::string mapped = ReadIniString(sysOption, kPortMapSection, key, "");
    if (!mapped.empty()) return mapped;
    return std::string(family.devicePrefix) + std::to_string(*number - 1);
  }
  return std::string(device);
}

}  // namespace tw
