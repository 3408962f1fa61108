#pragma once
// The authorization dialog in front of the parameter editors: "kelp" shows the user parameter editor
// of the current command set, "harbourlinen" opens the factory parameter editor. Created modal by
// the main window for each use; the user editors it shows live for the whole run of the program.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tw {

class TFormEepromNormalUser;

class TFormPasswordSet : public QDialog {
  Q_OBJECT
 public:
  // `zEditor` is the Z command set's user editor, owned by the main window (may be null in tests).
  TFormPasswordSet(QWidget* parent, TFormEepromNormalUser* zEditor);

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
  // Says that the editor behind a code is not part of this version yet (key of section Tips).
  void ShowNotAvailable(const char* tipKey, const char* designed);

  TFormEepromNormalUser* zEditor_;
};

}  // namespace tw
