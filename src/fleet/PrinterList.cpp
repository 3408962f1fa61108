// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/PrinterList.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "core/AppPaths.h"

namespace tw::fleet {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    std::size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == '-';
}

// A name becomes part of file names: no separators, no leading dot, nothing a shell would mangle.
bool ValidName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name.front() == '.') return false;
  for (char c : name) {
    if (!IsNameChar(c)) return false;
  }
  return true;
}

// A host name or dotted address: letters, digits, dots and hyphens.
bool ValidHost(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host) {
    if (!IsNameChar(c) || c == '_') return false;
  }
  return true;
}

std::optional<int> PortNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

std::string ReadWhole(const std::filesystem::path& file, bool* ok) {
  std::ifstream in(file, std::ios::binary);
  *ok = static_cast<bool>(in);
  std::ostringstream text;
  if (*ok) text << in.rdbuf();
  *ok = *ok && !in.bad();
  return text.str();
}

}  // namespace

const char* CommandSetName(CommandSet set) { return set == CommandSet::E ? "e" : "z"; }

std::optional<PrinterEntry> ParsePrinterEntry(const std::vector<std::string_view>& fields, std::string* error) {
  if (fields.size() < 2 || fields.size() > 3) {
    *error = "a printer needs NAME ADDRESS[:PORT] [z|e]";
    return std::nullopt;
  }
  PrinterEntry entry;
  if (!ValidName(fields[0])) {
    *error = "the name " + std::string(fields[0]) +
             " is not 1 to 64 letters, digits, '.', '_' or '-' (not beginning with '.')";
    return std::nullopt;
  }
  entry.name = std::string(fields[0]);
  std::string_view address = fields[1];
  if (const std::size_t colon = address.find(':'); colon != std::string_view::npos) {
    const std::optional<int> port = PortNumber(address.substr(colon + 1));
    if (!port) {
      *error = "the port of " + std::string(address) + " is not a number from 1 to 65535";
      return std::nullopt;
    }
    entry.port = *port;
    address = address.substr(0, colon);
  }
  if (!ValidHost(address)) {
    *error = "the address " + std::string(address) + " is not a host name or IPv4 address";
    return std::nullopt;
  }
  entry.address = std::string(address);
  if (fields.size() == 3) {
    if (fields[2] == "z" || fields[2] == "Z") {
      entry.set = CommandSet::Z;
    } else if (fields[2] == "e" || fields[2] == "E") {
      entry.set = CommandSet::E;
    } else {
      *error = "the command set " + std::string(fields[2]) + " is not z or e";
      return std::nullopt;
    }
  }
  return entry;
}

std::string FormatPrinterLine(const PrinterEntry& entry) {
  std::string line = entry.name + " " + entry.address;
  if (entry.port != kDefaultPrinterPort) line += ":" + std::to_string(entry.port);
  if (entry.set != CommandSet::Z) line += std::string(" ") + CommandSetName(entry.set);
  return line;
}

std::optional<PrinterList> ParsePrinterList(std::string_view text, std::string* error) {
  PrinterList list;
  std::set<std::string> names;
  int number = 0;
  // A UTF-8 byte-order mark, as some editors write one, is no part of the first line.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.empty()) continue;
    std::string why;
    std::optional<PrinterEntry> entry = ParsePrinterEntry(fields, &why);
    if (entry && !names.insert(entry->name).second) why = "the name " + entry->name + " is already used";
    if (!why.empty()) {
      *error = "line " + std::to_string(number) + ": " + why;
      return std::nullopt;
    }
    list.printers.push_back(std::move(*entry));
  }
  return list;
}

std::optional<PrinterList> LoadPrinterList(const std::filesystem::path& file, std::string* error) {
  bool ok = false;
  const std::string text = ReadWhole(file, &ok);
  if (!ok) {
    *error = "The printer list " + file.string() + " cannot be read.";
    return std::nullopt;
  }
  std::string why;
  std::optional<PrinterList> list = ParsePrinterList(text, &why);
  if (!list) *error = "The printer list " + file.string() + " is refused: " + why + ".";
  return list;
}

std::filesystem::path DefaultPrinterListPath() { return UserLibDir().parent_path() / "printers.txt"; }

bool AppendPrinter(const std::filesystem::path& file, const PrinterEntry& entry, std::string* error) {
  std::string why;
  std::vector<std::string_view> fields;
  const std::string line = FormatPrinterLine(entry);
  for (std::string_view field : SplitFields(line)) fields.push_back(field);
  if (!ParsePrinterEntry(fields, &why)) {
    *error = "The printer cannot be added: " + why + ".";
    return false;
  }
  std::error_code code;
  std::string text;
  if (std::filesystem::exists(file, code)) {
    bool ok = false;
    text = ReadWhole(file, &ok);
    if (!ok) {
      *error = "The printer list " + file.string() + " cannot be read.";
      return false;
    }
  }
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += line + "\n";
  // The whole file with the new line must still be a good list (a name used twice is refused).
  if (!ParsePrinterList(text, &why)) {
    *error = "The printer cannot be added to " + file.string() + ": " + why + ".";
    return false;
  }
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), code);
  // A temporary file of a name of its own next to the list, renamed over it once complete: two
  // additions at once cannot write into one file, and no link at a fixed name is followed.
  std::string temporary = file.string() + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  bool ok = fd >= 0;
  for (std::size_t written = 0; ok && written < text.size();) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    written += ok ? static_cast<std::size_t>(n) : 0;
  }
  if (fd >= 0) {
    ok = ::fchmod(fd, 0644) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
  }
  if (ok) std::filesystem::rename(temporary, file, code);
  if (!ok || code) {
    if (fd >= 0) std::filesystem::remove(temporary, code);
    *error = "The printer list " + file.string() + " cannot be written.";
    return false;
  }
  return true;
}

}  // namespace tw::fleet
