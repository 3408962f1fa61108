// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTime>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/DeskKeeper.h"
#include "app/LabelPreviewWindow.h"
#include "app/FleetForm.h"
#include "app/MaintenanceCommands.h"
#include "app/SessionLogControl.h"
#include "app/ReceiveArea.h"
#include "app/SendArea.h"
#include "app/StatusWindow.h"
#include "link/DataTransfer.h"
#include "about/AboutBox.h"
#include "download/DownLoad.h"
#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "params/EepromSetNormalUser.h"
#include "params/EepromSetNormalUserEPL.h"
#include "params/Password.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "portset/CommandSet.h"
#include "portset/ConnectProcedure.h"
#include "portset/PortInfo.h"
#include "core/AppPaths.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/JobPanel.h"
#include "widgets/Ui.h"
#include "wizards/SetPrinter.h"
#include "wizards/SetPrinterEPL.h"

// The icons are compiled into this static library; its resources must be registered by hand.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace tw {
namespace {

namespace pace_main {
inline constexpr PaceStep kPortDialogPause{"wait after stopping the receive thread for the port dialog", 100};
inline constexpr PaceStep kSetupWizardPause{"wait after stopping the receive thread for a setup wizard", 500};
inline constexpr PaceStep kAfterExitClose{"wait after closing the port at exit", 100};
}  // namespace pace_main

constexpr int kMemoSendLimit = 262144;

QAction* AddAction(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {}) {
  auto* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  return action;
}

QMenu* AddMenu(QWidget* owner, QMenuBar* bar, const char* name, const QString& caption) {
  auto* menu = new QMenu(caption, owner);
  menu->setObjectName(QString::fromLatin1(name));
  menu->setToolTipsVisible(true);  // the items' hints, which the status bar does not show
  bar->addMenu(menu);
  return menu;
}

template <typename T>
T* Named(T* object, const char* name) {
  object->setObjectName(QString::fromLatin1(name));
  return object;
}

}  // namespace

TMainForm::TMainForm(QWidget* parent, int langId) : QMainWindow(parent), langId_(langId < 0 ? SystemLangId() : langId) {
  setObjectName("MainForm");
  setWindowTitle(kApplicationTitle);
  QFont font("Arial");
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  BuildMenus();
  BuildToolBar();
  BuildAreas();
  BuildStatusBar();
  WireAreas();
  Link().open = false;
  // The command set of the last port choice until the port dialog sets it: the title, the wizards
  // and the editors then agree from the start.
  SetCommandSetIsZ(ReadPortChoice(PortInfoPath()).commandSet != 1);
  btnBackPage->setEnabled(false);

  Timer1 = Named(new QTimer(this), "Timer1");
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TMainForm::UpdateClock);
  Timer1->start();

  // Chunks come from the receive thread; the queued connection inserts them in the UI thread, in
  // the order they arrived.
  connect(this, &TMainForm::chunkReceived, this, &TMainForm::InsertReceivedChunk, Qt::QueuedConnection);

  // The client area opens at its designed size; the user may resize it, and the desk remembers it.
  resize(714, 561 + menuBar()->sizeHint().height());
  BuildDesk();
}

void TMainForm::BuildDesk() {
  m_keepPages = new QAction(QStringLiteral("保留发送页"), this);
  m_keepPages->setObjectName(QStringLiteral("m_keepPages"));
  N12->insertAction(m_exit, m_keepPages);
  N12->insertSeparator(m_exit);
  desk_ = new DeskKeeper(this, Splitter1, sendArea_, m_keepPages);
  desk_->RestoreLayout();
  sessionLog_ = new SessionLogControl(this, N1);
}

void TMainForm::UpdateTitle() {
  setWindowTitle(QStringLiteral("Tagwright(%1)").arg(CommandSetIsZ() ? QStringLiteral("WVLZ") : QStringLiteral("WVLE")));
}

TMainForm::~TMainForm() {
  StopReceiving();
  Receive_Thread::Join();
}

void TMainForm::BuildMenus() {
  QMenuBar* bar = menuBar();
  N12 = AddMenu(this, bar, "N12", "文件(&F)");
  m_open = AddAction(N12, "m_open", "打开", QKeySequence("Ctrl+O"));
  m_save = AddAction(N12, "m_save", "保存", QKeySequence("Ctrl+S"));
  m_saveAs = AddAction(N12, "m_saveAs", "另存为");
  m_exit = AddAction(N12, "m_exit", "退出", QKeySequence("Ctrl+Q"));

  N1 = AddMenu(this, bar, "N1", "通讯/调测(&S)");
  m_portSet = AddAction(N1, "m_portSet", "端口设置", QKeySequence("Ctrl+M"));

  N2 = AddMenu(this, bar, "N2", "工具(&T)");
  N15 = AddAction(N2, "N15", "设置打印机");
  m_downFile = AddAction(N2, "m_downFile", "下载文件", QKeySequence("Ctrl+D"));
  m_printmemory = AddAction(N2, "m_printmemory", "打印存储器信息");
  m_printcheck = AddAction(N2, "m_printcheck", "打印自检页");
  m_version = AddAction(N2, "m_version", "查询版本号");
  m_resert = AddAction(N2, "m_resert", "复位", QKeySequence("Ctrl+R"));
  N16 = AddAction(N2, "N16", "格式化存储器");
  m_deviceSet = AddAction(N2, "m_deviceSet", "设备配置", QKeySequence("Ctrl+N"));
  m_printerList = AddAction(N2, "m_printerList", "打印机列表");
  m_status = AddAction(N2, "m_status", "打印机状态");

  N7 = AddMenu(this, bar, "N7", "帮助(&H)");
  m_help = AddAction(N7, "m_help", "帮助系统", QKeySequence(Qt::Key_F1));
  N10 = Named(new QMenu("语言", this), "N10");
  N10->setToolTipsVisible(true);
  N7->addMenu(N10);
  N13 = AddAction(N10, "N13", "Chinese(Simple)");
  N14 = AddAction(N10, "N14", "Chinese(Traditional)");
  English1 = AddAction(N10, "English1", "English");
  for (QAction* item : {N13, N14, English1}) item->setCheckable(true);
  English1->setChecked(true);
  m_about = AddAction(N7, "m_about", "关于...");

  connect(m_exit, &QAction::triggered, this, &QWidget::close);
  connect(m_portSet, &QAction::triggered, this, &TMainForm::OpenPortSettings);
  connect(N15, &QAction::triggered, this, &TMainForm::OpenSetupWizard);
  connect(m_downFile, &QAction::triggered, this, &TMainForm::OpenDownload);
  connect(m_deviceSet, &QAction::triggered, this, &TMainForm::OpenDeviceSettings);
  // The printer list window works over its own network connections, beside the link of this window.
  connect(m_printerList, &QAction::triggered, this, [this] {
    auto* window = new TFleetForm(this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
  });
  connect(m_status, &QAction::triggered, this, &TMainForm::OpenStatusWindow);
  connect(m_help, &QAction::triggered, this, [] { OpenHelp(CurrentLanguage()); });
  const QAction* languages[] = {N13, N14, English1};
  for (int index = 0; index < 3; ++index) {
    connect(languages[index], &QAction::triggered, this, [this, index] { ChangeLanguage(index); });
  }
  m_preview = AddAction(N2, "m_preview", "标签预览", QKeySequence("Ctrl+L"));
  connect(m_preview, &QAction::triggered, this, &TMainForm::OpenLabelPreview);
  connect(m_about, &QAction::triggered, this, [this] {
    TAboutBox box(this);
    box.exec();
  });

}

void TMainForm::BuildToolBar() {
  InitIconResources();
  ToolBar1 = Named(new QToolBar(this), "ToolBar1");
  ToolBar1->setMovable(false);
  ToolBar1->setIconSize(QSize(32, 32));
  addToolBar(ToolBar1);
  struct ToolRow {
    QToolButton** button;
    const char* name;
    const char* themeIcon;
    const char* fallbackIcon;
    const char* hint;
    QAction* runs;
    bool separatorAfter;
  };
  const ToolRow rows[] = {
      {&Tb_open, "Tb_open", "document-open", ":/icons/open.png", "打开", m_open, false},
      {&Tb_Save, "Tb_Save", "document-save", ":/icons/save.png", "保存", m_save, true},
      {&Tb_PortSet, "Tb_PortSet", "network-wired", ":/icons/portset.png", "端口设置", m_portSet, false},
      {&btnSetPrinter, "btnSetPrinter", "printer", ":/icons/printer.png", "设置打印机", N15, false},
      {&TbDownLoad, "TbDownLoad", "go-down", ":/icons/download.png", "下载文件", m_downFile, false},
      {&btnStatus, "btnStatus", "dialog-information", ":/icons/status.png", "打印机状态", m_status, false},
      {&btnTestPage, "btnTestPage", "document-print", ":/icons/testpage.png", "打印自检页", m_printcheck, true},
      {&btnHelpFile, "btnHelpFile", "help-browser", ":/icons/help.png", "帮助", m_help, false},
  };
  for (const ToolRow& row : rows) {
    auto* button = Named(new QToolButton(ToolBar1), row.name);
    button->setIcon(QIcon::fromTheme(row.themeIcon, QIcon(row.fallbackIcon)));
    button->setIconSize(QSize(32, 32));
    button->setToolTip(QString::fromUtf8(row.hint));
    button->setAutoRaise(true);
    connect(button, &QToolButton::clicked, row.runs, &QAction::trigger);
    ToolBar1->addWidget(button);
    if (row.separatorAfter) ToolBar1->addSeparator();
    *row.button = button;
  }
  TbDownLoad->setText("发送");
}

void TMainForm::BuildAreas() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  Splitter1 = Named(new QSplitter(Qt::Vertical, central), "Splitter1");
  Splitter1->setHandleWidth(2);
  Splitter1->setChildrenCollapsible(false);

  // One side of the splitter: a header panel with its row of controls above a panel with the memo.
  struct Side {
    QWidget* side;
    QWidget* header;
    QHBoxLayout* row;
    QPlainTextEdit* memo;
  };
  auto makeSide = [this](const char* headerName, const char* memoPanelName, const char* memoName) {
    auto* side = new QWidget(Splitter1);
    side->setMinimumHeight(50);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->setSpacing(0);
    auto* header = Named(new QWidget(side), headerName);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(6, 3, 6, 3);
    auto* memoPanel = Named(new QWidget(side), memoPanelName);
    auto* memoLayout = new QVBoxLayout(memoPanel);
    memoLayout->setContentsMargins(0, 0, 0, 0);
    auto* memo = Named(new QPlainTextEdit(memoPanel), memoName);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoLayout->addWidget(memo);
    sideLayout->addWidget(header);
    sideLayout->addWidget(memoPanel, 1);
    return Side{side, header, row, memo};
  };

  // Send area: Panel3 (header) and Panel1 (the memo).
  const Side send = makeSide("Panel3", "Panel1", "MemoSend");
  MemoSend = send.memo;
  Label1 = Named(new QLabel("发送区域", send.header), "Label1");
  showPage = Named(new QLabel(send.header), "showPage");
  Cb_ShowHex = Named(new QCheckBox("16进制显示", send.header), "Cb_ShowHex");
  btnBackPage = Named(new QPushButton("前一页", send.header), "btnBackPage");
  btnNextPage = Named(new QPushButton("后一页", send.header), "btnNextPage");
  btnSend = Named(new QPushButton("发送", send.header), "btnSend");
  send.row->addWidget(Label1);
  send.row->addSpacing(12);
  send.row->addWidget(showPage);
  send.row->addStretch(1);
  for (QWidget* w : std::initializer_list<QWidget*>{Cb_ShowHex, btnBackPage, btnNextPage, btnSend}) {
    send.row->addWidget(w);
  }

  // Receive area: Panel4 (header) and Panel2 (the memo).
  const Side receive = makeSide("Panel4", "Panel2", "MemoRecive");
  MemoRecive = receive.memo;
  // A read-only memo still shows its caret, so that the user can choose where data lands.
  MemoRecive->setReadOnly(true);
  MemoRecive->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Label2 = Named(new QLabel("接收区域", receive.header), "Label2");
  Cb_ShowHex1 = Named(new QCheckBox("16进制显示", receive.header), "Cb_ShowHex1");
  Button9 = Named(new QPushButton("清空", receive.header), "Button9");
  B_ReceiveSave = Named(new QPushButton("保存", receive.header), "B_ReceiveSave");
  receive.row->addWidget(Label2);
  receive.row->addStretch(1);
  for (QWidget* w : std::initializer_list<QWidget*>{Cb_ShowHex1, Button9, B_ReceiveSave}) receive.row->addWidget(w);

  layout->addWidget(Splitter1);
  setCentralWidget(central);
  // The send area fills the rest above an even split.
  Splitter1->setSizes({280, 220});
}

void TMainForm::WireAreas() {
  const QString textFilter = QStringLiteral("文本文件(*.txt)|*.txt|所有文件(*.*)|*.*");
  OpenFileDialog = new TFileDialog(this, "OpenFileDialog", TFileDialog::Mode::Open, textFilter);
  SaveFileDialog = new TFileDialog(this, "SaveFileDialog", TFileDialog::Mode::Save, textFilter);
  ReceiveSD = new TFileDialog(this, "ReceiveSD", TFileDialog::Mode::Save, textFilter);

  sendArea_ = new SendArea({this, MemoSend, Cb_ShowHex, showPage, btnBackPage, btnNextPage, btnSend, OpenFileDialog,
                            SaveFileDialog},
                           this);
  sendArea_->onSendDone = [this] {
    if (!Receive_Thread::Running()) StartReceiving();
  };
  connect(Cb_ShowHex, &QCheckBox::clicked, sendArea_, &SendArea::Cb_ShowHexClick);
  connect(btnNextPage, &QPushButton::clicked, sendArea_, &SendArea::btnNextPageClick);
  connect(btnBackPage, &QPushButton::clicked, sendArea_, &SendArea::btnBackPageClick);
  connect(btnSend, &QPushButton::clicked, sendArea_, &SendArea::btnSendClick);
  connect(m_open, &QAction::triggered, sendArea_, &SendArea::m_openClick);
  connect(m_save, &QAction::triggered, sendArea_, &SendArea::m_saveClick);
  connect(m_saveAs, &QAction::triggered, sendArea_, &SendArea::m_saveAsClick);

  receiveArea_ = new ReceiveArea({this, MemoRecive, Cb_ShowHex1, Button9, B_ReceiveSave, ReceiveSD}, this);
  connect(Cb_ShowHex1, &QCheckBox::clicked, receiveArea_, &ReceiveArea::Cb_ShowHex1Click);
  connect(Button9, &QPushButton::clicked, receiveArea_, &ReceiveArea::Button9Click);
  connect(B_ReceiveSave, &QPushButton::clicked, receiveArea_, &ReceiveArea::B_ReceiveSaveClick);

  maintenance_ = new MaintenanceCommands(
      {[this](int panel, const QString& text) { SetStatusPanel(panel, text); }, [] { return Receive_Thread::Running(); },
       [this] { StopReceiving(); }, [this] { StartReceiving(); }},
      this);
  connect(m_resert, &QAction::triggered, maintenance_, &MaintenanceCommands::m_resertClick);
  connect(m_version, &QAction::triggered, maintenance_, &MaintenanceCommands::m_versionClick);
  connect(m_printcheck, &QAction::triggered, maintenance_, &MaintenanceCommands::m_printcheckClick);
  connect(m_printmemory, &QAction::triggered, maintenance_, &MaintenanceCommands::m_printmemoryClick);
  connect(N16, &QAction::triggered, maintenance_, &MaintenanceCommands::N16Click);

  // The editor's write ends with the printer's reset, reporting the update instead of the reset.
  const auto reset = [this](const char* /*successTextKey: always the update's*/) {
    maintenance_->ResetPrinter(MaintenanceCommands::kParameterWriteReset);
  };
  zUserEditor_ = new TFormEepromNormalUser(this, reset);
  eUserEditor_ = new TFormEepromNormalUserEPL(this, reset);
  // A user editor stops the receive thread for its exchanges; its closing gives the link back.
  zUserEditor_->installEventFilter(this);
  eUserEditor_->installEventFilter(this);
}

void TMainForm::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("MainStatusBar");
  bar->setSizeGripEnabled(true);
  const int widths[3] = {75, 450, 100};
  for (int i = 0; i < 3; ++i) {
    statusPanels_[i] = new QLabel(bar);
    statusPanels_[i]->setMinimumWidth(widths[i]);
    statusPanels_[i]->setFrameShape(QFrame::StyledPanel);
    bar->addWidget(statusPanels_[i], i == 1 ? 1 : 0);
  }
  statusPanels_[0]->setText("端口名称：");
}

void TMainForm::SetStatusPanel(int panel, const QString& text) {
  if (panel >= 0 && panel < 3) statusPanels_[panel]->setText(text);
}

QString TMainForm::StatusPanel(int panel) const {
  return panel >= 0 && panel < 3 ? statusPanels_[panel]->text() : QString();
}

void TMainForm::PortOpened() {
  m_version->setEnabled(true);
  btnSend->setEnabled(true);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  ChangeLanguage(LanguageForLangId(langId_));
  desk_->RestorePages();
  UpdateClock();
  // Typing goes into the send area from the start, not to the first tool button.
  MemoSend->setFocus(Qt::OtherFocusReason);
  StartReceiving();
}

bool TMainForm::event(QEvent* event) {
  switch (event->type()) {
    // Back from another window: whichever window paused the receive thread, it runs again.
    case QEvent::WindowActivate:
      if (shownOnce_) ResumeReceiving();
      break;
    // A menu item's hint would replace the three status panels while the menu is open; the menus
    // show their hints as tool tips instead.
    case QEvent::StatusTip: return true;
    default: break;
  }
  return QMainWindow::event(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Hide && (watched == zUserEditor_ || watched == eUserEditor_)) {
    // Queued: the editor counts as shown until its hiding is done.
    QMetaObject::invokeMethod(this, [this] {
      if (!UserEditorShown()) ResumeReceiving();
    }, Qt::QueuedConnection);
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ChangeLanguage(int index) {
  SetCurrentLanguage(index);
  UseQtTranslations(index);
  const QAction* items[] = {N13, N14, English1};
  for (int i = 0; i < 3; ++i) const_cast<QAction*>(items[i])->setChecked(i == index);
  ChangeControlLanguage();
}

void TMainForm::ChangeControlLanguage() {
  TChangeLan().Relabel(this, CurrentLanguageFile(), "None", "MainForm");
  UpdateTitle();
  LoadCatalogSection("Tips");
  sessionLog_->Relabel();
  showPage->setText(Tip("PageTotal"));
  // The port caption in the new language, still naming the port that is open.
  const PortStatusText port = StatusOfLink();
  SetStatusPanel(0, Tip("PortName") + QString::fromStdString(port.panel0Suffix));
  SetStatusPanel(1, QString::fromStdString(port.panel1));
  if (labelPreview_) labelPreview_->Relabel();
}

LabelPreviewWindow* TMainForm::OpenLabelPreview() {
  if (!labelPreview_) labelPreview_ = new LabelPreviewWindow(MemoSend, Cb_ShowHex, this);
  labelPreview_->show();
  labelPreview_->raise();
  labelPreview_->activateWindow();
  labelPreview_->Redraw();
  return labelPreview_;
}

void TMainForm::UpdateClock() { SetStatusPanel(2, Tip("Time") + QTime::currentTime().toString("hh:mm:ss")); }

void TMainForm::InsertReceivedChunk(const QByteArray& bytes) { receiveArea_->InsertChunk(bytes); }

void TMainForm::StartReceiving() {
  Receive_Thread::Start([this](const std::string& chunk) {
    emit chunkReceived(QByteArray(chunk.data(), static_cast<qsizetype>(chunk.size())));
  });
}

void TMainForm::StopReceiving() { Receive_Thread::Stop(); }

void TMainForm::ResumeReceiving() {
  // A modal window still open (a dialog, a message of one) may be reading replies itself, and an
  // exchange that claimed the link (a job or a status reading on its own thread) reads them too.
  if (!Receive_Thread::Running() && !QApplication::activeModalWidget() && !LinkExchangeClaimed()) StartReceiving();
}

TFormStatus* TMainForm::OpenStatusWindow() {
  if (!statusWindow_) {
    TFormStatus::Hooks hooks;
    // Emitted here, the chunk is queued behind those the receive thread has handed on.
    hooks.passOn = [this](const QByteArray& bytes) { emit chunkReceived(bytes); };
    hooks.resumeReceiving = [this] { ResumeReceiving(); };
    hooks.showWorst = [this](const QString& text) { ShowStatusWorst(text); };
    statusWindow_ = new TFormStatus(this, std::move(hooks));
  }
  const bool first = !statusWindow_->isVisible();
  statusWindow_->show();
  statusWindow_->raise();
  statusWindow_->activateWindow();
  if (first && Link().open) statusWindow_->Refresh();
  return statusWindow_;
}

void TMainForm::ShowStatusWorst(const QString& text) {
  if (!statusWorst_) {
    statusWorst_ = new QLabel(statusBar());
    statusWorst_->setObjectName("StatusWorst");
    statusWorst_->setFrameShape(QFrame::StyledPanel);
    statusBar()->insertWidget(2, statusWorst_);
  }
  statusWorst_->setText(text);
  statusWorst_->setVisible(!text.isEmpty());
  // The link panel gives up room while the watch's text is shown.
  statusPanels_[1]->setMinimumWidth(text.isEmpty() ? 450 : 220);
}

bool TMainForm::UserEditorShown() const { return zUserEditor_->isVisible() || eUserEditor_->isVisible(); }

void TMainForm::WithReceivePaused(PaceStep wait, const std::function<void()>& body) {
  // The port dialog and the wizard would change or use the link under another window's exchange.
  if (RefuseWhileLinkBusy(QString())) return;
  StopReceiving();
  Pause(wait);
  // A round that is still reading would take the reply to the window's first request.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  Receive_Thread::Join();
  QApplication::restoreOverrideCursor();
  body();
  if (!Receive_Thread::Running()) StartReceiving();
}

void TMainForm::OpenPortSettings() {
  WithReceivePaused(pace_main::kPortDialogPause, [this] {
    TSetPort dialog(this, this);
    dialog.exec();
  });
  UpdateTitle();
}

void TMainForm::OpenSetupWizard() {
  if (!Link().open) {
    ShowMessageQ(Tip("PortNotOpen"), QString());
    return;
  }
  WithReceivePaused(pace_main::kSetupWizardPause, [this] {
    if (CommandSetIsZ()) {
      TSetPrinter wizard(this);
      wizard.exec();
    } else {
      TSetPrinterEPL wizard(this);
      wizard.exec();
    }
  });
}

void TMainForm::OpenDownload() {
  if (!Link().open) {
    ShowMessageQ(Tip("PortNotOpen"), Tip("Download"));
    return;
  }
  if (RefuseWhileLinkBusy(Tip("Download"))) return;
  StopReceiving();
  // The dialog starts the receive thread after a download; a link closed by a font, firmware or
  // parameter file leaves the port panels empty.
  TDownDialog dialog(this, {[this] { StartReceiving(); },
                            [this] {
                              SetStatusPanel(0, Tip("PortName"));
                              SetStatusPanel(1, QString());
                            }});
  dialog.exec();
  if (!Receive_Thread::Running()) StartReceiving();
}

void TMainForm::OpenDeviceSettings() {
  if (!Link().open) {
    ShowMessageQ(Tip("NotOpenPortMessageBox"), Tip("NotOpenPortMessageBoxCaption"));
    return;
  }
  if (LinkExchangeClaimed()) {  // a status reading holds the link
    ShowMessageQ(Msg("Status", "LinkBusy"), QString());
    return;
  }
  // The password dialog, the factory editor and the user editors run their own exchanges.
  StopReceiving();
  TFormPasswordSet dialog(this, zUserEditor_, eUserEditor_);
  dialog.exec();
  // A user editor left open keeps the link until it closes or the main window is active again.
  if (!UserEditorShown()) ResumeReceiving();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A status reading is short and only reads: it is ended (its watch stopped) rather than refused.
  if (statusWindow_) statusWindow_->EndReading();
  // An editor's job holds the link: closing the port under it would break the exchange midway, so
  // the exit waits until it has ended.
  if (RefuseWhileLinkBusy(Tip("SureExit"))) {
    event->ignore();
    return;
  }
  // The question names what exiting loses: the data of the send and receive areas, when they hold any.
  QString question = Tip("ExitTip");
  // The pages are saved before the question, so that it can say so when they could not be.
  const bool pagesKept = m_keepPages->isChecked() && desk_->SavePages();
  if (sendArea_->HoldsText() && !pagesKept) question += u'\n' + Tip("ExitLosesSendData");
  if (!MemoRecive->document()->isEmpty()) question += u'\n' + Tip("ExitLosesReceivedData");
  if (ShowMessageQ(question, Tip("SureExit"), MsgIcon::None, MsgButtons::OkCancel) != MsgAnswer::Ok) {
    event->ignore();
    return;
  }
  Timer1->stop();
  StopReceiving();
  CloseCurrentPort(NetworkClose::AfterTransfer);  // the printer keeps what it took
  Pause(pace_main::kAfterExitClose);
  desk_->SaveAtExit();
  event->accept();
}

}  // namespace tw
