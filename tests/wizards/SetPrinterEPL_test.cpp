// SPDX-License-Identifier: GPL-3.0-or-later
// The E setup wizard against the virtual E printer over loopback TCP: its pages and defaults in the
// three languages, the navigation, reading the printer's configuration at 203 and 300 dpi, and Finish
// (the block sent and saved) for the documented choices.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QtTest/QTest>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"
#include "wizards/SetPrinterEPL.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using U = LengthUnit;

// Lists the 300 dpi model of the virtual printer's presets, which also offers the print mode.
constexpr char kSysOption[] =
    "[Resolution300]\r\nNum=1\r\nName1=QRT-T3\r\n"
    "[PrintTranserMode]\r\nNum=1\r\nName1=QRT-T3\r\n";

// The program folder of the test: the delivered language files and a SysOption.ini of its own.
void PrepareProgramDir(const test::TempDir& dir) {
  InitProgramDirFromExecutable();
  fs::copy(ProgramDir() / "Language", dir / "Language", fs::copy_options::recursive);
  dir.Write("lib/SysOption.ini", kSysOption);
  SetProgramDir(dir.path());
}

sim::PrinterOptions EPrinter(const std::string& preset) {
  sim::PrinterOptions options;
  options.personality = sim::Personality::E;
  options.configuration = sim::FindConfigurationPreset(preset)->configuration;
  return options;
}

class SetPrinterEPLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareProgramDir(dir_);
    SetCurrentLanguage(kLanguageEnglish);
    LoadCatalogSection("Tips");
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
    SetCurrentEplResolution(0);
  }
  void TearDown() override {
    SetFileChooser({});
    ResetLink({});
    SetCurrentEplResolution(0);
  }
  void Connect(sim::VirtualPrinter& printer) { ASSERT_TRUE(test::ConnectLink(printer, test::Transport::Tcp)); }
  void Show() {
    wizard_.show();
    QApplication::processEvents();
  }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void ChooseUnit(U unit) {
    wizard_.UnitsComboBox->setCurrentIndex(static_cast<int>(unit));
    wizard_.UnitsComboBoxChange();
  }
  // The documented example: 56.00 x 12.50 mm gap labels with 3.00 mm gaps, lowest speed, darkness
  // 15, transfer printing, U.S.A., top-of-form backup, no clock.
  void ChooseExample() {
    wizard_.WidthEdit->setText("56.00");
    wizard_.HeightEdit->setText("12.50");
    wizard_.GapHeightEdit->setText("3.00");
    wizard_.OffsetEdit->setText("0.00");
    wizard_.MediaTypeComboBox->setCurrentIndex(2);
    wizard_.OrientationComboBox->setCurrentIndex(0);
    wizard_.SpeedComboBox->setCurrentIndex(0);
    wizard_.DarknessComboBox->setCurrentIndex(15);
    wizard_.PrintModeComboBox->setCurrentIndex(1);
    wizard_.MediaHandingComboBox->setCurrentIndex(0);
    wizard_.ErrorReportCheckBox->setChecked(false);
    wizard_.CodePageComboBox->setCurrentIndex(0);
    wizard_.KDUCountryCodeComboBox->setCurrentIndex(16);
    wizard_.chkTOFBackup->setChecked(true);
    wizard_.SetTimeCheckBox->setChecked(false);
  }
  // Finish, and what the printer received.
  std::string Finish(sim::VirtualPrinter& printer) {
    printer.ClearReceived();
    wizard_.FinishBtnClick();
    printer.WaitForReceived(1, 3000);
    // A block is one write: once its first bytes are there, the rest follows at once.
    std::size_t before = 0;
    while (printer.Received().size() != before) {
      before = printer.Received().size();
      printer.WaitForReceived(before + 1, 100);
    }
    return printer.Received();
  }
  std::vector<test::MessageRecorder::Shown> Shown() const { return messages_.shown(); }

  test::TempDir dir_;
  test::ScopedFastPacer pacer_{0.1, 0.05};
  test::MessageRecorder messages_;
  TSetPrinterEPL wizard_{nullptr};
};

const std::string kExampleAt203 = "q448\r\nQ100,24+0\r\nZT\r\nS2\r\nD15\r\nO\r\nUN\r\nI8,0,001\r\nJF\r\n";

// ---- Pages, defaults, languages ----

TEST_F(SetPrinterEPLTest, OpensOnTheFirstPageWithTheDefaultsAndNextAndFinishDisabled) {
  Show();
  EXPECT_EQ(wizard_.objectName(), "SetPrinterEPL");
  EXPECT_EQ(wizard_.pgcPrinterSet->count(), 7);
  EXPECT_EQ(wizard_.CurrentPage(), 0);
  EXPECT_FALSE(wizard_.buttons.NextBtn->isEnabled());
  EXPECT_FALSE(wizard_.buttons.FinishBtn->isEnabled());
  EXPECT_FALSE(wizard_.buttons.BackBtn->isEnabled());
  EXPECT_EQ(wizard_.UnitsComboBox->currentIndex(), 2);
  EXPECT_EQ(wizard_.WidthEdit->text(), "56.00");
  EXPECT_EQ(wizard_.HeightEdit->text(), "12.50");
  EXPECT_EQ(wizard_.GapHeightEdit->text(), "0.00");
  EXPECT_EQ(wizard_.OffsetEdit->text(), "0.00");
  EXPECT_EQ(wizard_.OrientationComboBox->currentIndex(), 0);
  EXPECT_EQ(wizard_.SpeedComboBox->currentIndex(), 0);
  EXPECT_EQ(wizard_.DarknessComboBox->currentText(), "15");
  EXPECT_EQ(wizard_.PrintModeComboBox->currentIndex(), 1);
  EXPECT_FALSE(wizard_.PrintModeComboBox->isHidden());
  EXPECT_EQ(wizard_.MediaTypeComboBox->currentIndex(), 0);
  EXPECT_TRUE(wizard_.ContinueCheckBox->isChecked());
  EXPECT_EQ(wizard_.MediaHandingComboBox->currentIndex(), 0);
  EXPECT_TRUE(wizard_.chkTOFBackup->isChecked());
  EXPECT_EQ(wizard_.CodePageComboBox->currentIndex(), 0);
  EXPECT_EQ(wizard_.CodePageComboBox->itemText(18), "Hebrew(1255)");
  EXPECT_EQ(wizard_.KDUCountryCodeComboBox->currentIndex(), 0);
  EXPECT_EQ(wizard_.KDUCountryCodeComboBox->itemText(16), "U.S.A.");
  EXPECT_FALSE(wizard_.ErrorReportCheckBox->isChecked());
  EXPECT_FALSE(wizard_.SetTimeCheckBox->isChecked());
  EXPECT_FALSE(wizard_.SetComputerTimeRadioButton->isEnabled());
  EXPECT_FALSE(wizard_.DateDateTimePicker->isEnabled());
  EXPECT_EQ(wizard_.DateDateTimePicker->date(), QDate::currentDate());
  EXPECT_FALSE(wizard_.SaveFileCheckBox->isChecked());
  for (int page = 0; page < wizard_.pgcPrinterSet->count(); ++page) {
    EXPECT_NE(wizard_.pgcPrinterSet->widget(page)->findChild<WizardBanner*>(), nullptr) << page;
  }
}

// Every list keeps its entries and its selection in every language, and nothing is cut. With
// TW_SCREENSHOT_DIR set, every page is also saved there as a picture.
TEST_F(SetPrinterEPLTest, EachLanguageRelabelsEveryListAndEveryTextFits) {
  const std::pair<QComboBox* TSetPrinterEPL::*, int> lists[] = {
      {&TSetPrinterEPL::UnitsComboBox, 3},        {&TSetPrinterEPL::OrientationComboBox, 2},
      {&TSetPrinterEPL::SpeedComboBox, 5},        {&TSetPrinterEPL::DarknessComboBox, 16},
      {&TSetPrinterEPL::PrintModeComboBox, 2},    {&TSetPrinterEPL::MediaTypeComboBox, 3},
      {&TSetPrinterEPL::MediaHandingComboBox, 3}, {&TSetPrinterEPL::CodePageComboBox, 19},
      {&TSetPrinterEPL::KDUCountryCodeComboBox, 17}};
  const char* screenshots = std::getenv("TW_SCREENSHOT_DIR");
  const char* names[] = {"Simple", "Traditional", "English"};
  for (int language : {kLanguageSimplified, kLanguageTraditional, kLanguageEnglish}) {
    SCOPED_TRACE(names[language]);
    SetCurrentLanguage(language);
    TSetPrinterEPL wizard(nullptr);
    wizard.show();
    QApplication::processEvents();
    for (const auto& [list, count] : lists) EXPECT_EQ((wizard.*list)->count(), count);
    EXPECT_EQ(wizard.DarknessComboBox->currentText(), "15");
    EXPECT_EQ(wizard.PrintModeComboBox->currentIndex(), 1);
    EXPECT_EQ(wizard.UnitsComboBox->currentIndex(), 2);
    const int height = wizard.height();  // one height on every page
    for (int page = 0; page < wizard.pgcPrinterSet->count(); ++page) {
      wizard.pgcPrinterSet->setCurrentIndex(page);
      QApplication::processEvents();
      EXPECT_EQ(wizard.height(), height) << "page " << page;
      for (QWidget* widget : wizard.findChildren<QWidget*>()) {
        if (!widget->isVisible() || widget->objectName().isEmpty()) continue;
        EXPECT_GE(widget->width(), widget->minimumSizeHint().width()) << widget->objectName().toStdString();
      }
      if (screenshots) {
        QDir().mkpath(screenshots);
        wizard.grab().save(QString("%1/SetPrinterEPL_%2_page%3.png").arg(screenshots, names[language]).arg(page));
      }
    }
  }
}

// ---- Navigation ----

TEST_F(SetPrinterEPLTest, NextAndBackWalkAllSevenPages) {
  Show();
  wizard_.buttons.NextBtn->setEnabled(true);
  for (int page = 1; page <= 6; ++page) {
    wizard_.NextBtnClick();
    EXPECT_EQ(wizard_.CurrentPage(), page);
    EXPECT_TRUE(wizard_.buttons.BackBtn->isEnabled());
  }
  EXPECT_FALSE(wizard_.buttons.NextBtn->isEnabled()) << "the last page has no Next";
  for (int page = 5; page >= 0; --page) {
    wizard_.BackBtnClick();
    EXPECT_EQ(wizard_.CurrentPage(), page);
  }
  EXPECT_FALSE(wizard_.buttons.BackBtn->isEnabled());
  EXPECT_TRUE(wizard_.buttons.NextBtn->isEnabled());
}

TEST_F(SetPrinterEPLTest, WithoutAdvancedSettingsTheAdvancedCodePageAndClockPagesAreSkipped) {
  Show();
  wizard_.buttons.NextBtn->setEnabled(true);
  wizard_.ContinueCheckBox->setChecked(false);
  wizard_.NextBtnClick();
  wizard_.NextBtnClick();
  ASSERT_EQ(wizard_.CurrentPage(), 2);
  wizard_.NextBtnClick();
  EXPECT_EQ(wizard_.CurrentPage(), 6);
  EXPECT_FALSE(wizard_.buttons.NextBtn->isEnabled());
  wizard_.BackBtnClick();
  EXPECT_EQ(wizard_.CurrentPage(), 2);
  EXPECT_TRUE(wizard_.buttons.NextBtn->isEnabled());
}

TEST_F(SetPrinterEPLTest, ClockControlsFollowTheClockChoices) {
  Show();
  wizard_.SetTimeCheckBox->setChecked(true);
  wizard_.SetTimeCheckBoxClick();
  EXPECT_TRUE(wizard_.SetComputerTimeRadioButton->isEnabled());
  EXPECT_FALSE(wizard_.DateDateTimePicker->isEnabled());
  wizard_.SetTimeRadioButton->setChecked(true);
  wizard_.SetTimeRadioButtonClick();
  EXPECT_TRUE(wizard_.DateDateTimePicker->isEnabled());
  EXPECT_TRUE(wizard_.TimeDateTimePicker->isEnabled());
  wizard_.SetTimeCheckBox->setChecked(false);
  wizard_.SetTimeCheckBoxClick();
  EXPECT_FALSE(wizard_.SetTimeRadioButton->isEnabled());
  EXPECT_FALSE(wizard_.TimeDateTimePicker->isEnabled());
}

// ---- Reading ----

TEST_F(SetPrinterEPLTest, ReadingA203DpiPrinterFillsTheControls) {
  sim::VirtualPrinter printer(EPrinter("l42d-mark"));  // Q200,B24-8, S2, D10, ZB, I8,A,049, JF, P
  Connect(printer);
  Show();
  Click(wizard_.buttons.GetPrinterSettinglBtn);
  EXPECT_EQ(printer.Received(), "UQ\r\n");
  EXPECT_EQ(wizard_.FirmwareVersionShowLabel->text(), "FV2.31.0518E");
  EXPECT_TRUE(wizard_.buttons.NextBtn->isEnabled());
  EXPECT_TRUE(wizard_.buttons.FinishBtn->isEnabled());
  EXPECT_EQ(CurrentEplResolution(), kResolution203);
  EXPECT_TRUE(wizard_.PrintModeComboBox->isHidden()) << "the model offers no print mode choice";
  EXPECT_TRUE(wizard_.PrintModeLabel->isHidden());
  EXPECT_EQ(wizard_.WidthEdit->text(), "104.00");
  EXPECT_EQ(wizard_.HeightEdit->text(), "25.00");
  EXPECT_EQ(wizard_.GapHeightEdit->text(), "3.00");
  EXPECT_EQ(wizard_.OffsetEdit->text(), "-1.00");
  EXPECT_EQ(wizard_.MediaTypeComboBox->currentIndex(), 1);
  EXPECT_EQ(wizard_.OrientationComboBox->currentIndex(), 1);
  EXPECT_EQ(wizard_.SpeedComboBox->currentIndex(), 0);
  EXPECT_EQ(wizard_.DarknessComboBox->currentIndex(), 10);
  EXPECT_EQ(wizard_.MediaHandingComboBox->currentIndex(), 1);
  EXPECT_TRUE(wizard_.chkTOFBackup->isChecked());
  EXPECT_EQ(wizard_.CodePageComboBox->currentIndex(), 14);
  EXPECT_EQ(wizard_.KDUCountryCodeComboBox->currentIndex(), 5);
  EXPECT_FALSE(wizard_.KDUCountryCodeComboBox->isHidden());
  EXPECT_TRUE(Shown().empty());
}

TEST_F(SetPrinterEPLTest, ASilentOrGarblingPrinterDisablesNextAndFinish) {
  for (bool garbage : {false, true}) {
    SCOPED_TRACE(garbage ? "garbage" : "silent");
    sim::PrinterOptions options = EPrinter("l42d-gap");
    options.faults.noReply = !garbage;
    options.faults.garbage = garbage;
    sim::VirtualPrinter printer(options);
    Connect(printer);
    Show();
    wizard_.buttons.NextBtn->setEnabled(true);
    wizard_.buttons.FinishBtn->setEnabled(true);
    wizard_.ReadPrinterSettings();
    EXPECT_EQ(wizard_.FirmwareVersionShowLabel->text(), "No reply from printer");
    EXPECT_FALSE(wizard_.buttons.NextBtn->isEnabled());
    EXPECT_FALSE(wizard_.buttons.FinishBtn->isEnabled());
    EXPECT_EQ(wizard_.WidthEdit->text(), "56.00");
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  }
}

TEST_F(SetPrinterEPLTest, ALabelLengthThatIsNoNumberIsReportedAndReadingStops) {
  sim::PrinterOptions options = EPrinter("l42d-gap");
  options.configuration.labelField = "Q2x0,24+0";
  sim::VirtualPrinter printer(options);
  Connect(printer);
  Show();
  wizard_.ReadPrinterSettings();
  ASSERT_EQ(Shown().size(), 1u);
  // The text that could not be read, and the field of the reply it came from.
  EXPECT_EQ(Shown()[0].text,
            "The printer's reply could not be read: \"2x0\" in \"Q2x0,24+0\" is not a valid whole number.");
  EXPECT_EQ(Shown()[0].icon, MsgIcon::Error);
  EXPECT_EQ(wizard_.WidthEdit->text(), "104.00") << "what was read before stays";
  EXPECT_EQ(wizard_.HeightEdit->text(), "12.50");
  EXPECT_EQ(wizard_.DarknessComboBox->currentIndex(), 15) << "reading stopped before the darkness";
  EXPECT_TRUE(wizard_.buttons.FinishBtn->isEnabled());
}

// ---- Finish ----

TEST_F(SetPrinterEPLTest, ReadThenFinishSendsTheSettingsBackAndSavesTheSameBytes) {
  sim::VirtualPrinter printer(EPrinter("l42d-gap"));
  Connect(printer);
  Show();
  Click(wizard_.buttons.GetPrinterSettinglBtn);
  ASSERT_TRUE(wizard_.buttons.FinishBtn->isEnabled());
  wizard_.SaveFileCheckBox->setChecked(true);
  const QString chosen = QString::fromStdString((dir_ / "EPL Setup").string());
  SetFileChooser([&](const TFileDialog&, QWidget*) { return FileChoice{chosen, 1}; });
  printer.ClearReceived();
  Click(wizard_.buttons.FinishBtn);
  const std::string block = "q832\r\nQ200,24+0\r\nZT\r\nS3\r\nD8\r\nO\r\nUN\r\nI8,0,001\r\nJB\r\n";
  ASSERT_TRUE(printer.WaitForReceived(block.size(), 3000));
  EXPECT_EQ(printer.Received(), block);
  EXPECT_EQ(test::ReadFileBytes(dir_ / "epl setup.txt"), block);
  EXPECT_EQ(wizard_.result(), QDialog::Accepted);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(SetPrinterEPLTest, A300DpiPrinterIsReadAndWrittenBackInItsOwnDots) {
  sim::VirtualPrinter printer(EPrinter("t3-300-gap"));
  Connect(printer);
  Show();
  wizard_.ReadPrinterSettings();
  EXPECT_EQ(CurrentEplResolution(), kResolution300);
  EXPECT_FALSE(wizard_.PrintModeComboBox->isHidden());
  EXPECT_EQ(wizard_.WidthEdit->text(), "104.00");
  EXPECT_EQ(wizard_.HeightEdit->text(), "50.00");
  EXPECT_EQ(Finish(printer), "q1248\r\nQ600,36+0\r\nZT\r\nS4\r\nD12\r\nO\r\nOL\r\nUN\r\nI8,10,044\r\nJB\r\n");
  // A language file may give the unit list a fourth entry, dots: it converts at the printer's
  // resolution.
  wizard_.UnitsComboBox->addItem("dots");
  ChooseUnit(U::Dots);
  EXPECT_EQ(wizard_.WidthEdit->text(), "1248");
  EXPECT_EQ(wizard_.HeightEdit->text(), "600");
  EXPECT_EQ(wizard_.SpeedUnitLabel->text(), "dots/s");
}

// A read followed by Finish sends back the dots that were read, in every unit and after a change of
// unit: at 300 dpi an inch is 304.8 dots both ways, and two decimals do not lose a dot.
TEST_F(SetPrinterEPLTest, ReadThenFinishSendsTheDotsReadInEveryUnit) {
  sim::PrinterOptions options = EPrinter("t3-300-gap");
  options.configuration.widthDots = 601;
  options.configuration.labelField = "Q1248,7+0";
  sim::VirtualPrinter printer(options);
  Connect(printer);
  Show();
  for (const U unit : {U::Millimetre, U::Inch, U::Centimetre}) {
    SCOPED_TRACE(static_cast<int>(unit));
    ChooseUnit(unit);
    wizard_.ReadPrinterSettings();
    std::string block = Finish(printer);
    EXPECT_EQ(block.substr(0, block.find("ZT")), "q601\r\nQ1248,7+0\r\n");
    ChooseUnit(unit == U::Inch ? U::Millimetre : U::Inch);  // a change of unit alone
    block = Finish(printer);
    EXPECT_EQ(block.substr(0, block.find("ZT")), "q601\r\nQ1248,7+0\r\n");
  }
  EXPECT_TRUE(Shown().empty()) << Shown()[0].text;
  // An edited field sends what it holds.
  wizard_.WidthEdit->setText("2.00");
  const std::string block = Finish(printer);
  EXPECT_EQ(block.substr(0, block.find("\r\n")), "q609");  // 2.00 x 304.8 = 609.6
}

TEST_F(SetPrinterEPLTest, DocumentedBlockAt203Dpi) {
  sim::VirtualPrinter printer(EPrinter("l42d-gap"));
  Connect(printer);
  Show();
  SetCurrentEplResolution(kResolution203);
  ChooseExample();
  EXPECT_EQ(Finish(printer), kExampleAt203);
  EXPECT_EQ(wizard_.result(), QDialog::Accepted);
}

TEST_F(SetPrinterEPLTest, DocumentedBlockAt300DpiAndBeforeAnyRead) {
  for (int resolution : {kResolution300, 0}) {
    SCOPED_TRACE(resolution);
    sim::VirtualPrinter printer(EPrinter("l42d-gap"));
    Connect(printer);
    Show();
    SetCurrentEplResolution(resolution);
    ChooseExample();
    const std::string block = Finish(printer);
    EXPECT_EQ(block.substr(0, block.find("ZT")), "q672\r\nQ150,36+0\r\n");
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  }
}

TEST_F(SetPrinterEPLTest, BlackMarksWithANegativeOffset) {
  sim::VirtualPrinter printer(EPrinter("l42d-gap"));
  Connect(printer);
  Show();
  SetCurrentEplResolution(kResolution203);
  ChooseExample();
  wizard_.MediaTypeComboBox->setCurrentIndex(1);
  wizard_.GapHeightEdit->setText("0");
  wizard_.OffsetEdit->setText("-1.00");
  const std::string block = Finish(printer);
  EXPECT_NE(block.find("\r\nQ100,B000-8\r\n"), std::string::npos) << block;
}

TEST_F(SetPrinterEPLTest, ContinuousMediaSendsAFixedLabelLineWhateverTheFieldsHold) {
  sim::VirtualPrinter printer(EPrinter("l42d-gap"));
  Connect(printer);
  Show();
  SetCurrentEplResolution(kResolution203);
  ChooseExample();
  wizard_.MediaTypeComboBox->setCurrentIndex(0);
  wizard_.HeightEdit->setText("");
  wizard_.GapHeightEdit->setText("abc");
  const std::string block = Finish(printer);
  EXPECT_EQ(block.substr(0, block.find("ZT")), "q448\r\nQ0001,0\r\n");
  EXPECT_TRUE(Shown().empty());
}

TEST_F(SetPrinterEPLTest, TheClockLineNeedsTheAdvancedSettings) {
  sim::VirtualPrinter printer(EPrinter("l42d-gap"));
  Connect(printer);
  Show();
  SetCurrentEplResolution(kResolution203);
  ChooseExample();
  wizard_.SetTimeCheckBox->setChecked(true);
  wizard_.SetTimeRadioButton->setChecked(true);
  wizard_.DateDateTimePicker->setDate(QDate(2026, 3, 7));
  wizard_.TimeDateTimePicker->setTime(QTime(9, 5, 4));
  wizard_.ContinueCheckBox->setChecked(false);
  EXPECT_EQ(Finish(printer), kExampleAt203) << "O to JF are sent, the clock is not";

  TSetPrinterEPL again(nullptr);
  again.show();
  again.SetTimeCheckBox->setChecked(true);
  again.SetTimeRadioButton->setChecked(true);
  again.DateDateTimePicker->setDate(QDate(2026, 3, 7));
  again.TimeDateTimePicker->setTime(QTime(9, 5, 4));
  const std::optional<EplSetupChoices> choices = again.CurrentChoices();
  ASSERT_TRUE(choices);
  const std::string block = BuildEplSetupBlock(*choices);
  EXPECT_EQ(block.substr(block.rfind("JF")), "JF\r\nTS03,07,2026,09,05,04\r\n");
}

TEST_F(SetPrinterEPLTest, InchesAt300DpiAreTruncatedToDots) {
  sim::VirtualPrinter printer(EPrinter("l42d-gap"));
  Connect(printer);
  Show();
  SetCurrentEplResolution(kResolution300);
  ChooseExample();
  ChooseUnit(U::Inch);
  EXPECT_EQ(wizard_.WidthEdit->text(), "2.20");  // 672 dots, shown in inch
  wizard_.WidthEdit->clear();                    // typed again: now 2.20 inch is the value
  wizard_.WidthEdit->setText("2.20");
  const std::string block = Finish(printer);
  EXPECT_EQ(block.substr(0, block.find("\r\n")), "q670");  // 2.20 x 25.4 x 12 = 670.56

  // Dots held at 300 dpi are not dots at 203 dpi: after the change the length shown is the value.
  ChooseUnit(U::Millimetre);
  EXPECT_EQ(wizard_.WidthEdit->text(), "55.83");
  SetCurrentEplResolution(kResolution203);
  const std::string at203 = Finish(printer);
  EXPECT_EQ(at203.substr(0, at203.find("\r\n")), "q446");  // 55.83 x 8 = 446.64
}

TEST_F(SetPrinterEPLTest, ASevenBitCodePageReadIsSentBackUntilTheUserChoosesAnother) {
  sim::VirtualPrinter printer(EPrinter("t3-300-mark"));  // I7,3,001
  Connect(printer);
  Show();
  wizard_.ReadPrinterSettings();
  EXPECT_EQ(wizard_.CodePageComboBox->currentIndex(), -1);
  EXPECT_TRUE(wizard_.KDULabel->isHidden());
  EXPECT_TRUE(wizard_.KDUCountryCodeComboBox->isHidden());
  EXPECT_EQ(wizard_.HeightEdit->text(), "100.00");  // Q1200 at 300 dpi
  std::string block = Finish(printer);
  EXPECT_NE(block.find("\r\nI7,3,001\r\n"), std::string::npos) << block;

  TSetPrinterEPL& w = wizard_;
  w.CodePageComboBox->setCurrentIndex(5);
  emit w.CodePageComboBox->activated(5);
  EXPECT_FALSE(w.KDUCountryCodeComboBox->isHidden());
  block = Finish(printer);
  EXPECT_NE(block.find("\r\nI8,5,001\r\n"), std::string::npos) << block;
}

TEST_F(SetPrinterEPLTest, AFailedSendIsReportedAndTheWizardStaysOpen) {
  Show();
  wizard_.FinishBtnClick();  // nothing is connected
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, Tip("SendDataFail").toStdString());
  EXPECT_NE(wizard_.result(), QDialog::Accepted);
  EXPECT_TRUE(wizard_.isVisible());
}

TEST_F(SetPrinterEPLTest, CancellingTheSaveSaysTheBlockWasSentAndCloses) {
  sim::VirtualPrinter printer(EPrinter("l42d-gap"));
  Connect(printer);
  Show();
  SetCurrentEplResolution(kResolution203);
  ChooseExample();
  wizard_.SaveFileCheckBox->setChecked(true);
  SetFileChooser([&](const TFileDialog&, QWidget*) { return FileChoice{QString(), 1}; });
  EXPECT_EQ(Finish(printer), kExampleAt203);
  ASSERT_FALSE(Shown().empty());
  EXPECT_EQ(Shown().back().text, "Sent to the printer; not saved to a file");
  EXPECT_EQ(wizard_.result(), QDialog::Accepted);
  EXPECT_FALSE(wizard_.isVisible());
}

TEST_F(SetPrinterEPLTest, AFieldThatCannotBeReadStopsFinishBeforeAnythingIsSent) {
  sim::VirtualPrinter printer(EPrinter("l42d-gap"));
  Connect(printer);
  Show();
  ChooseExample();
  wizard_.WidthEdit->setText(".");
  wizard_.FinishBtnClick();
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "'.' is not a valid floating point value");
  EXPECT_FALSE(printer.WaitForReceived(1, 200));
  EXPECT_NE(wizard_.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace tw
