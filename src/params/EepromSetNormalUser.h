// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user parameter editors. `TFormEepromNormalUser` is the editor of Z printers: it reads the
// printer's everyday stored parameters (34 settings in 27 slots) one request at a time, lets the user
// change them, writes them back and ends with a reset; copies the printer's whole parameter table into
// a dump file and loads the settings from one. The E printers' editor (EepromSetNormalUserEPL.h) is
// its twin with more rows and a batched read; what the two share lives in `TUserParamEditor`, and what
// they share with the factory editor (the pages, buttons and status bar) in `EditorFrame`.
//
// The windows are created once, by the main window, and shown modeless. Their settings are rows of a
// table (UserParamRows.h) that drive building the controls, reading, writing and loading. Every
// control carries its row name as object name, since the language files key on it.
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/Pacing.h"
#include "jobs/LinkJob.h"
#include "params/EditorFrame.h"
#include "params/UserParamRows.h"

class QGridLayout;
class QTimer;
class QValidator;

namespace tw {

class DumpFile;

namespace pace {
inline constexpr PaceStep kAfterParameterWrite{"wait after writing the parameters, before the reset", 3000};
inline constexpr PaceStep kDumpTimerTick{"first tick of the dump timer", 1000};
}  // namespace pace

// What sets one user editor apart from the other, besides its reading.
struct UserEditorDesign {
  const char* formName;                   // the window's name and its section in the language files
  const std::vector<SettingRow>* rows;    // read, written and loaded in this order
  std::size_t rowsResetOnShow;            // every showing puts the first this many rows to defaults
  std::array<int, 3> statusPanelWidths;
  bool dumpInReadOnceMode;                // the dump's named-entry reads: one read round each
  // Pages shown in parts (shared settings, E command set settings, network), the number page's
  // parts divided by lines; otherwise every row in table order.
  bool pagesInParts;
};

class TUserParamEditor : public QWidget, public EditorFrame {
  Q_OBJECT
 public:
  // The main window's reset command, run after a write with the catalog key of its success text
  // ("UpdateFinish": the reset reports the update where it would report itself).
  using ResetCommand = std::function<void(const char* successTextKey)>;

  // The handlers, named as the form names them.
  void FormCreate();
  void FormShow();
  virtual void FormActivate();
  void InitDialog();
  virtual void btnReadPrintClick() = 0;
  void btnSetPrintClick();
  void btnReadFileClick();
  void btnWrintFileClick();
  void TimerReadEepTimer();
  bool ReadEep(const DumpFile& file);

  QTimer* TimerReadEep;

 protected:
  TUserParamEditor(QWidget* parent, ResetCommand reset, const UserEditorDesign& design);

  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  // The status bar's texts; FormShow fills them.
  virtual void FillStatusPanels();
  const std::vector<SettingRow>& Rows() const { return *design_.rows; }
  // Puts a value that the printer or a file gave for one slot of a row into the row's controls.
  void ShowSlotValue(std::size_t row, std::size_t slot, uint16_t value);
  // Remembers what a printer read of one slot of a row tells of the slot's word: the word itself
  // when the slot was read whole, nothing when only a field of it was read.
  void RememberPrinterRead(std::size_t row, std::size_t slot, uint16_t value);
  // After a read of the printer ran as a job: the report of its end, and the buttons it enables.
  void EndPrinterRead(LinkJob::Outcome outcome);

 private:
  void BuildControls();
  void BuildChoicePage();
  void BuildNumberPage();
  void SetDefaults(std::size_t rowCount);
  // The word to write for one slot of a row; false (after saying why) when an edit is not a valid
  // number for its place.
  bool SlotWordToWrite(std::size_t row, std::size_t slot, uint16_t* word);
  // Writes one slot of a row: as its field, or as the whole word with the bits kept that no control
  // shows; false when the send failed.
  bool WriteSlot(std::size_t row, std::size_t slot, uint16_t word);
  void RefuseEdit(QLineEdit* edit, const char* messageKey, const QString& limit);
  // The rows of a page in the order shown: one list per part, or all rows in one.
  std::vector<std::vector<const SettingRow*>> PageParts(Page page) const;
  // Lays the edits of the rows out from grid row `top` in two columns; returns the grid rows used.
  int AddEditLines(QGridLayout* grid, int top, const std::vector<const SettingRow*>& rows, QValidator* hexValidator);

  UserEditorDesign design_;
  ResetCommand reset_;
  // The slots' words as last read whole from the printer or loaded from a file; unknown otherwise.
  std::array<std::optional<uint16_t>, 256> knownWords_{};
  std::filesystem::path dumpFile_;
};

class TFormEepromNormalUser : public TUserParamEditor {
  Q_OBJECT
 public:
  TFormEepromNormalUser(QWidget* parent, ResetCommand reset);

  // Reads the rows one request–reply exchange at a time, in read-once mode.
  void btnReadPrintClick() override;
};

}  // namespace tw
