// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Printers on loopback addresses for the discovery tests: virtual printers in this process, one per
// 127.0.0.x address and all on the same free port, and SNMP agents (Debian's snmpd, started here
// with a configuration of its own) that describe a printer.
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "sim/VirtualPrinter.h"

namespace tw::test {

// "127.0.0.<n>"
std::string LoopbackAddress(int n);

class PrinterFarm {
 public:
  // One printer per entry, at 127.0.0.<firstHost> onwards, all listening on one free port.
  PrinterFarm(int firstHost, const std::vector<sim::PrinterOptions>& printers);
  int port() const { return port_; }
  sim::VirtualPrinter& at(std::size_t i) { return *printers_[i]; }
  std::size_t size() const { return printers_.size(); }

 private:
  int port_ = 0;
  std::vector<std::unique_ptr<sim::VirtualPrinter>> printers_;
};

// A free UDP port on every one of the addresses (0 when none was found).
int FreeUdpPort(const std::vector<std::string>& addresses);

// snmpd on address:port, answering for the community "public": the system's name and description
// and, through a pass script, a printer's host resources device row, printer row, serial number and
// alert table. Stopped (SIGTERM) when the object goes.
class SnmpAgent {
 public:
  struct Printer {
    std::string sysName, sysDescr, deviceDescr, serial;
    std::vector<std::string> alerts;
  };
  SnmpAgent(const std::string& address, int port, const Printer& printer);
  ~SnmpAgent();
  // Whether the agent is serving its port.
  bool running() const { return running_; }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  bool running_ = false;
};

}  // namespace tw::test
