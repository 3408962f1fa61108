// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ports the user can choose from: serial ports found on the system, the printers the USB
// printer-class layer reports, and the devices the USB device layer can open.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "link/DeviceLibraries.h"

namespace tw {

struct SerialPortInfo {
  std::string device;       // the path to open, such as "/dev/ttyUSB0"
  // Maker, product and driver where the device gives them, such as "Cable Maker USB UART (ftdi_sio)";
  // the port's name when it gives none.
  std::string description;
  std::string byId;         // the stable /dev/serial/by-id link to the same port, "" when none
  std::string serialNumber;  // the USB device's serial number, "" when it has none
};

// Serial ports from sysRoot/class/tty: ttyUSB*, ttyACM* and ttyS* entries with a device behind them
// (a ttyS* only with a UART: serial-core type not 0), named devRoot/<name>, with the links in
// devRoot/serial/by-id that lead to them; a link to a device not in sysfs is listed by itself. In
// natural order of their device paths (ttyS2 before ttyS10).
std::vector<SerialPortInfo> ListSerialPorts(const std::filesystem::path& sysRoot = "/sys",
                                            const std::filesystem::path& devRoot = "/dev");
// The path a chosen serial port is kept under: its by-id link, which survives replugging, else its
// device path.
inline const std::string& StablePath(const SerialPortInfo& port) { return port.byId.empty() ? port.device : port.byId; }

// The printer names EnumUSBPrinter reports, in the order they stand in its 256-byte buffer.
std::vector<std::string> ListUsbPrinters(UsbPrinterApi& printers);

// "KVUSB-1" ... "KVUSB-8" for each device index 0 to 7 that OpenDeviceX can open; every handle
// opened for the probe is closed again at once. The device at `openIndex` is the one the link holds:
// it is listed without being opened a second time, so that the probe never disturbs the open link.
std::vector<std::string> ProbeUsbDevices(UsbDeviceApi& devices, int openIndex = -1);
// The list name of a USB device index ("KVUSB-" + index + 1), and the index a list name stands for
// (-1 when the name is not one of those).
std::string UsbDeviceName(int index);
int UsbDeviceIndexOfName(std::string_view name);

// The model named in an IEEE-1284 device ID as the USB printer driver returns it (two length bytes,
// big-endian and counting themselves, then "KEY:value;" fields): the MDL or MODEL field, with
// characters unfit for a port name replaced by '_' and cut to 64 characters; "" when there is none.
std::string ModelFromDeviceId(std::string_view deviceId);

}  // namespace tw
