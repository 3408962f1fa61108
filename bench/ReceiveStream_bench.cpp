// SPDX-License-Identifier: GPL-3.0-or-later
// A printer that streams: 10 MB from the virtual printer over loopback TCP into the main window's
// receive area, through the real receive thread, as the window receives when it is shown. Reports the
// rate at which the bytes reach the memo, the longest time the event loop was blocked (a 5 ms timer
// records the largest gap between its ticks), the memo's size and the process's peak memory.
//
//   ReceiveStream_bench [--hex] [--no-lines] [--mb=N] [--round-ms=N]
//
// --hex          the receive area shows hex form (three characters a byte)
// --no-lines     the stream has no line breaks: one endless line
// --mb=N         megabytes to stream (default 10)
// --round-ms=N   the receive thread's pause between reads (default 100, the program's own; a
//                smaller one hands the window chunks faster than a real link would)
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/MainForm.h"
#include "app/ReceiveArea.h"
#include "core/AppPaths.h"
#include "core/Pacing.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "sim/VirtualPrinter.h"

namespace {

struct Options {
  bool hex = false;
  bool lines = true;
  std::size_t bytes = 10u << 20;
  int roundMs = tw::pace::kReceiveRound.ms;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--hex") options.hex = true;
    else if (arg == "--no-lines") options.lines = false;
    else if (arg.starts_with("--mb=")) options.bytes = std::stoul(arg.substr(5)) << 20;
    else if (arg.starts_with("--round-ms=")) options.roundMs = std::stoi(arg.substr(11));
    else std::fprintf(stderr, "ignored: %s\n", arg.c_str());
  }
  return options;
}

// The real pacing, except for the receive thread's round.
class RoundPacer : public tw::Pacer {
 public:
  explicit RoundPacer(int roundMs) : roundMs_(roundMs) {}
  void Sleep(tw::PaceStep step) override {
    const int ms = step.name == tw::pace::kReceiveRound.name ? roundMs_ : step.ms;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  int Timeout(tw::PaceStep step) override { return step.ms; }
  int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

 private:
  int roundMs_;
};

// Printable status lines of 80 bytes with CR LF, or (without lines) the same text run together.
std::string MakeStream(std::size_t bytes, bool lines) {
  std::string stream;
  stream.reserve(bytes + 80);
  for (long n = 0; stream.size() < bytes; ++n) {
    char line[96];
    std::snprintf(line, sizeof line, "%08ld PRINTER STATUS OK, MEDIA 832 DOTS, HEAD 25.3 C, LABELS 0001234, FLAGS 00", n);
    stream.append(line, 78);
    stream += lines ? "\r\n" : "..";
  }
  stream.resize(bytes);
  return stream;
}

long ProcStatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string name;
  long value = 0;
  while (status >> name) {
    if (name == key) {
      status >> value;
      return value;
    }
    status.ignore(1 << 12, '\n');
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const Options options = ParseOptions(argc, argv);
  tw::SetPacer(std::make_shared<RoundPacer>(options.roundMs));

  const std::filesystem::path programDir =
      std::filesystem::temp_directory_path() / ("tw-receive-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(programDir);
  tw::SetProgramDir(programDir);
  tw::ResetLink({nullptr, nullptr, tw::MakeTcpNetPortApi()});

  tw::sim::PrinterOptions printerOptions;
  printerOptions.keepReceived = false;
  tw::sim::VirtualPrinter printer(printerOptions);
  const uint16_t port = printer.ListenTcp();
  if (port == 0) {
    std::fprintf(stderr, "the virtual printer cannot listen\n");
    return 1;
  }
  const std::string stream = MakeStream(options.bytes, options.lines);
  auto* window = new tw::TMainForm(nullptr, 1033);
  window->Cb_ShowHex1->setChecked(options.hex);

  // Bytes that reached the window, the event loop's longest stall, and the time of the first and
  // last byte shown.
  std::size_t delivered = 0;
  QElapsedTimer clock;
  qint64 firstMs = -1, shownMs = -1, lastTickMs = -1, longestGapMs = 0, longestGapEndMs = 0;
  int gapsOver50 = 0, gapsOver100 = 0;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(5);
  auto recordGap = [&] {
    const qint64 now = clock.elapsed();
    const qint64 gap = now - lastTickMs;
    if (gap > longestGapMs) {
      longestGapMs = gap;
      longestGapEndMs = now;
    }
    gapsOver50 += gap > 50;
    gapsOver100 += gap > 100;
    lastTickMs = now;
  };
  QObject::connect(&ticker, &QTimer::timeout, recordGap);
  QObject::connect(window, &tw::TMainForm::chunkReceived, window, [&](const QByteArray& chunk) {
    if (firstMs < 0) firstMs = clock.elapsed();
    delivered += static_cast<std::size_t>(chunk.size());
    if (delivered < stream.size()) return;
    // The receive area inserts what is pending within its spacing; the bench does not wait for it.
    window->receiveArea()->FlushPendingChunks();
    shownMs = clock.elapsed();
    recordGap();  // the stretch since the last tick counts too
    ticker.stop();
    QCoreApplication::exit(0);  // not quit(): that would close the window and ask the exit question
  }, Qt::QueuedConnection);

  std::atomic<bool> stop{false};
  std::thread sender([&] {
    while (printer.Connections() < 1 && !stop) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    constexpr std::size_t kPiece = 32 * 1024;
    for (std::size_t at = 0; at < stream.size() && !stop; at += kPiece) printer.SendUnsolicited(stream.substr(at, kPiece));
  });
  QTimer::singleShot(300000, &app, [&] {
    std::fprintf(stderr, "timed out after 300 s with %zu bytes delivered\n", delivered);
    QCoreApplication::exit(1);
  });

  // As in the program: the window is up (and painted) before the user connects, and the connect
  // runs with the receive thread paused.
  window->show();  // starts the receive thread, which finds no port yet
  QTimer::singleShot(500, window, [&] {
    window->StopReceiving();
    tw::Receive_Thread::Join();
    tw::Link().Set(tw::LinkState::Text::NetworkAddress, "127.0.0.1");
    tw::Link().networkPort = port;
    if (!tw::OpenNetworkLink()) {
      std::fprintf(stderr, "cannot connect to the virtual printer\n");
      QCoreApplication::exit(1);
      return;
    }
    tw::Link().currentKind = tw::PortKind::Network;
    tw::Link().open = true;
    window->StartReceiving();  // waits 200 ms, as the program does, before the thread starts
    clock.start();
    lastTickMs = 0;
    ticker.start();
  });
  app.exec();
  ticker.stop();
  stop = true;
  tw::Receive_Thread::Stop();
  tw::Receive_Thread::Join();
  printer.Stop();
  sender.join();

  const std::string kept = window->receiveArea()->MemoBytes();
  const bool suffix = !kept.empty() && std::string_view(stream).ends_with(kept);
  const double seconds = shownMs > firstMs && firstMs >= 0 ? (shownMs - firstMs) / 1000.0 : 0;
  std::printf("form %s, %s, receive round %d ms\n", options.hex ? "hex" : "text",
              options.lines ? "80-byte lines" : "no line breaks", options.roundMs);
  std::printf("streamed        %zu bytes\n", stream.size());
  std::printf("shown           %zu bytes in %.2f s: %.0f bytes/s\n", delivered, seconds,
              seconds > 0 ? delivered / seconds : 0.0);
  std::printf("event loop      longest gap %lld ms (timer 5 ms), ending %+lld ms after the first chunk; "
              "gaps > 50 ms: %d, > 100 ms: %d\n",
              static_cast<long long>(longestGapMs), static_cast<long long>(longestGapEndMs - firstMs), gapsOver50,
              gapsOver100);
  std::printf("memo            %lld characters (cap %lld), %zu bytes, newest bytes kept exactly: %s\n",
              static_cast<long long>(window->MemoRecive->document()->characterCount() - 1),
              static_cast<long long>(window->receiveArea()->maxMemoChars()), kept.size(), suffix ? "yes" : "NO");
  std::printf("memory          peak resident %ld kB, now %ld kB\n", ProcStatusKb("VmHWM:"), ProcStatusKb("VmRSS:"));

  delete window;
  tw::ResetLink({});
  std::filesystem::remove_all(programDir);
  return delivered >= stream.size() && suffix ? 0 : 1;
}
