#pragma once
// The setup wizard for printers of the E command set: seven pages that read the printer's
// configuration ("UQ"), let the user change the label settings, and on Finish send one block of
// commands (and save it to a file if asked). Lengths are converted at the printer's resolution
// (203 or 300 dpi) found by the read. Modal; the main window creates it for each use.
#include <QDialog>
#include <optional>

#include "wizards/EplConfig.h"
#include "wizards/WizardCommon.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QRadioButton;
class QStackedWidget;
class QTimeEdit;

namespace tw {

class TFileDialog;

class TSetPrinterEPL : public QDialog {
  Q_OBJECT
 public:
  explicit TSetPrinterEPL(QWidget* parent);

  void FormShow();
  void InitDialog();
  void HelpBtnClick();
  void CancelBtnClick();
  void GetPrinterSettinglBtnClick();
  void BackBtnClick();
  void NextBtnClick();
  void FinishBtnClick();
  void SetTimeCheckBoxClick();
  void SetComputerTimeRadioButtonClick();
  void SetTimeRadioButtonClick();
  void CodePageComboBoxChange();
  void UnitsComboBoxChange();
  // Asks the printer for its configuration and shows it in the controls; false when no version
  // came back (Next and Finish are then disabled).
  bool ReadPrinterSettings();

  // The choices as Finish would send them (lengths converted to dots at the resolution in force);
  // nullopt after a field that cannot be read was reported.
  std::optional<EplSetupChoices> CurrentChoices();
  int CurrentPage() const;
  LengthFields& Lengths() { return *lengths_; }

  QStackedWidget* pgcPrinterSet;
  QComboBox *UnitsComboBox, *OrientationComboBox, *SpeedComboBox, *DarknessComboBox, *PrintModeComboBox,
      *MediaTypeComboBox, *MediaHandingComboBox, *CodePageComboBox, *KDUCountryCodeComboBox;
  QLineEdit *WidthEdit, *HeightEdit, *GapHeightEdit, *OffsetEdit;
  QLabel *WidthUnitLabel, *HeightUnitLabel, *TearoffadjustUnitLabel, *LabelShiftUnitLabel, *SpeedUnitLabel;
  QLabel *FirmwareVersionLabel, *FirmwareVersionShowLabel, *PrintModeLabel, *KDULabel;
  QCheckBox *ContinueCheckBox, *chkTOFBackup, *ErrorReportCheckBox, *SetTimeCheckBox, *SaveFileCheckBox;
  QRadioButton *SetComputerTimeRadioButton, *SetTimeRadioButton;
  QDateEdit* DateDateTimePicker;
  QTimeEdit* TimeDateTimePicker;
  WizardButtons buttons;
  TFileDialog* SaveFileDialog;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  enum class Direction { Back, Next };
  void RefreshDialog(Direction direction);
  void BuildPages();
  void EnableClockControls();
  void ShowConfiguration(const EplConfiguration& configuration);
  void ShowCountryCode(bool visible);

  LengthFields* lengths_;
  WizardMessages messages_;
  // A code page the printer reported that the list does not hold ("F" or a 7-bit one): sent back on
  // Finish while the list shows no selection, so that the printer keeps it.
  std::optional<int> unlistedCodePage_;
};

}  // namespace tw
