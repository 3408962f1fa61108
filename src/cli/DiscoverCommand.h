// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// tagwright-cli discover: finds the printers on the network (DNS-SD always, SNMP and the raw port
// probe over --range) and prints one row per printer, or JSON.
//   exit 0: at least one printer found; 3: none; 1: no way could run; 2: bad usage.
#include <string>

namespace CLI {
class App;
}

namespace tw {

inline constexpr int kExitNoPrinterFound = 3;

struct DiscoverArgs {
  std::string range;
  int rawPort = 9100;
  int snmpPort = 161;
  std::string community = "public";
  int timeoutMs = 800;
  bool noMdns = false;
  bool noSnmp = false;
  bool askAll = false;
  bool json = false;
};

// Adds the sub-command and its options; the returned command is parsed() when it was given.
CLI::App* AddDiscoverCommand(CLI::App& app, DiscoverArgs& args);
int RunDiscover(const DiscoverArgs& args);

}  // namespace tw
