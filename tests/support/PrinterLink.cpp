// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PrinterLink.h"

#include <gtest/gtest.h>

#include "link/Connection.h"
#include "link/LinkState.h"

namespace tw::test {

std::string TransportName(Transport transport) {
  static const char* const kNames[] = {"Tcp", "Pty", "PtyAsParallel"};
  return kNames[static_cast<int>(transport)];
}

bool ConnectLink(sim::VirtualPrinter& printer, Transport transport) {
  LinkState& link = Link();
  bool opened = false;
  if (transport == Transport::Tcp) {
    const uint16_t port = printer.ListenTcp();
    link.Set(LinkState::Text::NetworkAddress, "127.0.0.1");
    link.networkPort = port;
    opened = port != 0 && OpenNetworkLink();
    link.currentKind = PortKind::Network;
  } else {
    const std::string path = printer.OpenPty();
    if (transport == Transport::Pty) {
      opened = !path.empty() && OpenSerialPort(path, 115200, 8, 1, FlowControl::Hardware, 0);
      link.currentKind = PortKind::Serial;
    } else {
      opened = !path.empty() && OpenParallelPort(path);
      link.currentKind = PortKind::Parallel;
    }
  }
  if (!opened) ADD_FAILURE() << "cannot connect to the virtual printer over " << TransportName(transport);
  link.open = opened;
  return opened;
}

}  // namespace tw::test
