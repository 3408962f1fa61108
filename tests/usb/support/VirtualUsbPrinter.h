// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A USB printer that the operating system's own interfaces present, for tests of the real USB layers.
// It lives in a umockdev testbed of the test process (which must run with libumockdev-preload, as
// under umockdev-wrapper): a printer-class device in sysfs with its binary descriptors, its usbfs node
// /dev/bus/usb/001/NNN answered by an ioctl handler (URBs, claims, kernel-driver detach and attach,
// the printer class's GET_DEVICE_ID), and the printer node /dev/usb/lp0 of the usblp driver (read,
// write, LPIOC_GET_DEVICE_ID). One printer at a time per process. Bytes sent go to the virtual printer's model; its
// replies come back on bulk IN or from the node.
#include <cstddef>
#include <memory>
#include <string>

#include "sim/VirtualPrinter.h"

namespace tw::test {

// Whether the process can present devices at all (runs with the umockdev preload).
bool InUsbTestbed();

class VirtualUsbPrinter {
 public:
  static constexpr int kVendorId = 0x1209;
  static constexpr int kProductId = 0x4c50;
  static constexpr const char* kModel = "TW-Z200";  // the model of the IEEE-1284 device id

  explicit VirtualUsbPrinter(sim::Personality personality = sim::Personality::Z);
  ~VirtualUsbPrinter();
  VirtualUsbPrinter(const VirtualUsbPrinter&) = delete;
  VirtualUsbPrinter& operator=(const VirtualUsbPrinter&) = delete;

  // Every byte the printer took, over bulk OUT and the node.
  std::string Received() const;
  std::size_t ReceivedCount() const;
  bool WaitForReceived(std::size_t bytes, int timeoutMs) const;
  void SetKeepReceived(bool keep);  // off: only counted (long downloads)

  // Faults. NAK: for `ms` from now every bulk transfer (and node write) waits, as a busy printer makes
  // the host controller retry. Stall: the next bulk OUT transfer ends with a halted endpoint.
  // Silent: nothing is answered. Split: replies go out at most `bytes` per IN transfer (node read).
  void NakFor(int ms);
  void StallNextOut();
  void SetSilent(bool silent);
  void SetSplit(int bytes);
  // Bulk OUT takes bytes at this rate (0: as fast as they come).
  void SetAcceptRate(double bytesPerSecond);
  // The device is unplugged: transfers in flight and every later request fail with ENODEV, and it
  // leaves sysfs and /dev (its printer node too, as the kernel removes it). Plug brings it back (as a
  // new device address).
  void Unplug();
  void Plug();
  // Unplugs the device after this many more bytes of bulk OUT have been taken (mid-transfer): every
  // request fails with ENODEV from then on; the device leaves sysfs at the next Unplug or Plug.
  void UnplugAfter(std::size_t bytes);

  // usblp binding: bound at start; a program that claims the interface with detach unbinds it and
  // attaching the driver again binds it. The node answers only while bound, and a node opened before
  // an unbinding stays dead (ENODEV), as with the real driver.
  bool UsblpBound() const;
  int Claims() const;    // claims of the interface so far
  int NodeOpens() const;  // opens of the printer node so far
  // Another program holds the interface: every claim fails with EBUSY.
  void SetClaimedElsewhere(bool held);
  int Detaches() const;  // unbindings of usblp so far

  // The printer model's state.
  uint16_t Slot(int address) const;
  void SetSlot(int address, uint16_t value);
  std::string NamedEntry(const std::string& key) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace tw::test
