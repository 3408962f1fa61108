// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/SetupWizard.h"

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
#include <algorithm>

#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/DataTransfer.h"
#include "link/ReceiveThread.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/JobPanel.h"
#include "widgets/Ui.h"

namespace tw {

using namespace wizard_ui;

namespace wizard_ui {

QComboBox* Combo(QWidget* parent, const char* name, const QStringList& items, int selected) {
  auto* combo = Named(new QComboBox(parent), name);
  combo->addItems(items);
  combo->setCurrentIndex(selected);
  return combo;
}

QStringList Items(std::initializer_list<const char*> items) {
  QStringList list;
  for (const char* item : items) list << QString::fromUtf8(item);
  return list;
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

QStringList SpeedItems(LengthUnit unit) {
  QStringList items;
  for (std::string_view speed : SpeedList(unit)) items << QString::fromLatin1(speed.data(), static_cast<int>(speed.size()));
  return items;
}

void AddRows(QVBoxLayout* body, std::initializer_list<Row> rows) {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  int line = 0;
  for (const Row& row : rows) {
    row.caption->setBuddy(row.control);  // the caption names the control in messages
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

}  // namespace wizard_ui

TSetupWizard::TSetupWizard(QWidget* parent, const char* formName, PageRoles roles)
    : QDialog(parent), formName_(QString::fromLatin1(formName)), roles_(std::move(roles)) {
  setObjectName(formName_);
  setWindowTitle(QStringLiteral("设置打印机"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  auto* form = new QVBoxLayout(this);
  form->setContentsMargins(8, 8, 8, 8);
  // A fixed border: the window takes the size its pages and buttons need in the current language.
  form->setSizeConstraint(QLayout::SetFixedSize);
  pgcPrinterSet = Named(new QStackedWidget(this), "pgcPrinterSet");
  form->addWidget(pgcPrinterSet, 1);
  SaveFileDialog = new TFileDialog(this, QStringLiteral("SaveFileDialog"), TFileDialog::Mode::Save,
                                   QStringLiteral("文本文件(*.txt)|*.txt|所有文件(*.*)|*.*"));
}

void TSetupWizard::CompleteForm(WizardKind kind, const LengthFields::Controls& lengthControls,
                                std::function<UnitConverter()> converter) {
  buttons = AddWizardButtons(this, static_cast<QBoxLayout*>(layout()));
  buttons.BackBtn->setEnabled(false);
  lengths_ = new LengthFields(this, kind, lengthControls, std::move(converter));
  lengths_->NoCheckWhenFocusGoesTo({buttons.CancelBtn, buttons.HelpBtn});

  const std::pair<QPushButton*, void (TSetupWizard::*)()> clicks[] = {
      {buttons.HelpBtn, &TSetupWizard::HelpBtnClick},
      {buttons.CancelBtn, &TSetupWizard::CancelBtnClick},
      {buttons.GetPrinterSettinglBtn, &TSetupWizard::GetPrinterSettinglBtnClick},
      {buttons.BackBtn, &TSetupWizard::BackBtnClick},
      {buttons.NextBtn, &TSetupWizard::NextBtnClick},
      {buttons.FinishBtn, &TSetupWizard::FinishBtnClick},
  };
  for (const auto& [button, handler] : clicks) connect(button, &QPushButton::clicked, this, handler);
  connect(SetTimeCheckBox, &QCheckBox::clicked, this, &TSetupWizard::SetTimeCheckBoxClick);
  connect(SetComputerTimeRadioButton, &QRadioButton::clicked, this, &TSetupWizard::SetComputerTimeRadioButtonClick);
  connect(SetTimeRadioButton, &QRadioButton::clicked, this, &TSetupWizard::SetTimeRadioButtonClick);
}

WizardPage TSetupWizard::AddPage(const char* sheetName, const char* title, const char* description) {
  return AddWizardPage(pgcPrinterSet, sheetName, title, description);
}

void TSetupWizard::AddLabelPage(const QStringList& units) {
  QWidget* p = pgcPrinterSet;
  const WizardPage page = AddPage("ts1", "标签参数", "定义标签宽度，标签高度和旋转");
  UnitsComboBox = Combo(p, "UnitsComboBox", units, static_cast<int>(kDefaultLengthUnit));
  WidthEdit = Edit(p, "WidthEdit", "56.00");
  HeightEdit = Edit(p, "HeightEdit", "12.50");
  WidthUnitLabel = Label(p, "WidthUnitLabel", "mm");
  HeightUnitLabel = Label(p, "HeightUnitLabel", "mm");
  OrientationComboBox = Combo(p, "OrientationComboBox", Items({"正常", "旋转180读"}), 0);
  FirmwareVersionLabel = Label(p, "FirmwareVersionLabel", "固件版本:");
  FirmwareVersionShowLabel = Label(p, "FirmwareVersionShowLabel", "尚未读取");
  FirmwareVersionShowLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  AddRows(page.body, {{Label(p, "UnitsLabel", "单位:"), UnitsComboBox},
                      {Label(p, "WidthLabel", "标签宽度:"), WidthEdit, WidthUnitLabel},
                      {Label(p, "HeightLabel", "标签高度:"), HeightEdit, HeightUnitLabel},
                      {Label(p, "OrientationLabel", "方向:"), OrientationComboBox},
                      {FirmwareVersionLabel, FirmwareVersionShowLabel}});
  page.body->addStretch(1);
}

void TSetupWizard::AddSpeedPage(int speedIndex, int darknessLevels, int darknessIndex) {
  QWidget* p = pgcPrinterSet;
  const WizardPage page = AddPage("ts2", "速度和浓度", "选择打印速度和浓度。");
  SpeedComboBox = Combo(p, "SpeedComboBox", SpeedItems(kDefaultLengthUnit), speedIndex);
  SpeedUnitLabel = Label(p, "SpeedUnitLabel", "mm/s");
  QStringList levels;
  for (int level = 0; level < darknessLevels; ++level) levels << QString::number(level);
  DarknessComboBox = Combo(p, "DarknessComboBox", levels, darknessIndex);
  AddRows(page.body, {{Label(p, "SpeedLabel", "打印速度:"), SpeedComboBox, SpeedUnitLabel},
                      {Label(p, "DarknessLabel", "打印浓度:"), DarknessComboBox}});
  page.body->addStretch(1);
}

void TSetupWizard::AddContinueChoice(const WizardPage& page) {
  page.body->addSpacing(8);
  page.body->addWidget(Label(pgcPrinterSet, "ContinueHintLabel", "配置高级设置，请选中下面的框"));
  ContinueCheckBox = CheckBox(pgcPrinterSet, "ContinueCheckBox", "继续高级设置", true);
  page.body->addWidget(ContinueCheckBox);
}

void TSetupWizard::AddClockPage(const char* sheetName) {
  QWidget* p = pgcPrinterSet;
  const WizardPage page = AddPage(sheetName, "实时时钟", "设置实时时钟参数");
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
}

void TSetupWizard::AddSavePage(const char* sheetName) {
  const WizardPage page = AddPage(sheetName, "保存设置", "定义标签宽度，标签高度和旋转");
  page.body->addWidget(Label(pgcPrinterSet, "SaveFileHintLabel", "要保存您的设置到文件，请选中下面的框."));
  SaveFileCheckBox = CheckBox(pgcPrinterSet, "SaveFileCheckBox", "将设置保存到文件", false);
  page.body->addWidget(SaveFileCheckBox);
  page.body->addStretch(1);
}

void TSetupWizard::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  FormShow();
  // The page stack keeps the sizes its hidden pages had before the relabelling: asked again, it
  // sizes the window for the tallest page as it now reads, and the height stays from page to page.
  for (int page = 0; page < pgcPrinterSet->count(); ++page) {
    QWidget* sheet = pgcPrinterSet->widget(page);
    for (QLayout* inner : sheet->findChildren<QLayout*>()) inner->invalidate();
    sheet->updateGeometry();
  }
  layout()->invalidate();
  layout()->activate();  // the relabelled texts take their room before the window is placed
  CentreOnOwner(this);
}

void TSetupWizard::FormShow() {
  // No background read may take the replies to the wizard's requests.
  Receive_Thread::Stop();
  lengths_->SetCurrentUnitFromList();
  const QDateTime now = QDateTime::currentDateTime();
  DateDateTimePicker->setDate(now.date());
  TimeDateTimePicker->setTime(now.time());
  InitDialog();
  buttons.NextBtn->setEnabled(false);
  buttons.FinishBtn->setEnabled(false);
  pgcPrinterSet->setCurrentIndex(0);
}

void TSetupWizard::InitDialog() {
  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), formName_);
  messages_ = LoadWizardMessages();
  lengths_->SetMessages(messages_);
  SaveFileDialog->title = windowTitle();
}

void TSetupWizard::HelpBtnClick() { OpenHelp(CurrentLanguage()); }
void TSetupWizard::CancelBtnClick() { reject(); }
int TSetupWizard::CurrentPage() const { return pgcPrinterSet->currentIndex(); }
void TSetupWizard::BackBtnClick() { RefreshDialog(Direction::Back); }
void TSetupWizard::NextBtnClick() { RefreshDialog(Direction::Next); }
void TSetupWizard::SetTimeCheckBoxClick() { EnableClockControls(); }
void TSetupWizard::SetComputerTimeRadioButtonClick() { EnableClockControls(); }
void TSetupWizard::SetTimeRadioButtonClick() { EnableClockControls(); }
void TSetupWizard::UnitsComboBoxChange() { lengths_->UnitsComboBoxChange(); }

void TSetupWizard::GetPrinterSettinglBtnClick() { ReadPrinterSettings(); }

void TSetupWizard::RefreshDialog(Direction direction) {
  const int page = CurrentPage();
  const bool advanced = ContinueCheckBox->isChecked();
  int target = page;
  if (direction == Direction::Back && page > 0) {
    target = page == roles_.save && !advanced ? roles_.media : page - 1;
  } else if (direction == Direction::Next && page < roles_.save) {
    // Without the advanced settings the pages between the media and the save page are skipped.
    target = page == roles_.media && !advanced ? roles_.save : page + 1;
  }
  pgcPrinterSet->setCurrentIndex(target);
  if (target == 0) buttons.BackBtn->setEnabled(false);
  if (target == 1) buttons.BackBtn->setEnabled(true);
  const auto& enabling = roles_.enableNext;
  if (std::find(enabling.begin(), enabling.end(), target) != enabling.end()) buttons.NextBtn->setEnabled(true);
  if (target == roles_.save) buttons.NextBtn->setEnabled(false);
}

void TSetupWizard::EnableClockControls() {
  const bool setClock = SetTimeCheckBox->isChecked();
  SetComputerTimeRadioButton->setEnabled(setClock);
  SetTimeRadioButton->setEnabled(setClock);
  const bool pickers = setClock && SetTimeRadioButton->isChecked();
  DateDateTimePicker->setEnabled(pickers);
  TimeDateTimePicker->setEnabled(pickers);
}

bool TSetupWizard::ComputerClockChosen() const { return SetComputerTimeRadioButton->isChecked(); }

ClockTime TSetupWizard::ChosenClock() const {
  // The computer's clock is taken at the moment Finish is pressed.
  const QDateTime now = QDateTime::currentDateTime();
  const QDate date = ComputerClockChosen() ? now.date() : DateDateTimePicker->date();
  const QTime time = ComputerClockChosen() ? now.time() : TimeDateTimePicker->time();
  return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

void TSetupWizard::FinishBtnClick() {
  std::optional<std::string> block;
  bool sent = false;
  block = BuildBlock();
  if (!block) return;
  // Sent means taken by the printer: on the network, acknowledged (a vanished printer is not).
  // Once begun, the block goes out whole.
  const LinkJob::Outcome outcome = RunLinkJob(this, LinkJob::Kind::CheckedWrite, [&](LinkJob&) {
    sent = SendToPrinter(*block) && AwaitDelivery();
    return sent;
  });
  if (outcome == LinkJob::Outcome::Busy) return;  // the user has been told; Finish stays for later
  if (!sent) {
    // The settings did not reach the printer: say so and stay open, so that Finish can be retried.
    ShowMessageQ(Tip("SendDataFail"), windowTitle(), MsgIcon::Warning);
    return;
  }
  // The printer has the block: a save that was cancelled or failed does not keep the wizard open
  // (a second Finish would send the block again); the user is told what happened.
  if (SaveFileCheckBox->isChecked() &&
      !SaveBlockToFile(*SaveFileDialog, this, QByteArray(block->data(), static_cast<int>(block->size())))) {
    ShowMessageQ(messages_.sentNotSaved, windowTitle(), MsgIcon::Information);
  }
  AfterFinish();
  accept();
}

}  // namespace tw
