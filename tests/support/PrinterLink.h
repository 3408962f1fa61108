// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Connects the process-wide printer link to a virtual printer, as the tests of every subsystem need it.
#include <string>

#include "sim/VirtualPrinter.h"

namespace tw::test {

// How the link reaches the printer: loopback TCP, its pseudo-terminal opened as a serial port, or the
// same pseudo-terminal opened as a parallel port.
enum class Transport { Tcp, Pty, PtyAsParallel };

std::string TransportName(Transport transport);

// Opens the link over the transport (a serial port at 115200 baud, 8N1), sets the current kind and the
// open flag. A failure is a test failure (ADD_FAILURE) and returns false.
bool ConnectLink(sim::VirtualPrinter& printer, Transport transport);

}  // namespace tw::test
