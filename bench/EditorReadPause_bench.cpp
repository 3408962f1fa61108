// SPDX-License-Identifier: GPL-3.0-or-later
// How long the window's event loop stands still while the Z user editor reads a printer that answers
// every request late (700 ms by default, the first argument in milliseconds), and how long Cancel
// takes to end such a read. A measuring program, not a test: it prints its numbers. The language
// index (0 Simplified Chinese, 1 Traditional, 2 English) shows the editor in another language, for
// a look at it on a display.
//   EditorReadPause_bench [replyDelayMs [languageIndex]]
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/AppPaths.h"
#include "core/Messages.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "params/EepromSetNormalUser.h"
#include "sim/VirtualPrinter.h"

namespace {

// The event loop's turns, seen through a 10 ms timer: the longest gap between two of its ticks.
class PauseMeter {
 public:
  PauseMeter() {
    QObject::connect(&ticker_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
  }
  void Start() {
    longest_ = 0;
    clock_.start();
    last_ = 0;
    ticker_.start(10);
  }
  qint64 Stop() {
    ticker_.stop();
    return std::max(longest_, clock_.elapsed() - last_);
  }
  qint64 Elapsed() const { return clock_.elapsed(); }
  QTimer& ticker() { return ticker_; }

 private:
  QTimer ticker_;
  QElapsedTimer clock_;
  qint64 last_ = 0, longest_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace tw;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int delayMs = argc > 1 ? std::atoi(argv[1]) : 700;
  InitProgramDirFromExecutable();
  SetCurrentLanguage(argc > 2 ? std::atoi(argv[2]) : kLanguageEnglish);
  LoadCatalogSection("Tips");
  std::string lastMessage;
  SetMessageHandler([&](const std::string& text, const std::string&, MsgIcon, MsgButtons) {
    lastMessage = text;
    return MsgAnswer::Ok;
  });

  ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  sim::VirtualPrinter printer;
  LinkState& link = Link();
  link.Set(LinkState::Text::NetworkAddress, "127.0.0.1");
  link.Set(LinkState::Text::LinkName, "127.0.0.1");
  link.networkPort = printer.ListenTcp();
  link.currentKind = PortKind::Network;
  link.open = OpenNetworkLink();
  if (!link.open) {
    std::fprintf(stderr, "cannot connect to the virtual printer\n");
    return 1;
  }
  printer.SetFaults({.replyDelayMs = delayMs});

  TFormEepromNormalUser editor(nullptr, {});
  editor.show();
  PauseMeter meter;

  // A whole read.
  meter.Start();
  editor.btnReadPrintClick();
  const qint64 readMs = meter.Elapsed();
  const qint64 longestPause = meter.Stop();
  std::printf("reply delay %d ms: whole read %lld ms, longest event-loop pause %lld ms (%s)\n", delayMs,
              static_cast<long long>(readMs), static_cast<long long>(longestPause), lastMessage.c_str());

  // A read cancelled at its third step: from the click to the read's end.
  qint64 clickedAt = -1;
  QObject::connect(&meter.ticker(), &QTimer::timeout, [&] {
    auto* cancel = editor.findChild<QPushButton*>(QStringLiteral("JobCancel"));
    auto* bar = editor.findChild<QProgressBar*>(QStringLiteral("JobBar"));
    // At the third step: two requests answered.
    if (clickedAt >= 0 || !cancel || !bar || bar->value() < 2) return;
    clickedAt = meter.Elapsed();
    cancel->click();
  });
  lastMessage.clear();
  meter.Start();
  editor.btnReadPrintClick();
  const qint64 endedAt = meter.Elapsed();
  meter.Stop();
  if (clickedAt < 0) {
    std::printf("cancel: no Cancel button was shown\n");
    return 1;
  }
  std::printf("cancel: read ended %lld ms after the click (one reply takes %d ms)%s\n",
              static_cast<long long>(endedAt - clickedAt), delayMs,
              lastMessage.empty() ? "" : (", then: " + lastMessage).c_str());
  return 0;
}
