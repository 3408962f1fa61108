// SPDX-License-Identifier: GPL-3.0-or-later
// tagwright-printersim: a virtual label printer on a TCP port or a pseudo-terminal, for trying the
// tool and for tests without hardware. Runs until SIGINT or SIGTERM.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "core/LicenceNotice.h"
#include "sim/VirtualPrinter.h"

namespace {

struct Endpoint {
  std::string host;
  uint16_t port = 0;
};

// "HOST:PORT", "[IPv6]:PORT".
std::optional<Endpoint> ParseEndpoint(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return std::nullopt;
  Endpoint endpoint;
  endpoint.host = text.substr(0, colon);
  if (endpoint.host.size() >= 2 && endpoint.host.front() == '[' && endpoint.host.back() == ']') {
    endpoint.host = endpoint.host.substr(1, endpoint.host.size() - 2);
  }
  const std::string port = text.substr(colon + 1);
  if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const unsigned long number = std::stoul(port);
  if (number > 65535) return std::nullopt;
  endpoint.port = static_cast<uint16_t>(number);
  return endpoint;
}

// "BYTES[:GAP_MS]".
bool ParseSplit(const std::string& text, tw::sim::Faults& faults) {
  const std::size_t colon = text.find(':');
  const std::string bytes = text.substr(0, colon);
  const std::string gap = colon == std::string::npos ? "0" : text.substr(colon + 1);
  const auto isCount = [](const std::string& s) {
    return !s.empty() && s.size() <= 6 && s.find_first_not_of("0123456789") == std::string::npos;
  };
  if (!isCount(bytes) || !isCount(gap)) return false;
  faults.splitPieceBytes = std::stoi(bytes);
  faults.splitGapMs = std::stoi(gap);
  return faults.splitPieceBytes > 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Virtual label printer for Tagwright: answers the version request, the parameter "
      "protocol and (E command set) the configuration request, and keeps what it receives."};
  std::string tcp = "127.0.0.1:9100";
  bool usePty = false;
  std::string mode = "z";
  std::string split;
  bool log = false;
  tw::sim::PrinterOptions options;
  options.keepReceived = false;  // nobody reads them here
  tw::sim::Faults& faults = options.faults;
  tw::sim::ConfigurationOptions& config = options.configuration;

  auto* tcpOption = app.add_option("--tcp", tcp, "listen on HOST:PORT (port 0: any free port)")
                        ->capture_default_str();
  app.add_flag("--pty", usePty, "open a pseudo-terminal and print its path (instead of TCP)")
      ->excludes(tcpOption);
  app.add_option("--mode", mode, "command set: z or e")
      ->check(CLI::IsMember({"z", "e"}, CLI::ignore_case))
      ->capture_default_str();
  app.set_version_flag("--version", tw::VersionText(std::string("tagwright-printersim ") + TAGWRIGHT_VERSION),
                       "print the program's version and exit");
  app.add_option("--version-text", options.versionText, "answer to the version request");
  app.add_option("--delay", faults.replyDelayMs, "wait MS before each reply")
      ->check(CLI::Range(0, 600000));
  app.add_option("--split", split,
                 "send replies in pieces of BYTES with GAP_MS between them (BYTES[:GAP_MS])");
  app.add_flag("--no-reply", faults.noReply, "answer nothing");
  app.add_flag("--garbage", faults.garbage, "answer with bytes that are not the reply");
  app.add_option("--disconnect-after", faults.disconnectAfterBytes,
                 "drop the link after N received bytes")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--baud", faults.baud, "take and send bytes at this rate (10 bits a byte)")
      ->check(CLI::Range(1, 4000000));
  app.add_option("--read-rate", faults.readBytesPerSecond,
                 "take received bytes at this many bytes a second (a printer that reads slowly)")
      ->check(CLI::Range(1, 400000000));
  app.add_flag("--log", log, "print a line per command received to stderr");
  // The E reply: a preset, and single options that replace its values where given.
  std::string preset;
  bool listPresets = false;
  tw::sim::ConfigurationOptions given;
  std::vector<std::string> presetNames;
  for (const auto& p : tw::sim::ConfigurationPresets()) presetNames.push_back(p.name);
  app.add_option("--preset", preset,
                 "an E printer: the configuration reply of a named model (see --list-presets)")
      ->check(CLI::IsMember(presetNames));
  app.add_flag("--list-presets", listPresets, "print the E presets and exit");
  using Config = tw::sim::ConfigurationOptions;
  struct Override {
    CLI::Option* option;
    void (*apply)(const Config& from, Config& to);
  };
  const Override overrides[] = {
      {app.add_option("--model", given.model, "E: model name in the configuration reply")
           ->capture_default_str(),
       [](const Config& f, Config& t) { t.model = f.model; }},
      {app.add_option("--firmware", given.firmware, "E: firmware text after FV")
           ->capture_default_str(),
       [](const Config& f, Config& t) { t.firmware = f.firmware; }},
      {app.add_option("--width", given.widthDots, "E: label width in dots")
           ->check(CLI::Range(0, 99999))
           ->capture_default_str(),
       [](const Config& f, Config& t) { t.widthDots = f.widthDots; }},
      {app.add_option("--label-field", given.labelField, "E: label field, e.g. Q200,24+0")
           ->capture_default_str(),
       [](const Config& f, Config& t) { t.labelField = f.labelField; }},
      {app.add_option("--speed", given.speed, "E: speed digit")
           ->check(CLI::Range(0, 9))
           ->capture_default_str(),
       [](const Config& f, Config& t) { t.speed = f.speed; }},
      {app.add_option("--darkness", given.darkness, "E: darkness")
           ->check(CLI::Range(0, 99))
           ->capture_default_str(),
       [](const Config& f, Config& t) { t.darkness = f.darkness; }},
      {app.add_option("--code-page", given.codePage, "E: code page and country, e.g. I8,0,001")
           ->capture_default_str(),
       [](const Config& f, Config& t) { t.codePage = f.codePage; }},
      {app.add_option("--options", given.options, "E: letters after Option:")
           ->capture_default_str(),
       [](const Config& f, Config& t) { t.options = f.options; }},
      {app.add_flag("--tof-backup", given.tofBackup, "E: report JF"),
       [](const Config& f, Config& t) { t.tofBackup = f.tofBackup; }},
  };
  CLI11_PARSE(app, argc, argv);

  if (listPresets) {
    for (const auto& p : tw::sim::ConfigurationPresets())
      std::cout << p.name << ": " << p.description << '\n';
    return 0;
  }
  if (!preset.empty()) config = tw::sim::FindConfigurationPreset(preset)->configuration;
  for (const Override& o : overrides) {
    if (o.option->count() > 0) o.apply(given, config);
  }

  // A preset is an E printer, so it needs no --mode e of its own.
  options.personality = (mode == "e" || mode == "E" || !preset.empty()) ? tw::sim::Personality::E
                                                                         : tw::sim::Personality::Z;
  if (!split.empty() && !ParseSplit(split, faults)) {
    std::cerr << "--split: expected BYTES[:GAP_MS] with BYTES > 0, got '" << split << "'\n";
    return 2;
  }
  std::optional<Endpoint> endpoint;
  if (!usePty) {
    endpoint = ParseEndpoint(tcp);
    if (!endpoint) {
      std::cerr << "--tcp: expected HOST:PORT, got '" << tcp << "'\n";
      return 2;
    }
  }
  if (log) {
    options.commandLog = [](const std::string& line) {
      std::cerr << "printersim: " << line << '\n';
    };
  }

  // Block the stop signals before any thread starts, so that only sigwait below receives them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  tw::sim::VirtualPrinter printer(options);
  const char* commandSet = options.personality == tw::sim::Personality::Z ? "WVLZ" : "WVLE";
  if (usePty) {
    const std::string path = printer.OpenPty();
    if (path.empty()) {
      std::cerr << "could not open a pseudo-terminal\n";
      return 1;
    }
    std::cout << commandSet << " virtual printer on serial port " << path << std::endl;
  } else {
    const uint16_t port = printer.ListenTcp(endpoint->host, endpoint->port);
    if (port == 0) {
      std::cerr << "could not listen on " << tcp << "\n";
      return 1;
    }
    std::cout << commandSet << " virtual printer listening on " << endpoint->host << ':' << port
              << std::endl;
  }

  int received = 0;
  sigwait(&stopSignals, &received);
  printer.Stop();
  if (log) std::cerr << "printersim: stopped by signal " << received << '\n';
  return 0;
}
