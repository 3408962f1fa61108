// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opening and closing each kind of port on the process-wide link. The connect procedure of the
// port dialog and the command-line tool put these together; they show no messages themselves.
#include <string>

#include "core/Pacing.h"
#include "link/FdChannel.h"
#include "link/SerialDevice.h"

namespace tw {

// Opens a serial port by the program's name ("COM3", mapped to its device through lib/SysOption.ini;
// a "\\.\" prefix is allowed) or by a device path. Closes the serial port that was open first.
// Sets the serial channel; the open flag and current kind are the caller's business.
bool OpenSerialPort(const std::string& name, int baud, int dataBits, int stopBits, FlowControl flow, int parity);
// Closes the serial port (the channel becomes closed). Returns false when none was open.
bool CloseSerialPort();

// Sets the read and write total time-outs of a parallel channel. On failure closes that channel
// (when it is the link's) and returns false.
bool SetParallelTimeouts(const FdChannelPtr& handle, int readTotalMs, int writeTotalMs);
// Opens the parallel device of a name ("LPT1", or a device path) with the connect time-outs
// (read 2000 ms, write 3000 ms). Sets the parallel channel and the parallel name.
bool OpenParallelPort(const std::string& name);
void CloseParallelPort();

// USB device kind: opens device index (0-based), claims its interface and sets SetUSBTimeouts(5, 5);
// the handle or -1 (errno EBUSY when another program holds the device).
int OpenUsbDevicePort(int index);
// USB printer class: opens the printer with SetSinglePrnTimeout(4000, 4000) and SetSplitASB(0).
int OpenUsbPrinterPort(const std::string& name);
// Closes the USB handle through the layer of the current kind (2 or 3) and sets it to -1.
void CloseUsbPort();

// Opens the network port from the address, port and connect time-out in the link state; sets the
// network-open flag to the result.
bool OpenNetworkLink();
// How a network link is closed: at once (nothing was sent, or the link is given up); after a
// transfer, letting the printer keep what it took (see NetPortApi::ClosePortAfterTransfer); or
// hard, so that nothing more leaves (a stopped transfer).
enum class NetworkClose { Now, AfterTransfer, Hard };
namespace pace {
inline constexpr PaceStep kNetworkCloseLinger{"network: wait for the printer's close after a transfer", 2000};
}  // namespace pace

// Closes the network port, sets its handle to -1 and clears the network-open flag.
void CloseNetworkLink(NetworkClose how = NetworkClose::Now);

// Closes the port of the current kind; a network link as `how` says (program exit: after a transfer).
void CloseCurrentPort(NetworkClose how = NetworkClose::Now);

// The device of the current kind went away while open (a USB serial adapter or USB printer
// unplugged, a network printer that closed or reset the connection): reading it found its end.
// Nothing more comes from it until a new connect.
bool PortWentAway();

}  // namespace tw
