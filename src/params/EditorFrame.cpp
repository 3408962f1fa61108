// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/EditorFrame.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QScreen>
#include <QScrollArea>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/RadioGroup.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

constexpr QSize kDesignedClientSize{720, 513};
// The window system's frame around the window: borders and the title bar.
constexpr QSize kWindowFrame{16, 40};

struct ButtonSpec {
  QPushButton* EditorFrame::*member;
  const char* name;
  const char* caption;
};
const ButtonSpec kButtons[] = {
    {&EditorFrame::btnReadPrint, "btnReadPrint", "读打印机"},
    {&EditorFrame::btnSetPrint, "btnSetPrint", "更新配置"},
    {&EditorFrame::btnReadFile, "btnReadFile", "读文件"},
    {&EditorFrame::btnWrintFile, "btnWrintFile", "写文件"},
};

// The buttons' designed places: width and left edges, for the Chinese interfaces and for English.
struct ButtonLayout {
  int width;
  int lefts[4];
};
constexpr ButtonLayout kChineseButtons{75, {180, 270, 380, 470}};
constexpr ButtonLayout kEnglishButtons{170, {20, 190, 360, 530}};
constexpr int kLeastButtonGap = 6;

bool IsHexDigitChar(QChar c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// The text a key press types, or nothing for keys that type no character (navigation, editing keys
// such as Backspace and Delete, shortcuts): those reach the edit unfiltered.
std::optional<QString> TypedText(const QKeyEvent* event) {
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return std::nullopt;
  const QString text = event->text();
  if (text.isEmpty() || text[0] < u' ' || text[0] == u'\x7f') return std::nullopt;
  return text;
}

template <typename Control>
Control* Find(const std::map<QString, Control*>& controls, const QString& name) {
  const auto found = controls.find(name);
  return found == controls.end() ? nullptr : found->second;
}

}  // namespace

EditorFrame::EditorFrame(QWidget* window, const char* formName) : window_(window), formName_(formName) {
  window_->setObjectName(QString::fromLatin1(formName_));
}

// ---- Building ----

void EditorFrame::BuildPages() {
  GroupBox1 = new QGroupBox(window_);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  PageControl1 = new QTabWidget(GroupBox1);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  TabSheet3 = new QWidget;
  TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
  TabSheet12 = new QWidget;
  TabSheet12->setObjectName(QStringLiteral("TabSheet12"));
  PageControl1->addTab(TabSheet3, QStringLiteral("常用设置"));
  PageControl1->addTab(TabSheet12, QStringLiteral("机器特性设置"));
  (new QVBoxLayout(GroupBox1))->addWidget(PageControl1);
}

void EditorFrame::BuildFileDialogs(const char* filter) {
  OpenEEPRomDialog =
      new TFileDialog(window_, QStringLiteral("OpenEEPRomDialog"), TFileDialog::Mode::Open, QString::fromLatin1(filter));
  SaveEEpRomDialog =
      new TFileDialog(window_, QStringLiteral("SaveEEpRomDialog"), TFileDialog::Mode::Save, QString::fromLatin1(filter));
  SaveEEpRomDialog->overwritePrompt = true;
}

void EditorFrame::BuildStatusBar(const std::array<int, 3>& panelWidths) {
  StatusBar1 = new QStatusBar(window_);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  for (std::size_t i = 0; i < statusPanels.size(); ++i) {
    statusPanels[i] = new QLabel(StatusBar1);
    statusPanels[i]->setMinimumWidth(panelWidths[i]);
    StatusBar1->addWidget(statusPanels[i], i + 1 == statusPanels.size() ? 1 : 0);
  }
  statusPanels[0]->setText(QStringLiteral("端口名称:"));
}

void EditorFrame::BuildFormLayout() {
  auto* form = new QVBoxLayout(window_);
  pageScroll_ = new QScrollArea(window_);
  pageScroll_->setFrameShape(QFrame::NoFrame);
  pageScroll_->setWidgetResizable(true);
  pageScroll_->setWidget(GroupBox1);
  form->addWidget(pageScroll_, 1);
  BuildButtons();
  form->addLayout(buttonRow_);
  form->addWidget(StatusBar1);
}

void EditorFrame::BuildButtons() {
  buttonRow_ = new QHBoxLayout;
  for (const ButtonSpec& row : kButtons) {
    auto* button = new QPushButton(QString::fromUtf8(row.caption), window_);
    button->setObjectName(QString::fromLatin1(row.name));
    // Enter in an edit must not read or write the printer (only a dialog has default buttons).
    button->setAutoDefault(false);
    this->*row.member = button;
  }
}

TRadioGroup* EditorFrame::AddRadioGroup(QWidget* page, const char* name, const char* caption,
                                        const std::vector<const char*>& items, int columns) {
  auto* group = new TRadioGroup(page, columns);
  group->setObjectName(QString::fromLatin1(name));
  group->setTitle(QString::fromUtf8(caption));
  QStringList texts;
  for (const char* item : items) texts << QString::fromUtf8(item);
  group->setItems(texts);
  groups_[group->objectName()] = group;
  return group;
}

QLineEdit* EditorFrame::AddEdit(QWidget* page, const char* name, int digits) {
  auto* edit = new QLineEdit(page);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setMaxLength(digits);
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(digits + 2, u'0')) + 12);
  edits_[edit->objectName()] = edit;
  return edit;
}

QLabel* EditorFrame::NewEditLabel(QLineEdit* edit, const char* caption, const QString& hint) {
  auto* label = new QLabel(QString::fromUtf8(caption), edit->parentWidget());
  label->setObjectName(QStringLiteral("Label_") + edit->objectName());
  if (!hint.isEmpty()) label->setToolTip(hint);
  label->setBuddy(edit);
  return label;
}

QValidator* EditorFrame::NewHexValidator() {
  return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,4}")), window_);
}

QLineEdit* EditorFrame::Edit(const QString& name) const { return Find(edits_, name); }

TRadioGroup* EditorFrame::Group(const QString& name) const { return Find(groups_, name); }

QLabel* EditorFrame::EditLabel(const QString& editName) const { return Find(editLabels_, editName); }

// ---- Life cycle ----

void EditorFrame::Relabel() {
  TChangeLan().Relabel(window_, CurrentLanguageFile(), QStringLiteral("None"), QString::fromLatin1(formName_));
}

void EditorFrame::FitToTexts() {
  LayOutButtons();
  FitWindowToContents();
}

void EditorFrame::LayOutButtons() {
  // The designed places, widened where the texts need more; the gaps keep the designed rhythm.
  const ButtonLayout& design = CurrentLanguage() == kLanguageEnglish ? kEnglishButtons : kChineseButtons;
  while (QLayoutItem* item = buttonRow_->takeAt(0)) delete item;
  buttonRow_->addSpacing(design.lefts[0]);
  for (std::size_t i = 0; i < std::size(kButtons); ++i) {
    QPushButton* button = this->*kButtons[i].member;
    button->setMinimumWidth(std::max(design.width, button->sizeHint().width()));
    if (i > 0) buttonRow_->addSpacing(std::max(kLeastButtonGap, design.lefts[i] - design.lefts[i - 1] - design.width));
    buttonRow_->addWidget(button);
  }
  buttonRow_->addStretch(1);
}

void EditorFrame::FitWindowToContents() {
  const QScreen* screen = window_->screen();
  FitWindowInto(screen ? screen->availableGeometry().size() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

void EditorFrame::FitWindowInto(QSize available) {
  // The pages get their full size unless the screen is smaller; then they scroll.
  const QSize pages = GroupBox1->sizeHint();
  pageScroll_->setFixedSize(pages);
  window_->layout()->activate();
  const QSize around = window_->layout()->totalSizeHint() - pages + kWindowFrame;
  const QSize room = available - around;
  const int bar = pageScroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const QSize bars(pages.height() > room.height() ? bar : 0, pages.width() > room.width() ? bar : 0);
  pageScroll_->setFixedSize((pages + bars).boundedTo(room));
  // At least the designed client area; larger where the texts of the language need it.
  window_->layout()->activate();
  window_->setFixedSize(window_->layout()->totalSizeHint().expandedTo(kDesignedClientSize));
}

bool EditorFrame::HandleHelpKey(const QKeyEvent* event) {
  if (event->key() != Qt::Key_F1) return false;
  FormShortCut();
  return true;
}

void EditorFrame::FormShortCut() { OpenHelp(CurrentLanguage()); }

bool EditorFrame::AcceptHexKey(const QKeyEvent* event) {
  const std::optional<QString> typed = TypedText(event);
  if (typed && !std::all_of(typed->begin(), typed->end(), IsHexDigitChar)) {
    Beep();
    return false;
  }
  return true;
}

// ---- Messages ----

void EditorFrame::ShowBox(const QString& text, MsgIcon icon) { ShowMessageQ(text, window_->windowTitle(), icon); }

QString EditorFrame::FormText(const char* key, const QString& designed) const {
  return LanguageText(LoadLanguageFile(CurrentLanguageFile()), formName_, key, designed);
}

void EditorFrame::ShowFail(int code) {
  if (code == 1) {
    ShowBox(Tip("ReadFail"));
    btnReadPrint->setEnabled(true);
  } else {
    ShowBox(Tip("UpdateFail"));
    btnSetPrint->setEnabled(true);
  }
}

bool EditorFrame::RequirePortOpen() {
  if (Link().open) return true;
  ShowBox(Tip("NotOpenPortMessageBox"));
  return false;
}

void EditorFrame::ShowReadFinished() {
  ShowBox(Tip("ReadFinish"));
  btnReadPrint->setEnabled(true);
  btnSetPrint->setEnabled(true);
  btnWrintFile->setEnabled(true);
}

QString EditorFrame::OpenPortName() {
  // Nothing once a reset or a download has closed the link.
  if (!Link().open) return {};
  const LinkState::Text name =
      Link().currentKind == PortKind::Serial ? LinkState::Text::SerialDisplayName : LinkState::Text::LinkName;
  return QString::fromStdString(Link().Get(name));
}

// ---- The receive thread ----

void EditorFrame::StopReceiving() {
  Receive_Thread::Stop();
  Receive_Thread::Join();
}

}  // namespace tw
