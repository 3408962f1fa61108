// SPDX-License-Identifier: GPL-3.0-or-later
// The main window under the offscreen platform: start-up language, relabelling and the Tips texts,
// received chunks at the caret, the not-open checks, the exit question.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <QSplitter>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "app/MainForm.h"
#include "app/ReceiveArea.h"
#include "app/SendArea.h"
#include "app/SessionLogControl.h"
#include "core/AppPaths.h"
#include "desk/DeskSettings.h"
#include "desk/SendPages.h"
#include "lang/Language.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "params/EepromSetNormalUser.h"
#include "params/EepromSetNormalUserEPL.h"
#include "params/Password.h"
#include "portset/CommandSet.h"
#include "sim/VirtualPrinter.h"
#include "support/LoopbackListener.h"
#include "support/PrinterLink.h"
#include "support/TestSupport.h"
#include "wizards/SetPrinter.h"

namespace tw {
namespace {


const char kTraditional[] =
    "[MainForm]\r\n"
    "N12.Caption=檔案(&F)\r\n"
    "m_portSet.Caption=連接埠設定\r\n"
    "Label1.Caption=傳送區域\r\n"
    "[Tips]\r\n"
    "PortName=連接埠：\r\n"
    "PageTotal=共20頁\r\n"
    "Time=時間：\r\n"
    "PortNotOpen=連接埠未開啟\r\n"
    "ExitTip=確定要結束嗎？\r\n"
    "SureExit=結束\r\n";

const char kEnglish[] =
    "[MainForm]\r\n"
    "N12.Caption=&File\r\n"
    "[Tips]\r\n"
    "PortName=\"Port: \"\r\n"
    "PageTotal=20 pages\r\n"
    "Time=\"Time: \"\r\n"
    "PortNotOpen=The port is not open.\r\n"
    "Download=Download\r\n"
    "ExitTip=Exit Tagwright?\r\n"
    "ExitLosesSendData=The send area is lost.\r\n"
    "ExitLosesReceivedData=The received data is lost.\r\n"
    "SureExit=Exit\r\n";

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    dir_.Write("Language/Traditional.lan", kTraditional);
    dir_.Write("Language/English.lan", kEnglish);
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
    std::filesystem::remove_all(SettingsDir());  // no desk kept from another test
  }
  void TearDown() override {
    Receive_Thread::Stop();
    Receive_Thread::Join();
    ResetLink({});
  }

  test::TempDir dir_;
  test::ScopedFastPacer pacer_;
};

// Opens the network link to a loopback listener after the window has started (it starts closed).
bool OpenLinkTo(const test::LoopbackListener& printer) {
  Link().Set(LinkState::Text::NetworkAddress, "127.0.0.1");
  Link().networkPort = printer.port();
  if (!OpenNetworkLink()) return false;
  Link().currentKind = PortKind::Network;
  Link().open = true;
  return true;
}

TEST_F(MainFormTest, StartsInTheLanguageOfTheSystem) {
  TMainForm window(nullptr, 3076);
  window.show();
  EXPECT_TRUE(window.N14->isChecked());
  EXPECT_FALSE(window.English1->isChecked());
  EXPECT_EQ(window.N12->title(), QString::fromUtf8("檔案(&F)"));
  EXPECT_EQ(window.Label1->text(), QString::fromUtf8("傳送區域"));
  EXPECT_EQ(window.showPage->text(), QString::fromUtf8("共20頁"));
  EXPECT_EQ(window.StatusPanel(0), QString::fromUtf8("連接埠："));
  EXPECT_TRUE(window.StatusPanel(2).startsWith(QString::fromUtf8("時間：")));
  EXPECT_EQ(window.StatusPanel(2).size(), QString::fromUtf8("時間：").size() + 8) << "hh:mm:ss follows";

  // A switch from the menu relabels at once; the port caption stands alone again.
  window.SetStatusPanel(0, QString::fromUtf8("連接埠：NET"));
  window.English1->trigger();
  EXPECT_TRUE(window.English1->isChecked());
  EXPECT_FALSE(window.N14->isChecked());
  EXPECT_EQ(window.N12->title(), "&File");
  EXPECT_EQ(window.StatusPanel(0), "Port: ");
  // While a port is open, the caption in the new language still names it.
  test::LoopbackListener printer;
  ASSERT_TRUE(OpenLinkTo(printer));
  window.English1->trigger();
  EXPECT_EQ(window.StatusPanel(0), "Port: NET");
  CloseCurrentPort();
  Link().open = false;
  // Simple.lan is missing: designed texts stay, message texts are empty.
  window.N13->trigger();
  EXPECT_EQ(window.N12->title(), "&File");
  EXPECT_EQ(window.StatusPanel(0), "");
}

TEST_F(MainFormTest, ReceivedChunksLandAtTheCaretInOrder) {
  TMainForm window(nullptr, 1033);
  window.show();
  window.InsertReceivedChunk("AB\r\nCD");
  window.receiveArea()->FlushPendingChunks();
  QTextCursor caret = window.MemoRecive->textCursor();
  caret.setPosition(1);  // between A and B
  window.MemoRecive->setTextCursor(caret);
  window.InsertReceivedChunk(QByteArray("x\x07", 2));
  window.InsertReceivedChunk("y");
  window.receiveArea()->FlushPendingChunks();
  EXPECT_EQ(window.MemoRecive->toPlainText(), QString("Ax<\\x07>yB\nCD"));

  window.MemoRecive->clear();
  window.Cb_ShowHex1->setChecked(true);
  window.InsertReceivedChunk("AB\r\n");
  window.InsertReceivedChunk("<\\x41>");
  window.receiveArea()->FlushPendingChunks();
  EXPECT_EQ(window.MemoRecive->toPlainText(), QString("41 42 \n3C 5C 78 34 31 3E "))
      << "data that spells an escape is shown as the bytes it is";
}

TEST_F(MainFormTest, ChunksFromTheReceiveThreadArriveThroughTheEventLoop) {
  TMainForm window(nullptr, 1033);
  window.show();
  emit window.chunkReceived("first ");
  emit window.chunkReceived("second");
  EXPECT_EQ(window.MemoRecive->toPlainText(), "") << "queued: inserted by the UI thread's event loop";
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.MemoRecive->toPlainText().isEmpty(); }, 1000));
  EXPECT_EQ(window.MemoRecive->toPlainText(), "first second");
}

TEST_F(MainFormTest, EntriesThatNeedAPortSayItIsNotOpen) {
  test::MessageRecorder messages;
  TMainForm window(nullptr, 1033);
  window.show();
  window.N15->trigger();
  window.m_downFile->trigger();
  auto shown = messages.shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "The port is not open.");
  EXPECT_EQ(shown[0].caption, "");
  EXPECT_EQ(shown[1].caption, "Download");
}

TEST_F(MainFormTest, CancellingTheExitQuestionKeepsTheLinkAndTheClock) {
  test::LoopbackListener printer;
  Link().Set(LinkState::Text::NetworkAddress, "127.0.0.1");
  Link().networkPort = printer.port();
  ASSERT_TRUE(OpenNetworkLink());
  Link().currentKind = PortKind::Network;
  Link().open = true;
  {
    test::MessageRecorder cancel(MsgAnswer::Cancel);
    TMainForm window(nullptr, 1033);
    window.show();
    EXPECT_FALSE(window.close());
    ASSERT_EQ(cancel.shown().size(), 1u);
    EXPECT_EQ(cancel.shown()[0].text, "Exit Tagwright?");
    EXPECT_EQ(cancel.shown()[0].caption, "Exit");
    EXPECT_EQ(cancel.shown()[0].buttons, MsgButtons::OkCancel);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.Timer1->isActive());
    EXPECT_TRUE(Link().networkOpen);
    // Data in the send and receive areas is not kept: the question says so when there is some.
    window.MemoSend->setPlainText("^XA^XZ");
    window.InsertReceivedChunk("ok");
    window.receiveArea()->FlushPendingChunks();
    EXPECT_FALSE(window.close());
    ASSERT_EQ(cancel.shown().size(), 2u);
    EXPECT_EQ(cancel.shown()[1].text, "Exit Tagwright?\nThe received data is lost.") << "the send pages are kept";
    std::filesystem::remove(SendPagesPath());
    std::filesystem::create_directories(SendPagesPath());  // the pages cannot be saved there
    EXPECT_FALSE(window.close());
    ASSERT_EQ(cancel.shown().size(), 3u);
    EXPECT_EQ(cancel.shown()[2].text, "Exit Tagwright?\nThe send area is lost.\nThe received data is lost.");
    std::filesystem::remove(SendPagesPath());
    window.m_keepPages->setChecked(false);
    EXPECT_FALSE(window.close());
    ASSERT_EQ(cancel.shown().size(), 4u);
    EXPECT_EQ(cancel.shown()[3].text, "Exit Tagwright?\nThe send area is lost.\nThe received data is lost.");
  }
  test::MessageRecorder ok(MsgAnswer::Ok);
  TMainForm window(nullptr, 1033);
  window.show();
  ASSERT_TRUE(ClaimLinkExchange());  // another window's exchange
  EXPECT_FALSE(window.close()) << "the port is not closed under an exchange";
  EXPECT_TRUE(Link().networkOpen);
  ReleaseLinkExchange();
  EXPECT_TRUE(window.close());
  EXPECT_FALSE(window.Timer1->isActive());
  EXPECT_FALSE(Link().networkOpen) << "the port of the current kind is closed at exit";
}

// The window opens at its designed size and may be resized; its size, splitter and send pages come
// back at the next start; a damaged pages file warns and gives empty pages; the title names the
// command set.
TEST_F(MainFormTest, TheDeskIsKeptBetweenRuns) {
  test::MessageRecorder ok(MsgAnswer::Ok);
  QList<int> splitter;
  SetCommandSetIsZ(false);
  {
    TMainForm window(nullptr, 1033);
    window.show();
    EXPECT_EQ(window.width(), 714);
    EXPECT_LT(window.minimumWidth(), window.maximumWidth());
    EXPECT_EQ(window.windowTitle(), "Tagwright(WVLZ)");
    EXPECT_TRUE(CommandSetIsZ()) << "the windows act on the command set the title names";
    window.resize(900, 700);
    window.Splitter1->setSizes({120, 400});
    splitter = window.Splitter1->sizes();
    window.MemoSend->setPlainText("page 1 <\\x07>");
    window.btnNextPage->click();
    window.Cb_ShowHex->click();
    window.MemoSend->setPlainText("41 4G");  // typed hex, not yet valid
    ASSERT_TRUE(window.close());
  }
  dir_.Write("lib/PortInfo.ini", "[CommandInfo]\r\nCommandInfo=1\r\n");
  {
    TMainForm again(nullptr, 1033);
    again.show();
    EXPECT_EQ(again.size(), QSize(900, 700));
    ASSERT_EQ(again.Splitter1->sizes().size(), 2);
    EXPECT_NEAR(again.Splitter1->sizes()[0], splitter[0], 3);
    EXPECT_EQ(again.windowTitle(), "Tagwright(WVLE)");
    EXPECT_FALSE(CommandSetIsZ());
    EXPECT_EQ(again.sendArea()->pageIndex(), 1);
    EXPECT_TRUE(again.Cb_ShowHex->isChecked());
    EXPECT_EQ(again.MemoSend->toPlainText(), "41 4G");
    EXPECT_EQ(again.sendArea()->Kept().pages[0], (KeptPage{KeptPage::Form::Text, "page 1 \x07"}));
  }
  std::filesystem::path pages = SendPagesPath();
  { std::ofstream(pages, std::ios::binary) << "TWPAGES1\x05garbage"; }
  TMainForm damaged(nullptr, 1033);
  damaged.show();
  QApplication::processEvents();
  ASSERT_FALSE(ok.shown().empty());
  EXPECT_EQ(ok.shown().back().icon, MsgIcon::Warning);
  EXPECT_TRUE(damaged.MemoSend->toPlainText().isEmpty());
  EXPECT_EQ(test::ReadFileBytes(pages.string() + ".damaged"), std::string("TWPAGES1\x05garbage"));
  EXPECT_FALSE(damaged.sendArea()->HoldsText());
}

// Communication -> "Log to file...": while the log runs the status bar says so and every byte sent is
// in the file.
TEST_F(MainFormTest, TheSessionLogShowsInTheStatusBarAndRecordsTheSend) {
  test::MessageRecorder ok(MsgAnswer::Ok);
  TMainForm window(nullptr, 1033);
  window.show();
  EXPECT_EQ(window.sessionLog()->action()->objectName(), "m_logFile");
  EXPECT_FALSE(window.sessionLog()->statusLabel()->isVisible());
  test::LoopbackListener printer;
  ASSERT_TRUE(OpenLinkTo(printer));
  ASSERT_TRUE(window.sessionLog()->Start(QString::fromStdString((dir_ / "s.log").string())));
  EXPECT_TRUE(window.sessionLog()->action()->isChecked());
  EXPECT_TRUE(window.sessionLog()->statusLabel()->isVisible());
  window.MemoSend->setPlainText("^XA");
  window.btnSend->click();
  window.sessionLog()->Stop();
  EXPECT_FALSE(window.sessionLog()->statusLabel()->isVisible());
  EXPECT_NE(test::ReadFileBytes(dir_ / "s.log").find(" > 127.0.0.1:" + std::to_string(printer.port()) + " ^XA\n"),
            std::string::npos)
      << test::ReadFileBytes(dir_ / "s.log");
  EXPECT_FALSE(window.sessionLog()->Start(QString::fromStdString((dir_ / "no/such/folder/s.log").string())));
  EXPECT_EQ(ok.shown().back().icon, MsgIcon::Error);
}

// Opens the modal window an entry or button shows, records its class, and closes it.
QString OpenedWindowClass(const std::function<void()>& open) {
  QString opened;
  QTimer::singleShot(0, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      opened = QString::fromLatin1(modal->metaObject()->className());
      modal->close();
    }
  });
  open();
  return opened;
}

TEST_F(MainFormTest, TheSetupEntryOpensTheWizardOfTheCommandSetWithTheReceiveThreadPaused) {
  test::LoopbackListener printer;
  TMainForm window(nullptr, 1033);
  window.show();
  ASSERT_TRUE(OpenLinkTo(printer));
  SetCommandSetIsZ(true);
  EXPECT_EQ(OpenedWindowClass([&] { window.N15->trigger(); }), "tw::TSetPrinter");
  EXPECT_EQ(pacer_->SleepCount("wait after stopping the receive thread for a setup wizard"), 1);
  EXPECT_TRUE(Receive_Thread::Running()) << "started again after the wizard";
  SetCommandSetIsZ(false);
  EXPECT_EQ(OpenedWindowClass([&] { window.btnSetPrinter->click(); }), "tw::TSetPrinterEPL");
  EXPECT_EQ(pacer_->SleepCount("wait after stopping the receive thread for a setup wizard"), 2);
  EXPECT_TRUE(Receive_Thread::Running());
  SetCommandSetIsZ(true);
}

TEST_F(MainFormTest, TheDownloadEntryAndTheAboutEntryOpenTheirWindows) {
  test::LoopbackListener printer;
  TMainForm window(nullptr, 1033);
  window.show();
  ASSERT_TRUE(OpenLinkTo(printer));
  EXPECT_EQ(OpenedWindowClass([&] { window.TbDownLoad->click(); }), "tw::TDownDialog");
  EXPECT_TRUE(Receive_Thread::Running()) << "started again after the download dialog";
  EXPECT_EQ(OpenedWindowClass([&] { window.m_about->trigger(); }), "tw::TAboutBox");
}

TEST_F(MainFormTest, TheWizardGetsTheRepliesAndTheReceiveAreaNone) {
  // The printer answers the wizard's version request; no round of the receive thread that was
  // still reading when the wizard opened may take that answer.
  sim::VirtualPrinter printer({.versionText = "V9.87 receive test"});
  TMainForm window(nullptr, 1033);
  window.show();
  ASSERT_TRUE(test::ConnectLink(printer, test::Transport::Tcp));
  window.StartReceiving();
  SetCommandSetIsZ(true);
  for (int attempt = 0; attempt < 5; ++attempt) {
    QString version;
    QTimer::singleShot(0, [&] {
      auto* wizard = qobject_cast<TSetPrinter*>(QApplication::activeModalWidget());
      if (!wizard) return;
      wizard->ReadPrinterSettings();
      version = wizard->FirmwareVersionShowLabel->text();
      wizard->close();
    });
    window.N15->trigger();
    EXPECT_EQ(version, "V9.87 receive test") << attempt;
  }
  QApplication::processEvents();
  window.receiveArea()->FlushPendingChunks();
  EXPECT_TRUE(window.findChild<QPlainTextEdit*>("MemoRecive")->toPlainText().isEmpty());
}

TEST_F(MainFormTest, StartsWithFocusInTheSendAreaKeepsPanelsAndRestartsTheThreadOnActivation) {
  TMainForm window(nullptr, 1033);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(QApplication::focusWidget(), window.MemoSend);
  // A menu item's hint, as a menu sends it while the pointer is on the item: the menu shows it.
  QStatusTipEvent hint("Open a file into the send area");
  QApplication::sendEvent(&window, &hint);
  for (QLabel* panel : window.statusBar()->findChildren<QLabel*>()) {
    if (panel != window.sessionLog()->statusLabel()) EXPECT_TRUE(panel->isVisible());  // that one shows while logging
  }
  EXPECT_TRUE(window.N12->toolTipsVisible());
  // Back from another window, the stopped receive thread runs again.
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  Receive_Thread::Stop();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_TRUE(Receive_Thread::Running());
  // Not while another window's exchange holds the link: the replies are that exchange's.
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  Receive_Thread::Stop();
  ASSERT_TRUE(ClaimLinkExchange());
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_FALSE(Receive_Thread::Running());
  ReleaseLinkExchange();
}

// Runs `close` on the modal window that opens next, once its event loop turns.
void WhenModalOpens(const std::function<void(QWidget*)>& close) {
  QTimer::singleShot(0, [close] {
    if (QWidget* modal = QApplication::activeModalWidget()) close(modal);
  });
}

TEST_F(MainFormTest, EveryWayOutOfAWindowThatPausedTheReceiveThreadStartsItAgain) {
  test::LoopbackListener printer;
  test::MessageRecorder messages;  // answers the wrong-code message and the version box
  TMainForm window(nullptr, 1033);
  window.show();
  ASSERT_TRUE(OpenLinkTo(printer));
  SetCommandSetIsZ(true);
  const auto reject = [](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); };
  const auto closeBox = [](QWidget* modal) { modal->close(); };
  // Types a code into the password dialog and presses OK; `then` closes what that opens.
  const auto password = [](const char* code, std::function<void(QWidget*)> then) {
    return [code, then](QWidget* modal) {
      auto* dialog = static_cast<TFormPasswordSet*>(modal);
      dialog->edtpwd->setText(QString::fromLatin1(code));
      if (then) WhenModalOpens(then);
      dialog->btnok->click();
      if (dialog->isVisible()) dialog->btncancel->click();  // a wrong code leaves it open
    };
  };
  const std::tuple<const char*, QAction*, std::function<void(QWidget*)>> ways[] = {
      {"port dialog cancelled", window.m_portSet, reject},
      {"port dialog's close box", window.m_portSet, closeBox},
      {"setup wizard cancelled", window.N15, reject},
      {"download dialog closed", window.m_downFile, closeBox},
      {"password cancelled", window.m_deviceSet, reject},
      {"password's close box", window.m_deviceSet, closeBox},
      {"wrong code, then cancelled", window.m_deviceSet, password("wrong", nullptr)},
      {"factory editor closed", window.m_deviceSet, password("harbourlinen", closeBox)},
      {"user editor opened", window.m_deviceSet, password("kelp", nullptr)},
      {"version query", window.m_version, nullptr},
  };
  for (const auto& [what, entry, close] : ways) {
    window.StartReceiving();
    if (close) WhenModalOpens(close);
    entry->trigger();
    // A user editor stays open without blocking: its closing is the way out.
    window.zUserEditor()->close();
    window.eUserEditor()->close();
    EXPECT_TRUE(QTest::qWaitFor([] { return Receive_Thread::Running(); }, 2000)) << what;
  }
}

}  // namespace
}  // namespace tw
