// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own USB paths against the virtual USB printer, for both USB kinds (the libusb device
// and the printer-class node): connect, send, the three reply-read modes, the bulk read and the
// receive thread, the version query, the Z user editor, the dump, a 1 MB download of every byte
// value, the command-line tool, and an unplugged printer.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QPushButton>
#include <QtTest/QTest>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <sstream>
#include <thread>

#include "core/AppPaths.h"
#include "download/DownloadTransfer.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "params/EepromSetNormalUser.h"
#include "params/ParamProtocol.h"
#include "portset/ConnectProcedure.h"
#include "portset/SetPort.h"
#include "support/Process.h"
#include "support/TestSupport.h"
#include "usb/support/VirtualUsbPrinter.h"

namespace tw {
namespace {

using test::VirtualUsbPrinter;

const std::string kVersionRequest = "~WN01@version~\r\n";
const std::string kNodeName = std::string("lp0 (") + VirtualUsbPrinter::kModel + ")";

std::string KindName(const ::testing::TestParamInfo<PortKind>& info) {
  return info.param == PortKind::UsbDevice ? "LibUsbDevice" : "PrinterClassNode";
}

class UsbLink : public ::testing::TestWithParam<PortKind> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InUsbTestbed()) << "run with libumockdev-preload (umockdev-wrapper)";
    InitProgramDirFromExecutable();
    SetCurrentLanguage(kLanguageEnglish);
    LoadCatalogSection("Tips");
    ResetLink(RealDeviceLibraries());
  }
  void TearDown() override {
    Receive_Thread::Stop();
    Receive_Thread::Join();
    ResetLink({});
  }

  // The connect procedure of the port dialog, with the name the dialog lists for the kind.
  ConnectOutcome Connect() {
    ConnectRequest request;
    request.selectedKind = GetParam();
    request.usbName = GetParam() == PortKind::UsbDevice ? "KVUSB-1" : kNodeName;
    return ConnectPrinter(request);
  }
  std::string CliPort() const { return GetParam() == PortKind::UsbDevice ? "usb:1" : "usblp:lp0"; }

  test::ScopedFastPacer pacer_{0.0, 1.0};
  test::MessageRecorder messages_;
  VirtualUsbPrinter printer_;
};

TEST_P(UsbLink, ConnectsAndNamesTheLinkAsTheStatusBarShowsIt) {
  const ConnectOutcome outcome = Connect();
  ASSERT_TRUE(outcome.opened) << outcome.messageKey;
  const std::string shown = GetParam() == PortKind::UsbDevice ? "KVUSB-1" : "class USB-" + kNodeName;
  EXPECT_EQ(outcome.statusPanel1, shown);
  EXPECT_EQ(Link().Get(LinkState::Text::LinkName), shown);
  EXPECT_EQ(Link().currentKind, GetParam());
}

TEST_P(UsbLink, SendsAndReadsRepliesInEveryReadMode) {
  ASSERT_TRUE(Connect().opened);
  const std::string reply = sim::PrinterModel(sim::Personality::Z).VersionReply();
  for (int split : {0, 7}) {
    printer_.SetSplit(split);
    ASSERT_TRUE(SendToPrinter(kVersionRequest));
    EXPECT_EQ(ReadReply().text, reply) << "normal mode, split " << split;
  }
  printer_.SetSplit(0);

  Link().readOnce = true;
  ASSERT_TRUE(SendToPrinter(kVersionRequest));
  EXPECT_EQ(ReadReply().text, reply) << "read-once";
  Link().readOnce = false;

  // Drain mode throws the replies away, however many are waiting.
  std::string sent = kVersionRequest + kVersionRequest + kVersionRequest;
  for (int stale : {1, 12}) {
    std::string requests;
    for (int i = 0; i < stale; ++i) requests += kVersionRequest;
    ASSERT_TRUE(SendToPrinter(requests));
    sent += requests;
    ASSERT_TRUE(printer_.WaitForReceived(sent.size(), 5000));
    DiscardPendingInput();
    EXPECT_EQ(ReadReply().text, "") << stale << " replies waiting";
  }
  EXPECT_EQ(printer_.Received(), sent);
}

TEST_P(UsbLink, TheReceiveThreadDeliversWhatThePrinterSends) {
  ASSERT_TRUE(Connect().opened);
  std::mutex mutex;
  std::string received;
  Receive_Thread::Start([&](const std::string& chunk) {
    std::lock_guard lock(mutex);
    received += chunk;
  });
  ASSERT_TRUE(SendToPrinter(kVersionRequest));
  const std::string reply = sim::PrinterModel(sim::Personality::Z).VersionReply();
  for (int wait = 0; wait < 500; ++wait) {
    {
      std::lock_guard lock(mutex);
      if (received.size() >= reply.size()) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Receive_Thread::Stop();
  Receive_Thread::Join();
  EXPECT_EQ(received, reply);
}

TEST_P(UsbLink, TheZUserEditorReadsWritesAndDumpsTheTable) {
  printer_.SetSlot(0x12, 0xAB07);
  ASSERT_TRUE(Connect().opened);
  TFormEepromNormalUser editor(nullptr, [](const char*) {});
  editor.show();
  editor.FormActivate();
  QTest::mouseClick(editor.btnReadPrint, Qt::LeftButton);
  ASSERT_FALSE(messages_.shown().empty());
  EXPECT_EQ(messages_.shown().back().text, Tip("ReadFinish").toStdString());
  EXPECT_EQ(editor.Edit("edtADD_DARKNESS")->text(), "0007");

  editor.Edit("edtADD_DARKNESS")->setText("0009");
  QTest::mouseClick(editor.btnSetPrint, Qt::LeftButton);
  Link().readOnce = true;
  ASSERT_TRUE(SendToPrinter("~WN00@eep,r,12~"));
  EXPECT_EQ(ReadReply().text.substr(0, 4), "AB09") << "the write reached the printer, its other bits kept";
  Link().readOnce = false;

  // The dump file, also from a printer whose answers come in pieces: the named entries stay whole.
  const test::TempDir dir;
  for (int split : {0, 2}) {
    printer_.SetSplit(split);
    ASSERT_TRUE(WriteParameterDump(dir / "table.eep", true)) << "split " << split;
    const std::string dump = test::ReadFileBytes(dir / "table.eep");
    EXPECT_NE(dump.find("~WN00@eep,w,12,AB09\r\n"), std::string::npos);
    EXPECT_NE(dump.find("~WN00@eep,w,FF,"), std::string::npos) << "all 256 slots";
    EXPECT_EQ(dump.substr(dump.find("~WN00@ini")),
              "~WN00@ini,w,PrinterName,TW Virtual 203\r\n~WN00@ini,w,PrinterNameQesh,TWV-203\r\n"
              "~WN00@ini,w,TphAdj,0100\r\n")
        << "split " << split;
  }
}

TEST_P(UsbLink, DownloadsAMegabyteOfEveryByteValueByteForByte) {
  ASSERT_TRUE(Connect().opened);
  std::string file(1 << 20, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 7 + i / 256);
  printer_.SetKeepReceived(true);
  RaiseLinkTimeoutsForDownload();
  std::istringstream stream(file);
  const TransferGate gate;
  EXPECT_EQ(SendPlannedFile(stream, DownloadPlan(file.size()), [](int) {}, gate), DownloadOutcome::Completed);
  EXPECT_TRUE(printer_.WaitForReceived(file.size(), 20000));
  EXPECT_TRUE(printer_.Received() == file) << "received " << printer_.ReceivedCount() << " bytes";
}

TEST_P(UsbLink, TheCommandLineToolReachesThePrinter) {
  const test::ProcessResult version = test::RunProgram("tagwright-cli", {"--port", CliPort(), "version"});
  EXPECT_EQ(version.exitCode, 0) << version.err;
  EXPECT_NE(version.out.find("V"), std::string::npos) << version.out;
  const std::string bytes = "^XA^FO10,10^FDUSB^FS^XZ";
  const test::ProcessResult send = test::RunProgram("tagwright-cli", {"--port", CliPort(), "send", "-"}, bytes);
  EXPECT_EQ(send.exitCode, 0) << send.err;
  EXPECT_TRUE(printer_.WaitForReceived(kVersionRequest.size() + bytes.size(), 5000));
  EXPECT_EQ(printer_.Received(), kVersionRequest + bytes);
}

// The command-line tool's send ends well only once the printer has taken every byte: a printer
// slower than a transfer's first time-out still gets the file, one unplugged before it took the
// last bytes fails the send.
TEST_P(UsbLink, TheCommandLineSendSucceedsOnlyWhenThePrinterTookEveryByte) {
  const struct {
    const char* what;
    double acceptRate;
    std::size_t unplugAfter;  // 0: stays plugged in
    std::size_t bytes;
    int exitCode;
  } rows[] = {
      {"slow printer", 400000, 0, 600000, 0},
      {"unplugged before the last bytes", 0, (1 << 20) - 10000, 1 << 20, 1},
  };
  test::TempDir dir;
  for (const auto& row : rows) {
    const std::size_t before = printer_.ReceivedCount();
    printer_.SetAcceptRate(row.acceptRate);
    if (row.unplugAfter) printer_.UnplugAfter(row.unplugAfter);
    const std::string file(row.bytes, 's');
    const auto sent =
        test::RunProgram("tagwright-cli", {"--port", CliPort(), "send", dir.Write("f.prn", file).string()});
    EXPECT_EQ(sent.exitCode, row.exitCode) << row.what << ": " << sent.err;
    if (row.exitCode == 0) {
      EXPECT_EQ(printer_.ReceivedCount() - before, row.bytes) << row.what;
    }
  }
}

TEST_P(UsbLink, AnUnpluggedPrinterFailsTheDownloadAndConnectsAgainWhenBack) {
  ASSERT_TRUE(Connect().opened);
  Receive_Thread::Start({});
  printer_.UnplugAfter(1000);
  RaiseLinkTimeoutsForDownload();
  std::istringstream file(std::string(1 << 20, 'u'));
  const TransferGate gate;
  EXPECT_EQ(SendPlannedFile(file, DownloadPlan(1 << 20), [](int) {}, gate), DownloadOutcome::WriteFailed);
  EXPECT_FALSE(SendToPrinter(kVersionRequest));
  EXPECT_EQ(ReadAvailable().text, "");
  Receive_Thread::Stop();
  Receive_Thread::Join();

  printer_.Plug();
  ASSERT_TRUE(Connect().opened);
  ASSERT_TRUE(SendToPrinter(kVersionRequest));
  EXPECT_EQ(ReadReply().text, sim::PrinterModel(sim::Personality::Z).VersionReply());
}

// The command-line tool hears an unplug while it listens, and then cannot open the printer: the kernel
// has removed the device and its printer node.
TEST_P(UsbLink, TheCommandLineToolSaysWhenThePrinterGoesAway) {
  const auto opened = [this] { return GetParam() == PortKind::UsbDevice ? printer_.Claims() : printer_.NodeOpens(); };
  const test::ProcessResult listened =
      test::RunProgram("tagwright-cli", {"--port", CliPort(), "listen", "--seconds", "20"}, "", 30000, [&](int) {
        for (int i = 0; i < 500 && opened() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        printer_.Unplug();
      });
  EXPECT_EQ(listened.exitCode, 1) << listened.err;
  EXPECT_NE(listened.err.find("went away."), std::string::npos) << listened.err;

  const test::ProcessResult sent = test::RunProgram("tagwright-cli", {"--port", CliPort(), "send", "-"}, "^XA^XZ");
  EXPECT_EQ(sent.exitCode, 1);
  EXPECT_NE(sent.err.find("cannot be opened: there is no such device"), std::string::npos) << sent.err;
}

// A device that another program holds fails the connect with its own message; nothing is connected.
TEST_P(UsbLink, APrinterThatAnotherProgramHoldsDoesNotConnect) {
  if (GetParam() == PortKind::UsbPrinter) GTEST_SKIP() << "the printer driver itself refuses a second open";
  printer_.SetClaimedElsewhere(true);
  const ConnectOutcome outcome = Connect();
  EXPECT_FALSE(outcome.opened);
  EXPECT_EQ(outcome.messageKey, "UsbInUse");
  EXPECT_FALSE(Link().open);
  const test::ProcessResult version = test::RunProgram("tagwright-cli", {"--port", CliPort(), "version"});
  EXPECT_EQ(version.exitCode, 1);
  EXPECT_NE(version.err.find("in use by another program"), std::string::npos) << version.err;
}

// The port dialog's probe lists the device and disturbs no printer: usblp stays bound (after the
// dialog has closed a device link, bound again) and a printer-class link opened before keeps working.
TEST_P(UsbLink, ThePortDialogOffersTheDeviceWithoutDetachingThePrinterDriver) {
  ASSERT_TRUE(Connect().opened);
  TSetPort dialog(nullptr, nullptr);
  dialog.show();
  EXPECT_TRUE(dialog.RbUSB->isVisible());
  EXPECT_EQ(dialog.CbUSBName->itemText(0), "KVUSB-1");
  EXPECT_EQ(printer_.Detaches(), GetParam() == PortKind::UsbDevice ? 1 : 0) << "only a device connect detaches";
  EXPECT_EQ(printer_.UsblpBound(), GetParam() == PortKind::UsbPrinter) << "a device the link holds stays claimed";
  // The probe leaves the open link alone: it still carries a request and its reply.
  ASSERT_TRUE(SendToPrinter(kVersionRequest));
  EXPECT_EQ(ReadReply().text, sim::PrinterModel(sim::Personality::Z).VersionReply());
}

// For lack of permission an open fails with errno EACCES, which the port dialog tells apart. The open
// runs in a child process that has dropped root's rights.
TEST_P(UsbLink, APermissionProblemLeavesEacces) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  const pid_t child = fork();
  if (child == 0) {
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(100);
    errno = 0;
    const int handle = GetParam() == PortKind::UsbDevice ? MakeLibUsbDeviceApi()->OpenDeviceX(0)
                                                         : MakeUsbPrinterNodeApi()->OpenUSBPrinter(kNodeName);
    _exit(handle == -1 ? errno : 101);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), EACCES);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, UsbLink, ::testing::Values(PortKind::UsbDevice, PortKind::UsbPrinter), KindName);

}  // namespace
}  // namespace tw
