// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The frame both setup wizards share: the fixed-size form with its page stack and buttons, the
// navigation that skips the advanced pages without "continue", the clock page, the save page and
// dialog, the showing and relabelling, and Finish (build the block, send it once, save it if asked).
// Each wizard adds its own pages, its reading of the printer and its block.
#include <QDialog>
#include <QStringList>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "wizards/ClockTime.h"
#include "wizards/WizardCommon.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGridLayout;
class QLabel;
class QLineEdit;
class QRadioButton;
class QStackedWidget;
class QTimeEdit;

namespace tw {

class TFileDialog;

class TSetupWizard : public QDialog {
  Q_OBJECT
 public:
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
  // Reads the printer's settings into the controls; false when the printer did not answer.
  virtual bool ReadPrinterSettings() = 0;

  int CurrentPage() const;
  LengthFields& Lengths() { return *lengths_; }

  QStackedWidget* pgcPrinterSet;
  // The label and speed pages, alike in both wizards.
  QComboBox *UnitsComboBox = nullptr, *OrientationComboBox = nullptr, *SpeedComboBox = nullptr,
            *DarknessComboBox = nullptr;
  QLineEdit *WidthEdit = nullptr, *HeightEdit = nullptr;
  QLabel *WidthUnitLabel = nullptr, *HeightUnitLabel = nullptr, *SpeedUnitLabel = nullptr;
  QLabel *FirmwareVersionLabel = nullptr, *FirmwareVersionShowLabel = nullptr;
  QCheckBox *ContinueCheckBox = nullptr, *SetTimeCheckBox = nullptr, *SaveFileCheckBox = nullptr;
  QRadioButton *SetComputerTimeRadioButton = nullptr, *SetTimeRadioButton = nullptr;
  QDateEdit* DateDateTimePicker = nullptr;
  QTimeEdit* TimeDateTimePicker = nullptr;
  WizardButtons buttons{};
  TFileDialog* SaveFileDialog;

 protected:
  // The pages the navigation needs: from the media page Next skips to the save page when the
  // advanced settings are not wanted, and Back returns the same way.
  struct PageRoles {
    int media;
    int save;
    std::vector<int> enableNext;  // arriving on these pages enables Next
  };
  TSetupWizard(QWidget* parent, const char* formName, PageRoles roles);

  // Called by the wizard's constructor once its pages are built: adds the buttons, binds the length
  // fields and connects the handlers.
  void CompleteForm(WizardKind kind, const LengthFields::Controls& lengthControls,
                    std::function<UnitConverter()> converter);

  // The pages both wizards have.
  WizardPage AddPage(const char* sheetName, const char* title, const char* description);
  // Page 0: unit, width, height, orientation and the printer's version.
  void AddLabelPage(const QStringList& units);
  // Page 1: the five speeds (the printer may report any of them, so all are there from the start)
  // and the darkness levels 0 to darknessLevels - 1.
  void AddSpeedPage(int speedIndex, int darknessLevels, int darknessIndex);
  void AddContinueChoice(const WizardPage& page);
  void AddClockPage(const char* sheetName);
  void AddSavePage(const char* sheetName);

  // The block Finish sends; nullopt after a field that cannot be read was reported.
  virtual std::optional<std::string> BuildBlock() = 0;
  // Runs after a successful Finish, before the wizard closes.
  virtual void AfterFinish() {}

  // The clock choice: the computer's clock now, or the date and time entered.
  bool ComputerClockChosen() const;
  ClockTime ChosenClock() const;
  const WizardMessages& Messages() const { return messages_; }

  void showEvent(QShowEvent* event) override;

 private:
  enum class Direction { Back, Next };
  void RefreshDialog(Direction direction);
  void EnableClockControls();

  QString formName_;
  PageRoles roles_;
  LengthFields* lengths_ = nullptr;
  WizardMessages messages_;
};

// Small builders for the wizards' controls: each names the control as the language files know it.
namespace wizard_ui {

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}
QComboBox* Combo(QWidget* parent, const char* name, const QStringList& items, int selected);
QStringList Items(std::initializer_list<const char*> items);
QLineEdit* Edit(QWidget* parent, const char* name, const char* text);
QLabel* Label(QWidget* parent, const char* name, const char* text);
QCheckBox* CheckBox(QWidget* parent, const char* name, const char* text, bool checked);
QStringList SpeedItems(LengthUnit unit);

// A row of a page: caption, control, and the unit caption after it when the value has a unit.
struct Row {
  QLabel* caption;
  QWidget* control;
  QLabel* unit = nullptr;
};
void AddRows(QVBoxLayout* body, std::initializer_list<Row> rows);

// An index outside the list's entries leaves the list with no selection.
void SelectIndex(QComboBox* combo, int index);

}  // namespace wizard_ui
}  // namespace tw
