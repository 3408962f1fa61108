// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StatusCommand.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "status/PrinterStatus.h"

namespace tw {

CLI::App* AddStatusCommand(CLI::App& app, StatusArgs& args) {
  auto* command = app.add_subcommand("status", "ask the printer for its status and print it in plain words");
  command->add_option("--set", args.set, "the printer's command set: z (default) or e")
      ->check(CLI::IsMember({"z", "e"}, CLI::ignore_case));
  command->add_flag("--json", args.json, "print one JSON object");
  return command;
}

int RunStatus(const StatusArgs& args) {
  const bool z = args.set == "z" || args.set == "Z";
  const status::Report report = status::QueryStatus(z ? status::CommandSet::Z : status::CommandSet::E);
  if (args.json) {
    std::cout << status::ToJson(report) << "\n";
  } else {
    for (const status::Condition& c : report.conditions) {
      std::cout << status::SeverityName(c.severity) << ": " << c.text << " (" << c.field << ")\n";
    }
    if (report.answered && !report.Worst()) std::cout << "No error or warning reported.\n";
    if (const auto& id = report.identity) {
      std::cout << "Model " << id->model << ", firmware " << id->firmware << ", " << id->dotsPerMm
                << " dots/mm, memory " << id->memory << "\n";
    }
    for (const status::Note& note : report.notes) std::cout << "Note: " << note.text << "\n";
  }
  if (report.linkFailed) {
    std::cerr << "The link to the printer failed while its status was read.\n";
    return 1;
  }
  if (!report.answered) {
    std::cerr << "The printer answered no status query.\n";
    return 1;
  }
  const auto worst = report.Worst();
  return worst && *worst >= status::Severity::Warning ? kExitStatusReported : 0;
}

}  // namespace tw
