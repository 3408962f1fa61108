// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The download dialog: sends a file unchanged to the printer (fonts, firmware, parameter dumps, any
// file) with a progress bar, and closes a USB or network link after a file that makes the printer
// restart. Created modal by the main window for each use, with the receive thread paused.
//
// The transfer runs in a thread of its own, so that the window repaints and the bar advances during
// a download of minutes; the UI thread only shows the bar's values and, at the end, the messages.
// While it runs, choosing another file or starting a second download is not possible, and closing
// the window asks first (for a firmware file with a warning, going on being the default); the
// transfer waits while the question is open, and a yes stops it at once (before its next piece, or
// by closing a network link hard while the end waits for the printer), tells how many bytes the
// printer took and closes the window. The bar follows the bytes the printer took.
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "core/Pacing.h"
#include "download/DownloadTransfer.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tw {

class TFileDialog;

namespace pace {
inline constexpr PaceStep kDownloadReceiveStop{"download: wait after stopping the receive thread", 200};
}  // namespace pace

class TDownDialog : public QDialog {
  Q_OBJECT
 public:
  // What the dialog needs of the main window.
  struct Hooks {
    // Sets the receive thread's run flag, waits 200 ms and starts the thread (after a download).
    std::function<void()> startReceiving;
    // The download closed the link: the main window shows that no port is open.
    std::function<void()> linkClosed;
  };
  explicit TDownDialog(QWidget* parent, Hooks hooks = {});
  // Stops a running transfer before its next piece and waits for it.
  ~TDownDialog() override;

  void FormShow();    // stops the receive thread, then InitDialog
  void InitDialog();  // relabels from the current language file, loads the DownDialog messages
  void Button1Click();
  void BtDownLoadClick();
  void BtCloseClick();
  void FormShortCut();  // F1: the help file of the current language

  bool Downloading() const { return worker_.joinable(); }
  // How the last transfer ended.
  DownloadOutcome lastOutcome() const { return lastOutcome_; }

  QLabel* Label1;  // names the file field
  QLineEdit* EtDownFile;
  QPushButton *Button1, *BtDownLoad, *BtClose;
  QProgressBar* ProcessBar;
  QLabel* LbResult;  // how many bytes the last completed download sent
  TFileDialog* DownFileOpen;

 signals:
  // A started transfer has ended and its messages have been shown.
  void downloadFinished();

 public slots:
  // Every way of closing (the close button, the close box, Escape) comes here.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();
  // Runs in the UI thread once the transfer thread has ended; `taken`: the bytes the printer took.
  void FinishDownload(DownloadOutcome outcome, uint64_t taken);
  void SetBusy(bool busy);

  Hooks hooks_;
  std::thread worker_;
  std::shared_ptr<TransferGate> gate_;  // of the running transfer
  bool reopen_ = false;          // the file makes the printer restart
  bool firmware_ = false;        // the file is firmware: stopping it can leave the printer needing recovery
  uint64_t fileSize_ = 0;        // bytes of the file being sent
  bool closeWhenDone_ = false;   // the user chose to stop the transfer and close
  bool askingToStop_ = false;    // the stop question is open
  std::optional<std::pair<DownloadOutcome, uint64_t>> endedDuringQuestion_;  // finished once the question is answered
  bool cursorBusy_ = false;
  DownloadOutcome lastOutcome_ = DownloadOutcome::Completed;
  // Texts of the dialog's own section beyond the message catalog's keys.
  QString fileFailText_, stopQuestionText_;
};

}  // namespace tw
