// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

namespace tw {

// The kinds of printer port. The numbers are fixed: they are stored and compared as such.
enum class PortKind : int32_t {
  Serial = 0,
  Parallel = 1,
  UsbDevice = 2,   // USB through the device-access layer (UsbDeviceApi)
  UsbPrinter = 3,  // USB printer class through the printer-class layer (UsbPrinterApi)
  Spooler = 4,     // write path only, never opened
  Network = 5,
};

}  // namespace tw
