// SPDX-License-Identifier: GPL-3.0-or-later
// The USB device layer over libusb. Device index n is the n-th attached device (in libusb's list
// order) with a printer-class interface that has a bulk IN and a bulk OUT endpoint. Transfers are
// submitted asynchronously and waited for, so that closing a device from another thread cancels a
// transfer in flight instead of leaving its caller blocked for the whole time-out.
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "link/DeviceLibraries.h"
#include "link/HandleTable.h"
#include "link/LinkTraffic.h"
#include "link/WaitInterrupt.h"

namespace tw {
namespace {

constexpr int kDeviceIndexes = 8;              // OpenDeviceX takes indexes 0 to 7
constexpr int kDefaultTimeoutMs = 1000;        // until SetUSBTimeouts is called
constexpr int kTimeoutUnitMs = 100;            // SetUSBTimeouts counts in tenths of a second
constexpr int kMaxReadLength = 1 << 20;        // longest single bulk IN transfer
constexpr int kFallbackPacketSize = 512;       // for a descriptor that gives no packet size

// The one libusb context of the process, made on first use. It is never freed: a device may be closed
// by a static destructor after any owner of the context would be gone. Without USB (a sandbox) it is
// null and every call fails.
libusb_context* Context() {
  static libusb_context* const context = [] {
    libusb_context* made = nullptr;
    return libusb_init(&made) == LIBUSB_SUCCESS ? made : nullptr;
  }();
  return context;
}

struct PrinterInterface {
  int number = 0;
  int altSetting = 0;
  unsigned char inEndpoint = 0;
  unsigned char outEndpoint = 0;
  int inPacketSize = 0;
};

std::optional<PrinterInterface> FindPrinterInterface(libusb_device* device) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != 0 &&
      libusb_get_config_descriptor(device, 0, &config) != 0) {
    return std::nullopt;
  }
  std::optional<PrinterInterface> found;
  for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
    const libusb_interface& interface = config->interface[i];
    for (int a = 0; a < interface.num_altsetting && !found; ++a) {
      const libusb_interface_descriptor& setting = interface.altsetting[a];
      if (setting.bInterfaceClass != LIBUSB_CLASS_PRINTER) continue;
      PrinterInterface candidate{setting.bInterfaceNumber, setting.bAlternateSetting};
      for (int e = 0; e < setting.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
        if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
        if ((endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN) {
          if (!candidate.inEndpoint) {
            candidate.inEndpoint = endpoint.bEndpointAddress;
            candidate.inPacketSize = endpoint.wMaxPacketSize & 0x7FF;
          }
        } else if (!candidate.outEndpoint) {
          candidate.outEndpoint = endpoint.bEndpointAddress;
        }
      }
      if (candidate.inEndpoint && candidate.outEndpoint) found = candidate;
    }
  }
  libusb_free_config_descriptor(config);
  return found;
}

struct DeviceUnref {
  void operator()(libusb_device* device) const { libusb_unref_device(device); }
};

struct FoundDevice {
  std::unique_ptr<libusb_device, DeviceUnref> device;
  PrinterInterface interface;
};

FoundDevice FindPrinterDevice(libusb_context* context, int index) {
  FoundDevice found;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context, &list);
  for (ssize_t i = 0; i < count && !found.device; ++i) {
    auto interface = FindPrinterInterface(list[i]);
    if (interface && index-- == 0) {
      found.device.reset(libusb_ref_device(list[i]));
      found.interface = *interface;
    }
  }
  if (count >= 0) libusb_free_device_list(list, 1);
  return found;
}

std::string ProductName(libusb_device* device, uint8_t stringIndex) {
  if (stringIndex == 0) return {};
  libusb_device_handle* handle = nullptr;
  if (libusb_open(device, &handle) != 0) return {};
  unsigned char text[128] = {};
  const int length = libusb_get_string_descriptor_ascii(handle, stringIndex, text, sizeof text);
  libusb_close(handle);
  if (length <= 0) return {};
  std::string product(reinterpret_cast<char*>(text), static_cast<std::size_t>(length));
  std::replace_if(product.begin(), product.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '_');
  return product;
}

// 16-bit values in tenths of a second; 0 would mean "no limit" to libusb, which no caller means.
int TimeoutMs(int tenths) { return std::clamp(tenths, 1, 0xFFFF) * kTimeoutUnitMs; }

void LIBUSB_CALL OnTransferDone(libusb_transfer* transfer) {
  __atomic_store_n(static_cast<int*>(transfer->user_data), 1, __ATOMIC_RELEASE);
}

struct TransferFree {
  void operator()(libusb_transfer* transfer) const { libusb_free_transfer(transfer); }
};

// One opened and claimed device. The libusb handle is closed when the last user lets go.
class UsbDevice {
 public:
  UsbDevice(libusb_context* context, libusb_device_handle* handle, const PrinterInterface& interface)
      : context_(context), handle_(handle), interface_(interface) {}
  ~UsbDevice() {
    if (claimed_ && !gone_) libusb_release_interface(handle_, interface_.number);
    libusb_close(handle_);
  }
  UsbDevice(const UsbDevice&) = delete;
  UsbDevice& operator=(const UsbDevice&) = delete;

  // Claims the printer interface on first use, detaching the kernel's printer driver; libusb attaches
  // it again when the interface is released at close. Not every platform can detach a driver; the
  // claim tells whether the device is free. False once the device is gone or cannot be claimed.
  bool Claim() {
    std::lock_guard lock(claimMutex_);
    if (claimed_) return !gone_;
    if (gone_) return false;
    libusb_set_auto_detach_kernel_driver(handle_, 1);
    if (const int result = libusb_claim_interface(handle_, interface_.number); result != 0) {
      errno = result == LIBUSB_ERROR_BUSY ? EBUSY : result == LIBUSB_ERROR_ACCESS ? EACCES : ENODEV;
      return false;
    }
    claimed_ = true;
    return interface_.altSetting == 0 ||
           libusb_set_interface_alt_setting(handle_, interface_.number, interface_.altSetting) == 0;
  }

  void SetTimeouts(int readTenths, int writeTenths) {
    readTimeoutMs_ = TimeoutMs(readTenths);
    writeTimeoutMs_ = TimeoutMs(writeTenths);
    Claim();
  }

  int Write(const char* bytes, int length) {
    if (!bytes || length <= 0) return 0;
    if (!Claim()) return -1;
    // libusb takes a non-const buffer for both directions; an OUT transfer only reads it.
    auto* data = reinterpret_cast<unsigned char*>(const_cast<char*>(bytes));
    return Transfer(interface_.outEndpoint, data, length, writeTimeoutMs_);
  }

  int Read(char* buffer, int capacity) {
    if (!buffer || capacity <= 0) return -1;
    if (!Claim()) return -1;
    {
      std::lock_guard lock(mutex_);
      if (closed_) return -1;
      if (!pending_.empty()) return TakePending(buffer, capacity);
    }
    // The device may always send a whole packet; a transfer shorter than whole packets would overflow
    // and lose it. What the caller has no room for is kept for the next read.
    const int packet = interface_.inPacketSize > 0 ? interface_.inPacketSize : kFallbackPacketSize;
    const int wanted = std::min(capacity, kMaxReadLength);
    std::vector<unsigned char> data(static_cast<std::size_t>((wanted + packet - 1) / packet * packet));
    const int received = Transfer(interface_.inEndpoint, data.data(), static_cast<int>(data.size()), readTimeoutMs_);
    if (received <= 0) return received;
    const int handed = std::min(received, capacity);
    std::memcpy(buffer, data.data(), static_cast<std::size_t>(handed));
    if (received > handed) {
      std::lock_guard lock(mutex_);
      pending_.insert(pending_.end(), data.begin() + handed, data.begin() + received);
    }
    return handed;
  }

  bool Gone() {
    std::lock_guard lock(claimMutex_);
    return gone_;
  }

  // Reads in flight end at once with what they have received; the device stays usable.
  void CancelReads() {
    std::lock_guard lock(mutex_);
    for (libusb_transfer* transfer : inFlight_) {
      if (transfer->endpoint == interface_.inEndpoint) libusb_cancel_transfer(transfer);
    }
  }

  // Later calls fail; transfers in flight are cancelled and return at once.
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (libusb_transfer* transfer : inFlight_) libusb_cancel_transfer(transfer);
  }

 private:
  int TakePending(char* buffer, int capacity) {
    const int count = static_cast<int>(std::min<std::size_t>(pending_.size(), static_cast<std::size_t>(capacity)));
    std::memcpy(buffer, pending_.data(), static_cast<std::size_t>(count));
    pending_.erase(pending_.begin(), pending_.begin() + count);
    return count;
  }

  // One bulk transfer: the bytes moved (0 when the time-out passed with nothing), -1 on failure.
  int Transfer(unsigned char endpoint, unsigned char* data, int length, int timeoutMs) {
    std::unique_ptr<libusb_transfer, TransferFree> transfer(libusb_alloc_transfer(0));
    if (!transfer) return -1;
    int completed = 0;
    libusb_fill_bulk_transfer(transfer.get(), handle_, endpoint, data, length, OnTransferDone, &completed,
                              static_cast<unsigned>(timeoutMs));
    {
      std::lock_guard lock(mutex_);
      if (closed_) return -1;
      if (const int result = libusb_submit_transfer(transfer.get()); result != 0) {
        if (result == LIBUSB_ERROR_NO_DEVICE) MarkGone();
        return -1;
      }
      inFlight_.insert(transfer.get());
    }
    bool interrupted = false;
    while (!__atomic_load_n(&completed, __ATOMIC_ACQUIRE)) {
      // A raised interrupt of this thread ends the transfer (checked after the submit, so a raise
      // that came before it is not missed).
      if (!interrupted && WaitInterrupted()) {
        interrupted = true;
        libusb_cancel_transfer(transfer.get());
      }
      // Short enough that an interrupt ends the wait within a tenth of a second.
      timeval tick{0, 50000};
      const int result = libusb_handle_events_timeout_completed(context_, &tick, &completed);
      if (result < 0 && result != LIBUSB_ERROR_INTERRUPTED) libusb_cancel_transfer(transfer.get());
    }
    {
      std::lock_guard lock(mutex_);
      inFlight_.erase(transfer.get());
    }
    switch (transfer->status) {
      case LIBUSB_TRANSFER_COMPLETED:
      case LIBUSB_TRANSFER_TIMED_OUT:
        return transfer->actual_length;
      case LIBUSB_TRANSFER_CANCELLED:
        // Bytes that arrived before the cancel are handed on, not lost.
        return transfer->actual_length > 0 ? transfer->actual_length : -1;
      case LIBUSB_TRANSFER_STALL:
        // A halted endpoint stays halted until cleared; clear it so the next transfer can work.
        libusb_clear_halt(handle_, endpoint);
        return -1;
      case LIBUSB_TRANSFER_NO_DEVICE:
        MarkGone();
        return -1;
      default:
        return -1;
    }
  }

  // Unplugged: every later call fails at once instead of waiting out its time-out.
  void MarkGone() {
    std::lock_guard lock(claimMutex_);
    gone_ = true;
  }

  libusb_context* const context_;
  libusb_device_handle* const handle_;
  const PrinterInterface interface_;
  std::mutex claimMutex_;  // guards claimed_ and gone_ (the receive thread and the UI thread both use it)
  bool claimed_ = false;
  bool gone_ = false;
  std::atomic<int> readTimeoutMs_{kDefaultTimeoutMs};
  std::atomic<int> writeTimeoutMs_{kDefaultTimeoutMs};
  std::mutex mutex_;  // guards closed_, inFlight_ and pending_
  bool closed_ = false;
  std::set<libusb_transfer*> inFlight_;
  std::vector<unsigned char> pending_;
};

class LibUsbDevices final : public UsbDeviceApi {
 public:
  int OpenDeviceX(int index) override {
    libusb_context* context = Context();
    if (!context) return -1;  // errno as the library's start left it (EACCES without permission)
    if (index < 0 || index >= kDeviceIndexes) return errno = ENODEV, -1;
    errno = 0;
    FoundDevice found = FindPrinterDevice(context, index);
    libusb_device_handle* handle = nullptr;
    if (!found.device) {
      // A device that could not be looked at for lack of permission is told as such.
      if (errno != EACCES) errno = ENODEV;
      return -1;
    }
    if (const int result = libusb_open(found.device.get(), &handle); result != 0) {
      // The port dialog tells a permission problem apart from the rest.
      errno = result == LIBUSB_ERROR_ACCESS ? EACCES : ENODEV;
      return -1;
    }
    return devices_.Add(std::make_shared<UsbDevice>(context, handle, found.interface));
  }

  bool Claim(int handle) override {
    auto device = devices_.Find(handle);
    if (!device) errno = ENODEV;
    return device && device->Claim();
  }

  void SetUSBTimeouts(int handle, int readTimeout, int writeTimeout) override {
    if (auto device = devices_.Find(handle)) device->SetTimeouts(readTimeout, writeTimeout);
  }

  int uWrite(int handle, int /*pipe*/, const char* bytes, int length) override {
    auto device = devices_.Find(handle);
    const int written = device ? device->Write(bytes, length) : -1;
    if (written > 0) NoteTraffic(TrafficDirection::Sent, std::string_view(bytes, static_cast<std::size_t>(written)));
    return written;
  }

  int uRead(int handle, int /*pipe*/, char* buffer, int capacity) override {
    auto device = devices_.Find(handle);
    const int got = device ? device->Read(buffer, capacity) : -1;
    if (got > 0) NoteTraffic(TrafficDirection::Received, std::string_view(buffer, static_cast<std::size_t>(got)));
    return got;
  }

  void CancelRead(int handle) override {
    if (auto device = devices_.Find(handle)) device->CancelReads();
  }

  bool WentAway(int handle) override {
    auto device = devices_.Find(handle);
    return device && device->Gone();
  }

  void CloseDevice(int handle) override {
    if (auto device = devices_.Remove(handle)) device->Close();
  }

  std::string Describe(int index) override {
    libusb_context* context = Context();
    if (!context || index < 0 || index >= kDeviceIndexes) return {};
    FoundDevice found = FindPrinterDevice(context, index);
    libusb_device_descriptor descriptor{};
    if (!found.device || libusb_get_device_descriptor(found.device.get(), &descriptor) != 0) return {};
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", descriptor.idVendor, descriptor.idProduct);
    const std::string product = ProductName(found.device.get(), descriptor.iProduct);
    return product.empty() ? std::string(ids) : std::string(ids) + " " + product;
  }

 private:
  HandleTable<UsbDevice> devices_{1};
};

}  // namespace

std::shared_ptr<UsbDeviceApi> MakeLibUsbDeviceApi() { return std::make_shared<LibUsbDevices>(); }

}  // namespace tw
