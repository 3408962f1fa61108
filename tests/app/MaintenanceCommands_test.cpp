// SPDX-License-Identifier: GPL-3.0-or-later
// The maintenance commands against the virtual printer over TCP and a pseudo-terminal and against
// scripted USB layers: the bytes of each command set, the messages and captions, the per-kind reset,
// and the version query with the receive thread paused around it.
#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "app/MaintenanceCommands.h"
#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "portset/CommandSet.h"
#include "sim/VirtualPrinter.h"
#include "support/ScriptedUsb.h"
#include "support/PrinterLink.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

const char kEnglish[] =
    "[Tips]\r\n"
    "PortName=\"Port: \"\r\n"
    "PortNotOpen=The port is not open.\r\n"
    "SendDataFail=Sending failed.\r\n"
    "Reset=Reset\r\n"
    "PrinterResetSuccess=The printer restarts; connect again.\r\n"
    "QueryVersion=Version query\r\n"
    "VersionIs=\"Version: \"\r\n"
    "PrintSelfTest=Self-test\r\n"
    "VersionNoReply=The printer did not answer.\r\n"
    "FormatMemoryAsk=Erase the printer's memory?\r\n"
    "FormatMemorySent=Format sent.\r\n"
    "ResetSent=Reset sent.\r\n"
    "UpdateFinish=Parameters written.\r\n"
    "UpdateFinishCaption=Write to Printer\r\n";

const char kVersionText[] = "TW-Z 1.23";


using Handler = void (MaintenanceCommands::*)();

class MaintenanceCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    dir_.Write("Language/English.lan", kEnglish);
    SetCurrentLanguage(kLanguageEnglish);
    LoadCatalogSection("Tips");
    ResetLink({usbDevice_, usbPrinter_, MakeTcpNetPortApi()});
    SetCommandSetIsZ(true);
  }
  void TearDown() override {
    Receive_Thread::Stop();
    Receive_Thread::Join();
    ResetLink({});
  }

  // The main window's side: the status bar and the real receive thread, whose chunks are kept.
  MaintenanceCommands::Hooks Hooks() {
    return {[this](int panel, const QString& text) { statusPanels_[panel] = text; },
            [] { return Receive_Thread::Running(); }, [] { Receive_Thread::Stop(); },
            [this] {
              Receive_Thread::Start([this](const std::string& chunk) {
                std::lock_guard lock(receivedMutex_);
                receivedByThread_ += chunk;
              });
            }};
  }
  // The virtual printer, answering the version request with kVersionText; its log is kept.
  sim::PrinterOptions PrinterOptions() {
    sim::PrinterOptions options;
    options.versionText = kVersionText;
    options.commandLog = [this](const std::string& line) {
      std::lock_guard lock(logMutex_);
      printerLog_.push_back(line);
    };
    return options;
  }
  bool PrinterLogged(const std::string& line) {
    std::lock_guard lock(logMutex_);
    return std::find(printerLog_.begin(), printerLog_.end(), line) != printerLog_.end();
  }
  std::string ReceivedByThread() {
    std::lock_guard lock(receivedMutex_);
    return receivedByThread_;
  }

  void ConnectTcp() { ASSERT_TRUE(test::ConnectLink(printer_, test::Transport::Tcp)); }
  void ConnectPty() { ASSERT_TRUE(test::ConnectLink(printer_, test::Transport::Pty)); }

  test::TempDir dir_;
  // Sleeps at a tenth (a pseudo-terminal needs a moment to answer), time-outs at a fifth.
  test::ScopedFastPacer pacer_{0.1, 0.2};
  test::MessageRecorder messages_;
  std::shared_ptr<test::ScriptedUsbDevice> usbDevice_ = std::make_shared<test::ScriptedUsbDevice>();
  std::shared_ptr<test::ScriptedUsbPrinter> usbPrinter_ = std::make_shared<test::ScriptedUsbPrinter>();
  std::mutex logMutex_;
  std::vector<std::string> printerLog_;
  sim::VirtualPrinter printer_{PrinterOptions()};
  MaintenanceCommands commands_{Hooks()};
  std::map<int, QString> statusPanels_;
  std::mutex receivedMutex_;
  std::string receivedByThread_;
};

struct CommandRow {
  const char* name;
  Handler handler;
  const char* caption;          // of the not-open message
  const char* sendFailCaption;  // of the send-failed message
  bool asksFirst = false;       // on an open link, a question comes before the send
};
const CommandRow kCommands[] = {
    {"reset", &MaintenanceCommands::m_resertClick, "Reset", "Reset"},
    {"version", &MaintenanceCommands::m_versionClick, "Version query", "Version query"},
    {"self-test", &MaintenanceCommands::m_printcheckClick, "Self-test", "Self-test"},
    {"memory listing", &MaintenanceCommands::m_printmemoryClick, "", "Self-test"},
    {"memory format", &MaintenanceCommands::N16Click, "", "Self-test", true},
};

TEST_F(MaintenanceCommandsTest, WithoutALinkEachCommandSaysThePortIsNotOpen) {
  for (const CommandRow& row : kCommands) {
    const std::size_t before = messages_.shown().size();
    (commands_.*row.handler)();
    const auto shown = messages_.shown();
    ASSERT_EQ(shown.size(), before + 1) << row.name;
    EXPECT_EQ(shown.back().text, "The port is not open.") << row.name;
    EXPECT_EQ(shown.back().caption, row.caption) << row.name;
    EXPECT_EQ(shown.back().buttons, MsgButtons::Ok);
  }
  EXPECT_TRUE(statusPanels_.empty());
  EXPECT_TRUE(Receive_Thread::Running()) << "the version query starts the receive thread again";
}

TEST_F(MaintenanceCommandsTest, AFailedSendIsReportedWithTheCommandsCaption) {
  // Open, but the serial port behind it is not: every write fails.
  Link().open = true;
  Link().currentKind = PortKind::Serial;
  for (const CommandRow& row : kCommands) {
    const std::size_t before = messages_.shown().size();
    (commands_.*row.handler)();
    const auto shown = messages_.shown();
    ASSERT_EQ(shown.size(), before + 1 + row.asksFirst) << row.name;
    EXPECT_EQ(shown.back().text, "Sending failed.") << row.name;
    EXPECT_EQ(shown.back().caption, row.sendFailCaption) << row.name;
  }
  EXPECT_TRUE(Link().open) << "a reset that was not sent changes nothing";
  EXPECT_EQ(pacer_->SleepCount(pace::kAfterReset.name), 0);
}

TEST_F(MaintenanceCommandsTest, EachCommandSendsItsBytesForTheCommandSet) {
  ConnectTcp();
  struct Row {
    Handler handler;
    bool commandSetZ;
    std::string bytes;
    int serialWriteTimeoutAfter;  // the link's serial write time-out was 700 before
  };
  const Row rows[] = {
      {&MaintenanceCommands::m_printcheckClick, true, "~WC", 2000},
      {&MaintenanceCommands::m_printcheckClick, false, "\x55\x0D\x0A", 2000},
      {&MaintenanceCommands::m_printmemoryClick, true, "^XA^WD*:*.*^XZ", 700},
      {&MaintenanceCommands::m_printmemoryClick, false, "^XA^WD*:*.*^XZ", 700},
      {&MaintenanceCommands::N16Click, true, "^XA^JBE^XZ", 700},
      {&MaintenanceCommands::N16Click, false, "^XA^JBE^XZ", 700},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bytes);
    printer_.ClearReceived();
    SetCommandSetIsZ(row.commandSetZ);
    Link().serialWriteTimeoutMs = 700;
    (commands_.*row.handler)();
    ASSERT_TRUE(printer_.WaitForReceived(row.bytes.size(), 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(printer_.Received(), row.bytes) << "sent whole, nothing more";
    EXPECT_EQ(Link().serialWriteTimeoutMs, row.serialWriteTimeoutAfter);
  }
  // Only the memory format speaks: it asks first and says when it was sent.
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 4u);
  for (std::size_t i : {0u, 2u}) {
    EXPECT_EQ(shown[i].text, "Erase the printer's memory?");
    EXPECT_EQ(shown[i].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(shown[i + 1].text, "Format sent.");
  }
  {
    test::MessageRecorder cancel(MsgAnswer::Cancel);
    printer_.ClearReceived();
    commands_.N16Click();
    EXPECT_EQ(cancel.shown().size(), 1u) << "the question only";
  }
  commands_.m_printmemoryClick();
  ASSERT_TRUE(printer_.WaitForReceived(14, 3000));
  EXPECT_EQ(printer_.Received(), "^XA^WD*:*.*^XZ") << "a cancelled format sends nothing";
  EXPECT_TRUE(Link().open);
}

TEST_F(MaintenanceCommandsTest, ResetOverTheNetworkClosesTheLinkAndReportsIt) {
  ConnectTcp();
  statusPanels_[1] = "NET";  // as a connect may have left it
  commands_.m_resertClick();
  ASSERT_TRUE(printer_.WaitForReceived(3, 3000));
  EXPECT_EQ(printer_.Received(), "~JR");
  EXPECT_EQ(pacer_->SleepCount(pace::kAfterReset.name), 1) << "two seconds for the printer to restart";
  auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "The printer restarts; connect again.");
  EXPECT_EQ(shown[0].caption, "Reset");
  EXPECT_FALSE(Link().open);
  EXPECT_FALSE(Link().networkOpen);
  EXPECT_EQ(Link().networkHandle, -1);
  EXPECT_EQ(Link().currentKind, PortKind::Serial);
  EXPECT_EQ(statusPanels_[0], "Port: ");
  EXPECT_EQ(statusPanels_[1], "") << "no port is named";

  // Later commands find no open port.
  commands_.m_printcheckClick();
  shown = messages_.shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, "The port is not open.");
  EXPECT_EQ(shown[1].caption, "Self-test");
  EXPECT_EQ(printer_.Received(), "~JR");
}

TEST_F(MaintenanceCommandsTest, ResetOverASerialLinkKeepsItOpenAndSaysItWasSent) {
  ConnectPty();
  commands_.m_resertClick();
  ASSERT_TRUE(printer_.WaitForReceived(3, 3000));
  EXPECT_EQ(printer_.Received(), "~JR");
  ASSERT_EQ(messages_.shown().size(), 1u);
  EXPECT_EQ(messages_.shown()[0].text, "Reset sent.");
  EXPECT_EQ(messages_.shown()[0].caption, "Reset");
  EXPECT_EQ(pacer_->SleepCount(pace::kAfterReset.name), 0);
  EXPECT_TRUE(Link().open);
  EXPECT_EQ(Link().currentKind, PortKind::Serial);
  EXPECT_NE(Link().Serial(), nullptr) << "the port stays open";
  EXPECT_TRUE(statusPanels_.empty());

  // Once the printer has restarted, the port that stayed open takes commands again.
  ASSERT_TRUE(QTest::qWaitFor([&] { return PrinterLogged("reset: queued bytes discarded"); }, 3000));
  commands_.m_printcheckClick();
  EXPECT_TRUE(printer_.WaitForReceived(6, 3000));
  EXPECT_EQ(printer_.Received(), "~JR~WC");
  // A parameter write's reset reports the write, under its own caption.
  commands_.ResetPrinter(MaintenanceCommands::kParameterWriteReset);
  ASSERT_EQ(messages_.shown().size(), 2u);
  EXPECT_EQ(messages_.shown()[1].text, "Parameters written.");
  EXPECT_EQ(messages_.shown()[1].caption, "Write to Printer");
}

TEST_F(MaintenanceCommandsTest, ResetOverUsbClosesTheHandleOfEitherKind) {
  for (PortKind kind : {PortKind::UsbDevice, PortKind::UsbPrinter}) {
    SCOPED_TRACE(static_cast<int>(kind));
    const std::size_t before = messages_.shown().size();
    Link().currentKind = kind;
    const int handle =
        kind == PortKind::UsbDevice ? OpenUsbDevicePort(0) : OpenUsbPrinterPort(usbPrinter_->names[0]);
    ASSERT_GT(handle, 0);
    Link().open = true;
    commands_.m_resertClick();
    const std::string written = kind == PortKind::UsbDevice ? usbDevice_->written : usbPrinter_->written;
    EXPECT_TRUE(written.ends_with("~JR"));
    EXPECT_EQ(Link().usbHandle, -1);
    EXPECT_FALSE(Link().open);
    EXPECT_EQ(Link().currentKind, PortKind::Serial);
    ASSERT_EQ(messages_.shown().size(), before + 1);
    EXPECT_EQ(messages_.shown().back().text, "The printer restarts; connect again.");
    EXPECT_EQ(messages_.shown().back().caption, "Reset");
  }
  EXPECT_EQ(usbDevice_->closed.size(), 1u);
  EXPECT_EQ(pacer_->SleepCount(pace::kAfterReset.name), 2);
}

TEST_F(MaintenanceCommandsTest, TheVersionReplyGoesToItsBoxNotToTheReceiveArea) {
  ConnectTcp();
  // The printer streams status lines all the while.
  std::atomic<bool> streaming{true};
  std::thread stream([&] {
    while (streaming) {
      printer_.SendUnsolicited("status ok\r\n");
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
  });
  Hooks().startReceiving();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedByThread().find("status ok") != std::string::npos; }, 5000));

  commands_.m_versionClick();
  const std::size_t receivedAtQuery = ReceivedByThread().size();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ReceivedByThread().size() > receivedAtQuery; }, 5000))
      << "the receive thread runs again after the query";
  streaming = false;
  stream.join();

  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Version query");
  EXPECT_TRUE(shown[0].text.starts_with("Version: ")) << shown[0].text;
  EXPECT_NE(shown[0].text.find(std::string(kVersionText) + "\n"), std::string::npos) << shown[0].text;
  EXPECT_EQ(ReceivedByThread().find(kVersionText), std::string::npos) << "the receive thread was stopped";
  EXPECT_TRUE(printer_.Received().starts_with("~WN01@version~\r\n"));
  EXPECT_EQ(pacer_->SleepCount(pace::kVersionPause.name), 1);
  EXPECT_EQ(pacer_->SleepCount(pace::kVersionPauseSerial.name), 0);
  EXPECT_TRUE(Receive_Thread::Running());
}

TEST_F(MaintenanceCommandsTest, VersionQueryOverASerialLinkPausesLonger) {
  ConnectPty();
  Hooks().startReceiving();
  commands_.m_versionClick();
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, std::string("Version: ") + kVersionText + "\n");
  EXPECT_EQ(pacer_->SleepCount(pace::kVersionPauseSerial.name), 1);
  EXPECT_EQ(pacer_->SleepCount(pace::kVersionPause.name), 0);
  EXPECT_EQ(Link().serialWriteTimeoutMs, 2000);
}

TEST_F(MaintenanceCommandsTest, VersionQueryOverUsbDrainsAnEarlierAnswerFirst) {
  Link().currentKind = PortKind::UsbDevice;
  ASSERT_GT(OpenUsbDevicePort(0), 0);
  Link().open = true;
  // An answer nobody read is waiting; the version follows the request.
  usbDevice_->reads = {"stale\r\n", "", "V9\r\n", ""};
  commands_.m_versionClick();
  ASSERT_EQ(messages_.shown().size(), 1u);
  EXPECT_EQ(messages_.shown()[0].text, "Version: V9\n");
  EXPECT_EQ(usbDevice_->written, "~WN01@version~\r\n");
  EXPECT_EQ(pacer_->SleepCount(pace::kVersionPause.name), 0) << "the receive thread was not running";
  EXPECT_TRUE(Receive_Thread::Running()) << "and runs afterwards";
}

TEST_F(MaintenanceCommandsTest, ASilentPrinterIsReportedAsNotAnswering) {
  sim::Faults silent;
  silent.noReply = true;
  printer_.SetFaults(silent);
  ConnectTcp();
  commands_.m_versionClick();
  ASSERT_EQ(messages_.shown().size(), 1u);
  EXPECT_EQ(messages_.shown()[0].text, "The printer did not answer.");
  EXPECT_EQ(messages_.shown()[0].caption, "Version query");
  EXPECT_EQ(messages_.shown()[0].icon, MsgIcon::Warning);
}

}  // namespace
}  // namespace tw
