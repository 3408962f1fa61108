// SPDX-License-Identifier: GPL-3.0-or-later
// The libusb device layer, as far as it can be checked without a printer attached: indexes with no
// device and handles that name nothing fail cleanly, whether or not USB is available at all.
#include <algorithm>
#include <cctype>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "link/DeviceLibraries.h"

namespace tw {
namespace {

// "04d2:162e" or "04d2:162e Product": vendor and product in four lower-case hexadecimal digits each.
bool IsDeviceDescription(const std::string& text) {
  auto hex = [&](std::size_t from) {
    for (std::size_t i = from; i < from + 4; ++i) {
      if (!std::isxdigit(static_cast<unsigned char>(text[i])) || std::isupper(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
  };
  return text.size() >= 9 && hex(0) && text[4] == ':' && hex(5) && (text.size() == 9 || text[9] == ' ');
}

TEST(UsbDeviceLibUsb, IndexesOutsideZeroToSevenNeverOpen) {
  auto devices = MakeLibUsbDeviceApi();
  for (int index : {-1, 8, 9, 100, INT_MIN, INT_MAX}) {
    EXPECT_EQ(devices->OpenDeviceX(index), -1) << index;
    EXPECT_EQ(devices->Describe(index), "") << index;
  }
}

TEST(UsbDeviceLibUsb, IndexWithoutAPrinterDeviceDoesNotOpen) {
  auto devices = MakeLibUsbDeviceApi();
  for (int index = 0; index < 8; ++index) {
    const std::string described = devices->Describe(index);
    if (described.empty()) {
      EXPECT_EQ(devices->OpenDeviceX(index), -1) << index;
    } else {
      // A printer is attached at this index: only its description can be checked here.
      EXPECT_TRUE(IsDeviceDescription(described)) << described;
    }
  }
}

TEST(UsbDeviceLibUsb, HandlesThatNameNothingFailCleanly) {
  auto devices = MakeLibUsbDeviceApi();
  for (int handle : {-1, 0, 1, 2, 12345, INT_MAX}) {
    devices->SetUSBTimeouts(handle, 5, 5);
    EXPECT_LE(devices->uWrite(handle, 0, "~HS", 3), 0) << handle;
    char buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    EXPECT_LE(devices->uRead(handle, 1, buffer, sizeof buffer), 0) << handle;
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(16, '#')) << handle;
    devices->CloseDevice(handle);
    devices->CloseDevice(handle);
  }
}

TEST(UsbDeviceLibUsbThreads, FirstUseFromTwoThreadsAtOnce) {
  // The library is started lazily; two layers used at the same moment must share one clean start.
  std::vector<int> results(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&results, i] {
      auto devices = MakeLibUsbDeviceApi();
      results[i] = devices->Describe(7).empty() ? devices->OpenDeviceX(7) : -1;
    });
  }
  for (auto& thread : threads) thread.join();
  for (int result : results) EXPECT_EQ(result, -1);
}

}  // namespace
}  // namespace tw
