// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/SetPrinterEPL.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "widgets/JobPanel.h"
#include "widgets/Ui.h"
#include "wizards/ReadEplConfiguration.h"

namespace tw {

using namespace wizard_ui;

namespace {

constexpr const char* kFormName = "SetPrinterEPL";

enum Page { kLabelPage, kSpeedPage, kMediaPage, kAdvancedPage, kCodePagePage, kClockPage, kSavePage };

// The darkness list holds "0" to "15".
constexpr int kDarknessLevels = 16;

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

template <std::size_t N, class RowType>
QStringList ItemsOf(const std::array<RowType, N>& rows) {
  QStringList items;
  for (const RowType& row : rows) items << Text(row.item);
  return items;
}

}  // namespace

TSetPrinterEPL::TSetPrinterEPL(QWidget* parent)
    : TSetupWizard(parent, kFormName, {kMediaPage, kSavePage, {kMediaPage, kCodePagePage, kClockPage}}) {
  BuildPages();
  // Every conversion to dots follows the resolution of the printer last read.
  CompleteForm(WizardKind::E,
               {UnitsComboBox,
                {WidthEdit, HeightEdit, GapHeightEdit, OffsetEdit},
                {WidthUnitLabel, HeightUnitLabel, TearoffadjustUnitLabel, LabelShiftUnitLabel},
                SpeedUnitLabel,
                SpeedComboBox},
               [] { return UnitConverter(DensityForResolution(CurrentEplResolution())); });
  connect(CodePageComboBox, &QComboBox::activated, this, [this] {
    unlistedCodePage_.reset();  // the user's choice replaces the one read
    CodePageComboBoxChange();
  });
}

void TSetPrinterEPL::BuildPages() {
  QWidget* p = pgcPrinterSet;
  AddLabelPage(Items({"厘米", "英寸", "毫米"}));
  AddSpeedPage(0, kDarknessLevels, kDarknessLevels - 1);

  // Page 2: media.
  WizardPage page = AddPage("ts3", "介质", "设置介质参数和处理。");
  PrintModeLabel = Label(p, "PrintModeLabel", "打印模式:");
  PrintModeComboBox = Combo(p, "PrintModeComboBox", Items({"直接", "传送"}), 1);
  MediaTypeComboBox = Combo(p, "MediaTypeComboBox", Items({"连续", "有标记的标签", "有间距的标签"}), 0);
  GapHeightEdit = Edit(p, "GapHeightEdit", "0.00");
  OffsetEdit = Edit(p, "OffsetEdit", "0.00");
  TearoffadjustUnitLabel = Label(p, "TearoffadjustUnitLabel", "mm");
  LabelShiftUnitLabel = Label(p, "LabelShiftUnitLabel", "mm");
  AddRows(page.body, {{PrintModeLabel, PrintModeComboBox},
                      {Label(p, "MediaTypeLabel", "介质类型:"), MediaTypeComboBox},
                      {Label(p, "GapHeightLabel", "间距长度:"), GapHeightEdit, TearoffadjustUnitLabel},
                      {Label(p, "OffsetLabel", "偏移/标记偏移:"), OffsetEdit, LabelShiftUnitLabel}});
  AddContinueChoice(page);
  page.body->addStretch(1);

  // Page 3: advanced settings.
  page = AddPage("ts4", "高级设置", "配置打印机高级设置。");
  MediaHandingComboBox = Combo(p, "MediaHandingComboBox", Items({"无", "剥纸", "无背纸"}), 0);
  AddRows(page.body, {{Label(p, "MediaHandingLabel", "介质处理:"), MediaHandingComboBox}});
  chkTOFBackup = CheckBox(p, "chkTOFBackup", "启用表单顶部备份", true);
  page.body->addWidget(chkTOFBackup);
  page.body->addStretch(1);

  // Page 4: code page.
  page = AddPage("ts7", "代码页", "配置打印机代码页。");
  CodePageComboBox = Combo(p, "CodePageComboBox", ItemsOf(kCodePageItems), 0);
  KDULabel = Label(p, "KDULabel", "KDU国家代码:");
  KDUCountryCodeComboBox = Combo(p, "KDUCountryCodeComboBox", ItemsOf(kCountries), 0);
  AddRows(page.body, {{Label(p, "CodePageLabel", "代码页:"), CodePageComboBox}, {KDULabel, KDUCountryCodeComboBox}});
  ErrorReportCheckBox = CheckBox(p, "ErrorReportCheckBox", "启用错误报告", false);
  page.body->addWidget(ErrorReportCheckBox);
  page.body->addStretch(1);

  AddClockPage("ts5");
  AddSavePage("ts6");
}

void TSetPrinterEPL::CodePageComboBoxChange() { ShowCountryCode(CountryCodeApplies(CodePageComboBox->currentIndex())); }

void TSetPrinterEPL::ShowCountryCode(bool visible) {
  KDULabel->setVisible(visible);
  KDUCountryCodeComboBox->setVisible(visible);
}

bool TSetPrinterEPL::ReadPrinterSettings() {
  const LengthUnit unit = Lengths().CurrentUnit();
  EplConfiguration configuration;
  RunLinkJob(this, LinkJob::Kind::Read, [&](LinkJob&) {
    configuration = ReadEplConfiguration(unit);
    return true;
  });
  const bool found = configuration.VersionFound();
  buttons.NextBtn->setEnabled(found);
  buttons.FinishBtn->setEnabled(found);
  if (!found) {
    FirmwareVersionShowLabel->setText(Messages().readFailed);
    return false;
  }
  const std::string& version = *configuration.firmwareVersion;
  FirmwareVersionShowLabel->setText(QString::fromLocal8Bit(version.data(), static_cast<int>(version.size())).trimmed());
  ShowConfiguration(configuration);
  if (!configuration.conversionError.empty()) {
    ShowMessageQ(Messages().replyNotANumber.arg(Text(configuration.unreadText), Text(configuration.unreadSource)),
                 windowTitle(), MsgIcon::Error);
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
    if (length) Lengths().ShowDots(field, length->dots);
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
    const std::optional<long long> dots = Lengths().CommandDotsOf(field);
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
  choices.computerClock = ComputerClockChosen();
  choices.clock = ChosenClock();
  return choices;
}

std::optional<std::string> TSetPrinterEPL::BuildBlock() {
  const std::optional<EplSetupChoices> choices = CurrentChoices();
  if (!choices) return std::nullopt;
  return BuildEplSetupBlock(*choices);
}

}  // namespace tw
