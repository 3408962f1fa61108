// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkPrinters.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace tw::test {
namespace {

// Binds a socket of the kind to address:port; the socket's descriptor, or -1.
int Bound(int type, const std::string& address, int port) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

int BoundPort(int fd) {
  sockaddr_in at{};
  socklen_t length = sizeof at;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
  return ntohs(at.sin_port);
}

// Answers snmpd's pass protocol from the values file beside it: "-g OID" gets, "-n OID" gets the
// next. Each line of the file is "OID TYPE VALUE", in OID order.
constexpr char kPassScript[] = R"(#!/bin/sh
awk -v mode="$1" -v want="$2" '
function after(a, b,   x, y, n, m, i) {
  n = split(substr(a, 2), x, "."); m = split(substr(b, 2), y, ".")
  for (i = 1; i <= n && i <= m; i++) if (x[i] + 0 != y[i] + 0) return x[i] + 0 > y[i] + 0
  return n > m
}
{ oid = $1; type = $2; $1 = ""; $2 = ""; value = substr($0, 3)
  if ((mode == "-g" && oid == want) || (mode == "-n" && after(oid, want))) { print oid; print type; print value; exit } }
' "$(dirname "$0")/values"
)";

}  // namespace

std::string LoopbackAddress(int n) { return "127.0.0." + std::to_string(n); }

PrinterFarm::PrinterFarm(int firstHost, const std::vector<sim::PrinterOptions>& printers) {
  for (int attempt = 0; attempt < 20 && printers_.size() < printers.size(); ++attempt) {
    printers_.clear();
    const int probe = Bound(SOCK_STREAM, LoopbackAddress(firstHost), 0);
    port_ = probe >= 0 ? BoundPort(probe) : 0;
    if (probe >= 0) ::close(probe);
    for (std::size_t i = 0; i < printers.size(); ++i) {
      auto printer = std::make_unique<sim::VirtualPrinter>(printers[i]);
      if (printer->ListenTcp(LoopbackAddress(firstHost + static_cast<int>(i)), static_cast<uint16_t>(port_)) == 0) break;
      printers_.push_back(std::move(printer));
    }
  }
}

int FreeUdpPort(const std::vector<std::string>& addresses) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    const int probe = Bound(SOCK_DGRAM, addresses.front(), 0);
    if (probe < 0) return 0;
    const int port = BoundPort(probe);
    ::close(probe);
    bool free = true;
    for (const std::string& address : addresses) {
      const int fd = Bound(SOCK_DGRAM, address, port);
      free = free && fd >= 0;
      if (fd >= 0) ::close(fd);
    }
    if (free) return port;
  }
  return 0;
}

SnmpAgent::SnmpAgent(const std::string& address, int port, const Printer& printer) {
  const std::string hr = ".1.3.6.1.2.1.25.3.";
  std::string values = hr + "2.1.2.1 objectid .1.3.6.1.2.1.25.3.1.5\n" + hr + "2.1.3.1 string " +
                       printer.deviceDescr + "\n" + hr + "2.1.5.1 integer 2\n" + hr + "5.1.1.1 integer 3\n" + hr +
                       "5.1.2.1 octet 00\n.1.3.6.1.2.1.43.5.1.1.17.1 string " + printer.serial + "\n";
  for (std::size_t i = 0; i < printer.alerts.size(); ++i) {
    values += ".1.3.6.1.2.1.43.18.1.1.8.1." + std::to_string(i + 1) + " string " + printer.alerts[i] + "\n";
  }
  dir_.Write("values", values);
  const auto script = dir_.Write("pass.sh", kPassScript);
  ::chmod(script.c_str(), 0755);
  // The host resources device table of snmpd itself would answer before the pass script: left out.
  const auto config = dir_.Write(
      "snmpd.conf", "agentaddress udp:" + address + ":" + std::to_string(port) +
                        "\nrocommunity public 127.0.0.0/8\nsysname " + printer.sysName + "\nsysdescr " +
                        printer.sysDescr + "\npass -p 1 .1.3.6.1.2.1.25.3 " + script.string() +
                        "\npass -p 1 .1.3.6.1.2.1.43 " + script.string() + "\n");
  std::filesystem::create_directories(dir_ / "state");
  const std::string state = (dir_ / "state").string(), pidFile = (dir_ / "state" / "pid").string();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setenv("SNMP_PERSISTENT_DIR", state.c_str(), 1);  // never the system's /var/lib/snmp
    ::setenv("MIBS", "", 1);
    ::execl("/usr/sbin/snmpd", "snmpd", "-f", "-C", "-c", config.c_str(), "-Lf", "/dev/null", "-p", pidFile.c_str(),
            "-I", "-hr_device", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Serving once the port is taken (a bind of our own fails), within 10 s.
  for (int i = 0; i < 200 && pid_ > 0; ++i) {
    const int fd = Bound(SOCK_DGRAM, address, port);
    if (fd < 0) {
      running_ = true;
      break;
    }
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

SnmpAgent::~SnmpAgent() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

}  // namespace tw::test
