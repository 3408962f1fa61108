// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list commands of tagwright-cli: jobs over a printer list and the list file itself.
//   tagwright-cli [--printers FILE] [--jobs N] [--format table|csv|json | --json] inventory
//   tagwright-cli [--printers FILE] ... backup DIR
//   tagwright-cli [--printers FILE] ... apply FILE [--set z|e] [--dry-run] [--slots LIST]
//   tagwright-cli --printers FILE ... send FILE
//   tagwright-cli [--printers FILE] list add NAME ADDRESS[:PORT] [z|e]
// Without --printers the user's list (fleet/PrinterList.h DefaultPrinterListPath) is used; `send`
// goes to a list only with --printers. Exit status: 0 every printer succeeded, 3 some failed, 1 the
// job could not start, 2 wrong usage, 130 after Ctrl+C (the first starts nothing new and lets
// writes finish, a second cuts at once).
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace tw {

struct FleetCommands;
// Adds the list options and commands to the program's parser; `send` is the one-printer send
// command, which goes to the list when --printers is given.
std::shared_ptr<FleetCommands> AddFleetCommands(CLI::App& app, CLI::App* send, std::string* sendFile);
// Whether the parsed command line asks for a list command.
bool FleetCommandWanted(const FleetCommands& commands);
// Runs it; its exit status.
int RunFleetCommand(const FleetCommands& commands);

}  // namespace tw
