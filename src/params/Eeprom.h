// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The factory parameter editor: reads the printer's machine-level parameters (26 slots, read and
// written whole), lets the user change them, writes them back between the printer's check-mode
// commands, and keeps them in parameter INI files.
//
// Created for each use behind the factory authorization code, shown modally (exec()) and destroyed
// when it closes. Its slots and controls are the table of FactoryParams.h, which also splits and
// joins the words; this class builds the controls from that table and wires them to the printer
// and the files. Every control carries its table name as object name, since the language files
// key on it.
#include <QDialog>

#include "core/Pacing.h"
#include "params/EditorFrame.h"
#include "params/FactoryParams.h"

namespace tw {

namespace pace {
inline constexpr PaceStep kAfterFactoryWrite{"wait after writing the factory parameters", 3000};
}  // namespace pace

// The printer commands around a write of the parameters. STX is 0x02.
inline constexpr char kCheckModeSetup[] = "\x02j34000\r\n";   // before the writes only
inline constexpr char kCheckModeOn[] = "\x02JX01";
inline constexpr char kCheckModeOff[] = "\x02JX00";
inline constexpr char kStoreParameters[] = "\x02&05000100";  // after the last slot

class TFormEeprom : public QDialog, public EditorFrame {
  Q_OBJECT
 public:
  explicit TFormEeprom(QWidget* parent = nullptr);

  // The handlers, named as the form names them.
  void FormCreate();
  void FormShow();
  void InitDialog();
  void btnReadPrintClick();
  void btnSetPrintClick();
  void btnReadFileClick();
  void btnWrintFileClick();
  // The key filter of the edits: true when the key may reach the edit.
  bool edtLABEL_LENGTHKeyPress(QKeyEvent* event);
  // Discards pending input; with `flag`, sends kCheckModeSetup; then kCheckModeOn or kCheckModeOff.
  // The results of the sends are ignored; always true.
  bool CloseCommedCheck(bool flag);

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildChoicePage();
  void BuildNumberPage();
  // The controls into values_, and values_ into the controls.
  void CollectControls();
  void ShowValues();
  void RefuseWrite(const factory::Refusal& refusal);

  factory::FactoryValues values_;  // also the kept bits and the held bits of the last printer read
};

}  // namespace tw
