// SPDX-License-Identifier: GPL-3.0-or-later
// tagwright-printersim: a virtual label printer on a TCP port or a pseudo-terminal, for trying the
// tool and for tests without hardware. Runs until SIGINT or SIGTERM.
#include <CLI/CLI.hpp>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <stop_token>
#include <thread>
#include <iostream>
#include <sstream>
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

// Changes the printer's conditions while it runs: from a control file, read again whenever its
// content changes or SIGHUP arrives, and from keys while standard input is a terminal in the
// foreground (each key toggles one condition).
class ConditionControl {
 public:
  ConditionControl(tw::sim::VirtualPrinter& printer, std::string file, bool announce)
      : printer_(printer), file_(std::move(file)), announce_(announce) {
    keys_ = isatty(STDIN_FILENO) && tcgetpgrp(STDIN_FILENO) == getpgrp() &&
            tcgetattr(STDIN_FILENO, &saved_) == 0;
    if (!keys_) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    announce_ = true;
    std::cerr << "printersim: keys toggle conditions:";
    for (const auto& c : tw::sim::ConditionNames()) std::cerr << ' ' << c.key << '=' << c.name;
    std::cerr << '\n';
  }
  ~ConditionControl() {
    if (!keys_) return;
    // Moved to the background meanwhile, setting the terminal would stop the program (SIGTTOU):
    // the signal is ignored for the call, and the terminal gets its settings back all the same.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGTTOU, &ignore, &previous);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    sigaction(SIGTTOU, &previous, nullptr);
  }

  // Called a few times a second and on SIGHUP (force: read the file even if unchanged).
  void Poll(bool force) {
    if (!file_.empty()) ReadFile(force);
    // A terminal moved to the background must not be read (that would stop the program).
    if (keys_ && tcgetpgrp(STDIN_FILENO) == getpgrp()) ReadKeys();
  }

 private:
  void ReadFile(bool force) {
    std::ifstream in(file_, std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    if (!force && text.str() == lastFile_) return;
    lastFile_ = text.str();
    std::vector<std::string> unknown;
    const tw::sim::PrinterConditions conditions = tw::sim::ParseConditions(lastFile_, unknown);
    for (const auto& word : unknown) std::cerr << "printersim: unknown condition '" << word << "'\n";
    Apply(conditions);
  }

  void ReadKeys() {
    tw::sim::PrinterConditions conditions = printer_.Conditions();
    char key = 0;
    bool changed = false;
    while (read(STDIN_FILENO, &key, 1) == 1) {
      for (const auto& c : tw::sim::ConditionNames()) {
        if (c.key == key) {
          conditions.*c.flag = !(conditions.*c.flag);
          changed = true;
        }
      }
    }
    if (changed) Apply(conditions);
  }

  void Apply(const tw::sim::PrinterConditions& conditions) {
    if (conditions == printer_.Conditions()) return;
    printer_.SetConditions(conditions);
    if (announce_) std::cerr << "printersim: conditions: " << DescribeConditions(conditions) << '\n';
  }

  tw::sim::VirtualPrinter& printer_;
  std::string file_;
  bool announce_;
  bool keys_ = false;
  termios saved_{};
  std::string lastFile_;
};

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
  // Status: the conditions at start, how they change while running, the identification reply.
  tw::sim::StatusOptions& status = options.status;
  for (const auto& c : tw::sim::ConditionNames()) {
    const std::string alias = c.alias.empty() ? "" : ",--" + std::string(c.alias);
    app.add_flag("--" + std::string(c.name) + alias, status.conditions.*c.flag,
                 "start with the condition " + std::string(c.name));
  }
  app.add_flag("--silent-when-head-open", status.silentHostStatusWhenHeadOpen,
               "give no answer to ~HS while the head is open");
  std::string controlFile;
  app.add_option("--control", controlFile,
                 "a file naming the conditions that are on (e.g. \"paper-out ribbon-out\"); read "
                 "again when it changes or on SIGHUP");
  int chatterMs = 0;
  app.add_option("--chatter", chatterMs,
                 "every MS milliseconds send a numbered line of its own (\"CHATTER 000001\" CR LF)")
      ->check(CLI::Range(1, 3600000));
  app.add_option("--dpmm", status.identity.dotsPerMm, "Z: dots per mm in the identification")
      ->check(CLI::Range(1, 99))
      ->capture_default_str();
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
      {app.add_option("--model", given.model,
                      "model name in the configuration reply (E) and the identification (Z)")
           ->capture_default_str(),
       [](const Config& f, Config& t) { t.model = f.model; }},
      {app.add_option("--firmware", given.firmware,
                      "firmware text after FV (E) and in the identification (Z)")
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
  if (overrides[0].option->count() > 0) status.identity.model = given.model;
  if (overrides[1].option->count() > 0) status.identity.firmware = given.firmware;

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
  sigaddset(&stopSignals, SIGHUP);
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

  ConditionControl control(printer, controlFile, log);
  // Numbered lines, so that a host can check that none of the printer's own bytes went missing.
  std::jthread chatter;
  if (chatterMs > 0) {
    chatter = std::jthread([&printer, chatterMs](std::stop_token stop) {
      std::mutex mutex;
      std::condition_variable_any wake;
      for (long number = 1; !stop.stop_requested(); ++number) {
        std::unique_lock lock(mutex);
        if (wake.wait_for(lock, stop, std::chrono::milliseconds(chatterMs), [] { return false; })) break;
        if (stop.stop_requested()) break;
        char line[32];
        std::snprintf(line, sizeof line, "CHATTER %06ld\r\n", number);
        printer.SendUnsolicited(line);
      }
    });
  }
  int received = 0;
  for (;;) {
    constexpr timespec kControlPoll{0, 250'000'000};
    received = sigtimedwait(&stopSignals, nullptr, &kControlPoll);
    // SIGHUP re-reads the control file; without one it ends the program, as by default.
    if (received == SIGINT || received == SIGTERM) break;
    if (received == SIGHUP && controlFile.empty()) break;
    control.Poll(received == SIGHUP);
  }
  if (chatter.joinable()) {
    chatter.request_stop();
    chatter.join();
  }
  printer.Stop();
  if (log) std::cerr << "printersim: stopped by signal " << received << '\n';
  return 0;
}
