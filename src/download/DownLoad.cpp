// SPDX-License-Identifier: GPL-3.0-or-later
#include "download/DownLoad.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

constexpr const char* kFormName = "DownDialog";
constexpr const char* kSection = "DownDialog";
const QString kFilter = QStringLiteral(
    "Text文件(*.txt)|*.txt|字库文件(*.ZK)|*.zk|EEPROM文件(*.EEP)|*.eep|监控程序(*.JK)|*.jk|所有文件(*.*)|*.*");

// The dialog's texts beyond the catalog's keys, read from its own section: a file that cannot be
// opened or read, and the question before a running transfer is stopped.
struct ExtraText {
  const char* key;
  const char* designed;
};
constexpr ExtraText kFileReadFail{"FileReadFail", "无法读取所选文件，下载已停止。"};
constexpr ExtraText kStopDownload{"StopDownload", "正在下载文件。要停止下载并关闭窗口吗？"};

QString Text(const char* key) { return Msg(kSection, key); }

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

TDownDialog::TDownDialog(QWidget* parent, Hooks hooks) : QDialog(parent), hooks_(std::move(hooks)) {
  setObjectName(QString::fromLatin1(kFormName));
  setWindowTitle(QStringLiteral("下载文件"));
  setModal(true);
  BuildControls();
}

TDownDialog::~TDownDialog() {
  if (gate_) gate_->Cancel();
  if (worker_.joinable()) {
    worker_.join();
    ReleaseLinkExchange();  // the transfer's end, which its queued report no longer reaches
  }
  SetBusy(false);
}

void TDownDialog::BuildControls() {
  EtDownFile = Named(new QLineEdit(this), "EtDownFile");
  EtDownFile->setReadOnly(true);
  EtDownFile->setEnabled(false);
  EtDownFile->setMinimumWidth(360);
  Label1 = Named(new QLabel(QStringLiteral("文件："), this), "Label1");
  Label1->setBuddy(EtDownFile);
  Button1 = Named(new QPushButton(QStringLiteral("..."), this), "Button1");
  Button1->setFixedWidth(Button1->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
  BtDownLoad = Named(new QPushButton(QStringLiteral("下载"), this), "BtDownLoad");
  BtDownLoad->setEnabled(false);
  BtClose = Named(new QPushButton(QStringLiteral("关闭"), this), "BtClose");
  ProcessBar = Named(new QProgressBar(this), "ProcessBar");
  ProcessBar->setRange(0, 100);
  ProcessBar->setValue(0);
  LbResult = Named(new QLabel(this), "LbResult");
  DownFileOpen = new TFileDialog(this, QStringLiteral("DownFileOpen"), TFileDialog::Mode::Open, kFilter);

  connect(Button1, &QPushButton::clicked, this, &TDownDialog::Button1Click);
  connect(BtDownLoad, &QPushButton::clicked, this, &TDownDialog::BtDownLoadClick);
  connect(BtClose, &QPushButton::clicked, this, &TDownDialog::BtCloseClick);

  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(Label1);
  fileRow->addWidget(EtDownFile, 1);
  fileRow->addWidget(Button1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BtDownLoad);
  buttons->addWidget(BtClose);
  auto* form = new QVBoxLayout(this);
  form->addLayout(fileRow);
  form->addLayout(buttons);
  form->addSpacing(4);
  form->addWidget(ProcessBar);
  form->addWidget(LbResult);
  form->setSizeConstraint(QLayout::SetFixedSize);  // fixed size, just what the texts need
}

void TDownDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The window system restoring a minimised window is not a new opening.
  if (event->spontaneous()) return;
  FormShow();
  layout()->activate();  // the relabelled texts decide the size before the window is placed
  CentreOnOwner(this);
}

void TDownDialog::FormShow() {
  Receive_Thread::Stop();
  InitDialog();
}

void TDownDialog::InitDialog() {
  const std::filesystem::path languageFile = CurrentLanguageFile();
  TChangeLan().Relabel(this, languageFile, QStringLiteral("None"), QString::fromLatin1(kFormName));
  LoadCatalogSection(kSection);
  const IniDocument file = LoadLanguageFile(languageFile);
  auto extra = [&file](const ExtraText& text) {
    return LanguageText(file, kSection, text.key, QString::fromUtf8(text.designed));
  };
  fileFailText_ = extra(kFileReadFail);
  stopQuestionText_ = extra(kStopDownload);
}

void TDownDialog::Button1Click() {
  const QString path = DownFileOpen->Execute(this);
  if (path.isEmpty()) return;
  BtDownLoad->setEnabled(true);
  EtDownFile->setText(QFileInfo(path).absoluteFilePath());
}

void TDownDialog::BtDownLoadClick() {
  if (Downloading()) return;
  const bool receiverWasRunning = Receive_Thread::Running();
  if (receiverWasRunning) Receive_Thread::Stop();
  reopen_ = false;
  LbResult->clear();

  // Nothing is prepared on a link that is not open.
  if (!Link().open) {
    ShowMessageQ(Text("PortNotOpen"), Text("DownloadFile"), MsgIcon::Information);
    return;
  }
  RaiseLinkTimeoutsForDownload();

  const QString chosen = EtDownFile->text();
  const std::filesystem::path path = LocalFilePath(chosen);
  reopen_ = DownloadNeedsReopen(QFileInfo(chosen).fileName().toStdString());
  firmware_ = IsFirmwareFile(QFileInfo(chosen).fileName().toStdString());
  std::error_code error;
  // Only a regular file has a size to plan with; a device or a folder is refused like a missing file.
  const bool regular = std::filesystem::is_regular_file(path, error);
  const uintmax_t size = regular ? std::filesystem::file_size(path, error) : 0;
  std::ifstream file;
  if (regular && !error) file.open(path, std::ios::binary);
  if (!regular || error || !file) {
    ShowMessageQ(fileFailText_, Text("DownloadFile"));
    return;
  }
  if (size == 0) {
    ShowMessageQ(Text("NotSelectFile"), Text("DownloadFile"));
    BtDownLoad->setEnabled(false);
    EtDownFile->clear();
    return;
  }

  // The link is this transfer's until it ends: a parameter editor's dump timer waits meanwhile.
  if (!ClaimLinkExchange()) return;
  SetBusy(true);
  fileSize_ = size;
  gate_ = std::make_shared<TransferGate>();
  closeWhenDone_ = false;
  QProgressBar* bar = ProcessBar;
  worker_ = std::thread([this, bar, receiverWasRunning, gate = gate_, plan = DownloadPlan(size),
                         file = std::move(file)]() mutable {
    // A receive thread still inside its round must not read while the file goes out.
    if (receiverWasRunning) Pause(pace::kDownloadReceiveStop);
    Receive_Thread::Join();
    uint64_t taken = 0;
    const DownloadOutcome outcome = SendPlannedFile(
        file, plan,
        [bar](int value) { QMetaObject::invokeMethod(bar, [bar, value] { bar->setValue(value); }, Qt::QueuedConnection); },
        *gate, &taken);
    QMetaObject::invokeMethod(this, [this, outcome, taken] { FinishDownload(outcome, taken); }, Qt::QueuedConnection);
  });
}

void TDownDialog::FinishDownload(DownloadOutcome outcome, uint64_t taken) {
  if (worker_.joinable()) worker_.join();
  ReleaseLinkExchange();
  // The last piece was already on its way when the question opened: its messages wait for the answer.
  if (askingToStop_) {
    endedDuringQuestion_ = {outcome, taken};
    return;
  }
  lastOutcome_ = outcome;
  SetBusy(false);
  switch (outcome) {
    case DownloadOutcome::WriteFailed: ShowMessageQ(Text("WriteFail"), Text("DownloadFile")); break;
    case DownloadOutcome::ReadFailed: ShowMessageQ(fileFailText_, Text("DownloadFile")); break;
    case DownloadOutcome::Cancelled:
      // A stop while the printer was still taking the bytes closed the network link.
      if (!Link().open && hooks_.linkClosed) hooks_.linkClosed();
      ShowMessageQ(Text("StoppedDownload").arg(QString::number(taken), QString::number(fileSize_)),
                   Text("DownloadFile"), MsgIcon::Information);
      break;
    case DownloadOutcome::Completed:
      // The bar goes back to 0 for the next file; the line below it says what this one came to.
      LbResult->setText(Text("BytesSent").arg(fileSize_));
      if (!Receive_Thread::Running() && hooks_.startReceiving) hooks_.startReceiving();
      if (reopen_) {
        if (CloseLinkForPrinterRestart()) {
          if (hooks_.linkClosed) hooks_.linkClosed();
          ShowMessageQ(Text("FinishReopen"), Text("DownloadFile"), MsgIcon::Information);
        } else {
          ShowMessageQ(Text("FinishNotReopen"), Text("DownloadFile"));
        }
      }
      break;
  }
  ProcessBar->setValue(0);
  emit downloadFinished();
  if (closeWhenDone_) QDialog::done(QDialog::Rejected);
}

void TDownDialog::SetBusy(bool busy) {
  if (busy == cursorBusy_) return;
  cursorBusy_ = busy;
  // The busy cursor keeps the arrow: the window still answers while the file goes out.
  if (busy) {
    QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
  Button1->setEnabled(!busy);
  BtDownLoad->setEnabled(!busy && !EtDownFile->text().isEmpty());
}

void TDownDialog::BtCloseClick() { close(); }

void TDownDialog::done(int result) {
  if (!Downloading()) {
    QDialog::done(result);
    return;
  }
  if (closeWhenDone_ || askingToStop_) return;  // already stopping, or already asking
  // The transfer waits before its next piece while the question is open: it cannot end behind it.
  askingToStop_ = true;
  gate_->Hold();
  // Firmware cut short can leave the printer needing recovery: the question warns first, and going on
  // is the default.
  const MsgAnswer answer =
      firmware_ ? ShowMessageQ(Text("FirmwareStopWarning") + QStringLiteral("\n\n") + stopQuestionText_,
                               Text("DownloadFile"), MsgIcon::Warning, MsgButtons::OkCancelSafe)
                : ShowMessageQ(stopQuestionText_, Text("DownloadFile"), MsgIcon::Question, MsgButtons::OkCancel);
  askingToStop_ = false;
  if (answer == MsgAnswer::Ok) {
    // The transfer stops before its next piece; the window closes when it has.
    closeWhenDone_ = true;
    gate_->Cancel();
  } else {
    gate_->Release();
  }
  if (const auto ended = std::exchange(endedDuringQuestion_, std::nullopt)) FinishDownload(ended->first, ended->second);
}

void TDownDialog::FormShortCut() { OpenHelp(CurrentLanguage()); }

void TDownDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    FormShortCut();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace tw
