// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MaintenanceCommands.h"

#include <QWidget>

#include "app/MemoText.h"
#include "download/DownloadTransfer.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/ExchangeSteps.h"
#include "link/HexConversions.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "portset/CommandSet.h"
#include "widgets/JobPanel.h"
#include "widgets/Ui.h"

namespace tw {

// A command with fixed bytes: what is sent and which catalog keys its messages use.
struct FixedCommand {
  const char* bytesZ;             // for the Z command set
  const char* bytesE;             // for the E command set
  bool setsSerialWriteTimeout;    // to 2000 ms before sending
  bool drainsInputFirst;          // throws away pending USB input before sending
  const char* notOpenCaptionKey;  // nullptr: empty caption
  const char* sendFailCaptionKey;
};

namespace {

constexpr int kCommandSerialWriteTimeoutMs = 2000;
constexpr int kVersionReadAttempts = 4;

constexpr FixedCommand kReset{.bytesZ = "~JR",
                              .bytesE = "~JR",
                              .setsSerialWriteTimeout = true,
                              .drainsInputFirst = false,
                              .notOpenCaptionKey = "Reset",
                              .sendFailCaptionKey = "Reset"};
constexpr FixedCommand kVersion{.bytesZ = "~WN01@version~\r\n",
                                .bytesE = "~WN01@version~\r\n",
                                .setsSerialWriteTimeout = true,
                                .drainsInputFirst = true,
                                .notOpenCaptionKey = "QueryVersion",
                                .sendFailCaptionKey = "QueryVersion"};
constexpr FixedCommand kSelfTest{.bytesZ = "~WC",
                                 .bytesE = "U\r\n",
                                 .setsSerialWriteTimeout = true,
                                 .drainsInputFirst = false,
                                 .notOpenCaptionKey = "PrintSelfTest",
                                 .sendFailCaptionKey = "PrintSelfTest"};
constexpr FixedCommand kMemoryListing{.bytesZ = "^XA^WD*:*.*^XZ",
                                      .bytesE = "^XA^WD*:*.*^XZ",
                                      .setsSerialWriteTimeout = false,
                                      .drainsInputFirst = false,
                                      .notOpenCaptionKey = nullptr,
                                      .sendFailCaptionKey = "PrintSelfTest"};
constexpr FixedCommand kMemoryFormat{.bytesZ = "^XA^JBE^XZ",
                                     .bytesE = "^XA^JBE^XZ",
                                     .setsSerialWriteTimeout = false,
                                     .drainsInputFirst = false,
                                     .notOpenCaptionKey = nullptr,
                                     .sendFailCaptionKey = "PrintSelfTest"};

QString Caption(const char* key) { return key ? Tip(key) : QString(); }

// Up to four reads, until one brings something; empty when none did.
std::string ReadVersionReply() {
  std::string reply;
  for (int attempt = 0; attempt < kVersionReadAttempts && reply.empty(); ++attempt) reply = ReadReply().text;
  return reply;
}

// Sets the command's write time-out; false (after saying so) when no port is open.
bool ReadyToSend(const FixedCommand& command) {
  if (command.setsSerialWriteTimeout) Link().serialWriteTimeoutMs = kCommandSerialWriteTimeoutMs;
  if (Link().open) return true;
  ShowMessageQ(Tip("PortNotOpen"), Caption(command.notOpenCaptionKey));
  return false;
}

// On the job's thread: sends the command. Sent means taken by the printer (network: acknowledged;
// USB printer node: drained), so that a command is never reported before the printer has it.
bool SendBytes(const FixedCommand& command) {
  // An answer the printer sent earlier and nobody read must not be taken for this command's reply.
  if (command.drainsInputFirst) DiscardPendingInput();
  return SendToPrinter(CommandSetIsZ() ? command.bytesZ : command.bytesE) && AwaitDelivery();
}

// Whether a command's job got its bytes to the printer; says so when it did not.
bool Delivered(const FixedCommand& command, LinkJob::Outcome outcome) {
  if (outcome == LinkJob::Outcome::Done) return true;
  if (outcome == LinkJob::Outcome::Failed) ShowMessageQ(Tip("SendDataFail"), Caption(command.sendFailCaptionKey));
  return false;
}

bool OnSerialOrParallel() {
  const PortKind kind = Link().currentKind;
  return kind == PortKind::Serial || kind == PortKind::Parallel;
}

}  // namespace

MaintenanceCommands::MaintenanceCommands(Hooks hooks, QObject* parent) : QObject(parent), hooks_(std::move(hooks)) {}

QWidget* MaintenanceCommands::Window() const { return qobject_cast<QWidget*>(parent()); }

bool MaintenanceCommands::Send(const FixedCommand& command) {
  if (!ReadyToSend(command)) return false;
  return Delivered(command, RunLinkJob(Window(), LinkJob::Kind::CheckedWrite,
                                       [&](LinkJob&) { return SendBytes(command); }));
}

void MaintenanceCommands::m_printcheckClick() { Send(kSelfTest); }
void MaintenanceCommands::m_printmemoryClick() { Send(kMemoryListing); }
void MaintenanceCommands::N16Click() {
  const QString caption = Caption(kMemoryFormat.sendFailCaptionKey);
  // Without a link there is nothing to ask: Send says that the port is not open.
  if (Link().open &&
      ShowMessageQ(Tip("FormatMemoryAsk"), caption, MsgIcon::Question, MsgButtons::OkCancel) != MsgAnswer::Ok) {
    return;
  }
  if (Send(kMemoryFormat)) ShowMessageQ(Tip("FormatMemorySent"), caption, MsgIcon::Information);
}

void MaintenanceCommands::m_resertClick() { ResetPrinter(kPlainReset); }

void MaintenanceCommands::ResetPrinter(const ResetReport& report) {
  if (!ReadyToSend(kReset)) return;
  // USB and network links close (a network link without throwing away what the printer took);
  // serial and parallel ports stay open and the printer restarts behind them.
  bool closed = false;
  const LinkJob::Outcome outcome = RunLinkJob(Window(), LinkJob::Kind::CheckedWrite, [&](LinkJob&) {
    if (!SendBytes(kReset)) return false;
    closed = CloseLinkForPrinterRestart();
    if (closed) Pause(pace::kAfterReset);
    return true;
  });
  if (!Delivered(kReset, outcome)) return;
  if (!closed) {
    ShowMessageQ(Tip(report.openTextKey), Tip(report.captionKey));
    return;
  }
  ShowMessageQ(Tip(report.closedTextKey), Tip(report.captionKey));
  LinkState& link = Link();
  link.currentKind = PortKind::Serial;
  if (hooks_.setStatusPanel) {
    hooks_.setStatusPanel(0, Tip("PortName"));
    hooks_.setStatusPanel(1, QString());  // no port is named while none is open
  }
}

void MaintenanceCommands::m_versionClick() {
  const bool pause = hooks_.receiving();
  if (pause) hooks_.stopReceiving();
  if (ReadyToSend(kVersion)) {
    std::string reply;
    // One request: there is nothing to stop between requests, so the query runs to its end.
    const LinkJob::Outcome outcome = RunLinkJob(Window(), LinkJob::Kind::CheckedWrite, [&](LinkJob&) {
      if (pause) Pause(OnSerialOrParallel() ? pace::kVersionPauseSerial : pace::kVersionPause);
      // The fixed pause is no promise: a thread inside a long read (a silent network printer keeps
      // it there up to the read time-out) would take the reply. Only one thread may read: wait for
      // its end.
      if (!Receive_Thread::Running()) Receive_Thread::Join();
      ExchangeStep(0, 1);
      if (!SendBytes(kVersion)) return false;
      reply = ReadVersionReply();
      return true;
    });
    if (Delivered(kVersion, outcome)) {
      if (reply.empty()) {
        ShowMessageQ(Tip("VersionNoReply"), Tip("QueryVersion"), MsgIcon::Warning);
      } else {
        ShowMessageQ(Tip("VersionIs") + TextFormToMemo(BytesToEscapedText(reply)), Tip("QueryVersion"));
      }
    }
  }
  if (!hooks_.receiving()) hooks_.startReceiving();
}

}  // namespace tw
