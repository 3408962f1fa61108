// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The port dialog's printer search: a window of its own that runs the network search over a range
// and lists the printers as they are found; choosing one gives its address and port back.
#include <QDialog>
#include <filesystem>
#include <optional>

#include "discovery/Discovery.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace tw {

class TFindPrinters : public QDialog {
  Q_OBJECT
 public:
  explicit TFindPrinters(QWidget* parent = nullptr);

  // The row the user chose (after accept()).
  const std::optional<discovery::PrinterRow>& Chosen() const { return chosen_; }
  // The file that keeps the last range searched.
  static std::filesystem::path SettingsPath();

  QLabel* LblRange;
  QLineEdit* EdRange;
  QPushButton* BtnStart;
  QCheckBox* CbAskAll;
  QLabel* LblAskAllWarning;
  QTreeWidget* LvPrinters;
  QProgressBar* PbProgress;
  QLabel* LblNotes;
  QPushButton* BtnUse;
  QPushButton* BtnAddToList;
  QPushButton* BtnStop;
  QPushButton* BtnClose;

  // What a search runs with besides its range and the "ask every open port" choice.
  discovery::DiscoveryOptions baseOptions;

  void BtnStartClick();
  void BtnUseClick();
  // Adds the chosen printer to the user's printer list (the list the list jobs work over).
  void BtnAddToListClick();
  // Closing the window, by any button, stops a search still running.
  void done(int result) override;

 private:
  const discovery::PrinterRow* SelectedRow() const;
  void ShowRows();
  void ShowRunning(bool running);

  discovery::Discovery* run_;
  std::optional<discovery::PrinterRow> chosen_;
};

}  // namespace tw
