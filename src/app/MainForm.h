// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: menus, tool bar, the send area above, the receive area below, the status bar with
// the port and the clock. Every dialog is opened from here, with the receive thread paused around it.
#include <QMainWindow>
#include <functional>

#include "core/Pacing.h"

#include "portset/SetPort.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTimer;
class QToolBar;
class QToolButton;

namespace tw {

class DeskKeeper;
class SessionLogControl;
class MaintenanceCommands;
class TFormEepromNormalUser;
class TFormEepromNormalUserEPL;
class ReceiveArea;
class LabelPreviewWindow;
class SendArea;
class TFileDialog;
class TFormStatus;

class TMainForm : public QMainWindow, public PortStatusTarget {
  Q_OBJECT
 public:
  // `langId` is the user's language identifier (the system's unless a test gives one).
  explicit TMainForm(QWidget* parent = nullptr, int langId = -1);
  ~TMainForm() override;

  // PortStatusTarget
  void SetStatusPanel(int panel, const QString& text) override;
  void PortOpened() override;
  QString StatusPanel(int panel) const;

  // Menu items, named as the language files name them.
  QMenu *N12, *N1, *N2, *N7, *N10;
  QAction *m_open, *m_save, *m_saveAs, *m_exit, *m_portSet, *N15, *m_downFile, *m_printmemory, *m_printcheck,
      *m_version, *m_resert, *N16, *m_deviceSet, *m_help, *N13, *N14, *English1, *m_about;
  QAction* m_printerList;  // the printer list window
  QToolBar* ToolBar1;
  QToolButton *Tb_open, *Tb_Save, *Tb_PortSet, *btnSetPrinter, *TbDownLoad, *btnTestPage, *btnHelpFile;
  QLabel *Label1, *showPage, *Label2;
  QCheckBox *Cb_ShowHex, *Cb_ShowHex1;
  QPushButton *btnBackPage, *btnNextPage, *btnSend, *Button9, *B_ReceiveSave;
  QPlainTextEdit *MemoSend, *MemoRecive;
  QSplitter* Splitter1;
  QTimer* Timer1;
  TFileDialog *OpenFileDialog, *SaveFileDialog, *ReceiveSD;

  SendArea* sendArea() const { return sendArea_; }
  // Tools > Label Preview: the preview window of the send area's page, made on first use.
  QAction* m_preview = nullptr;
  LabelPreviewWindow* OpenLabelPreview();
  ReceiveArea* receiveArea() const { return receiveArea_; }
  MaintenanceCommands* maintenance() const { return maintenance_; }
  // The Z user parameter editor: made once at start-up, shown by the password dialog.
  TFormEepromNormalUser* zUserEditor() const { return zUserEditor_; }
  TFormEepromNormalUserEPL* eUserEditor() const { return eUserEditor_; }

  // Switches the language (the handlers of N13, N14 and English1).
  void ChangeLanguage(int index);
  // Inserts a received chunk at the receive memo's caret (UI thread).
  void InsertReceivedChunk(const QByteArray& bytes);
  // The pausing pattern: stop the receive thread, wait `waitMs`, run `body`, start the thread again.
  void WithReceivePaused(PaceStep wait, const std::function<void()>& body);
  void StartReceiving();
  void StopReceiving();
  // Starts the receive thread again when it is stopped and no window holds the link: no modal window
  // is open and no user parameter editor is shown.
  void ResumeReceiving();
  // The status window (Tools > Printer Status), made on first use; and the status bar's text of its
  // watch ("" hides it).
  TFormStatus* OpenStatusWindow();
  void ShowStatusWorst(const QString& text);
  QAction* m_status = nullptr;
  QToolButton* btnStatus = nullptr;

 signals:
  // Emitted from the receive thread; queued into the UI thread in arrival order.
  void chunkReceived(const QByteArray& bytes);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  void BuildAreas();
  void BuildStatusBar();
  void WireAreas();
  void ChangeControlLanguage();
  void UpdateClock();
  void OpenPortSettings();
  void OpenSetupWizard();
  void OpenDownload();
  void OpenDeviceSettings();
  bool UserEditorShown() const;
  // The desk kept between runs: size, splitter, send pages, and the menu item that turns keeping off.
  void BuildDesk();
  // The title names the command set in use: the port dialog's choice, or before it was first shown
  // the one remembered in PortInfo.ini.
  void UpdateTitle();

  int langId_;
  bool shownOnce_ = false;
  QLabel* statusPanels_[3] = {};
  SendArea* sendArea_ = nullptr;
  ReceiveArea* receiveArea_ = nullptr;
  MaintenanceCommands* maintenance_ = nullptr;
  TFormEepromNormalUser* zUserEditor_ = nullptr;
  TFormEepromNormalUserEPL* eUserEditor_ = nullptr;
  TFormStatus* statusWindow_ = nullptr;
  QLabel* statusWorst_ = nullptr;

 public:
  QAction* m_keepPages = nullptr;
  DeskKeeper* desk() const { return desk_; }
  SessionLogControl* sessionLog() const { return sessionLog_; }

 private:
  DeskKeeper* desk_ = nullptr;
  SessionLogControl* sessionLog_ = nullptr;
  LabelPreviewWindow* labelPreview_ = nullptr;
};

}  // namespace tw
