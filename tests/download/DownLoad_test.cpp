// SPDX-License-Identifier: GPL-3.0-or-later
// The download dialog end to end: files sent to the virtual printer over loopback TCP, over a
// pseudo-terminal opened as a serial port and as a parallel port, and to scripted USB layers; the
// messages at the end of each kind of file and link, a link that drops mid-transfer, refused
// downloads, the time-outs raised per port kind, a window that stays alive during a long transfer,
// and closing the window while a transfer runs.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/AppPaths.h"
#include "download/DownLoad.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/ScriptedUsb.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

using Clock = std::chrono::steady_clock;

const char kEnglish[] =
    "[DownDialog]\r\n"
    "DownDialog.Caption=Download File\r\n"
    "BtDownLoad.Caption=Download\r\n"
    "BtClose.Caption=Close\r\n"
    "DownFileOpen.Filter=Text files(*.txt)|*.txt|All files(*.*)|*.*\r\n"
    "DownloadFile=Download\r\n"
    "PortNotOpen=No port is open.\r\n"
    "NotSelectFile=The file is empty.\r\n"
    "WriteFail=Writing failed.\r\n"
    "FinishReopen=Done; connect again.\r\n"
    "FinishNotReopen=Done.\r\n"
    "FileReadFail=The file cannot be read.\r\n"
    "StopDownload=Stop the download?\r\n"
    "BytesSent=%1 bytes sent\r\n"
    "StoppedDownload=Stopped; the printer took %1 of %2 bytes.\r\n"
    "FirmwareStopWarning=Cut firmware may need recovery.\r\n";

constexpr int kFinishTimeoutMs = 60000;

// Bytes of every value in a fixed random order. The virtual printer acts on a few command
// beginnings ("~J", "~W", "^X") even inside print data, so the byte after each '~' or '^' is moved
// off those letters: the file still holds all 256 values.
std::string BinaryBytes(std::size_t size) {
  std::mt19937 random(20260607);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  for (std::size_t i = 0; i + 1 < size; ++i) {
    if (bytes[i] != '~' && bytes[i] != '^') continue;
    char& next = bytes[i + 1];
    if (next == 'J' || next == 'W' || next == 'X') next = static_cast<char>(next | 0x80);
  }
  return bytes;
}

class DownLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    dir_.Write("Language/English.lan", kEnglish);
    SetCurrentLanguage(kLanguageEnglish);
    ResetLink({usbDevice_, usbPrinter_, MakeTcpNetPortApi()});
    Receive_Thread::Stop();
    Receive_Thread::Join();
    AnswerMessagesWith(MsgAnswer::Ok);
    dialog_ = std::make_unique<TDownDialog>(nullptr, TDownDialog::Hooks{[this] { ++receiveStarts_; },
                                                                         [this] { ++linkClosedCalls_; }});
    QObject::connect(dialog_->ProcessBar, &QProgressBar::valueChanged,
                     [this](int value) { barValues_.push_back(value); });
    dialog_->show();
  }
  void TearDown() override {
    dialog_.reset();
    SetFileChooser({});
    ResetLink({});
  }
  void AnswerMessagesWith(MsgAnswer answer) {
    messages_.reset();
    messages_.emplace(answer);
  }
  std::vector<test::MessageRecorder::Shown> Messages() const { return messages_->shown(); }

  void Connect(sim::VirtualPrinter& printer, test::Transport transport) {
    ASSERT_TRUE(test::ConnectLink(printer, transport));
  }
  // Chooses the file through the dialog's "..." button.
  void Choose(const std::filesystem::path& path) {
    SetFileChooser([path](const TFileDialog&, QWidget*) {
      return FileChoice{QString::fromStdString(path.string()), 1};
    });
    dialog_->Button1->click();
  }
  // Presses the download button and waits until the transfer and its messages are done.
  void RunDownload() {
    QSignalSpy finished(dialog_.get(), &TDownDialog::downloadFinished);
    ASSERT_TRUE(dialog_->BtDownLoad->isEnabled());
    dialog_->BtDownLoad->click();
    ASSERT_TRUE(dialog_->Downloading());
    ASSERT_TRUE(finished.wait(kFinishTimeoutMs)) << "the download did not finish";
    EXPECT_FALSE(dialog_->Downloading());
  }
  void Download(const std::string& name, const std::string& bytes) {
    Choose(dir_.Write(name, bytes));
    RunDownload();
  }

  test::TempDir dir_;
  test::ScopedFastPacer pacer_{0.0, 0.2};
  std::optional<test::MessageRecorder> messages_;
  std::shared_ptr<test::ScriptedUsbDevice> usbDevice_ = std::make_shared<test::ScriptedUsbDevice>();
  std::shared_ptr<test::ScriptedUsbPrinter> usbPrinter_ = std::make_shared<test::ScriptedUsbPrinter>();
  int receiveStarts_ = 0;
  int linkClosedCalls_ = 0;
  std::vector<int> barValues_;
  std::unique_ptr<TDownDialog> dialog_;
};

// ---- Whole files over the real transports -------------------------------------------------------

class DownLoadTransportTest : public DownLoadTest, public ::testing::WithParamInterface<test::Transport> {};

TEST_P(DownLoadTransportTest, BinaryFileOfOneMegabyteArrivesByteForByte) {
  sim::VirtualPrinter printer;
  Connect(printer, GetParam());
  const std::string bytes = BinaryBytes(1 << 20);
  Download("firmware-image.bin", bytes);

  ASSERT_TRUE(printer.WaitForReceived(bytes.size(), 10000));
  EXPECT_TRUE(printer.Received() == bytes) << "received " << printer.Received().size() << " bytes";
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(dialog_->lastOutcome(), DownloadOutcome::Completed);
  EXPECT_TRUE(Link().open);
  // The bar went up to 100 in order and is back at 0; the receive loop was started again.
  ASSERT_FALSE(barValues_.empty());
  EXPECT_TRUE(std::is_sorted(barValues_.begin(), barValues_.end() - 1));
  EXPECT_EQ(barValues_.end()[-2], 100);
  EXPECT_EQ(dialog_->ProcessBar->value(), 0);
  EXPECT_EQ(receiveStarts_, 1);
  // The window is usable for the next download.
  EXPECT_TRUE(dialog_->BtDownLoad->isEnabled());
  EXPECT_TRUE(dialog_->Button1->isEnabled());
}

TEST_P(DownLoadTransportTest, TextFileShowsNoMessageButItsSizeAndKeepsTheLink) {
  sim::VirtualPrinter printer;
  Connect(printer, GetParam());
  const std::string label = "^XA^FO50,50^FDTagwright^FS^XZ\r\n";
  Download("label.txt", label);
  ASSERT_TRUE(printer.WaitForReceived(label.size(), 5000));
  EXPECT_EQ(printer.Received(), label);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(dialog_->LbResult->text(), "31 bytes sent");
  EXPECT_TRUE(Link().open);
  EXPECT_EQ(linkClosedCalls_, 0);
}

TEST_P(DownLoadTransportTest, EmptyFileIsRefusedAndTheChoiceCleared) {
  sim::VirtualPrinter printer;
  Connect(printer, GetParam());
  Choose(dir_.Write("empty.zk", ""));
  dialog_->BtDownLoad->click();
  EXPECT_FALSE(dialog_->Downloading());
  const auto shown = Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "The file is empty.");
  EXPECT_EQ(shown[0].caption, "Download");
  EXPECT_EQ(shown[0].buttons, MsgButtons::Ok);
  EXPECT_TRUE(dialog_->EtDownFile->text().isEmpty());
  EXPECT_FALSE(dialog_->BtDownLoad->isEnabled());
  EXPECT_TRUE(Link().open);
}

INSTANTIATE_TEST_SUITE_P(Links, DownLoadTransportTest,
                         ::testing::Values(test::Transport::Tcp, test::Transport::Pty),
                         [](const auto& info) { return test::TransportName(info.param); });

TEST_F(DownLoadTest, ReceiveThreadIsStoppedForTheTransferAndStartedAfterIt) {
  sim::VirtualPrinter printer;
  Connect(printer, test::Transport::Tcp);
  // This dialog starts the real receive thread after a download, as the main window's hook does.
  std::atomic<int> chunks{0};
  TDownDialog dialog(nullptr, {[&chunks] { Receive_Thread::Start([&chunks](const std::string&) { ++chunks; }); }, {}});
  dialog.show();
  EXPECT_FALSE(Receive_Thread::Running());
  SetFileChooser([path = dir_.Write("label.txt", BinaryBytes(250000))](const TFileDialog&, QWidget*) {
    return FileChoice{QString::fromStdString(path.string()), 1};
  });
  dialog.Button1Click();
  for (int round = 1; round <= 2; ++round) {
    QSignalSpy finished(&dialog, &TDownDialog::downloadFinished);
    dialog.BtDownLoadClick();
    EXPECT_FALSE(Receive_Thread::Running()) << "round " << round;
    ASSERT_TRUE(finished.wait(kFinishTimeoutMs));
    EXPECT_TRUE(Receive_Thread::Running()) << "round " << round;
  }
  ASSERT_TRUE(printer.WaitForReceived(2 * 250000, 10000));
  EXPECT_EQ(printer.Received().size(), 2u * 250000);
  Receive_Thread::Stop();
  Receive_Thread::Join();
  EXPECT_EQ(chunks, 0);  // the printer sent nothing back
}

// ---- What happens after a font, firmware or parameter file, per port kind ------------------------

enum class Kind { Network, Serial, Parallel, UsbDevice, UsbPrinter };

struct ReopenRow {
  const char* name;
  Kind kind;
  const char* file;
  const char* message;  // nullptr: none
  MsgIcon icon;
  bool linkStaysOpen;
};

const ReopenRow kReopenRows[] = {
    {"FontOverNetwork", Kind::Network, "font.zk", "Done; connect again.", MsgIcon::Information, false},
    {"FontOverSerial", Kind::Serial, "font.zk", "Done.", MsgIcon::None, true},
    {"FirmwareOverParallel", Kind::Parallel, "monitor.JK", "Done.", MsgIcon::None, true},
    {"ParametersOverUsbDevice", Kind::UsbDevice, "dump.eep", "Done; connect again.", MsgIcon::Information, false},
    {"FontOverUsbPrinter", Kind::UsbPrinter, "FONT.ZK", "Done; connect again.", MsgIcon::Information, false},
    {"TextOverUsbPrinter", Kind::UsbPrinter, "notes.txt", nullptr, MsgIcon::None, true},
    {"LookalikeOverNetwork", Kind::Network, "monitor.jkx", nullptr, MsgIcon::None, true},
};

class DownLoadReopenTest : public DownLoadTest, public ::testing::WithParamInterface<ReopenRow> {
 protected:
  // Opens the link of the row's kind; returns what the printer side received so far.
  std::function<std::string()> OpenKind(Kind kind) {
    LinkState& link = Link();
    switch (kind) {
      case Kind::Network: Connect(printer_, test::Transport::Tcp); break;
      case Kind::Serial: Connect(printer_, test::Transport::Pty); break;
      case Kind::Parallel: Connect(printer_, test::Transport::PtyAsParallel); break;
      case Kind::UsbDevice:
        link.currentKind = PortKind::UsbDevice;
        EXPECT_GE(OpenUsbDevicePort(0), 1);
        link.open = true;
        return [this] { return usbDevice_->written; };
      case Kind::UsbPrinter:
        link.currentKind = PortKind::UsbPrinter;
        EXPECT_NE(OpenUsbPrinterPort(usbPrinter_->names[0]), -1);
        link.open = true;
        return [this] { return usbPrinter_->written; };
    }
    return [this] { return printer_.Received(); };
  }
  sim::VirtualPrinter printer_;
};

TEST_P(DownLoadReopenTest, MessageAndLinkAfterTheFile) {
  const ReopenRow& row = GetParam();
  const auto received = OpenKind(row.kind);
  const std::string bytes = BinaryBytes(150000);
  Download(row.file, bytes);
  if (row.kind != Kind::UsbDevice && row.kind != Kind::UsbPrinter) {
    ASSERT_TRUE(printer_.WaitForReceived(bytes.size(), 10000));
  }
  EXPECT_TRUE(received() == bytes);

  const auto shown = Messages();
  if (!row.message) {
    EXPECT_TRUE(shown.empty());
  } else {
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, row.message);
    EXPECT_EQ(shown[0].caption, "Download");
    EXPECT_EQ(shown[0].icon, row.icon);
    EXPECT_EQ(shown[0].buttons, MsgButtons::Ok);
  }
  EXPECT_EQ(Link().open.load(), row.linkStaysOpen);
  EXPECT_EQ(linkClosedCalls_, row.linkStaysOpen ? 0 : 1);
  if (!row.linkStaysOpen) {
    EXPECT_EQ(Link().usbHandle.load(), -1);
    EXPECT_FALSE(Link().networkOpen.load());
    // The next download is refused: the user must connect again.
    AnswerMessagesWith(MsgAnswer::Ok);
    dialog_->BtDownLoad->click();
    EXPECT_FALSE(dialog_->Downloading());
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, "No port is open.");
    EXPECT_EQ(Messages()[0].icon, MsgIcon::Information);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DownLoadReopenTest, ::testing::ValuesIn(kReopenRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The link's time-outs for the transfer --------------------------------------------------------

TEST_F(DownLoadTest, TimeoutsAreRaisedForTheKindOfTheOpenLink) {
  LinkState& link = Link();
  Choose(dir_.Write("data.bin", "payload"));

  link.currentKind = PortKind::UsbDevice;
  ASSERT_GE(OpenUsbDevicePort(0), 1);
  link.open = true;
  RunDownload();
  ASSERT_FALSE(usbDevice_->timeouts.empty());
  EXPECT_EQ(usbDevice_->timeouts.back().read, 50);
  EXPECT_EQ(usbDevice_->timeouts.back().write, 150);
  EXPECT_EQ(link.serialWriteTimeoutMs.load(), 50000);
  CloseUsbPort();

  link.currentKind = PortKind::UsbPrinter;
  ASSERT_NE(OpenUsbPrinterPort(usbPrinter_->names[0]), -1);
  RunDownload();
  ASSERT_FALSE(usbPrinter_->timeouts.empty());
  EXPECT_EQ(usbPrinter_->timeouts.back().write, 150000);
  EXPECT_EQ(usbPrinter_->timeouts.back().read, 100);
  CloseUsbPort();

  sim::VirtualPrinter printer;
  Connect(printer, test::Transport::PtyAsParallel);
  RunDownload();
  EXPECT_EQ(link.parallelReadTimeoutMs.load(), 3000);
  EXPECT_EQ(link.parallelWriteTimeoutMs.load(), 150000);
  EXPECT_TRUE(Messages().empty());
}

// ---- Failures ------------------------------------------------------------------------------------

TEST_F(DownLoadTest, NetworkLinkDroppedMidTransferReportsWriteFail) {
  // The printer takes 1 MB a second with a small receive buffer and drops the link after 100 kB.
  // The file is larger than the socket buffers can hold, so the drop is met by a write and not
  // only by bytes that the system had already accepted.
  sim::PrinterOptions options;
  options.faults.baud = 10000000;
  options.faults.disconnectAfterBytes = 100000;
  sim::VirtualPrinter printer(options);
  Connect(printer, test::Transport::Tcp);
  Download("firmware.jk", BinaryBytes(8 << 20));

  EXPECT_EQ(dialog_->lastOutcome(), DownloadOutcome::WriteFailed);
  const auto shown = Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Writing failed.");
  EXPECT_EQ(shown[0].caption, "Download");
  EXPECT_EQ(dialog_->ProcessBar->value(), 0);
  EXPECT_EQ(printer.Received().size(), 100000u);
  // A failed download neither restarts the receive loop nor closes the link.
  EXPECT_EQ(receiveStarts_, 0);
  EXPECT_EQ(linkClosedCalls_, 0);
  EXPECT_TRUE(dialog_->BtDownLoad->isEnabled());
}

TEST_F(DownLoadTest, SerialPrinterGoneMidTransferReportsWriteFail) {
  sim::PrinterOptions options;
  options.faults.baud = 2000000;  // 200 kB/s: the printer goes while the file is on its way
  options.keepReceived = false;
  sim::VirtualPrinter printer(options);
  Connect(printer, test::Transport::Pty);
  const auto path = dir_.Write("font.zk", BinaryBytes(1 << 20));
  Choose(path);
  QSignalSpy finished(dialog_.get(), &TDownDialog::downloadFinished);
  dialog_->BtDownLoad->click();
  ASSERT_TRUE(printer.WaitForReceived(100000, 20000));
  printer.Stop();
  ASSERT_TRUE(finished.wait(kFinishTimeoutMs));

  EXPECT_EQ(dialog_->lastOutcome(), DownloadOutcome::WriteFailed);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Writing failed.");
}

TEST_F(DownLoadTest, NoOpenPortIsRefusedBeforeAnything) {
  Choose(dir_.Write("font.zk", "abc"));
  dialog_->BtDownLoad->click();
  EXPECT_FALSE(dialog_->Downloading());
  const auto shown = Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "No port is open.");
  EXPECT_EQ(shown[0].caption, "Download");
  EXPECT_EQ(shown[0].icon, MsgIcon::Information);
  EXPECT_NE(Link().serialWriteTimeoutMs.load(), 50000);  // nothing was prepared
}

TEST_F(DownLoadTest, FileThatCannotBeReadIsReportedBeforeAnythingIsSent) {
  sim::VirtualPrinter printer;
  Connect(printer, test::Transport::Tcp);
  const struct {
    const char* what;
    std::filesystem::path path;
  } cases[] = {{"gone", dir_ / "gone.zk"}, {"folder", dir_.path()}};
  for (const auto& c : cases) {
    AnswerMessagesWith(MsgAnswer::Ok);
    Choose(c.path);
    dialog_->BtDownLoad->click();
    EXPECT_FALSE(dialog_->Downloading()) << c.what;
    const auto shown = Messages();
    ASSERT_EQ(shown.size(), 1u) << c.what;
    EXPECT_EQ(shown[0].text, "The file cannot be read.") << c.what;
    EXPECT_EQ(shown[0].caption, "Download") << c.what;
  }
  EXPECT_TRUE(printer.Received().empty());
  EXPECT_TRUE(Link().open);
}

// ---- A window that stays alive during a long transfer --------------------------------------------

class DownLoadPacedTest : public DownLoadTest {
 protected:
  // A printer that takes 100 kB a second (by default over a pseudo-terminal): 300 kB take three
  // seconds.
  void StartPacedDownload(test::Transport transport = test::Transport::Pty, const char* file = "font.zk") {
    sim::PrinterOptions options;
    options.faults.baud = 1000000;
    printer_ = std::make_unique<sim::VirtualPrinter>(options);
    Connect(*printer_, transport);
    Choose(dir_.Write(file, bytes_));
    dialog_->BtDownLoad->click();
    ASSERT_TRUE(dialog_->Downloading());
  }
  const std::string bytes_ = BinaryBytes(300000);
  std::unique_ptr<sim::VirtualPrinter> printer_;
};

TEST_F(DownLoadPacedTest, BarAdvancesAndEventsFlowWhileTheFileGoesOut) {
  // A timer of the UI thread keeps firing during the transfer, and sees the bar move.
  std::set<int> barSeen;
  int ticks = 0;
  auto longestGap = Clock::duration::zero();
  auto lastTick = Clock::now();
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
    ++ticks;
    if (dialog_->Downloading()) barSeen.insert(dialog_->ProcessBar->value());
  });
  probe.start(10);
  QSignalSpy finished(dialog_.get(), &TDownDialog::downloadFinished);
  StartPacedDownload();
  lastTick = Clock::now();
  // The window refuses a second start or another file while the first transfer runs, and holds the
  // link: a parameter editor's dump timer waits for it.
  EXPECT_FALSE(dialog_->BtDownLoad->isEnabled());
  EXPECT_FALSE(dialog_->Button1->isEnabled());
  EXPECT_TRUE(LinkExchangeClaimed());
  ASSERT_TRUE(finished.wait(kFinishTimeoutMs));
  probe.stop();
  EXPECT_FALSE(LinkExchangeClaimed());

  EXPECT_GE(ticks, 50);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(longestGap).count(), 1000);
  // 300 blocks in steps of 3 (1 to 94). The pseudo-terminal takes the blocks in bursts of some
  // 18 kB, so the timer sees the bar at a new value every burst, not at every value.
  EXPECT_GE(barSeen.size(), 10u) << ::testing::PrintToString(barSeen) << " ticks " << ticks;
  ASSERT_TRUE(printer_->WaitForReceived(bytes_.size(), 10000));
  EXPECT_TRUE(printer_->Received() == bytes_);
}

// A stop takes effect at once, also while the end waits for a slow network printer to take what the
// system holds (the link is then closed hard); the message tells how much the printer took, and
// nothing more arrives. Before a firmware file is stopped the question warns, with going on as the
// default.
struct StopRow {
  const char* name;
  test::Transport transport;
  const char* file;
  const char* question;
  MsgButtons buttons;
};
const StopRow kStopRows[] = {
    {"FontOverSerial", test::Transport::Pty, "font.zk", "Stop the download?", MsgButtons::OkCancel},
    {"FontOverNetwork", test::Transport::Tcp, "font.zk", "Stop the download?", MsgButtons::OkCancel},
    {"FirmwareOverNetwork", test::Transport::Tcp, "monitor.JK", "Cut firmware may need recovery.\n\nStop the download?",
     MsgButtons::OkCancelSafe},
};
class DownLoadStopTest : public DownLoadPacedTest, public ::testing::WithParamInterface<StopRow> {};

TEST_P(DownLoadStopTest, ClosingDuringTheTransferAsksAndStopsIt) {
  const StopRow& row = GetParam();
  StartPacedDownload(row.transport, row.file);
  ASSERT_TRUE(printer_->WaitForReceived(30000, 20000));
  dialog_->BtClose->click();
  // The question is asked; the answer OK stops the transfer and closes.
  ASSERT_FALSE(Messages().empty());
  EXPECT_EQ(Messages()[0].text, row.question);
  EXPECT_EQ(Messages()[0].caption, "Download");
  EXPECT_EQ(Messages()[0].buttons, row.buttons);
  QTRY_VERIFY_WITH_TIMEOUT(!dialog_->isVisible(), kFinishTimeoutMs);
  EXPECT_FALSE(dialog_->Downloading());
  EXPECT_EQ(dialog_->lastOutcome(), DownloadOutcome::Cancelled);
  const auto shown = Messages();
  ASSERT_EQ(shown.size(), 2u);  // no failure, no completion message
  unsigned long long taken = 0;
  ASSERT_EQ(std::sscanf(shown[1].text.c_str(), "Stopped; the printer took %llu of 300000 bytes.", &taken), 1)
      << shown[1].text;
  EXPECT_LT(taken, bytes_.size());
  // Nothing more leaves: what was on its way settles well short of the file.
  QTest::qWait(500);
  const std::size_t settled = printer_->Received().size();
  QTest::qWait(500);
  EXPECT_EQ(printer_->Received().size(), settled);
  EXPECT_LT(settled, bytes_.size());
  const bool network = row.transport == test::Transport::Tcp;
  EXPECT_EQ(Link().open.load(), !network);
  EXPECT_EQ(linkClosedCalls_, network ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Links, DownLoadStopTest, ::testing::ValuesIn(kStopRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownLoadPacedTest, ClosingAnsweredWithCancelLetsTheTransferFinish) {
  // While the user thinks about the question nothing more goes out and nothing else is shown.
  std::vector<std::string> shownDuringQuestion;
  std::size_t sentWhileAsked = 0, sentAfterThinking = 0;
  bool asking = false;
  SetMessageHandler([&](const std::string& text, const std::string&, MsgIcon, MsgButtons) {
    if (asking) shownDuringQuestion.push_back(text);
    if (asking || text != "Stop the download?") return MsgAnswer::Ok;
    asking = true;
    // What was already queued in the pseudo-terminal still arrives; then the flow stops.
    for (std::size_t before = 0; before != printer_->Received().size();) {
      before = printer_->Received().size();
      QTest::qWait(300);
    }
    sentWhileAsked = printer_->Received().size();
    QTest::qWait(1000);
    sentAfterThinking = printer_->Received().size();
    asking = false;
    return MsgAnswer::Cancel;
  });
  QSignalSpy finished(dialog_.get(), &TDownDialog::downloadFinished);
  StartPacedDownload();
  ASSERT_TRUE(printer_->WaitForReceived(30000, 20000));
  dialog_->reject();  // the close box and Escape come here as well
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_TRUE(shownDuringQuestion.empty()) << shownDuringQuestion.front();
  EXPECT_EQ(sentAfterThinking, sentWhileAsked);
  EXPECT_LT(sentAfterThinking, bytes_.size());
  ASSERT_TRUE(finished.wait(kFinishTimeoutMs));
  EXPECT_EQ(dialog_->lastOutcome(), DownloadOutcome::Completed);
  EXPECT_TRUE(dialog_->isVisible());
  ASSERT_TRUE(printer_->WaitForReceived(bytes_.size(), 10000));
  EXPECT_TRUE(printer_->Received() == bytes_);
  AnswerMessagesWith(MsgAnswer::Ok);
}

TEST_F(DownLoadPacedTest, DestroyingTheWindowDuringTheTransferStopsAndWaitsForIt) {
  StartPacedDownload();
  ASSERT_TRUE(printer_->WaitForReceived(30000, 20000));
  dialog_.reset();  // as when the program ends with the window open
  EXPECT_FALSE(LinkExchangeClaimed());
  // Nothing more is written once the window is gone: what still arrives was queued in the
  // pseudo-terminal (well under a second's worth at this pace).
  QTest::qWait(1500);
  const std::size_t settled = printer_->Received().size();
  QTest::qWait(500);
  EXPECT_EQ(printer_->Received().size(), settled);
  EXPECT_LT(settled, bytes_.size());
}

// ---- Help ----------------------------------------------------------------------------------------

TEST_F(DownLoadTest, F1OpensTheHelpOfTheCurrentLanguage) {
  QString opened;
  SetHelpOpener([&opened](const QString& path) { opened = path; });
  QTest::keyClick(dialog_.get(), Qt::Key_F1);
  SetHelpOpener({});
  EXPECT_EQ(opened, HelpFilePath(kLanguageEnglish));
}

// ---- The shipped language files -----------------------------------------------------------------

TEST(DownLoadLanguageTest, EveryShippedLanguageHoldsTheWindowsTextsAndMessages) {
  InitProgramDirFromExecutable();  // the Language folder copied beside the programs
  const char* const keys[] = {"DownDialog.Caption", "Label1.Caption",      "Button1.Caption", "BtDownLoad.Caption",
                              "BtClose.Caption",    "DownFileOpen.Filter", "FileReadFail",    "StopDownload"};
  for (int language : {kLanguageSimplified, kLanguageTraditional, kLanguageEnglish}) {
    SetCurrentLanguage(language);
    const IniDocument file = LoadLanguageFile(CurrentLanguageFile());
    for (const char* key : keys) {
      EXPECT_FALSE(LanguageText(file, "DownDialog", key).isEmpty()) << key << " in language " << language;
    }
    for (const QString& key : CatalogKeys("DownDialog")) {
      EXPECT_FALSE(LanguageText(file, "DownDialog", key.toStdString()).isEmpty())
          << key.toStdString() << " in language " << language;
    }
    TDownDialog dialog(nullptr);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), LanguageText(file, "DownDialog", "DownDialog.Caption")) << language;
    EXPECT_EQ(dialog.BtDownLoad->text(), LanguageText(file, "DownDialog", "BtDownLoad.Caption")) << language;
    EXPECT_EQ(dialog.DownFileOpen->filter(), LanguageText(file, "DownDialog", "DownFileOpen.Filter")) << language;
    EXPECT_EQ(Msg("DownDialog", "DownloadFile"), LanguageText(file, "DownDialog", "DownloadFile")) << language;
  }
  SetCurrentLanguage(kLanguageEnglish);
}

}  // namespace
}  // namespace tw
