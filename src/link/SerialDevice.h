// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Serial ports through termios. The same code serves real ports and pseudo-terminals: opened
// non-blocking without becoming the controlling terminal, raw mode, the line settings below.
#include <string>

#include "link/FdChannel.h"

namespace tw {

enum class FlowControl { Hardware, XonXoff };

// Parity codes as the connect procedure passes them: 0 none, 1 odd, 2 even.
struct SerialSettings {
  int baud = 9600;
  int dataBits = 8;   // 5 to 8
  int stopBits = 1;   // 1 or 2
  int parity = 0;
  FlowControl flow = FlowControl::Hardware;
};

// Opens and configures the device; null on failure, with the reason in *error when given.
FdChannelPtr OpenSerialDevice(const std::string& path, const SerialSettings& settings, std::string* error = nullptr);
// True when the termios layer can run the port at this many bits per second.
bool IsSupportedBaud(int baud);

// Throws away what was received and not yet read / what was written and not yet sent.
void PurgeSerialInput(const FdChannel& channel);
void PurgeSerialOutput(const FdChannel& channel);

}  // namespace tw
