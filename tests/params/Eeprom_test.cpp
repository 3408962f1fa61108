// SPDX-License-Identifier: GPL-3.0-or-later
// The factory parameter editor against the virtual printer: reading, writing between the check-mode
// commands (every slot as written, and a read followed by a write changing nothing), entries that are
// refused before anything is sent, failed and garbled exchanges, parameter INI files, the key filter,
// the button states and the relabelling in the three languages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest/QTest>
#include <cctype>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/AppPaths.h"
#include "core/Ini.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "params/Eeprom.h"
#include "params/FactoryParams.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/DumpText.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/RadioGroup.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

using test::Hex4;

// The printer's table before a test: every slot of the editor, each choice on a listed entry, the
// kept bits of 1C, 1D, 20 and 37 set. Slot 50 is not the editor's.
const std::map<int, uint16_t> kStartSlots = {
    {0x00, 0x0320}, {0x02, 0x0A00}, {0x03, 0x2340}, {0x04, 0x1234}, {0x05, 0x0105}, {0x06, 0x0106},
    {0x07, 0x0107}, {0x08, 0x0108}, {0x09, 0x0109}, {0x0F, 0x0004}, {0x10, 0x0006}, {0x11, 0x0003},
    {0x12, 0x0014}, {0x13, 0x8040}, {0x14, 0x9050}, {0x15, 0xA060}, {0x19, 0x0800}, {0x1A, 0x0700},
    {0x1B, 0x0018}, {0x1C, 0xF412}, {0x1D, 0xE213}, {0x20, 0x9559}, {0x2B, 0x0001}, {0x34, 0x9123},
    {0x35, 0x0A0B}, {0x37, 0x8374}, {0x50, 0x1234}};

// The address texts of the reads and of the writes, in their order.
const char* const kReadAddresses[] = {"00", "02", "03", "04", "05", "06", "07", "08", "09", "0F", "10", "11", "12",
                                      "13", "14", "15", "19", "1A", "1B", "1C", "1D", "20", "2b", "34", "35", "37"};
const char* const kWriteAddresses[] = {"00", "02", "03", "04", "05", "06", "07", "08", "09", "0f", "10", "11", "12",
                                       "13", "14", "15", "19", "1A", "1B", "1C", "1D", "20", "2b", "34", "35", "37"};
const int kSlotNumbers[] = {0x00, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0F, 0x10, 0x11, 0x12,
                            0x13, 0x14, 0x15, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x20, 0x2B, 0x34, 0x35, 0x37};

const char* const kHiddenControls[] = {"rgBIT_STATIC_CHECK", "rgBIT_ACT_KEY", "rgBIT_ETHERNET_TYPE",
                                       "edtBIT_EXIST_POWER", "edtBIT_USB_BASE_ID"};

std::string WriteCommand(const std::string& address, const std::string& value) {
  return "~WN00@eep,w," + address + "," + value + "~";
}

class FactoryEditorTest : public ::testing::Test {
 protected:
  explicit FactoryEditorTest(double sleepScale = 0.0) : pacer_(sleepScale) {
    InitProgramDirFromExecutable();  // the delivered language files beside the test program
    SetCurrentLanguage(kLanguageEnglish);
    LoadCatalogSection("Tips");
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
    SetBeeper([this] { ++beeps_; });
    SetHelpOpener([this](const QString& path) { helpOpened_ = path; });
    for (const auto& [slot, value] : kStartSlots) printer_.SetSlot(slot, value);
    editor_ = std::make_unique<TFormEeprom>();
  }
  ~FactoryEditorTest() override {
    editor_.reset();
    SetBeeper({});
    SetHelpOpener({});
    SetFileChooser({});
    ResetLink({});
  }

  void Connect(test::Transport transport = test::Transport::Tcp) {
    ASSERT_TRUE(test::ConnectLink(printer_, transport));
    Link().Set(LinkState::Text::LinkName, "127.0.0.1");
  }
  void ShowEditor() {
    editor_->show();
    QApplication::processEvents();
  }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  QString Text(const char* edit) const { return editor_->Edit(edit)->text(); }
  int Index(const char* group) const { return editor_->Group(group)->itemIndex(); }
  void SetText(const char* edit, const char* text) { editor_->Edit(edit)->setText(text); }
  std::vector<test::MessageRecorder::Shown> Shown() const { return messages_.shown(); }
  std::string LastText() const { return Shown().empty() ? std::string() : Shown().back().text; }
  std::string Caption() const { return editor_->windowTitle().toStdString(); }

  // Waits until the printer has taken everything sent so far: it answers a read only after it.
  void SyncWithPrinter() {
    Link().readOnce = true;
    ASSERT_TRUE(SendToPrinter("~WN00@eep,r,50~"));
    std::string reply;
    for (int i = 0; i < 100 && reply.find('\n') == std::string::npos; ++i) reply += ReadReply().text;
    Link().readOnce = false;
    ASSERT_EQ(reply.substr(0, 4), "1234");
  }
  std::string SlotText(int slot) const { return Hex4(printer_.Slot(slot)); }

  test::ScopedFastPacer pacer_;
  test::MessageRecorder messages_;
  sim::VirtualPrinter printer_;
  std::unique_ptr<TFormEeprom> editor_;
  int beeps_ = 0;
  QString helpOpened_;
};

// ---- Controls, states, languages ----

TEST_F(FactoryEditorTest, OpensOnTheFirstPageWithOnlyReadingAndLoadingEnabled) {
  Link().currentKind = PortKind::Network;
  Link().Set(LinkState::Text::LinkName, "10.0.0.9:9100");
  Link().open = true;
  ShowEditor();
  EXPECT_TRUE(editor_->isModal());
  EXPECT_EQ(editor_->PageControl1->currentIndex(), 0);
  EXPECT_TRUE(editor_->btnReadPrint->isEnabled());
  EXPECT_FALSE(editor_->btnSetPrint->isEnabled());
  EXPECT_TRUE(editor_->btnReadFile->isEnabled());
  EXPECT_FALSE(editor_->btnWrintFile->isEnabled());
  EXPECT_EQ(editor_->statusPanels[0]->text(), Tip("PortName") + "10.0.0.9:9100");
  for (const char* name : kHiddenControls) {
    QWidget* control = editor_->Group(name) ? static_cast<QWidget*>(editor_->Group(name)) : editor_->Edit(name);
    ASSERT_NE(control, nullptr) << name;
    EXPECT_TRUE(control->isHidden()) << name;
    if (QLabel* label = editor_->EditLabel(name)) {
      EXPECT_TRUE(label->isHidden()) << name;
    }
  }
  EXPECT_FALSE(editor_->Group("rgBIT_ACT_KEY")->isEnabled());
  EXPECT_FALSE(editor_->Group("rgBIT_USB_MODE")->isHidden());
  EXPECT_EQ(editor_->Edit("edtPRINT_SPEED")->maxLength(), 4);
}

TEST_F(FactoryEditorTest, TheStatusBarNamesASerialPortByItsDisplayName) {
  Link().currentKind = PortKind::Serial;
  Link().Set(LinkState::Text::SerialDisplayName, "COM12");
  Link().Set(LinkState::Text::LinkName, "\\\\.\\COM12");
  Link().open = true;
  ShowEditor();
  EXPECT_EQ(editor_->statusPanels[0]->text(), Tip("PortName") + "COM12");
}

TEST_F(FactoryEditorTest, EachLanguageRelabelsEveryControlWithoutEmptyingAGroupOrCuttingAText) {
  for (int language : {kLanguageSimplified, kLanguageTraditional, kLanguageEnglish}) {
    SCOPED_TRACE(language);
    SetCurrentLanguage(language);
    editor_ = std::make_unique<TFormEeprom>();
    ShowEditor();
    EXPECT_GE(editor_->width(), 720);
    EXPECT_GE(editor_->height(), 513);
    for (const factory::Slot& slot : factory::Slots()) {
      for (const factory::Control& control : slot.controls) {
        const QString name = QString::fromLatin1(control.name);
        QWidget* shown = nullptr;
        if (control.kind == factory::Kind::Choice) {
          TRadioGroup* group = editor_->Group(name);
          EXPECT_EQ(group->items().size(), control.ItemCount()) << control.name;
          EXPECT_EQ(group->itemIndex(), 0) << control.name;
          EXPECT_TRUE(group->toolTip().endsWith(QString::asprintf("0x%02X", slot.number))) << control.name;
          shown = group;
        } else {
          QLabel* label = editor_->EditLabel(name);
          EXPECT_TRUE(label->toolTip().endsWith(QString::asprintf("0x%02X", slot.number))) << control.name;
          if (language == kLanguageEnglish) {
            EXPECT_NE(label->text(), QString::fromUtf8(control.caption)) << control.name;
          }
          shown = label;
        }
        if (control.hidden) continue;
        editor_->PageControl1->setCurrentWidget(control.kind == factory::Kind::Choice ? editor_->TabSheet3
                                                                                         : editor_->TabSheet12);
        QApplication::processEvents();
        EXPECT_GE(shown->width(), shown->sizeHint().width()) << control.name;
      }
    }
    const int designedWidth = language == kLanguageEnglish ? 170 : 75;
    for (QPushButton* button : {editor_->btnReadPrint, editor_->btnSetPrint, editor_->btnReadFile, editor_->btnWrintFile}) {
      EXPECT_GE(button->width(), designedWidth);
      EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
    }
    if (language == kLanguageEnglish) {
      EXPECT_EQ(editor_->windowTitle(), "Factory Parameters");
      EXPECT_EQ(editor_->btnReadPrint->text(), "&Read from Printer");
      EXPECT_EQ(editor_->OpenEEPRomDialog->filter(), "Ini Files(*.ini)|*.ini|All Files(*.*)|*.*");
    }
  }
}

TEST_F(FactoryEditorTest, TheSpoolerCannotBeReadFrom) {
  Link().currentKind = PortKind::Spooler;
  ShowEditor();
  EXPECT_FALSE(editor_->btnReadPrint->isEnabled());
  EXPECT_TRUE(editor_->btnReadFile->isEnabled());
}

TEST_F(FactoryEditorTest, WithoutAnOpenPortReadingAndLoadingOnlySaySo) {
  ShowEditor();
  SetFileChooser([](const TFileDialog&, QWidget*) -> FileChoice {
    ADD_FAILURE() << "no dialog expected";
    return {};
  });
  for (QPushButton* button : {editor_->btnReadPrint, editor_->btnReadFile}) {
    const std::size_t before = Shown().size();
    Click(button);
    ASSERT_EQ(Shown().size(), before + 1);
    EXPECT_EQ(LastText(), Tip("NotOpenPortMessageBox").toStdString());
    EXPECT_EQ(Shown().back().caption, Caption());
  }
  EXPECT_EQ(printer_.Received(), "");
}

TEST_F(FactoryEditorTest, EditsTakeUpToFourHexDigitsAndBeepAtAnythingElse) {
  ShowEditor();
  editor_->PageControl1->setCurrentWidget(editor_->TabSheet12);
  QLineEdit* edit = editor_->Edit("edtBIT_MARK_REF");
  QTest::keyClicks(edit, "1aG.");
  EXPECT_EQ(edit->text(), "1a");
  EXPECT_EQ(beeps_, 2);
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(edit->text(), "1");
  QTest::keyClicks(edit, "fF09");
  EXPECT_EQ(edit->text(), "1fF0");  // four digits at most
  EXPECT_EQ(beeps_, 2);
}

TEST_F(FactoryEditorTest, F1OpensTheHelpOfTheLanguage) {
  SetCurrentLanguage(kLanguageTraditional);
  ShowEditor();
  QTest::keyClick(editor_.get(), Qt::Key_F1);
  EXPECT_EQ(helpOpened_, HelpFilePath(kLanguageTraditional));
}

// ---- Reading ----

TEST_F(FactoryEditorTest, ReadingAsksForEverySlotInItsOrderAndFillsTheControls) {
  Connect();
  ShowEditor();
  editor_->Group("rgBIT_ETHERNET_IP_RESOLUTION")->setItemIndex(0);
  Click(editor_->btnReadPrint);

  ASSERT_EQ(Shown().size(), 1u) << LastText();
  EXPECT_EQ(LastText(), Tip("ReadFinish").toStdString());
  EXPECT_EQ(Shown().back().caption, Caption());
  std::string requests;
  for (const char* address : kReadAddresses) requests += "~WN00@eep,r," + std::string(address) + "~";
  EXPECT_EQ(printer_.Received(), requests);

  EXPECT_EQ(Text("edtLABEL_LENGTH"), "0320");
  EXPECT_EQ(Text("edtBIT_TPH_WIDTH"), "0340");
  EXPECT_EQ(Index("rgBIT_TPH_COLD_EN"), 1);
  EXPECT_EQ(Text("edtBIT_LEFT_MARGIN"), "0034");
  EXPECT_EQ(Text("edtBIT_RIGHT_MARGIN"), "0024");
  EXPECT_EQ(Index("rgBIT_X_POSITION"), 0);
  EXPECT_EQ(Text("edtPRINT_SPEED"), "0004");
  EXPECT_EQ(Text("edtBIT_MARK_POWER"), "0040");
  EXPECT_EQ(Text("edtBIT_MARK_REF"), "0080");
  EXPECT_EQ(Text("edtBIT_EXIST_POWER"), "0060");
  EXPECT_EQ(Index("rgBIT_PAP_TYPE"), 2);
  EXPECT_EQ(Index("rgBIT_OUT_MODE"), 1);
  EXPECT_EQ(Index("rgBIT_ACT_POWER"), 3);
  EXPECT_EQ(Index("rgBIT_ACT_COVER"), 1);
  EXPECT_EQ(Index("rgBIT_ACT_KEY"), 2);
  EXPECT_EQ(Index("rgBIT_COMM_BAUD_RATE"), 9);
  EXPECT_EQ(Index("rgBIT_COMM_DATA_LEN"), 1);
  EXPECT_EQ(Index("rgBIT_COMM_PARITY"), 1);
  EXPECT_EQ(Index("rgBIT_COMM_STOP_BIT"), 1);
  EXPECT_EQ(Index("rgBIT_COMM_HANDSHAKE"), 1);
  EXPECT_EQ(Index("rgSENSER_SELECT"), 1);
  EXPECT_EQ(Text("edtBIT_USB_BASE_ID"), "0123");
  EXPECT_EQ(Text("edtBIT_USB_ID"), "0001");
  EXPECT_EQ(Index("rgBIT_USB_MODE"), 1);
  EXPECT_EQ(Text("edtBIT_BACK_AFTER"), "000A");
  EXPECT_EQ(Index("rgBIT_ETHERNET_LINK_CHECK"), 1);
  EXPECT_EQ(Index("rgBIT_ETHERNET_IP_RESOLUTION"), 1);
  EXPECT_TRUE(editor_->btnReadPrint->isEnabled());
  EXPECT_TRUE(editor_->btnSetPrint->isEnabled());
  EXPECT_TRUE(editor_->btnWrintFile->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FactoryEditorTest, AFailedReadOfSlot13KeepsTheSlotsBeforeItAndEnablesReadingAgain) {
  Connect();
  ShowEditor();
  sim::Faults faults;
  faults.disconnectAfterBytes = 13 * 15 + 5;  // slots 00 to 12 are answered, the request of 13 is cut
  printer_.SetFaults(faults);
  Click(editor_->btnReadPrint);

  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(LastText(), Tip("ReadFail").toStdString());
  EXPECT_EQ(Shown().back().caption, Caption());
  EXPECT_EQ(Text("edtLABEL_LENGTH"), "0320");
  EXPECT_EQ(Text("edtBIT_LEFT_MARGIN"), "0034");
  EXPECT_EQ(Text("edtADD_DARKNESS"), "0014");
  EXPECT_TRUE(Text("edtBIT_MARK_POWER").isEmpty());
  EXPECT_TRUE(editor_->btnReadPrint->isEnabled());
  EXPECT_FALSE(editor_->btnSetPrint->isEnabled());  // as it was
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FactoryEditorTest, GarbledOrMissingRepliesFailTheReadAndKeepWhatWasShown) {
  Connect();
  ShowEditor();
  Click(editor_->btnReadPrint);
  ASSERT_EQ(LastText(), Tip("ReadFinish").toStdString());
  for (bool garbage : {true, false}) {
    SCOPED_TRACE(garbage ? "garbage" : "no reply");
    sim::Faults faults;
    faults.garbage = garbage;
    faults.noReply = !garbage;
    printer_.SetFaults(faults);
    printer_.SetSlot(0x00, 0x0999);
    Click(editor_->btnReadPrint);
    EXPECT_EQ(LastText(), Tip("ReadFail").toStdString());
    EXPECT_EQ(Text("edtLABEL_LENGTH"), "0320");
    EXPECT_TRUE(editor_->btnReadPrint->isEnabled());
    EXPECT_TRUE(editor_->btnSetPrint->isEnabled());  // as it was after the first read
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

// ---- Writing ----

// What the test puts into the controls after a read of kStartSlots, and the word each slot must then
// hold (hidden controls keep what the read gave).
const std::pair<const char*, const char*> kEditChanges[] = {
    {"edtLABEL_LENGTH", "0400"},       {"edtFLAGSEEK_MAXLENGTH", "b00"},   {"edtBIT_TPH_WIDTH", "0240"},
    {"edtBIT_LEFT_MARGIN", "10"},      {"edtBIT_RIGHT_MARGIN", "20"},      {"edtLABLE_TO_TPH_DISTANCE", "0205"},
    {"edtMARK_TO_TPH_DISTANCE", "206"}, {"edtTPH_TEAR_DISTANCE", "0207"},  {"edtTPH_PEEL_DISTANCE", "0208"},
    {"edtTPH_CUTTER_DISTANCE", "0209"}, {"edtPRINT_SPEED", "5"},           {"edtFEED_SPEED", "0007"},
    {"edtBACKFEED_SPEED", "0002"},     {"edtADD_DARKNESS", "001E"},        {"edtBIT_MARK_POWER", "41"},
    {"edtBIT_MARK_REF", "81"},         {"edtBIT_LABLE_POWER", "51"},       {"edtBIT_LABLE_REF", "91"},
    {"edtBIT_EXIST_REF", "A1"},        {"edtADD_ADJ_FEED_LEN", "0801"},    {"edtADD_MAX_LABLE_LEN", "0701"},
    {"edtADD_LABLE_LEN", "19"},        {"edtBIT_USB_ID", "3"},             {"edtBIT_BACK_BEFORE", "0C"},
    {"edtBIT_BACK_AFTER", "0D"},
};
const std::pair<const char*, int> kGroupChanges[] = {
    {"rgBIT_TPH_COLD_EN", 0},       {"rgBIT_X_POSITION", 2},        {"rgBIT_PAP_TYPE", 1},
    {"rgBIT_OUT_MODE", 3},          {"rgBIT_ACT_POWER", 1},         {"rgBIT_ACT_COVER", 3},
    {"rgBIT_COMM_BAUD_RATE", 10},   {"rgBIT_COMM_DATA_LEN", 0},     {"rgBIT_COMM_PARITY", 2},
    {"rgBIT_COMM_STOP_BIT", 0},     {"rgBIT_COMM_HANDSHAKE", 1},    {"rgSENSER_SELECT", 2},
    {"rgBIT_USB_MODE", 0},          {"rgBIT_ETHERNET_LINK_CHECK", 0}, {"rgBIT_ETHERNET_TIMEOUT_CHECK", 1},
    {"rgBIT_ETHERNET_IP_RESOLUTION", 0},
};
// The values sent, in slot order (text slots as typed, completed to four digits).
const char* const kWrittenValues[] = {
    "0400", "0b00", "0240",
    "9010",  // left 10 + right 20 * 0x80 + right alignment 0x8000
    "0205", "0206", "0207", "0208", "0209", "0005", "0007", "0002", "001E",
    "8141", "9151",
    "A160",  // the hidden power keeps 60
    "0801", "0701", "0019",
    "F431",  // kept F400 + paper 1 + output 3 * 0x10
    "E231",  // kept E000 + power 1 + cover 3 * 0x10 + the hidden key action 2 * 0x100
    "948A",  // kept 9000 + baud 10 + even parity 0x80 + software handshake 0x400
    "0020", "3123", "0D0C",
    "8348",  // kept 8300 + time-out check 8 + automatic address 0x40
};

class FactoryEditorLinkTest : public FactoryEditorTest, public ::testing::WithParamInterface<test::Transport> {
 protected:
  // A pseudo-terminal answers after a moment: the reply waits are shortened, not skipped.
  FactoryEditorLinkTest() : FactoryEditorTest(GetParam() == test::Transport::Tcp ? 0.0 : 0.1) {}
};

TEST_P(FactoryEditorLinkTest, EndToEndEverySlotIsWrittenBetweenTheCheckModeCommandsAndReadsBackAsWritten) {
  Connect(GetParam());
  ShowEditor();
  Click(editor_->btnReadPrint);
  ASSERT_EQ(LastText(), Tip("ReadFinish").toStdString());
  for (const auto& [name, text] : kEditChanges) SetText(name, text);
  for (const auto& [name, index] : kGroupChanges) editor_->Group(name)->setItemIndex(index);
  printer_.ClearReceived();

  Click(editor_->btnSetPrint);
  ASSERT_EQ(Shown().size(), 2u) << LastText();
  EXPECT_EQ(LastText(), Tip("UpdateFinish").toStdString());
  EXPECT_EQ(Shown().back().caption, Caption());
  EXPECT_EQ(pacer_->SleepCount(pace::kAfterFactoryWrite.name), 1);
  EXPECT_TRUE(editor_->btnSetPrint->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  SyncWithPrinter();

  std::string expected = std::string("\x02j34000\r\n") + "\x02JX01";
  for (std::size_t i = 0; i < std::size(kWrittenValues); ++i) expected += WriteCommand(kWriteAddresses[i], kWrittenValues[i]);
  expected += std::string("\x02&05000100") + "\x02JX00";
  const std::string received = printer_.Received();
  EXPECT_EQ(received.substr(0, expected.size()), expected);
  for (std::size_t i = 0; i < std::size(kWrittenValues); ++i) {
    std::string word = kWrittenValues[i];
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(SlotText(kSlotNumbers[i]), word) << "slot " << Hex4(kSlotNumbers[i]);
  }
  EXPECT_EQ(SlotText(0x50), "1234");

  // A new editor reads back what was written.
  editor_ = std::make_unique<TFormEeprom>();
  ShowEditor();
  Click(editor_->btnReadPrint);
  ASSERT_EQ(LastText(), Tip("ReadFinish").toStdString());
  EXPECT_EQ(Text("edtFLAGSEEK_MAXLENGTH"), "0B00");
  EXPECT_EQ(Text("edtPRINT_SPEED"), "0005");
  EXPECT_EQ(Text("edtBIT_RIGHT_MARGIN"), "0020");
  EXPECT_EQ(Text("edtBIT_EXIST_POWER"), "0060");
  for (const auto& [name, index] : kGroupChanges) EXPECT_EQ(Index(name), index) << name;
  EXPECT_EQ(Index("rgBIT_ACT_KEY"), 2);
}

// A late answer of an earlier read, still waiting on the link, is read away before the first
// request: taken for the first slot's answer, it would shift every value by one slot.
TEST_P(FactoryEditorLinkTest, ALateAnswerWaitingOnTheLinkIsNotTakenForTheFirstSlot) {
  Connect(GetParam());
  ShowEditor();
  Click(editor_->btnReadPrint);
  std::map<QString, QString> clean;
  for (QLineEdit* edit : editor_->findChildren<QLineEdit*>()) clean[edit->objectName()] = edit->text();
  printer_.SendUnsolicited("0077\r\n");
  QTest::qWait(200);
  Click(editor_->btnReadPrint);
  EXPECT_EQ(LastText(), Tip("ReadFinish").toStdString());
  for (QLineEdit* edit : editor_->findChildren<QLineEdit*>()) {
    EXPECT_EQ(edit->text(), clean[edit->objectName()]) << edit->objectName().toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Transports, FactoryEditorLinkTest,
                         ::testing::Values(test::Transport::Tcp, test::Transport::Pty),
                         [](const auto& info) { return test::TransportName(info.param); });

TEST_F(FactoryEditorTest, AReadFollowedByAWriteLeavesEverySlotAsItWas) {
  // Values that no entry stands for, bit 3 of 1C and the unused key action included.
  std::map<int, uint16_t> odd = kStartSlots;
  odd[0x03] = 0xE123;  // cold alarm bits 7
  odd[0x04] = 0xFFFF;  // alignment 3
  odd[0x1C] = 0xFF8F;  // paper 7, output 8, static detection on, bit 3
  odd[0x1D] = 0xFFFF;
  odd[0x20] = 0x000F;  // baud 15
  odd[0x2B] = 0x0005;
  odd[0x34] = 0xFFFF;
  odd[0x37] = 0x0053;  // board type 3, address bits 5
  for (const auto& [slot, value] : odd) printer_.SetSlot(slot, value);
  Connect();
  ShowEditor();
  editor_->Group("rgBIT_ETHERNET_IP_RESOLUTION")->setItemIndex(1);
  Click(editor_->btnReadPrint);
  ASSERT_EQ(LastText(), Tip("ReadFinish").toStdString());
  EXPECT_EQ(Index("rgBIT_COMM_BAUD_RATE"), 10);  // "115200", the last entry
  EXPECT_EQ(Index("rgBIT_ETHERNET_IP_RESOLUTION"), 1);  // as it was
  printer_.ClearReceived();

  Click(editor_->btnSetPrint);
  EXPECT_EQ(LastText(), Tip("UpdateFinish").toStdString());
  SyncWithPrinter();
  const std::string sent = printer_.Received();
  for (std::size_t i = 0; i < std::size(kSlotNumbers); ++i) {
    const int slot = kSlotNumbers[i];
    EXPECT_NE(sent.find(WriteCommand(kWriteAddresses[i], Hex4(odd[slot]))), std::string::npos) << "slot " << Hex4(slot);
    EXPECT_EQ(SlotText(slot), Hex4(odd[slot])) << "slot " << Hex4(slot);
  }

  // Choosing the entry that is shown writes that entry.
  QTest::mouseClick(editor_->Group("rgBIT_COMM_BAUD_RATE")->findChildren<QRadioButton*>()[10], Qt::LeftButton);
  Click(editor_->btnSetPrint);
  SyncWithPrinter();
  EXPECT_EQ(SlotText(0x20), "000A");
  EXPECT_EQ(SlotText(0x1C), "FF8F");
}

struct BadEntry {
  const char* edit;
  const char* text;
  const char* limit;
};

TEST_F(FactoryEditorTest, AnEntryThatDoesNotFitIsRefusedBeforeAnythingIsSent) {
  const BadEntry cases[] = {
      {"edtLABEL_LENGTH", "", "FFFF"},       // a text slot cannot be sent empty
      {"edtBIT_LEFT_MARGIN", "80", "7F"},    // would spill into the right margin
      {"edtBIT_MARK_POWER", "", "FF"},       // a joined slot cannot be built from an empty edit
      {"edtBIT_USB_ID", "8", "7"},
      {"edtBIT_BACK_AFTER", "100", "FF"},
  };
  Connect();
  ShowEditor();
  Click(editor_->btnReadPrint);
  for (const BadEntry& bad : cases) {
    SCOPED_TRACE(std::string(bad.edit) + "=" + bad.text);
    const QString before = Text(bad.edit);
    SetText(bad.edit, bad.text);
    editor_->PageControl1->setCurrentIndex(0);
    SyncWithPrinter();
    printer_.ClearReceived();
    const std::size_t shownBefore = Shown().size();
    Click(editor_->btnSetPrint);
    ASSERT_EQ(Shown().size(), shownBefore + 1);
    EXPECT_EQ(Shown().back().icon, MsgIcon::Error);
    EXPECT_EQ(Shown().back().caption, Caption());
    const QString label = editor_->EditLabel(bad.edit)->text().chopped(1);
    EXPECT_NE(LastText().find(label.toStdString()), std::string::npos) << LastText();
    EXPECT_NE(LastText().find(std::string("\"") + bad.text + "\""), std::string::npos) << LastText();
    EXPECT_NE(LastText().find(std::string(" ") + bad.limit + "."), std::string::npos) << LastText();
    EXPECT_TRUE(editor_->btnSetPrint->isEnabled());
    EXPECT_EQ(editor_->PageControl1->currentWidget(), editor_->TabSheet12);
    SyncWithPrinter();
    EXPECT_EQ(printer_.Received(), "~WN00@eep,r,50~");  // nothing of the write went out
    SetText(bad.edit, before.toLatin1().constData());
  }
}

TEST_F(FactoryEditorTest, ARadioGroupEmptiedByItsLanguageFileIsRefusedBeforeAnythingIsSent) {
  Connect();
  ShowEditor();
  Click(editor_->btnReadPrint);
  editor_->Group("rgBIT_COMM_PARITY")->setItems({});
  printer_.ClearReceived();
  Click(editor_->btnSetPrint);
  EXPECT_EQ(Shown().back().icon, MsgIcon::Error);
  EXPECT_NE(LastText().find("Parity"), std::string::npos) << LastText();
  SyncWithPrinter();
  EXPECT_EQ(printer_.Received(), "~WN00@eep,r,50~");
}

TEST_F(FactoryEditorTest, AWriteThatCannotBeSentReportsUpdateFail) {
  Connect();
  ShowEditor();
  Click(editor_->btnReadPrint);
  CloseNetworkLink();
  Click(editor_->btnSetPrint);
  EXPECT_EQ(LastText(), Tip("UpdateFail").toStdString());
  EXPECT_EQ(Shown().back().caption, Caption());
  EXPECT_TRUE(editor_->btnSetPrint->isEnabled());
  EXPECT_EQ(pacer_->SleepCount(pace::kAfterFactoryWrite.name), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FactoryEditorTest, TheCheckModeCommandsAreExactlyTheirBytes) {
  Connect();
  ShowEditor();
  EXPECT_TRUE(editor_->CloseCommedCheck(true));
  EXPECT_TRUE(editor_->CloseCommedCheck(false));
  SyncWithPrinter();
  const std::string expected = std::string("\x02j34000\r\n\x02JX01\x02JX00", 19) + "~WN00@eep,r,50~";
  EXPECT_EQ(printer_.Received(), expected);
}

// ---- Parameter files ----

class FactoryEditorFileTest : public FactoryEditorTest {
 protected:
  void Choose(const std::filesystem::path& path, int filterIndex = 1) {
    SetFileChooser([path, filterIndex](const TFileDialog& dialog, QWidget*) -> FileChoice {
      EXPECT_EQ(dialog.filter().toStdString(), "Ini Files(*.ini)|*.ini|All Files(*.*)|*.*");
      return {QString::fromStdString(path.string()), filterIndex};
    });
  }
  std::string Value(const std::filesystem::path& file, const char* key) {
    return IniDocument::Load(file).ReadString(key, key, "(missing)");
  }
  test::TempDir dir_;
};

TEST_F(FactoryEditorFileTest, SavedParametersLoadBackAndWriteThePrintersSlotsUnchanged) {
  Connect();
  ShowEditor();
  Click(editor_->btnReadPrint);
  const std::filesystem::path file = dir_ / "params.ini";
  Choose(file);
  Click(editor_->btnWrintFile);
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(Value(file, "LABEL_LENGTH"), "0320");
  EXPECT_EQ(Value(file, "BIT_OUT_MODE"), "0010");
  EXPECT_EQ(Value(file, "BIT_USB_BASE_ID"), "0123");
  EXPECT_EQ(Shown().size(), 1u);  // ReadFinish only: saving says nothing

  // Everything changed on the screen, then the file loaded: the screen is as read again.
  for (const auto& [name, text] : kEditChanges) SetText(name, text);
  for (const auto& [name, index] : kGroupChanges) editor_->Group(name)->setItemIndex(index);
  Click(editor_->btnReadFile);
  EXPECT_EQ(Shown().size(), 1u) << LastText();
  EXPECT_EQ(Text("edtFLAGSEEK_MAXLENGTH"), "0A00");
  EXPECT_EQ(Index("rgBIT_X_POSITION"), 0);
  EXPECT_EQ(Index("rgBIT_ETHERNET_IP_RESOLUTION"), 1);
  printer_.ClearReceived();
  Click(editor_->btnSetPrint);
  EXPECT_EQ(LastText(), Tip("UpdateFinish").toStdString());
  SyncWithPrinter();
  for (const auto& [slot, value] : kStartSlots) EXPECT_EQ(SlotText(slot), Hex4(value)) << "slot " << Hex4(slot);
}

TEST_F(FactoryEditorFileTest, LoadingAFileFillsTheControlsEnablesWritingAndSendsNothing) {
  Connect();
  ShowEditor();
  Choose(dir_.Write("factory.ini",
                    "[LABEL_LENGTH]\r\nLABEL_LENGTH=0280\r\n[BIT_OUT_MODE]\r\nBIT_OUT_MODE=0040\r\n"
                    "[BIT_COMM_BAUD_RATE]\r\nBIT_COMM_BAUD_RATE=0007\r\n[SENSER_SELECT]\r\nSENSER_SELECT=0020\r\n"));
  editor_->Group("rgBIT_COMM_DATA_LEN")->setItemIndex(1);
  Click(editor_->btnReadFile);

  EXPECT_TRUE(Shown().empty()) << LastText();
  EXPECT_EQ(Text("edtLABEL_LENGTH"), "0280");
  EXPECT_EQ(Text("edtBIT_LEFT_MARGIN"), "0400");  // default of a missing size
  EXPECT_EQ(Text("edtPRINT_SPEED"), "0070");      // default of everything else
  EXPECT_EQ(Index("rgBIT_OUT_MODE"), 4);
  EXPECT_EQ(Index("rgBIT_COMM_BAUD_RATE"), 7);
  EXPECT_EQ(Index("rgSENSER_SELECT"), 2);
  EXPECT_EQ(Index("rgBIT_COMM_DATA_LEN"), 1);  // no key: its default 0070 matches no entry
  EXPECT_TRUE(editor_->btnSetPrint->isEnabled());
  EXPECT_TRUE(editor_->btnWrintFile->isEnabled());
  EXPECT_EQ(printer_.Received(), "");
}

TEST_F(FactoryEditorFileTest, SavingAsParamsAppendsIniOnlyWithTheIniFilter) {
  Connect();
  ShowEditor();
  Click(editor_->btnReadPrint);
  Choose(dir_ / "params", 1);
  Click(editor_->btnWrintFile);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "params.ini"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "params"));

  Choose(dir_ / "other", 2);
  Click(editor_->btnWrintFile);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "other"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "other.ini"));
  EXPECT_EQ(Value(dir_ / "other", "PRINT_SPEED"), "0004");
}

TEST_F(FactoryEditorFileTest, DamagedFilesAreReportedClearlyAndChangeNothingTheyCannotGive) {
  Connect();
  ShowEditor();
  SetText("edtPRINT_SPEED", "0001");
  std::string binary(3000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 13 + 1);

  Choose(dir_.Write("binary.ini", binary));
  Click(editor_->btnReadFile);
  EXPECT_EQ(Shown().back().icon, MsgIcon::Warning);
  EXPECT_NE(LastText().find("binary.ini"), std::string::npos) << LastText();
  EXPECT_EQ(Text("edtPRINT_SPEED"), "0001");
  EXPECT_FALSE(editor_->btnSetPrint->isEnabled());

  const std::filesystem::path missing = dir_ / "gone" / "params.ini";
  Choose(missing);
  Click(editor_->btnReadFile);
  EXPECT_EQ(LastText(), (Tip("NotOpenFileMessageBox") + "\"" + QString::fromStdString(missing.string()) + "\"").toStdString());
  EXPECT_EQ(Shown().back().icon, MsgIcon::Error);
  EXPECT_FALSE(editor_->btnSetPrint->isEnabled());

  Choose(dir_.Write("bad.ini", "[PRINT_SPEED]\nPRINT_SPEED=1x\n[FEED_SPEED]\nFEED_SPEED=0009\n"
                               "[BIT_OUT_MODE]\nBIT_OUT_MODE=0050\n"));
  Click(editor_->btnReadFile);
  EXPECT_EQ(Shown().back().icon, MsgIcon::Warning);
  EXPECT_NE(LastText().find("PRINT_SPEED, BIT_OUT_MODE"), std::string::npos) << LastText();
  EXPECT_EQ(Text("edtPRINT_SPEED"), "0001");
  EXPECT_EQ(Text("edtFEED_SPEED"), "0009");
  EXPECT_TRUE(editor_->btnSetPrint->isEnabled());
  EXPECT_EQ(printer_.Received(), "");
}

TEST_F(FactoryEditorFileTest, AFileThatCannotBeWrittenIsReported) {
  Connect();
  ShowEditor();
  Click(editor_->btnReadPrint);
  const std::filesystem::path file = dir_ / "gone" / "params.ini";
  Choose(file);
  Click(editor_->btnWrintFile);
  EXPECT_EQ(Shown().back().icon, MsgIcon::Error);
  EXPECT_EQ(LastText(), (Tip("FileWriteFail") + "\"" + QString::fromStdString(file.string()) + "\"").toStdString());
}

TEST_F(FactoryEditorFileTest, CancelledDialogsDoNothing) {
  Connect();
  ShowEditor();
  Click(editor_->btnReadPrint);
  SetFileChooser([](const TFileDialog&, QWidget*) -> FileChoice { return {QString(), 1}; });
  const std::size_t before = Shown().size();
  Click(editor_->btnReadFile);
  Click(editor_->btnWrintFile);
  EXPECT_EQ(Shown().size(), before);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

}  // namespace
}  // namespace tw
