// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The --port argument of the command-line tool:
//   net:HOST[:PORT]                      (port 9100 by default)
//   serial:NAME[:BAUD[:FRAME[:FLOW]]]    (NAME is COMn or a device path; 9600, 8N1, hw by default)
//   lpt:NAME | usblp:NAME | usb:N
#include <optional>
#include <string>

#include "link/PortKind.h"
#include "link/SerialDevice.h"

namespace tw {

struct PortSpec {
  PortKind kind = PortKind::Network;
  std::string name;  // host, serial name or path, parallel name, USB printer name
  int number = 9100;  // TCP port, or the 1-based USB device number
  SerialSettings serial;
};

// Parses a --port value; on failure returns nullopt with a one-sentence reason in *error.
std::optional<PortSpec> ParsePortSpec(const std::string& text, std::string* error);

}  // namespace tw
