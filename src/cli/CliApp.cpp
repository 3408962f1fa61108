// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliApp.h"

#include <sys/socket.h>

#include <pthread.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <fstream>
#include <iostream>
#include <utility>
#include <vector>

#include "cli/DiscoverCommand.h"
#include "cli/CliFleet.h"
#include "cli/PortSpec.h"
#include "cli/StatusCommand.h"
#include "cli/PreviewCommand.h"
#include "core/AppPaths.h"
#include "core/LicenceNotice.h"
#include "core/Pacing.h"
#include "download/DownloadPlan.h"
#include "download/DownloadTransfer.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/HexConversions.h"
#include "link/LinkState.h"
#include "link/PortListing.h"
#include "link/SessionLog.h"
#include "link/WaitInterrupt.h"
#include "params/ParamProtocol.h"

namespace tw {
namespace {

// The interrupt of the command's thread: a signal, or the end of `listen --seconds`, raises it, and
// every wait of the link on that thread ends at once. Never freed: the watcher may raise it while
// the process ends.
WaitInterrupt& CommandInterrupt() {
  static WaitInterrupt* const interrupt = new WaitInterrupt;
  return *interrupt;
}

std::atomic<int> g_signal{0};      // SIGINT or SIGTERM once taken, else 0
std::atomic<bool> g_ending{false};  // claimed by the one path that ends the process

// A dump being written goes to a temporary file, renamed once complete. The last-resort end below
// removes it, so that no partial dump is left as if it were one.
std::mutex g_dumpMutex;
std::filesystem::path g_partialDump;

// How long the command has to notice a signal, close the link and end by itself. Only a wait that
// the interrupt cannot reach (standard input that never ends) lasts longer.
constexpr auto kEndGrace = std::chrono::seconds(2);

// SIGINT and SIGTERM are taken by a thread of their own (sigwait). It raises the command's
// interrupt; the command then stops whatever it waits for, and the main thread closes the link and
// exits with 128 + the signal's number (130 for Ctrl+C, 143 for SIGTERM). Only when the command has
// not ended itself within the grace does this thread end the process, without touching the link.
void WatchForInterrupts(sigset_t signals) {
  int signal = 0;
  if (sigwait(&signals, &signal) != 0) return;
  g_signal = signal;
  CommandInterrupt().Raise();
  std::this_thread::sleep_for(kEndGrace);
  if (g_ending.exchange(true)) return;  // the main thread is ending the process
  {
    std::lock_guard lock(g_dumpMutex);
    std::error_code ignored;
    if (!g_partialDump.empty()) std::filesystem::remove(g_partialDump, ignored);
  }
  static constexpr char kNote[] = "Interrupted.\n";
  [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, kNote, sizeof kNote - 1);
  ::_exit(128 + signal);
}

void StartInterruptWatcher() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Blocked here before any other thread starts, so that every thread inherits it and only the
  // watcher takes these signals.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  CommandInterrupt();
  std::thread(WatchForInterrupts, signals).detach();
}

// After a signal the command's own failure is not reported: the interruption is.
int Fail(const std::string& sentence) {
  if (!g_signal) std::cerr << sentence << "\n";
  return kExitFailure;
}

// The port as messages name it.
std::string PortLabel(const PortSpec& portSpec) {
  switch (portSpec.kind) {
    case PortKind::Network: return portSpec.name + ":" + std::to_string(portSpec.number);
    case PortKind::UsbDevice: return "usb:" + std::to_string(portSpec.number);
    default: return portSpec.name;
  }
}

// Who may open a device of each kind, as the port dialog tells it.
struct AccessRule {
  PortKind kind;
  const char* rule;
};
constexpr AccessRule kAccessRules[] = {
    {PortKind::Serial, "serial ports belong to the group dialout: add your user to it (sudo usermod -aG dialout $USER) "
                       "and log in again"},
    {PortKind::Parallel, "parallel ports belong to the group lp: add your user to it (sudo usermod -aG lp $USER) and "
                         "log in again"},
    {PortKind::UsbPrinter, "the printer nodes /dev/usb/lp* belong to the group lp: add your user to it (sudo usermod "
                           "-aG lp $USER) and log in again"},
    {PortKind::UsbDevice, "the udev rule 60-tagwright.rules installed with Tagwright gives the logged-in user access "
                          "to USB printers: check that it is installed, then unplug and replug the printer"},
};

// Why an open failed, from the errno the opening layer left; empty when it gave none.
std::string OpenFailureReason(PortKind kind, int error, const std::string& address, int port) {
  const std::string peer = address + ":" + std::to_string(port);
  switch (error) {
    case EACCES:
    case EPERM:
      for (const AccessRule& row : kAccessRules) {
        if (row.kind == kind) return std::string("you are not allowed to use it; ") + row.rule;
      }
      return "you are not allowed to use it";
    case ENOENT:
    case ENODEV:
    case ENXIO: return "there is no such device";
    case EBUSY: return "the device is in use by another program";
    case ECONNREFUSED: return "the connection was refused at " + peer;
    case ENETUNREACH:
    case EHOSTUNREACH: return "there is no route to " + address;
    case ETIMEDOUT:
      return "no answer from " + peer + " within " +
             std::to_string((Link().networkConnectTimeoutMs + 999) / 1000) + " s";
    case 0:
    case ECANCELED: return {};
    default: return std::strerror(error);
  }
}

// Opens the port of the portSpec on the process-wide link; a sentence on failure.
std::optional<std::string> OpenLink(const PortSpec& portSpec) {
  LinkState& link = Link();
  bool opened = false;
  std::string address;
  errno = 0;
  switch (portSpec.kind) {
    case PortKind::Network: {
      address = ResolveHostIpv4(portSpec.name);
      if (address.empty()) return "The printer's host name " + portSpec.name + " cannot be resolved.";
      link.Set(LinkState::Text::NetworkAddress, address);
      link.networkPort = portSpec.number;
      opened = OpenNetworkLink();
      break;
    }
    case PortKind::Serial:
      opened = OpenSerialPort(portSpec.name, portSpec.serial.baud, portSpec.serial.dataBits, portSpec.serial.stopBits,
                              portSpec.serial.flow, portSpec.serial.parity);
      break;
    case PortKind::Parallel: opened = OpenParallelPort(portSpec.name); break;
    case PortKind::UsbPrinter: opened = OpenUsbPrinterPort(portSpec.name) != -1; break;
    case PortKind::UsbDevice: opened = OpenUsbDevicePort(portSpec.number - 1) != -1; break;
    case PortKind::Spooler: break;
  }
  if (!opened) {
    const std::string reason = OpenFailureReason(portSpec.kind, errno, address, portSpec.number);
    return "The printer port " + PortLabel(portSpec) + " cannot be opened" + (reason.empty() ? "" : ": " + reason) +
           ".";
  }
  link.currentKind = portSpec.kind;
  link.open = true;
  return std::nullopt;
}

std::string ShowReply(const std::string& bytes, bool hex) {
  return hex ? BytesToSpacedHex(bytes) : BytesToEscapedText(bytes);
}

// The block size of a send: small blocks on serial and parallel lines, where each block must pass
// within the write time-out even at low speeds; the download's blocks on USB, where each transfer
// must pass within the transfer time-out; large ones on the network, whose write time-out bounds a
// stall rather than the whole write.
std::size_t SendBlockBytes(PortKind kind) {
  switch (kind) {
    case PortKind::Serial:
    case PortKind::Parallel: return 2048;
    case PortKind::UsbDevice:
    case PortKind::UsbPrinter: return kDownloadBlockBytes;
    default: return 64 * 1024;
  }
}

// Streams the source to the printer in blocks and waits until the printer has taken the last one.
int SendStream(std::istream& source, const std::string& readFailure, PortKind kind) {
  RaiseLinkTimeoutsForDownload();
  Link().serialWriteTimeoutMs = 10000;
  std::vector<char> block(SendBlockBytes(kind));
  while (source) {
    source.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<std::size_t>(source.gcount());
    if (got > 0 && !SendToPrinter(std::string_view(block.data(), got))) return Fail("Sending to the printer failed.");
  }
  if (!source.eof()) return Fail(readFailure);
  if (!AwaitDelivery()) return Fail("Sending to the printer failed: the printer did not take all the data.");
  return kExitOk;
}

// The reply to a request, as the version query reads it: up to four reads, the first non-empty one.
Reply AskOnce(const std::string& request) {
  Link().serialWriteTimeoutMs = 2000;
  DiscardPendingInput();
  if (!SendToPrinter(request)) return {-1, {}};
  for (int i = 0; i < 4; ++i) {
    Reply reply = ReadReply();
    if (!reply.text.empty()) return reply;
  }
  return {};
}

int RunAsk(const std::string& request, bool hex, const char* what) {
  Reply reply = AskOnce(request);
  if (reply.count < 0) return Fail("The " + std::string(what) + " could not be sent to the printer.");
  if (reply.text.empty() && PortWentAway()) {
    return Fail("The link to the printer was lost before it answered the " + std::string(what) + ".");
  }
  if (reply.text.empty()) return Fail("The printer did not answer the " + std::string(what) + ".");
  const std::string shown = ShowReply(reply.text, hex);
  std::cout << shown << (shown.back() == '\n' ? "" : "\n");
  return kExitOk;
}

int RunSend(const std::string& file, PortKind kind) {
  if (file == "-") return SendStream(std::cin, "Standard input cannot be read.", kind);
  std::ifstream in(file, std::ios::binary);
  if (!in) return Fail("The file " + file + " cannot be read.");
  return SendStream(in, "The file " + file + " cannot be read.", kind);
}

// Prints what arrives until the time is up (a timer raises the command's interrupt, which ends the
// read in progress), a signal comes, or the port goes away.
int RunListen(double seconds, bool hex, const std::string& portName) {
  std::jthread timer;
  if (seconds > 0) {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
    timer = std::jthread([end](std::stop_token stop) {
      std::mutex mutex;
      std::condition_variable_any wake;
      std::unique_lock lock(mutex);
      wake.wait_until(lock, stop, end, [] { return false; });
      if (!stop.stop_requested()) CommandInterrupt().Raise();
    });
  }
  while (!WaitInterrupted()) {
    Reply chunk = ReadAvailable();
    if (!chunk.text.empty()) {
      std::cout << ShowReply(chunk.text, hex) << std::flush;
    } else if (PortWentAway()) {
      return Fail("The printer port " + portName + " went away.");
    }
  }
  return kExitOk;
}

int RunPorts() {
  std::cout << "Serial ports:\n";
  for (const auto& port : ListSerialPorts()) {
    std::cout << "  " << port.device << "  " << port.description
              << (port.serialNumber.empty() ? "" : ", serial number " + port.serialNumber)
              << (port.byId.empty() ? "" : "  " + port.byId) << "\n";
  }
  const DeviceLibraries libs = Link().Libraries();
  std::cout << "USB printers (usblp:NAME):\n";
  for (const auto& name : ListUsbPrinters(*libs.usbPrinter)) std::cout << "  " << name << "\n";
  std::cout << "USB devices (usb:N):\n";
  for (const auto& name : ProbeUsbDevices(*libs.usbDevice)) std::cout << "  " << name << "\n";
  return kExitOk;
}

// A slot address as it travels: two hexadecimal digits, upper case.
std::optional<std::string> SlotAddressArg(const std::string& text) {
  auto value = text.size() == 2 ? SlotValueText(text) : std::nullopt;
  if (!value) return std::nullopt;
  return value->substr(2);
}

// A bit number 0 to 15, one or two decimal digits, as it travels: two digits.
std::optional<std::string> BitArg(const std::string& text) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  int bit = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    bit = bit * 10 + (c - '0');
  }
  if (bit > 15) return std::nullopt;
  return std::string{static_cast<char>('0' + bit / 10), static_cast<char>('0' + bit % 10)};
}

// The arguments of read-slot and write-slot, checked and in their wire form.
struct SlotArgs {
  std::string address;
  std::optional<std::pair<std::string, std::string>> bits;  // first and last bit of a field
  std::string value;                                         // write-slot only
};

struct SlotArgTexts {
  std::string address, value;
  std::vector<std::string> bits;
};

// The checked arguments, or a sentence saying what is wrong.
std::optional<SlotArgs> CheckSlotArgs(const SlotArgTexts& texts, bool withValue, std::string* error) {
  SlotArgs args;
  auto address = SlotAddressArg(texts.address);
  if (!address) {
    *error = "The slot address " + texts.address + " is not two hexadecimal digits (00 to FF).";
    return std::nullopt;
  }
  args.address = *address;
  if (withValue) {
    auto value = SlotValueText(texts.value);
    if (!value) {
      *error = "The value " + texts.value + " is not one to four hexadecimal digits.";
      return std::nullopt;
    }
    args.value = *value;
  }
  if (texts.bits.empty()) return args;
  if (texts.bits.size() != 2) {
    *error = "A field needs both its first and its last bit.";
    return std::nullopt;
  }
  auto first = BitArg(texts.bits[0]);
  auto last = BitArg(texts.bits[1]);
  if (!first || !last || *first > *last) {
    *error = "The bits " + texts.bits[0] + " to " + texts.bits[1] + " are not a field of bits 0 to 15.";
    return std::nullopt;
  }
  args.bits = std::make_pair(*first, *last);
  return args;
}

int RunReadSlot(const SlotArgs& args) {
  // One reply is expected: read once, as the parameter editor does.
  Link().readOnce = true;
  auto value = args.bits ? ReadParameterField(args.address, args.bits->first, args.bits->second)
                         : ReadParameterSlot(args.address);
  Link().readOnce = false;
  if (!value && PortWentAway()) {
    return Fail("The link to the printer was lost before it gave the value of slot " + args.address + ".");
  }
  if (!value) return Fail("The printer gave no value for slot " + args.address + ".");
  std::cout << *value << "\n";
  return kExitOk;
}

int RunWriteSlot(const SlotArgs& args) {
  const bool sent = args.bits ? WriteParameterField(args.address, args.value, args.bits->first, args.bits->second)
                              : WriteParameterSlot(args.address, args.value);
  return sent && AwaitDelivery() ? kExitOk : Fail("The write command could not be sent to the printer.");
}

int RunDump(const std::string& file) {
  const std::filesystem::path target(file);
  {
    std::lock_guard lock(g_dumpMutex);
    g_partialDump = PartialDumpPath(target);  // what the last-resort end removes
  }
  std::vector<std::string> unanswered;
  const bool saved = SaveParameterDump(target, true, &unanswered);
  {
    std::lock_guard lock(g_dumpMutex);
    g_partialDump.clear();
  }
  if (!saved) return Fail("The parameter dump into " + file + " failed.");
  for (const std::string& key : unanswered) {
    std::cerr << "The printer did not answer the named entry " << key << "; the file holds the other records.\n";
  }
  return kExitOk;
}

// The command's end of the process, unless the watcher has already taken it: closes the link (a
// wait of the close is cut short after a signal) and gives the exit status, 128 + the signal's number
// after a signal.
int EndCommand(int status) {
  if (g_ending.exchange(true)) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));  // the watcher is ending the process
  }
  std::cout << std::flush;
  const int signal = g_signal;
  // Input the printer sent and nobody read must not reset the link under what it still processes;
  // after a signal the link closes at once.
  CloseCurrentPort(signal ? NetworkClose::Now : NetworkClose::AfterTransfer);
  if (signal) {
    std::cerr << "Interrupted: the printer link was closed.\n";
    return 128 + signal;
  }
  return status;
}

}  // namespace

int RunCli(int argc, char** argv) {
  CLI::App app{"tagwright-cli: send data to a label printer and read what it answers."};
  app.require_subcommand(1);
  app.set_version_flag("--version", VersionText(std::string("tagwright-cli ") + TAGWRIGHT_VERSION),
                       "print the program's version and exit");
  std::string portText;
  bool hex = false;
  app.add_option("--port", portText,
                 "net:HOST[:PORT] | serial:NAME[:BAUD[:FRAME[:FLOW]]] | lpt:NAME | usblp:NAME | usb:N");
  app.add_flag("--hex", hex, "print replies as hexadecimal bytes");
  std::string logFile;
  app.add_option("--log", logFile, "append every byte sent and received to FILE, one line per piece");

  std::string file;
  auto* send = app.add_subcommand("send", "send a file (- for standard input) unchanged");
  send->add_option("FILE", file, "the file to send, - for standard input")->required();
  app.add_subcommand("version", "ask the printer for its firmware version");
  std::string queryText;
  bool crlf = false;
  auto* query = app.add_subcommand("query", "send TEXT (escapes like <\\x0D> allowed) and print one reply");
  query->add_option("TEXT", queryText, "the request in text form")->required();
  query->add_flag("--crlf", crlf, "end the request with CR LF");
  double seconds = 0;
  auto* listen = app.add_subcommand("listen", "print what the printer sends");
  listen->add_option("--seconds", seconds, "stop after this many seconds (default: until interrupted)")
      ->check(CLI::NonNegativeNumber);
  auto* ports = app.add_subcommand("ports", "list serial ports, USB printers and USB devices");
  SlotArgTexts readTexts;
  auto* readSlot = app.add_subcommand("read-slot", "print a parameter slot, or bits FIRST to LAST of it");
  readSlot->add_option("ADDRESS", readTexts.address, "the slot, two hexadecimal digits")->required();
  readSlot->add_option("BITS", readTexts.bits, "FIRST LAST: the field's bits, 0 to 15")->expected(0, 2);
  SlotArgTexts writeTexts;
  auto* writeSlot = app.add_subcommand("write-slot", "write a parameter slot, or bits FIRST to LAST of it");
  writeSlot->add_option("ADDRESS", writeTexts.address, "the slot, two hexadecimal digits")->required();
  writeSlot->add_option("VALUE", writeTexts.value, "one to four hexadecimal digits")->required();
  writeSlot->add_option("BITS", writeTexts.bits, "FIRST LAST: the field's bits, 0 to 15")->expected(0, 2);
  std::string dumpFile;
  auto* dump = app.add_subcommand("dump", "save the parameter table and named entries to a dump file");
  dump->add_option("FILE", dumpFile, "the dump file (created or overwritten)")->required();
  const std::shared_ptr<FleetCommands> fleet = AddFleetCommands(app, send, &file);
  StatusArgs statusArgs;
  auto* statusCommand = AddStatusCommand(app, statusArgs);
  PreviewArgs previewArgs;
  auto* preview = app.add_subcommand("preview", "draw the labels in a file (no printer needed)");
  preview->add_option("FILE", previewArgs.file, "the label data")->required();
  preview->add_option("-o", previewArgs.output, "write OUT.png (one per label) or OUT.pdf");
  preview->add_option("--set", previewArgs.set, "z or e (default: told from the content)");
  preview->add_option("--dpmm", previewArgs.dotsPerMm, "dots per mm: 6, 8 (default), 12 or 24");
  preview->add_option("--width", previewArgs.width, "label width in dots (overrides the data)");
  preview->add_option("--length", previewArgs.length, "label length in dots (overrides the data)");
  DiscoverArgs discoverArgs;
  CLI::App* discover = AddDiscoverCommand(app, discoverArgs);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << e.what() << "\n";
    return kExitUsage;
  }

  if (FleetCommandWanted(*fleet)) return RunFleetCommand(*fleet);

  std::signal(SIGPIPE, SIG_IGN);
  StartInterruptWatcher();
  WaitInterrupt::Scope interruptible(CommandInterrupt());
  return EndCommand([&]() -> int {
    InitProgramDirFromExecutable();
    ResetLink(RealDeviceLibraries());

    if (ports->parsed()) return RunPorts();
    if (preview->parsed()) {
      if (const std::string problem = CheckPreviewArgs(previewArgs); !problem.empty()) {
        std::cerr << problem << "\n";
        return kExitUsage;
      }
      return RunPreview(previewArgs);
    }
    if (discover->parsed()) return RunDiscover(discoverArgs);
    if (portText.empty()) {
      std::cerr << "The --port option is needed for this command.\n";
      return kExitUsage;
    }
    std::string error;
    std::optional<SlotArgs> slotArgs;
    if (readSlot->parsed() || writeSlot->parsed()) {
      slotArgs = readSlot->parsed() ? CheckSlotArgs(readTexts, false, &error) : CheckSlotArgs(writeTexts, true, &error);
      if (!slotArgs) {
        std::cerr << error << "\n";
        return kExitUsage;
      }
    }
    std::optional<PortSpec> portSpec = ParsePortSpec(portText, &error);
    if (!portSpec) {
      std::cerr << error << "\n";
      return kExitUsage;
    }
    SessionLog log([label = PortLabel(*portSpec)] { return label; });
    if (!logFile.empty()) {
      if (const std::string problem = log.Start(logFile); !problem.empty()) {
        return Fail("The log file " + logFile + " cannot be written: " + problem + ".");
      }
    }
    if (auto failure = OpenLink(*portSpec)) return Fail(*failure);

    int status = kExitOk;
    if (send->parsed()) {
      status = RunSend(file, portSpec->kind);
    } else if (query->parsed()) {
      status = RunAsk(DecodeEscapes(queryText) + (crlf ? "\r\n" : ""), hex, "request");
    } else if (listen->parsed()) {
      status = RunListen(seconds, hex, PortLabel(*portSpec));
    } else if (readSlot->parsed()) {
      status = RunReadSlot(*slotArgs);
    } else if (writeSlot->parsed()) {
      status = RunWriteSlot(*slotArgs);
    } else if (dump->parsed()) {
      status = RunDump(dumpFile);
    } else if (statusCommand->parsed()) {
      status = RunStatus(statusArgs);
    } else {
      status = RunAsk("~WN01@version~\r\n", hex, "version request");
    }
    return status;
  }());
}

}  // namespace tw
