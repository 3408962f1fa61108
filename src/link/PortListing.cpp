// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PortListing.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <fstream>

namespace tw {
namespace {

namespace fs = std::filesystem;

constexpr int kUsbDeviceIndexes = 8;    // OpenDeviceX takes indexes 0 to 7
constexpr std::size_t kEnumBufferSize = 256;
constexpr std::size_t kMaxModelLength = 64;  // keeps a name short enough for the enumeration buffer

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
  });
}

// "ttyS2" before "ttyS10": runs of digits compare by their value, everything else byte by byte.
bool NaturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t iEnd = i, jEnd = j;
      while (iEnd < a.size() && IsDigit(a[iEnd])) ++iEnd;
      while (jEnd < b.size() && IsDigit(b[jEnd])) ++jEnd;
      std::string_view x = a.substr(i, iEnd - i), y = b.substr(j, jEnd - j);
      x.remove_prefix(std::min(x.find_first_not_of('0'), x.size()));
      y.remove_prefix(std::min(y.find_first_not_of('0'), y.size()));
      if (x.size() != y.size()) return x.size() < y.size();
      if (x != y) return x < y;
      i = iEnd;
      j = jEnd;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  return i == a.size() && j < b.size();
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string ReadFirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return std::string(Trim(line));
}

std::string LinkTargetName(const fs::path& link) {
  std::error_code ec;
  fs::path target = fs::read_symlink(link, ec);
  return ec ? std::string() : target.filename().string();
}

// What a USB serial adapter tells of itself: sysfs keeps maker, product and serial number in the USB
// device, which is the tty's device itself or one or two levels above it (above the interface).
struct UsbStrings {
  std::string maker, product, serial;
};
UsbStrings UsbDeviceStrings(const fs::path& device) {
  std::error_code ec;
  fs::path dir = fs::canonical(device, ec);
  if (ec) return {};
  for (int level = 0; level < 3 && !dir.empty(); ++level, dir = dir.parent_path()) {
    UsbStrings strings{ReadFirstLine(dir / "manufacturer"), ReadFirstLine(dir / "product"), ReadFirstLine(dir / "serial")};
    if (!strings.product.empty() || !strings.maker.empty()) return strings;
    if (dir == dir.root_path()) break;
  }
  return {};
}

// The description of a tty and its USB serial number.
std::pair<std::string, std::string> DescribeTty(const fs::path& classEntry, const std::string& name) {
  const UsbStrings usb = UsbDeviceStrings(classEntry / "device");
  const std::string driver = LinkTargetName(classEntry / "device" / "driver");
  std::string text = usb.maker;
  if (!usb.product.empty()) text += (text.empty() ? "" : " ") + usb.product;
  if (!driver.empty()) text += text.empty() ? driver : " (" + driver + ")";
  if (text.empty()) text = name;
  return {text, usb.serial};
}

// The kinds of serial ports a printer is attached to.
bool IsSerialPortName(std::string_view name) {
  for (std::string_view prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
    if (name.size() > prefix.size() && name.starts_with(prefix) && IsDigit(name[prefix.size()])) return true;
  }
  return false;
}

std::vector<fs::path> SortedEntries(const fs::path& folder) {
  std::vector<fs::path> entries;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) entries.push_back(entry.path());
  std::sort(entries.begin(), entries.end(), [](const fs::path& a, const fs::path& b) {
    return NaturalLess(a.filename().string(), b.filename().string());
  });
  return entries;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const fs::path& sysRoot, const fs::path& devRoot) {
  std::vector<SerialPortInfo> ports;
  for (const fs::path& classEntry : SortedEntries(sysRoot / "class/tty")) {
    const std::string name = classEntry.filename().string();
    if (!IsSerialPortName(name)) continue;
    // Virtual consoles and pseudo-terminals have no device behind them.
    if (!Exists(classEntry / "device")) continue;
    // A serial-core port of type 0 has no UART behind it: PCs register many such ttyS placeholders.
    if (ReadFirstLine(classEntry / "type") == "0") continue;
    auto [description, serialNumber] = DescribeTty(classEntry, name);
    ports.push_back({(devRoot / name).lexically_normal().string(), description, {}, serialNumber});
  }

  for (const fs::path& link : SortedEntries(devRoot / "serial/by-id")) {
    std::error_code ec;
    fs::path target = fs::read_symlink(link, ec);
    if (ec) continue;
    if (target.is_relative()) target = link.parent_path() / target;
    const std::string device = target.lexically_normal().string();
    auto known = std::find_if(ports.begin(), ports.end(), [&](const SerialPortInfo& p) { return p.device == device; });
    if (known == ports.end()) {
      ports.push_back({device, link.filename().string(), link.string()});
    } else if (known->byId.empty()) {
      known->byId = link.string();
    }
  }

  std::stable_sort(ports.begin(), ports.end(),
                   [](const SerialPortInfo& a, const SerialPortInfo& b) { return NaturalLess(a.device, b.device); });
  return ports;
}

std::vector<std::string> ListUsbPrinters(UsbPrinterApi& printers) {
  std::array<char, kEnumBufferSize> buffer{};
  const int count = printers.EnumUSBPrinter(buffer.data(), static_cast<int>(buffer.size()));
  std::replace(buffer.begin(), buffer.end(), '@', '\0');

  // The names stand one after another, each ending at its terminator. A count larger than the names
  // there are reads only empty ones, which are left out; nothing is read past the buffer.
  std::vector<std::string> names;
  std::size_t start = 0;
  for (int i = 0; i < count && start < buffer.size(); ++i) {
    auto end = std::find(buffer.begin() + static_cast<std::ptrdiff_t>(start), buffer.end(), '\0');
    const std::size_t stop = static_cast<std::size_t>(end - buffer.begin());
    if (stop > start) names.emplace_back(buffer.data() + start, stop - start);
    start = stop + 1;
  }
  return names;
}

std::string UsbDeviceName(int index) { return "KVUSB-" + std::to_string(index + 1); }

int UsbDeviceIndexOfName(std::string_view name) {
  constexpr std::string_view kPrefix = "KVUSB-";
  if (name.size() != kPrefix.size() + 1 || !name.starts_with(kPrefix)) return -1;
  const int index = name.back() - '1';
  return index >= 0 && index < kUsbDeviceIndexes ? index : -1;
}

std::vector<std::string> ProbeUsbDevices(UsbDeviceApi& devices, int openIndex) {
  std::vector<std::string> found;
  for (int index = 0; index < kUsbDeviceIndexes; ++index) {
    if (index == openIndex) {
      found.push_back(UsbDeviceName(index));
      continue;
    }
    const int handle = devices.OpenDeviceX(index);
    if (handle >= 1) {
      found.push_back(UsbDeviceName(index));
      devices.CloseDevice(handle);
    }
  }
  return found;
}

std::string ModelFromDeviceId(std::string_view deviceId) {
  if (deviceId.size() < 2) return {};
  // The length counts its own two bytes. Some printers send it the wrong way round; the clamp and the
  // stop at the first zero byte keep such an ID readable.
  std::size_t length = (std::size_t{static_cast<uint8_t>(deviceId[0])} << 8) | static_cast<uint8_t>(deviceId[1]);
  length = std::clamp(length, std::size_t{2}, deviceId.size());
  std::string_view fields = deviceId.substr(2, length - 2);
  fields = fields.substr(0, fields.find('\0'));

  while (!fields.empty()) {
    const std::size_t semicolon = fields.find(';');
    const std::string_view field = fields.substr(0, semicolon);
    fields = semicolon == std::string_view::npos ? std::string_view() : fields.substr(semicolon + 1);
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = Trim(field.substr(0, colon));
    const std::string_view value = Trim(field.substr(colon + 1));
    if (value.empty() || !(EqualsIgnoreCase(key, "MDL") || EqualsIgnoreCase(key, "MODEL"))) continue;
    // '@' separates the names in the enumeration buffer; control characters have no place in a list.
    // Cut, the model still has no blank at its end.
    std::string model(Trim(value.substr(0, kMaxModelLength)));
    std::replace_if(model.begin(), model.end(),
                    [](char c) { return c == '@' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '_');
    return model;
  }
  return {};
}

}  // namespace tw
