// SPDX-License-Identifier: GPL-3.0-or-later
// Time of a full read of the Z user parameter editor (its read button: 30 request and reply exchanges)
// and of a full parameter dump (256 slots and the three named entries, read-once mode as the Z editor
// runs it) against the virtual printer over loopback TCP and over a pseudo-terminal opened as a serial
// port, next to the least time the bytes need on that link, with the fixed waits that make up the
// difference summed by name.
//
// The pseudo-terminal runs at 115200 baud (the virtual printer paces both directions at 10 bits a
// byte), so its least time is the bytes on the wire. Loopback TCP has no line speed: its least time is
// the same dump with every named wait taken out (the pure request and reply traffic, plus the one
// time-out wait of the discarding read at the start).
//
//   build/bin/ParamDump_bench
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <QApplication>
#include <QPushButton>
#include <unistd.h>

#include "core/AppPaths.h"
#include "core/Pacing.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "params/EepromSetNormalUser.h"
#include "params/ParamProtocol.h"
#include "sim/VirtualPrinter.h"
#include "wizards/SetPrinter.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBaud = 115200;

// Sleeps for real (or not at all) and sums every wait by name.
class TallyPacer : public tw::Pacer {
 public:
  explicit TallyPacer(bool sleep) : sleep_(sleep) {}
  void Sleep(tw::PaceStep step) override {
    if (sleep_ && step.ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
    std::lock_guard lock(mutex_);
    Tally& tally = tallies_[std::string(step.name)];
    ++tally.count;
    tally.ms += step.ms;
  }
  int Timeout(tw::PaceStep step) override { return step.ms; }
  int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
  }
  struct Tally {
    int count = 0;
    long ms = 0;
  };
  std::map<std::string, Tally> Tallies() const {
    std::lock_guard lock(mutex_);
    return tallies_;
  }

 private:
  bool sleep_;
  mutable std::mutex mutex_;
  std::map<std::string, Tally> tallies_;
};

enum class Link { Tcp, Pty };
enum class Operation { Dump, EditorRead, WizardRead };

struct Run {
  bool ok = false;
  double seconds = 0;
  std::size_t bytesSent = 0, bytesReceived = 0;
  std::map<std::string, TallyPacer::Tally> waits;
};

// networkReadTimeoutMs: 0 keeps the connect value (5000 ms); 500 is what it is after any earlier reply
// read in normal mode.
Run Measure(Operation operation, Link kind, bool withWaits, const std::filesystem::path& file,
            int networkReadTimeoutMs = 0) {
  auto pacer = std::make_shared<TallyPacer>(withWaits);
  tw::SetPacer(pacer);
  tw::sim::PrinterOptions options;
  if (kind == Link::Pty) options.faults.baud = kBaud;
  tw::sim::VirtualPrinter printer(options);
  tw::ResetLink({nullptr, nullptr, tw::MakeTcpNetPortApi()});
  tw::LinkState& link = tw::Link();
  Run run;
  if (kind == Link::Tcp) {
    link.Set(tw::LinkState::Text::NetworkAddress, "127.0.0.1");
    link.networkPort = printer.ListenTcp();
    if (!tw::OpenNetworkLink()) return run;
    link.currentKind = tw::PortKind::Network;
    if (networkReadTimeoutMs > 0) link.networkReadTimeoutMs = networkReadTimeoutMs;
  } else {
    if (!tw::OpenSerialPort(printer.OpenPty(), kBaud, 8, 1, tw::FlowControl::Hardware, 0)) return run;
    link.currentKind = tw::PortKind::Serial;
  }
  link.open = true;
  if (operation == Operation::WizardRead) {
    tw::TSetPrinter wizard(nullptr);
    const std::size_t before = printer.Received().size();
    const auto start = Clock::now();
    run.ok = wizard.ReadPrinterSettings();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.bytesSent = printer.Received().size() - before;
    run.waits = pacer->Tallies();
    tw::ResetLink({});
    tw::SetPacer(nullptr);
    return run;
  }
  if (operation == Operation::EditorRead) {
    tw::TFormEepromNormalUser editor(nullptr, [](const char*) {});
    editor.show();
    const auto start = Clock::now();
    editor.btnReadPrint->click();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.ok = editor.btnSetPrint->isEnabled();  // enabled only by a read that got every value
    run.bytesSent = printer.Received().size();
    run.bytesReceived = 30 * 6;  // every request is answered by four digits and CR LF
    run.waits = pacer->Tallies();
    tw::ResetLink({});
    tw::SetPacer(nullptr);
    return run;
  }
  const auto start = Clock::now();
  run.ok = tw::WriteParameterDump(file, true);
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.bytesSent = printer.Received().size();
  // What the printer sent is what the file holds beyond the record heads the tool writes.
  const std::size_t recordHeads = 256 * std::string("~WN00@eep,w,00,").size() +
                                  std::string("~WN00@ini,w,PrinterName,~WN00@ini,w,PrinterNameQesh,"
                                              "~WN00@ini,w,TphAdj,").size();
  run.bytesReceived = std::filesystem::file_size(file) - recordHeads;
  run.waits = pacer->Tallies();
  tw::ResetLink({});
  tw::SetPacer(nullptr);
  return run;
}

void Report(const char* name, const Run& real, double leastSeconds, const char* leastHow) {
  std::printf("\n%s: %s in %.2f s; %zu bytes sent, %zu bytes received\n", name, real.ok ? "done" : "FAILED",
              real.seconds, real.bytesSent, real.bytesReceived);
  std::printf("  least time the bytes need: %.3f s (%s)\n", leastSeconds, leastHow);
  double waited = 0;
  for (const auto& [step, tally] : real.waits) {
    std::printf("  %-52s %5d x -> %7.2f s\n", step.c_str(), tally.count, tally.ms / 1000.0);
    waited += tally.ms / 1000.0;
  }
  std::printf("  named waits in all: %.2f s; the rest (I/O, polling, the printer's work): %.2f s\n", waited,
              real.seconds - waited);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const auto dir = std::filesystem::temp_directory_path() / ("tw-paramdump-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  tw::SetProgramDir(dir);
  const auto file = dir / "dump.eep";

  const Run readTcp = Measure(Operation::EditorRead, Link::Tcp, true, file);
  const Run readTcpBare = Measure(Operation::EditorRead, Link::Tcp, false, file);
  Report("Z editor read, loopback TCP", readTcp, readTcpBare.seconds, "the same read with every named wait taken out");
  const Run readPty = Measure(Operation::EditorRead, Link::Pty, true, file);
  Report("Z editor read, pseudo-terminal at 115200 baud", readPty,
         (readPty.bytesSent + readPty.bytesReceived) * 10.0 / kBaud, "every byte at 10 bits a byte");

  // The wizard's bytes received are not counted (its replies vary in length): its least time is its
  // requests' time on the line, a lower bound.
  const Run wizardPty = Measure(Operation::WizardRead, Link::Pty, true, file);
  Report("Z setup wizard read, pseudo-terminal at 115200 baud", wizardPty, wizardPty.bytesSent * 10.0 / kBaud,
         "its requests at 10 bits a byte");

  const Run tcp = Measure(Operation::Dump, Link::Tcp, true, file);
  const Run tcpBare = Measure(Operation::Dump, Link::Tcp, false, file);
  Report("dump, loopback TCP", tcp, tcpBare.seconds, "the same dump with every named wait taken out");
  // The dump first throws away pending input with one read, which on the network waits the whole read
  // time-out when nothing is pending: 5000 ms on a fresh connection, 500 ms after a normal reply read.
  const Run tcpShort = Measure(Operation::Dump, Link::Tcp, true, file, 500);
  const Run tcpShortBare = Measure(Operation::Dump, Link::Tcp, false, file, 500);
  Report("dump, loopback TCP, network read time-out 500 ms", tcpShort, tcpShortBare.seconds,
         "the same dump with every named wait taken out");

  const Run pty = Measure(Operation::Dump, Link::Pty, true, file);
  const double wire = (pty.bytesSent + pty.bytesReceived) * 10.0 / kBaud;
  Report("dump, pseudo-terminal at 115200 baud", pty, wire, "every byte at 10 bits a byte");

  std::filesystem::remove_all(dir);
  return readTcp.ok && readPty.ok && wizardPty.ok && tcp.ok && tcpBare.ok && tcpShort.ok && tcpShortBare.ok && pty.ok ? 0 : 1;
}
