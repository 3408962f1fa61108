// SPDX-License-Identifier: GPL-3.0-or-later
// tagwright-cli end to end: the real program against the virtual printer over loopback TCP and a
// pseudo-terminal, and the --port parsing on its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <chrono>
#include <random>
#include <sstream>
#include <thread>

#include "cli/PortSpec.h"
#include "link/HexConversions.h"
#include "sim/VirtualPrinter.h"
#include "support/Process.h"
#include "support/PtyPair.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

test::ProcessResult Cli(const std::vector<std::string>& args, const std::string& input = "") {
  return test::RunProgram("tagwright-cli", args, input);
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (auto& b : bytes) b = static_cast<char>(random() & 0xFF);
  return bytes;
}

class CliAgainstPrinter : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = printer_.ListenTcp();
    ASSERT_NE(port_, 0);
  }
  std::string Net() const { return "net:127.0.0.1:" + std::to_string(port_); }

  sim::VirtualPrinter printer_;
  uint16_t port_ = 0;
  test::TempDir dir_;
};

TEST_F(CliAgainstPrinter, SendDeliversAFileAndStandardInputByteForByte) {
  const std::string file = RandomBytes(300000, 7);
  auto sent = Cli({"--port", Net(), "send", dir_.Write("label.bin", file).string()});
  EXPECT_EQ(sent.exitCode, 0) << sent.err;
  ASSERT_TRUE(printer_.WaitForReceived(file.size(), 5000));
  EXPECT_EQ(printer_.Received(), file);

  printer_.ClearReceived();
  const std::string label = "^XA^FO50,50^FDHello^FS^XZ\r\n";
  auto piped = Cli({"--port", Net(), "send", "-"}, label);
  EXPECT_EQ(piped.exitCode, 0) << piped.err;
  ASSERT_TRUE(printer_.WaitForReceived(label.size(), 5000));
  EXPECT_EQ(printer_.Received(), label);
}

// A send over the network ends well only once the printer has taken every byte: a printer that drops
// part way fails it; one that reads slowly and sent a status line that nobody reads gets the whole
// file (a close with input unread would reset the connection and lose what was still on its way).
// The session log of a version query holds every byte sent and received: decoding each line's text
// gives back exactly what went over the link.
TEST(CliLog, TheLogOfAVersionQueryDecodesToTheBytesSentAndReceived) {
  const std::string versionText = "V1.0 \x07<\\x41>\xB0\xA1\xFF~";
  sim::VirtualPrinter printer({.versionText = versionText});
  const uint16_t port = printer.ListenTcp();
  ASSERT_NE(port, 0);
  test::TempDir dir;
  const std::string portName = "127.0.0.1:" + std::to_string(port);
  auto version = Cli({"--log", (dir / "session.log").string(), "--port", "net:" + portName, "version"});
  ASSERT_EQ(version.exitCode, 0) << version.err;
  std::string sent, received;
  std::istringstream log(test::ReadFileBytes(dir / "session.log"));
  for (std::string line; std::getline(log, line);) {
    // "HH:MM:SS.mmm > PORT BYTES"
    ASSERT_GT(line.size(), 15u + portName.size()) << line;
    EXPECT_EQ(line.substr(12, 3 + portName.size() + 1).substr(3), portName + " ") << line;
    (line[13] == '>' ? sent : received) += DecodeEscapes(line.substr(16 + portName.size()));
  }
  EXPECT_EQ(sent, printer.Received());
  EXPECT_EQ(sent, "~WN01@version~\r\n");
  EXPECT_EQ(received, versionText + "\r\n");
}

struct NetworkSendRow {
  const char* name;
  long long dropAfter;  // -1: never
  int readBytesPerSecond;
  const char* greeting;
  std::size_t bytes;
  int exitCode;
};
const NetworkSendRow kNetworkSendRows[] = {
    {"DropsAfter200kOf1M", 200000, 0, "", 1 << 20, 1},
    {"SlowWithAnUnreadStatusLine", -1, 400 * 1024, "status\r\n", 200000, 0},
};
class CliNetworkSend : public ::testing::TestWithParam<NetworkSendRow> {};

TEST_P(CliNetworkSend, ExitsZeroOnlyWhenThePrinterTookEveryByte) {
  const NetworkSendRow& row = GetParam();
  sim::PrinterOptions options;
  options.faults.disconnectAfterBytes = row.dropAfter;
  options.faults.readBytesPerSecond = row.readBytesPerSecond;
  options.faults.greeting = row.greeting;
  sim::VirtualPrinter printer(options);
  const uint16_t port = printer.ListenTcp();
  ASSERT_NE(port, 0);
  std::string file(row.bytes, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>('a' + i % 26);
  test::TempDir dir;
  auto sent = Cli({"--port", "net:127.0.0.1:" + std::to_string(port), "send", dir.Write("f.prn", file).string()});
  EXPECT_EQ(sent.exitCode, row.exitCode) << sent.err;
  if (row.exitCode == 0) {
    printer.WaitForReceived(file.size(), 2000);
    EXPECT_TRUE(printer.Received() == file) << printer.Received().size() << " bytes arrived";
  }
}

INSTANTIATE_TEST_SUITE_P(Printers, CliNetworkSend, ::testing::ValuesIn(kNetworkSendRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliAgainstPrinter, VersionAndQueryPrintTheReply) {
  printer_.SetSlot(0x01, 0x0085);
  auto version = Cli({"--port", Net(), "version"});
  EXPECT_EQ(version.exitCode, 0) << version.err;
  EXPECT_EQ(printer_.Received(), "~WN01@version~\r\n");
  EXPECT_FALSE(version.out.empty());
  EXPECT_NE(version.out.find("\r\n"), std::string::npos) << "CR LF is shown as a line break";

  auto slot = Cli({"--port", Net(), "query", "~WN00@eep,r,01~"});
  EXPECT_EQ(slot.exitCode, 0) << slot.err;
  EXPECT_EQ(slot.out, "0085\r\n");

  auto hex = Cli({"--port", Net(), "--hex", "query", "~WN00@eep,r,01~"});
  EXPECT_EQ(hex.out, "30 30 38 35 0D 0A \n");

  // Escapes in the request become their bytes: the named entry request ends in CR LF.
  printer_.SetNamedEntry("TphAdj", "12");
  auto named = Cli({"--port", Net(), "query", "~WN00@ini,r,TphAdj<\\x0D><\\x0A>"});
  EXPECT_EQ(named.exitCode, 0) << named.err;
  EXPECT_EQ(named.out, "12\r\n");
}

TEST_F(CliAgainstPrinter, NoReplyAndNoPrinterAreFailures) {
  sim::Faults silent;
  silent.noReply = true;
  printer_.SetFaults(silent);
  auto quiet = Cli({"--port", Net(), "version"});
  EXPECT_EQ(quiet.exitCode, 1);
  EXPECT_TRUE(quiet.out.empty());
  EXPECT_FALSE(quiet.err.empty());
  EXPECT_EQ(std::count(quiet.err.begin(), quiet.err.end(), '\n'), 1) << "one sentence: " << quiet.err;

  // A printer that drops the link on the request: the link was lost, not merely unanswered.
  sim::Faults dropping;
  dropping.disconnectAfterBytes = 0;
  printer_.SetFaults(dropping);
  for (const char* command : {"version", "read-slot"}) {
    std::vector<std::string> args = {"--port", Net(), command};
    if (std::string(command) == "read-slot") args.push_back("20");
    auto dropped = Cli(args);
    EXPECT_EQ(dropped.exitCode, 1) << command;
    EXPECT_NE(dropped.err.find("link to the printer was lost"), std::string::npos) << dropped.err;
  }

  printer_.Stop();
  auto gone = Cli({"--port", Net(), "version"});
  EXPECT_EQ(gone.exitCode, 1);
  EXPECT_NE(gone.err.find("cannot be opened: the connection was refused at " + Net().substr(4)), std::string::npos)
      << gone.err;
}

TEST_F(CliAgainstPrinter, ListenPrintsWhatArrives) {
  std::thread streamer([this] {
    for (int i = 0; i < 500 && printer_.Connections() == 0; ++i) {  // a busy machine starts the CLI slowly
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    printer_.SendUnsolicited(std::string("status\r\n\x07", 9));
  });
  const auto start = std::chrono::steady_clock::now();
  auto listened = Cli({"--port", Net(), "listen", "--seconds", "1.5"});
  streamer.join();
  EXPECT_EQ(listened.exitCode, 0) << listened.err;
  EXPECT_EQ(listened.out, "status\r\n<\\x07>");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500))
      << "the time limit ends the read in progress, not the network read time-out after it";

  // The printer goes away: said, exit 1, no spinning until the limit.
  std::thread stopper([this] {
    for (int i = 0; i < 500 && printer_.Connections() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    printer_.Stop();
  });
  auto dropped = Cli({"--port", Net(), "listen", "--seconds", "20"});
  stopper.join();
  EXPECT_EQ(dropped.exitCode, 1) << dropped.err;
  EXPECT_NE(dropped.err.find("The printer port " + Net().substr(4) + " went away."), std::string::npos) << dropped.err;
}

TEST(CliOverSerial, VersionOverAPseudoTerminal) {
  sim::VirtualPrinter printer;
  const std::string path = printer.OpenPty();
  ASSERT_FALSE(path.empty());
  auto version = Cli({"--port", "serial:" + path + ":115200:8N1:sw", "version"});
  EXPECT_EQ(version.exitCode, 0) << version.err;
  EXPECT_EQ(printer.Received(), "~WN01@version~\r\n");
  EXPECT_FALSE(version.out.empty());
}

TEST(CliOverSerial, ListenSaysWhenThePortGoesAway) {
  test::PtyPair pty;
  // The speed the program sets shows when it has opened the port; then the adapter is unplugged.
  const int probe = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  ::tcgetattr(probe, &tio);
  ::cfsetspeed(&tio, B9600);
  ::tcsetattr(probe, TCSANOW, &tio);
  std::thread unplug([&] {
    for (int i = 0; i < 1000 && (::tcgetattr(probe, &tio) != 0 || ::cfgetospeed(&tio) != B115200); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pty.CloseMaster();
  });
  const auto start = std::chrono::steady_clock::now();
  auto listened = Cli({"--port", "serial:" + pty.slavePath() + ":115200", "listen", "--seconds", "20"});
  unplug.join();
  ::close(probe);
  EXPECT_EQ(listened.exitCode, 1) << listened.err;
  EXPECT_NE(listened.err.find("went away"), std::string::npos) << listened.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << "not waiting out its time";
}

TEST(CliUsage, BadUsageExitsWithTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {},
           {"--port", "net:127.0.0.1"},
           {"version"},
           {"--port", "tcp:127.0.0.1", "version"},
           {"--port", "serial:COM1:12345", "version"},
           {"--port", "net:127.0.0.1:99999", "version"},
           {"--port", "net:127.0.0.1", "send"},
           {"--port", "net:127.0.0.1", "frobnicate"},
           {"preview", "label.txt", "--dpmm", "7"},
           {"preview", "label.txt", "--set", "x"},
           {"preview", "label.txt", "-o", "label.jpg"},
       }) {
    auto result = Cli(args);
    EXPECT_EQ(result.exitCode, 2) << (args.empty() ? "" : args.back()) << ": " << result.err;
  }
  auto missing = Cli({"--port", "serial:/dev/no-such-port", "version"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("/dev/no-such-port cannot be opened: there is no such device"), std::string::npos)
      << missing.err;
}

// Every program answers --version and --help on its own, without a display and without running
// anything: the first line names what was asked for.
struct InfoOptionRow {
  const char* program;
  const char* option;
  const char* firstLineStart;
};
const InfoOptionRow kInfoOptionRows[] = {
    {"tagwright", "--version", "tagwright 0."},          {"tagwright", "--help", "Usage: tagwright"},
    {"tagwright-cli", "--version", "tagwright-cli 0."},  {"tagwright-cli", "--help", "tagwright-cli:"},
    {"tagwright-printersim", "--version", "tagwright-printersim 0."},
    {"tagwright-printersim", "--help", "Virtual label printer"},
    {"tagwright-usbprinter", "--version", "tagwright-usbprinter 0."},
    {"tagwright-usbprinter", "--help", "usage: tagwright-usbprinter"},
};
class ProgramInfoOption : public ::testing::TestWithParam<InfoOptionRow> {};

TEST_P(ProgramInfoOption, PrintsAndExitsZeroWithoutADisplay) {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(variable);
  auto result = test::RunProgram(GetParam().program, {GetParam().option}, "", 10000);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.rfind(GetParam().firstLineStart, 0), 0u) << result.out;
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramInfoOption, ::testing::ValuesIn(kInfoOptionRows), [](const auto& info) {
  std::string name = std::string(info.param.program) + info.param.option;
  name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }),
             name.end());
  return name;
});
struct PreviewRow {
  const char* name;
  std::string data;
  std::vector<std::string> options;
  int exitCode;
  std::vector<std::string> files;  // written, with their sizes in dots where a PNG
  int width = 0, height = 0;
  std::string err = "";            // a line of standard error
  int pages = 0;                   // of the PDF written
  friend void PrintTo(const PreviewRow& row, std::ostream* out) { *out << row.name; }
};

const PreviewRow kPreviewRows[] = {
    {"OneLabel", "^XA^FO0,0^GB10,10,10^FS^XZ", {"-o", "out.png"}, 0, {"out.png"}, 813, 1219},
    {"SizeOverridden", "N\nLO0,0,5,5\nP1\n", {"-o", "out.png", "--width", "100", "--length", "50"}, 0, {"out.png"}, 100, 50},
    {"TwoLabelsOneNotAllDrawn", "^XA^PW40^LL20^XZ\n^XA^ZZ^XZ", {"-o", "out.png", "--dpmm", "12"}, 3,
     {"out-1.png", "out-2.png"}, 40, 20, "2:4: ^ZZ: the preview does not draw this command\n"},
    {"PdfPages", "^XA^XZ^XA^XZ", {"-o", "out.pdf", "--set", "z"}, 0, {"out.pdf"}, 0, 0, "", 2},
    {"PdfPageForALabelNotDrawn", "^XA^XZ^XA^PW40000^XZ^XA^XZ", {"-o", "out.pdf"}, 3, {"out.pdf"}, 0, 0, "^PW: the label is larger", 3},
    {"WidthTooLargeIsNotKept", "^XA^PW40000^XZ^XA^FO0,0^GB9,9,9^FS^XZ", {"-o", "out.png"}, 3, {"out-2.png"}, 813, 1219},
    {"NothingDrawnIsNotASuccess", "^XA^PW40000^XZ", {"-o", "out.png"}, 1, {}, 0, 0, "no label was drawn"},
    {"NoLabel", "hello", {"-o", "out.png"}, 1, {}, 0, 0, "no label"},
};

class CliPreview : public ::testing::TestWithParam<PreviewRow> {};

TEST_P(CliPreview, WritesEachLabelAndTellsWhatWasNotDrawn) {
  const PreviewRow& row = GetParam();
  test::TempDir dir;
  const std::string input = dir.Write("label.txt", row.data).string();
  std::vector<std::string> args = {"preview", input};
  for (const std::string& option : row.options) {
    args.push_back(option.starts_with("out") ? (dir.path() / option).string() : option);
  }
  const test::ProcessResult result = Cli(args);
  EXPECT_EQ(result.exitCode, row.exitCode) << result.err;
  EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
  for (const std::string& file : row.files) {
    const QImage image(QString::fromStdString((dir.path() / file).string()));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / file)) << file;
    if (row.width) {
      EXPECT_EQ(image.size(), QSize(row.width, row.height)) << file;
    }
  }
  if (std::find(row.files.begin(), row.files.end(), "out.png") == row.files.end()) {
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.png"));
  }
  if (row.pages) {  // page objects, not the page tree ("/Type /Pages")
    std::ifstream in(dir.path() / row.files[0], std::ios::binary);
    const std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int pages = 0;
    for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1)) {
      pages += pdf.compare(at, 12, "/Type /Pages") != 0;
    }
    EXPECT_EQ(pages, row.pages);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, CliPreview, ::testing::ValuesIn(kPreviewRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliPreviewInput, MissingFileIsBadInput) { EXPECT_EQ(Cli({"preview", "/no/such/label.txt"}).exitCode, 1); }

TEST(PortSpecParsing, FieldsAndDefaults) {
  std::string error;
  auto net = ParsePortSpec("net:printer.local", &error);
  ASSERT_TRUE(net);
  EXPECT_EQ(net->kind, PortKind::Network);
  EXPECT_EQ(net->name, "printer.local");
  EXPECT_EQ(net->number, 9100);

  auto serial = ParsePortSpec("serial:COM3", &error);
  ASSERT_TRUE(serial);
  EXPECT_EQ(serial->serial.baud, 9600);
  EXPECT_EQ(serial->serial.dataBits, 8);
  EXPECT_EQ(serial->serial.parity, 0);
  EXPECT_EQ(serial->serial.stopBits, 1);
  EXPECT_EQ(serial->serial.flow, FlowControl::Hardware);

  auto full = ParsePortSpec("serial:/dev/ttyUSB0:115200:7E2:sw", &error);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->name, "/dev/ttyUSB0");
  EXPECT_EQ(full->serial.baud, 115200);
  EXPECT_EQ(full->serial.dataBits, 7);
  EXPECT_EQ(full->serial.parity, 2);
  EXPECT_EQ(full->serial.stopBits, 2);
  EXPECT_EQ(full->serial.flow, FlowControl::XonXoff);

  auto usb = ParsePortSpec("usb:2", &error);
  ASSERT_TRUE(usb);
  EXPECT_EQ(usb->number, 2);
  auto usblp = ParsePortSpec("usblp:lp0 (Model: X)", &error);
  ASSERT_TRUE(usblp);
  EXPECT_EQ(usblp->name, "lp0 (Model: X)");

  for (const char* bad : {"", "net:", "net:a:b", "serial:", "serial:COM1:9600:9N1", "serial:COM1:9600:8N1:xx",
                          "usb:0", "usb:9", "lpt:", "bogus:1"}) {
    error.clear();
    EXPECT_FALSE(ParsePortSpec(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
}  // namespace tw

namespace tw {
namespace {

// The status command: what the printer reports sets the exit status; a silent printer is told
// within its read time-out and the short waits of the other queries.
struct StatusRow {
  const char* name;
  bool headOpen;
  bool silent;
  std::vector<std::string> args;
  int exitCode;
  std::vector<std::string> inOutput;
};
class CliStatus : public ::testing::TestWithParam<StatusRow> {};

TEST_P(CliStatus, ExitsByWhatThePrinterReports) {
  const StatusRow& row = GetParam();
  sim::PrinterOptions options;
  options.status.conditions.headOpen = row.headOpen;
  options.faults.noReply = row.silent;
  sim::VirtualPrinter printer(options);
  const uint16_t port = printer.ListenTcp();
  ASSERT_NE(port, 0);
  std::vector<std::string> args = {"--port", "net:127.0.0.1:" + std::to_string(port), "status"};
  args.insert(args.end(), row.args.begin(), row.args.end());
  const auto start = std::chrono::steady_clock::now();
  auto result = Cli(args);
  EXPECT_EQ(result.exitCode, row.exitCode) << result.out << result.err;
  for (const std::string& text : row.inOutput) EXPECT_NE(result.out.find(text), std::string::npos) << result.out;
  // The read time-out of the network (5 s) and 1 s, with room for a busy machine; far below the
  // three full time-outs of waits that are not shared.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000 + 1000 + 1500));
  EXPECT_EQ(printer.PrintedLabels(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Printers, CliStatus,
    ::testing::Values(
        StatusRow{"HeadOpen", true, false, {"--json"}, 3,
                  {"\"id\": \"head-open\", \"severity\": \"error\", \"text\": \"Print head open\", "
                   "\"field\": \"~HQES errors 0x4, ~HS o\"", "\"answered\": true"}},
        StatusRow{"AllWell", false, false, {"--set", "z"}, 0, {"No error or warning reported."}},
        StatusRow{"Silent", false, true, {"--json"}, 1,
                  {"\"answered\": false", "\"~HQES not answered\", \"~HS not answered\""}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tw
