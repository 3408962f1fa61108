#include "params/Eeprom.h"

#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/Ini.h"
#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "params/ParamProtocol.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/RadioGroup.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

using factory::Control;
using factory::Kind;
using factory::Slots;

constexpr const char* kFormName = "FormEeprom";
constexpr const char* kIniFilter = "Ini Files(*.ini)|*.ini|All Files(*.*)|*.*";
constexpr QSize kDesignedClientSize{720, 513};
constexpr int kStatusPanelWidths[] = {350, 160, 150};
constexpr int kChoiceColumns = 6;
constexpr int kChoiceRowSpacing = 2;
constexpr int kEditDigits = 4;

struct ButtonSpec {
  QPushButton* TFormEeprom::*member;
  const char* name;
  const char* caption;
  void (TFormEeprom::*handler)();
};
const ButtonSpec kButtons[] = {
    {&TFormEeprom::btnReadPrint, "btnReadPrint", "读打印机", &TFormEeprom::btnReadPrintClick},
    {&TFormEeprom::btnSetPrint, "btnSetPrint", "更新配置", &TFormEeprom::btnSetPrintClick},
    {&TFormEeprom::btnReadFile, "btnReadFile", "读文件", &TFormEeprom::btnReadFileClick},
    {&TFormEeprom::btnWrintFile, "btnWrintFile", "写文件", &TFormEeprom::btnWrintFileClick},
};

// The buttons' designed places: width and left edges, for the Chinese interfaces and for English.
struct ButtonLayout {
  int width;
  int lefts[4];
};
constexpr ButtonLayout kChineseButtons{75, {180, 270, 380, 470}};
constexpr ButtonLayout kEnglishButtons{170, {20, 190, 360, 530}};
constexpr int kLeastButtonGap = 6;

QString AddressHint(int slot) {
  return QStringLiteral("地址:0x") + QStringLiteral("%1").arg(slot, 2, 16, QLatin1Char('0')).toUpper();
}

QString Name(const Control& control) { return QString::fromLatin1(control.name); }

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

// A message text of this window's section of the language file; `designed` when the key is missing.
QString FormText(const char* key, const QString& designed) {
  return LanguageText(LoadLanguageFile(CurrentLanguageFile()), kFormName, key, designed);
}

std::filesystem::path LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Shows the busy cursor until released or destroyed, so that it ends on every way out.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { Release(); }
  void Release() {
    if (active_) QApplication::restoreOverrideCursor();
    active_ = false;
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  bool active_ = true;
};

// Where each column begins when blocks of these heights are stacked in order into at most `columns`
// columns, with the tallest column as short as it can be.
std::vector<std::size_t> ColumnStarts(const std::vector<int>& heights, int columns) {
  if (heights.empty()) return {};
  for (int budget = *std::max_element(heights.begin(), heights.end());; ++budget) {
    std::vector<std::size_t> starts{0};
    int filled = 0;
    for (std::size_t i = 0; i < heights.size(); ++i) {
      if (filled + heights[i] > budget) {
        starts.push_back(i);
        filled = 0;
      }
      filled += heights[i];
    }
    if (static_cast<int>(starts.size()) <= columns) return starts;
  }
}

// Keeps the receive thread from taking the replies: clears its run flag and waits for its end.
void StopReceiving() {
  Receive_Thread::Stop();
  Receive_Thread::Join();
}

}  // namespace

TFormEeprom::TFormEeprom(QWidget* parent) : QDialog(parent) {
  setObjectName(QString::fromLatin1(kFormName));
  setWindowTitle(QStringLiteral("工厂参数设置"));
  setModal(true);
  BuildControls();
  FormCreate();
}

void TFormEeprom::BuildControls() {
  GroupBox1 = new QGroupBox(this);
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
  BuildChoicePage();
  BuildNumberPage();

  OpenEEPRomDialog =
      new TFileDialog(this, QStringLiteral("OpenEEPRomDialog"), TFileDialog::Mode::Open, QString::fromLatin1(kIniFilter));
  SaveEEpRomDialog =
      new TFileDialog(this, QStringLiteral("SaveEEpRomDialog"), TFileDialog::Mode::Save, QString::fromLatin1(kIniFilter));
  SaveEEpRomDialog->overwritePrompt = true;

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  for (std::size_t i = 0; i < statusPanels.size(); ++i) {
    statusPanels[i] = new QLabel(StatusBar1);
    statusPanels[i]->setMinimumWidth(kStatusPanelWidths[i]);
    StatusBar1->addWidget(statusPanels[i], i + 1 == statusPanels.size() ? 1 : 0);
  }
  statusPanels[0]->setText(QStringLiteral("端口名称:"));

  auto* form = new QVBoxLayout(this);
  form->addWidget(GroupBox1, 1);
  BuildButtons();
  form->addLayout(buttonRow_);
  form->addWidget(StatusBar1);
}

void TFormEeprom::BuildChoicePage() {
  // The radio groups stacked in columns in table order; hidden ones take no place.
  std::vector<TRadioGroup*> shown;
  std::vector<int> heights;  // in entry rows, the title counted as one
  for (const factory::Slot& slot : Slots()) {
    for (const Control& control : slot.controls) {
      if (control.kind != Kind::Choice) continue;
      auto* group = new TRadioGroup(TabSheet3, control.columns);
      group->setObjectName(Name(control));
      group->setTitle(QString::fromUtf8(control.caption));
      QStringList items;
      for (const char* item : control.items) items << QString::fromUtf8(item);
      group->setItems(items);
      group->setItemIndex(0);
      group->setToolTip(AddressHint(slot.number));
      group->setEnabled(!control.disabled);
      static_cast<QGridLayout*>(group->layout())->setVerticalSpacing(kChoiceRowSpacing);
      // Choosing an entry gives up the bits that a printer read held for the group.
      const std::string name = control.name;
      connect(group, &TRadioGroup::clicked, this, [this, name] { values_.held.erase(name); });
      groups_[group->objectName()] = group;
      if (control.hidden) {
        group->hide();
        continue;
      }
      shown.push_back(group);
      heights.push_back((control.ItemCount() + control.columns - 1) / control.columns + 1);
    }
  }
  const std::vector<std::size_t> starts = ColumnStarts(heights, kChoiceColumns);
  auto* row = new QHBoxLayout(TabSheet3);
  QVBoxLayout* column = nullptr;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (std::find(starts.begin(), starts.end(), i) != starts.end()) {
      if (column) column->addStretch(1);
      column = new QVBoxLayout;
      row->addLayout(column);
    }
    column->addWidget(shown[i]);
  }
  if (column) column->addStretch(1);
}

void TFormEeprom::BuildNumberPage() {
  // The edits in two columns of label and field, in table order, the first half on the left.
  auto* grid = new QGridLayout(TabSheet12);
  std::vector<std::pair<QLabel*, QLineEdit*>> lines;
  const auto hexValidator =
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,4}")), this);
  for (const factory::Slot& slot : Slots()) {
    for (const Control& control : slot.controls) {
      if (control.kind != Kind::HexEdit) continue;
      auto* edit = new QLineEdit(TabSheet12);
      edit->setObjectName(Name(control));
      // Four digits at most, typed or pasted: a longer text has no place in a 16-bit word.
      edit->setMaxLength(kEditDigits);
      edit->setValidator(hexValidator);
      edit->installEventFilter(this);
      edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(kEditDigits + 2, u'0')) + 12);
      auto* label = new QLabel(QString::fromUtf8(control.caption), TabSheet12);
      label->setObjectName(QStringLiteral("Label_") + edit->objectName());
      label->setToolTip(AddressHint(slot.number));
      label->setBuddy(edit);
      edits_[edit->objectName()] = edit;
      editLabels_[edit->objectName()] = label;
      if (control.hidden) {
        edit->hide();
        label->hide();
        continue;
      }
      lines.emplace_back(label, edit);
    }
  }
  const int perColumn = static_cast<int>((lines.size() + 1) / 2);
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    const int column = (i / perColumn) * 3;
    grid->addWidget(lines[i].first, i % perColumn, column);
    grid->addWidget(lines[i].second, i % perColumn, column + 1);
  }
  grid->setColumnMinimumWidth(2, 16);
  grid->setColumnStretch(2, 1);
  grid->setColumnStretch(5, 1);
  grid->setRowStretch(perColumn, 1);
}

void TFormEeprom::BuildButtons() {
  buttonRow_ = new QHBoxLayout;
  for (const ButtonSpec& row : kButtons) {
    auto* button = new QPushButton(QString::fromUtf8(row.caption), this);
    button->setObjectName(QString::fromLatin1(row.name));
    button->setAutoDefault(false);  // Enter in an edit must not read or write the printer
    connect(button, &QPushButton::clicked, this, row.handler);
    this->*row.member = button;
  }
  btnSetPrint->setEnabled(false);
  btnWrintFile->setEnabled(false);
}

void TFormEeprom::LayOutButtons() {
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

void TFormEeprom::FitWindowToContents() {
  // At least the designed client area; larger where the texts of the language need it.
  layout()->activate();
  setFixedSize(layout()->totalSizeHint().expandedTo(kDesignedClientSize));
}

QLineEdit* TFormEeprom::Edit(const QString& name) const {
  const auto found = edits_.find(name);
  return found == edits_.end() ? nullptr : found->second;
}

TRadioGroup* TFormEeprom::Group(const QString& name) const {
  const auto found = groups_.find(name);
  return found == groups_.end() ? nullptr : found->second;
}

QLabel* TFormEeprom::EditLabel(const QString& editName) const {
  const auto found = editLabels_.find(editName);
  return found == editLabels_.end() ? nullptr : found->second;
}

// ---- Life cycle ----

void TFormEeprom::FormCreate() { PageControl1->setCurrentIndex(0); }

void TFormEeprom::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;  // a window restored by the window system is not a new showing
  FormShow();
  if (QWidget* owner = parentWidget()) {
    move(owner->window()->frameGeometry().center() - (frameGeometry().center() - pos()));
  }
}

void TFormEeprom::FormShow() {
  Receive_Thread::Stop();
  InitDialog();
  const LinkState::Text portName =
      Link().currentKind == PortKind::Serial ? LinkState::Text::SerialDisplayName : LinkState::Text::LinkName;
  statusPanels[0]->setText(Tip("PortName") + QString::fromStdString(Link().Get(portName)));
  // Nothing can be read through the spooler.
  if (Link().currentKind == PortKind::Spooler) btnReadPrint->setEnabled(false);
}

void TFormEeprom::InitDialog() {
  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QString::fromLatin1(kFormName));
  LayOutButtons();
  FitWindowToContents();
}

void TFormEeprom::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    FormShortCut();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TFormEeprom::FormShortCut() { OpenHelp(CurrentLanguage()); }

bool TFormEeprom::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
    return !edtLABEL_LENGTHKeyPress(static_cast<QKeyEvent*>(event));
  }
  return QDialog::eventFilter(watched, event);
}

// Digits, A-F and a-f pass, any other character is dropped with a beep. Backspace and the
// navigation keys type no character and pass.
bool TFormEeprom::edtLABEL_LENGTHKeyPress(QKeyEvent* event) {
  const std::optional<QString> typed = TypedText(event);
  if (typed && !std::all_of(typed->begin(), typed->end(), IsHexDigitChar)) {
    Beep();
    return false;
  }
  return true;
}

// ---- Controls and values ----

void TFormEeprom::CollectControls() {
  for (const auto& [name, edit] : edits_) values_.texts[name.toStdString()] = edit->text().toStdString();
  for (const auto& [name, group] : groups_) values_.positions[name.toStdString()] = group->itemIndex();
}

void TFormEeprom::ShowValues() {
  for (const auto& [name, text] : values_.texts) {
    if (QLineEdit* edit = Edit(QString::fromStdString(name))) edit->setText(QString::fromStdString(text));
  }
  for (const auto& [name, position] : values_.positions) {
    if (TRadioGroup* group = Group(QString::fromStdString(name))) {
      const QSignalBlocker quiet(group);  // not the user's choice: the held bits stay
      group->setItemIndex(position);
    }
  }
}

void TFormEeprom::ShowBox(const QString& text, MsgIcon icon) { ShowMessageQ(text, windowTitle(), icon); }

void TFormEeprom::ShowFail(int code) {
  if (code == 1) {
    ShowBox(Tip("ReadFail"));
    btnReadPrint->setEnabled(true);
  } else {
    ShowBox(Tip("UpdateFail"));
    btnSetPrint->setEnabled(true);
  }
}

void TFormEeprom::RefuseWrite(const factory::Refusal& refusal) {
  const QString name = QString::fromStdString(refusal.control);
  if (refusal.reason == factory::Refusal::Reason::NoChoice) {
    TRadioGroup* group = Group(name);
    ShowBox(FormText("NoChoice", QStringLiteral("请为“%1”选择一项。没有向打印机写入任何参数。"))
                .arg(group ? group->title() : name),
            MsgIcon::Error);
    PageControl1->setCurrentWidget(TabSheet3);
    return;
  }
  const QLabel* label = EditLabel(name);
  QString what = label ? label->text() : name;
  while (what.endsWith(u':') || what.endsWith(u'：')) what.chop(1);
  ShowBox(FormText("BadHexValue",
                   QStringLiteral("“%1”的值“%2”无效：请输入0到%3之间的十六进制数。没有向打印机写入任何参数。"))
              .arg(what.trimmed(), QString::fromStdString(refusal.text), QString::number(refusal.limit, 16).toUpper()),
          MsgIcon::Error);
  if (QLineEdit* edit = Edit(name); edit && !edit->isHidden()) {
    PageControl1->setCurrentWidget(TabSheet12);
    edit->setFocus();
    edit->selectAll();
  }
}

// ---- Reading and writing the printer ----

void TFormEeprom::btnReadPrintClick() {
  if (!Link().open) {
    ShowBox(Tip("NotOpenPortMessageBox"));
    return;
  }
  btnReadPrint->setEnabled(false);
  StopReceiving();
  BusyCursor busy;
  CollectControls();
  DiscardPendingInput();  // stale input would be taken for the first slot's reply
  for (const factory::Slot& slot : Slots()) {
    const std::optional<std::string> reply = ReadParameterSlot(slot.readAddress);
    if (!reply || !factory::TakeSlotReply(slot, *reply, values_)) {
      ShowValues();  // the slots read so far keep their new values
      busy.Release();
      ShowFail(1);
      return;
    }
  }
  ShowValues();
  busy.Release();
  ShowBox(Tip("ReadFinish"));
  btnReadPrint->setEnabled(true);
  btnSetPrint->setEnabled(true);
  btnWrintFile->setEnabled(true);
}

bool TFormEeprom::CloseCommedCheck(bool flag) {
  DiscardPendingInput();
  if (flag) SendToPrinter(kCheckModeSetup);
  SendToPrinter(flag ? kCheckModeOn : kCheckModeOff);
  return true;
}

void TFormEeprom::btnSetPrintClick() {
  // Every value is built before anything is sent: a refused entry must not leave the printer
  // half written or in check mode.
  CollectControls();
  std::vector<std::string> words;
  for (const factory::Slot& slot : Slots()) {
    auto built = factory::SlotValueToWrite(slot, values_);
    if (const auto* refusal = std::get_if<factory::Refusal>(&built)) {
      RefuseWrite(*refusal);
      return;
    }
    words.push_back(std::get<std::string>(std::move(built)));
  }

  StopReceiving();
  BusyCursor busy;
  CloseCommedCheck(true);
  btnSetPrint->setEnabled(false);
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (!WriteParameterSlot(Slots()[i].writeAddress, words[i])) {
      busy.Release();
      ShowFail(2);
      return;
    }
  }
  if (!SendToPrinter(kStoreParameters)) {
    busy.Release();
    ShowFail(2);
    return;
  }
  CloseCommedCheck(false);
  Pause(pace::kAfterFactoryWrite);
  busy.Release();
  ShowBox(Tip("UpdateFinish"));
  btnSetPrint->setEnabled(true);
}

// ---- Parameter files ----

void TFormEeprom::btnReadFileClick() {
  if (!Link().open) {
    ShowBox(Tip("NotOpenPortMessageBox"));
    return;
  }
  const QString path = OpenEEPRomDialog->Execute(this);
  if (path.isEmpty()) return;
  CollectControls();
  const factory::IniLoadReport report = factory::LoadParameterFile(LocalPath(path), values_);
  switch (report.status) {
    case factory::IniLoadReport::Status::CannotOpen:
      ShowBox(Tip("NotOpenFileMessageBox") + u'"' + path + u'"', MsgIcon::Error);
      return;
    case factory::IniLoadReport::Status::NoParameters:
      ShowBox(FormText("IniNoParameters", QStringLiteral("文件“%1”中没有任何参数，未读入。")).arg(path),
              MsgIcon::Warning);
      return;
    case factory::IniLoadReport::Status::Loaded: break;
  }
  ShowValues();
  btnSetPrint->setEnabled(true);
  btnWrintFile->setEnabled(true);
  if (!report.rejectedKeys.empty()) {
    QStringList keys;
    for (const std::string& key : report.rejectedKeys) keys << QString::fromStdString(key);
    ShowBox(FormText("IniBadValues", QStringLiteral("文件中以下参数的值无效，这些参数保持不变：%1"))
                .arg(keys.join(QStringLiteral(", "))),
            MsgIcon::Warning);
  }
}

void TFormEeprom::btnWrintFileClick() {
  int filterIndex = 1;
  const QString chosen = SaveEEpRomDialog->Execute(this, &filterIndex);
  if (chosen.isEmpty()) return;
  const QString path = QString::fromStdString(factory::ParameterFileName(chosen.toStdString(), filterIndex));
  CollectControls();
  try {
    factory::SaveParameterFile(LocalPath(path), values_);
  } catch (const IniWriteError&) {
    ShowBox(Tip("FileWriteFail") + u'"' + path + u'"', MsgIcon::Error);
  }
}

}  // namespace tw
