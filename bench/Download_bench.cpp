// SPDX-License-Identifier: GPL-3.0-or-later
// Time of a file download through the download dialog (its real transfer thread, the real link and
// the real waits), with every named wait summed, so that the difference to the time the bytes need
// can be told apart.
//
//   Download_bench tcp HOST PORT FILE
//       sends FILE to a TCP sink (bench/download_vs_socat.sh runs it next to socat)
//   Download_bench slow [MEGABYTES] [KB_PER_SECOND] [--plain]
//       sends MEGABYTES (default 20) over loopback TCP to the virtual printer, which takes
//       KB_PER_SECOND (default 100) KB a second, and compares the time until the printer has every
//       byte with the bytes' own time at that rate; with --plain the bytes go by plain blocking
//       socket writes instead of the dialog (what the virtual printer's own pacing costs)
//   Download_bench pty [MEGABYTES]
//       sends MEGABYTES (default 1) of data over a pseudo-terminal opened as a serial port to the
//       virtual printer, which takes the bytes at the pace of 115200 baud, and compares the time
//       with the bytes' own time at that rate (10 bits a byte) and with a plain blocking write of the
//       same bytes to the same printer (what the printer's pacing itself costs)
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "core/AppPaths.h"
#include "core/Pacing.h"
#include "download/DownLoad.h"
#include "lang/Language.h"
#include "link/Connection.h"
#include "link/DeviceLibraries.h"
#include "link/LinkState.h"
#include "sim/VirtualPrinter.h"
#include "widgets/FileDialogSpec.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBaud = 115200;

// Sleeps for real and sums every wait by name.
class TallyPacer : public tw::Pacer {
 public:
  void Sleep(tw::PaceStep step) override {
    if (step.ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
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
    long count = 0;
    long ms = 0;
  };
  std::map<std::string, Tally> Tallies() const {
    std::lock_guard lock(mutex_);
    return tallies_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, Tally> tallies_;
};

struct Timing {
  Clock::time_point start, end;
  bool completed = false;
  double seconds() const { return std::chrono::duration<double>(end - start).count(); }
};

// Runs one download of `file` through the dialog on the open link, from the press of the download
// button to the end of its transfer.
Timing TimedDownload(const std::filesystem::path& file) {
  tw::SetFileChooser([file](const tw::TFileDialog&, QWidget*) {
    return tw::FileChoice{QString::fromStdString(file.string()), 1};
  });
  tw::TDownDialog dialog(nullptr);
  dialog.show();
  dialog.Button1Click();
  QEventLoop loop;
  QObject::connect(&dialog, &tw::TDownDialog::downloadFinished, &loop, &QEventLoop::quit);
  Timing timing;
  timing.start = Clock::now();
  dialog.BtDownLoadClick();
  if (!dialog.Downloading()) return timing;
  loop.exec();
  timing.end = Clock::now();
  timing.completed = dialog.lastOutcome() == tw::DownloadOutcome::Completed;
  return timing;
}

void PrintWaits(const TallyPacer& pacer, double seconds) {
  long waitMs = 0;
  for (const auto& [name, tally] : pacer.Tallies()) {
    std::printf("  wait %-52s %7ld x  %9.3f s\n", name.c_str(), tally.count, tally.ms / 1000.0);
    waitMs += tally.ms;
  }
  std::printf("  named waits in all: %.3f s; the rest (writing, reading the file, the window): %.3f s\n",
              waitMs / 1000.0, seconds - waitMs / 1000.0);
}

// Print data only: bytes that cannot begin a command of the printer.
std::string PrintData(std::size_t size) {
  std::mt19937 random(7);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>('0' + random() % 64);
  return bytes;
}

int RunTcp(const std::string& host, int port, const std::filesystem::path& file) {
  auto pacer = std::make_shared<TallyPacer>();
  tw::SetPacer(pacer);
  tw::LinkState& link = tw::Link();
  link.Set(tw::LinkState::Text::NetworkAddress, host);
  link.networkPort = port;
  link.currentKind = tw::PortKind::Network;
  if (!tw::OpenNetworkLink()) {
    std::fprintf(stderr, "cannot connect to %s:%d\n", host.c_str(), port);
    return 1;
  }
  link.open = true;
  const Timing timing = TimedDownload(file);
  const double seconds = timing.seconds();
  tw::CloseNetworkLink();
  if (!timing.completed) {
    std::fprintf(stderr, "the download did not complete\n");
    return 1;
  }
  const auto size = std::filesystem::file_size(file);
  std::printf("download dialog, TCP: %zu bytes in %.3f s (%.1f MB/s)\n", static_cast<std::size_t>(size), seconds,
              size / seconds / 1e6);
  PrintWaits(*pacer, seconds);
  std::printf("DOWNLOAD_MS %.0f\n", seconds * 1000);
  return 0;
}

// Writes all bytes to the pseudo-terminal with plain blocking writes, raw mode; the seconds until the
// printer has every byte, or a negative value.
double PlainWriteSeconds(tw::sim::VirtualPrinter& printer, const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  termios mode{};
  if (::tcgetattr(fd, &mode) == 0) {
    ::cfmakeraw(&mode);
    ::tcsetattr(fd, TCSANOW, &mode);
  }
  printer.ClearReceived();
  const auto start = Clock::now();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool all = done == bytes.size() && printer.WaitForReceived(bytes.size(), 60000);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(fd);
  return all ? seconds : -1;
}

int RunPty(int megabytes) {
  auto pacer = std::make_shared<TallyPacer>();
  tw::SetPacer(pacer);
  const std::size_t size = static_cast<std::size_t>(megabytes) << 20;
  const auto file = std::filesystem::temp_directory_path() / ("tw-download-bench-" + std::to_string(getpid()) + ".bin");
  const std::string bytes = PrintData(size);
  std::ofstream(file, std::ios::binary) << bytes;
  tw::sim::PrinterOptions options;
  options.faults.baud = kBaud;
  options.keepReceived = false;
  tw::sim::VirtualPrinter printer(options);
  const std::string path = printer.OpenPty();
  tw::LinkState& link = tw::Link();
  link.currentKind = tw::PortKind::Serial;
  if (path.empty() || !tw::OpenSerialPort(path, kBaud, 8, 1, tw::FlowControl::Hardware, 0)) {
    std::fprintf(stderr, "cannot open the virtual printer's pseudo-terminal\n");
    return 1;
  }
  link.open = true;
  const Timing timing = TimedDownload(file);
  // The dialog is done when its last block is written; the printer still has what the
  // pseudo-terminal buffers to take. The download is over when the printer has every byte.
  const bool all = timing.completed && printer.WaitForReceived(size, 60000);
  const double delivered = std::chrono::duration<double>(Clock::now() - timing.start).count();
  tw::CloseSerialPort();
  std::filesystem::remove(file);
  if (!all) {
    std::fprintf(stderr, "the download did not complete\n");
    return 1;
  }
  const double plain = PlainWriteSeconds(printer, path, bytes);
  const double wire = size * 10.0 / kBaud;
  std::printf("download dialog, pseudo-terminal at %d baud: %zu bytes; the dialog's transfer ended after %.3f s, "
              "the printer had every byte after %.3f s\n",
              kBaud, size, timing.seconds(), delivered);
  std::printf("the bytes' own time at %d baud (10 bits a byte): %.3f s\n", kBaud, wire);
  std::printf("plain blocking writes of the same bytes to the same printer: %.3f s\n", plain);
  std::printf("ratio delivered / wire time: %.3f; delivered / plain writes: %.3f\n", delivered / wire,
              plain > 0 ? delivered / plain : 0.0);
  PrintWaits(*pacer, timing.seconds());
  return 0;
}

// Writes all bytes to a new connection with plain blocking writes; true when all were written.
bool PlainSocketWrite(uint16_t port, const std::string& bytes) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  if (fd >= 0) ::close(fd);
  return ok;
}

int RunSlowPrinter(int megabytes, int kilobytesPerSecond, bool plain) {
  auto pacer = std::make_shared<TallyPacer>();
  tw::SetPacer(pacer);
  const std::size_t size = static_cast<std::size_t>(megabytes) << 20;
  const auto file = std::filesystem::temp_directory_path() / ("tw-download-bench-" + std::to_string(getpid()) + ".bin");
  std::ofstream(file, std::ios::binary) << PrintData(size);
  tw::sim::PrinterOptions options;
  options.faults.readBytesPerSecond = kilobytesPerSecond * 1024;
  options.keepReceived = false;
  tw::sim::VirtualPrinter printer(options);
  tw::LinkState& link = tw::Link();
  link.Set(tw::LinkState::Text::NetworkAddress, "127.0.0.1");
  link.networkPort = printer.ListenTcp();
  link.currentKind = tw::PortKind::Network;
  if (!tw::OpenNetworkLink()) {
    std::fprintf(stderr, "cannot connect to the virtual printer\n");
    return 1;
  }
  link.open = true;
  Timing timing;
  if (plain) {
    tw::CloseNetworkLink();
    timing.start = Clock::now();
    timing.completed = PlainSocketWrite(link.networkPort, PrintData(size));
    timing.end = Clock::now();
  } else {
    timing = TimedDownload(file);
  }
  const bool all = timing.completed && printer.WaitForReceived(size, 600000);
  const double delivered = std::chrono::duration<double>(Clock::now() - timing.start).count();
  tw::CloseNetworkLink();
  std::filesystem::remove(file);
  if (!all) {
    std::fprintf(stderr, "the download did not complete\n");
    return 1;
  }
  const double own = static_cast<double>(size) / (kilobytesPerSecond * 1024.0);
  std::printf("%s, TCP to a printer taking %d KB/s: %zu bytes; the transfer ended after "
              "%.3f s, the printer had every byte after %.3f s\n",
              plain ? "plain blocking writes" : "download dialog", kilobytesPerSecond, size, timing.seconds(), delivered);
  std::printf("the bytes' own time at that rate: %.3f s; ratio: %.4f\n", own, delivered / own);
  PrintWaits(*pacer, timing.seconds());
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: Download_bench tcp HOST PORT FILE\n"
                       "       Download_bench slow [MEGABYTES] [KB_PER_SECOND]\n"
                       "       Download_bench pty [MEGABYTES]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::signal(SIGPIPE, SIG_IGN);
  tw::InitProgramDirFromExecutable();
  tw::ResetLink(tw::RealDeviceLibraries());
  tw::SetCurrentLanguage(tw::kLanguageEnglish);
  const QStringList args = QApplication::arguments();
  if (args.size() >= 5 && args[1] == "tcp") {
    return RunTcp(args[2].toStdString(), args[3].toInt(), args[4].toStdString());
  }
  if (args.size() >= 2 && args[1] == "slow") {
    return RunSlowPrinter(args.size() >= 3 ? std::max(1, args[2].toInt()) : 20,
                          args.size() >= 4 ? std::max(1, args[3].toInt()) : 100, args.contains("--plain"));
  }
  if (args.size() >= 2 && args[1] == "pty") return RunPty(args.size() >= 3 ? std::max(1, args[2].toInt()) : 1);
  return Usage();
}
