// SPDX-License-Identifier: GPL-3.0-or-later
// The USB printer-class layer over printer nodes. Each node here is a symlink to the slave side of a
// pseudo-terminal in raw mode; the test holds the master side and plays the printer.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/DeviceLibraries.h"
#include "link/PortListing.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

// The printer's side of a stand-in node.
class FakePrinter {
 public:
  FakePrinter() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0) return;
    slavePath_ = name;
    termios raw{};
    ::tcgetattr(master_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master_, TCSANOW, &raw);
    // Keeps the slave side open while the layer opens and closes it, so the master never hangs up.
    holder_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~FakePrinter() {
    Unplug();
    if (holder_ >= 0) ::close(holder_);
  }
  bool ok() const { return master_ >= 0 && holder_ >= 0; }
  const std::string& slavePath() const { return slavePath_; }

  void Send(const std::string& bytes) const {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // What the layer wrote, until `count` bytes have come or `timeoutMs` has passed.
  std::string Receive(std::size_t count, int timeoutMs = 2000) const {
    std::string got;
    const auto start = Clock::now();
    while (got.size() < count && ElapsedMs(start) < timeoutMs) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char chunk[4096];
      ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - got.size()));
      if (n <= 0) break;
      got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
  }

  // The printer goes away: the node hangs up.
  void Unplug() {
    if (holder_ >= 0) ::close(holder_);
    holder_ = -1;
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int holder_ = -1;
  std::string slavePath_;
};

class UsbPrinterNodeTest : public ::testing::Test {
 protected:
  FakePrinter& AddPrinter(const std::string& node) {
    printers_.push_back(std::make_unique<FakePrinter>());
    EXPECT_TRUE(printers_.back()->ok()) << "no pseudo-terminal available";
    fs::create_symlink(printers_.back()->slavePath(), dir_ / node);
    return *printers_.back();
  }

  int OpenReady(const std::string& node, int writeMs = 2000, int readMs = 2000) {
    const int handle = api_->OpenUSBPrinter(node);
    EXPECT_GE(handle, 0) << node;
    api_->SetSinglePrnTimeout(handle, writeMs, readMs);
    api_->SetSplitASB(handle, 0);
    return handle;
  }

  std::string Enumerate(int capacity, int* count) {
    std::vector<char> buffer(static_cast<std::size_t>(capacity) + 16, '\0');
    std::fill(buffer.begin() + capacity, buffer.end(), '#');  // guard bytes past the capacity
    *count = api_->EnumUSBPrinter(buffer.data(), capacity);
    EXPECT_EQ(std::string(buffer.begin() + capacity, buffer.end()), std::string(16, '#')) << "overran the buffer";
    return std::string(buffer.data(), strnlen(buffer.data(), static_cast<std::size_t>(capacity)));
  }

  test::TempDir dir_;
  std::shared_ptr<UsbPrinterApi> api_ = MakeUsbPrinterNodeApi(dir_.path());
  std::vector<std::unique_ptr<FakePrinter>> printers_;
};

// --- Enumeration --------------------------------------------------------------------------------

TEST_F(UsbPrinterNodeTest, EnumeratesPrinterNodesInNumericOrder) {
  for (const char* node : {"lp1", "lp10", "lp0", "lp2"}) AddPrinter(node);
  // Not printer nodes: a regular file, a folder, a dangling link and links with other names.
  dir_.Write("lp5", "not a device");
  fs::create_directory(dir_ / "lp6");
  fs::create_symlink(dir_ / "missing", dir_ / "lp7");
  fs::create_symlink(printers_[0]->slavePath(), dir_ / "lpx");
  fs::create_symlink(printers_[0]->slavePath(), dir_ / "tty0");

  int count = 0;
  EXPECT_EQ(Enumerate(256, &count), "lp0@lp1@lp2@lp10@");
  EXPECT_EQ(count, 4);
  EXPECT_THAT(ListUsbPrinters(*api_), ::testing::ElementsAre("lp0", "lp1", "lp2", "lp10"));
}

TEST_F(UsbPrinterNodeTest, MissingFolderListsNothing) {
  auto api = MakeUsbPrinterNodeApi(dir_ / "no-such-folder");
  char buffer[256] = {};
  EXPECT_EQ(api->EnumUSBPrinter(buffer, sizeof buffer), 0);
  EXPECT_EQ(std::count(buffer, buffer + sizeof buffer, '\0'), 256);
  EXPECT_EQ(api->EnumUSBPrinter(nullptr, 256), 0);
}

TEST_F(UsbPrinterNodeTest, NamesThatDoNotFitAreLeftOutAndNotCounted) {
  for (const char* node : {"lp0", "lp1", "lp10"}) AddPrinter(node);
  struct Case {
    int capacity;
    std::string content;
    int count;
  };
  for (const Case& c : std::vector<Case>{{0, "", 0},
                                         {3, "", 0},
                                         {4, "lp0@", 1},
                                         {7, "lp0@", 1},
                                         {8, "lp0@lp1@", 2},
                                         {12, "lp0@lp1@", 2},
                                         {13, "lp0@lp1@lp10@", 3}}) {
    int count = -1;
    EXPECT_EQ(Enumerate(c.capacity, &count), c.content) << "capacity " << c.capacity;
    EXPECT_EQ(count, c.count) << "capacity " << c.capacity;
  }
}

// --- Opening ------------------------------------------------------------------------------------

TEST_F(UsbPrinterNodeTest, OpensListedNamesAndBareNodeNames) {
  AddPrinter("lp0");
  AddPrinter("lp3");
  const int bare = api_->OpenUSBPrinter("lp0");
  const int listed = api_->OpenUSBPrinter("lp3 (Label Printer 200)");
  EXPECT_GE(bare, 0);
  EXPECT_GE(listed, 0);
  EXPECT_NE(bare, listed);
  api_->CloseUSBPrinter(bare);
  api_->CloseUSBPrinter(listed);
}

TEST_F(UsbPrinterNodeTest, RefusesNamesThatAreNoPrinterNode) {
  AddPrinter("lp0");
  dir_.Write("lp5", "a regular file");
  fs::create_symlink(printers_[0]->slavePath(), dir_ / "tty0");
  for (const char* name : {"", " ", "lp", "lpx", "lp-1", "lp+1", "lp0/", "lp0x", "../lp0", "lp0/../lp0",
                           "/dev/null", "tty0", "lp9", "lp5", " lp0", "lp00000000"}) {
    EXPECT_EQ(api_->OpenUSBPrinter(name), -1) << "'" << name << "'";
  }
}

// --- Writing and reading ------------------------------------------------------------------------

TEST_F(UsbPrinterNodeTest, WrittenBytesArriveUnchanged) {
  FakePrinter& printer = AddPrinter("lp0");
  const int handle = OpenReady("lp0");
  std::string bytes;
  for (int round = 0; round < 4; ++round) {
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
  }
  int written = -1;
  EXPECT_EQ(api_->WriteUSBPrinter(handle, bytes.data(), static_cast<int>(bytes.size()), &written), 1);
  EXPECT_EQ(written, static_cast<int>(bytes.size()));
  EXPECT_EQ(printer.Receive(bytes.size()), bytes);

  EXPECT_EQ(api_->WriteUSBPrinter(handle, "", 0, &written), 1);
  EXPECT_EQ(written, 0);
  api_->CloseUSBPrinter(handle);
}

TEST_F(UsbPrinterNodeTest, ReadReturnsWhatThePrinterSent) {
  FakePrinter& printer = AddPrinter("lp0");
  const int handle = OpenReady("lp0");
  const std::string reply("V1.02\r\n\0\x01\xff", 10);
  printer.Send(reply);
  char buffer[1024] = {};
  int read = -1;
  EXPECT_EQ(api_->ReadUSBPrinterForZpl(handle, buffer, sizeof buffer, &read), 1);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max(read, 0))), reply);

  // A capacity smaller than the reply leaves the rest for the next read.
  printer.Send("ABCDEF");
  EXPECT_EQ(api_->ReadUSBPrinterForZpl(handle, buffer, 4, &read), 1);
  EXPECT_EQ(std::string(buffer, 4), "ABCD");
  EXPECT_EQ(read, 4);
  EXPECT_EQ(api_->ReadUSBPrinterForZpl(handle, buffer, sizeof buffer, &read), 1);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max(read, 0))), "EF");
  api_->CloseUSBPrinter(handle);
}

TEST_F(UsbPrinterNodeTest, ReadWaitsForTheReadTimeoutWhenNothingComes) {
  AddPrinter("lp0");
  const int handle = OpenReady("lp0", 1000, 300);
  char buffer[64];
  int read = -1;
  const auto start = Clock::now();
  EXPECT_EQ(api_->ReadUSBPrinterForZpl(handle, buffer, sizeof buffer, &read), 1);
  const long elapsed = ElapsedMs(start);
  EXPECT_EQ(read, 0);
  EXPECT_GE(elapsed, 280);
  EXPECT_LT(elapsed, 2000);
  api_->CloseUSBPrinter(handle);
}

TEST_F(UsbPrinterNodeTest, WriteFailsWithinItsTimeoutWhenThePrinterTakesNothing) {
  AddPrinter("lp0");  // the printer never reads, so the node's buffer fills up
  const int handle = OpenReady("lp0", 300, 300);
  const std::string bytes(4 << 20, 'x');
  int written = -1;
  const auto start = Clock::now();
  EXPECT_EQ(api_->WriteUSBPrinter(handle, bytes.data(), static_cast<int>(bytes.size()), &written), 0);
  EXPECT_LT(ElapsedMs(start), 3000);
  EXPECT_GE(written, 0);
  EXPECT_LT(written, static_cast<int>(bytes.size()));
  api_->CloseUSBPrinter(handle);
}

TEST_F(UsbPrinterNodeTest, UnpluggedPrinterFailsAtOnce) {
  FakePrinter& printer = AddPrinter("lp0");
  const int handle = OpenReady("lp0", 5000, 5000);
  printer.Unplug();
  char buffer[64];
  int read = -1;
  auto start = Clock::now();
  EXPECT_EQ(api_->ReadUSBPrinterForZpl(handle, buffer, sizeof buffer, &read), 0);
  EXPECT_EQ(read, 0);
  EXPECT_LT(ElapsedMs(start), 1000);
  int written = -1;
  start = Clock::now();
  EXPECT_EQ(api_->WriteUSBPrinter(handle, "~HS", 3, &written), 0);
  EXPECT_LT(written, 3);
  EXPECT_LT(ElapsedMs(start), 1000);
  api_->CloseUSBPrinter(handle);
}

TEST_F(UsbPrinterNodeTest, BadAndClosedHandlesFailCleanly) {
  AddPrinter("lp0");
  const int closed = OpenReady("lp0");
  api_->CloseUSBPrinter(closed);
  for (int handle : {-1, closed, closed + 1000, 0x7fffffff}) {
    api_->SetSinglePrnTimeout(handle, 100, 100);
    api_->SetSplitASB(handle, 0);
    int written = 77;
    EXPECT_EQ(api_->WriteUSBPrinter(handle, "abc", 3, &written), 0) << handle;
    EXPECT_EQ(written, 0) << handle;
    char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    int read = 77;
    EXPECT_EQ(api_->ReadUSBPrinterForZpl(handle, buffer, sizeof buffer, &read), 0) << handle;
    EXPECT_EQ(read, 0) << handle;
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(8, '#')) << handle;
    api_->CloseUSBPrinter(handle);
  }
  // Bad arguments on a good handle.
  const int open = OpenReady("lp0");
  int count = 77;
  EXPECT_EQ(api_->WriteUSBPrinter(open, "abc", -1, &count), 0);
  EXPECT_EQ(api_->WriteUSBPrinter(open, nullptr, 3, &count), 0);
  EXPECT_EQ(count, 0);
  count = 77;
  EXPECT_EQ(api_->ReadUSBPrinterForZpl(open, nullptr, 8, &count), 0);
  EXPECT_EQ(count, 0);
  char one;
  EXPECT_EQ(api_->ReadUSBPrinterForZpl(open, &one, 0, &count), 0);
  api_->CloseUSBPrinter(open);
}

// --- Two threads --------------------------------------------------------------------------------

using UsbPrinterNodeThreads = UsbPrinterNodeTest;

TEST_F(UsbPrinterNodeThreads, ReadReturnsAsSoonAsDataComes) {
  FakePrinter& printer = AddPrinter("lp0");
  const int handle = OpenReady("lp0", 1000, 5000);
  std::thread sender([&] {
    std::this_thread::sleep_for(milliseconds(100));
    printer.Send("OK");
  });
  char buffer[64];
  int read = -1;
  const auto start = Clock::now();
  EXPECT_EQ(api_->ReadUSBPrinterForZpl(handle, buffer, sizeof buffer, &read), 1);
  EXPECT_LT(ElapsedMs(start), 3000);
  sender.join();
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max(read, 0))), "OK");
  api_->CloseUSBPrinter(handle);
}

TEST_F(UsbPrinterNodeThreads, CloseEndsAWaitingReadAtOnce) {
  AddPrinter("lp0");
  for (int round = 0; round < 20; ++round) {
    const int handle = OpenReady("lp0", 10000, 10000);
    std::atomic<long> readEndedMs{-1};
    std::atomic<int> readCount{-1};
    const auto start = Clock::now();
    std::thread reader([&] {
      char buffer[1024];
      int read = -1;
      api_->ReadUSBPrinterForZpl(handle, buffer, sizeof buffer, &read);
      readCount = read;
      readEndedMs = ElapsedMs(start);
    });
    std::this_thread::sleep_for(milliseconds(round % 4 == 0 ? 50 : round % 3));
    const long closedAtMs = ElapsedMs(start);
    api_->CloseUSBPrinter(handle);
    reader.join();
    EXPECT_EQ(readCount, 0) << "round " << round;
    EXPECT_LT(readEndedMs - closedAtMs, 1000) << "round " << round;
    int written = 77;
    EXPECT_EQ(api_->WriteUSBPrinter(handle, "x", 1, &written), 0) << "round " << round;
  }
}

TEST_F(UsbPrinterNodeThreads, CloseEndsAWriteThatWaitsForThePrinter) {
  AddPrinter("lp0");  // never reads, so the write waits for room
  const int handle = OpenReady("lp0", 20000, 1000);
  const std::string bytes(4 << 20, 'x');
  std::atomic<int> result{-1};
  std::thread writer([&] {
    int written = 0;
    result = api_->WriteUSBPrinter(handle, bytes.data(), static_cast<int>(bytes.size()), &written);
  });
  std::this_thread::sleep_for(milliseconds(200));
  const auto closedAt = Clock::now();
  api_->CloseUSBPrinter(handle);
  writer.join();
  EXPECT_LT(ElapsedMs(closedAt), 1000);
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace tw
