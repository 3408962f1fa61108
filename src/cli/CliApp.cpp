#include "cli/CliApp.h"

#include <netdb.h>
#include <arpa/inet.h>
#include <sys/socket.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/PortSpec.h"
#include "core/AppPaths.h"
#include "core/Pacing.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/HexConversions.h"
#include "link/LinkState.h"
#include "link/PortListing.h"

namespace tw {
namespace {

std::atomic<bool> g_interrupted{false};

void OnSignal(int) { g_interrupted = true; }

int Fail(const std::string& sentence) {
  std::cerr << sentence << "\n";
  return kExitFailure;
}

// The dotted IPv4 address of a host name or address text; empty when it cannot be resolved.
std::string ResolveIpv4(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return {};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
  freeaddrinfo(found);
  return text;
}

// Opens the port of the portSpec on the process-wide link; a sentence on failure.
std::optional<std::string> OpenLink(const PortSpec& portSpec) {
  LinkState& link = Link();
  bool opened = false;
  switch (portSpec.kind) {
    case PortKind::Network: {
      std::string address = ResolveIpv4(portSpec.name);
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
  if (!opened) return "The printer port " + (portSpec.name.empty() ? "usb:" + std::to_string(portSpec.number) : portSpec.name) +
                      " cannot be opened.";
  link.currentKind = portSpec.kind;
  link.open = true;
  return std::nullopt;
}

std::string ShowReply(const std::string& bytes, bool hex) {
  return hex ? BytesToSpacedHex(bytes) : BytesToEscapedText(bytes);
}

// Sends in blocks: small ones on serial and parallel lines, where each block must pass within the
// write time-out even at low speeds; 1 MiB ones on USB; all at once on the network, whose write
// time-out bounds a stall rather than the whole write.
bool SendInBlocks(const std::string& bytes, PortKind kind) {
  std::size_t block = kind == PortKind::Serial || kind == PortKind::Parallel ? 2048 : (1u << 20);
  if (kind == PortKind::Network) block = bytes.size() > 0 ? bytes.size() : 1;
  Link().serialWriteTimeoutMs = 10000;
  for (std::size_t at = 0; at < bytes.size(); at += block) {
    if (!SendToPrinter(std::string_view(bytes).substr(at, block))) return false;
  }
  return true;
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
  if (reply.text.empty()) return Fail("The printer did not answer the " + std::string(what) + ".");
  const std::string shown = ShowReply(reply.text, hex);
  std::cout << shown << (shown.back() == '\n' ? "" : "\n");
  return kExitOk;
}

int RunSend(const std::string& file, PortKind kind) {
  std::string bytes;
  if (file == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) return Fail("The file " + file + " cannot be read.");
    bytes.resize(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
      return Fail("The file " + file + " cannot be read.");
    }
  }
  if (!SendInBlocks(bytes, kind)) return Fail("Sending to the printer failed.");
  return kExitOk;
}

int RunListen(double seconds, bool hex) {
  const int64_t end = seconds > 0 ? NowMs() + static_cast<int64_t>(seconds * 1000) : INT64_MAX;
  while (!g_interrupted && NowMs() < end) {
    Reply chunk = ReadAvailable();
    if (!chunk.text.empty()) std::cout << ShowReply(chunk.text, hex) << std::flush;
  }
  return kExitOk;
}

int RunPorts() {
  std::cout << "Serial ports:\n";
  for (const auto& port : ListSerialPorts()) std::cout << "  " << port.device << "  " << port.description
                                                        << (port.byId.empty() ? "" : "  " + port.byId) << "\n";
  const DeviceLibraries libs = Link().Libraries();
  std::cout << "USB printers (usblp:NAME):\n";
  for (const auto& name : ListUsbPrinters(*libs.usbPrinter)) std::cout << "  " << name << "\n";
  std::cout << "USB devices (usb:N):\n";
  for (const auto& name : ProbeUsbDevices(*libs.usbDevice)) std::cout << "  " << name << "\n";
  return kExitOk;
}

}  // namespace

int RunCli(int argc, char** argv) {
  CLI::App app{"tagwright-cli: send data to a label printer and read what it answers."};
  app.require_subcommand(1);
  std::string portText;
  bool hex = false;
  app.add_option("--port", portText,
                 "net:HOST[:PORT] | serial:NAME[:BAUD[:FRAME[:FLOW]]] | lpt:NAME | usblp:NAME | usb:N");
  app.add_flag("--hex", hex, "print replies as hexadecimal bytes");

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

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << e.what() << "\n";
    return kExitUsage;
  }

  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  InitProgramDirFromExecutable();
  ResetLink(RealDeviceLibraries());

  if (ports->parsed()) return RunPorts();
  if (portText.empty()) {
    std::cerr << "The --port option is needed for this command.\n";
    return kExitUsage;
  }
  std::string error;
  std::optional<PortSpec> portSpec = ParsePortSpec(portText, &error);
  if (!portSpec) {
    std::cerr << error << "\n";
    return kExitUsage;
  }
  if (auto failure = OpenLink(*portSpec)) return Fail(*failure);

  int status = kExitOk;
  if (send->parsed()) {
    status = RunSend(file, portSpec->kind);
  } else if (query->parsed()) {
    status = RunAsk(DecodeEscapes(queryText) + (crlf ? "\r\n" : ""), hex, "request");
  } else if (listen->parsed()) {
    status = RunListen(seconds, hex);
  } else {
    status = RunAsk("~WN01@version~\r\n", hex, "version request");
  }
  std::cout << std::flush;
  CloseCurrentPort();
  return status;
}

}  // namespace tw
