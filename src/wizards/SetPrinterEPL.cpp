#include "wizards/SetPrinterEPL.h"

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

#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/DataTransfer.h"
#include "link/ReceiveThread.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/Ui.h"
#include "wizards/ReadEplConfiguration.h"

namespace tw {
namespace {

constexpr const char* kFormName = "SetPrinterEPL";

enum Page { kLabelPage, kSpeedPage, kMediaPage, kAdvancedPage, kCodePagePage, kClockPage, kSavePage };

// The darkness list holds "0" to "15".
constexpr int kDarknessLevels = 16;

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

QComboBox* Combo(QWidget* parent, const char* name, const QStringList& items, int selected) {
  auto* combo = Named(new QComboBox(parent), name);
  combo->addItems(items);
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

QCheckBox* CheckBox(QWidget* parent, const char* name, const char* text, bool checked) {
  auto* box = Named(new QCheckBox(QString::fromUtf8(text), parent), name);
  box->setChecked(checked);
  return box;
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

// An index outside the list's entries leaves the list with no selection.
void SelectIndex(QComboBox* combo, int index) {
  combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

template <std::size_t N, class RowType>
QStringList ItemsOf(const std::array<RowType, N>& rows) {
  QStringList items;
  for (const RowType& row : rows) items << Text(row.item);
  return items;
}

QStringList SpeedItems(LengthUnit unit) {
  QStringList items;
  for (std::string_view speed : SpeedList(unit)) items << Text(speed);
  return items;
}

QStringList DarknessItems() {
  QStringList items;
  for (int level = 0; level < kDarknessLevels; ++level) items << QString::number(level);
  return items;
}

EplSetupChoices::Clock ClockOf(const QDate& date, const QTime& time) {
  return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

// Shows the busy cursor for the life of the object.
struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

TSetPrinterEPL::TSetPrinterEPL(QWidget* parent) : QDialog(parent) {
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

  // Every conversion to dots follows the resolution of the printer last read.
  lengths_ = new LengthFields(
      this, WizardKind::E,
      {UnitsComboBox,
       {WidthEdit, HeightEdit, GapHeightEdit, OffsetEdit},
       {WidthUnitLabel, HeightUnitLabel, TearoffadjustUnitLabel, LabelShiftUnitLabel},
       SpeedUnitLabel,
       SpeedComboBox},
      [] { return UnitConverter(DensityForResolution(CurrentEplResolution())); });

  const std::pair<QPushButton*, void (TSetPrinterEPL::*)()> clicks[] = {
      {buttons.HelpBtn, &TSetPrinterEPL::HelpBtnClick},
      {buttons.CancelBtn, &TSetPrinterEPL::CancelBtnClick},
      {buttons.GetPrinterSettinglBtn, &TSetPrinterEPL::GetPrinterSettinglBtnClick},
      {buttons.BackBtn, &TSetPrinterEPL::BackBtnClick},
      {buttons.NextBtn, &TSetPrinterEPL::NextBtnClick},
      {buttons.FinishBtn, &TSetPrinterEPL::FinishBtnClick},
  };
  for (const auto& [button, handler] : clicks) connect(button, &QPushButton::clicked, this, handler);
  connect(SetTimeCheckBox, &QCheckBox::clicked, this, &TSetPrinterEPL::SetTimeCheckBoxClick);
  connect(SetComputerTimeRadioButton, &QRadioButton::clicked, this,
          &TSetPrinterEPL::SetComputerTimeRadioButtonClick);
  connect(SetTimeRadioButton, &QRadioButton::clicked, this, &TSetPrinterEPL::SetTimeRadioButtonClick);
  connect(CodePageComboBox, &QComboBox::activated, this, [this] {
    unlistedCodePage_.reset();  // the user's choice replaces the one read
    CodePageComboBoxChange();
  });
}

void TSetPrinterEPL::BuildPages() {
  QWidget* p = pgcPrinterSet;
  // Page 0: label size and orientation.
  WizardPage page = AddWizardPage(pgcPrinterSet, "ts1", "标签参数", "定义标签宽度，标签高度和旋转");
  UnitsComboBox = Combo(p, "UnitsComboBox", {"厘米", "英寸", "毫米"}, static_cast<int>(kDefaultLengthUnit));
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

  // Page 1: speed and darkness. All five speeds from the start: the printer may report 5 or 6 inches
  // per second, which a shorter list could not show and would then send without a speed.
  page = AddWizardPage(pgcPrinterSet, "ts2", "速度和浓度", "选择打印速度和浓度。");
  SpeedComboBox = Combo(p, "SpeedComboBox", SpeedItems(kDefaultLengthUnit), 0);
  SpeedUnitLabel = Label(p, "SpeedUnitLabel", "mm/s");
  DarknessComboBox = Combo(p, "DarknessComboBox", DarknessItems(), kDarknessLevels - 1);
  AddRows(page.body, {{Label(p, "SpeedLabel", "打印速度:"), SpeedComboBox, SpeedUnitLabel},
                      {Label(p, "DarknessLabel", "打印浓度:"), DarknessComboBox}});
  page.body->addStretch(1);

  // Page 2: media.
  page = AddWizardPage(pgcPrinterSet, "ts3", "介质", "设置介质参数和处理。");
  PrintModeLabel = Label(p, "PrintModeLabel", "打印模式:");
  PrintModeComboBox = Combo(p, "PrintModeComboBox", {"直接", "传送"}, 1);
  MediaTypeComboBox = Combo(p, "MediaTypeComboBox", {"连续", "有标记的标签", "有间距的标签"}, 0);
  GapHeightEdit = Edit(p, "GapHeightEdit", "0.00");
  OffsetEdit = Edit(p, "OffsetEdit", "0.00");
  TearoffadjustUnitLabel = Label(p, "TearoffadjustUnitLabel", "mm");
  LabelShiftUnitLabel = Label(p, "LabelShiftUnitLabel", "mm");
  AddRows(page.body, {{PrintModeLabel, PrintModeComboBox},
                      {Label(p, "MediaTypeLabel", "介质类型:"), MediaTypeComboBox},
                      {Label(p, "GapHeightLabel", "间距长度:"), GapHeightEdit, TearoffadjustUnitLabel},
                      {Label(p, "OffsetLabel", "偏移/标记偏移:"), OffsetEdit, LabelShiftUnitLabel}});
  page.body->addSpacing(8);
  page.body->addWidget(Label(p, "ContinueHintLabel", "配置高级设置，请选中下面的框"));
  ContinueCheckBox = CheckBox(p, "ContinueCheckBox", "继续高级设置", true);
  page.body->addWidget(ContinueCheckBox);
  page.body->addStretch(1);

  // Page 3: advanced settings.
  page = AddWizardPage(pgcPrinterSet, "ts4", "高级设置", "配置打印机高级设置。");
  MediaHandingComboBox = Combo(p, "MediaHandingComboBox", {"无", "剥纸", "无背纸"}, 0);
  AddRows(page.body, {{Label(p, "MediaHandingLabel", "介质处理:"), MediaHandingComboBox}});
  chkTOFBackup = CheckBox(p, "chkTOFBackup", "启用表单顶部备份", true);
  page.body->addWidget(chkTOFBackup);
  page.body->addStretch(1);

  // Page 4: code page.
  page = AddWizardPage(pgcPrinterSet, "ts7", "代码页", "配置打印机代码页。");
  CodePageComboBox = Combo(p, "CodePageComboBox", ItemsOf(kCodePageItems), 0);
  KDULabel = Label(p, "KDULabel", "KDU国家代码:");
  KDUCountryCodeComboBox = Combo(p, "KDUCountryCodeComboBox", ItemsOf(kCountries), 0);
  AddRows(page.body, {{Label(p, "CodePageLabel", "代码页:"), CodePageComboBox}, {KDULabel, KDUCountryCodeComboBox}});
  ErrorReportCheckBox = CheckBox(p, "ErrorReportCheckBox", "启用错误报告", false);
  page.body->addWidget(ErrorReportCheckBox);
  page.body->addStretch(1);

  // Page 5: real-time clock.
  page = AddWizardPage(pgcPrinterSet, "ts5", "实时时钟", "设置实时时钟参数");
  SetTimeCheckBox = CheckBox(p, "SetTimeCheckBox", "设置实时时钟", false);
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

  // Page 6: saving the settings.
  page = AddWizardPage(pgcPrinterSet, "ts6", "保存设置", "定义标签宽度，标签高度和旋转");
  page.body->addWidget(Label(p, "SaveFileHintLabel", "要保存您的设置到文件，请选中下面的框."));
  SaveFileCheckBox = CheckBox(p, "SaveFileCheckBox", "将设置保存到文件", false);
  page.body->addWidget(SaveFileCheckBox);
  page.body->addStretch(1);
}

void TSetPrinterEPL::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  FormShow();
  layout()->activate();  // the relabelled texts take their room before the window is placed
  if (QWidget* owner = parentWidget()) {
    move(owner->window()->frameGeometry().center() - (frameGeometry().center() - pos()));
  }
}

void TSetPrinterEPL::FormShow() {
  // No background read may take the reply to the configuration request.
  Receive_Thread::Stop();
  const QDateTime now = QDateTime::currentDateTime();
  DateDateTimePicker->setDate(now.date());
  TimeDateTimePicker->setTime(now.time());
  InitDialog();
  buttons.NextBtn->setEnabled(false);
  buttons.FinishBtn->setEnabled(false);
  pgcPrinterSet->setCurrentIndex(kLabelPage);
  lengths_->SetCurrentUnitFromList();
}

void TSetPrinterEPL::InitDialog() {
  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QString::fromLatin1(kFormName));
  messages_ = LoadWizardMessages();
  lengths_->SetMessages(messages_);
  SaveFileDialog->title = windowTitle();
}

void TSetPrinterEPL::HelpBtnClick() { OpenHelp(CurrentLanguage()); }

void TSetPrinterEPL::CancelBtnClick() { reject(); }

int TSetPrinterEPL::CurrentPage() const { return pgcPrinterSet->currentIndex(); }

void TSetPrinterEPL::BackBtnClick() { RefreshDialog(Direction::Back); }

void TSetPrinterEPL::NextBtnClick() { RefreshDialog(Direction::Next); }

void TSetPrinterEPL::RefreshDialog(Direction direction) {
  const int page = CurrentPage();
  const bool advanced = ContinueCheckBox->isChecked();
  int target = page;
  if (direction == Direction::Back && page > kLabelPage) {
    target = page == kSavePage && !advanced ? kMediaPage : page - 1;
  } else if (direction == Direction::Next && page < kSavePage) {
    // Without the advanced settings the advanced, code-page and clock pages are skipped.
    target = page == kMediaPage && !advanced ? kSavePage : page + 1;
  }
  pgcPrinterSet->setCurrentIndex(target);
  switch (target) {
    case kLabelPage: buttons.BackBtn->setEnabled(false); break;
    case kSpeedPage: buttons.BackBtn->setEnabled(true); break;
    case kMediaPage:
    case kCodePagePage:
    case kClockPage: buttons.NextBtn->setEnabled(true); break;
    case kSavePage: buttons.NextBtn->setEnabled(false); break;
    default: break;
  }
}

void TSetPrinterEPL::EnableClockControls() {
  const bool setClock = SetTimeCheckBox->isChecked();
  SetComputerTimeRadioButton->setEnabled(setClock);
  SetTimeRadioButton->setEnabled(setClock);
  const bool pickers = setClock && SetTimeRadioButton->isChecked();
  DateDateTimePicker->setEnabled(pickers);
  TimeDateTimePicker->setEnabled(pickers);
}

void TSetPrinterEPL::SetTimeCheckBoxClick() { EnableClockControls(); }
void TSetPrinterEPL::SetComputerTimeRadioButtonClick() { EnableClockControls(); }
void TSetPrinterEPL::SetTimeRadioButtonClick() { EnableClockControls(); }
void TSetPrinterEPL::UnitsComboBoxChange() { lengths_->UnitsComboBoxChange(); }

void TSetPrinterEPL::CodePageComboBoxChange() { ShowCountryCode(CountryCodeApplies(CodePageComboBox->currentIndex())); }

void TSetPrinterEPL::ShowCountryCode(bool visible) {
  KDULabel->setVisible(visible);
  KDUCountryCodeComboBox->setVisible(visible);
}

void TSetPrinterEPL::GetPrinterSettinglBtnClick() {
  BusyCursor busy;
  ReadPrinterSettings();
}

bool TSetPrinterEPL::ReadPrinterSettings() {
  const EplConfiguration configuration = ReadEplConfiguration(lengths_->CurrentUnit());
  const bool found = configuration.VersionFound();
  buttons.NextBtn->setEnabled(found);
  buttons.FinishBtn->setEnabled(found);
  if (!found) {
    FirmwareVersionShowLabel->setText(messages_.readFailed);
    return false;
  }
  const std::string& version = *configuration.firmwareVersion;
  FirmwareVersionShowLabel->setText(QString::fromLocal8Bit(version.data(), static_cast<int>(version.size())).trimmed());
  ShowConfiguration(configuration);
  if (!configuration.conversionError.empty()) {
    ShowMessageQ(Text(configuration.conversionError), windowTitle(), MsgIcon::Error);
  }
  return true;
}

// Every control the reading reached takes its value; the others keep theirs.
void TSetPrinterEPL::ShowConfiguration(const EplConfiguration& c) {
  if (c.printModeVisible) {
    PrintModeLabel->setVisible(*c.printModeVisible);
    PrintModeComboBox->setVisible(*c.printModeVisible);
  }
  const std::pair<const std::optional<int>&, QComboBox*> lists[] = {
      {c.orientationIndex, OrientationComboBox}, {c.mediaTypeIndex, MediaTypeComboBox},
      {c.darknessIndex, DarknessComboBox},       {c.speedIndex, SpeedComboBox},
      {c.mediaHandlingIndex, MediaHandingComboBox}, {c.codePageIndex, CodePageComboBox},
      {c.countryIndex, KDUCountryCodeComboBox},
  };
  for (const auto& [index, combo] : lists) {
    if (index) SelectIndex(combo, *index);
  }
  const std::pair<const std::optional<ReadLength>&, LengthField> lengths[] = {
      {c.width, LengthField::Width},
      {c.height, LengthField::Height},
      {c.offset, LengthField::Fourth},
      {c.gap, LengthField::Third},
  };
  for (const auto& [length, field] : lengths) {
    if (length) lengths_->ShowDots(field, length->dots);
  }
  if (c.tofBackup) chkTOFBackup->setChecked(*c.tofBackup);
  if (c.codePageIndex) {
    if (CodePageComboBox->currentIndex() < 0) {
      unlistedCodePage_ = *c.codePageIndex;
    } else {
      unlistedCodePage_.reset();
    }
  }
  if (c.countryVisible) ShowCountryCode(*c.countryVisible);
}

std::optional<EplSetupChoices> TSetPrinterEPL::CurrentChoices() {
  EplSetupChoices choices;
  choices.mediaType = MediaTypeComboBox->currentIndex();
  // Continuous media sends a fixed label line: its length fields are not read.
  const bool labels = choices.mediaType == 1 || choices.mediaType == 2;
  const std::pair<LengthField, long long EplSetupChoices::*> lengths[] = {
      {LengthField::Width, &EplSetupChoices::widthDots},
      {LengthField::Height, &EplSetupChoices::lengthDots},
      {LengthField::Third, &EplSetupChoices::gapDots},
      {LengthField::Fourth, &EplSetupChoices::offsetDots},
  };
  for (const auto& [field, member] : lengths) {
    if (field != LengthField::Width && !labels) continue;
    const std::optional<long long> dots = lengths_->CommandDotsOf(field);
    if (!dots) return std::nullopt;
    choices.*member = *dots;
  }
  choices.orientation = OrientationComboBox->currentIndex();
  choices.speed = SpeedComboBox->currentIndex();
  choices.darkness = DarknessComboBox->currentText().toStdString();
  choices.printMode = PrintModeComboBox->currentIndex();
  choices.handling = MediaHandingComboBox->currentIndex();
  choices.errorReport = ErrorReportCheckBox->isChecked();
  const int codePage = CodePageComboBox->currentIndex();
  choices.codePage = codePage >= 0 ? codePage : unlistedCodePage_.value_or(-1);
  choices.country = KDUCountryCodeComboBox->currentIndex();
  choices.tofBackup = chkTOFBackup->isChecked();
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

void TSetPrinterEPL::FinishBtnClick() {
  std::optional<std::string> block;
  {
    BusyCursor busy;
    if (const std::optional<EplSetupChoices> choices = CurrentChoices()) block = BuildEplSetupBlock(*choices);
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
  accept();
}

}  // namespace tw
