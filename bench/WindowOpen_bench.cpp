// SPDX-License-Identifier: GPL-3.0-or-later
// Time from the user's action to the window shown, for the windows that pause the receive thread,
// with the thread running on a fresh network connection to the virtual printer: its round is then
// inside a read that waits up to the connection's first read time-out (5000 ms). Each figure is
// printed next to the fixed waits the window takes before it shows, and the difference.
//
//   build/bin/WindowOpen_bench
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include <QAction>
#include <QApplication>
#include <QTimer>

#include "app/MainForm.h"
#include "core/AppPaths.h"
#include "core/Messages.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "portset/CommandSet.h"
#include "sim/VirtualPrinter.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A fresh connection (read time-out 5000 ms) with the receive thread inside its first read.
bool FreshConnectionWithTheThreadReading(tw::TMainForm& window, uint16_t port) {
  tw::Receive_Thread::Stop();
  tw::Receive_Thread::Join();
  tw::CloseNetworkLink();
  tw::LinkState& link = tw::Link();
  link.Set(tw::LinkState::Text::NetworkAddress, "127.0.0.1");
  link.networkPort = port;
  link.networkReadTimeoutMs = 5000;
  if (!tw::OpenNetworkLink()) return false;
  link.currentKind = tw::PortKind::Network;
  link.open = true;
  window.StartReceiving();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return true;
}

// Milliseconds from `act` until a modal window runs its event loop; the window is then closed.
double UntilModalShown(const std::function<void()>& act) {
  double shownAfter = -1;
  const auto start = Clock::now();
  QTimer::singleShot(0, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      shownAfter = MsSince(start);
      modal->close();
    }
  });
  act();
  return shownAfter;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  tw::InitProgramDirFromExecutable();
  tw::ResetLink(tw::RealDeviceLibraries());
  tw::sim::VirtualPrinter printer;
  const uint16_t port = printer.ListenTcp();
  tw::TMainForm window(nullptr, 1033);
  window.show();
  tw::SetCommandSetIsZ(true);

  struct Case {
    const char* name;
    double fixedMs;
    const char* fixedHow;
    std::function<double()> measure;
  };
  Clock::time_point versionStart;
  double versionShown = -1;
  tw::SetMessageHandler([&](const std::string&, const std::string&, tw::MsgIcon, tw::MsgButtons) {
    if (versionShown < 0) versionShown = MsSince(versionStart);
    return tw::MsgAnswer::Ok;
  });
  const Case cases[] = {
      {"port settings dialog", 100, "100 ms after stopping the thread",
       [&] { return UntilModalShown([&] { window.m_portSet->trigger(); }); }},
      {"Z setup wizard", 500, "500 ms after stopping the thread",
       [&] { return UntilModalShown([&] { window.N15->trigger(); }); }},
      {"version query (its message box)", 1000,
       "500 ms after stopping the thread, then the reply read's last round: a 500 ms read time-out",
       [&] {
         versionShown = -1;
         versionStart = Clock::now();
         window.m_version->trigger();
         return versionShown;
       }},
  };
  bool ok = true;
  std::printf("from the action to the window shown, receive thread running on a fresh network connection\n");
  for (const Case& c : cases) {
    if (!FreshConnectionWithTheThreadReading(window, port)) {
      std::fprintf(stderr, "cannot connect to the virtual printer\n");
      return 1;
    }
    const double ms = c.measure();
    ok = ok && ms >= 0;
    std::printf("  %-34s %7.0f ms; fixed waits %5.0f ms (%s); beyond them: %+.0f ms\n", c.name, ms, c.fixedMs,
                c.fixedHow, ms - c.fixedMs);
  }
  tw::Receive_Thread::Stop();
  tw::Receive_Thread::Join();
  tw::SetMessageHandler(nullptr);
  tw::ResetLink({});
  return ok ? 0 : 1;
}
