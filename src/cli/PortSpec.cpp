// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PortSpec.h"

#include <charconv>
#include <vector>

namespace tw {
namespace {

std::vector<std::string> SplitColons(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) return parts;
    start = colon + 1;
  }
}

bool ParseNumber(const std::string& text, int* value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return !text.empty() && ec == std::errc() && ptr == end;
}

std::optional<PortSpec> Fail(std::string* error, std::string reason) {
  if (error) *error = std::move(reason);
  return std::nullopt;
}

// FRAME: data bits 5-8, parity N/E/O, stop bits 1/2, e.g. "8N1" or "7E2".
bool ParseFrame(const std::string& frame, SerialSettings* settings) {
  if (frame.size() != 3 || frame[0] < '5' || frame[0] > '8' || (frame[2] != '1' && frame[2] != '2')) return false;
  switch (frame[1]) {
    case 'N': case 'n': settings->parity = 0; break;
    case 'O': case 'o': settings->parity = 1; break;
    case 'E': case 'e': settings->parity = 2; break;
    default: return false;
  }
  settings->dataBits = frame[0] - '0';
  settings->stopBits = frame[2] - '0';
  return true;
}

std::optional<PortSpec> ParseSerial(const std::vector<std::string>& parts, std::string* error) {
  // A device path may not contain colons, so the fields are NAME[:BAUD[:FRAME[:FLOW]]].
  if (parts.size() < 2 || parts[1].empty()) return Fail(error, "The serial port needs a name, as in serial:COM1.");
  if (parts.size() > 5) return Fail(error, "Too many fields in the serial port setting.");
  PortSpec portSpec;
  portSpec.kind = PortKind::Serial;
  portSpec.name = parts[1];
  if (parts.size() > 2 && !(ParseNumber(parts[2], &portSpec.serial.baud) && IsSupportedBaud(portSpec.serial.baud))) {
    return Fail(error, "The serial speed '" + parts[2] + "' is not supported.");
  }
  if (parts.size() > 3 && !ParseFrame(parts[3], &portSpec.serial)) {
    return Fail(error, "The serial frame '" + parts[3] + "' is not of the form 8N1.");
  }
  if (parts.size() > 4) {
    if (parts[4] == "hw") {
      portSpec.serial.flow = FlowControl::Hardware;
    } else if (parts[4] == "sw") {
      portSpec.serial.flow = FlowControl::XonXoff;
    } else {
      return Fail(error, "The flow control must be hw or sw.");
    }
  }
  return portSpec;
}

}  // namespace

std::optional<PortSpec> ParsePortSpec(const std::string& text, std::string* error) {
  const std::vector<std::string> parts = SplitColons(text);
  const std::string& scheme = parts[0];
  PortSpec portSpec;
  if (scheme == "net") {
    if (parts.size() < 2 || parts[1].empty() || parts.size() > 3) {
      return Fail(error, "The network port must be net:HOST or net:HOST:PORT.");
    }
    portSpec.kind = PortKind::Network;
    portSpec.name = parts[1];
    if (parts.size() == 3 && !(ParseNumber(parts[2], &portSpec.number) && portSpec.number > 0 && portSpec.number < 65536)) {
      return Fail(error, "The TCP port '" + parts[2] + "' is not a number from 1 to 65535.");
    }
    return portSpec;
  }
  if (scheme == "serial") return ParseSerial(parts, error);
  if (scheme == "lpt" || scheme == "usblp") {
    // Names may hold colons (a path, a printer name): everything after the first colon is the name.
    std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon + 1 == text.size()) {
      return Fail(error, "The " + scheme + " port needs a name, as in " + scheme + ":NAME.");
    }
    portSpec.kind = scheme == "lpt" ? PortKind::Parallel : PortKind::UsbPrinter;
    portSpec.name = text.substr(colon + 1);
    return portSpec;
  }
  if (scheme == "usb") {
    if (parts.size() != 2 || !ParseNumber(parts[1], &portSpec.number) || portSpec.number < 1 || portSpec.number > 8) {
      return Fail(error, "The USB device must be usb:N with N from 1 to 8.");
    }
    portSpec.kind = PortKind::UsbDevice;
    return portSpec;
  }
  return Fail(error, "The port '" + text + "' is not of the form net:, serial:, lpt:, usblp: or usb:.");
}

}  // namespace tw
