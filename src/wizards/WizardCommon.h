// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What both setup wizards share: the banner at the top of every page, the page stack that changes
// pages only through the buttons, the button row, the binding of the four length fields and the unit
// list to the unit and range rules, the field messages, and saving the command block to a file.
#include <QImage>
#include <QObject>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#include "wizards/Ranges.h"
#include "wizards/Units.h"

class QBoxLayout;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace tw {

class TFileDialog;

// The banner picture (631 x 64), decoded once from the wizards' resources.
const QImage& WizardBannerPicture();

// A page's banner: the picture drawn across the page's width with a bold title and a one-line
// description over its white field.
class WizardBanner : public QWidget {
  Q_OBJECT
 public:
  WizardBanner(QWidget* parent, const QString& sheetName, const QString& title, const QString& description);
  QLabel* title;
  QLabel* description;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// One page of a wizard: the sheet (named like the form's sheet, "ts1"...), its banner, and the layout
// the page's controls go into.
struct WizardPage {
  QWidget* sheet;
  WizardBanner* banner;
  QVBoxLayout* body;
};
WizardPage AddWizardPage(QStackedWidget* pages, const char* sheetName, const char* title,
                         const char* description);

// The buttons below the pages, left to right, with their names and captions.
struct WizardButtons {
  QPushButton* HelpBtn;
  QPushButton* CancelBtn;
  QPushButton* GetPrinterSettinglBtn;
  QPushButton* BackBtn;
  QPushButton* NextBtn;
  QPushButton* FinishBtn;
};
WizardButtons AddWizardButtons(QWidget* form, QBoxLayout* layout);

// The texts of section SetPrinter_1 that both wizards load when they open.
struct WizardMessages {
  QString notANumber;     // QingShuRuShuZhi
  QString errorCaption;   // ShuRuCuoWu
  QString rangePrefix;    // FanWei
  QString readFailed;     // GetVersionFail
  // A number of the printer's reply that cannot be read: %1 the text, %2 where it came from.
  QString replyNotANumber;  // ReplyNotANumber: the E configuration reply's field
  QString slotNotHex;       // SlotReplyNotHex: the answer for parameter slot %2
  QString fieldOutOfRange;  // FieldOutOfRange: %1 the field's caption, %2 its range
  QString sentNotSaved;     // SentNotSaved: the block went to the printer, the save did not happen
};
WizardMessages LoadWizardMessages();

// The four length fields with their unit captions, the unit list and the speed list, bound to the
// unit and range rules of one wizard.
class LengthFields : public QObject {
  Q_OBJECT
 public:
  struct Controls {
    QComboBox* units;
    std::array<QLineEdit*, kLengthFieldCount> edits;
    std::array<QLabel*, kLengthFieldCount> unitLabels;
    QLabel* speedUnitLabel;
    QComboBox* speed;
  };
  // `converter` gives the conversions in force (the E wizard's follow the printer's resolution).
  LengthFields(QObject* parent, WizardKind wizard, Controls controls,
               std::function<UnitConverter()> converter);

  void SetMessages(const WizardMessages& messages) { messages_ = messages; }
  // The wizard sets the current unit from the unit list each time it is shown.
  void SetCurrentUnitFromList();
  LengthUnit CurrentUnit() const { return current_; }
  // The remembered text of a field: its text when it last gained focus or changed.
  const QString& RememberedText(LengthField field) const { return remembered_[Index(field)]; }

  // Shows a length the printer reported in dots, in the current unit's display form. The field
  // keeps those dots until the user edits it: a unit change shows them in the new unit, and Finish
  // sends them as they were read (two decimals cannot always carry a length exactly). A typed
  // length is kept the same way as its dots from the first unit change on.
  void ShowDots(LengthField field, long long dots);
  // The field's length in dots as commands carry it: the dots held, for a field not edited since;
  // otherwise its value truncated toward zero. A text that cannot be read as a number is reported in
  // a message box (the field gets the focus) and gives nullopt.
  std::optional<long long> CommandDotsOf(LengthField field);

  // The exit check of a field (character scan, range, display form), with its messages; true when
  // the field was accepted. Runs when a field loses the focus to another control of the wizard.
  bool CheckField(LengthField field);
  // The unit list's change: fields, captions and the speed list follow the chosen unit.
  void UnitsComboBoxChange();
  // Focus that moves from a field to one of these controls (Cancel, Help) starts no check: leaving
  // the wizard must never be held up by a field.
  void NoCheckWhenFocusGoesTo(std::initializer_list<QWidget*> controls) { uncheckedTargets_ = controls; }
  // A field holding a length read from the printer outside its range is marked (tinted, with the
  // range in its tool tip) until it holds a value in range; such a value is shown, not refused.
  bool MarkedOutOfRange(LengthField field) const { return marked_[Index(field)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static int Index(LengthField field) { return static_cast<int>(field); }
  void ShowUnitCaptions(LengthUnit unit);
  void ReplaceSpeedList(LengthUnit unit);
  void RejectField(LengthField field, const QString& message);
  // The out-of-range message naming the field by its caption.
  QString OutOfRangeText(LengthField field, std::string_view rangeText) const;
  void UpdateRangeMark(int index);
  // Sets a field's text for the wizard itself: the dots it holds stay (the user's edits drop them).
  void SetFieldText(int index, const QString& text);
  // Drops the held dots when the resolution in force is not the one they were taken at.
  void ForgetDotsOfAnotherResolution();

  WizardKind wizard_;
  Controls controls_;
  std::function<UnitConverter()> converter_;
  WizardMessages messages_;
  LengthUnit current_ = kDefaultLengthUnit;
  std::array<QString, kLengthFieldCount> remembered_;
  // The dots a field holds: read from the printer, or its length at the last unit change. They are
  // its value until the user edits it; a unit change only shows them in another unit. They count
  // at the resolution they were taken at: after a change of resolution the texts shown are the
  // lengths again.
  HeldDots heldDots_;
  int heldResolution_ = 0;
  bool settingText_ = false;
  // A field's message is up, or its focus is being given back after one: focus changes meanwhile
  // start no other check, so that two invalid fields cannot bounce their messages back and forth.
  bool checking_ = false;
  std::vector<QWidget*> uncheckedTargets_;
  std::array<bool, kLengthFieldCount> marked_{};
};

// Runs the save dialog for a command block and writes the block. With the first filter (text files)
// the file name is lower-cased and gets ".txt" unless it ends in it. False when the user cancelled
// or gave no name; a file that cannot be written is reported and also gives false.
bool SaveBlockToFile(const TFileDialog& dialog, QWidget* parent, const QByteArray& block);

}  // namespace tw
