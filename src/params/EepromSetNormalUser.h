#pragma once
// The user parameter editor of Z printers: reads the printer's everyday stored parameters (34
// settings in 27 slots), lets the user change them, writes them back and ends with a reset; copies
// the printer's whole parameter table into a dump file and loads the settings from one.
//
// The window is created once, by the main window, and shown modeless. Its settings are rows of a
// table (EepromSetNormalUser.cpp) that drive building the controls, reading, writing and loading.
// Every control carries its row name as object name, since the language files key on it.
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "core/Messages.h"
#include "core/Pacing.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QGroupBox;
class QHBoxLayout;
class QTimer;

namespace tw {

class TRadioGroup;
class TFileDialog;
class DumpFile;

namespace pace {
inline constexpr PaceStep kAfterParameterWrite{"wait after writing the parameters, before the reset", 3000};
inline constexpr PaceStep kDumpTimerTick{"first tick of the dump timer", 1000};
}  // namespace pace

class TFormEepromNormalUser : public QWidget {
  Q_OBJECT
 public:
  // The main window's reset command, run after a write with the catalog key of its success text
  // ("UpdateFinish": the reset reports the update where it would report itself).
  using ResetCommand = std::function<void(const char* successTextKey)>;

  TFormEepromNormalUser(QWidget* parent, ResetCommand reset);

  // The handlers, named as the form names them.
  void FormCreate();
  void FormShow();
  void FormActivate();
  void InitDialog();
  void btnReadPrintClick();
  void btnSetPrintClick();
  void btnReadFileClick();
  void btnWrintFileClick();
  void TimerReadEepTimer();
  bool ReadEep(const DumpFile& file);
  void ShowFail(int code);
  void FormShortCut();  // F1

  // The edits and radio groups of the settings, by their names (null for an unknown name).
  QLineEdit* Edit(const QString& name) const;
  TRadioGroup* Group(const QString& name) const;

  QGroupBox* GroupBox1;
  QTabWidget* PageControl1;
  QWidget *TabSheet3, *TabSheet12;
  QPushButton *btnReadPrint, *btnSetPrint, *btnReadFile, *btnWrintFile;
  QStatusBar* StatusBar1;
  std::array<QLabel*, 3> statusPanels{};
  TFileDialog *OpenEEPRomDialog, *SaveEEpRomDialog;
  QTimer* TimerReadEep;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildChoicePage();
  void BuildNumberPage();
  void BuildButtons();
  void Relabel();
  void LayOutButtons();
  void SetDefaults();
  void FitWindowToContents();
  // Puts a value that the printer or a file gave for one slot of a row into the row's controls.
  void ShowSlotValue(std::size_t row, std::size_t slot, uint16_t value);
  // The word to write for one slot of a row; false (after saying why) when an edit is not a valid
  // number for its place.
  bool SlotWordToWrite(std::size_t row, std::size_t slot, uint16_t* word);
  void RefuseEdit(QLineEdit* edit, const char* messageKey, const QString& limit);
  void ShowBox(const QString& text, MsgIcon icon = MsgIcon::None);

  ResetCommand reset_;
  QHBoxLayout* buttonRow_ = nullptr;
  std::map<QString, QLineEdit*> edits_;
  std::map<QString, TRadioGroup*> groups_;
  std::map<QString, QLabel*> editLabels_;
  std::array<uint16_t, 256> keptBits_{};  // the bits of whole-word slots that no control edits
  std::filesystem::path dumpFile_;
};

}  // namespace tw
