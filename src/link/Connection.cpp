// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Connection.h"

#include <fcntl.h>
#include <cerrno>
#include <unistd.h>

#include "core/AppPaths.h"
#include "core/Pacing.h"
#include "core/SysOption.h"
#include "link/LinkState.h"

namespace tw {

bool OpenSerialPort(const std::string& name, int baud, int dataBits, int stopBits, FlowControl flow, int parity) {
  LinkState& link = Link();
  if (link.Serial()) link.SetSerial(nullptr);
  SerialSettings settings{baud, dataBits, stopBits, parity, flow};
  auto channel = OpenSerialDevice(MapPortName(SysOptionPath(), name), settings);
  if (!channel) return false;
  link.SetSerial(std::move(channel));
  return true;
}

bool CloseSerialPort() {
  LinkState& link = Link();
  if (!link.Serial()) return false;
  link.SetSerial(nullptr);
  return true;
}

bool SetParallelTimeouts(const FdChannelPtr& handle, int readTotalMs, int writeTotalMs) {
  LinkState& link = Link();
  if (!handle || ::fcntl(handle->fd(), F_GETFD) < 0) {
    if (handle && link.Parallel() == handle) link.SetParallel(nullptr);
    return false;
  }
  link.parallelReadTimeoutMs = readTotalMs;
  link.parallelWriteTimeoutMs = writeTotalMs;
  return true;
}

bool OpenParallelPort(const std::string& name) {
  LinkState& link = Link();
  link.Set(LinkState::Text::ParallelName, name);
  int fd = ::open(MapPortName(SysOptionPath(), name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int openError = errno;  // the caller tells a permission refusal from other failures
    link.SetParallel(nullptr);
    errno = openError;
    return false;
  }
  auto channel = FdChannel::Open(fd, FdChannel::Polling::Detect, FdChannel::Departure::Removal);
  if (!channel) {
    link.SetParallel(nullptr);
    return false;
  }
  link.SetParallel(channel);
  // The time-outs of lib/SysOption.ini; a key of 0 keeps the fixed one.
  const ParallelTimeoutKeys keys = ReadParallelTimeoutKeys(SysOptionPath());
  return SetParallelTimeouts(channel, keys.readTotalTimeoutConstant > 0 ? keys.readTotalTimeoutConstant : pace::kParallelOpenRead.ms,
                             keys.writeTotalTimeoutConstant > 0 ? keys.writeTotalTimeoutConstant : pace::kParallelOpenWrite.ms);
}

void CloseParallelPort() { Link().SetParallel(nullptr); }

int OpenUsbDevicePort(int index) {
  LinkState& link = Link();
  auto usb = link.Libraries().usbDevice;
  int handle = usb ? usb->OpenDeviceX(index) : -1;
  if (handle < 1) return -1;
  // The interface is claimed now, so that a device another program holds fails the connect rather
  // than every exchange after it.
  if (!usb->Claim(handle)) {
    const int claimError = errno;
    usb->CloseDevice(handle);
    errno = claimError;
    return -1;
  }
  usb->SetUSBTimeouts(handle, 5, 5);
  link.usbHandle = handle;
  return handle;
}

int OpenUsbPrinterPort(const std::string& name) {
  LinkState& link = Link();
  auto printer = link.Libraries().usbPrinter;
  if (!printer) return -1;
  int old = link.usbHandle.exchange(-1);
  if (old != -1) printer->CloseUSBPrinter(old);
  int handle = printer->OpenUSBPrinter(name);
  if (handle == -1) return -1;
  printer->SetSinglePrnTimeout(handle, 4000, 4000);
  printer->SetSplitASB(handle, 0);
  link.usbHandle = handle;
  return handle;
}

void CloseUsbPort() {
  LinkState& link = Link();
  auto libs = link.Libraries();
  const PortKind kind = link.currentKind;
  if (kind == PortKind::UsbDevice) {
    int handle = link.usbHandle.exchange(-1);
    if (libs.usbDevice && handle != -1) libs.usbDevice->CloseDevice(handle);
  } else if (kind == PortKind::UsbPrinter) {
    int handle = link.usbHandle.exchange(-1);
    if (libs.usbPrinter && handle != -1) libs.usbPrinter->CloseUSBPrinter(handle);
  }
}

bool OpenNetworkLink() {
  LinkState& link = Link();
  auto net = link.Libraries().network;
  int old = link.networkHandle.exchange(-1);
  if (net && old != -1) net->ClosePort(old);
  int handle = -1;
  if (net) {
    handle = net->OpenPort(link.Get(LinkState::Text::NetworkAddress), link.networkPort,
                           TimeoutMs({pace::kNetworkConnect.name, link.networkConnectTimeoutMs}));
  }
  if (handle >= 0) link.networkHandle = handle;
  link.networkOpen = handle >= 0;
  return handle >= 0;
}

void CloseNetworkLink(NetworkClose how) {
  LinkState& link = Link();
  int handle = link.networkHandle.exchange(-1);
  if (auto net = link.Libraries().network; net && handle != -1) {
    switch (how) {
      case NetworkClose::Now: net->ClosePort(handle); break;
      case NetworkClose::AfterTransfer:
        net->ClosePortAfterTransfer(handle, TimeoutMs(pace::kNetworkCloseLinger));
        break;
      case NetworkClose::Hard: net->AbortPort(handle); break;
    }
  }
  link.networkOpen = false;
}

void CloseCurrentPort(NetworkClose how) {
  switch (Link().currentKind.load()) {
    case PortKind::Serial: CloseSerialPort(); break;
    case PortKind::Parallel: CloseParallelPort(); break;
    case PortKind::UsbDevice:
    case PortKind::UsbPrinter: CloseUsbPort(); break;
    case PortKind::Network: CloseNetworkLink(how); break;
    case PortKind::Spooler: break;
  }
}

bool PortWentAway() {
  LinkState& link = Link();
  const DeviceLibraries libs = link.Libraries();
  FdChannelPtr channel;
  switch (link.currentKind.load()) {
    case PortKind::Serial: channel = link.Serial(); break;
    case PortKind::Parallel: channel = link.Parallel(); break;
    case PortKind::UsbDevice: return libs.usbDevice && libs.usbDevice->WentAway(link.usbHandle);
    case PortKind::UsbPrinter: return libs.usbPrinter && libs.usbPrinter->WentAway(link.usbHandle);
    case PortKind::Network: return libs.network && libs.network->WentAway(link.networkHandle);
    case PortKind::Spooler: return false;
  }
  return channel && channel->wentAway();
}

void ResetLink(DeviceLibraries libraries) {
  LinkState& link = Link();
  CloseUsbPort();
  CloseSerialPort();
  CloseParallelPort();
  CloseNetworkLink();
  link.SetLibraries(std::move(libraries));
  link.currentKind = PortKind::Serial;
  link.selectedKind = PortKind::Serial;
  link.open = false;
  link.readOnce = false;
  link.drain = false;
  link.serialWriteTimeoutMs = 2000;
  link.parallelReadTimeoutMs = 2000;
  link.parallelWriteTimeoutMs = 3000;
  link.networkConnectTimeoutMs = 3000;
  link.networkWriteTimeoutMs = 20000;
  link.networkReadTimeoutMs = 5000;
  link.networkPort = 9100;
  for (int i = 0; i < static_cast<int>(LinkState::Text::Count); ++i) link.Set(static_cast<LinkState::Text>(i), "");
  link.SetPositions({});
}

}  // namespace tw
