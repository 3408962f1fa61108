// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ScriptedUsb.h"

#include <algorithm>
#include <cstring>

namespace tw::test {
namespace {

// Takes the next queued chunk, at most `capacity` bytes of it (the rest stays queued).
int TakeChunk(std::deque<std::string>& reads, char* buffer, int capacity) {
  if (reads.empty()) return 0;
  std::string& chunk = reads.front();
  int n = std::min<int>(capacity, static_cast<int>(chunk.size()));
  std::memcpy(buffer, chunk.data(), static_cast<std::size_t>(n));
  chunk.erase(0, static_cast<std::size_t>(n));
  if (chunk.empty()) reads.pop_front();
  return n;
}

}  // namespace

int ScriptedUsbDevice::OpenDeviceX(int index) {
  std::lock_guard lock(mutex_);
  if (std::find(presentIndexes.begin(), presentIndexes.end(), index) == presentIndexes.end()) return -1;
  openHandle_ = 10 + index;
  return openHandle_;
}

void ScriptedUsbDevice::SetUSBTimeouts(int, int readTimeout, int writeTimeout) {
  std::lock_guard lock(mutex_);
  timeouts.push_back({readTimeout, writeTimeout});
}

int ScriptedUsbDevice::uWrite(int handle, int, const char* bytes, int length) {
  std::lock_guard lock(mutex_);
  if (handle != openHandle_ || failWrites) return 0;
  written.append(bytes, static_cast<std::size_t>(length));
  return length;
}

int ScriptedUsbDevice::uRead(int handle, int, char* buffer, int capacity) {
  std::lock_guard lock(mutex_);
  readCapacities.push_back(capacity);
  if (handle != openHandle_) return -1;
  return TakeChunk(reads, buffer, capacity);
}

void ScriptedUsbDevice::CloseDevice(int handle) {
  std::lock_guard lock(mutex_);
  closed.push_back(handle);
  if (handle == openHandle_) openHandle_ = -1;
}

int ScriptedUsbPrinter::EnumUSBPrinter(char* buffer, int capacity) {
  std::string all;
  for (const auto& name : names) all += name + "@";
  std::memcpy(buffer, all.data(), std::min<std::size_t>(all.size(), static_cast<std::size_t>(capacity)));
  return static_cast<int>(names.size());
}

int ScriptedUsbPrinter::OpenUSBPrinter(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (std::find(names.begin(), names.end(), name) == names.end()) return -1;
  openHandle_ = 3;
  return openHandle_;
}

void ScriptedUsbPrinter::SetSinglePrnTimeout(int, int writeTimeout, int readTimeout) {
  std::lock_guard lock(mutex_);
  timeouts.push_back({writeTimeout, readTimeout});
}

void ScriptedUsbPrinter::SetSplitASB(int, int) {
  std::lock_guard lock(mutex_);
  ++splitAsbCalls;
}

int ScriptedUsbPrinter::WriteUSBPrinter(int handle, const char* bytes, int length, int* writtenOut) {
  std::lock_guard lock(mutex_);
  if (handle != openHandle_) return 0;
  written.append(bytes, static_cast<std::size_t>(length));
  *writtenOut = length;
  return 1;
}

int ScriptedUsbPrinter::ReadUSBPrinterForZpl(int handle, char* buffer, int capacity, int* read) {
  std::lock_guard lock(mutex_);
  readCapacities.push_back(capacity);
  *read = handle == openHandle_ ? TakeChunk(reads, buffer, capacity) : 0;
  return *read > 0;
}

void ScriptedUsbPrinter::CloseUSBPrinter(int handle) {
  std::lock_guard lock(mutex_);
  if (handle == openHandle_) openHandle_ = -1;
}

}  // namespace tw::test
