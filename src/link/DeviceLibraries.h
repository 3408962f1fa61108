// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The three device-access layers, each with the calls the link makes on it. Handles are integers;
// -1 means failure or closed. Every layer is safe to use from two threads at once: a handle closed
// while another thread reads through it makes that read end early with no data.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// USB device access (port kind 2): the n-th attached USB device with a printer-class interface that
// has bulk IN and OUT endpoints. Opening only reads the device's descriptors, so that listing the
// devices disturbs no printer; the interface is claimed (the kernel's printer driver detached) when the
// link first uses the handle, and the driver is attached again when the handle is closed.
class UsbDeviceApi {
 public:
  virtual ~UsbDeviceApi() = default;
  // Device index 0 to 7; a handle of 1 or more, or -1 (errno EACCES when the device may not be opened).
  virtual int OpenDeviceX(int index) = 0;
  // Read and write time-outs, 16-bit values, in units of 100 ms (as the printer-class layer gets them).
  virtual void SetUSBTimeouts(int handle, int readTimeout, int writeTimeout) = 0;
  // Claims the printer interface for the link (the kernel's printer driver detached). False with
  // errno EBUSY when another program holds the device, ENODEV when it is gone.
  virtual bool Claim(int handle) { (void)handle; return true; }
  // Returns the bytes written (0 or less on failure). `pipe` is 0 as the link passes it.
  virtual int uWrite(int handle, int pipe, const char* bytes, int length) = 0;
  // Returns the bytes read; 0 or less means nothing. `pipe` is 1 as the link passes it.
  virtual int uRead(int handle, int pipe, char* buffer, int capacity) = 0;
  virtual void CloseDevice(int handle) = 0;
  // Ends a read in flight on the handle at once (its bytes so far are returned); the device stays
  // open. Used when the receive thread stops.
  virtual void CancelRead(int handle) { (void)handle; }
  // Whether the device of an open handle was unplugged: nothing more comes from it until a new open.
  virtual bool WentAway(int handle) { (void)handle; return false; }
  // What the device at an index is, for listings ("" when none).
  virtual std::string Describe(int index) { (void)index; return {}; }
};

// USB printer class (port kind 3), over the kernel's USB printer nodes.
class UsbPrinterApi {
 public:
  virtual ~UsbPrinterApi() = default;
  // Fills `buffer` (zeroed by the caller, `capacity` bytes) with the printer names, each followed by
  // "@"; returns how many there are.
  virtual int EnumUSBPrinter(char* buffer, int capacity) = 0;
  // A handle, or -1 (errno EACCES when the node may not be opened).
  virtual int OpenUSBPrinter(const std::string& name) = 0;
  // Time-outs in milliseconds.
  virtual void SetSinglePrnTimeout(int handle, int writeTimeout, int readTimeout) = 0;
  virtual void SetSplitASB(int handle, int value) = 0;
  // 1 on success; `written` gets the bytes written.
  virtual int WriteUSBPrinter(int handle, const char* bytes, int length, int* written) = 0;
  // Only `read` is used: the bytes read, 0 when nothing came.
  virtual int ReadUSBPrinterForZpl(int handle, char* buffer, int capacity, int* read) = 0;
  virtual void CloseUSBPrinter(int handle) = 0;
  // After the last write: waits up to the write time-out until the printer has taken every byte
  // written. 1 when it has, 0 when the device went away or the time-out passed first.
  virtual int DrainUSBPrinter(int handle) {
    (void)handle;
    return 1;
  }
  // Whether the printer of an open handle went away (its node failed, as after an unplug).
  virtual bool WentAway(int handle) { (void)handle; return false; }
};

// Raw TCP (port kind 5).
class NetPortApi {
 public:
  virtual ~NetPortApi() = default;
  // A handle >= 0, below 0 on failure.
  virtual int OpenPort(const std::string& address, int port, int connectTimeoutMs) = 0;
  // >= 0 on success (all bytes written), below 0 on failure. The time-out bounds a pause in the
  // printer's taking of the data, so that a large job does not fail merely for being large.
  virtual int WritePort(int handle, const char* bytes, int length, int timeoutMs) = 0;
  // Bytes read (0 when the time-out passed with nothing), below 0 on failure.
  virtual int ReadPort(int handle, char* buffer, int capacity, int timeoutMs) = 0;
  // Waits up to timeoutMs until the printer has acknowledged every byte written. Returns how many
  // bytes are still unacknowledged (0: all taken), below 0 when the connection failed.
  virtual int WaitAcknowledged(int handle, int timeoutMs) {
    (void)handle;
    (void)timeoutMs;
    return 0;
  }
  virtual void ClosePort(int handle) = 0;
  // Closes the connection after a transfer without losing what the printer has taken: the sending
  // side is closed first, then input is read and thrown away until the printer closes its side or
  // lingerMs pass. (Input left unread at the close makes the system reset the connection, and a
  // reset makes the printer drop what it had taken but not yet processed.)
  virtual void ClosePortAfterTransfer(int handle, int lingerMs) {
    (void)lingerMs;
    ClosePort(handle);
  }
  // Closes the connection at once: what the system still holds for the printer is thrown away
  // (the printer sees a reset), so nothing more leaves.
  virtual void AbortPort(int handle) { ClosePort(handle); }
  // Whether the connection of an open handle ended from the printer's side (closed or reset).
  virtual bool WentAway(int handle) { (void)handle; return false; }
};

// The layers over the real devices.
std::shared_ptr<UsbDeviceApi> MakeLibUsbDeviceApi();
// `nodeFolder` holds the USB printer nodes (lp0, lp1, ...), /dev/usb on a real system.
std::shared_ptr<UsbPrinterApi> MakeUsbPrinterNodeApi(const std::filesystem::path& nodeFolder = "/dev/usb");
std::shared_ptr<NetPortApi> MakeTcpNetPortApi();
// The dotted IPv4 address of a host name or address text; empty when it cannot be resolved.
std::string ResolveHostIpv4(const std::string& host);

// The layers the link uses; tests put scripted ones in their place.
struct DeviceLibraries {
  std::shared_ptr<UsbDeviceApi> usbDevice;
  std::shared_ptr<UsbPrinterApi> usbPrinter;
  std::shared_ptr<NetPortApi> network;
};
DeviceLibraries RealDeviceLibraries();

}  // namespace tw
