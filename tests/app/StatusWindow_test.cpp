// SPDX-License-Identifier: GPL-3.0-or-later
// The status window against the virtual printer: the conditions in plain words, and a watch that
// reads again and again while the printer also sends bytes of its own, none of which may be lost
// from the receive area or change their order.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QStatusBar>
#include <QTimer>
#include <QtTest/QTest>
#include <atomic>
#include <filesystem>
#include <thread>

#include "app/MainForm.h"
#include "app/ReceiveArea.h"
#include "app/StatusWindow.h"
#include "core/AppPaths.h"
#include "lang/Language.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "portset/CommandSet.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

TEST(StatusWindow, WatchingShowsTheConditionsAndLosesNoByteOfTheReceiveArea) {
  test::TempDir dir;
  InitProgramDirFromExecutable();
  std::filesystem::copy(ProgramDir() / "Language", dir.path() / "Language");
  SetProgramDir(dir.path());
  test::ScopedFastPacer pacer;
  ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  sim::PrinterOptions options;
  options.status.conditions.paperOut = options.status.conditions.ribbonOut = true;
  sim::VirtualPrinter printer(options);
  TMainForm window(nullptr, 1033);
  window.show();
  ASSERT_TRUE(test::ConnectLink(printer, test::Transport::Tcp));
  SetCommandSetIsZ(true);
  window.StartReceiving();

  TFormStatus* status = window.OpenStatusWindow();
  status->watchTimer->setInterval(100);
  status->cbWatch->setChecked(true);
  int readings = 0;
  QObject::connect(status, &TFormStatus::readingFinished, [&] { ++readings; });

  // The printer's own bytes, sent while the watch reads: every one must reach the receive area.
  std::string sent;
  for (int i = 0; i < 150; ++i) sent += "U" + std::to_string(1000 + i) + "\r\n";
  std::atomic<bool> done{false};
  std::thread streamer([&] {
    for (std::size_t at = 0; at < sent.size(); at += 7) {
      printer.SendUnsolicited(sent.substr(at, 7));
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    done = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return done && readings >= 5; }, 60000)) << readings << " readings";
  streamer.join();
  status->cbWatch->setChecked(false);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !status->Reading(); }, 10000));
  EXPECT_TRUE(QTest::qWaitFor([&] {
    window.receiveArea()->FlushPendingChunks();
    return window.receiveArea()->MemoBytes().size() >= sent.size();
  }, 10000));
  EXPECT_EQ(window.receiveArea()->MemoBytes(), sent);

  ASSERT_EQ(status->lvConditions->count(), 2);
  EXPECT_EQ(status->lvConditions->item(0)->text(), "Paper out");
  EXPECT_EQ(status->lvConditions->item(1)->text(), "Ribbon out");
  EXPECT_EQ(printer.PrintedLabels(), 0);
  EXPECT_TRUE(Receive_Thread::Running()) << "the receive thread runs again after the watch";

  // While a reading holds the link (the printer silent), the device settings are refused and the
  // exit waits for the reading before it closes the port.
  sim::Faults silent;
  silent.noReply = true;
  printer.SetFaults(silent);
  ASSERT_TRUE(status->Refresh());
  test::MessageRecorder messages(MsgAnswer::Ok);
  QTimer::singleShot(0, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  window.m_deviceSet->trigger();
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_EQ(messages.shown()[0].text, "Another exchange with the printer is running. Try again when it has ended.");
  EXPECT_TRUE(window.close());
  EXPECT_FALSE(status->Reading());

  Receive_Thread::Stop();
  Receive_Thread::Join();
  ResetLink({});
}

}  // namespace
}  // namespace tw
