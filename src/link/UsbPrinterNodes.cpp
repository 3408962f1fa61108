// SPDX-License-Identifier: GPL-3.0-or-later
// The USB printer-class layer over the kernel's printer nodes (lp0, lp1, ... in /dev/usb). Each open
// printer is an FdChannel in a handle table; a call in flight keeps its own reference, and a close
// cancels the channel so that a reader waiting in another thread returns at once.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "link/DeviceLibraries.h"
#include "link/FdChannel.h"
#include "link/HandleTable.h"
#include "link/PortListing.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// The printer driver's "get IEEE-1284 device ID" request; not every system installs its header.
constexpr unsigned long GetDeviceIdRequest(unsigned size) { return _IOC(_IOC_READ, 'P', 1, size); }
constexpr std::size_t kDeviceIdSize = 1024;
constexpr int kDefaultTimeoutMs = 4000;
constexpr long kDrainRestMs = 2;

// Only "lp" followed by digits is a node name, so no name can reach outside the node folder.
std::optional<int> NodeNumber(std::string_view node) {
  if (node.size() < 3 || node.size() > 6 || node.substr(0, 2) != "lp") return std::nullopt;
  const std::string_view digits = node.substr(2);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  int number = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return number;
}

// The model from the node's device ID; "" when the node cannot be opened (a printer that is in use
// refuses a second open) or gives no ID.
std::string ReadModel(const fs::path& node) {
  const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return {};
  std::array<char, kDeviceIdSize> id{};
  const int result = ::ioctl(fd, GetDeviceIdRequest(id.size()), id.data());
  ::close(fd);
  return result < 0 ? std::string() : ModelFromDeviceId({id.data(), id.size()});
}

struct OpenPrinter {
  explicit OpenPrinter(int fd) : channel(fd) {}
  FdChannel channel;
  // Milliseconds, at least 1: a wait without limit would hang the caller, and a zero write time-out
  // would not write at all.
  std::atomic<int> writeTimeoutMs{kDefaultTimeoutMs};
  std::atomic<int> readTimeoutMs{kDefaultTimeoutMs};
};

class UsbPrinterNodes final : public UsbPrinterApi {
 public:
  explicit UsbPrinterNodes(fs::path folder) : folder_(std::move(folder)) {}

  int EnumUSBPrinter(char* buffer, int capacity) override {
    if (!buffer || capacity <= 0) return 0;
    int count = 0;
    std::size_t used = 0;
    for (const std::string& name : PrinterNames()) {
      const std::string entry = name + '@';
      if (entry.size() > static_cast<std::size_t>(capacity) - used) continue;
      std::memcpy(buffer + used, entry.data(), entry.size());
      used += entry.size();
      ++count;
    }
    return count;
  }

  int OpenUSBPrinter(const std::string& name) override {
    // A listed name reads "lp0 (MODEL)"; the node is the part before the blank.
    const std::string node = name.substr(0, name.find(' '));
    if (!NodeNumber(node)) return errno = ENODEV, -1;
    const int fd = ::open((folder_ / node).c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
      ::close(fd);
      return errno = ENODEV, -1;
    }
    return printers_.Add(std::make_shared<OpenPrinter>(fd));
  }

  void SetSinglePrnTimeout(int handle, int writeTimeout, int readTimeout) override {
    if (auto printer = printers_.Find(handle)) {
      printer->writeTimeoutMs = std::max(writeTimeout, 1);
      printer->readTimeoutMs = std::max(readTimeout, 1);
    }
  }

  // The printer nodes have no status channel to split off; the call is accepted and changes nothing.
  void SetSplitASB(int, int) override {}

  int WriteUSBPrinter(int handle, const char* bytes, int length, int* written) override {
    if (written) *written = 0;
    auto printer = printers_.Find(handle);
    if (!printer || length < 0 || (!bytes && length > 0)) return 0;
    const std::size_t done =
        printer->channel.WriteAll(bytes, static_cast<std::size_t>(length), printer->writeTimeoutMs);
    if (written) *written = static_cast<int>(done);
    return done == static_cast<std::size_t>(length) ? 1 : 0;
  }

  int ReadUSBPrinterForZpl(int handle, char* buffer, int capacity, int* read) override {
    if (read) *read = 0;
    auto printer = printers_.Find(handle);
    if (!printer || !buffer || capacity <= 0) return 0;
    const long n = printer->channel.ReadWithin(buffer, static_cast<std::size_t>(capacity), printer->readTimeoutMs);
    if (n < 0) return 0;
    if (read) *read = static_cast<int>(n);
    return 1;
  }

  // The printer driver sends one block at a time and a write returns once its block is on its way,
  // so the last block may still be unsent when the last write returns. A write of no bytes tells:
  // EAGAIN while a block is on its way, success once the printer took it, ENODEV when the device
  // went away; poll() tells when the block is done.
  int DrainUSBPrinter(int handle) override {
    auto printer = printers_.Find(handle);
    if (!printer) return 0;
    const FdChannel& channel = printer->channel;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(printer->writeTimeoutMs.load());
    for (;;) {
      if (channel.cancelled()) return 0;
      if (::write(channel.fd(), "", 0) == 0) return 1;
      if (errno != EAGAIN && errno != EINTR) return 0;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return 0;
      channel.WaitWritable(static_cast<int>(left));
      // A node that reports itself ready before its block is done is asked again after a short rest.
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long>(kDrainRestMs, left)));
    }
  }

  bool WentAway(int handle) override {
    auto printer = printers_.Find(handle);
    return printer && printer->channel.wentAway();
  }

  void CloseUSBPrinter(int handle) override {
    if (auto printer = printers_.Remove(handle)) printer->channel.Cancel();
  }

 private:
  // The character-device nodes of the folder in the order of their numbers, each named by its node
  // and, where the device ID gives one, its model: "lp0 (MODEL)".
  std::vector<std::string> PrinterNames() const {
    std::vector<std::pair<int, std::string>> nodes;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
      const std::string node = entry.path().filename().string();
      auto number = NodeNumber(node);
      std::error_code typeError;
      if (number && fs::is_character_file(entry.path(), typeError)) nodes.emplace_back(*number, node);
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> names;
    for (const auto& [number, node] : nodes) {
      const std::string model = ReadModel(folder_ / node);
      names.push_back(model.empty() ? node : node + " (" + model + ")");
    }
    return names;
  }

  fs::path folder_;
  HandleTable<OpenPrinter> printers_{1};
};

}  // namespace

std::shared_ptr<UsbPrinterApi> MakeUsbPrinterNodeApi(const std::filesystem::path& nodeFolder) {
  return std::make_shared<UsbPrinterNodes>(nodeFolder);
}

}  // namespace tw
