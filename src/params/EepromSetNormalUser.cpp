#include "params/EepromSetNormalUser.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <vector>

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

constexpr const char* kFormName = "FormEepromNormalUser";
constexpr const char* kDumpFilter = "Eep Files(*.eep)|*.eep|All Files(*.*)|*.*";
constexpr QSize kDesignedClientSize{720, 513};
constexpr int kStatusPanelWidths[] = {350, 160, 150};

// ---- The settings table ----

// Bits first to last of a slot word, both inclusive.
struct Bits {
  int first = 0;
  int last = 15;
  int Width() const { return last - first + 1; }
  uint16_t Mask() const { return static_cast<uint16_t>((1u << Width()) - 1u); }  // right-aligned
};
constexpr Bits kWholeWord{0, 15};

enum class ControlKind {
  HexEdit,      // four hexadecimal digits
  DecimalEdit,  // a decimal number
  Choice,       // a radio group; the value is the item index
};

// One control of a row and where its value lies in the value of its slot (the slot's word, or the
// right-aligned value of a field read).
struct ControlSpec {
  ControlKind kind;
  const char* name;
  const char* caption;  // the radio group's title, or the label beside an edit (null: no label)
  std::vector<const char*> items;
  Bits bits = kWholeWord;
  std::size_t slot = 0;   // which of the row's slots holds it
  int defaultIndex = 0;   // radio groups
  int columns = 1;        // radio groups
};

// One slot of a row: read as a field (readBits) or whole; written as a field (writeBits) or whole,
// whole words keeping keptMask from the last read; fileBits is the part of a dump file's word that
// stands for what the read brings.
struct SlotSpec {
  const char* address;
  std::optional<Bits> readBits;
  std::optional<Bits> writeBits;
  std::optional<Bits> fileBits;  // default: readBits, else the whole word
  uint16_t keptMask = 0;
};

enum class Page { Choices, Numbers };

struct SettingRow {
  Page page;
  const char* hint;  // on the radio groups, or on the label of the edits; null: none
  std::vector<SlotSpec> slotSpecs;
  std::vector<ControlSpec> controls;
};

SlotSpec Field(const char* address, Bits bits) { return {address, bits, bits, std::nullopt, 0}; }
SlotSpec Word(const char* address, uint16_t kept = 0) { return {address, std::nullopt, std::nullopt, std::nullopt, kept}; }

ControlSpec HexEdit(const char* name, const char* label, Bits bits = kWholeWord) {
  return {ControlKind::HexEdit, name, label, {}, bits};
}
ControlSpec Choice(const char* name, const char* title, std::vector<const char*> items, Bits bits = kWholeWord,
                   int defaultIndex = 0, int columns = 1) {
  return {ControlKind::Choice, name, title, std::move(items), bits, 0, defaultIndex, columns};
}
ControlSpec DecimalEdit(const char* name, const char* label) {
  return {ControlKind::DecimalEdit, name, label, {}, kWholeWord};
}
ControlSpec Octet(const char* name, const char* label, std::size_t slot, bool highByte) {
  return {ControlKind::DecimalEdit, name, label, {}, highByte ? Bits{8, 15} : Bits{0, 7}, slot};
}

// The rows in the order in which they are read and written. The octet rows hold two slots each,
// written in the order listed; their edits are listed in the order shown.
const std::vector<SettingRow>& Rows() {
  static const std::vector<SettingRow> rows = {
      // 1, 2
      {Page::Numbers, "地址:0x01", {Field("01", {0, 7})}, {HexEdit("EdtTEAR_POSITION_ADJ", "撕离位置调整:", {0, 7})}},
      {Page::Numbers, "地址:0x01", {Field("01", {8, 15})}, {HexEdit("EdtTOP_POSITION_ADJ", "上下打印位置调整:", {0, 7})}},
      // 3, 4
      {Page::Numbers, "地址:0x06", {Word("06")}, {HexEdit("edtMARK_TO_TPH_DISTANCE", "标记距离打印位置之间的距离:")}},
      {Page::Numbers, "地址:0x0C", {Word("0C")}, {HexEdit("EdtCMD_X_SHIFT_ADJ", "打印内容左右调整:")}},
      // 5: read as the field 00-01, written as the whole word
      {Page::Choices, "地址:0x0D", {{"0D", Bits{0, 1}, std::nullopt, std::nullopt, 0}},
       {Choice("rgADD_PRINT_METHOD", "打印方法设置", {"直接热敏", "热转印"}, {0, 1})}},
      // 6 to 8
      {Page::Numbers, "地址:0x0f", {Word("0F")}, {HexEdit("edtPRINT_SPEED", "打印速度设置:")}},
      {Page::Numbers, "地址:0x10", {Word("10")}, {HexEdit("edtFEED_SPEED", "空走纸速度设置:")}},
      {Page::Numbers, "地址:0x11", {Word("11")}, {HexEdit("edtBACKFEED_SPEED", "退纸速度:")}},
      // 9: a field of the low byte; a dump file's word gives the same byte
      {Page::Numbers, "地址:0x12", {Field("12", {0, 7})}, {HexEdit("edtADD_DARKNESS", "打印浓度:", {0, 7})}},
      // 10
      {Page::Numbers, "地址:0x1B", {Word("1B")}, {HexEdit("edtADD_LABLE_LEN", "标签间距(不包括衬纸):")}},
      // 11 to 13
      {Page::Choices, "地址:0x1C", {Field("1C", {0, 2})},
       {Choice("rgBIT_PAP_TYPE", "纸张类型", {"连续纸", "标记纸", "标签纸"}, {0, 2})}},
      {Page::Choices, "地址:0x1C", {Field("1C", {4, 7})},
       {Choice("rgBIT_OUT_MODE", "出纸模式", {"回卷模式", "撕离模式", "剥离模式", "切纸模式"}, {0, 3})}},
      {Page::Choices, "地址:0x1C", {Field("1C", {8, 8})},
       {Choice("rgBIT_PEEL_SELECT", "剥离是否确认", {"不确认", "确认"}, {0, 0})}},
      // 14: three choices in one word; bits 13-15 kept
      {Page::Choices, "地址:0x1D", {Word("1D", 0xE000)},
       {Choice("rgBIT_ACT_POWER", "上电后的动作", {"无动作", "定位一个标签", "启动校验"}, {0, 3}),
        Choice("rgBIT_ACT_COVER", "合盖后的动作", {"无动作", "定位一个标签", "校验"}, {4, 7}),
        Choice("rgBIT_REPRNT", "出错是是否重打", {"否", "是"}, {12, 12}, 1)}},
      // 15
      {Page::Numbers, "地址:0x1E", {Word("1E")}, {HexEdit("EdtADD_LABLE_LEN_CONTINOUS", "设置的标签长度:")}},
      // 16: the serial settings in one word; bits 12-15 kept
      {Page::Choices, "地址:0x20", {Word("20", 0xF000)},
       {Choice("rgBIT_COMM_BAUD_RATE", "每秒位数",
               {"9600", "110", "300", "600", "1200", "2400", "4800", "19200", "38400", "57600", "115200"}, {0, 3}, 0,
               2),
        Choice("rgBIT_COMM_DATA_LEN", "数据位", {"7位", "8位"}, {4, 5}),
        Choice("rgBIT_COMM_PARITY", "校验位", {"无校验", "奇校验", "偶校验"}, {6, 7}),
        Choice("rgBIT_COMM_STOP_BIT", "停止位", {"1位", "2位"}, {8, 9}),
        Choice("rgBIT_COMM_HANDSHAKE", "握手方式", {"硬握手", "软握手"}, {10, 11})}},
      // 17
      {Page::Numbers, "地址:0x21", {Word("21")}, {HexEdit("EdtADD_WEB_HEIGHT", "标记间隙高度:")}},
      // 18: a dump file's whole word is the item index
      {Page::Choices, "地址:0x2B", {{"2B", Bits{0, 2}, Bits{0, 2}, kWholeWord, 0}},
       {Choice("rgSENSER_SELECT", "传感器选择", {"反射", "透射"})}},
      // 19 to 21
      {Page::Numbers, "地址:0x34", {Field("34", {12, 14})}, {HexEdit("edtBIT_USB_ID", "USB ID号:", {0, 2})}},
      {Page::Numbers, "地址:0x35", {Field("35", {0, 7})}, {HexEdit("edtBIT_BACK_BEFORE", "打印前退纸百分比:", {0, 7})}},
      {Page::Numbers, "地址:0x36", {Field("36", {8, 15})}, {HexEdit("edtBIT_BACK_AFTER", "打印后退纸百分比:", {0, 7})}},
      // 22 to 25: the network settings, no hints on the port and address labels
      {Page::Numbers, nullptr, {Word("38")}, {DecimalEdit("EdtETHERNET_RAW_PORT", "端口号:")}},
      {Page::Numbers, nullptr, {Word("3B"), Word("3C")},
       {Octet("Edit_IP1", "IP地址:", 1, false), Octet("Edit_IP2", nullptr, 1, true), Octet("Edit_IP3", nullptr, 0, false),
        Octet("Edit_IP4", nullptr, 0, true)}},
      {Page::Numbers, "地址:0x3D", {Word("3D"), Word("3E")},
       {Octet("EdtETHERNET_NETMASK_1", "子网掩码:", 1, false), Octet("EdtETHERNET_NETMASK_2", nullptr, 1, true),
        Octet("EdtETHERNET_NETMASK_3", nullptr, 0, false), Octet("EdtETHERNET_NETMASK_4", nullptr, 0, true)}},
      {Page::Numbers, "地址:0x3F", {Word("3F"), Word("40")},
       {Octet("EdtETHERNET_GATEWAY_1", "默认网关:", 1, false), Octet("EdtETHERNET_GATEWAY_2", nullptr, 1, true),
        Octet("EdtETHERNET_GATEWAY_3", nullptr, 0, false), Octet("EdtETHERNET_GATEWAY_4", nullptr, 0, true)}},
      // 26
      {Page::Numbers, "地址:0x47", {Word("47")}, {HexEdit("EdtLABEL_WIDTH", "标签宽度:")}},
      // 27
      {Page::Choices, "地址:0x48", {Word("48")},
       {Choice("rgLABLE_ORIENTATION", "旋转180°打印使能", {"不旋转", "旋转180°打印"}, {0, 1}),
        Choice("rgLABLE_MIRROR", "镜像打印使能", {"不镜像", "镜像"}, {2, 3})}},
  };
  return rows;
}

struct ButtonSpec {
  QPushButton* TFormEepromNormalUser::*member;
  const char* name;
  const char* caption;
  void (TFormEepromNormalUser::*handler)();
};
const ButtonSpec kButtons[] = {
    {&TFormEepromNormalUser::btnReadPrint, "btnReadPrint", "读打印机", &TFormEepromNormalUser::btnReadPrintClick},
    {&TFormEepromNormalUser::btnSetPrint, "btnSetPrint", "更新配置", &TFormEepromNormalUser::btnSetPrintClick},
    {&TFormEepromNormalUser::btnReadFile, "btnReadFile", "读文件", &TFormEepromNormalUser::btnReadFileClick},
    {&TFormEepromNormalUser::btnWrintFile, "btnWrintFile", "写文件", &TFormEepromNormalUser::btnWrintFileClick},
};

// The buttons' designed places: width and left edges, for the Chinese interfaces and for English.
struct ButtonLayout {
  int width;
  int lefts[4];
};
constexpr ButtonLayout kChineseButtons{75, {180, 270, 380, 470}};
constexpr ButtonLayout kEnglishButtons{170, {20, 190, 360, 530}};
constexpr int kLeastButtonGap = 6;

// ---- Values ----

QString Hex4(unsigned value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper(); }
std::string Hex4Text(unsigned value) { return Hex4(value).toStdString(); }
std::string BitNumber(int bit) {
  char text[4];
  std::snprintf(text, sizeof text, "%02d", bit);
  return text;
}
int SlotNumber(const char* address) { return std::stoi(address, nullptr, 16); }

bool IsHexDigitChar(QChar c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// A four-digit value as the printer or a dump file gives it; nullopt when it is not one.
std::optional<uint16_t> FourHexDigits(const std::string& text) {
  if (text.size() != 4 || !std::all_of(text.begin(), text.end(), [](char c) { return IsHexDigitChar(QChar(c)); })) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(ParseSlotValue(text));
}

// An edit's number: up to four hexadecimal digits (completed with zeros on the left), or up to five
// decimal digits; nullopt for an empty edit or any other character.
std::optional<unsigned> EditNumber(const QString& text, bool hex) {
  if (hex) {
    const std::optional<std::string> completed = SlotValueText(text.toStdString());
    if (!completed) return std::nullopt;
    return static_cast<unsigned>(ParseSlotValue(*completed));
  }
  if (text.isEmpty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= u'0' && c <= u'9';
      })) {
    return std::nullopt;
  }
  return text.toUInt();
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

// Keeps the receive thread from taking the replies: clears its run flag and waits for its end.
void StopReceiving() {
  Receive_Thread::Stop();
  Receive_Thread::Join();
}

}  // namespace

TFormEepromNormalUser::TFormEepromNormalUser(QWidget* parent, ResetCommand reset)
    : QWidget(parent, Qt::Window), reset_(std::move(reset)) {
  setObjectName(QString::fromLatin1(kFormName));
  setWindowTitle(QStringLiteral("打印机参数设置"));
  BuildControls();
  FormCreate();
}

void TFormEepromNormalUser::BuildControls() {
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
      new TFileDialog(this, QStringLiteral("OpenEEPRomDialog"), TFileDialog::Mode::Open, QString::fromLatin1(kDumpFilter));
  SaveEEpRomDialog =
      new TFileDialog(this, QStringLiteral("SaveEEpRomDialog"), TFileDialog::Mode::Save, QString::fromLatin1(kDumpFilter));
  SaveEEpRomDialog->overwritePrompt = true;
  TimerReadEep = new QTimer(this);
  TimerReadEep->setObjectName(QStringLiteral("TimerReadEep"));
  TimerReadEep->setInterval(pace::kDumpTimerTick.ms);
  connect(TimerReadEep, &QTimer::timeout, this, &TFormEepromNormalUser::TimerReadEepTimer);

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

void TFormEepromNormalUser::BuildChoicePage() {
  constexpr int kColumns = 5;
  auto* grid = new QGridLayout(TabSheet3);
  int placed = 0;
  for (const SettingRow& row : Rows()) {
    if (row.page != Page::Choices) continue;
    for (const ControlSpec& control : row.controls) {
      auto* group = new TRadioGroup(TabSheet3, control.columns);
      group->setObjectName(QString::fromLatin1(control.name));
      group->setTitle(QString::fromUtf8(control.caption));
      QStringList items;
      for (const char* item : control.items) items << QString::fromUtf8(item);
      group->setItems(items);
      if (row.hint) group->setToolTip(QString::fromUtf8(row.hint));
      groups_[group->objectName()] = group;
      grid->addWidget(group, placed / kColumns, placed % kColumns, Qt::AlignTop);
      ++placed;
    }
  }
  grid->setRowStretch(grid->rowCount(), 1);
}

void TFormEepromNormalUser::BuildNumberPage() {
  // The edits in two columns of label and field, in table order, the first half on the left.
  auto* grid = new QGridLayout(TabSheet12);
  std::vector<std::pair<QLabel*, QLayout*>> lines;
  const auto hexValidator =
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,4}")), this);
  for (const SettingRow& row : Rows()) {
    if (row.page != Page::Numbers) continue;
    QLabel* label = nullptr;
    auto* fields = new QHBoxLayout;
    for (const ControlSpec& control : row.controls) {
      auto* edit = new QLineEdit(TabSheet12);
      edit->setObjectName(QString::fromLatin1(control.name));
      const bool octet = control.kind == ControlKind::DecimalEdit && control.bits.Width() == 8;
      const int digits = control.kind == ControlKind::HexEdit ? 4 : octet ? 3 : 5;
      edit->setMaxLength(digits);
      edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(digits + 2, u'0')) + 12);
      if (control.kind == ControlKind::HexEdit) {
        edit->setValidator(hexValidator);  // pasted text too
        edit->installEventFilter(this);
      }
      edits_[edit->objectName()] = edit;
      if (control.caption) {
        label = new QLabel(QString::fromUtf8(control.caption), TabSheet12);
        label->setObjectName(QStringLiteral("Label_") + edit->objectName());
        if (row.hint) label->setToolTip(QString::fromUtf8(row.hint));
        label->setBuddy(edit);
      } else {
        fields->addWidget(new QLabel(QStringLiteral("."), TabSheet12));  // between the octets
      }
      editLabels_[edit->objectName()] = label;  // the octets of an address share their row's label
      fields->addWidget(edit);
    }
    fields->addStretch(1);
    lines.emplace_back(label, fields);
  }
  const int perColumn = static_cast<int>((lines.size() + 1) / 2);
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    const int column = (i / perColumn) * 2;
    grid->addWidget(lines[i].first, i % perColumn, column);
    grid->addLayout(lines[i].second, i % perColumn, column + 1);
  }
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(perColumn, 1);
}

void TFormEepromNormalUser::BuildButtons() {
  buttonRow_ = new QHBoxLayout;
  for (const ButtonSpec& row : kButtons) {
    auto* button = new QPushButton(QString::fromUtf8(row.caption), this);
    button->setObjectName(QString::fromLatin1(row.name));
    connect(button, &QPushButton::clicked, this, row.handler);
    this->*row.member = button;
  }
}

void TFormEepromNormalUser::LayOutButtons() {
  // The designed places, widened where the texts need more; the gaps keep the designed rhythm.
  const ButtonLayout& design = CurrentLanguage() == kLanguageEnglish ? kEnglishButtons : kChineseButtons;
  QHBoxLayout* row = buttonRow_;
  while (QLayoutItem* item = row->takeAt(0)) delete item;
  row->addSpacing(design.lefts[0]);
  for (std::size_t i = 0; i < std::size(kButtons); ++i) {
    QPushButton* button = this->*kButtons[i].member;
    button->setMinimumWidth(std::max(design.width, button->sizeHint().width()));
    if (i > 0) row->addSpacing(std::max(kLeastButtonGap, design.lefts[i] - design.lefts[i - 1] - design.width));
    row->addWidget(button);
  }
  row->addStretch(1);
}

QLineEdit* TFormEepromNormalUser::Edit(const QString& name) const {
  const auto found = edits_.find(name);
  return found == edits_.end() ? nullptr : found->second;
}

TRadioGroup* TFormEepromNormalUser::Group(const QString& name) const {
  const auto found = groups_.find(name);
  return found == groups_.end() ? nullptr : found->second;
}

// ---- Life cycle ----

void TFormEepromNormalUser::FormCreate() {
  PageControl1->setCurrentIndex(0);
  Receive_Thread::Stop();
}

void TFormEepromNormalUser::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;  // a window restored by the window system is not a new showing
  FormShow();
  if (QWidget* owner = parentWidget()) {
    move(owner->window()->frameGeometry().center() - (frameGeometry().center() - pos()));
  }
}

void TFormEepromNormalUser::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TFormEepromNormalUser::FormShow() {
  Receive_Thread::Stop();
  btnReadPrint->setEnabled(true);
  btnReadFile->setEnabled(true);
  btnWrintFile->setEnabled(true);
  btnSetPrint->setEnabled(false);
  InitDialog();
  statusPanels[0]->setText(Tip("PortName") + QString::fromStdString(Link().Get(LinkState::Text::LinkName)));
  // Nothing can be read through the spooler; loading and saving stay available.
  if (Link().currentKind == PortKind::Spooler) btnReadPrint->setEnabled(false);
}

void TFormEepromNormalUser::FormActivate() {
  Receive_Thread::Stop();
  Relabel();
  LayOutButtons();
  FitWindowToContents();
}

void TFormEepromNormalUser::InitDialog() {
  PageControl1->setCurrentIndex(0);
  Relabel();
  btnSetPrint->setEnabled(false);
  SetDefaults();
  LayOutButtons();
  FitWindowToContents();
}

void TFormEepromNormalUser::Relabel() {
  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QString::fromLatin1(kFormName));
}

void TFormEepromNormalUser::SetDefaults() {
  for (const SettingRow& row : Rows()) {
    for (const ControlSpec& control : row.controls) {
      if (control.kind == ControlKind::Choice) {
        Group(QString::fromLatin1(control.name))->setItemIndex(control.defaultIndex);
      } else {
        Edit(QString::fromLatin1(control.name))->clear();
      }
    }
  }
}

void TFormEepromNormalUser::FitWindowToContents() {
  // At least the designed client area; larger where the texts of the language need it.
  layout()->activate();
  setFixedSize(layout()->totalSizeHint().expandedTo(kDesignedClientSize));
}

void TFormEepromNormalUser::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    FormShortCut();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TFormEepromNormalUser::FormShortCut() { OpenHelp(CurrentLanguage()); }

// The key filter of the hexadecimal edits: digits, A-F and a-f pass, any other character is dropped
// with a beep. Backspace and the navigation keys type no character and pass.
bool TFormEepromNormalUser::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
    const std::optional<QString> typed = TypedText(static_cast<QKeyEvent*>(event));
    if (typed && !std::all_of(typed->begin(), typed->end(), IsHexDigitChar)) {
      Beep();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---- Showing and taking values ----

void TFormEepromNormalUser::ShowSlotValue(std::size_t rowIndex, std::size_t slotIndex, uint16_t value) {
  const SettingRow& row = Rows()[rowIndex];
  const SlotSpec& slot = row.slotSpecs[slotIndex];
  if (slot.keptMask) keptBits_[SlotNumber(slot.address)] = value & slot.keptMask;
  for (const ControlSpec& control : row.controls) {
    if (control.slot != slotIndex) continue;
    const unsigned part = (value >> control.bits.first) & control.bits.Mask();
    const QString name = QString::fromLatin1(control.name);
    switch (control.kind) {
      case ControlKind::HexEdit: Edit(name)->setText(Hex4(part)); break;
      case ControlKind::DecimalEdit: Edit(name)->setText(QString::number(part)); break;
      case ControlKind::Choice: {
        // A value at or beyond the item count selects the last item.
        TRadioGroup* group = Group(name);
        const int count = static_cast<int>(group->items().size());
        group->setItemIndex(std::min(static_cast<int>(part), count - 1));
        break;
      }
    }
  }
}

bool TFormEepromNormalUser::SlotWordToWrite(std::size_t rowIndex, std::size_t slotIndex, uint16_t* word) {
  const SettingRow& row = Rows()[rowIndex];
  const SlotSpec& slot = row.slotSpecs[slotIndex];
  unsigned composed = slot.keptMask ? keptBits_[SlotNumber(slot.address)] : 0u;
  for (const ControlSpec& control : row.controls) {
    if (control.slot != slotIndex) continue;
    const QString name = QString::fromLatin1(control.name);
    const unsigned limit = control.bits.Mask();
    unsigned part = 0;
    if (control.kind == ControlKind::Choice) {
      part = static_cast<unsigned>(std::max(Group(name)->itemIndex(), 0));
    } else {
      // A value wider than its place would spill into the neighbouring bits: it is refused.
      QLineEdit* edit = Edit(name);
      const bool hex = control.kind == ControlKind::HexEdit;
      const std::optional<unsigned> number = EditNumber(edit->text(), hex);
      if (!number || *number > limit) {
        RefuseEdit(edit, hex ? "BadHexValue" : "BadDecimalValue",
                   hex ? QString::number(limit, 16).toUpper() : QString::number(limit));
        return false;
      }
      part = *number;
    }
    composed |= part << control.bits.first;
  }
  *word = static_cast<uint16_t>(composed);
  return true;
}

void TFormEepromNormalUser::RefuseEdit(QLineEdit* edit, const char* messageKey, const QString& limit) {
  const bool hex = std::string_view(messageKey) == "BadHexValue";
  const QString designed =
      hex ? QStringLiteral("“%1”的值“%2”无效：请输入0到%3之间的十六进制数。更新在此项停止，此前的项目已写入打印机。")
          : QStringLiteral("“%1”的值“%2”无效：请输入0到%3之间的十进制数。更新在此项停止，此前的项目已写入打印机。");
  const QLabel* label = editLabels_[edit->objectName()];
  QString what = label ? label->text() : edit->objectName();
  while (what.endsWith(u':') || what.endsWith(u'：')) what.chop(1);
  ShowBox(FormText(messageKey, designed).arg(what, edit->text(), limit), MsgIcon::Error);
  PageControl1->setCurrentWidget(TabSheet12);
  edit->setFocus();
  edit->selectAll();
}

void TFormEepromNormalUser::ShowBox(const QString& text, MsgIcon icon) { ShowMessageQ(text, windowTitle(), icon); }

// Callers have restored the arrow cursor (BusyCursor::Release) before.
void TFormEepromNormalUser::ShowFail(int code) {
  if (code == 1) {
    ShowBox(Tip("ReadFail"));
    btnReadPrint->setEnabled(true);
  } else {
    ShowBox(Tip("UpdateFail"));
    btnSetPrint->setEnabled(true);
  }
}

// ---- Reading and writing the printer ----

void TFormEepromNormalUser::btnReadPrintClick() {
  if (!Link().open) {
    ShowBox(Tip("NotOpenPortMessageBox"));
    return;
  }
  StopReceiving();
  BusyCursor busy;
  btnReadPrint->setEnabled(false);
  Link().readOnce = true;
  DiscardPendingInput();
  const std::vector<SettingRow>& rows = Rows();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t s = 0; s < rows[r].slotSpecs.size(); ++s) {
      const SlotSpec& slot = rows[r].slotSpecs[s];
      const std::optional<std::string> reply =
          slot.readBits ? ReadParameterField(slot.address, BitNumber(slot.readBits->first), BitNumber(slot.readBits->last))
                        : ReadParameterSlot(slot.address);
      const std::optional<uint16_t> value = reply ? FourHexDigits(*reply) : std::nullopt;
      if (!value) {
        Link().readOnce = false;
        busy.Release();
        ShowFail(1);
        return;
      }
      ShowSlotValue(r, s, *value);
    }
  }
  Link().readOnce = false;
  busy.Release();
  ShowBox(Tip("ReadFinish"));
  btnReadPrint->setEnabled(true);
  btnSetPrint->setEnabled(true);
  btnWrintFile->setEnabled(true);
}

void TFormEepromNormalUser::btnSetPrintClick() {
  btnSetPrint->setEnabled(false);
  StopReceiving();
  BusyCursor busy;
  const std::vector<SettingRow>& rows = Rows();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t s = 0; s < rows[r].slotSpecs.size(); ++s) {
      const SlotSpec& slot = rows[r].slotSpecs[s];
      uint16_t word = 0;
      if (!SlotWordToWrite(r, s, &word)) {
        btnSetPrint->setEnabled(true);  // the user corrects the edit and writes again
        return;
      }
      const std::string value = Hex4Text(word);
      const bool sent = slot.writeBits ? WriteParameterField(slot.address, value, BitNumber(slot.writeBits->first),
                                                             BitNumber(slot.writeBits->last))
                                       : WriteParameterSlot(slot.address, value);
      if (!sent) {
        busy.Release();
        ShowFail(2);
        return;
      }
    }
  }
  Pause(pace::kAfterParameterWrite);
  busy.Release();
  if (reset_) reset_("UpdateFinish");
  btnSetPrint->setEnabled(true);
}

// ---- Dump files ----

void TFormEepromNormalUser::btnReadFileClick() {
  if (!Link().open) {
    ShowBox(Tip("NotOpenPortMessageBox"));
    return;
  }
  const QString directory = QDir::currentPath();
  const QString path = OpenEEPRomDialog->Execute(this);
  QDir::setCurrent(directory);
  if (path.isEmpty()) {
    btnWrintFile->setEnabled(true);
    return;
  }
  const std::optional<DumpFile> file = DumpFile::Open(path.toStdString());
  if (!file) {
    ShowBox(Tip("NotOpenFileMessageBox") + u'"' + QDir::toNativeSeparators(path) + u'"', MsgIcon::Error);
    btnWrintFile->setEnabled(true);
    return;
  }
  if (ReadEep(*file)) {
    btnSetPrint->setEnabled(true);
    btnWrintFile->setEnabled(true);
  } else {
    btnSetPrint->setEnabled(false);
  }
}

bool TFormEepromNormalUser::ReadEep(const DumpFile& file) {
  // Slots in table order, each looked up once (slotSpecs 01 and 1C serve several rows).
  std::map<std::string, uint16_t> words;
  const std::vector<SettingRow>& rows = Rows();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t s = 0; s < rows[r].slotSpecs.size(); ++s) {
      const SlotSpec& slot = rows[r].slotSpecs[s];
      if (!words.count(slot.address)) {
        const std::optional<std::string> found = file.FindSlot(slot.address);
        if (!found) {
          ShowBox(QStringLiteral("缺少0x") + QLatin1String(slot.address) + QStringLiteral("地址位"));
          ShowFail(1);
          return false;
        }
        // A value that is not four hexadecimal digits would show as a wrong value: the file is bad.
        const std::optional<uint16_t> word = FourHexDigits(*found);
        if (!word) {
          ShowFail(1);
          return false;
        }
        words[slot.address] = *word;
      }
      const Bits part = slot.fileBits.value_or(slot.readBits.value_or(kWholeWord));
      ShowSlotValue(r, s, static_cast<uint16_t>((words[slot.address] >> part.first) & part.Mask()));
    }
  }
  return true;
}

void TFormEepromNormalUser::btnWrintFileClick() {
  if (!Link().open) {
    ShowBox(Tip("NotOpenPortMessageBox"));
    return;
  }
  const QString directory = QDir::currentPath();
  const QString path = SaveEEpRomDialog->Execute(this);
  QDir::setCurrent(directory);
  if (path.isEmpty()) return;
  if (!std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc)) {
    ShowBox(Tip("NotOpenFileMessageBox") + u'"' + QDir::toNativeSeparators(path) + QStringLiteral("\"!"),
            MsgIcon::Error);
    return;
  }
  dumpFile_ = path.toStdString();
  btnWrintFile->setEnabled(false);  // until the dump has ended
  TimerReadEep->setInterval(TimeoutMs(pace::kDumpTimerTick));
  TimerReadEep->start();
}

void TFormEepromNormalUser::TimerReadEepTimer() {
  TimerReadEep->stop();
  if (dumpFile_.empty()) return;
  StopReceiving();
  BusyCursor busy;
  const bool dumped = WriteParameterDump(dumpFile_, /*readOnce=*/true);
  busy.Release();
  btnWrintFile->setEnabled(true);
  if (dumped) {
    ShowBox(Tip("SaveEepSucc"));
  } else {
    ShowFail(1);
  }
}

}  // namespace tw
