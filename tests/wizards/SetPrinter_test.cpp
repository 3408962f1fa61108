// SPDX-License-Identifier: GPL-3.0-or-later
// The Z setup wizard against the virtual printer over loopback TCP: reading the printer's settings,
// the navigation, the field checks and unit changes, and Finish (the block sent and saved).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QDateEdit>
#include <QTimeEdit>
#include <QtTest/QTest>
#include <string>

#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"
#include "wizards/SetPrinter.h"
#include "wizards/ZSetupBlock.h"

namespace tw {
namespace {

const std::string kDefaultBlock =
    "~MUD\r\n~SD20\r\n~TA000\r\n~JSB\r\n^XA\r\n^PW448\r\n^LL100\r\n^PON\r\n^PR5,5\r\n^PMN\r\n^MNN\r\n^LS0\r\n"
    "^MMR,Y\r\n^MFN,N\r\n^XZ\r\n^XA^JUS^XZ\r\n\r\n";

class SetPrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitProgramDirFromExecutable();
    SetCurrentLanguage(kLanguageEnglish);
    LoadCatalogSection("Tips");
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  }
  void TearDown() override {
    SetFileChooser({});
    ResetLink({});
  }
  void Connect() { ASSERT_TRUE(test::ConnectLink(printer_, test::Transport::Tcp)); }
  void Show() {
    wizard_.show();
    QApplication::processEvents();
  }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void ReadSettings() { Click(wizard_.buttons.GetPrinterSettinglBtn); }
  void ChooseUnit(LengthUnit unit) {
    wizard_.UnitsComboBox->setCurrentIndex(static_cast<int>(unit));
    wizard_.UnitsComboBoxChange();
  }
  // Waits until the printer has taken the bytes (it has no reply to a block).
  std::string ReceivedAfterWait(std::size_t bytes) {
    printer_.WaitForReceived(bytes, 5000);
    return printer_.Received();
  }
  std::vector<test::MessageRecorder::Shown> Shown() const { return messages_.shown(); }

  test::ScopedFastPacer pacer_;
  test::MessageRecorder messages_;
  sim::VirtualPrinter printer_;
  TSetPrinter wizard_{nullptr};
};

TEST_F(SetPrinterTest, OpensOnTheFirstPageWithTheDefaultsAndNextAndFinishDisabled) {
  Show();
  EXPECT_EQ(wizard_.CurrentPage(), 0);
  EXPECT_FALSE(wizard_.buttons.NextBtn->isEnabled());
  EXPECT_FALSE(wizard_.buttons.FinishBtn->isEnabled());
  EXPECT_FALSE(wizard_.buttons.BackBtn->isEnabled());
  EXPECT_EQ(wizard_.WidthEdit->text(), "56.00");
  EXPECT_EQ(wizard_.HeightEdit->text(), "12.50");
  EXPECT_EQ(wizard_.UnitsComboBox->currentIndex(), 2);
  EXPECT_EQ(wizard_.SpeedComboBox->currentIndex(), 3);
  EXPECT_EQ(wizard_.DarknessComboBox->currentText(), "20");
  EXPECT_EQ(wizard_.BackfeedComboBox->currentIndex(), 1);
  EXPECT_TRUE(wizard_.ContinueCheckBox->isChecked());
  EXPECT_FALSE(wizard_.SetTimeCheckBox->isChecked());
  EXPECT_FALSE(wizard_.SetComputerTimeRadioButton->isEnabled());
  EXPECT_FALSE(wizard_.DateDateTimePicker->isEnabled());
  EXPECT_EQ(wizard_.DateDateTimePicker->date(), QDate::currentDate());
  EXPECT_TRUE(wizard_.MediafeedoptionsComboBox->isHidden());
}

TEST_F(SetPrinterTest, EveryPageHasTheBannerPicture) {
  const QImage& picture = WizardBannerPicture();
  ASSERT_EQ(picture.size(), QSize(631, 64));
  const QColor frame = picture.pixelColor(2, 32);  // light blue
  EXPECT_GT(frame.blue(), frame.red() + 40);
  EXPECT_GT(picture.pixelColor(200, 32).lightness(), 240);  // the white field
  int darkColumns = 0;  // the barcode bars at the right end
  for (int x = 420; x < 631; ++x) darkColumns += picture.pixelColor(x, 28).lightness() < 100;
  EXPECT_GT(darkColumns, 20);
  for (int x = 10; x < 400; ++x) ASSERT_GT(picture.pixelColor(x, 28).lightness(), 200) << x;
  for (int page = 0; page < wizard_.pgcPrinterSet->count(); ++page) {
    EXPECT_NE(wizard_.pgcPrinterSet->widget(page)->findChild<WizardBanner*>(), nullptr) << page;
  }
}

TEST_F(SetPrinterTest, EachLanguageRelabelsEveryListWithItsItemCount) {
  const std::pair<QComboBox* TSetPrinter::*, int> lists[] = {
      {&TSetPrinter::UnitsComboBox, 4},        {&TSetPrinter::OrientationComboBox, 2},
      {&TSetPrinter::SpeedComboBox, 5},        {&TSetPrinter::DarknessComboBox, 31},
      {&TSetPrinter::MediaTypeComboBox, 3},    {&TSetPrinter::MediaHandingComboBox, 5},
      {&TSetPrinter::BackfeedComboBox, 4},     {&TSetPrinter::MediafeedoptionsComboBox, 4}};
  for (int language : {kLanguageSimplified, kLanguageTraditional, kLanguageEnglish}) {
    SCOPED_TRACE(language);
    SetCurrentLanguage(language);
    TSetPrinter wizard(nullptr);
    wizard.show();
    for (const auto& [list, count] : lists) EXPECT_EQ((wizard.*list)->count(), count);
    EXPECT_EQ(wizard.DarknessComboBox->currentText(), "20");
    EXPECT_FALSE(wizard.buttons.GetPrinterSettinglBtn->text().isEmpty());
    for (QPushButton* button : {wizard.buttons.HelpBtn, wizard.buttons.FinishBtn, wizard.buttons.GetPrinterSettinglBtn}) {
      EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
    }
    // One height on every page: the buttons stay where they are.
    const int height = wizard.height();
    for (int page = 1; page < wizard.pgcPrinterSet->count(); ++page) {
      wizard.pgcPrinterSet->setCurrentIndex(page);
      QApplication::processEvents();
      EXPECT_EQ(wizard.height(), height) << "page " << page;
    }
  }
}

TEST_F(SetPrinterTest, ReadingFillsEveryControlFromTheSlots) {
  printer_.SetSlot(0x47, 0x0320);  // 800 dots
  printer_.SetSlot(0x1C, 0x0032);  // handling 3 (cutter), media type 2 (mark)
  printer_.SetSlot(0x1B, 0x00C8);  // label length 200 dots (media is not continuous)
  printer_.SetSlot(0x1E, 0x0050);
  printer_.SetSlot(0x48, 0x0005);  // orientation 1, mirror bits 01
  printer_.SetSlot(0x0F, 0x0064);  // 100: speed index 2
  printer_.SetSlot(0x12, 0x0A0F);  // darkness 15
  printer_.SetSlot(0x01, 0x0085);  // tear-off -5 dots
  printer_.SetSlot(0x0C, 0xFFF6);  // label shift -10 dots
  printer_.SetSlot(0x1D, 0x0002);  // feed option 2
  printer_.SetSlot(0x35, 0x0000);  // backfeed off
  Connect();
  Show();
  ChooseUnit(LengthUnit::Dots);
  ReadSettings();

  EXPECT_FALSE(wizard_.FirmwareVersionShowLabel->text().isEmpty());
  EXPECT_TRUE(wizard_.buttons.NextBtn->isEnabled());
  EXPECT_TRUE(wizard_.buttons.FinishBtn->isEnabled());
  EXPECT_EQ(wizard_.WidthEdit->text(), "800");
  EXPECT_EQ(wizard_.MediaHandingComboBox->currentIndex(), 3);
  EXPECT_EQ(wizard_.MediaTypeComboBox->currentIndex(), 2);
  EXPECT_EQ(wizard_.HeightEdit->text(), "200");
  EXPECT_EQ(wizard_.OrientationComboBox->currentIndex(), 1);
  EXPECT_TRUE(wizard_.MirrorImageCheckBox->isChecked());
  EXPECT_EQ(wizard_.SpeedComboBox->currentIndex(), 2);
  EXPECT_EQ(wizard_.DarknessComboBox->currentText(), "15");
  EXPECT_EQ(wizard_.TearoffadjustEdit->text(), "-5");
  EXPECT_EQ(wizard_.LabelShiftEdit->text(), "-10");
  EXPECT_EQ(wizard_.MediafeedoptionsComboBox->currentIndex(), 2);
  EXPECT_EQ(wizard_.BackfeedComboBox->currentIndex(), 0);
  EXPECT_FALSE(Link().readOnce);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(SetPrinterTest, ReadLengthsAreShownInTheCurrentUnit) {
  printer_.SetSlot(0x0C, 0xFFF6);
  printer_.SetSlot(0x1C, 0x0000);  // continuous: the length comes from 1E
  printer_.SetSlot(0x1E, 0x0050);  // 80 dots
  printer_.SetSlot(0x47, 0x01C0);  // 448 dots
  Connect();
  Show();
  ReadSettings();
  EXPECT_EQ(wizard_.LabelShiftEdit->text(), "-1.25");
  EXPECT_EQ(wizard_.HeightEdit->text(), "10.00");
  EXPECT_EQ(wizard_.WidthEdit->text(), "56.00");
  ChooseUnit(LengthUnit::Inch);
  ReadSettings();
  EXPECT_EQ(wizard_.WidthEdit->text(), "2.20");
}

TEST_F(SetPrinterTest, SpeedParametersSelectTheirListEntries) {
  Connect();
  Show();
  const std::pair<uint16_t, int> speeds[] = {{60, 0}, {61, 1}, {90, 1}, {110, 2}, {135, 3}, {136, 4}};
  for (const auto& [parameter, index] : speeds) {
    printer_.SetSlot(0x0F, parameter);
    ReadSettings();
    EXPECT_EQ(wizard_.SpeedComboBox->currentIndex(), index) << parameter;
  }
}

TEST_F(SetPrinterTest, AValueOutsideAListLeavesItWithoutSelection) {
  printer_.SetSlot(0x12, 0x0040);  // darkness 64: no such entry
  Connect();
  Show();
  ReadSettings();
  EXPECT_EQ(wizard_.DarknessComboBox->currentIndex(), -1);
}

TEST_F(SetPrinterTest, TheBackfeedFieldIsFourHexadecimalDigitsAndTheMirrorReadFollowsIt) {
  printer_.SetSlot(0x48, 0x0008);  // mirror bits 10: only the last read checks the mirror box
  Connect();
  Show();
  const std::pair<uint16_t, int> fields[] = {{0x5500, 0}, {0x0001, 1}, {0x0A0A, 1}, {0x00F0, 1}};
  for (const auto& [word, backfeed] : fields) {
    printer_.SetSlot(0x35, word);
    wizard_.MirrorImageCheckBox->setChecked(false);
    ReadSettings();
    EXPECT_EQ(wizard_.BackfeedComboBox->currentIndex(), backfeed) << word;
    EXPECT_TRUE(wizard_.MirrorImageCheckBox->isChecked()) << word;
  }
  EXPECT_TRUE(Shown().empty()) << Shown()[0].text;
}

TEST_F(SetPrinterTest, ALengthReadOutOfRangeIsMarkedAndNamedAndNeverHoldsUpCancelOrClose) {
  printer_.SetSlot(0x1C, 0);   // continuous: the length comes from slot 1E
  printer_.SetSlot(0x1E, 24);  // 3.00 mm, below 10.00
  Connect();
  Show();
  ReadSettings();
  const std::string named = "Value out of range for \"Label length\". Allowed range: 10.00-1000.00";
  EXPECT_EQ(wizard_.HeightEdit->text(), "3.00");
  EXPECT_TRUE(wizard_.Lengths().MarkedOutOfRange(LengthField::Height));
  EXPECT_EQ(wizard_.HeightEdit->toolTip().toStdString(), named);
  EXPECT_FALSE(wizard_.Lengths().MarkedOutOfRange(LengthField::Width));
  EXPECT_TRUE(Shown().empty());

  QApplication::setActiveWindow(&wizard_);
  for (const bool closeBox : {false, true}) {
    wizard_.HeightEdit->setFocus();
    wizard_.buttons.NextBtn->setFocus(Qt::MouseFocusReason);  // Next checks the field it leaves
    ASSERT_FALSE(Shown().empty());
    EXPECT_EQ(Shown().back().text, named);
    EXPECT_TRUE(wizard_.HeightEdit->hasFocus());
    const std::size_t shown = Shown().size();
    if (closeBox) {
      wizard_.close();
    } else {
      wizard_.buttons.CancelBtn->setFocus(Qt::MouseFocusReason);
      Click(wizard_.buttons.CancelBtn);
    }
    EXPECT_EQ(Shown().size(), shown) << "leaving checks no field";
    EXPECT_FALSE(wizard_.isVisible());
    EXPECT_EQ(wizard_.result(), QDialog::Rejected);
    Show();
    QApplication::setActiveWindow(&wizard_);
  }
  wizard_.HeightEdit->setText("12.50");
  EXPECT_FALSE(wizard_.Lengths().MarkedOutOfRange(LengthField::Height));
  EXPECT_TRUE(wizard_.HeightEdit->toolTip().isEmpty());
}

TEST_F(SetPrinterTest, NoVersionReplyDisablesNextAndFinishAndShowsTheFailureText) {
  printer_.SetFaults({.noReply = true});
  Connect();
  Show();
  wizard_.buttons.NextBtn->setEnabled(true);
  ReadSettings();
  EXPECT_EQ(wizard_.FirmwareVersionShowLabel->text(), "No reply from printer");
  EXPECT_FALSE(wizard_.buttons.NextBtn->isEnabled());
  EXPECT_FALSE(wizard_.buttons.FinishBtn->isEnabled());
  EXPECT_EQ(wizard_.WidthEdit->text(), "56.00");
  EXPECT_FALSE(Link().readOnce);
}

TEST_F(SetPrinterTest, AFailedSlotReadStopsTheReadingAndKeepsWhatWasRead) {
  printer_.SetSlot(0x47, 0x0320);
  printer_.SetSlot(0x1C, 0x0031);  // handling 3, media type 1
  printer_.SetSlot(0x1B, 0x00C8);
  // The link drops after the version request and three slot requests: the fourth read fails.
  const long long version = std::string("~WN01@version~").size();
  const long long request = std::string("~WN00@eep,r,47~").size();
  printer_.SetFaults({.disconnectAfterBytes = version + 3 * request});
  Connect();
  Show();
  ReadSettings();
  EXPECT_TRUE(wizard_.buttons.NextBtn->isEnabled());
  EXPECT_TRUE(wizard_.buttons.FinishBtn->isEnabled());
  EXPECT_EQ(wizard_.WidthEdit->text(), "100.00");
  EXPECT_EQ(wizard_.MediaHandingComboBox->currentIndex(), 3);
  EXPECT_EQ(wizard_.MediaTypeComboBox->currentIndex(), 1);
  EXPECT_EQ(wizard_.HeightEdit->text(), "12.50");  // not read
  EXPECT_EQ(wizard_.OrientationComboBox->currentIndex(), 0);
  EXPECT_FALSE(Link().readOnce);
}

TEST_F(SetPrinterTest, ASlotReplyThatIsNotHexadecimalIsNamedAndReadingStops) {
  printer_.SetFaults({.garbage = true});
  Connect();
  Show();
  ReadSettings();
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text.rfind("The printer's reply could not be read: the answer \"#?*", 0), 0u) << Shown()[0].text;
  EXPECT_NE(Shown()[0].text.find("for parameter slot 47 is not a hexadecimal number."), std::string::npos);
  EXPECT_EQ(Shown()[0].icon, MsgIcon::Error);
  EXPECT_EQ(wizard_.WidthEdit->text(), "56.00");
  EXPECT_EQ(printer_.Received().find("~WN00@eep,r,1C~"), std::string::npos) << "reading stopped at slot 47";
}

// Two decimals cannot carry every length: a field not edited since the read, or since it was typed,
// keeps its dots through changes of unit.
TEST_F(SetPrinterTest, ReadAndTypedLengthsGoBackUnchangedAfterAUnitChange) {
  printer_.SetSlot(0x1C, 0);  // continuous: the length comes from slot 1E
  printer_.SetSlot(0x1E, 101);
  printer_.SetSlot(0x0C, 0xFFF9);  // label shift -7
  Connect();
  Show();
  ReadSettings();
  wizard_.WidthEdit->setText("30.00");  // typed: 240 dots, 1.18 inch
  for (const LengthUnit unit : {LengthUnit::Inch, LengthUnit::Centimetre, LengthUnit::Millimetre, LengthUnit::Inch,
                               LengthUnit::Millimetre}) {
    SCOPED_TRACE(static_cast<int>(unit));
    ChooseUnit(unit);
    const std::optional<ZSetupChoices> choices = wizard_.CurrentChoices();
    ASSERT_TRUE(choices);
    EXPECT_EQ(choices->widthDots, 240);
    EXPECT_EQ(choices->lengthDots, 101);
    EXPECT_EQ(choices->labelShiftDots, -7);
  }
  EXPECT_EQ(wizard_.WidthEdit->text(), "30.00");
}

// A field's check that fails gives the focus back to it; that move must not start the check of the
// field the user went to, or two invalid fields would bounce their messages back and forth.
TEST_F(SetPrinterTest, AFailedCheckStartsNoCheckOfTheFieldItTakesTheFocusFrom) {
  Show();
  QApplication::setActiveWindow(&wizard_);
  wizard_.HeightEdit->setText("5");  // below its range too
  wizard_.WidthEdit->setFocus();
  wizard_.WidthEdit->setText("119");
  wizard_.HeightEdit->setFocus(Qt::MouseFocusReason);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Value out of range for \"Label width\". Allowed range: 15.00-104.00");
  EXPECT_TRUE(wizard_.WidthEdit->hasFocus());
}

TEST_F(SetPrinterTest, NavigationSkipsTheAdvancedPagesWithoutContinue) {
  Show();
  wizard_.buttons.NextBtn->setEnabled(true);
  const auto walk = [&](QPushButton* button, int expectedPage) {
    Click(button);
    EXPECT_EQ(wizard_.CurrentPage(), expectedPage);
  };
  walk(wizard_.buttons.NextBtn, 1);
  EXPECT_TRUE(wizard_.buttons.BackBtn->isEnabled());
  walk(wizard_.buttons.NextBtn, 2);
  walk(wizard_.buttons.NextBtn, 3);
  walk(wizard_.buttons.NextBtn, 4);
  walk(wizard_.buttons.NextBtn, 5);
  EXPECT_FALSE(wizard_.buttons.NextBtn->isEnabled());
  walk(wizard_.buttons.BackBtn, 4);
  EXPECT_TRUE(wizard_.buttons.NextBtn->isEnabled());
  walk(wizard_.buttons.BackBtn, 3);
  walk(wizard_.buttons.BackBtn, 2);
  wizard_.ContinueCheckBox->setChecked(false);
  walk(wizard_.buttons.NextBtn, 5);
  walk(wizard_.buttons.BackBtn, 2);
  walk(wizard_.buttons.BackBtn, 1);
  walk(wizard_.buttons.BackBtn, 0);
  EXPECT_FALSE(wizard_.buttons.BackBtn->isEnabled());
}

TEST_F(SetPrinterTest, TheClockControlsFollowTheCheckBoxAndTheChoice) {
  Show();
  wizard_.SetTimeCheckBox->click();
  EXPECT_TRUE(wizard_.SetComputerTimeRadioButton->isEnabled());
  EXPECT_TRUE(wizard_.SetTimeRadioButton->isEnabled());
  EXPECT_FALSE(wizard_.DateDateTimePicker->isEnabled());
  wizard_.SetTimeRadioButton->click();
  EXPECT_TRUE(wizard_.DateDateTimePicker->isEnabled());
  EXPECT_TRUE(wizard_.TimeDateTimePicker->isEnabled());
  wizard_.SetComputerTimeRadioButton->click();
  EXPECT_FALSE(wizard_.TimeDateTimePicker->isEnabled());
  wizard_.SetTimeRadioButton->click();
  wizard_.SetTimeCheckBox->click();
  EXPECT_FALSE(wizard_.SetTimeRadioButton->isEnabled());
  EXPECT_FALSE(wizard_.DateDateTimePicker->isEnabled());
}

TEST_F(SetPrinterTest, LeavingAFieldChecksAndRewritesIt) {
  Show();
  LengthFields& fields = wizard_.Lengths();
  wizard_.WidthEdit->setText("56");
  EXPECT_TRUE(fields.CheckField(LengthField::Width));
  EXPECT_EQ(wizard_.WidthEdit->text(), "56.00");

  wizard_.TearoffadjustEdit->setText("-1.5");
  EXPECT_TRUE(fields.CheckField(LengthField::Third));
  EXPECT_EQ(wizard_.TearoffadjustEdit->text(), "-1.50");

  for (const char* text : {"1-5", "--1", "1.2.3"}) {
    wizard_.TearoffadjustEdit->setText(text);
    EXPECT_FALSE(fields.CheckField(LengthField::Third)) << text;
    EXPECT_EQ(wizard_.TearoffadjustEdit->text(), text);
    EXPECT_EQ(Shown().back().text, "Please enter a valid number.");
    EXPECT_EQ(Shown().back().caption, "Input Error");
  }

  wizard_.TearoffadjustEdit->setText("0.00");
  ChooseUnit(LengthUnit::Dots);
  EXPECT_EQ(wizard_.WidthEdit->text(), "448");
  wizard_.WidthEdit->setText("119");
  EXPECT_FALSE(fields.CheckField(LengthField::Width));
  EXPECT_EQ(Shown().back().text, "Value out of range for \"Label width\". Allowed range: 120-832");
  EXPECT_EQ(wizard_.WidthEdit->text(), "119");
}

TEST_F(SetPrinterTest, TabbingOutOfAFieldChecksItAndAFailedCheckGivesTheFocusBack) {
  Show();
  QApplication::setActiveWindow(&wizard_);
  wizard_.WidthEdit->setFocus();
  wizard_.WidthEdit->setText("119");
  QTest::keyClick(wizard_.WidthEdit, Qt::Key_Tab);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown().back().text, "Value out of range for \"Label width\". Allowed range: 15.00-104.00");
  EXPECT_TRUE(wizard_.WidthEdit->hasFocus());

  wizard_.WidthEdit->setText("60");
  QTest::keyClick(wizard_.WidthEdit, Qt::Key_Tab);
  EXPECT_EQ(Shown().size(), 1u);
  EXPECT_EQ(wizard_.WidthEdit->text(), "60.00");
  EXPECT_FALSE(wizard_.WidthEdit->hasFocus());
}

TEST_F(SetPrinterTest, AUnitChangeConvertsTheFieldsAndReplacesTheSpeedList) {
  Show();
  wizard_.SpeedComboBox->setCurrentIndex(1);
  ChooseUnit(LengthUnit::Inch);
  EXPECT_EQ(wizard_.WidthEdit->text(), "2.20");
  EXPECT_EQ(wizard_.WidthUnitLabel->text(), "inch");
  EXPECT_EQ(wizard_.SpeedUnitLabel->text(), "inch/s");
  ASSERT_EQ(wizard_.SpeedComboBox->count(), 5);
  EXPECT_EQ(wizard_.SpeedComboBox->currentIndex(), 1);
  EXPECT_EQ(wizard_.SpeedComboBox->currentText(), "3.0");

  // A field that cannot be read stops the change: nothing converted, the list back on inch.
  wizard_.HeightEdit->setText(".");
  ChooseUnit(LengthUnit::Millimetre);
  EXPECT_EQ(wizard_.UnitsComboBox->currentIndex(), static_cast<int>(LengthUnit::Inch));
  EXPECT_EQ(wizard_.WidthEdit->text(), "2.20");
  EXPECT_EQ(wizard_.Lengths().CurrentUnit(), LengthUnit::Inch);
  EXPECT_FALSE(Shown().empty());
}

TEST_F(SetPrinterTest, FinishSendsExactlyTheBlockThatIsSaved) {
  // A printer holding the wizard's defaults: read back and finished unchanged, the block is the
  // designed default block.
  const std::pair<int, uint16_t> defaults[] = {{0x47, 448}, {0x1C, 0}, {0x1E, 100}, {0x48, 0}, {0x0F, 127},
                                            {0x12, 20},  {0x01, 0}, {0x0C, 0},    {0x1D, 0}, {0x35, 1}};
  for (const auto& [address, value] : defaults) printer_.SetSlot(address, value);
  Connect();
  Show();
  ReadSettings();
  wizard_.SaveFileCheckBox->setChecked(true);
  test::TempDir folder;
  SetFileChooser([&](const TFileDialog&, QWidget*) {
    return FileChoice{QString::fromStdString((folder / "Setup.TXT").string()), 1};
  });
  const std::size_t before = printer_.Received().size();
  Click(wizard_.buttons.FinishBtn);

  EXPECT_EQ(wizard_.result(), QDialog::Accepted);
  const std::string saved = test::ReadFileBytes(folder / "setup.txt");
  EXPECT_EQ(saved, kDefaultBlock);
  EXPECT_EQ(ReceivedAfterWait(before + saved.size()).substr(before), saved);
}

TEST_F(SetPrinterTest, FinishConvertsTheFieldsToDotsByTruncation) {
  Connect();
  Show();
  ReadSettings();
  ChooseUnit(LengthUnit::Inch);
  wizard_.WidthEdit->setText("2.20");
  wizard_.TearoffadjustEdit->setText("0.00");
  ChooseUnit(LengthUnit::Millimetre);
  wizard_.TearoffadjustEdit->setText("-1.50");
  const std::optional<ZSetupChoices> choices = wizard_.CurrentChoices();
  ASSERT_TRUE(choices);
  EXPECT_EQ(choices->tearoffDots, -12);
  ChooseUnit(LengthUnit::Inch);
  wizard_.WidthEdit->setText("2.20");
  EXPECT_EQ(wizard_.CurrentChoices()->widthDots, 447);

  // A field that cannot be read is reported and nothing is sent.
  wizard_.HeightEdit->setText("");
  const std::size_t before = printer_.Received().size();
  Click(wizard_.buttons.FinishBtn);
  EXPECT_NE(wizard_.result(), QDialog::Accepted);
  EXPECT_EQ(Shown().back().text, "'' is not a valid floating point value");
  EXPECT_EQ(printer_.Received().size(), before);
}

TEST_F(SetPrinterTest, TheEnteredClockIsSentWithTwoDigitFields) {
  Connect();
  Show();
  ReadSettings();
  wizard_.WidthEdit->setText("56.00");
  wizard_.HeightEdit->setText("12.50");
  wizard_.SetTimeCheckBox->click();
  wizard_.SetTimeRadioButton->click();
  wizard_.DateDateTimePicker->setDate(QDate(2027, 1, 2));
  wizard_.TimeDateTimePicker->setTime(QTime(3, 4, 5));
  const std::size_t before = printer_.Received().size();
  Click(wizard_.buttons.FinishBtn);
  const std::string block = ReceivedAfterWait(before + 1).substr(before);
  EXPECT_NE(block.find("^XA\r\n^ST01,02,2027,03,04,05,M\r\n^XZ\r\n^XA\r\n^PW448"), std::string::npos);
}

TEST_F(SetPrinterTest, CancellingTheSaveSaysTheBlockWasSentAndCloses) {
  Connect();
  Show();
  ReadSettings();
  wizard_.WidthEdit->setText("56.00");
  wizard_.HeightEdit->setText("12.50");
  wizard_.SaveFileCheckBox->setChecked(true);
  SetFileChooser([](const TFileDialog&, QWidget*) { return FileChoice{QString(), 1}; });
  const std::size_t before = printer_.Received().size();
  Click(wizard_.buttons.FinishBtn);
  EXPECT_GT(ReceivedAfterWait(before + 1).size(), before);
  ASSERT_FALSE(Shown().empty());
  EXPECT_EQ(Shown().back().text, "Sent to the printer; not saved to a file");
  EXPECT_EQ(Shown().back().icon, MsgIcon::Information);
  EXPECT_EQ(wizard_.result(), QDialog::Accepted);
  EXPECT_FALSE(wizard_.isVisible());
}

TEST_F(SetPrinterTest, AFailedOrUnacknowledgedSendIsReportedAndTheWizardStaysOpen) {
  Show();
  // No port open; then a network printer that went away after the read (the system still takes
  // the bytes, the printer never acknowledges them).
  for (const bool vanished : {false, true}) {
    SCOPED_TRACE(vanished ? "vanished" : "no port");
    if (vanished) {
      Connect();
      ReadSettings();
      printer_.Stop();
    }
    wizard_.buttons.FinishBtn->setEnabled(true);
    const std::size_t before = Shown().size();
    Click(wizard_.buttons.FinishBtn);
    EXPECT_TRUE(wizard_.isVisible());
    ASSERT_EQ(Shown().size(), before + 1);
    EXPECT_EQ(Shown().back().text, Tip("SendDataFail").toStdString());
  }
}

}  // namespace
}  // namespace tw
