#pragma once
// The user parameter editors. `TFormEepromNormalUser` is the editor of Z printers: it reads the
// printer's everyday stored parameters (34 settings in 27 slots) one request at a time, lets the user
// change them, writes them back and ends with a reset; copies the printer's whole parameter table into
// a dump file and loads the settings from one. The E printers' editor (EepromSetNormalUserEPL.h) is
// its twin with more rows and a batched read; what the two share lives in `TUserParamEditor`.
//
// The windows are created once, by the main window, and shown modeless. Their settings are rows of a
// table (UserParamRows.h) that drive building the controls, reading, writing and loading. Every
// control carries its row name as object name, since the language files key on it.
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/Pacing.h"
#include "params/UserParamRows.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QGroupBox;
class QGridLayout;
class QHBoxLayout;
class QTimer;
class QValidator;

namespace tw {

class TRadioGroup;
class TFileDialog;
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

class TUserParamEditor : public QWidget {
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
  void ShowBox(const QString& text, MsgIcon icon = MsgIcon::None);
  // Keeps the receive thread from taking the replies: clears its run flag and waits for its end.
  static void StopReceiving();

  // Shows the busy cursor until released or destroyed, so that it ends on every way out.
  class BusyCursor {
   public:
    BusyCursor();
    ~BusyCursor() { Release(); }
    void Release();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

   private:
    bool active_ = true;
  };

 private:
  void BuildControls();
  void BuildChoicePage();
  void BuildNumberPage();
  void BuildButtons();
  void Relabel();
  void LayOutButtons();
  void SetDefaults(std::size_t rowCount);
  void FitWindowToContents();
  // The word to write for one slot of a row; false (after saying why) when an edit is not a valid
  // number for its place.
  bool SlotWordToWrite(std::size_t row, std::size_t slot, uint16_t* word);
  void RefuseEdit(QLineEdit* edit, const char* messageKey, const QString& limit);
  QString FormText(const char* key, const QString& designed) const;
  // The rows of a page in the order shown: one list per part, or all rows in one.
  std::vector<std::vector<const SettingRow*>> PageParts(Page page) const;
  // Lays the edits of the rows out from grid row `top` in two columns; returns the grid rows used.
  int AddEditLines(QGridLayout* grid, int top, const std::vector<const SettingRow*>& rows, QValidator* hexValidator);

  UserEditorDesign design_;
  ResetCommand reset_;
  QHBoxLayout* buttonRow_ = nullptr;
  std::map<QString, QLineEdit*> edits_;
  std::map<QString, TRadioGroup*> groups_;
  std::map<QString, QLabel*> editLabels_;
  std::array<uint16_t, 256> keptBits_{};  // the bits of whole-word slots that no control edits
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
