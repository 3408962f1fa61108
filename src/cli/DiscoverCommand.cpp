// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DiscoverCommand.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <iostream>

#include "cli/CliApp.h"
#include "discovery/AddressRange.h"
#include "discovery/Discovery.h"
#include "link/WaitInterrupt.h"

namespace tw {

CLI::App* AddDiscoverCommand(CLI::App& app, DiscoverArgs& args) {
  auto* discover = app.add_subcommand("discover", "find the printers on the network (without --range: DNS-SD only)");
  discover->add_option("--range", args.range, "addresses to probe: a CIDR block (192.0.2.0/24) or a range A-B (its .0 and .255 addresses left out)");
  discover->add_option("--raw-port", args.rawPort, "the printers' raw TCP port (default 9100)")
      ->check(CLI::Range(1, 65535));
  discover->add_option("--snmp-port", args.snmpPort, "the SNMP agents' UDP port (default 161)")
      ->check(CLI::Range(1, 65535));
  discover->add_option("--community", args.community, "the SNMP community (default public)");
  discover->add_option("--timeout", args.timeoutMs, "time-out per address in milliseconds (default 800)")
      ->check(CLI::Range(1, 60000));
  discover->add_flag("--no-mdns", args.noMdns, "do not browse DNS-SD");
  discover->add_flag("--no-snmp", args.noSnmp, "do not ask SNMP agents");
  discover->add_flag("--ask-all", args.askAll,
                     "send the identification queries to every open raw port (an office printer on that port "
                     "prints what it is sent)");
  discover->add_flag("--json", args.json, "print the list as JSON");
  return discover;
}

namespace {

// A range larger than a /24 is probed only when the user agrees; without a terminal to ask on,
// the range given on the command line stands.
bool AgreeToLargeRange(std::size_t addresses) {
  if (addresses <= discovery::kConfirmAbove || !::isatty(STDIN_FILENO)) return true;
  std::cerr << "The range holds " << addresses << " addresses. Probe them all? [y/N] " << std::flush;
  std::string answer;
  std::getline(std::cin, answer);
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

QString Shown(const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; }

void PrintRows(const discovery::Discovery& run, bool json) {
  if (json) {
    QJsonObject object;
    object[QStringLiteral("printers")] = discovery::RowsToJson(run.Rows());
    object[QStringLiteral("notes")] = QJsonArray::fromStringList(run.Notes());
    std::cout << QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
    return;
  }
  for (const discovery::PrinterRow& row : run.Rows()) {
    const QStringList fields = {row.address + QLatin1Char(':') + QString::number(row.port), Shown(row.model),
                                Shown(row.firmware), Shown(row.serial), Shown(row.name),
                                row.commandSet.isNull() ? QStringLiteral("-") : QString(row.commandSet),
                                discovery::WayNames(row.foundBy).join(QLatin1Char(','))};
    std::cout << fields.join(QLatin1Char('\t')).toStdString() << "\n";
  }
  for (const QString& note : run.Notes()) std::cerr << note.toStdString() << "\n";
}

}  // namespace

int RunDiscover(const DiscoverArgs& args) {
  discovery::DiscoveryOptions options;
  if (!args.range.empty()) {
    QString error;
    auto addresses = discovery::ParseAddressRanges(QString::fromStdString(args.range), &error);
    if (!addresses) {
      std::cerr << error.toStdString() << "\n";
      return kExitUsage;
    }
    if (!AgreeToLargeRange(addresses->size())) return kExitFailure;
    options.addresses = std::move(*addresses);
  }
  options.rawPort = args.rawPort;
  options.snmpPort = args.snmpPort;
  options.community = QString::fromStdString(args.community);
  options.timeoutMs = args.timeoutMs;
  options.dnsSd = !args.noMdns;
  options.snmp = !args.noSnmp;
  options.askAll = args.askAll;
  if (args.askAll && !options.addresses.empty()) {
    std::cerr << "Warning: every open raw port is asked to identify itself; an office printer on that port prints "
                 "whatever it is sent.\n";
  }

  int argc = 1;
  char name[] = "tagwright-cli";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  discovery::Discovery run;
  QObject::connect(&run, &discovery::Discovery::finished, &application, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  // A signal raises the command's interrupt: the run stops at once.
  std::unique_ptr<QSocketNotifier> interrupted;
  if (const WaitInterrupt* interrupt = WaitInterrupt::Current(); interrupt && interrupt->fd() >= 0) {
    interrupted = std::make_unique<QSocketNotifier>(interrupt->fd(), QSocketNotifier::Read);
    QObject::connect(interrupted.get(), &QSocketNotifier::activated, &run, [&] {
      interrupted->setEnabled(false);
      run.Cancel();
    });
  }
  run.Start(options);
  if (run.Running()) application.exec();
  if (WaitInterrupted()) return kExitFailure;
  PrintRows(run, args.json);
  if (!run.AnyWayRan()) return kExitFailure;
  return run.Rows().empty() ? kExitNoPrinterFound : kExitOk;
}

}  // namespace tw
