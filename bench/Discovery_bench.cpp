// SPDX-License-Identifier: GPL-3.0-or-later
// Time of a network search over a /24 on loopback (127.77.0.0/24, 254 addresses) with 20 virtual
// printers on it (Z and E), every open port asked, SNMP asked at every address (no agent answers,
// so each address waits its whole time-out) and DNS-SD left out. The target is under 3 s.
//
//   Discovery_bench [TIMEOUT_MS]      (default 800)
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "discovery/AddressRange.h"
#include "discovery/Discovery.h"
#include "sim/VirtualPrinter.h"

int main(int argc, char** argv) {
  using namespace tw;
  QCoreApplication application(argc, argv);
  const int timeoutMs = argc > 1 ? std::atoi(argv[1]) : discovery::kDefaultTimeoutMs;
  constexpr int kPrinters = 20;

  // Twenty printers on one free port, at 127.77.0.10 onwards.
  std::vector<std::unique_ptr<sim::VirtualPrinter>> printers;
  uint16_t port = 0;
  for (int attempt = 0; attempt < 20 && printers.size() < kPrinters; ++attempt) {
    printers.clear();
    port = 0;
    for (int i = 0; i < kPrinters; ++i) {
      sim::PrinterOptions options;
      options.personality = i % 2 ? sim::Personality::E : sim::Personality::Z;
      auto printer = std::make_unique<sim::VirtualPrinter>(options);
      const uint16_t bound = printer->ListenTcp("127.77.0." + std::to_string(10 + i), port);
      if (bound == 0) break;
      port = bound;
      printers.push_back(std::move(printer));
    }
  }
  if (printers.size() != kPrinters) {
    std::fprintf(stderr, "the printers could not listen on 127.77.0.10-29\n");
    return 1;
  }

  discovery::DiscoveryOptions options;
  options.addresses = *discovery::ParseAddressRanges(QStringLiteral("127.77.0.0/24"), nullptr);
  options.rawPort = port;
  options.timeoutMs = timeoutMs;
  options.dnsSd = false;
  options.askAll = true;
  discovery::Discovery run;
  QObject::connect(&run, &discovery::Discovery::finished, &application, &QCoreApplication::quit, Qt::QueuedConnection);
  const auto started = std::chrono::steady_clock::now();
  run.Start(options);
  application.exec();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  int identified = 0;
  for (const auto& row : run.Rows()) identified += !row.model.isEmpty();
  long long printed = 0;
  for (const auto& printer : printers) printed += printer->PrintedLabels();
  std::printf("%zu addresses, time-out %d ms: %.3f s (bound %.1f s, target 3 s); %zu printers listed, %d with "
              "model; labels printed: %lld\n",
              options.addresses.size(), timeoutMs, seconds,
              discovery::RunBoundMs(options.addresses.size(), timeoutMs) / 1000.0, run.Rows().size(), identified,
              printed);
  return seconds < 3.0 && identified == kPrinters && printed == 0 ? 0 : 1;
}
