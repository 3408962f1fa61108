// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The authorization dialog in front of the parameter editors: "kelp" shows the user parameter editor
// of the current command set, "harbourlinen" opens the factory parameter editor. Created modal by
// the main window for each use; the user editors it shows live for the whole run of the program.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tw {

class TUserParamEditor;

class TFormPasswordSet : public QDialog {
  Q_OBJECT
 public:
  // The user editors of both command sets, owned by the main window (null ones are not shown).
  TFormPasswordSet(QWidget* parent, TUserParamEditor* zEditor, TUserParamEditor* eEditor);

  void FormShow();
  void InitDialog();
  void btnokClick();
  void btncancelClick();

  QLabel *lblpwd, *lblpwdtip;
  QLineEdit* edtpwd;
  QPushButton *btnok, *btncancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TUserParamEditor* zEditor_;
  TUserParamEditor* eEditor_;
};

}  // namespace tw
