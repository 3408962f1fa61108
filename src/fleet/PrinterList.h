// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The printer list: a plain text file, one network printer a line,
//   NAME ADDRESS[:PORT] [z|e]
// separated by blanks or tabs; port 9100 and the command set z when left out; `#` starts a comment
// (to the line end); blank lines are skipped. A bad line makes the whole file refused, with the
// line's number, so that a job never runs over half a list.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::fleet {

inline constexpr int kDefaultPrinterPort = 9100;

enum class CommandSet { Z, E };

struct PrinterEntry {
  std::string name;     // letters, digits, '.', '_' and '-': it names the printer's backup files
  std::string address;  // a dotted IPv4 address or a host name
  int port = kDefaultPrinterPort;
  CommandSet set = CommandSet::Z;
};

struct PrinterList {
  std::vector<PrinterEntry> printers;
};

// The list in a text; on a bad line nullopt and `error` says "line N: why".
std::optional<PrinterList> ParsePrinterList(std::string_view text, std::string* error);
// The list in a file; nullopt with `error` naming the file (and the line) when it cannot be read or
// holds a bad line.
std::optional<PrinterList> LoadPrinterList(const std::filesystem::path& file, std::string* error);

// One entry from its fields as a line holds them ("NAME", "ADDRESS[:PORT]", optional "z"/"e");
// nullopt with `error` saying why.
std::optional<PrinterEntry> ParsePrinterEntry(const std::vector<std::string_view>& fields, std::string* error);
// The entry as a line of the file (without line end): the port and set only when not the default.
std::string FormatPrinterLine(const PrinterEntry& entry);

// The user's list: printers.txt in the user's settings folder ($XDG_CONFIG_HOME/tagwright).
std::filesystem::path DefaultPrinterListPath();

// Adds one printer at the end of a list file (created with its folder when missing). Refused, with
// `error` saying why and the file unchanged, when the entry is not valid, the file holds a bad line
// or already a printer of that name. The file is replaced through a temporary file and a rename, so
// that it is never left half written. The discovery list's "Add to list" calls this.
bool AppendPrinter(const std::filesystem::path& file, const PrinterEntry& entry, std::string* error);

const char* CommandSetName(CommandSet set);  // "z" or "e"

}  // namespace tw::fleet
