// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the parameter editors share around their settings: a group box holding the two pages (the
// choice page TabSheet3 and the number page TabSheet12), the open and save file dialogs, the
// status bar with three panels, the row of the four buttons under the pages, and the helpers that
// relabel, fit, inform and filter keys the same way in each editor.
//
// The factory editor is a QDialog and the user editors are plain windows, so the frame is not a Qt
// class: each window derives from its Qt class first and from EditorFrame second, and builds the
// frame's pieces in its own creation order (the language relabelling walks controls in that order).
// The control names are the ones the language files key on.
#include <QSize>
#include <QString>
#include <array>
#include <map>
#include <vector>

#include "core/Messages.h"

class QGroupBox;
class QHBoxLayout;
class QScrollArea;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QValidator;
class QWidget;

namespace tw {

class TRadioGroup;
class TFileDialog;

class EditorFrame {
 public:
  // The edits and radio groups of the settings, by their names (null for an unknown name).
  QLineEdit* Edit(const QString& name) const;
  TRadioGroup* Group(const QString& name) const;
  // The label beside an edit (the octets of an address share their row's label).
  QLabel* EditLabel(const QString& editName) const;

  // Reports a failed read (code 1: "ReadFail", reading enabled again) or a failed write (any other
  // code: "UpdateFail", writing enabled again). Callers have restored the arrow cursor before.
  void ShowFail(int code);
  void FormShortCut();  // F1
  // Fits the window to its texts within a screen area of this size (the pages scroll when they do
  // not fit); FitToTexts uses the window's screen.
  void FitWindowInto(QSize available);

  QGroupBox* GroupBox1 = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QWidget *TabSheet3 = nullptr, *TabSheet12 = nullptr;
  QPushButton *btnReadPrint = nullptr, *btnSetPrint = nullptr, *btnReadFile = nullptr, *btnWrintFile = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  std::array<QLabel*, 3> statusPanels{};
  TFileDialog *OpenEEPRomDialog = nullptr, *SaveEEpRomDialog = nullptr;

 protected:
  // `formName` becomes the window's object name and names its section of the language files.
  EditorFrame(QWidget* window, const char* formName);
  ~EditorFrame() = default;
  EditorFrame(const EditorFrame&) = delete;
  EditorFrame& operator=(const EditorFrame&) = delete;

  // ---- Building, in the order the windows call them ----
  // The group box with the page control and its two pages ("常用设置", "机器特性设置").
  void BuildPages();
  // The open and save dialogs, both with `filter`; the save dialog asks before overwriting.
  void BuildFileDialogs(const char* filter);
  // The status bar with three panels of these least widths, the last one taking the rest.
  void BuildStatusBar(const std::array<int, 3>& panelWidths);
  // The window's layout: the pages, then the four buttons (created here), then the status bar.
  // The windows connect the buttons' clicks themselves.
  void BuildFormLayout();

  // A radio group on `page` with its title and items, kept under its name.
  TRadioGroup* AddRadioGroup(QWidget* page, const char* name, const char* caption,
                             const std::vector<const char*>& items, int columns);
  // An edit on `page` for up to `digits` characters, sized to them and kept under its name.
  QLineEdit* AddEdit(QWidget* page, const char* name, int digits);
  // The label of an edit, named "Label_<edit name>", with its hint when there is one.
  QLabel* NewEditLabel(QLineEdit* edit, const char* caption, const QString& hint);
  // Lets only up to four hexadecimal digits into the edits it is given to, pasted text too.
  QValidator* NewHexValidator();

  // ---- Life cycle ----
  void Relabel();
  // Lays the buttons out for the current language and fits the window to the texts.
  void FitToTexts();
  // F1 opens the help: true when the key was F1.
  bool HandleHelpKey(const QKeyEvent* event);
  // The key filter of the hexadecimal edits: false (after a beep) when the key types anything but
  // digits, A-F and a-f. Keys that type no character (Backspace, navigation) pass.
  static bool AcceptHexKey(const QKeyEvent* event);

  // ---- Messages ----
  void ShowBox(const QString& text, MsgIcon icon = MsgIcon::None);
  // A message text of this window's section of the language file; `designed` when the key is missing.
  QString FormText(const char* key, const QString& designed) const;
  // True when a port is open; otherwise false, after telling the user.
  bool RequirePortOpen();
  // "ReadFinish", then reading, writing and saving enabled.
  void ShowReadFinished();

  // The open port as the status bar shows it: the serial port's name on the serial kind, the link
  // name (USB, network, parallel) otherwise.
  static QString OpenPortName();

  // Keeps the receive thread from taking the replies: clears its run flag and waits for its end.
  static void StopReceiving();

  std::map<QString, QLineEdit*> edits_;
  std::map<QString, TRadioGroup*> groups_;
  std::map<QString, QLabel*> editLabels_;

 private:
  void BuildButtons();
  void LayOutButtons();
  void FitWindowToContents();

  QWidget* window_;
  const char* formName_;
  QHBoxLayout* buttonRow_ = nullptr;
  // Holds the pages, so that a window taller or wider than the screen scrolls instead of losing its
  // buttons below the screen's edge.
  QScrollArea* pageScroll_ = nullptr;
};

}  // namespace tw
