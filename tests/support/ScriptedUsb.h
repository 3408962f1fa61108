// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Scripted USB layers for the link tests: reads hand out queued chunks, every call is recorded.
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "link/DeviceLibraries.h"

namespace tw::test {

class ScriptedUsbDevice : public UsbDeviceApi {
 public:
  struct Timeouts {
    int read, write;
  };
  std::vector<int> presentIndexes{0};  // indexes OpenDeviceX can open
  std::deque<std::string> reads;        // each uRead takes the next chunk (cut to its capacity)
  std::string written;
  std::vector<Timeouts> timeouts;
  std::vector<int> readCapacities;
  std::vector<int> closed;
  bool failWrites = false;

  int OpenDeviceX(int index) override;
  void SetUSBTimeouts(int handle, int readTimeout, int writeTimeout) override;
  int uWrite(int handle, int pipe, const char* bytes, int length) override;
  int uRead(int handle, int pipe, char* buffer, int capacity) override;
  void CloseDevice(int handle) override;

 private:
  std::mutex mutex_;
  int openHandle_ = -1;
};

class ScriptedUsbPrinter : public UsbPrinterApi {
 public:
  struct Timeouts {
    int write, read;
  };
  std::vector<std::string> names{"lp0 (TestModel)"};
  std::deque<std::string> reads;
  std::string written;
  std::vector<Timeouts> timeouts;
  std::vector<int> readCapacities;
  int splitAsbCalls = 0;

  int EnumUSBPrinter(char* buffer, int capacity) override;
  int OpenUSBPrinter(const std::string& name) override;
  void SetSinglePrnTimeout(int handle, int writeTimeout, int readTimeout) override;
  void SetSplitASB(int handle, int value) override;
  int WriteUSBPrinter(int handle, const char* bytes, int length, int* written) override;
  int ReadUSBPrinterForZpl(int handle, char* buffer, int capacity, int* read) override;
  void CloseUSBPrinter(int handle) override;

 private:
  std::mutex mutex_;
  int openHandle_ = -1;
};

}  // namespace tw::test
