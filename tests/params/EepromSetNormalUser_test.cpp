// SPDX-License-Identifier: GPL-3.0-or-later
// The Z user parameter editor against the virtual printer over loopback TCP: reading, writing (with
// the kept bits of the whole-word slots and the refusal of edits that do not fit), loading and saving
// dump files, the key filter, the button states and the relabelling in the three languages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "params/Eeprom.h"
#include "params/EepromSetNormalUser.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/DumpText.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/RadioGroup.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

using test::DumpText;
using test::Hex4;

// The radio groups with their designed item counts and default positions.
struct GroupRow {
  const char* name;
  int items;
  int defaultIndex;
};
const GroupRow kGroups[] = {
    {"rgADD_PRINT_METHOD", 2, 0},   {"rgBIT_PAP_TYPE", 3, 0},       {"rgBIT_OUT_MODE", 4, 0},
    {"rgBIT_PEEL_SELECT", 2, 0},    {"rgBIT_ACT_POWER", 3, 0},      {"rgBIT_ACT_COVER", 3, 0},
    {"rgBIT_REPRNT", 2, 1},         {"rgBIT_COMM_BAUD_RATE", 11, 0}, {"rgBIT_COMM_DATA_LEN", 2, 0},
    {"rgBIT_COMM_PARITY", 3, 0},    {"rgBIT_COMM_STOP_BIT", 2, 0},  {"rgBIT_COMM_HANDSHAKE", 2, 0},
    {"rgSENSER_SELECT", 2, 0},      {"rgLABLE_ORIENTATION", 2, 0},  {"rgLABLE_MIRROR", 2, 0},
};
const char* const kEdits[] = {
    "EdtTEAR_POSITION_ADJ", "EdtTOP_POSITION_ADJ", "edtMARK_TO_TPH_DISTANCE", "EdtCMD_X_SHIFT_ADJ", "edtPRINT_SPEED",
    "edtFEED_SPEED", "edtBACKFEED_SPEED", "edtADD_DARKNESS", "edtADD_LABLE_LEN", "EdtADD_LABLE_LEN_CONTINOUS",
    "EdtADD_WEB_HEIGHT", "edtBIT_USB_ID", "edtBIT_BACK_BEFORE", "edtBIT_BACK_AFTER", "EdtETHERNET_RAW_PORT",
    "Edit_IP1", "Edit_IP2", "Edit_IP3", "Edit_IP4", "EdtETHERNET_NETMASK_1", "EdtETHERNET_NETMASK_2",
    "EdtETHERNET_NETMASK_3", "EdtETHERNET_NETMASK_4", "EdtETHERNET_GATEWAY_1", "EdtETHERNET_GATEWAY_2",
    "EdtETHERNET_GATEWAY_3", "EdtETHERNET_GATEWAY_4", "EdtLABEL_WIDTH"};

// The printer's table before the test: every slot the editor shows, with bits it does not edit set.
const std::map<int, uint16_t> kStartSlots = {
    {0x01, 0x3412}, {0x06, 0x0102}, {0x0C, 0x0203}, {0x0D, 0x0FF1}, {0x0F, 0x0004}, {0x10, 0x0005},
    {0x11, 0x0006}, {0x12, 0xAB07}, {0x1B, 0x0108}, {0x1C, 0xF129}, {0x1D, 0xEF12}, {0x1E, 0x0109},
    {0x20, 0xF0D7}, {0x21, 0x010A}, {0x2B, 0xFFF8}, {0x34, 0x9ABC}, {0x35, 0x5511}, {0x36, 0x2266},
    {0x38, 0x238C}, {0x3B, 0x1401}, {0x3C, 0xA8C0}, {0x3D, 0x00FF}, {0x3E, 0xFFFF}, {0x3F, 0x0101},
    {0x40, 0xA8C0}, {0x47, 0x0320}, {0x48, 0xFF05}, {0x50, 0x1234}};

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitProgramDirFromExecutable();  // the delivered language files beside the test program
    SetCurrentLanguage(kLanguageEnglish);
    LoadCatalogSection("Tips");
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
    SetBeeper([this] { ++beeps_; });
    for (const auto& [slot, value] : kStartSlots) printer_.SetSlot(slot, value);
  }
  void TearDown() override {
    SetBeeper({});
    SetFileChooser({});
    ResetLink({});
  }

  void ConnectTcp() {
    ASSERT_TRUE(test::ConnectLink(printer_, test::Transport::Tcp));
    Link().Set(LinkState::Text::LinkName, "127.0.0.1");
  }
  void ShowEditor() {
    editor_.show();
    editor_.FormActivate();
  }
  void ReadFromPrinter() {
    QTest::mouseClick(editor_.btnReadPrint, Qt::LeftButton);
  }
  QString Text(const char* edit) const { return editor_.Edit(edit)->text(); }
  int Index(const char* group) const { return editor_.Group(group)->itemIndex(); }
  void SetText(const char* edit, const char* text) { editor_.Edit(edit)->setText(text); }
  std::vector<test::MessageRecorder::Shown> Shown() const { return messages_.shown(); }
  std::string LastText() const { return Shown().empty() ? std::string() : Shown().back().text; }
  // Waits until the printer has taken everything sent so far (a read answers only after it).
  void SyncWithPrinter() {
    Link().readOnce = true;
    ASSERT_TRUE(SendToPrinter("~WN00@eep,r,50~"));
    ASSERT_EQ(ReadReply().text.substr(0, 4), "1234");
    Link().readOnce = false;
  }

  test::ScopedFastPacer pacer_;
  test::MessageRecorder messages_;
  sim::VirtualPrinter printer_;
  std::vector<std::string> resets_;
  int sleepsBeforeReset_ = -1;
  int beeps_ = 0;
  TFormEepromNormalUser editor_{nullptr, [this](const char* key) {
                                  resets_.push_back(key);
                                  sleepsBeforeReset_ =
                                      pacer_->SleepCount(pace::kAfterParameterWrite.name);
                                }};
};

// ---- Controls, defaults, language ----

TEST_F(EditorTest, EveryShowingStartsFromTheDefaultsWithOnlyReadingAndFilesEnabled) {
  ShowEditor();
  for (const GroupRow& row : kGroups) editor_.Group(row.name)->setItemIndex(row.items - 1);
  for (const char* name : kEdits) editor_.Edit(name)->setText("1");
  editor_.PageControl1->setCurrentIndex(1);
  editor_.btnSetPrint->setEnabled(true);
  editor_.hide();
  ShowEditor();

  for (const GroupRow& row : kGroups) EXPECT_EQ(Index(row.name), row.defaultIndex) << row.name;
  for (const char* name : kEdits) EXPECT_TRUE(Text(name).isEmpty()) << name;
  EXPECT_EQ(editor_.PageControl1->currentIndex(), 0);
  EXPECT_TRUE(editor_.btnReadPrint->isEnabled());
  EXPECT_FALSE(editor_.btnSetPrint->isEnabled());
  EXPECT_TRUE(editor_.btnReadFile->isEnabled());
  EXPECT_TRUE(editor_.btnWrintFile->isEnabled());
  EXPECT_EQ(editor_.statusPanels[0]->text(), Tip("PortName") + QString::fromStdString(Link().Get(LinkState::Text::LinkName)));
  EXPECT_FALSE(editor_.isModal());
}

TEST_F(EditorTest, EachLanguageRelabelsWithoutEmptyingAGroupOrCuttingAText) {
  for (int language : {kLanguageSimplified, kLanguageTraditional, kLanguageEnglish}) {
    SCOPED_TRACE(language);
    SetCurrentLanguage(language);
    ShowEditor();
    for (const GroupRow& row : kGroups) {
      EXPECT_EQ(editor_.Group(row.name)->items().size(), row.items) << row.name;
      EXPECT_FALSE(editor_.Group(row.name)->toolTip().isEmpty()) << row.name;
    }
    EXPECT_GE(editor_.width(), 720);
    EXPECT_GE(editor_.height(), 513);
    const int designedWidth = language == kLanguageEnglish ? 170 : 75;
    for (QPushButton* button : {editor_.btnReadPrint, editor_.btnSetPrint, editor_.btnReadFile, editor_.btnWrintFile}) {
      EXPECT_GE(button->width(), designedWidth);
      EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
    }
    if (language == kLanguageEnglish) {
      EXPECT_EQ(editor_.btnReadPrint->text(), "&Read from Printer");
    }
    editor_.hide();
  }
}

TEST_F(EditorTest, TheStatusBarShowsTheOpenSerialPortNotAnEarlierLinkName) {
  Link().Set(LinkState::Text::SerialDisplayName, "COM3");
  Link().Set(LinkState::Text::LinkName, "NET");  // left from an earlier network connection
  // In order: the editor is shown once and comes back to the front after each change of the link.
  const struct {
    PortKind kind;
    bool open;
    std::string named;
  } rows[] = {{PortKind::Serial, true, "COM3"}, {PortKind::Network, true, "NET"},
              {PortKind::Serial, false, ""}};  // a write's reset closed the network link
  ShowEditor();
  for (const auto& row : rows) {
    Link().currentKind = row.kind;
    Link().open = row.open;
    editor_.FormActivate();
    EXPECT_EQ(editor_.statusPanels[0]->text(), Tip("PortName") + QString::fromStdString(row.named)) << row.named;
  }
}

TEST_F(EditorTest, TheSpoolerCannotBeReadFromButFilesStayAvailable) {
  Link().currentKind = PortKind::Spooler;
  ShowEditor();
  EXPECT_FALSE(editor_.btnReadPrint->isEnabled());
  EXPECT_TRUE(editor_.btnReadFile->isEnabled());
  EXPECT_TRUE(editor_.btnWrintFile->isEnabled());
}

TEST_F(EditorTest, WithoutAnOpenPortReadingLoadingAndSavingOnlySaySo) {
  ShowEditor();
  SetFileChooser([](const TFileDialog&, QWidget*) -> FileChoice { ADD_FAILURE() << "no dialog expected"; return {}; });
  for (QPushButton* button : {editor_.btnReadPrint, editor_.btnReadFile, editor_.btnWrintFile}) {
    const std::size_t before = Shown().size();
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(Shown().size(), before + 1);
    EXPECT_EQ(Shown().back().text, Tip("NotOpenPortMessageBox").toStdString());
    EXPECT_EQ(Shown().back().caption, editor_.windowTitle().toStdString());
  }
  EXPECT_EQ(printer_.Received(), "");
}

// ---- Key filter ----

TEST_F(EditorTest, HexEditsTakeHexDigitsAndEditingKeysAndBeepAtAnythingElse) {
  ShowEditor();
  QLineEdit* edit = editor_.Edit("edtPRINT_SPEED");
  QTest::keyClicks(edit, "1aF");
  EXPECT_EQ(beeps_, 0);
  QTest::keyClicks(edit, "g.");
  EXPECT_EQ(beeps_, 2);
  EXPECT_EQ(edit->text(), "1aF");
  QTest::keyClick(edit, Qt::Key_Left);
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(edit->text(), "1F");
  EXPECT_EQ(beeps_, 2);
  // The network edits have no filter.
  QTest::keyClicks(editor_.Edit("Edit_IP1"), "1x");
  EXPECT_EQ(beeps_, 2);
}

// ---- Reading ----

TEST_F(EditorTest, ReadingShowsEveryRowAndDecodesTheWholeWordSlots) {
  ConnectTcp();
  ShowEditor();
  ReadFromPrinter();

  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(LastText(), Tip("ReadFinish").toStdString());
  EXPECT_EQ(Shown().back().caption, editor_.windowTitle().toStdString());
  EXPECT_FALSE(Link().readOnce);
  EXPECT_TRUE(editor_.btnSetPrint->isEnabled());
  // Slot 01 as two fields, slot 12 as its low byte.
  EXPECT_EQ(Text("EdtTEAR_POSITION_ADJ"), "0012");
  EXPECT_EQ(Text("EdtTOP_POSITION_ADJ"), "0034");
  EXPECT_EQ(Text("edtADD_DARKNESS"), "0007");
  EXPECT_EQ(Text("edtBIT_USB_ID"), "0001");
  EXPECT_EQ(Text("edtBIT_BACK_AFTER"), "0022");
  // 1D = EF12: power item 2, cover item 1, no reprint.
  EXPECT_EQ(Index("rgBIT_ACT_POWER"), 2);
  EXPECT_EQ(Index("rgBIT_ACT_COVER"), 1);
  EXPECT_EQ(Index("rgBIT_REPRNT"), 0);
  // 20 = F0D7: 19200 baud, 8 bits, parity 3 clamped to the last item, 1 stop bit, hardware.
  EXPECT_EQ(Index("rgBIT_COMM_BAUD_RATE"), 7);
  EXPECT_EQ(editor_.Group("rgBIT_COMM_BAUD_RATE")->items()[7], "19200");
  EXPECT_EQ(Index("rgBIT_COMM_DATA_LEN"), 1);
  EXPECT_EQ(Index("rgBIT_COMM_PARITY"), 2);
  EXPECT_EQ(Index("rgBIT_COMM_STOP_BIT"), 0);
  EXPECT_EQ(Index("rgBIT_COMM_HANDSHAKE"), 0);
  // 1C = F129, 0D's field 00-01 = 1, 48 = FF05.
  EXPECT_EQ(Index("rgBIT_PAP_TYPE"), 1);
  EXPECT_EQ(Index("rgBIT_OUT_MODE"), 2);
  EXPECT_EQ(Index("rgBIT_PEEL_SELECT"), 1);
  EXPECT_EQ(Index("rgADD_PRINT_METHOD"), 1);
  EXPECT_EQ(Index("rgLABLE_ORIENTATION"), 1);
  EXPECT_EQ(Index("rgLABLE_MIRROR"), 1);
  // The network settings as decimal numbers.
  EXPECT_EQ(Text("EdtETHERNET_RAW_PORT"), "9100");
  const char* address[] = {"Edit_IP1", "Edit_IP2", "Edit_IP3", "Edit_IP4"};
  const char* expected[] = {"192", "168", "1", "20"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Text(address[i]), expected[i]);
  EXPECT_EQ(Text("EdtETHERNET_NETMASK_3"), "255");
  EXPECT_EQ(Text("EdtETHERNET_NETMASK_4"), "0");
}

TEST_F(EditorTest, ReadingSendsOneRequestPerRowInTableOrder) {
  ConnectTcp();
  ShowEditor();
  ReadFromPrinter();
  const std::string received = printer_.Received();
  const std::string start = "~WN00@eep,r,01,00,07~~WN00@eep,r,01,08,15~~WN00@eep,r,06~~WN00@eep,r,0C~~WN00@eep,r,0D,00,01~";
  EXPECT_EQ(received.substr(0, start.size()), start);
  const std::string end = "~WN00@eep,r,3B~~WN00@eep,r,3C~~WN00@eep,r,3D~~WN00@eep,r,3E~~WN00@eep,r,3F~~WN00@eep,r,40~"
                          "~WN00@eep,r,47~~WN00@eep,r,48~";
  ASSERT_GE(received.size(), end.size());
  EXPECT_EQ(received.substr(received.size() - end.size()), end);
  std::size_t requests = 0;
  for (std::size_t at = received.find("~WN00@eep,r,"); at != std::string::npos; at = received.find("~WN00@eep,r,", at + 1)) {
    ++requests;
  }
  EXPECT_EQ(requests, 30u);
}

TEST_F(EditorTest, ALateAnswerWaitingOnTheLinkIsNotTakenForTheFirstRow) {
  ConnectTcp();
  ShowEditor();
  SyncWithPrinter();
  printer_.SendUnsolicited("0077\r\n");  // the answer of an earlier read that came too late
  QTest::qWait(200);
  ReadFromPrinter();
  EXPECT_EQ(LastText(), Tip("ReadFinish").toStdString());
  EXPECT_EQ(Text("EdtTEAR_POSITION_ADJ"), "0012");
  EXPECT_EQ(Text("EdtLABEL_WIDTH"), "0320");
}

TEST_F(EditorTest, AFailedReadKeepsWhatWasReadAndReportsReadFail) {
  ConnectTcp();
  ShowEditor();
  sim::Faults faults;
  faults.disconnectAfterBytes = 21 + 10;  // the first request is answered, the second never completes
  printer_.SetFaults(faults);
  ReadFromPrinter();

  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(LastText(), Tip("ReadFail").toStdString());
  EXPECT_EQ(Shown().back().caption, editor_.windowTitle().toStdString());
  EXPECT_EQ(Text("EdtTEAR_POSITION_ADJ"), "0012");
  EXPECT_TRUE(Text("EdtTOP_POSITION_ADJ").isEmpty());
  EXPECT_TRUE(editor_.btnReadPrint->isEnabled());
  EXPECT_FALSE(editor_.btnSetPrint->isEnabled());
  EXPECT_FALSE(Link().readOnce);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---- Writing ----

// What the test types into every control, the word each slot must hold afterwards, and what the
// edits show when read back.
struct EditChange {
  const char* name;
  const char* typed;
  const char* readBack;
};
const EditChange kEditChanges[] = {
    {"EdtTEAR_POSITION_ADJ", "21", "0021"},     {"EdtTOP_POSITION_ADJ", "7", "0007"},
    {"edtMARK_TO_TPH_DISTANCE", "A1", "00A1"},  {"EdtCMD_X_SHIFT_ADJ", "1234", "1234"},
    {"edtPRINT_SPEED", "b", "000B"},            {"edtFEED_SPEED", "c", "000C"},
    {"edtBACKFEED_SPEED", "d", "000D"},         {"edtADD_DARKNESS", "1e", "001E"},
    {"edtADD_LABLE_LEN", "0f0f", "0F0F"},       {"EdtADD_LABLE_LEN_CONTINOUS", "4321", "4321"},
    {"EdtADD_WEB_HEIGHT", "22", "0022"},        {"edtBIT_USB_ID", "5", "0005"},
    {"edtBIT_BACK_BEFORE", "33", "0033"},       {"edtBIT_BACK_AFTER", "44", "0044"},
    {"EdtETHERNET_RAW_PORT", "6101", "6101"},   {"Edit_IP1", "10", "10"},
    {"Edit_IP2", "20", "20"},                   {"Edit_IP3", "30", "30"},
    {"Edit_IP4", "40", "40"},                   {"EdtETHERNET_NETMASK_1", "255", "255"},
    {"EdtETHERNET_NETMASK_2", "255", "255"},    {"EdtETHERNET_NETMASK_3", "0", "0"},
    {"EdtETHERNET_NETMASK_4", "0", "0"},        {"EdtETHERNET_GATEWAY_1", "10", "10"},
    {"EdtETHERNET_GATEWAY_2", "20", "20"},      {"EdtETHERNET_GATEWAY_3", "30", "30"},
    {"EdtETHERNET_GATEWAY_4", "1", "1"},        {"EdtLABEL_WIDTH", "0340", "0340"},
};
const std::pair<const char*, int> kGroupChanges[] = {
    {"rgADD_PRINT_METHOD", 0}, {"rgBIT_PAP_TYPE", 2},       {"rgBIT_OUT_MODE", 3},      {"rgBIT_PEEL_SELECT", 0},
    {"rgBIT_ACT_POWER", 1},    {"rgBIT_ACT_COVER", 2},      {"rgBIT_REPRNT", 1},        {"rgBIT_COMM_BAUD_RATE", 10},
    {"rgBIT_COMM_DATA_LEN", 0}, {"rgBIT_COMM_PARITY", 1},   {"rgBIT_COMM_STOP_BIT", 1}, {"rgBIT_COMM_HANDSHAKE", 1},
    {"rgSENSER_SELECT", 1},    {"rgLABLE_ORIENTATION", 0},  {"rgLABLE_MIRROR", 1},
};
const std::map<int, uint16_t> kSlotsAfterWrite = {
    {0x01, 0x0721},  // two fields
    {0x06, 0x00A1}, {0x0C, 0x1234},
    {0x0D, 0x0FF0},  // read as a field: written as that field, the other bits stay
    {0x0F, 0x000B}, {0x10, 0x000C}, {0x11, 0x000D},
    {0x12, 0xAB1E},  // field 00-07: the high byte stays
    {0x1B, 0x0F0F},
    {0x1C, 0xF03A},  // fields 00-02, 04-07, 08: bit 3 and 9-15 stay
    {0x1D, 0xFF21},  // bits 8-11 and 13-15 kept
    {0x1E, 0x4321},
    {0x20, 0xF54A},  // bits 12-15 kept
    {0x21, 0x0022},
    {0x2B, 0xFFF9},  // field 00-02
    {0x34, 0xDABC},  // field 12-14
    {0x35, 0x5533}, {0x36, 0x4466},
    {0x38, 0x17D5},  // 6101
    {0x3B, 0x281E}, {0x3C, 0x140A}, {0x3D, 0x0000}, {0x3E, 0xFFFF}, {0x3F, 0x011E}, {0x40, 0x140A},
    {0x47, 0x0340},
    {0x48, 0xFF04},  // a whole word: the bits no control shows stay
    {0x50, 0x1234},  // not the editor's
};

TEST_F(EditorTest, EndToEndEveryRowChangedIsWrittenAndReadBackWithTheUntouchedBits) {
  ConnectTcp();
  ShowEditor();
  ReadFromPrinter();
  for (const EditChange& change : kEditChanges) SetText(change.name, change.typed);
  for (const auto& [name, index] : kGroupChanges) editor_.Group(name)->setItemIndex(index);

  QTest::mouseClick(editor_.btnSetPrint, Qt::LeftButton);
  ASSERT_EQ(Shown().size(), 1u) << LastText();  // ReadFinish only: the reset reports the update
  ASSERT_EQ(resets_, std::vector<std::string>{"UpdateFinish"});
  EXPECT_EQ(sleepsBeforeReset_, 1);  // the wait came before the reset
  EXPECT_TRUE(editor_.btnSetPrint->isEnabled());
  SyncWithPrinter();
  for (const auto& [slot, value] : kSlotsAfterWrite) {
    EXPECT_EQ(Hex4(printer_.Slot(slot)), Hex4(value)) << "slot " << Hex4(slot);
  }

  editor_.hide();
  ShowEditor();
  ReadFromPrinter();
  for (const EditChange& change : kEditChanges) EXPECT_EQ(Text(change.name), change.readBack) << change.name;
  for (const auto& [name, index] : kGroupChanges) EXPECT_EQ(Index(name), index) << name;
}

TEST_F(EditorTest, WritingSendsTheCodecCasesByteForByte) {
  ConnectTcp();
  ShowEditor();
  ReadFromPrinter();
  editor_.Group("rgBIT_ACT_POWER")->setItemIndex(1);
  SetText("EdtTOP_POSITION_ADJ", "7");
  const char* ip[] = {"Edit_IP1", "Edit_IP2", "Edit_IP3", "Edit_IP4"};
  const char* octets[] = {"192", "168", "1", "20"};
  for (int i = 0; i < 4; ++i) SetText(ip[i], octets[i]);
  printer_.ClearReceived();
  QTest::mouseClick(editor_.btnSetPrint, Qt::LeftButton);
  SyncWithPrinter();
  const std::string sent = printer_.Received();
  // 1D read as EF12 keeps EF00; power item 1 and cover item 1 give EF11.
  EXPECT_NE(sent.find("~WN00@eep,w,1D,EF11~"), std::string::npos);
  EXPECT_NE(sent.find("~WN00@eep,w,01,0007,08,15~"), std::string::npos);
  EXPECT_NE(sent.find("~WN00@eep,w,38,238C~"), std::string::npos);
  // 3B before 3C.
  const std::size_t slot3B = sent.find("~WN00@eep,w,3B,1401~");
  ASSERT_NE(slot3B, std::string::npos);
  EXPECT_EQ(sent.find("~WN00@eep,w,3C,A8C0~"), slot3B + 20);
  // 0D, of which the read brought only bits 00-01, as that field; 2B as its field.
  EXPECT_NE(sent.find("~WN00@eep,w,0D,0001,00,01~"), std::string::npos);
  EXPECT_NE(sent.find("~WN00@eep,w,2B,0000,00,02~"), std::string::npos);
}

struct BadEdit {
  const char* name;
  const char* text;
  bool factoryEditor = false;  // the factory editor, which builds every value first too
};
TEST_F(EditorTest, AnEditThatDoesNotFitItsPlaceIsRefusedBeforeAnythingIsWritten) {
  const BadEdit cases[] = {
      {"EdtTOP_POSITION_ADJ", ""},
      {"EdtTOP_POSITION_ADJ", "1FF"},  // wider than the byte of the field
      {"edtPRINT_SPEED", ""},          // a row after six written slots
      {"edtBIT_USB_ID", "8"},          // three bits
      {"Edit_IP2", "999"},             // the second slot of a row whose first slot comes before it
      {"EdtETHERNET_NETMASK_4", "1x"},
      {"EdtETHERNET_RAW_PORT", "70000"},
      {"edtBIT_LEFT_MARGIN", "80", true},  // would spill into the right margin
  };
  ConnectTcp();
  ShowEditor();
  TFormEeprom factory;
  for (const BadEdit& bad : cases) {
    SCOPED_TRACE(std::string(bad.name) + "=" + bad.text);
    EditorFrame& editor = bad.factoryEditor ? static_cast<EditorFrame&>(factory) : editor_;
    if (bad.factoryEditor) factory.show();
    QTest::mouseClick(editor.btnReadPrint, Qt::LeftButton);
    editor.Edit(bad.name)->setText(bad.text);
    editor.PageControl1->setCurrentIndex(0);
    SyncWithPrinter();
    printer_.ClearReceived();
    const std::size_t before = Shown().size();
    QTest::mouseClick(editor.btnSetPrint, Qt::LeftButton);
    ASSERT_EQ(Shown().size(), before + 1);
    EXPECT_EQ(Shown().back().icon, MsgIcon::Error);
    EXPECT_NE(Shown().back().text.find(std::string("\"") + bad.text + "\""), std::string::npos) << LastText();
    EXPECT_NE(LastText().find("Nothing has been written"), std::string::npos) << LastText();
    EXPECT_TRUE(resets_.empty());
    EXPECT_TRUE(editor.btnSetPrint->isEnabled());
    EXPECT_EQ(editor.PageControl1->currentWidget(), editor.TabSheet12);
    EXPECT_EQ(editor.Edit(bad.name)->selectedText().toStdString(), bad.text);
    SyncWithPrinter();
    EXPECT_EQ(printer_.Received(), "~WN00@eep,r,50~");  // nothing of the write went out
  }
}

TEST_F(EditorTest, AWriteThatCannotBeSentReportsUpdateFailAndNoReset) {
  ConnectTcp();
  ShowEditor();
  ReadFromPrinter();
  CloseNetworkLink();
  QTest::mouseClick(editor_.btnSetPrint, Qt::LeftButton);
  EXPECT_EQ(LastText(), Tip("UpdateFail").toStdString());
  EXPECT_TRUE(resets_.empty());
  EXPECT_TRUE(editor_.btnSetPrint->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---- Dump files ----

class EditorFileTest : public EditorTest {
 protected:
  void Choose(const std::filesystem::path& path) {
    SetFileChooser([path](const TFileDialog& dialog, QWidget*) -> FileChoice {
      EXPECT_EQ(dialog.filter().toStdString(), "Eep Files(*.eep)|*.eep|All Files(*.*)|*.*");
      return {QString::fromStdString(path.string()), 1};
    });
  }
  test::TempDir dir_;
};

TEST_F(EditorFileTest, LoadingAFileFillsTheRowsAndEnablesWriting) {
  ConnectTcp();
  ShowEditor();
  std::map<int, uint16_t> table = kStartSlots;
  table[0x48] = 0x0004;
  table[0x12] = 0xAB07;
  Choose(dir_.Write("table.eep", DumpText(table, -1, /*lowerCase=*/0x1B)));
  QTest::mouseClick(editor_.btnReadFile, Qt::LeftButton);

  EXPECT_TRUE(Shown().empty()) << LastText();
  EXPECT_EQ(Index("rgLABLE_MIRROR"), 1);
  EXPECT_EQ(Index("rgLABLE_ORIENTATION"), 0);
  EXPECT_EQ(Text("edtADD_LABLE_LEN"), "0108");  // found under "1b"
  EXPECT_EQ(Text("EdtTEAR_POSITION_ADJ"), "0012");
  EXPECT_EQ(Text("EdtTOP_POSITION_ADJ"), "0034");
  EXPECT_EQ(Text("edtADD_DARKNESS"), "0007");   // the byte of the field, as a read gives it
  EXPECT_EQ(Text("edtBIT_USB_ID"), "0001");
  EXPECT_EQ(Text("edtBIT_BACK_BEFORE"), "0011");
  EXPECT_EQ(Text("edtBIT_BACK_AFTER"), "0022");
  EXPECT_EQ(Index("rgSENSER_SELECT"), 1);       // the whole word FFF8 is not zero
  EXPECT_EQ(Index("rgBIT_ACT_POWER"), 2);
  EXPECT_EQ(Index("rgBIT_COMM_PARITY"), 2);
  EXPECT_EQ(Text("EdtETHERNET_RAW_PORT"), "9100");
  EXPECT_EQ(Text("Edit_IP1"), "192");
  EXPECT_TRUE(editor_.btnSetPrint->isEnabled());
  EXPECT_TRUE(editor_.btnWrintFile->isEnabled());
  EXPECT_EQ(printer_.Received(), "");  // a file load does not touch the printer

  // Written back, the kept bits come from the file.
  QTest::mouseClick(editor_.btnSetPrint, Qt::LeftButton);
  SyncWithPrinter();
  EXPECT_EQ(Hex4(printer_.Slot(0x1D)), "EF12");
  EXPECT_EQ(Hex4(printer_.Slot(0x20)), "F097");
  EXPECT_EQ(Hex4(printer_.Slot(0x48)), "0004");
  EXPECT_EQ(Hex4(printer_.Slot(0x0D)), "0FF1");  // the file's whole word, as loaded
}

TEST_F(EditorFileTest, AMissingSlotStopsLoadingWithItsBoxThenReadFail) {
  ConnectTcp();
  ShowEditor();
  Choose(dir_.Write("short.eep", DumpText(kStartSlots, /*leftOut=*/0x1B)));
  QTest::mouseClick(editor_.btnReadFile, Qt::LeftButton);

  ASSERT_EQ(Shown().size(), 2u);
  EXPECT_EQ(Shown()[0].text, "缺少0x1B地址位");
  EXPECT_EQ(Shown()[0].caption, editor_.windowTitle().toStdString());
  EXPECT_EQ(Shown()[1].text, Tip("ReadFail").toStdString());
  EXPECT_EQ(Text("edtADD_DARKNESS"), "0007");  // the table before 1B were loaded
  EXPECT_TRUE(Text("EdtADD_LABLE_LEN_CONTINOUS").isEmpty());
  EXPECT_FALSE(editor_.btnSetPrint->isEnabled());
}

TEST_F(EditorFileTest, BadFilesLoadWithoutACrash) {
  ConnectTcp();
  ShowEditor();
  std::string binary(70000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7);
  std::string garbled = DumpText(kStartSlots);
  garbled.replace(garbled.find("~WN00@eep,w,06,0102"), 19, "~WN00@eep,w,06,01Z2");
  const std::pair<const char*, std::string> files[] = {
      {"empty.eep", ""}, {"binary.eep", binary}, {"short.eep", "~WN00@eep,w,01\r\n~W\r\n"}, {"garbled.eep", garbled}};
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::size_t before = Shown().size();
    Choose(dir_.Write(name, bytes));
    QTest::mouseClick(editor_.btnReadFile, Qt::LeftButton);
    ASSERT_GT(Shown().size(), before);
    EXPECT_EQ(LastText(), Tip("ReadFail").toStdString());
    EXPECT_FALSE(editor_.btnSetPrint->isEnabled());
  }
}

TEST_F(EditorFileTest, AFileThatCannotBeOpenedIsNamedInQuotes) {
  ConnectTcp();
  ShowEditor();
  const std::filesystem::path missing = dir_ / "none" / "gone.eep";
  Choose(missing);
  QTest::mouseClick(editor_.btnReadFile, Qt::LeftButton);
  EXPECT_EQ(LastText(), (Tip("NotOpenFileMessageBox") + "\"" + QString::fromStdString(missing.string()) + "\"").toStdString());
  EXPECT_EQ(Shown().back().icon, MsgIcon::Error);

  QTest::mouseClick(editor_.btnWrintFile, Qt::LeftButton);
  EXPECT_EQ(LastText(),
            (Tip("NotOpenFileMessageBox") + "\"" + QString::fromStdString(missing.string()) + "\"!").toStdString());
  EXPECT_FALSE(editor_.TimerReadEep->isActive());
}

TEST_F(EditorFileTest, SavingCopiesThePrintersTableIntoTheFile) {
  printer_.SetNamedEntry("PrinterName", "TW-Z");
  printer_.DropNamedEntry("TphAdj");  // a printer without it is still dumped, and the entry named
  ConnectTcp();
  ShowEditor();
  const std::filesystem::path file = dir_.Write("saved.eep", "old content that must go");
  Choose(file);
  QTest::mouseClick(editor_.btnWrintFile, Qt::LeftButton);
  EXPECT_FALSE(editor_.btnWrintFile->isEnabled());  // until the dump has ended
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Shown().empty(); }, 20000));

  EXPECT_EQ(LastText(), (Tip("SaveEepSucc") + "\n" + Tip("DumpEntriesUnanswered") + "TphAdj").toStdString());
  EXPECT_TRUE(editor_.btnWrintFile->isEnabled());
  EXPECT_FALSE(Link().readOnce);
  const std::string saved = test::ReadFileBytes(file);
  EXPECT_EQ(saved.find("old content"), std::string::npos);
  EXPECT_EQ(saved.substr(0, 21), "~WN00@eep,w,00,0000\r\n");
  EXPECT_NE(saved.find("~WN00@eep,w,1D,EF12\r\n"), std::string::npos);
  EXPECT_NE(saved.find("~WN00@ini,w,PrinterName,TW-Z\r\n~WN00@ini,w,PrinterNameQesh,"), std::string::npos);
  EXPECT_EQ(saved.find("TphAdj"), std::string::npos);

  // The saved file loads back into the rows.
  Choose(file);
  QTest::mouseClick(editor_.btnReadFile, Qt::LeftButton);
  EXPECT_EQ(Index("rgBIT_ACT_POWER"), 2);
  EXPECT_EQ(Text("Edit_IP1"), "192");
}

TEST_F(EditorFileTest, ANameWithoutExtensionIsSavedWithEepAndLoadsBack) {
  ConnectTcp();
  ShowEditor();
  Choose(dir_ / "参数");
  QTest::mouseClick(editor_.btnWrintFile, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Shown().empty(); }, 20000));
  EXPECT_EQ(LastText(), Tip("SaveEepSucc").toStdString());
  const std::filesystem::path saved = dir_ / "参数.eep";
  EXPECT_NE(test::ReadFileBytes(saved).find("~WN00@eep,w,1D,EF12\r\n"), std::string::npos);
  Choose(saved);
  QTest::mouseClick(editor_.btnReadFile, Qt::LeftButton);
  EXPECT_EQ(Index("rgBIT_ACT_POWER"), 2);
}

// A download holds the link: the dump timer's tick waits for it and does not mix its requests into
// the file's bytes.
TEST_F(EditorFileTest, TheDumpWaitsWhileAnotherExchangeHoldsTheLink) {
  ConnectTcp();
  ShowEditor();
  ASSERT_TRUE(ClaimLinkExchange());
  Choose(dir_ / "later.eep");
  QTest::mouseClick(editor_.btnWrintFile, Qt::LeftButton);
  QTest::qWait(300);  // several ticks of the (fast) timer
  EXPECT_EQ(printer_.Received(), "");
  EXPECT_TRUE(Shown().empty());
  EXPECT_TRUE(editor_.TimerReadEep->isActive());
  ReleaseLinkExchange();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Shown().empty(); }, 20000));
  EXPECT_EQ(LastText(), Tip("SaveEepSucc").toStdString());
  EXPECT_FALSE(LinkExchangeClaimed());
}

TEST_F(EditorFileTest, ADumpFromASilentPrinterReportsReadFail) {
  ConnectTcp();
  ShowEditor();
  sim::Faults faults;
  faults.noReply = true;
  printer_.SetFaults(faults);
  Choose(dir_ / "silent.eep");
  QTest::mouseClick(editor_.btnWrintFile, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Shown().empty(); }, 20000));
  EXPECT_EQ(LastText(), Tip("ReadFail").toStdString());
  EXPECT_EQ(printer_.Received(), "~WN00@eep,r,00~") << "the dump ends at the first unanswered slot";
}

TEST_F(EditorFileTest, AFailedDumpReportsReadFail) {
  ConnectTcp();
  ShowEditor();
  sim::Faults faults;
  faults.noReply = true;
  printer_.SetFaults(faults);
  CloseNetworkLink();  // every request fails to go out
  Link().open = true;
  const std::filesystem::path earlier = dir_.Write("failed.eep", "an earlier dump");
  Choose(earlier);
  QTest::mouseClick(editor_.btnWrintFile, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Shown().empty(); }, 20000));
  EXPECT_EQ(LastText(), Tip("ReadFail").toStdString());
  EXPECT_EQ(test::ReadFileBytes(earlier), "an earlier dump") << "a failed dump keeps the file that was there";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1) << "no temporary file left";
  EXPECT_TRUE(editor_.btnReadPrint->isEnabled());
  EXPECT_FALSE(Link().readOnce);
}

}  // namespace
}  // namespace tw
