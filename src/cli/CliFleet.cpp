// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliFleet.h"

#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>
#include <thread>

#include "cli/CliApp.h"
#include "core/AppPaths.h"
#include "fleet/FleetJobs.h"
#include "fleet/FleetReport.h"
#include "fleet/PrinterList.h"

namespace tw {

inline constexpr int kExitSomeFailed = 3;

struct FleetCommands {
  std::string printers;
  int jobs = fleet::kDefaultJobs;
  std::string format = "table";
  bool json = false;
  CLI::Option* formatOption = nullptr;
  CLI::App* inventory = nullptr;
  CLI::App* backup = nullptr;
  CLI::App* apply = nullptr;
  CLI::App* send = nullptr;
  CLI::App* listAdd = nullptr;
  std::string* sendFile = nullptr;
  std::string folder, dumpFile, set = "z", slots;
  bool dryRun = false;
  std::vector<std::string> entry;
};

namespace {

// Ctrl+C (or SIGTERM) while a list job runs: the first stops it (nothing new starts, writes finish),
// a second cuts every wait at once.
void WatchSignals(sigset_t signals, std::shared_ptr<fleet::FleetRun> run) {
  for (int taken = 0; taken < 2; ++taken) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) return;
    if (taken == 0) {
      std::cerr << "Stopping: no further printer is started; printers in the middle of their writes finish them. "
                   "Press Ctrl+C again to cut at once.\n";
    }
    run->Stop();
  }
}

std::filesystem::path ListPath(const FleetCommands& c) {
  return c.printers.empty() ? fleet::DefaultPrinterListPath() : std::filesystem::path(c.printers);
}

int RunListAdd(const FleetCommands& c) {
  std::vector<std::string_view> fields(c.entry.begin(), c.entry.end());
  std::string error;
  const std::optional<fleet::PrinterEntry> entry = fleet::ParsePrinterEntry(fields, &error);
  if (!entry) {
    std::cerr << "The printer cannot be added: " << error << ".\n";
    return kExitUsage;
  }
  if (!fleet::AppendPrinter(ListPath(c), *entry, &error)) {
    std::cerr << error << "\n";
    return kExitFailure;
  }
  std::cout << "Added " << fleet::FormatPrinterLine(*entry) << " to " << ListPath(c).string() << ".\n";
  return kExitOk;
}

}  // namespace

std::shared_ptr<FleetCommands> AddFleetCommands(CLI::App& app, CLI::App* send, std::string* sendFile) {
  auto c = std::make_shared<FleetCommands>();
  c->send = send;
  c->sendFile = sendFile;
  app.add_option("--printers", c->printers, "a printer list file: the jobs inventory, backup, apply, send run "
                                            "over its printers (default for the first three: the user's list)");
  app.add_option("--jobs", c->jobs, "list jobs: printers worked on at once (default 8)")->check(CLI::Range(1, 1000));
  c->formatOption = app.add_option("--format", c->format, "list jobs: the report as table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  app.add_flag("--json", c->json, "list jobs: the report as JSON (--format json)");
  c->inventory = app.add_subcommand("inventory", "list job: version, identification and status of every printer");
  c->backup = app.add_subcommand("backup", "list job: every printer's parameter dump into DIR as NAME-YYYYMMDD-HHMMSS.eep");
  c->backup->add_option("DIR", c->folder, "the folder for the dump files")->required();
  c->apply = app.add_subcommand("apply", "list job: bring every printer to the parameter values of a dump file");
  c->apply->add_option("FILE", c->dumpFile, "the dump file")->required();
  c->apply->add_option("--set", c->set, "the dump file's command set, z (default) or e")
      ->check(CLI::IsMember({"z", "e"}));
  c->apply->add_flag("--dry-run", c->dryRun, "write nothing; print each differing slot as NAME SLOT OLD -> NEW");
  c->apply->add_option("--slots", c->slots,
                       "the slots to bring in line: hexadecimal addresses and ranges (1B,50-5C), \"user\" for the "
                       "user editor's slots (the default, without the network slots)");
  for (CLI::App* job : {c->inventory, c->backup, c->apply, send}) job->fallthrough();
  CLI::App* list = app.add_subcommand("list", "the printer list file (--printers FILE, default the user's list)");
  list->require_subcommand(1);
  c->listAdd = list->add_subcommand("add", "add a printer: NAME ADDRESS[:PORT] [z|e]");
  c->listAdd->add_option("ENTRY", c->entry, "NAME ADDRESS[:PORT] [z|e]")->required()->expected(2, 3);
  return c;
}

bool FleetCommandWanted(const FleetCommands& c) {
  return c.inventory->parsed() || c.backup->parsed() || c.apply->parsed() || c.listAdd->parsed() ||
         (c.send->parsed() && !c.printers.empty());
}

int RunFleetCommand(const FleetCommands& c) {
  InitProgramDirFromExecutable();
  if (c.listAdd->parsed()) return RunListAdd(c);
  if (c.json && c.formatOption->count() > 0 && c.format != "json") {
    std::cerr << "--json is --format json; it cannot go with --format " << c.format << ".\n";
    return kExitUsage;
  }
  const fleet::ReportFormat format = c.json ? fleet::ReportFormat::Json : *fleet::ParseReportFormat(c.format);

  fleet::JobOptions options;
  options.jobs = c.jobs;
  if (c.inventory->parsed()) {
    options.kind = fleet::JobKind::Inventory;
  } else if (c.backup->parsed()) {
    options.kind = fleet::JobKind::Backup;
    options.target = c.folder;
  } else if (c.apply->parsed()) {
    options.kind = fleet::JobKind::Apply;
    options.target = c.dumpFile;
    options.set = c.set == "e" ? fleet::CommandSet::E : fleet::CommandSet::Z;
    options.dryRun = c.dryRun;
    if (!c.slots.empty()) {
      std::string error;
      options.slotList = fleet::ParseSlotList(c.slots, options.set, &error);
      if (!options.slotList) {
        std::cerr << error << "\n";
        return kExitUsage;
      }
    }
  } else {
    options.kind = fleet::JobKind::Send;
    options.target = *c.sendFile;
  }

  std::string error;
  std::optional<fleet::PrinterList> list = fleet::LoadPrinterList(ListPath(c), &error);
  if (!list) {
    std::cerr << error << "\n";
    return kExitFailure;
  }
  if (list->printers.empty()) {
    std::cerr << "The printer list " << ListPath(c).string() << " holds no printer.\n";
    return kExitFailure;
  }
  auto run = std::make_shared<fleet::FleetRun>(std::move(*list), options);
  if (auto failure = run->Prepare()) {
    std::cerr << *failure << "\n";
    return kExitFailure;
  }
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before the workers start: only the watcher takes them
  std::thread(WatchSignals, signals, run).detach();
  run->Start();
  run->Wait();

  const std::vector<fleet::PrinterResult> results = run->Snapshot();
  // The dry run's change lines: before the table; with CSV on standard error, so that the output
  // stays one CSV table (JSON carries them in each printer's "changes").
  if (options.kind == fleet::JobKind::Apply && options.dryRun && format == fleet::ReportFormat::Table) {
    std::cout << fleet::ChangeLines(results);
  } else if (options.kind == fleet::JobKind::Apply && options.dryRun && format == fleet::ReportFormat::Csv) {
    std::cerr << fleet::ChangeLines(results);
  }
  std::cout << fleet::FormatReport(results, options.kind, format) << std::flush;
  const int status = run->ExitStatus();
  if (status == 130) std::cerr << "Interrupted.\n";
  return status;
}

}  // namespace tw
