// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status window: the connected printer's conditions in plain words with an icon by severity,
// its identity, the time of the reading, a copy of the raw reply, and an opt-in watch that reads
// again every few seconds while the link is free.
//
// A reading stops the receive thread, claims the link and runs the status queries on a thread of
// its own; nothing is read away beforehand, and the bytes that came outside the status replies go
// to the receive area after what the receive thread had already read.
#include <QDialog>
#include <functional>
#include <mutex>
#include <thread>

#include "status/PrinterStatus.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace tw {

class TFormStatus : public QDialog {
  Q_OBJECT
 public:
  struct Hooks {
    std::function<void(const QByteArray&)> passOn;     // bytes for the receive area, queued in order
    std::function<void()> resumeReceiving;             // after a reading that stopped the receive thread
    std::function<void(const QString&)> showWorst;     // the status bar's text while watching ("" clears)
  };
  static constexpr int kWatchIntervalMs = 3000;

  TFormStatus(QWidget* parent, Hooks hooks);
  ~TFormStatus() override;

  // Reads the status now; false (and a message) when no port is open or another exchange holds the link.
  bool Refresh();
  bool Reading() const { return worker_.joinable(); }
  // Stops the watch and waits for a running reading to end (it is bounded), so that the link can
  // be closed under it.
  void EndReading();
  const status::Report& LastReport() const { return report_; }
  // Texts as shown, in the current language.
  static QString ConditionText(const status::Condition& condition);
  static QString NoteText(const status::Note& note);

  QLabel *lblConditions, *lblIdentity, *lblTime, *lblNotes;
  QListWidget* lvConditions;
  QCheckBox* cbWatch;
  QPushButton *btnCopy, *btnRefresh, *btnClose;
  QTimer* watchTimer;

 signals:
  void readingFinished();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool StartReading();
  void FinishReading();
  void ShowReport();
  void WatchTick();
  void Relabel();

  Hooks hooks_;
  std::thread worker_;
  std::mutex resultMutex_;
  status::Report result_;  // written by the worker, taken by FinishReading
  status::Report report_;  // the reading shown
  QString readAt_;
  bool resumeAfter_ = false;
};

}  // namespace tw
