// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/SetPrinter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <functional>
#include <vector>

#include "core/Pacing.h"
#include "link/DataTransfer.h"
#include "link/ExchangeSteps.h"
#include "link/LinkState.h"
#include "params/ParamProtocol.h"
#include "params/UserParamRows.h"
#include "widgets/JobPanel.h"
#include "widgets/Ui.h"

namespace tw {

using namespace wizard_ui;

namespace {

constexpr const char* kFormName = "SetPrinter";
constexpr char kVersionRequest[] = "~WN01@version~";
constexpr PaceStep kVersionReplyWait{"wait for the version reply in the Z setup wizard", 600};

enum Page { kLabelPage, kSpeedPage, kMediaPage, kAdvancedPage, kClockPage, kSavePage, kPageCount };

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

}  // namespace

TSetPrinter::TSetPrinter(QWidget* parent)
    : TSetupWizard(parent, kFormName, {kMediaPage, kSavePage, {kMediaPage, kClockPage}}) {
  BuildPages();
  CompleteForm(WizardKind::Z,
               {UnitsComboBox,
                {WidthEdit, HeightEdit, TearoffadjustEdit, LabelShiftEdit},
                {WidthUnitLabel, HeightUnitLabel, TearoffadjustUnitLabel, LabelShiftUnitLabel},
                SpeedUnitLabel,
                SpeedComboBox},
               [] { return UnitConverter(ZDensity()); });
}

void TSetPrinter::BuildPages() {
  QWidget* p = pgcPrinterSet;
  AddLabelPage(Items({"厘米", "英寸", "毫米", "点"}));
  AddSpeedPage(3, 31, 20);

  // Page 2: media.
  WizardPage page = AddPage("ts3", "介质", "设置介质参数和处理。");
  MediaTypeComboBox = Combo(p, "MediaTypeComboBox", Items({"连续", "Web检测", "标记感应"}), 0);
  TearoffadjustEdit = Edit(p, "TearoffadjustEdit", "0.00");
  LabelShiftEdit = Edit(p, "LabelShiftEdit", "0.00");
  TearoffadjustUnitLabel = Label(p, "TearoffadjustUnitLabel", "mm");
  LabelShiftUnitLabel = Label(p, "LabelShiftUnitLabel", "mm");
  AddRows(page.body, {{Label(p, "MediaTypeLabel", "跟踪模式:"), MediaTypeComboBox},
                      {Label(p, "TearoffadjustLabel", "撕纸位置调整:"), TearoffadjustEdit, TearoffadjustUnitLabel},
                      {Label(p, "LabelShiftLabel", "标签左右偏移:"), LabelShiftEdit, LabelShiftUnitLabel}});
  AddContinueChoice(page);
  page.body->addStretch(1);

  // Page 3: advanced settings.
  page = AddPage("ts4", "高级设置", "配置打印机高级设置。");
  MediaHandingComboBox = Combo(p, "MediaHandingComboBox", Items({"撕纸", "倒带", "剥纸", "切刀", "应用器"}), 0);
  BackfeedComboBox = Combo(p, "BackfeedComboBox", Items({"不回滚", "默认设置", "在打印之前", "在打印之后"}), 1);
  MirrorImageCheckBox = CheckBox(p, "MirrorImageCheckBox", "镜像打印", false);
  MediafeedoptionsComboBox =
      Combo(p, "MediafeedoptionsComboBox", Items({"进纸到下一标签", "校准介质", "设置标签长度", "不走纸"}), 0);
  QLabel* feedLabel = Label(p, "MediafeedoptionsLabel", "走纸选项");
  AddRows(page.body, {{Label(p, "MediaHandingLabel", "操作模式"), MediaHandingComboBox},
                      {Label(p, "BackfeedLabel", "回滚:"), BackfeedComboBox},
                      {feedLabel, MediafeedoptionsComboBox}});
  // The feed option is not offered to the user, but its value is still sent.
  feedLabel->hide();
  MediafeedoptionsComboBox->hide();
  page.body->addWidget(MirrorImageCheckBox);
  page.body->addStretch(1);

  AddClockPage("ts5");
  AddSavePage("ts6");
}

bool TSetPrinter::ReadPrinterSettings() {
  Reply version;
  RunLinkJob(this, LinkJob::Kind::Read, [&](LinkJob& job) {
    DiscardPendingInput();
    Link().readOnce = true;
    DiscardPendingInput();
    SendToPrinter(kVersionRequest);
    const PortKind kind = Link().currentKind;
    if (kind == PortKind::Serial || kind == PortKind::Parallel || kind == PortKind::Network) {
      Pause(kVersionReplyWait);
    }
    version = ReadReply();
    if (!version.text.empty()) {
      job.OnStartingThread([&] { ShowFirmwareVersion(version.text); });
      ReadParameterSlots(job);
    }
    // Cleared also when a read failed: the one-reply mode must not outlive the wizard's exchanges.
    Link().readOnce = false;
    return !version.text.empty();
  });
  const bool found = !version.text.empty();
  if (!found) FirmwareVersionShowLabel->setText(Messages().readFailed);
  buttons.NextBtn->setEnabled(found);
  buttons.FinishBtn->setEnabled(found);
  return found;
}

void TSetPrinter::ShowFirmwareVersion(const std::string& version) {
  FirmwareVersionShowLabel->setText(
      QString::fromLocal8Bit(version.data(), static_cast<int>(version.size())).trimmed());
}

void TSetPrinter::ReadParameterSlots(LinkJob& job) {
  // Each step reads one slot into its control; a failed read ends the reading, and what was read
  // so far stays in the controls. The controls and messages are the window thread's.
  const auto ui = [&job](const std::function<void()>& show) { job.OnStartingThread(show); };
  // No reply ends the reading quietly; a reply that is not four hexadecimal digits is named in the
  // conversion-error message first.
  auto checkedWord = [this, &ui](const std::optional<std::string>& reply, const char* address) -> std::optional<int> {
    if (!reply || reply->empty()) return std::nullopt;
    const std::string digits = reply->substr(0, reply->find_first_of("\r\n"));
    const std::optional<uint16_t> value = FourHexDigits(reply->substr(0, 4));
    if (!value) {
      ui([&] {
        ShowMessageQ(Messages().slotNotHex.arg(QString::fromLatin1(digits.data(), static_cast<int>(digits.size())),
                                               QString::fromLatin1(address)),
                     windowTitle(), MsgIcon::Error);
      });
      return std::nullopt;
    }
    return *value;
  };
  auto slot = [&](const char* address) { return checkedWord(ReadParameterSlotReply(address), address); };
  using Step = std::function<bool()>;
  const std::vector<Step> steps = {
      [&] {
        auto v = slot("47");
        if (v) ui([&] { Lengths().ShowDots(LengthField::Width, *v); });
        return v.has_value();
      },
      [&] {
        auto v = slot("1C");
        if (v) ui([&] { SelectIndex(MediaHandingComboBox, (*v >> 4) & 15); });
        return v.has_value();
      },
      [&] {
        auto v = slot("1C");
        if (v) ui([&] { SelectIndex(MediaTypeComboBox, *v & 7); });
        return v.has_value();
      },
      [&] {
        // Continuous media has no label length of its own: it has a slot apart.
        bool continuous = false;
        ui([&] { continuous = MediaTypeComboBox->currentIndex() != 0; });
        auto v = slot(continuous ? "1B" : "1E");
        if (v) ui([&] { Lengths().ShowDots(LengthField::Height, *v); });
        return v.has_value();
      },
      [&] {
        auto v = slot("48");
        if (!v) return false;
        ui([&] {
          SelectIndex(OrientationComboBox, *v & 3);
          const int mirror = (*v & 12) >> 2;
          if (mirror == 0 || mirror == 1) MirrorImageCheckBox->setChecked(mirror == 1);
        });
        return true;
      },
      [&] {
        auto v = slot("0F");
        if (v) ui([&] { SelectIndex(SpeedComboBox, SpeedIndexOf(*v)); });
        return v.has_value();
      },
      [&] {
        auto v = slot("12");
        if (v) ui([&] { SelectIndex(DarknessComboBox, *v & 255); });
        return v.has_value();
      },
      [&] {
        auto v = slot("01");
        if (v) ui([&] { Lengths().ShowDots(LengthField::Third, TearoffDots(*v)); });
        return v.has_value();
      },
      [&] {
        auto v = slot("0C");
        if (v) ui([&] { Lengths().ShowDots(LengthField::Fourth, SignedWord(*v)); });
        return v.has_value();
      },
      [&] {
        auto v = slot("1D");
        if (v) ui([&] { SelectIndex(MediafeedoptionsComboBox, *v & 15); });
        return v.has_value();
      },
      [&] {
        // Like every slot answer, the field's four characters are hexadecimal digits.
        auto v = checkedWord(ReadParameterField("35", "00", "07"), "35");
        if (v) ui([&] { SelectIndex(BackfeedComboBox, *v != 0 ? 1 : 0); });
        return v.has_value();
      },
      [&] {
        auto v = slot("48");
        if (v) ui([&] { MirrorImageCheckBox->setChecked((*v & 12) != 0); });
        return v.has_value();
      },
  };
  // The version was the first request.
  const int total = static_cast<int>(steps.size()) + 1;
  for (int i = 0; i < static_cast<int>(steps.size()); ++i) {
    if (!ExchangeStep(i + 1, total) || !steps[i]()) return;
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
    const std::optional<long long> dots = Lengths().CommandDotsOf(field);
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
  choices.computerClock = ComputerClockChosen();
  choices.clock = ChosenClock();
  return choices;
}

std::optional<std::string> TSetPrinter::BuildBlock() {
  const std::optional<ZSetupChoices> choices = CurrentChoices();
  if (!choices) return std::nullopt;
  return BuildZSetupBlock(*choices);
}

void TSetPrinter::AfterFinish() {
  // The printer may have answered on the USB kinds; that input is not wanted.
  const PortKind kind = Link().currentKind;
  if (kind == PortKind::UsbDevice || kind == PortKind::UsbPrinter) DiscardPendingInput();
}

}  // namespace tw
