// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The printer list window: runs the jobs of a printer list (inventory, backup, apply, send) with one
// row per printer showing its state, progress, result and the message of a failure. The job runs in
// threads of its own (fleet/FleetJobs.h); the window only starts it, asks it to stop, and shows a
// snapshot of the rows ten times a second, so that it never waits on a printer.
#include <QDialog>
#include <memory>

#include "fleet/FleetJobs.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace tw {

class TFileDialog;

class TFleetForm : public QDialog {
  Q_OBJECT
 public:
  explicit TFleetForm(QWidget* parent = nullptr);
  ~TFleetForm() override;  // cuts a running job and waits for its threads

  void btnStartClick();
  void btnStopClick();
  bool Running() const { return run_ != nullptr; }
  // The list file the window uses (the user's list until another is chosen).
  void SetListFile(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Escape: as closing

 private:
  void BuildControls();
  void LoadList();
  void ShowSnapshot();
  void JobChanged();
  void ChooseList();
  void ChooseTarget();
  QString StateText(const fleet::PrinterResult& result) const;

  QLineEdit* edtList = nullptr;
  QPushButton* btnList = nullptr;
  QComboBox* cbJob = nullptr;
  QLineEdit* edtTarget = nullptr;
  QPushButton* btnTarget = nullptr;
  QComboBox* cbSet = nullptr;  // apply: the dump file's command set
  QCheckBox* chkDryRun = nullptr;
  QLineEdit* edtSlots = nullptr;  // apply: the slots to bring in line (empty: the user editor's)
  QSpinBox* spnJobs = nullptr;
  QPushButton* btnStart = nullptr;
  QPushButton* btnStop = nullptr;
  QTableWidget* gridPrinters = nullptr;
  QLabel* lblSummary = nullptr;
  QTimer* refresh_ = nullptr;
  TFileDialog* dlgList = nullptr;
  TFileDialog* dlgTarget = nullptr;
  TFileDialog* dlgBackupFolder = nullptr;

  std::optional<fleet::PrinterList> list_;
  std::unique_ptr<fleet::FleetRun> run_;
  bool closeWhenFinished_ = false;  // the window was closed while a job ran: it closes once the job ends
};

}  // namespace tw
