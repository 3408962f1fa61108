#include "wizards/SetPrinter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <functional>
#include <vector>

#include "core/Pacing.h"
#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "params/ParamProtocol.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

constexpr const char* kFormName = "SetPrinter";
constexpr char kVersionRequest[] = "~WN01@version~";
constexpr PaceStep kVersionReplyWait{"wait for the version reply in the Z setup wizard", 600};

enum Page { kLabelPage, kSpeedPage, kMediaPage, kAdvancedPage, kClockPage, kSavePage, kPageCount };

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QComboBox* Combo(QWidget* parent, const char* name, std::initializer_list<const char*> items, int selected) {
  auto* combo = Named(new QComboBox(parent), name);
  for (const char* item : items) combo->addItem(QString::fromUtf8(item));
  combo->setCurrentIndex(selected);
  return combo;
}

QLineEdit* Edit(QWidget* parent, const char* name, const char* text) {
  auto* edit = Named(new QLineEdit(QString::fromUtf8(text), parent), name);
  edit->setMaximumWidth(110);
  return edit;
}

QLabel* Label(QWidget* parent, const char* name, const char* text) {
  return Named(new QLabel(QString::fromUtf8(text), parent), name);
}

// A row of a page: caption, control, and the unit caption after it when the value has a unit.
struct Row {
  QLabel* caption;
  QWidget* control;
  QLabel* unit = nullptr;
};

void AddRows(QVBoxLayout* body, std::initializer_list<Row> rows) {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  int line = 0;
  for (const Row& row : rows) {
    grid->addWidget(row.caption, line, 0);
    grid->addWidget(row.control, line, 1);
    if (row.unit) grid->addWidget(row.unit, line, 2);
    ++line;
  }
  grid->setColumnStretch(3, 1);
  body->addLayout(grid);
}

void SelectIndex(QComboBox* combo, int index) {
  combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

// The speed list entry for the printer's speed parameter.
int SpeedIndexOf(int value) {
  static constexpr int kUpperLimits[] = {60, 90, 110, 135};
  int index = 0;
  while (index < 4 && value > kUpperLimits[index]) ++index;
  return index;
}

// Tear-off in dots: bit 7 is the sign, bits 0 to 6 the magnitude.
long long TearoffDots(int value) { return (value & 0x80) ? -(value & 0x7F) : (value & 0x7F); }

// A 16-bit two's-complement number.
long long SignedWord(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

ClockTime ClockOf(const QDate& date, const QTime& time) {
  return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

// Shows the busy cursor for the life of the object.
struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

TSetPrinter::TSetPrinter(QWidget* parent) : QDialog(parent) {
  setObjectName(QString::fromLatin1(kFormName));
  setWindowTitle(QStringLiteral("设置打印机"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  auto* form = new QVBoxLayout(this);
  form->setContentsMargins(8, 8, 8, 8);
  // A fixed border: the window takes the size its pages and buttons need in the current language.
  form->setSizeConstraint(QLayout::SetFixedSize);
  pgcPrinterSet = Named(new QStackedWidget(this), "pgcPrinterSet");
  form->addWidget(pgcPrinterSet, 1);
  BuildPages();
  buttons = AddWizardButtons(this, form);
  buttons.BackBtn->setEnabled(false);

  SaveFileDialog = new TFileDialog(this, QStringLiteral("SaveFileDialog"), TFileDialog::Mode::Save,
                                   QStringLiteral("文本文件(*.txt)|*.txt|所有文件(*.*)|*.*"));

  lengths_ = new LengthFields(
      this, WizardKind::Z,
      {UnitsComboBox,
       {WidthEdit, HeightEdit, TearoffadjustEdit, LabelShiftEdit},
       {WidthUnitLabel, HeightUnitLabel, TearoffadjustUnitLabel, LabelShiftUnitLabel},
       SpeedUnitLabel,
       SpeedComboBox},
      [] { return UnitConverter(ZDensity()); });

  const std::pair<QPushButton*, void (TSetPrinter::*)()> clicks[] = {
      {buttons.HelpBtn, &TSetPrinter::HelpBtnClick},
      {buttons.CancelBtn, &TSetPrinter::CancelBtnClick},
      {buttons.GetPrinterSettinglBtn, &TSetPrinter::GetPrinterSettinglBtnClick},
      {buttons.BackBtn, &TSetPrinter::BackBtnClick},
      {buttons.NextBtn, &TSetPrinter::NextBtnClick},
      {buttons.FinishBtn, &TSetPrinter::FinishBtnClick},
  };
  for (const auto& [button, handler] : clicks) connect(button, &QPushButton::clicked, this, handler);
  connect(SetTimeCheckBox, &QCheckBox::clicked, this, &TSetPrinter::SetTimeCheckBoxClick);
  connect(SetComputerTimeRadioButton, &QRadioButton::clicked, this, &TSetPrinter::SetComputerTimeRadioButtonClick);
  connect(SetTimeRadioButton, &QRadioButton::clicked, this, &TSetPrinter::SetTimeRadioButtonClick);
}

void TSetPrinter::BuildPages() {
  QWidget* p = pgcPrinterSet;
  // Page 0: label size and orientation.
  WizardPage page = AddWizardPage(pgcPrinterSet, "ts1", "标签参数", "定义标签宽度，标签高度和旋转");
  UnitsComboBox = Combo(p, "UnitsComboBox", {"厘米", "英寸", "毫米", "点"}, static_cast<int>(kDefaultLengthUnit));
  WidthEdit = Edit(p, "WidthEdit", "56.00");
  HeightEdit = Edit(p, "HeightEdit", "12.50");
  WidthUnitLabel = Label(p, "WidthUnitLabel", "mm");
  HeightUnitLabel = Label(p, "HeightUnitLabel", "mm");
  OrientationComboBox = Combo(p, "OrientationComboBox", {"正常", "旋转180读"}, 0);
  FirmwareVersionLabel = Label(p, "FirmwareVersionLabel", "固件版本:");
  FirmwareVersionShowLabel = Label(p, "FirmwareVersionShowLabel", "获取数据...");
  FirmwareVersionShowLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  AddRows(page.body, {{Label(p, "UnitsLabel", "单位:"), UnitsComboBox},
                      {Label(p, "WidthLabel", "标签宽度:"), WidthEdit, WidthUnitLabel},
                      {Label(p, "HeightLabel", "标签高度:"), HeightEdit, HeightUnitLabel},
                      {Label(p, "OrientationLabel", "方向:"), OrientationComboBox},
                      {FirmwareVersionLabel, FirmwareVersionShowLabel}});
  page.body->addStretch(1);

  // Page 1: speed and darkness.
  page = AddWizardPage(pgcPrinterSet, "ts2", "速度和浓度", "选择打印速度和浓度。");
  // All five speeds from the start: the printer may report 6 inches per second (index 4), which a
  // shorter list could not show and would then send without a speed.
  SpeedComboBox = Named(new QComboBox(p), "SpeedComboBox");
  for (std::string_view speed : SpeedList(kDefaultLengthUnit)) SpeedComboBox->addItem(QString::fromLatin1(speed.data(), static_cast<int>(speed.size())));
  SpeedComboBox->setCurrentIndex(3);
  SpeedUnitLabel = Label(p, "SpeedUnitLabel", "mm/s");
  DarknessComboBox = Named(new QComboBox(p), "DarknessComboBox");
  for (int level = 0; level <= 30; ++level) DarknessComboBox->addItem(QString::number(level));
  DarknessComboBox->setCurrentIndex(20);
  AddRows(page.body, {{Label(p, "SpeedLabel", "打印速度:"), SpeedComboBox, SpeedUnitLabel},
                      {Label(p, "DarknessLabel", "打印浓度:"), DarknessComboBox}});
  page.body->addStretch(1);

  // Page 2: media.
  page = AddWizardPage(pgcPrinterSet, "ts3", "介质", "设置介质参数和处理。");
  MediaTypeComboBox = Combo(p, "MediaTypeComboBox", {"连续", "Web检测", "标记感应"}, 0);
  TearoffadjustEdit = Edit(p, "TearoffadjustEdit", "0.00");
  LabelShiftEdit = Edit(p, "LabelShiftEdit", "0.00");
  TearoffadjustUnitLabel = Label(p, "TearoffadjustUnitLabel", "mm");
  LabelShiftUnitLabel = Label(p, "LabelShiftUnitLabel", "mm");
  AddRows(page.body, {{Label(p, "MediaTypeLabel", "跟踪模式:"), MediaTypeComboBox},
                      {Label(p, "TearoffadjustLabel", "撕纸位置调整:"), TearoffadjustEdit, TearoffadjustUnitLabel},
                      {Label(p, "LabelShiftLabel", "标签左右偏移:"), LabelShiftEdit, LabelShiftUnitLabel}});
  page.body->addSpacing(8);
  page.body->addWidget(Label(p, "ContinueHintLabel", "配置高级设置，请选中下面的框"));
  ContinueCheckBox = Named(new QCheckBox(QStringLiteral("继续高级设置"), p), "ContinueCheckBox");
  ContinueCheckBox->setChecked(true);
  page.body->addWidget(ContinueCheckBox);
  page.body->addStretch(1);

  // Page 3: advanced settings.
  page = AddWizardPage(pgcPrinterSet, "ts4", "高级设置", "配置打印机高级设置。");
  MediaHandingComboBox = Combo(p, "MediaHandingComboBox", {"撕纸", "倒带", "剥纸", "切刀", "应用器"}, 0);
  BackfeedComboBox = Combo(p, "BackfeedComboBox", {"不回滚", "默认设置", "在打印之前", "在打印之后"}, 1);
  MirrorImageCheckBox = Named(new QCheckBox(QStringLiteral("镜像打印"), p), "MirrorImageCheckBox");
  MediafeedoptionsComboBox =
      Combo(p, "MediafeedoptionsComboBox", {"进纸到下一标签", "校准介质", "设置标签长度", "不走纸"}, 0);
  QLabel* feedLabel = Label(p, "MediafeedoptionsLabel", "走纸选项");
  AddRows(page.body, {{Label(p, "MediaHandingLabel", "操作模式"), MediaHandingComboBox},
                      {Label(p, "BackfeedLabel", "回滚:"), BackfeedComboBox},
                      {feedLabel, MediafeedoptionsComboBox}});
  // The feed option is not offered to the user, but its value is still sent.
  feedLabel->hide();
  MediafeedoptionsComboBox->hide();
  page.body->addWidget(MirrorImageCheckBox);
  page.body->addStretch(1);

  // Page 4: real-time clock.
  page = AddWizardPage(pgcPrinterSet, "ts5", "实时时钟", "设置实时时钟参数");
  SetTimeCheckBox = Named(new QCheckBox(QStringLiteral("设置实时时钟"), p), "SetTimeCheckBox");
  SetComputerTimeRadioButton =
      Named(new QRadioButton(QStringLiteral("设置实时时钟为电脑时钟"), p), "SetComputerTimeRadioButton");
  SetTimeRadioButton = Named(new QRadioButton(QStringLiteral("设置实时时钟为:"), p), "SetTimeRadioButton");
  SetComputerTimeRadioButton->setChecked(true);
  DateDateTimePicker = Named(new QDateEdit(p), "DateDateTimePicker");
  DateDateTimePicker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  DateDateTimePicker->setCalendarPopup(true);
  TimeDateTimePicker = Named(new QTimeEdit(p), "TimeDateTimePicker");
  TimeDateTimePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  page.body->addWidget(SetTimeCheckBox);
  auto* clock = new QGridLayout;
  clock->setContentsMargins(20, 0, 0, 0);
  clock->addWidget(SetComputerTimeRadioButton, 0, 0, 1, 3);
  clock->addWidget(SetTimeRadioButton, 1, 0);
  clock->addWidget(DateDateTimePicker, 1, 1);
  clock->addWidget(TimeDateTimePicker, 1, 2);
  clock->setColumnStretch(3, 1);
  page.body->addLayout(clock);
  page.body->addStretch(1);
  EnableClockControls();

  // Page 5: saving the settings.
  page = AddWizardPage(pgcPrinterSet, "ts6", "保存设置", "定义标签宽度，标签高度和旋转");
  page.body->addWidget(Label(p, "SaveFileHintLabel", "要保存您的设置到文件，请选中下面的框."));
  SaveFileCheckBox = Named(new QCheckBox(QStringLiteral("将设置保存到文件"), p), "SaveFileCheckBox");
  page.body->addWidget(SaveFileCheckBox);
  page.body->addStretch(1);
}

void TSetPrinter::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  FormShow();
  layout()->activate();  // the relabelled texts take their room before the window is placed
  if (QWidget* owner = parentWidget()) {
    move(owner->window()->frameGeometry().center() - (frameGeometry().center() - pos()));
  }
}

void TSetPrinter::FormShow() {
  // No background read may take the replies to the wizard's requests.
  Receive_Thread::Stop();
  lengths_->SetCurrentUnitFromList();
  const QDateTime now = QDateTime::currentDateTime();
  DateDateTimePicker->setDate(now.date());
  TimeDateTimePicker->setTime(now.time());
  InitDialog();
  buttons.NextBtn->setEnabled(false);
  buttons.FinishBtn->setEnabled(false);
  pgcPrinterSet->setCurrentIndex(kLabelPage);
}

void TSetPrinter::InitDialog() {
  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QString::fromLatin1(kFormName));
  messages_ = LoadWizardMessages();
  lengths_->SetMessages(messages_);
  SaveFileDialog->title = windowTitle();
}

void TSetPrinter::HelpBtnClick() { OpenHelp(CurrentLanguage()); }

void TSetPrinter::CancelBtnClick() { reject(); }

int TSetPrinter::CurrentPage() const { return pgcPrinterSet->currentIndex(); }

void TSetPrinter::BackBtnClick() { RefreshDialog(Direction::Back); }

void TSetPrinter::NextBtnClick() { RefreshDialog(Direction::Next); }

void TSetPrinter::RefreshDialog(Direction direction) {
  const int page = CurrentPage();
  const bool advanced = ContinueCheckBox->isChecked();
  int target = page;
  if (direction == Direction::Back && page > kLabelPage) {
    target = page == kSavePage && !advanced ? kMediaPage : page - 1;
  } else if (direction == Direction::Next && page < kSavePage) {
    // Without the advanced settings the advanced and clock pages are skipped.
    target = page == kMediaPage && !advanced ? kSavePage : page + 1;
  }
  pgcPrinterSet->setCurrentIndex(target);
  switch (target) {
    case kLabelPage: buttons.BackBtn->setEnabled(false); break;
    case kSpeedPage: buttons.BackBtn->setEnabled(true); break;
    case kMediaPage:
    case kClockPage: buttons.NextBtn->setEnabled(true); break;
    case kSavePage: buttons.NextBtn->setEnabled(false); break;
    default: break;
  }
}

void TSetPrinter::EnableClockControls() {
  const bool setClock = SetTimeCheckBox->isChecked();
  SetComputerTimeRadioButton->setEnabled(setClock);
  SetTimeRadioButton->setEnabled(setClock);
  const bool pickers = setClock && SetTimeRadioButton->isChecked();
  DateDateTimePicker->setEnabled(pickers);
  TimeDateTimePicker->setEnabled(pickers);
}

void TSetPrinter::SetTimeCheckBoxClick() { EnableClockControls(); }
void TSetPrinter::SetComputerTimeRadioButtonClick() { EnableClockControls(); }
void TSetPrinter::SetTimeRadioButtonClick() { EnableClockControls(); }
void TSetPrinter::UnitsComboBoxChange() { lengths_->UnitsComboBoxChange(); }

void TSetPrinter::GetPrinterSettinglBtnClick() {
  BusyCursor busy;
  ReadPrinterSettings();
}

bool TSetPrinter::ReadPrinterSettings() {
  DiscardPendingInput();
  Link().readOnce = true;
  DiscardPendingInput();
  SendToPrinter(kVersionRequest);
  const PortKind kind = Link().currentKind;
  if (kind == PortKind::Serial || kind == PortKind::Parallel || kind == PortKind::Network) {
    Pause(kVersionReplyWait);
  }
  const Reply version = ReadReply();
  if (version.text.empty()) {
    Link().readOnce = false;
    FirmwareVersionShowLabel->setText(messages_.readFailed);
    buttons.NextBtn->setEnabled(false);
    buttons.FinishBtn->setEnabled(false);
    return false;
  }
  FirmwareVersionShowLabel->setText(QString::fromLocal8Bit(version.text.data(),
                                                           static_cast<int>(version.text.size())).trimmed());
  buttons.NextBtn->setEnabled(true);
  buttons.FinishBtn->setEnabled(true);
  ReadParameterSlots();
  // Cleared also when a read failed: the one-reply mode must not outlive the wizard's exchanges.
  Link().readOnce = false;
  return true;
}

void TSetPrinter::ReadParameterSlots() {
  // Each step reads one slot into its control; a failed read ends the reading, and what was read
  // so far stays in the controls.
  auto slot = [](const char* address) -> std::optional<int> {
    const std::optional<std::string> reply = ReadParameterSlot(address);
    if (!reply) return std::nullopt;
    return ParseSlotValue(*reply);
  };
  using Step = std::function<bool()>;
  const std::vector<Step> steps = {
      [&] {
        auto v = slot("47");
        if (v) lengths_->ShowDots(LengthField::Width, *v);
        return v.has_value();
      },
      [&] {
        auto v = slot("1C");
        if (v) SelectIndex(MediaHandingComboBox, (*v >> 4) & 15);
        return v.has_value();
      },
      [&] {
        auto v = slot("1C");
        if (v) SelectIndex(MediaTypeComboBox, *v & 7);
        return v.has_value();
      },
      [&] {
        // Continuous media has no label length of its own: it has a slot apart.
        auto v = slot(MediaTypeComboBox->currentIndex() != 0 ? "1B" : "1E");
        if (v) lengths_->ShowDots(LengthField::Height, *v);
        return v.has_value();
      },
      [&] {
        auto v = slot("48");
        if (!v) return false;
        SelectIndex(OrientationComboBox, *v & 3);
        const int mirror = (*v & 12) >> 2;
        if (mirror == 0 || mirror == 1) MirrorImageCheckBox->setChecked(mirror == 1);
        return true;
      },
      [&] {
        auto v = slot("0F");
        if (v) SelectIndex(SpeedComboBox, SpeedIndexOf(*v));
        return v.has_value();
      },
      [&] {
        auto v = slot("12");
        if (v) SelectIndex(DarknessComboBox, *v & 255);
        return v.has_value();
      },
      [&] {
        auto v = slot("01");
        if (v) lengths_->ShowDots(LengthField::Third, TearoffDots(*v));
        return v.has_value();
      },
      [&] {
        auto v = slot("0C");
        if (v) lengths_->ShowDots(LengthField::Fourth, SignedWord(*v));
        return v.has_value();
      },
      [&] {
        auto v = slot("1D");
        if (v) SelectIndex(MediafeedoptionsComboBox, *v & 15);
        return v.has_value();
      },
      [&] {
        // This field's four characters are a decimal number.
        const std::optional<std::string> reply = ReadParameterField("35", "00", "07");
        if (!reply) return false;
        const std::optional<int> value = ParseWholeNumber(*reply);
        if (!value) {
          ShowMessageQ(QString::fromStdString(NotAnIntegerText(*reply)), windowTitle(), MsgIcon::Error);
          return false;
        }
        SelectIndex(BackfeedComboBox, *value != 0 ? 1 : 0);
        return true;
      },
      [&] {
        auto v = slot("48");
        if (v) MirrorImageCheckBox->setChecked((*v & 12) != 0);
        return v.has_value();
      },
  };
  for (const Step& step : steps) {
    if (!step()) return;
  }
}

std::optional<ZSetupChoices> TSetPrinter::CurrentChoices() {
  ZSetupChoices choices;
  const std::pair<LengthField, long long ZSetupChoices::*> lengths[] = {
      {LengthField::Width, &ZSetupChoices::widthDots},
      {LengthField::Height, &ZSetupChoices::lengthDots},
      {LengthField::Third, &ZSetupChoices::tearoffDots},
      {LengthField::Fourth, &ZSetupChoices::labelShiftDots},
  };
  for (const auto& [field, member] : lengths) {
    const std::optional<long long> dots = lengths_->CommandDotsOf(field);
    if (!dots) return std::nullopt;
    choices.*member = *dots;
  }
  choices.darkness = DarknessComboBox->currentText().toStdString();
  choices.backfeed = BackfeedComboBox->currentIndex();
  choices.orientation = OrientationComboBox->currentIndex();
  choices.speed = SpeedComboBox->currentIndex();
  choices.mediaType = MediaTypeComboBox->currentIndex();
  choices.handling = MediaHandingComboBox->currentIndex();
  choices.feed = MediafeedoptionsComboBox->currentIndex();
  choices.mirror = MirrorImageCheckBox->isChecked();
  choices.advanced = ContinueCheckBox->isChecked();
  choices.setClock = SetTimeCheckBox->isChecked();
  choices.computerClock = SetComputerTimeRadioButton->isChecked();
  if (choices.computerClock) {
    // The computer's clock at the moment Finish is pressed.
    const QDateTime now = QDateTime::currentDateTime();
    choices.clock = ClockOf(now.date(), now.time());
  } else {
    choices.clock = ClockOf(DateDateTimePicker->date(), TimeDateTimePicker->time());
  }
  return choices;
}

void TSetPrinter::FinishBtnClick() {
  std::optional<std::string> block;
  {
    BusyCursor busy;
    if (const std::optional<ZSetupChoices> choices = CurrentChoices()) block = BuildZSetupBlock(*choices);
  }
  if (!block) return;
  bool sent = false;
  {
    BusyCursor busy;
    sent = SendToPrinter(*block);
  }
  if (!sent) {
    // The settings did not reach the printer: say so and stay open, so that Finish can be retried.
    ShowMessageQ(Tip("SendDataFail"), windowTitle(), MsgIcon::Warning);
    return;
  }
  if (SaveFileCheckBox->isChecked() &&
      !SaveBlockToFile(*SaveFileDialog, this, QByteArray(block->data(), static_cast<int>(block->size())))) {
    return;
  }
  const PortKind kind = Link().currentKind;
  if (kind == PortKind::UsbDevice || kind == PortKind::UsbPrinter) DiscardPendingInput();
  accept();
}

}  // namespace tw
