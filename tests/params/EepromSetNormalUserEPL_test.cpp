// SPDX-License-Identifier: GPL-3.0-or-later
// The E user parameter editor: the batched read (its collection and its records, through a scripted
// reader and through the window against a scripted printer on a pseudo-terminal), the rows of the E
// command set read from the virtual printer and from dump files, writing them back byte for byte,
// end to end against the virtual printer over TCP and a pseudo-terminal, the defaults that survive a
// new showing, the status bar and the relabelling in the three languages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest/QTest>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "params/EepromSetNormalUserEPL.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/PtyPair.h"
#include "support/DumpText.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/RadioGroup.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

using test::DumpText;
using test::Hex4;

// ---- The collection and the records, with a scripted reader ----

// Hands out the given pieces one per read, then nothing; counts the reads.
struct ScriptedReads {
  std::vector<std::string> pieces;
  int reads = 0;
  std::string operator()() {
    const std::size_t next = static_cast<std::size_t>(reads++);
    return next < pieces.size() ? pieces[next] : std::string();
  }
};

std::vector<std::string> Cut(const std::string& text, std::size_t pieceBytes) {
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at < text.size(); at += pieceBytes) pieces.push_back(text.substr(at, pieceBytes));
  return pieces;
}

// The answer of `count` requests: record i holds the value i.
std::string Records(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += Hex4(i) + "\r\n";
  return text;
}

TEST(BatchAnswerTest, TheCollectionStopsAtExactlySixBytesPerRequest) {
  const std::string answer = Records(45);
  const std::string surplus = Records(5);  // on offer after the answer: a read too many would take it
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
    int reads;
  };
  const Case cases[] = {
      {"one read", {answer, surplus}, 1},
      {"three pieces of 90", {answer.substr(0, 90), answer.substr(90, 90), answer.substr(180), surplus}, 3},
      {"one record a read", Cut(answer + surplus, 6), 45},
      {"pieces that split records", {answer.substr(0, 100), answer.substr(100, 100), answer.substr(200), surplus}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedReads reader{c.pieces};
    const BatchCollection collection = CollectBatchAnswer(45, std::ref(reader));
    EXPECT_EQ(collection.outcome, BatchOutcome::Complete);
    EXPECT_EQ(collection.reads, c.reads);
    EXPECT_EQ(reader.reads, c.reads);
    EXPECT_EQ(collection.text, answer);
  }
}

TEST(BatchAnswerTest, ACollectionThatCannotBeCompletedFailsAfterTheAllowedReads) {
  // Five bytes a read: 49 reads (one and 45 + 3 more) bring 245 of the 270 bytes.
  ScriptedReads slow{Cut(Records(45), 5)};
  BatchCollection collection = CollectBatchAnswer(45, std::ref(slow));
  EXPECT_EQ(collection.outcome, BatchOutcome::Short);
  EXPECT_EQ(collection.reads, 49);
  EXPECT_EQ(collection.text.size(), 245u);

  // A read that brings nothing ends the collection at once, the first read included.
  ScriptedReads stopped{Cut(Records(44), 90)};  // 90, 90, 84, then nothing
  collection = CollectBatchAnswer(45, std::ref(stopped));
  EXPECT_EQ(collection.outcome, BatchOutcome::NothingCame);
  EXPECT_EQ(collection.reads, 4);
  ScriptedReads silent{{}};
  collection = CollectBatchAnswer(45, std::ref(silent));
  EXPECT_EQ(collection.outcome, BatchOutcome::NothingCame);
  EXPECT_EQ(collection.reads, 1);
}

TEST(BatchAnswerTest, AnOverLongCollectionFailsWithoutReadingOn) {
  ScriptedReads oneExtra{{Records(46)}};
  BatchCollection collection = CollectBatchAnswer(45, std::ref(oneExtra));
  EXPECT_EQ(collection.outcome, BatchOutcome::OverLong);
  EXPECT_EQ(collection.reads, 1);

  ScriptedReads lateSurplus{{Records(30), Records(16)}};
  collection = CollectBatchAnswer(45, std::ref(lateSurplus));
  EXPECT_EQ(collection.outcome, BatchOutcome::OverLong);
  EXPECT_EQ(lateSurplus.reads, 2);
}

TEST(BatchAnswerTest, RecordsAreValuesOnlyWhenEveryOneHasItsShape) {
  const std::optional<std::vector<uint16_t>> values = SplitBatchAnswer("0807\r\nfFfF\r\n0000\r\n", 3);
  ASSERT_TRUE(values);
  EXPECT_EQ(*values, (std::vector<uint16_t>{0x0807, 0xFFFF, 0x0000}));

  const char* const broken[] = {
      "0807\r\nFFFF\r\n000\r\n\r",  // a short record and the line end one off
      "0807\r\nFFFG\r\n0000\r\n",   // not a hexadecimal digit
      "0807\n\nFFFF\r\n0000\r\n",   // not CR LF
      "0807\r\nFFFF\r\n",           // one record missing
      "0807\r\nFFFF\r\n0000\r\n0",  // one byte over
      "",
  };
  for (const char* text : broken) EXPECT_FALSE(SplitBatchAnswer(text, 3)) << text;
}

// ---- The window ----

// The printer's table: every slot the editor reads, with the bits that no control edits set where
// the slot is written field by field. Every value is one that the controls can show, so that a read
// followed by a write leaves the table as it was.
const std::map<int, uint16_t> kStartSlots = {
    {0x01, 0x3412}, {0x06, 0x0102}, {0x0C, 0x0203}, {0x0D, 0x0001}, {0x0F, 0x0004}, {0x10, 0x0005},
    {0x11, 0x0006}, {0x12, 0xAB07}, {0x1B, 0x0108}, {0x1C, 0xF129}, {0x1D, 0xE012}, {0x1E, 0x0109},
    {0x20, 0xF097}, {0x21, 0x010A}, {0x2B, 0xFFF9}, {0x34, 0x9ABC}, {0x35, 0x5511}, {0x36, 0x2266},
    {0x38, 0x238C}, {0x3B, 0x1401}, {0x3C, 0xA8C0}, {0x3D, 0x00FF}, {0x3E, 0xFFFF}, {0x3F, 0x0101},
    {0x40, 0xA8C0}, {0x47, 0x0320}, {0x48, 0x0005},
    // the E command set's slots
    {0x50, 0xFFFE}, {0x51, 0x5381}, {0x53, 0x0807}, {0x56, 0x0123}, {0x57, 0xFFF5}, {0x58, 0xF241},
    {0x59, 0xFFF9}, {0x5A, 0x0340}, {0x5B, 0x0010}, {0x5C, 0x0020},
    {0x60, 0x1234}};  // not the editor's

// The 45 requests of a read, in the order of the rows.
const std::string kRequests =
    "~WN00@eep,r,01,00,07~~WN00@eep,r,01,08,15~~WN00@eep,r,06~~WN00@eep,r,0C~~WN00@eep,r,0D,00,01~"
    "~WN00@eep,r,0F~~WN00@eep,r,10~~WN00@eep,r,11~~WN00@eep,r,12,00,07~~WN00@eep,r,1B~"
    "~WN00@eep,r,1C,00,02~~WN00@eep,r,1C,04,07~~WN00@eep,r,1C,08,08~~WN00@eep,r,1D~~WN00@eep,r,1E~"
    "~WN00@eep,r,20~~WN00@eep,r,21~~WN00@eep,r,2B,00,02~~WN00@eep,r,34,12,14~~WN00@eep,r,35,00,07~"
    "~WN00@eep,r,36,08,15~~WN00@eep,r,38~~WN00@eep,r,3B~~WN00@eep,r,3C~~WN00@eep,r,3D~~WN00@eep,r,3E~"
    "~WN00@eep,r,3F~~WN00@eep,r,40~~WN00@eep,r,47~~WN00@eep,r,48~~WN00@eep,r,50,00,00~"
    "~WN00@eep,r,51,08,08~~WN00@eep,r,51,00,07~~WN00@eep,r,53,00,07~~WN00@eep,r,53,08,15~"
    "~WN00@eep,r,56~~WN00@eep,r,57,00,00~~WN00@eep,r,57,01,01~~WN00@eep,r,57,02,02~"
    "~WN00@eep,r,58,00,07~~WN00@eep,r,58,08,09~~WN00@eep,r,59,00,02~~WN00@eep,r,5A~~WN00@eep,r,5B~"
    "~WN00@eep,r,5C~";

// What the controls of the E command set show for kStartSlots.
const std::pair<const char*, const char*> kStartEdits[] = {
    {"edtEPL_ERUO_POS", "0081"},  {"edtEPL_I_CODEPAGENUM", "0008"}, {"edtEPL_HEIGHT_ADD_MARK", "0123"},
    {"edtEPL_ER_UD_CHR", "0041"}, {"edtEPL_LABEL_WIDTH", "0340"},   {"edtEPL_SET_POINT_X", "0010"},
    {"edtEPL_SET_POINT_Y", "0020"}};
const std::pair<const char*, int> kStartGroups[] = {
    {"rgEPL_ZERO_TYPE", 0},      {"rgEPL_ERUO_SETTING", 1}, {"rgEPL_I_NUMBIT", 0}, {"rgEPL_AUTO_MSG_US_EN", 1},
    {"rgEPL_AUTO_MSG_US_EACH_EN", 0}, {"rgEPL_AUTO_MSG_UT_EN", 1}, {"rgEPL_ER_MODE", 2}, {"rgEPL_KEY_SET", 1}};

// The radio groups of the E command set with their item counts and the item of the first showing.
struct GroupRow {
  const char* name;
  int items;
  int firstIndex;
};
const GroupRow kEplGroups[] = {
    {"rgEPL_ZERO_TYPE", 2, 1},      {"rgEPL_ERUO_SETTING", 2, 0},        {"rgEPL_I_NUMBIT", 2, 1},
    {"rgEPL_AUTO_MSG_US_EN", 2, 0}, {"rgEPL_AUTO_MSG_US_EACH_EN", 2, 0}, {"rgEPL_AUTO_MSG_UT_EN", 2, 0},
    {"rgEPL_ER_MODE", 3, 0},        {"rgEPL_KEY_SET", 3, 0}};
const char* const kEplEdits[] = {"edtEPL_ERUO_POS",  "edtEPL_I_CODEPAGENUM", "edtEPL_HEIGHT_ADD_MARK", "edtEPL_ER_UD_CHR",
                                 "edtEPL_LABEL_WIDTH", "edtEPL_SET_POINT_X", "edtEPL_SET_POINT_Y"};
// A few of the shared rows, to see that they travel with the batch.
const std::pair<const char*, const char*> kSharedEdits[] = {
    {"EdtTEAR_POSITION_ADJ", "0012"}, {"EdtTOP_POSITION_ADJ", "0034"}, {"edtADD_DARKNESS", "0007"},
    {"edtBIT_USB_ID", "0001"},        {"EdtETHERNET_RAW_PORT", "9100"}, {"Edit_IP1", "192"},
    {"EdtETHERNET_NETMASK_3", "255"}, {"EdtLABEL_WIDTH", "0320"}};

// The editor, the language, the message recorder and the fast clock every window test needs.
class EditorFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    InitProgramDirFromExecutable();  // the delivered language files beside the test program
    SetCurrentLanguage(kLanguageEnglish);
    LoadCatalogSection("Tips");
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
    SetBeeper([this] { ++beeps_; });
  }
  void TearDown() override {
    SetBeeper({});
    SetFileChooser({});
    ResetLink({});
  }

  void ShowEditor() {
    editor_.show();
    editor_.FormActivate();
  }
  void ReadFromPrinter() { QTest::mouseClick(editor_.btnReadPrint, Qt::LeftButton); }
  void WriteToPrinter() { QTest::mouseClick(editor_.btnSetPrint, Qt::LeftButton); }
  QString Text(const char* edit) const { return editor_.Edit(edit)->text(); }
  int Index(const char* group) const { return editor_.Group(group)->itemIndex(); }
  void SetText(const char* edit, const char* text) { editor_.Edit(edit)->setText(text); }
  std::vector<test::MessageRecorder::Shown> Shown() const { return messages_.shown(); }
  std::string LastText() const { return Shown().empty() ? std::string() : Shown().back().text; }

  // Every edit and radio group of the window with what it shows.
  std::map<std::string, std::string> Controls() const {
    std::map<std::string, std::string> shown;
    for (QLineEdit* edit : editor_.findChildren<QLineEdit*>()) {
      if (!edit->objectName().isEmpty()) shown[edit->objectName().toStdString()] = edit->text().toStdString();
    }
    for (TRadioGroup* group : editor_.findChildren<TRadioGroup*>()) {
      shown[group->objectName().toStdString()] = std::to_string(group->itemIndex());
    }
    return shown;
  }
  // Puts a marker into every edit and the last item into every group, to see what a read changes.
  void MarkEveryControl() {
    for (QLineEdit* edit : editor_.findChildren<QLineEdit*>()) edit->setText("BEEF");
    for (TRadioGroup* group : editor_.findChildren<TRadioGroup*>()) group->setItemIndex(group->items().size() - 1);
  }
  void ExpectStartValuesShown() {
    for (const auto& [name, text] : kStartEdits) EXPECT_EQ(Text(name), text) << name;
    for (const auto& [name, index] : kStartGroups) EXPECT_EQ(Index(name), index) << name;
    for (const auto& [name, text] : kSharedEdits) EXPECT_EQ(Text(name), text) << name;
    EXPECT_EQ(Index("rgBIT_ACT_POWER"), 2);  // 1D = E012
    EXPECT_EQ(Index("rgBIT_COMM_PARITY"), 2);  // 20 = F097
  }
  void ExpectFailedReadChangedNothing(const std::map<std::string, std::string>& before) {
    ASSERT_FALSE(Shown().empty());
    EXPECT_EQ(LastText(), Tip("ReadFail").toStdString());
    EXPECT_EQ(Shown().back().caption, editor_.windowTitle().toStdString());
    EXPECT_EQ(Controls(), before);
    EXPECT_TRUE(editor_.btnReadPrint->isEnabled());
    EXPECT_FALSE(editor_.btnSetPrint->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }

  // Waits at a twentieth of their length: a serial bulk read still leaves the printer time to answer.
  test::ScopedFastPacer pacer_{0.05, 0.05};
  test::MessageRecorder messages_;
  std::vector<std::string> resets_;
  int beeps_ = 0;
  TFormEepromNormalUserEPL editor_{nullptr, [this](const char* key) { resets_.push_back(key); }};
};

// ---- Against a scripted printer on a pseudo-terminal: the answer in chosen pieces, one per read ----

// The clock of these tests is also the printer: a serial bulk read first waits the settle time, and
// there, once all requests have come, the printer hands over the next piece of its answer. So every
// read of the collection takes exactly one piece, and the reads are counted.
class PiecewisePrinter : public test::FastPacer {
 public:
  PiecewisePrinter(test::PtyPair& pty, std::function<std::string(const std::string&)> answer, std::size_t pieceBytes)
      : pty_(pty), answer_(std::move(answer)), pieceBytes_(pieceBytes) {}

  void Sleep(PaceStep step) override {
    FastPacer::Sleep(step);
    if (step.name != pace::kReplySettle.name) return;
    received_ += pty_.ReadMaster(kRequests.size() - received_.size(), 200);
    if (received_.size() < kRequests.size()) return;  // before the requests: stale input is read away
    if (!answered_) {
      EXPECT_EQ(received_, kRequests);
      pending_ = answer_(received_);
      answered_ = true;
    }
    ++collectionReads_;
    if (!pending_.empty()) {
      pty_.WriteMaster(pending_.substr(0, pieceBytes_));
      pending_.erase(0, pieceBytes_);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // the pseudo-terminal passes it on
  }
  int collectionReads() const { return collectionReads_; }

 private:
  test::PtyPair& pty_;
  std::function<std::string(const std::string&)> answer_;
  std::size_t pieceBytes_;
  std::string received_, pending_;
  bool answered_ = false;
  int collectionReads_ = 0;
};

// The virtual printer's own answer to the requests.
std::string PrinterAnswer(const std::string& requests) {
  sim::PrinterModel model(sim::Personality::E);
  for (const auto& [slot, value] : kStartSlots) model.SetSlot(slot, value);
  return model.Feed(requests).reply;
}

class PiecewiseReadTest : public EditorFixture {
 protected:
  void Connect(std::function<std::string(const std::string&)> answer, std::size_t pieceBytes) {
    printer_ = std::make_shared<PiecewisePrinter>(pty_, std::move(answer), pieceBytes);
    SetPacer(printer_);  // the fixture's fast pacer gives the real one back at the end
    ASSERT_TRUE(OpenSerialPort(pty_.slavePath(), 115200, 8, 1, FlowControl::Hardware, 0));
    Link().currentKind = PortKind::Serial;
    Link().open = true;
    Link().Set(LinkState::Text::LinkName, "COM1");
  }
  test::PtyPair pty_;
  std::shared_ptr<PiecewisePrinter> printer_;
};

TEST_F(PiecewiseReadTest, AnAnswerInThreePiecesOf90IsReadCompletelyAfterThreeReads) {
  Connect(PrinterAnswer, 90);
  ShowEditor();
  ReadFromPrinter();
  ASSERT_EQ(Shown().size(), 1u) << LastText();
  EXPECT_EQ(LastText(), Tip("ReadFinish").toStdString());
  EXPECT_EQ(printer_->collectionReads(), 3);
  ExpectStartValuesShown();
  EXPECT_TRUE(editor_.btnSetPrint->isEnabled());
  EXPECT_TRUE(editor_.btnWrintFile->isEnabled());
  EXPECT_FALSE(Link().readOnce);
}

TEST_F(PiecewiseReadTest, StaleInputBeforeTheRequestsIsThrownAwayAndDoesNotShiftTheRows) {
  // A late answer of an earlier read waits on the line. Taken for the first answer, it would move
  // every value one row down, and with pieces of 88 the total would still come to exactly 270.
  Connect(PrinterAnswer, 88);
  pty_.WriteMaster("0077\r\n");
  ShowEditor();
  ReadFromPrinter();
  EXPECT_EQ(LastText(), Tip("ReadFinish").toStdString());
  ExpectStartValuesShown();
}

// Answers that cannot be matched to the requests. None of them may change a control.
struct BrokenAnswer {
  const char* name;
  std::function<std::string(const std::string&)> answer;
  std::size_t pieceBytes;
  int reads;
};
const BrokenAnswer kBrokenAnswers[] = {
    // 49 reads of five bytes bring 245 of the 270
    {"short after 49 reads", PrinterAnswer, 5, 49},
    // the printer stops after 44 answers: the fourth read brings nothing
    {"one answer missing", [](const std::string& r) { return PrinterAnswer(r).substr(0, 264); }, 90, 4},
    // one record too many, all in one read: more reads cannot put it back in step
    {"over-long", [](const std::string& r) { return PrinterAnswer(r) + "0000\r\n"; }, 400, 1},
    {"over-long in the last piece", [](const std::string& r) { return PrinterAnswer(r) + "0000\r\n"; }, 138, 2},
    // 270 bytes, one record garbled
    {"garbled record", [](const std::string& r) { return PrinterAnswer(r).replace(60, 4, "12G4"); }, 90, 3},
    // 270 bytes, but the answer of 1C bits 08-08 (the 13th) is wider than its one bit
    {"field answer too wide", [](const std::string& r) { return PrinterAnswer(r).replace(72, 4, "0002"); }, 90, 3},
};

TEST_F(PiecewiseReadTest, AnAnswerThatDoesNotFitTheRequestsIsAFailedReadThatChangesNothing) {
  for (const BrokenAnswer& broken : kBrokenAnswers) {
    SCOPED_TRACE(broken.name);
    test::PtyPair pty;  // a clean line for each case
    printer_ = std::make_shared<PiecewisePrinter>(pty, broken.answer, broken.pieceBytes);
    SetPacer(printer_);
    ASSERT_TRUE(OpenSerialPort(pty.slavePath(), 115200, 8, 1, FlowControl::Hardware, 0));
    Link().currentKind = PortKind::Serial;
    Link().open = true;
    ShowEditor();
    MarkEveryControl();
    const auto before = Controls();
    ReadFromPrinter();
    EXPECT_EQ(printer_->collectionReads(), broken.reads);
    ExpectFailedReadChangedNothing(before);
    CloseSerialPort();
    SetPacer(nullptr);  // this case's printer goes with its line
    printer_.reset();
    editor_.hide();
  }
}

// ---- Against the virtual printer ----

class EplEditorTest : public EditorFixture {
 protected:
  void SetUp() override {
    EditorFixture::SetUp();
    for (const auto& [slot, value] : kStartSlots) printer_.SetSlot(slot, value);
  }
  void Connect(test::Transport transport = test::Transport::Tcp) {
    ASSERT_TRUE(test::ConnectLink(printer_, transport));
    Link().Set(LinkState::Text::LinkName, "127.0.0.1");
  }
  // Waits until the printer has taken everything sent so far (a read answers only after it).
  void SyncWithPrinter() {
    ASSERT_TRUE(SendToPrinter("~WN00@eep,r,60~"));
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (answer.size() < 6 && std::chrono::steady_clock::now() < deadline) answer += ReadAvailable().text;
    ASSERT_EQ(answer.substr(0, 4), "1234");
  }
  void ExpectTable(const std::map<int, uint16_t>& table) {
    for (int slot = 0; slot < 256; ++slot) {
      const auto found = table.find(slot);
      EXPECT_EQ(Hex4(printer_.Slot(slot)), Hex4(found == table.end() ? 0 : found->second)) << "slot " << Hex4(slot);
    }
  }

  static sim::PrinterOptions EPrinter() {
    sim::PrinterOptions options;
    options.personality = sim::Personality::E;
    return options;
  }
  sim::VirtualPrinter printer_{EPrinter()};
};

TEST_F(EplEditorTest, ReadingSendsTheFortyFiveRequestsInRowOrderAndShowsEveryRow) {
  Connect();
  ShowEditor();
  ReadFromPrinter();
  EXPECT_EQ(printer_.Received(), kRequests);
  ASSERT_EQ(Shown().size(), 1u) << LastText();
  EXPECT_EQ(LastText(), Tip("ReadFinish").toStdString());
  EXPECT_EQ(Shown().back().caption, editor_.windowTitle().toStdString());
  ExpectStartValuesShown();
  EXPECT_FALSE(Link().readOnce);
  EXPECT_TRUE(editor_.btnReadPrint->isEnabled());
  EXPECT_TRUE(editor_.btnSetPrint->isEnabled());
}

TEST_F(EplEditorTest, AnswersSentInPiecesWithGapsAreCollected) {
  sim::Faults faults;
  faults.splitPieceBytes = 90;
  faults.splitGapMs = 20;
  printer_.SetFaults(faults);
  Connect();
  ShowEditor();
  ReadFromPrinter();
  EXPECT_EQ(LastText(), Tip("ReadFinish").toStdString());
  ExpectStartValuesShown();
}

TEST_F(EplEditorTest, ARequestThatCannotBeSentIsAFailedRead) {
  Connect();
  ShowEditor();
  MarkEveryControl();
  const auto before = Controls();
  CloseNetworkLink();
  Link().open = true;
  ReadFromPrinter();
  ExpectFailedReadChangedNothing(before);
}

TEST_F(EplEditorTest, WritingSendsTheRowsOfTheECommandSetAfterTheSharedOnesByteForByte) {
  Connect();
  ShowEditor();
  ReadFromPrinter();
  printer_.ClearReceived();
  WriteToPrinter();
  SyncWithPrinter();
  ASSERT_EQ(resets_, std::vector<std::string>{"UpdateFinish"});
  EXPECT_EQ(pacer_->SleepCount(pace::kAfterParameterWrite.name), 1);
  const std::string sent = printer_.Received();
  // Slot 53 read as 0807 goes back as 0007 into bits 00-07 and 0008 into bits 08-15.
  const std::string tail =
      "~WN00@eep,w,48,0005~"
      "~WN00@eep,w,50,0000,00,00~~WN00@eep,w,51,0001,08,08~~WN00@eep,w,51,0081,00,07~"
      "~WN00@eep,w,53,0007,00,07~~WN00@eep,w,53,0008,08,15~~WN00@eep,w,56,0123~"
      "~WN00@eep,w,57,0001,00,00~~WN00@eep,w,57,0000,01,01~~WN00@eep,w,57,0001,02,02~"
      "~WN00@eep,w,58,0041,00,07~~WN00@eep,w,58,0002,08,09~~WN00@eep,w,59,0001,00,02~"
      "~WN00@eep,w,5A,0340~~WN00@eep,w,5B,0010~~WN00@eep,w,5C,0020~"
      "~WN00@eep,r,60~";
  ASSERT_GE(sent.size(), tail.size());
  EXPECT_EQ(sent.substr(sent.size() - tail.size()), tail);
  EXPECT_EQ(sent.find("~WN00@eep,w,01,0012,00,07~"), 0u);  // the shared rows first, as the Z editor writes them

  // Bits 00-07 of slot 53: 0008 for 8 bits, 0000 when nothing is selected.
  const std::pair<int, const char*> numberBits[] = {{1, "~WN00@eep,w,53,0008,00,07~"}, {-1, "~WN00@eep,w,53,0000,00,07~"}};
  for (const auto& [index, command] : numberBits) {
    editor_.Group("rgEPL_I_NUMBIT")->setItemIndex(index);
    printer_.ClearReceived();
    WriteToPrinter();
    SyncWithPrinter();
    EXPECT_NE(printer_.Received().find(command), std::string::npos) << command;
  }
}

TEST_F(EplEditorTest, AnEditOfTheECommandSetThatDoesNotFitIsRefusedBeforeAnythingIsWritten) {
  Connect();
  ShowEditor();
  ReadFromPrinter();
  SetText("edtEPL_I_CODEPAGENUM", "100");  // wider than the byte of its field
  printer_.ClearReceived();
  WriteToPrinter();
  ASSERT_EQ(Shown().size(), 2u);
  EXPECT_EQ(Shown().back().icon, MsgIcon::Error);
  EXPECT_NE(LastText().find("\"100\""), std::string::npos) << LastText();
  EXPECT_TRUE(resets_.empty());
  SyncWithPrinter();
  EXPECT_EQ(printer_.Received(), "~WN00@eep,r,60~");  // nothing of the write went out
}

class EplEndToEndTest : public EplEditorTest, public ::testing::WithParamInterface<test::Transport> {};

TEST_P(EplEndToEndTest, AReadFollowedByAWriteLeavesEverySlotAsItWas) {
  Connect(GetParam());
  ShowEditor();
  ReadFromPrinter();
  ASSERT_EQ(LastText(), Tip("ReadFinish").toStdString());
  WriteToPrinter();
  SyncWithPrinter();
  ASSERT_EQ(resets_.size(), 1u) << LastText();
  ExpectTable(kStartSlots);
}

TEST_P(EplEndToEndTest, EveryChangedRowIsWrittenAndReadBackAsWritten) {
  Connect(GetParam());
  ShowEditor();
  ReadFromPrinter();
  const std::pair<const char*, const char*> edits[] = {
      {"edtEPL_ERUO_POS", "7f"}, {"edtEPL_I_CODEPAGENUM", "a"}, {"edtEPL_HEIGHT_ADD_MARK", "fff"},
      {"edtEPL_ER_UD_CHR", "5E"}, {"edtEPL_LABEL_WIDTH", "1"},  {"edtEPL_SET_POINT_X", "02"},
      {"edtEPL_SET_POINT_Y", "ABCD"}, {"EdtTOP_POSITION_ADJ", "7"}};
  const std::pair<const char*, int> groups[] = {
      {"rgEPL_ZERO_TYPE", 1},      {"rgEPL_ERUO_SETTING", 0},        {"rgEPL_I_NUMBIT", 1},
      {"rgEPL_AUTO_MSG_US_EN", 0}, {"rgEPL_AUTO_MSG_US_EACH_EN", 1}, {"rgEPL_AUTO_MSG_UT_EN", 0},
      {"rgEPL_ER_MODE", 1},        {"rgEPL_KEY_SET", 2},             {"rgBIT_ACT_POWER", 1}};
  for (const auto& [name, text] : edits) SetText(name, text);
  for (const auto& [name, index] : groups) editor_.Group(name)->setItemIndex(index);
  WriteToPrinter();
  SyncWithPrinter();
  ASSERT_EQ(resets_.size(), 1u) << LastText();

  std::map<int, uint16_t> expected = kStartSlots;
  expected[0x01] = 0x0712;
  expected[0x1D] = 0xE011;
  expected[0x50] = 0xFFFF;
  expected[0x51] = 0x527F;  // bit 8 cleared, the low byte 7F, bits 9-15 kept
  expected[0x53] = 0x0A08;
  expected[0x56] = 0x0FFF;
  expected[0x57] = 0xFFF2;  // bits 0 and 2 cleared, bit 1 set, bits 3-15 kept
  expected[0x58] = 0xF15E;  // bits 10-15 kept
  expected[0x59] = 0xFFFA;
  expected[0x5A] = 0x0001;
  expected[0x5B] = 0x0002;
  expected[0x5C] = 0xABCD;
  ExpectTable(expected);

  editor_.hide();
  ShowEditor();
  ReadFromPrinter();
  const std::pair<const char*, const char*> readBack[] = {
      {"edtEPL_ERUO_POS", "007F"},  {"edtEPL_I_CODEPAGENUM", "000A"}, {"edtEPL_HEIGHT_ADD_MARK", "0FFF"},
      {"edtEPL_ER_UD_CHR", "005E"}, {"edtEPL_LABEL_WIDTH", "0001"},   {"edtEPL_SET_POINT_X", "0002"},
      {"edtEPL_SET_POINT_Y", "ABCD"}, {"EdtTOP_POSITION_ADJ", "0007"}};
  for (const auto& [name, text] : readBack) EXPECT_EQ(Text(name), text) << name;
  for (const auto& [name, index] : groups) EXPECT_EQ(Index(name), index) << name;
}

INSTANTIATE_TEST_SUITE_P(Transports, EplEndToEndTest, ::testing::Values(test::Transport::Tcp, test::Transport::Pty),
                         [](const auto& info) { return test::TransportName(info.param); });

// ---- Dump files ----

class EplFileTest : public EplEditorTest {
 protected:
  void Choose(const std::filesystem::path& path) {
    SetFileChooser([path](const TFileDialog&, QWidget*) -> FileChoice {
      return {QString::fromStdString(path.string()), 1};
    });
  }
  void Load(const std::map<int, uint16_t>& table, int leftOut = -1) {
    Choose(dir_.Write("table.eep", DumpText(table, leftOut)));
    QTest::mouseClick(editor_.btnReadFile, Qt::LeftButton);
  }
  test::TempDir dir_;
};

TEST_F(EplFileTest, AFileFillsTheRowsOfTheECommandSetBitByBit) {
  Connect();
  ShowEditor();
  struct Case {
    int slot;
    uint16_t word;
    std::vector<std::pair<const char*, int>> groups;
    std::vector<std::pair<const char*, const char*>> edits;
  };
  const Case cases[] = {
      {0x53, 0x0807, {{"rgEPL_I_NUMBIT", 0}}, {{"edtEPL_I_CODEPAGENUM", "0008"}}},
      {0x53, 0x010F, {{"rgEPL_I_NUMBIT", 1}}, {{"edtEPL_I_CODEPAGENUM", "0001"}}},
      {0x57, 0x0002, {{"rgEPL_AUTO_MSG_US_EN", 0}, {"rgEPL_AUTO_MSG_US_EACH_EN", 1}, {"rgEPL_AUTO_MSG_UT_EN", 0}}, {}},
      {0x57, 0x0005, {{"rgEPL_AUTO_MSG_US_EN", 1}, {"rgEPL_AUTO_MSG_US_EACH_EN", 0}, {"rgEPL_AUTO_MSG_UT_EN", 1}}, {}},
      {0x58, 0x0141, {{"rgEPL_ER_MODE", 1}}, {{"edtEPL_ER_UD_CHR", "0041"}}},
      {0x51, 0x0180, {{"rgEPL_ERUO_SETTING", 1}}, {{"edtEPL_ERUO_POS", "0080"}}},
      {0x50, 0x0001, {{"rgEPL_ZERO_TYPE", 1}}, {}},
      {0x59, 0x0002, {{"rgEPL_KEY_SET", 2}}, {}},
      {0x5C, 0xabcd, {}, {{"edtEPL_SET_POINT_Y", "ABCD"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex4(c.slot) + "=" + Hex4(c.word));
    std::map<int, uint16_t> table = kStartSlots;
    table[c.slot] = c.word;
    Load(table);
    EXPECT_TRUE(Shown().empty()) << LastText();
    for (const auto& [name, index] : c.groups) EXPECT_EQ(Index(name), index) << name;
    for (const auto& [name, text] : c.edits) EXPECT_EQ(Text(name), text) << name;
  }
  EXPECT_TRUE(editor_.btnSetPrint->isEnabled());
  EXPECT_EQ(printer_.Received(), "");  // a file load does not touch the printer
}

TEST_F(EplFileTest, SlotFiftyThreeFromAFileIsWrittenBackAsItCame) {
  Connect();
  ShowEditor();
  Load(kStartSlots);  // 53 = 0807
  WriteToPrinter();
  SyncWithPrinter();
  const std::string sent = printer_.Received();
  EXPECT_NE(sent.find("~WN00@eep,w,53,0007,00,07~~WN00@eep,w,53,0008,08,15~"), std::string::npos);
  ExpectTable(kStartSlots);
}

TEST_F(EplFileTest, AFileAndThePrinterItWasTakenFromShowTheSame) {
  // Bit 2 of slot 59 set too: the file is decoded like the printer's field read.
  std::map<int, uint16_t> table = kStartSlots;
  table[0x59] = 0xFFFC;
  for (const auto& [slot, value] : table) printer_.SetSlot(slot, value);
  Connect();
  ShowEditor();
  ReadFromPrinter();
  ASSERT_EQ(LastText(), Tip("ReadFinish").toStdString());
  const auto fromPrinter = Controls();
  MarkEveryControl();
  Load(table);
  EXPECT_EQ(Controls(), fromPrinter);
  EXPECT_EQ(Index("rgEPL_KEY_SET"), 2);
}

TEST_F(EplFileTest, AMissingSlotOfTheECommandSetStopsLoadingWithItsBoxThenReadFail) {
  Connect();
  ShowEditor();
  Load(kStartSlots, /*leftOut=*/0x5C);
  ASSERT_EQ(Shown().size(), 2u);
  EXPECT_EQ(Shown()[0].text, "缺少0x5C地址位");
  EXPECT_EQ(Shown()[0].caption, editor_.windowTitle().toStdString());
  EXPECT_EQ(Shown()[1].text, Tip("ReadFail").toStdString());
  EXPECT_EQ(Text("edtEPL_SET_POINT_X"), "0010");  // the slots before it were loaded
  EXPECT_FALSE(editor_.btnSetPrint->isEnabled());
}

TEST_F(EplFileTest, SavingCopiesThePrintersTableAndLeavesTheReadModeAsItWas) {
  printer_.SetNamedEntry("PrinterName", "TW-E");
  Connect();
  ShowEditor();
  const std::filesystem::path file = dir_ / "saved.eep";
  Choose(file);
  Link().readOnce = true;  // the E editor neither sets nor clears it
  QTest::mouseClick(editor_.btnWrintFile, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Shown().empty(); }, 20000));
  EXPECT_EQ(LastText(), Tip("SaveEepSucc").toStdString());
  EXPECT_TRUE(Link().readOnce);
  const std::string saved = test::ReadFileBytes(file);
  EXPECT_NE(saved.find("~WN00@eep,w,53,0807\r\n"), std::string::npos);
  EXPECT_NE(saved.find("~WN00@eep,w,5C,0020\r\n"), std::string::npos);
  EXPECT_NE(saved.find("~WN00@ini,w,PrinterName,TW-E"), std::string::npos);
}

// ---- Showing, status bar, key filter, languages ----

TEST_F(EplEditorTest, ANewShowingResetsTheSharedRowsButTheECommandSetRowsKeepWhatTheyShowed) {
  ShowEditor();
  for (const GroupRow& row : kEplGroups) EXPECT_EQ(Index(row.name), row.firstIndex) << row.name;
  for (const char* name : kEplEdits) EXPECT_TRUE(Text(name).isEmpty()) << name;

  for (const GroupRow& row : kEplGroups) editor_.Group(row.name)->setItemIndex(row.items - 1);
  for (const char* name : kEplEdits) SetText(name, "12");
  SetText("edtPRINT_SPEED", "5");
  editor_.Group("rgBIT_PAP_TYPE")->setItemIndex(2);
  editor_.hide();
  ShowEditor();

  for (const GroupRow& row : kEplGroups) EXPECT_EQ(Index(row.name), row.items - 1) << row.name;
  for (const char* name : kEplEdits) EXPECT_EQ(Text(name), "12") << name;
  EXPECT_TRUE(Text("edtPRINT_SPEED").isEmpty());
  EXPECT_EQ(Index("rgBIT_PAP_TYPE"), 0);
  EXPECT_EQ(Index("rgBIT_REPRNT"), 1);
  EXPECT_FALSE(editor_.btnSetPrint->isEnabled());
}

TEST_F(EplEditorTest, TheStatusBarShowsThePortCaptionAndTheOpenPortApartAndRefreshesOnActivation) {
  // On the serial kind the port's own name, not a link name left from an earlier connection.
  Link().currentKind = PortKind::Serial;
  Link().Set(LinkState::Text::SerialDisplayName, "COM3");
  Link().Set(LinkState::Text::LinkName, "USB001");
  Link().open = true;
  ShowEditor();
  const int widths[] = {75, 450, 150};
  for (int i = 0; i < 3; ++i) EXPECT_GE(editor_.statusPanels[i]->minimumWidth(), widths[i]);
  EXPECT_EQ(editor_.statusPanels[0]->text(), Tip("PortName"));
  EXPECT_EQ(editor_.statusPanels[1]->text(), "COM3");
  Link().currentKind = PortKind::Network;
  Link().Set(LinkState::Text::LinkName, "127.0.0.1");
  editor_.FormActivate();
  EXPECT_EQ(editor_.statusPanels[1]->text(), "127.0.0.1");
}

TEST_F(EplEditorTest, TheSpoolerCannotBeReadFromAndAClosedPortOnlySaysSo) {
  Link().currentKind = PortKind::Spooler;
  ShowEditor();
  EXPECT_FALSE(editor_.btnReadPrint->isEnabled());
  EXPECT_TRUE(editor_.btnReadFile->isEnabled());
  Link().currentKind = PortKind::Network;
  ReadFromPrinter();  // a click on a disabled button does nothing
  EXPECT_TRUE(Shown().empty());
  editor_.btnReadPrint->setEnabled(true);
  ReadFromPrinter();
  EXPECT_EQ(LastText(), Tip("NotOpenPortMessageBox").toStdString());
  EXPECT_EQ(printer_.Received(), "");
}

TEST_F(EplEditorTest, TheEditsOfTheECommandSetTakeHexDigitsOnly) {
  ShowEditor();
  for (const char* name : kEplEdits) {
    SCOPED_TRACE(name);
    const int before = beeps_;
    QTest::keyClicks(editor_.Edit(name), "aF9g");
    EXPECT_EQ(Text(name), "aF9");
    EXPECT_EQ(beeps_, before + 1);
  }
}

TEST_F(EplEditorTest, OnAScreenSmallerThanThePagesTheWindowFitsAndThePagesScroll) {
  // A laptop screen of 1366 x 768 less its panel, and a small one: the pages are about 900 x 720.
  ShowEditor();
  for (const QSize screen : {QSize(1366, 740), QSize(800, 560)}) {
    SCOPED_TRACE(screen.height());
    QApplication::processEvents();  // the showing has fitted the window to the test's own screen
    editor_.FitWindowInto(screen);
    EXPECT_LE(editor_.height(), screen.height() - 40);  // room for the title bar
    EXPECT_LE(editor_.width(), screen.width());
    // The pages keep their full size inside the scrolling area, and the buttons stay in the window.
    EXPECT_GE(editor_.GroupBox1->height(), editor_.GroupBox1->sizeHint().height());
    const auto* scroll = editor_.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_LT(scroll->viewport()->height(), editor_.GroupBox1->height());
    EXPECT_LE(editor_.btnReadPrint->mapTo(&editor_, QPoint(0, editor_.btnReadPrint->height())).y(), editor_.height());
  }
}

TEST_F(EplEditorTest, EachLanguageRelabelsEveryGroupWithoutEmptyingOrCuttingIt) {
  for (int language : {kLanguageSimplified, kLanguageTraditional, kLanguageEnglish}) {
    SCOPED_TRACE(language);
    SetCurrentLanguage(language);
    ShowEditor();
    for (TRadioGroup* group : editor_.findChildren<TRadioGroup*>()) {
      const std::string name = group->objectName().toStdString();
      EXPECT_GE(group->items().size(), 2) << name;
      EXPECT_FALSE(group->toolTip().isEmpty()) << name;
      EXPECT_GE(group->width(), group->minimumSizeHint().width()) << name;
    }
    for (const GroupRow& row : kEplGroups) EXPECT_EQ(editor_.Group(row.name)->items().size(), row.items) << row.name;
    editor_.PageControl1->setCurrentWidget(editor_.TabSheet12);  // lays the edits' page out
    QApplication::processEvents();
    for (const char* name : kEplEdits) {
      const QLabel* label = editor_.findChild<QLabel*>(QStringLiteral("Label_") + name);
      ASSERT_NE(label, nullptr) << name;
      EXPECT_FALSE(label->toolTip().isEmpty()) << name;
      EXPECT_GE(label->width(), label->minimumSizeHint().width()) << name;
    }
    EXPECT_GE(editor_.width(), 720);
    EXPECT_GE(editor_.height(), 513);
    if (language == kLanguageEnglish) {
      EXPECT_EQ(editor_.windowTitle(), "Printer Parameters (WVLE)");
      EXPECT_EQ(editor_.Group("rgEPL_ER_MODE")->items()[2], "Character + Error Code");
    }
    editor_.hide();
  }
}

}  // namespace
}  // namespace tw
