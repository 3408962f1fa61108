#pragma once
// The setup wizard for printers of the Z command set: six pages that read the printer's basic label
// settings, let the user change them, and on Finish send one block of commands (and save it to a file
// if asked). Modal; the main window creates it for each use.
#include <QDialog>
#include <array>

#include "wizards/WizardCommon.h"
#include "wizards/ZSetupBlock.h"

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

class TSetPrinter : public QDialog {
  Q_OBJECT
 public:
  explicit TSetPrinter(QWidget* parent);

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
  void UnitsComboBoxChange();
  // Reads the version, then the parameter slots, into the controls; false when the printer did not
  // answer the version request.
  bool ReadPrinterSettings();

  // The choices as Finish would send them (lengths converted to dots); nullopt after a field that
  // cannot be read was reported.
  std::optional<ZSetupChoices> CurrentChoices();
  int CurrentPage() const;
  LengthFields& Lengths() { return *lengths_; }

  QStackedWidget* pgcPrinterSet;
  QComboBox *UnitsComboBox, *OrientationComboBox, *SpeedComboBox, *DarknessComboBox, *MediaTypeComboBox,
      *MediaHandingComboBox, *BackfeedComboBox, *MediafeedoptionsComboBox;
  QLineEdit *WidthEdit, *HeightEdit, *TearoffadjustEdit, *LabelShiftEdit;
  QLabel *WidthUnitLabel, *HeightUnitLabel, *TearoffadjustUnitLabel, *LabelShiftUnitLabel, *SpeedUnitLabel;
  QLabel *FirmwareVersionLabel, *FirmwareVersionShowLabel;
  QCheckBox *ContinueCheckBox, *MirrorImageCheckBox, *SetTimeCheckBox, *SaveFileCheckBox;
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
  // Reads the parameter slots after a successful version request; stops at the first failed read.
  void ReadParameterSlots();

  LengthFields* lengths_;
  WizardMessages messages_;
};

}  // namespace tw
