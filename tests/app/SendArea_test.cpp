// SPDX-License-Identifier: GPL-3.0-or-later
// The send area of the main window through its real widgets: text and hex forms and the guard of the
// check box, the 20 pages, open, save and save as with the file-name rules, the typing limit, and
// sends in 2048-byte blocks to the virtual printer over TCP and over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringEncoder>
#include <QtTest/QTest>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>

#include "app/MainForm.h"
#include "app/MemoText.h"
#include "app/SendArea.h"
#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/HexConversions.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// The Tips texts of the test's English language file.
const std::map<std::string, std::string> kTips = {
    {"PortNotOpen", "No port is open."},
    {"SendDataFail", "The data could not be sent."},
    {"NoDataSend", "Nothing to send."},
    {"Send", "Send"},
    {"FeiFaZiFuStr", "Invalid character; nothing was sent."},
    {"ShuRuYuFaCuoWu", "Malformed hex; nothing was sent."},
    {"FeiFaZiFu", "Invalid character in the hex data."},
    {"YuFaCuoWu", "Malformed hex data."},
    {"YuFaCuoWuCaption", "Hex Format Error"},
    {"Page1", "Page "},
    {"Page2", " of 20"},
    {"PageTotal", "20 pages"},
    {"FileWriteFail", "Cannot write the file "},
    {"FileReplace", "Replace this file? "},
    {"OpenTooLarge", "Larger than a page: %1 of %2 bytes loaded; see Download File."},
};

std::string Tip(const std::string& key) { return kTips.at(key); }

std::string EnglishLanguageFile() {
  std::string file = "[Tips]\r\n";
  for (const auto& [key, text] : kTips) file += key + "=\"" + text + "\"\r\n";
  return file;
}

const char kApplicationTitle[] = "Tagwright(WVLZ)";

std::string Gbk(const char* utf8) {
  QStringEncoder encoder("GB18030");
  const QByteArray bytes = encoder(QString::fromUtf8(utf8));
  return bytes.toStdString();
}

// Label data as a user sends it: commands, Chinese text, control bytes, cut to exactly `size` bytes
// (which may split a Chinese character at the end).
std::string LabelData(std::size_t size) {
  const std::string label = "^XA^CI14^FO40,30^A0N,28,28^FD" + Gbk("标签打印测试") + "^FS\r\n^FO40,80^BCN,80,Y^FD" +
                            "12345678^FS\r\n\x1B\x07\t^PQ1^XZ\r\n";
  std::string data;
  while (data.size() < size) data += label;
  data.resize(size);
  return data;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(byte(random));
  return bytes;
}

// The real network layer with the length of every write recorded; the write numbered `failingWrite`
// (from 1) is refused as a printer that stopped taking data would refuse it.
class RecordingNetwork : public NetPortApi {
 public:
  explicit RecordingNetwork(std::shared_ptr<NetPortApi> real) : real_(std::move(real)) {}
  int OpenPort(const std::string& address, int port, int connectTimeoutMs) override {
    return real_->OpenPort(address, port, connectTimeoutMs);
  }
  int WritePort(int handle, const char* bytes, int length, int timeoutMs) override {
    {
      std::lock_guard lock(mutex_);
      writes_.push_back(length);
      if (static_cast<int>(writes_.size()) == failingWrite) return -1;
    }
    return real_->WritePort(handle, bytes, length, timeoutMs);
  }
  int ReadPort(int handle, char* buffer, int capacity, int timeoutMs) override {
    return real_->ReadPort(handle, buffer, capacity, timeoutMs);
  }
  int WaitAcknowledged(int handle, int timeoutMs) override {
    {
      std::lock_guard lock(mutex_);
      if (droppingWrite > 0 && static_cast<int>(writes_.size()) >= droppingWrite) return -1;
    }
    return real_->WaitAcknowledged(handle, timeoutMs);
  }
  void ClosePort(int handle) override { real_->ClosePort(handle); }

  std::vector<int> writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }
  std::atomic<int> failingWrite{0};
  std::atomic<int> droppingWrite{0};  // the link drops before the printer acknowledges this write

 private:
  std::shared_ptr<NetPortApi> real_;
  mutable std::mutex mutex_;
  std::vector<int> writes_;
};

// A fast pacer that also records the time-outs asked for by name (a serial write asks for one).
class CountingPacer : public test::FastPacer {
 public:
  using FastPacer::FastPacer;
  int Timeout(PaceStep step) override {
    {
      std::lock_guard lock(mutex_);
      timeouts_[std::string(step.name)].push_back(step.ms);
    }
    return FastPacer::Timeout(step);
  }
  std::vector<int> TimeoutsOf(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto found = timeouts_.find(name);
    return found == timeouts_.end() ? std::vector<int>{} : found->second;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::vector<int>> timeouts_;
};

class SendAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    dir_.Write("Language/English.lan", EnglishLanguageFile());
    SetCurrentLanguage(kLanguageEnglish);
    LoadCatalogSection("Tips");
    ResetLink({nullptr, nullptr, network_});
    SetPacer(pacer_);
    SetFileChooser([this](const TFileDialog& dialog, QWidget*) {
      dialogs_.push_back(dialog.objectName());
      return choice_;
    });
    window_ = std::make_unique<TMainForm>(nullptr, 1033);
    window_->sendArea()->onSendDone = [this] { ++sendsDone_; };
  }
  void TearDown() override {
    window_.reset();
    Receive_Thread::Stop();
    Receive_Thread::Join();
    SetFileChooser(nullptr);
    ResetLink({});
    SetPacer(nullptr);
  }

  SendArea& area() { return *window_->sendArea(); }
  QPlainTextEdit& memo() { return *window_->MemoSend; }
  QString Memo() { return memo().toPlainText(); }
  // Puts text into the memo as the user would (within the typing limit).
  void Type(const QString& text) { memo().setPlainText(text); }
  void Type(const char* utf8) { Type(QString::fromUtf8(utf8)); }

  // The next file dialog answers with this path and filter.
  void Choose(const fs::path& path, int filterIndex = 1) {
    choice_ = {QString::fromStdString(path.string()), filterIndex};
  }

  void ConnectTcp(sim::VirtualPrinter& printer) { ASSERT_TRUE(test::ConnectLink(printer, test::Transport::Tcp)); }
  void ConnectPty(sim::VirtualPrinter& printer) { ASSERT_TRUE(test::ConnectLink(printer, test::Transport::Pty)); }

  test::TempDir dir_;
  std::shared_ptr<RecordingNetwork> network_ = std::make_shared<RecordingNetwork>(MakeTcpNetPortApi());
  std::shared_ptr<CountingPacer> pacer_ = std::make_shared<CountingPacer>(0.0, 0.05);
  test::MessageRecorder messages_;
  FileChoice choice_{QString(), 1};
  std::vector<QString> dialogs_;
  std::unique_ptr<TMainForm> window_;
  int sendsDone_ = 0;
};

void ExpectShown(const test::MessageRecorder::Shown& shown, const std::string& text, const std::string& caption,
                 MsgIcon icon = MsgIcon::None) {
  EXPECT_EQ(shown.text, text);
  EXPECT_EQ(shown.caption, caption);
  EXPECT_EQ(shown.icon, icon);
}

// ---- text and hex forms ----

TEST_F(SendAreaTest, SwitchingTurnsTextIntoHexPairsAndBack) {
  Type("AB<\\x07>");
  window_->Cb_ShowHex->click();
  EXPECT_EQ(Memo(), "41 42 07 ");
  EXPECT_TRUE(memo().textCursor().atEnd()) << "the caret goes to the end";
  window_->Cb_ShowHex->click();
  EXPECT_FALSE(window_->Cb_ShowHex->isChecked());
  EXPECT_EQ(Memo(), "AB<\\x07>");
  EXPECT_TRUE(memo().textCursor().atEnd());

  Type("A啊\n€<\\x0d>");
  window_->Cb_ShowHex->click();
  EXPECT_EQ(Memo(), "41 B0 A1 \n80 0D ");
  window_->Cb_ShowHex->click();
  EXPECT_EQ(Memo(), QString::fromUtf8("A啊\n€<\\x0D>"));
  EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(SendAreaTest, AnEmptyMemoLeavesHexFormAtOnce) {
  window_->Cb_ShowHex->click();
  ASSERT_TRUE(window_->Cb_ShowHex->isChecked());
  window_->Cb_ShowHex->click();
  EXPECT_FALSE(window_->Cb_ShowHex->isChecked());
  EXPECT_EQ(Memo(), "");
}

struct MalformedHex {
  const char* memo;
  const char* viewMessage;  // switching, paging, saving
  const char* sendMessage;
};
const MalformedHex kMalformedHex[] = {
    {"414", "YuFaCuoWu", "ShuRuYuFaCuoWu"},
    {"4G", "FeiFaZiFu", "FeiFaZiFuStr"},
    {"41 414\n42", "FeiFaZiFu", "FeiFaZiFuStr"},  // an odd number of digits before a line break
};

TEST_F(SendAreaTest, MalformedHexIsRefusedWithTheMessageOfEachSituation) {
  window_->Cb_ShowHex->click();
  Link().open = true;  // refused before anything is written
  for (const MalformedHex& row : kMalformedHex) {
    SCOPED_TRACE(row.memo);
    Type(row.memo);
    const std::size_t before = messages_.shown().size();

    window_->Cb_ShowHex->click();  // switching to text
    EXPECT_TRUE(window_->Cb_ShowHex->isChecked()) << "the check is put back";
    EXPECT_EQ(Memo(), row.memo) << "the memo stays in hex form";

    window_->btnNextPage->click();  // paging
    EXPECT_EQ(area().pageIndex(), 0);

    Choose(dir_ / "never.txt");
    window_->m_save->trigger();  // saving
    EXPECT_TRUE(dialogs_.empty()) << "no dialog after a hex error";
    EXPECT_FALSE(fs::exists(dir_ / "never.txt"));

    window_->btnSend->click();  // sending
    EXPECT_TRUE(window_->btnSend->isEnabled());

    const auto shown = messages_.shown();
    ASSERT_EQ(shown.size(), before + 4);
    for (int i = 0; i < 3; ++i) ExpectShown(shown[before + i], Tip(row.viewMessage), Tip("YuFaCuoWuCaption"));
    ExpectShown(shown[before + 3], Tip(row.sendMessage), Tip("Send"), MsgIcon::Error);
  }
}

TEST_F(SendAreaTest, AfterARefusedSwitchTheNextClickSwitches) {
  window_->Cb_ShowHex->click();
  Type("4G");
  window_->Cb_ShowHex->click();
  ASSERT_EQ(messages_.shown().size(), 1u);
  ASSERT_TRUE(window_->Cb_ShowHex->isChecked());
  Type("41 42");
  window_->Cb_ShowHex->click();
  EXPECT_FALSE(window_->Cb_ShowHex->isChecked());
  EXPECT_EQ(Memo(), "AB");
  EXPECT_EQ(messages_.shown().size(), 1u);
}

// ---- pages ----

TEST_F(SendAreaTest, PagesKeepTheirTextAndShowItInTheMemosForm) {
  Type("first");
  window_->btnNextPage->click();
  EXPECT_EQ(area().pageIndex(), 1);
  EXPECT_EQ(Memo(), "");
  EXPECT_EQ(window_->showPage->text().toStdString(), Tip("Page1") + "2" + Tip("Page2"));
  Type("second");
  window_->Cb_ShowHex->click();
  window_->btnBackPage->click();
  EXPECT_EQ(Memo(), "66 69 72 73 74 ") << "a text page shown in hex form";
  EXPECT_EQ(window_->showPage->text().toStdString(), Tip("Page1") + "1" + Tip("Page2"));
  window_->Cb_ShowHex->click();
  window_->btnNextPage->click();
  EXPECT_EQ(Memo(), "second") << "a hex page shown in text form";
  window_->btnBackPage->click();
  EXPECT_EQ(Memo(), "first");
}

TEST_F(SendAreaTest, TwentyPagesAndTheirButtons) {
  window_->show();
  QApplication::setActiveWindow(window_.get());
  EXPECT_FALSE(window_->btnBackPage->isEnabled());
  for (int page = 2; page <= 20; ++page) {
    window_->btnNextPage->click();
    EXPECT_EQ(area().pageIndex(), page - 1);
    EXPECT_TRUE(window_->btnBackPage->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), &memo()) << "the memo gets the focus";
    EXPECT_EQ(window_->btnNextPage->isEnabled(), page < 20);
  }
  EXPECT_EQ(window_->showPage->text().toStdString(), Tip("Page1") + "20" + Tip("Page2"));
  area().btnNextPageClick();
  EXPECT_EQ(area().pageIndex(), 19) << "page 20 cannot be left forwards";

  for (int page = 19; page >= 1; --page) {
    window_->btnBackPage->click();
    EXPECT_EQ(area().pageIndex(), page - 1);
    EXPECT_TRUE(window_->btnNextPage->isEnabled());
    EXPECT_EQ(window_->btnBackPage->isEnabled(), page > 1);
  }
  area().btnBackPageClick();
  EXPECT_EQ(area().pageIndex(), 0);
}

// ---- files ----

TEST_F(SendAreaTest, HexFormIsSavedAsTheBytesItShows) {
  window_->Cb_ShowHex->click();
  Type("41 4");
  Choose(dir_ / "out.bin", 2);
  window_->m_save->trigger();
  EXPECT_EQ(test::ReadFileBytes(dir_ / "out.bin"), std::string("\x41\x04", 2));
  EXPECT_TRUE(messages_.shown().empty());
}

struct SavedName {
  const char* chosen;
  int filterIndex;
  const char* written;
};
const SavedName kSavedNames[] = {
    {"Data.TXT", 1, "data.txt"},
    {"Label", 1, "label.txt"},
    {"notes.txt", 1, "notes.txt"},
    {"Label", 2, "Label"},
    {"Data.TXT", 2, "Data.TXT"},
};

TEST_F(SendAreaTest, TheTextFileFilterLowerCasesTheNameAndAddsTxt) {
  Type("^XA^XZ");
  const fs::path folder = dir_ / "Labels";  // folders keep their case
  fs::create_directories(folder);
  for (const SavedName& row : kSavedNames) {
    SCOPED_TRACE(row.chosen);
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
    Choose(folder / row.chosen, row.filterIndex);
    window_->m_saveAs->trigger();
    EXPECT_EQ(test::ReadFileBytes(folder / row.written), "^XA^XZ");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "one file written";
  }
  EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(SendAreaTest, SaveRemembersTheFileUntilThePageChanges) {
  Type("one");
  Choose(dir_ / "Page.txt");
  window_->m_save->trigger();
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0], "SaveFileDialog");
  EXPECT_EQ(area().fileName().toStdString(), (dir_ / "page.txt").string());

  Type("two");
  window_->m_save->trigger();
  EXPECT_EQ(dialogs_.size(), 1u) << "saved without asking";
  EXPECT_EQ(test::ReadFileBytes(dir_ / "page.txt"), "two");

  Choose(dir_ / "copy.txt");
  window_->m_saveAs->trigger();
  EXPECT_EQ(dialogs_.size(), 2u);
  EXPECT_EQ(test::ReadFileBytes(dir_ / "copy.txt"), "two");
  EXPECT_EQ(area().fileName().toStdString(), (dir_ / "page.txt").string()) << "save as keeps the name";

  window_->btnNextPage->click();
  EXPECT_TRUE(area().fileName().isEmpty());
  Choose(dir_ / "other.txt");
  window_->m_save->trigger();
  EXPECT_EQ(dialogs_.size(), 3u) << "a new page asks again";
}

TEST_F(SendAreaTest, ACancelledDialogWritesNothing) {
  Type("data");
  choice_ = {QString(), 1};
  window_->m_save->trigger();
  window_->m_open->trigger();
  EXPECT_TRUE(area().fileName().isEmpty());
  EXPECT_EQ(Memo(), "data");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1) << "only Language/";
}

TEST_F(SendAreaTest, TheRenamedFileIsNotReplacedWithoutAsking) {
  dir_.Write("label.txt", "keep me");
  Type("new");
  test::MessageRecorder cancel(MsgAnswer::Cancel);
  Choose(dir_ / "Label");
  window_->m_save->trigger();
  EXPECT_EQ(test::ReadFileBytes(dir_ / "label.txt"), "keep me");
  ASSERT_EQ(cancel.shown().size(), 1u);
  EXPECT_EQ(cancel.shown()[0].text.rfind(Tip("FileReplace"), 0), 0u) << cancel.shown()[0].text;
  EXPECT_NE(cancel.shown()[0].text.find("label.txt"), std::string::npos);
  EXPECT_EQ(cancel.shown()[0].buttons, MsgButtons::OkCancel);
  EXPECT_TRUE(area().fileName().isEmpty());

  test::MessageRecorder ok(MsgAnswer::Ok);
  window_->m_save->trigger();
  EXPECT_EQ(test::ReadFileBytes(dir_ / "label.txt"), "new");
}

TEST_F(SendAreaTest, AFileThatCannotBeWrittenIsReportedAndNotRemembered) {
  Type("data");
  const fs::path missingFolder = dir_ / "missing" / "out.txt";
  Choose(missingFolder);
  window_->m_save->trigger();
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text.rfind(Tip("FileWriteFail"), 0), 0u) << shown[0].text;
  EXPECT_NE(shown[0].text.find(missingFolder.string()), std::string::npos) << shown[0].text;
  EXPECT_EQ(shown[0].caption, kApplicationTitle);
  EXPECT_EQ(shown[0].icon, MsgIcon::Error);
  EXPECT_TRUE(area().fileName().isEmpty());
  window_->m_save->trigger();
  EXPECT_EQ(dialogs_.size(), 2u) << "the next save asks again";
}

TEST_F(SendAreaTest, OpenReadsAtMost262144BytesIntoTheMemosForm) {
  const std::string bytes = RandomBytes(SendArea::kOpenLimit + 100, 7);
  const fs::path file = dir_.Write("big.bin", bytes);
  window_->btnNextPage->click();
  Type("page two");
  Choose(dir_ / "saved.txt");
  window_->m_save->trigger();
  const QString label = window_->showPage->text();

  Choose(file);
  window_->m_open->trigger();
  EXPECT_EQ(dialogs_.back(), "OpenFileDialog");
  EXPECT_TRUE(DecodeEscapes(MemoToTextForm(Memo())) == bytes.substr(0, SendArea::kOpenLimit));
  EXPECT_EQ(area().pageIndex(), 1);
  EXPECT_EQ(window_->showPage->text(), label);
  EXPECT_EQ(area().fileName().toStdString(), (dir_ / "saved.txt").string()) << "the file name is not touched";
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u) << "a cut file is reported";
  EXPECT_EQ(shown[0].text, "Larger than a page: 262144 of 262244 bytes loaded; see Download File.");

  dir_.Write("crlf.bin", "A\r\nB");
  window_->Cb_ShowHex->click();
  Choose(dir_ / "crlf.bin");
  window_->m_open->trigger();
  EXPECT_EQ(Memo(), "41 0D 0A 42 ") << "a file opened in hex form shows every byte as a pair";
  EXPECT_EQ(messages_.shown().size(), 1u) << "a whole file is not reported";
}

TEST_F(SendAreaTest, OpenedFilesAreSavedByteForByte) {
  const std::size_t sizes[] = {1, 1024, 65536, 262144};
  for (const std::size_t size : sizes) {
    for (const bool hex : {false, true}) {
      SCOPED_TRACE(std::to_string(size) + (hex ? " hex" : " text"));
      if (window_->Cb_ShowHex->isChecked() != hex) window_->Cb_ShowHex->click();
      const std::string bytes = RandomBytes(size, static_cast<unsigned>(size) + hex);
      Choose(dir_.Write("in.bin", bytes));
      window_->m_open->trigger();
      Choose(dir_ / "out.bin", 2);
      window_->m_saveAs->trigger();
      EXPECT_TRUE(test::ReadFileBytes(dir_ / "out.bin") == bytes);

      // Switched to the other form and back, and paged away and back.
      window_->Cb_ShowHex->click();
      window_->btnNextPage->click();
      window_->btnBackPage->click();
      window_->Cb_ShowHex->click();
      window_->m_saveAs->trigger();
      EXPECT_TRUE(test::ReadFileBytes(dir_ / "out.bin") == bytes);
    }
  }
  EXPECT_TRUE(messages_.shown().empty());
}

// ---- the typing limit ----

TEST_F(SendAreaTest, TheMemoTakesAtMost262144CharactersFromItsUser) {
  window_->show();
  const QString pasted = QString(SendArea::kMemoLimit + 1000, QChar('A')) + "tail";
  QApplication::clipboard()->setText(pasted);
  ASSERT_EQ(QApplication::clipboard()->text(), pasted);
  memo().paste();
  EXPECT_EQ(Memo(), pasted.left(SendArea::kMemoLimit)) << "a paste keeps its first part";

  // A paste in the middle of a nearly full memo: the pasted text is cut, the memo's text stays.
  const QString start(SendArea::kMemoLimit - 10, QChar('x'));
  Type(start);
  QTextCursor caret = memo().textCursor();
  caret.setPosition(5);
  memo().setTextCursor(caret);
  memo().insertPlainText(QString(100, QChar('y')));
  EXPECT_EQ(Memo(), start.left(5) + QString(10, QChar('y')) + start.mid(5));

  QTest::keyClicks(&memo(), "zz");
  EXPECT_EQ(Memo().size(), SendArea::kMemoLimit);
  EXPECT_FALSE(Memo().contains('z'));
  QTest::keyClick(&memo(), Qt::Key_Backspace);
  QTest::keyClicks(&memo(), "zz");
  EXPECT_EQ(Memo().count('z'), 1) << "room for one after one was deleted";
}

TEST_F(SendAreaTest, TheProgramsOwnTextIsNotCut) {
  const QString text(SendArea::kMemoLimit, QChar('B'));
  Type(text);
  window_->Cb_ShowHex->click();
  EXPECT_EQ(Memo().size(), 3 * SendArea::kMemoLimit) << "the hex form holds three characters a byte";
  QTest::keyClicks(&memo(), "4");
  EXPECT_EQ(Memo().size(), 3 * SendArea::kMemoLimit) << "but the user cannot make it longer";
  window_->Cb_ShowHex->click();
  EXPECT_EQ(Memo(), text);
}

// ---- sending ----

TEST_F(SendAreaTest, SendNeedsAnOpenPortAndData) {
  Type("^XA^XZ");
  window_->btnSend->click();
  Link().open = true;
  Type("");
  window_->btnSend->click();
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 2u);
  ExpectShown(shown[0], Tip("PortNotOpen"), Tip("Send"));
  ExpectShown(shown[1], Tip("NoDataSend"), Tip("Send"));
  EXPECT_TRUE(window_->btnSend->isEnabled());
  EXPECT_EQ(sendsDone_, 0);
}

enum class Transport { Tcp, Pty };

class SendAreaSend : public SendAreaTest, public ::testing::WithParamInterface<Transport> {
 protected:
  void SetUp() override {
    SendAreaTest::SetUp();
    if (GetParam() == Transport::Tcp)
      ConnectTcp(printer_);
    else
      ConnectPty(printer_);
  }
  // How many writes the link made: the network layer's record, or the serial write time-outs.
  std::vector<int> Writes() const {
    return GetParam() == Transport::Tcp ? network_->writes() : pacer_->TimeoutsOf("serial write time-out");
  }

  sim::VirtualPrinter printer_;
};

TEST_P(SendAreaSend, APageArrivesByteForByteIn2048ByteBlocks) {
  struct Row {
    std::size_t size;
    std::vector<int> blocks;
  };
  const Row rows[] = {{4096, {2048, 2048}}, {4097, {2048, 2048, 1}}, {100, {100}}};
  std::size_t writesBefore = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    printer_.ClearReceived();
    const std::string page = LabelData(row.size);
    Type(TextFormToMemo(BytesToEscapedText(page)));
    window_->btnSend->click();
    ASSERT_TRUE(printer_.WaitForReceived(page.size(), 5000));
    EXPECT_TRUE(printer_.Received() == page);
    const std::vector<int> writes = Writes();
    ASSERT_EQ(writes.size() - writesBefore, row.blocks.size());
    if (GetParam() == Transport::Tcp) {
      EXPECT_EQ(std::vector<int>(writes.begin() + static_cast<long>(writesBefore), writes.end()), row.blocks);
    } else {
      for (std::size_t i = writesBefore; i < writes.size(); ++i) EXPECT_EQ(writes[i], 10000) << "serial time-out";
    }
    writesBefore = writes.size();
    EXPECT_TRUE(window_->btnSend->isEnabled());
  }
  EXPECT_EQ(sendsDone_, 3);
  EXPECT_EQ(Link().serialWriteTimeoutMs, SendArea::kSendSerialWriteTimeoutMs);
  EXPECT_TRUE(messages_.shown().empty());
}

TEST_P(SendAreaSend, AHexPageIsSentAsItsBytes) {
  window_->Cb_ShowHex->click();
  Type("5e 58 41\n0d 0a 00 ff\n5E 58 5A");
  window_->btnSend->click();
  const std::string expected("^XA\r\n\r\n\x00\xFF\r\n^XZ", 14);
  ASSERT_TRUE(printer_.WaitForReceived(expected.size(), 5000));
  EXPECT_EQ(printer_.Received(), expected);
  EXPECT_EQ(sendsDone_, 1);
}

INSTANTIATE_TEST_SUITE_P(Transports, SendAreaSend, ::testing::Values(Transport::Tcp, Transport::Pty),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                           return info.param == Transport::Tcp ? "Tcp" : "Pty";
                         });

class SendAreaFailure : public SendAreaTest {
 protected:
  void SetUp() override {
    SendAreaTest::SetUp();
    ConnectTcp(printer_);
  }
  sim::VirtualPrinter printer_;
};

TEST_F(SendAreaFailure, AFailedLastBlockLeavesSendDisabled) {
  network_->failingWrite = 3;  // the 1-byte rest of 4097 bytes
  const std::string page = LabelData(4097);
  Type(TextFormToMemo(BytesToEscapedText(page)));
  window_->btnSend->click();
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  ExpectShown(shown[0], Tip("SendDataFail"), kApplicationTitle);
  EXPECT_FALSE(window_->btnSend->isEnabled());
  EXPECT_EQ(sendsDone_, 0) << "the send does not count as done";
  ASSERT_TRUE(printer_.WaitForReceived(4096, 5000));
  EXPECT_TRUE(printer_.Received() == page.substr(0, 4096));
}

TEST_F(SendAreaFailure, ALinkThatDropsBeforeTheLastBlockIsTakenFailsTheSend) {
  network_->droppingWrite = 3;
  Type(TextFormToMemo(BytesToEscapedText(LabelData(4097))));
  window_->btnSend->click();
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  ExpectShown(shown[0], Tip("SendDataFail"), kApplicationTitle);
  EXPECT_EQ(sendsDone_, 0);
}

TEST_F(SendAreaFailure, AFailedBlockEndsTheSendWithoutTheRest) {
  network_->failingWrite = 2;
  const std::string page = LabelData(5000);
  Type(TextFormToMemo(BytesToEscapedText(page)));
  window_->btnSend->click();
  const auto shown = messages_.shown();
  ASSERT_EQ(shown.size(), 1u);
  ExpectShown(shown[0], Tip("SendDataFail"), kApplicationTitle);
  EXPECT_EQ(network_->writes(), (std::vector<int>{2048, 2048})) << "neither the third block nor the rest";
  EXPECT_TRUE(window_->btnSend->isEnabled());
  EXPECT_EQ(sendsDone_, 1);
  ASSERT_TRUE(printer_.WaitForReceived(2048, 5000));
  EXPECT_TRUE(printer_.Received() == page.substr(0, 2048));
}

TEST_F(SendAreaFailure, TheWindowIsServedBetweenTheBlocksOfALongSend) {
  // The printer takes 200 KB a second: 40 blocks take about 400 ms.
  sim::Faults slowReader;
  slowReader.readBytesPerSecond = 200 * 1024;
  printer_.Stop();
  printer_.SetFaults(slowReader);
  ConnectTcp(printer_);
  const std::string page = LabelData(40 * SendArea::kBlockSize);
  Type(TextFormToMemo(BytesToEscapedText(page)));
  int writesWhenServed = -1;
  QMetaObject::invokeMethod(
      window_.get(), [&] { writesWhenServed = static_cast<int>(network_->writes().size()); }, Qt::QueuedConnection);
  window_->btnSend->click();
  // Served between blocks, or while the printer takes the last ones (the system buffers them).
  EXPECT_GT(writesWhenServed, 0) << "queued events ran during the send";
  EXPECT_LE(writesWhenServed, 40);
  ASSERT_TRUE(printer_.WaitForReceived(page.size(), 5000));
  EXPECT_TRUE(printer_.Received() == page);
}

}  // namespace
}  // namespace tw
