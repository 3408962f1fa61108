// SPDX-License-Identifier: GPL-3.0-or-later
// The receive area of the main window: text and hex forms and the switch between them, insertion at
// the caret, chunks collected into one edit in arrival order, the size cap, clearing, saving with the
// filter rule, and Ctrl+A.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest/QTest>
#include <filesystem>
#include <thread>

#include "app/MainForm.h"
#include "app/ReceiveArea.h"
#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

QByteArray Bytes(std::string_view bytes) { return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())); }

class ReceiveAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.path());
    ResetLink({});
    window_ = std::make_unique<TMainForm>(nullptr, 1033);
    area_ = window_->receiveArea();
    memo_ = window_->MemoRecive;
  }
  void TearDown() override {
    window_.reset();
    SetFileChooser(nullptr);
    Receive_Thread::Stop();
    Receive_Thread::Join();
  }

  // A chunk as the receive thread hands it over, inserted at once.
  void Receive(std::string_view bytes) {
    area_->InsertChunk(Bytes(bytes));
    area_->FlushPendingChunks();
  }
  void SetCaret(int position) {
    QTextCursor caret = memo_->textCursor();
    caret.setPosition(position);
    memo_->setTextCursor(caret);
  }
  void ClickHexBox() { window_->Cb_ShowHex1->click(); }
  // Saves through B_ReceiveSave with the dialog answered by `path` and the filter `filterIndex`.
  void SaveAs(const fs::path& path, int filterIndex) {
    SetFileChooser([path, filterIndex](const TFileDialog& dialog, QWidget*) {
      EXPECT_EQ(dialog.objectName(), "ReceiveSD");
      return FileChoice{QString::fromStdString(path.string()), filterIndex};
    });
    window_->B_ReceiveSave->click();
  }
  QString Text() const { return memo_->toPlainText(); }

  test::TempDir dir_;
  test::ScopedFastPacer pacer_{0.05, 0.05};
  std::unique_ptr<TMainForm> window_;
  ReceiveArea* area_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
};

TEST_F(ReceiveAreaTest, HexAndTextFormsAndTheSwitchBetweenThem) {
  window_->Cb_ShowHex1->setChecked(true);
  Receive("AB\r\n");
  EXPECT_EQ(Text(), "41 42 \n") << "each pair followed by a blank, CR LF kept as a line break";

  ClickHexBox();
  EXPECT_FALSE(window_->Cb_ShowHex1->isChecked());
  EXPECT_EQ(Text(), "AB\n");
  EXPECT_FALSE(memo_->isUndoRedoEnabled()) << "replacing the text keeps the undo history off";
  EXPECT_EQ(memo_->textCursor().position(), Text().size()) << "the caret goes to the end";

  Receive("\x07" "C");
  EXPECT_EQ(Text(), "AB\n<\\x07>C") << "a control byte shows as its escape in text form";
  SetCaret(0);
  ClickHexBox();
  EXPECT_EQ(Text(), "41 42 \n07 43 ");
  EXPECT_EQ(memo_->textCursor().position(), Text().size());

  // Back and forth gives back the same bytes.
  EXPECT_EQ(area_->MemoBytes(), "AB\r\n\x07" "C");
  ClickHexBox();
  EXPECT_EQ(area_->MemoBytes(), "AB\r\n\x07" "C");

  // Switching an empty memo to text form changes nothing and leaves the box unchecked.
  window_->Button9->click();
  window_->Cb_ShowHex1->setChecked(true);
  ClickHexBox();
  EXPECT_FALSE(window_->Cb_ShowHex1->isChecked());
  EXPECT_EQ(Text(), "");
}

TEST_F(ReceiveAreaTest, ChunksLandAtTheClickedCaretAndReplaceTheSelection) {
  window_->show();
  Receive("AB\r\nCD");
  // A click between A and B puts the caret there.
  QTextCursor between = memo_->textCursor();
  between.setPosition(1);
  QTest::mouseClick(memo_->viewport(), Qt::LeftButton, {}, memo_->cursorRect(between).center());
  ASSERT_EQ(memo_->textCursor().position(), 1);

  Receive("x");
  Receive("y");
  EXPECT_EQ(Text(), "AxyB\nCD") << "each chunk lands after the one before";

  QTextCursor selection = memo_->textCursor();
  selection.setPosition(5);
  selection.setPosition(7, QTextCursor::KeepAnchor);
  memo_->setTextCursor(selection);
  Receive("Z");
  EXPECT_EQ(Text(), "AxyB\nZ");
}

TEST_F(ReceiveAreaTest, ACaretInsideAPairOrAnEscapeInsertsAtTheNearestBoundary) {
  struct Row {
    bool hex;
    int caret, selectionEnd;  // selectionEnd < 0: no selection
    const char* memo;         // after "A", 0x07, "B" and then a chunk "C" at the caret
    const char* bytes;        // what saving writes (selections replace whole units)
  };
  // The memo before the chunk: text form "A<\x07>B", hex form "41 07 42 ".
  const Row rows[] = {
      {false, 2, -1, "AC<\\x07>B", "AC\x07" "B"},  // just inside the escape: its start is nearer
      {false, 5, -1, "A<\\x07>CB", "A\x07" "CB"},  // between 0 and 7: its end is nearer
      {false, 4, 8, "AC", "AC"},                // a selection grows to the whole escape
      {true, 4, -1, "41 43 07 42 ", "AC\x07" "B"},  // between 0 and 7
      {true, 5, -1, "41 07 43 42 ", "A\x07" "CB"},  // between 7 and its blank
      {true, 1, 4, "43 42 ", "CB"},             // a selection grows to whole pairs
  };
  for (const Row& row : rows) {
    window_->Button9->click();
    window_->Cb_ShowHex1->setChecked(row.hex);
    Receive("A\x07" "B");
    QTextCursor caret = memo_->textCursor();
    caret.setPosition(row.caret);
    if (row.selectionEnd >= 0) caret.setPosition(row.selectionEnd, QTextCursor::KeepAnchor);
    memo_->setTextCursor(caret);
    Receive("C");
    EXPECT_EQ(Text(), QString::fromLatin1(row.memo)) << row.hex << " caret " << row.caret;
    EXPECT_EQ(area_->MemoBytes(), row.bytes) << row.hex << " caret " << row.caret;
  }
}

TEST_F(ReceiveAreaTest, ChunksOfOneBurstAreInsertedInOrderInOneEdit) {
  int edits = 0;
  QObject::connect(memo_->document(), &QTextDocument::contentsChange, [&edits] { ++edits; });
  QByteArray expected;
  for (int i = 0; i < 500; ++i) {
    const QByteArray chunk = QByteArray::number(i) + ',';
    area_->InsertChunk(chunk);
    expected += chunk;
  }
  EXPECT_EQ(Text(), "") << "nothing is inserted before the event loop turns";
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Text().isEmpty(); }, 5000));
  EXPECT_EQ(Text(), QString::fromLatin1(expected));
  EXPECT_EQ(edits, 1);

  // A double-byte character and a CR LF split between two chunks are shown whole.
  window_->Button9->click();
  area_->InsertChunk("\xC4");
  area_->InsertChunk("\xE3\r");
  area_->InsertChunk("\n!");
  area_->FlushPendingChunks();
  EXPECT_EQ(Text(), QString::fromUtf8("你\n!"));
}

TEST_F(ReceiveAreaTest, ChunksFromAnotherThreadKeepTheirOrder) {
  std::string expected;
  for (int i = 0; i < 3000; ++i) expected += std::to_string(i) + (i % 10 == 9 ? "\r\n" : " ");
  std::thread receiver([this] {
    for (int i = 0; i < 3000; ++i) emit window_->chunkReceived(Bytes(std::to_string(i) + (i % 10 == 9 ? "\r\n" : " ")));
  });
  receiver.join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return area_->MemoBytes().size() >= expected.size(); }, 10000));
  EXPECT_EQ(area_->MemoBytes(), expected);
}

TEST_F(ReceiveAreaTest, PendingChunksBeforeAClickAreHandledAsTheyArrived) {
  area_->InsertChunk("AB");
  ClickHexBox();
  EXPECT_EQ(Text(), "41 42 ") << "converted with the memo, not inserted in the new form a second time";

  area_->InsertChunk("CD");
  window_->Button9->click();
  QTest::qWait(2 * ReceiveArea::kInsertSpacingMs);
  EXPECT_EQ(Text(), "") << "what arrived before the clear is cleared with the rest";
}

TEST_F(ReceiveAreaTest, TheCapKeepsTheNewestDataAndCutsBetweenWholeUnits) {
  area_->setCaps(1000, 1000);
  std::string stream;
  for (bool hex : {false, true}) {
    SCOPED_TRACE(hex ? "hex form" : "text form");
    window_->Button9->click();
    window_->Cb_ShowHex1->setChecked(hex);
    stream.clear();
    for (int i = 0; i < 300; ++i) {
      // Control bytes and a double-byte character: escapes and pairs sit at every possible cut.
      std::string chunk = "#" + std::to_string(i) + "\x01\xC4\xE3" + std::string(static_cast<std::size_t>(i % 7), 'a');
      if (i % 13 == 0) chunk += "\r\n";
      Receive(chunk);
      stream += chunk;
      ASSERT_LE(Text().size(), 1000);
      const std::string kept = area_->MemoBytes();
      ASSERT_TRUE(stream.ends_with(kept)) << "the memo holds the newest bytes exactly, chunk " << i;
    }
    EXPECT_GT(area_->MemoBytes().size(), hex ? 300u : 500u) << "the cap is used, not emptied";
    EXPECT_FALSE(memo_->isUndoRedoEnabled());
  }
}

TEST_F(ReceiveAreaTest, TheLineBeingReceivedIsCappedAndOtherLinesAreNot) {
  area_->setCaps(1000, 120);
  for (bool hex : {false, true}) {
    SCOPED_TRACE(hex ? "hex form" : "text form");
    window_->Button9->click();
    window_->Cb_ShowHex1->setChecked(hex);
    std::string stream;
    for (int i = 0; i < 100; ++i) {
      // No line breaks: one endless line of text, escapes and double-byte characters.
      const std::string chunk = "#" + std::to_string(i) + "\x01\xC4\xE3" + std::string(static_cast<std::size_t>(i % 5), 'b');
      Receive(chunk);
      stream += chunk;
      ASSERT_LE(memo_->document()->lastBlock().length() - 1, 120);
      ASSERT_TRUE(stream.ends_with(area_->MemoBytes())) << "chunk " << i;
    }
    EXPECT_GT(Text().size(), 100);
    for (int i = 0; i < 100; ++i) Receive("line " + std::to_string(i) + "\r\n");
    EXPECT_GT(Text().size(), 800) << "lines of their own fill the memo up to its cap";
    EXPECT_LE(Text().size(), 1000);
  }
}

TEST_F(ReceiveAreaTest, AChunkLargerThanTheCapKeepsItsTail) {
  area_->setCaps(100, 100);
  Receive("old text");
  std::string big;
  for (int i = 0; i < 1000; ++i) big += static_cast<char>(i % 256);
  Receive(big);
  EXPECT_LE(Text().size(), 100);
  EXPECT_TRUE(big.ends_with(area_->MemoBytes())) << Text().toStdString();
  EXPECT_FALSE(area_->MemoBytes().empty());
}

TEST_F(ReceiveAreaTest, AFloodReplacesTheMemoWithItsNewestPart) {
  Receive("old\r\n");
  std::string flood;
  for (int i = 0; flood.size() < 2 * ReceiveArea::kFloodBytes; ++i) {
    std::string chunk;
    while (chunk.size() < 50000) chunk += "line " + std::to_string(i) + "." + std::to_string(chunk.size()) + "\r\n";
    area_->InsertChunk(Bytes(chunk));
    flood += chunk;
  }
  area_->FlushPendingChunks();
  EXPECT_FALSE(Text().startsWith("old"));
  EXPECT_LE(Text().size(), ReceiveArea::kFloodBytes);
  EXPECT_GT(Text().size(), ReceiveArea::kFloodBytes * 9 / 10) << "its newest part, not a small remainder";
  EXPECT_TRUE(flood.ends_with(area_->MemoBytes()));
  EXPECT_EQ(memo_->textCursor().position(), Text().size());
}

TEST_F(ReceiveAreaTest, WithTheCaretAtTheTopNewDataStaysAndOlderTextBelowGoes) {
  area_->setCaps(100, 100);
  Receive(std::string(90, 'o'));
  SetCaret(0);
  Receive("NEW1");
  Receive(std::string(20, 'n'));
  EXPECT_LE(Text().size(), 100);
  EXPECT_TRUE(Text().startsWith("NEW1" + QString(20, 'n'))) << Text().toStdString();
  EXPECT_EQ(memo_->textCursor().position(), 24);

  // With the caret in the middle, the text above it is the oldest, then the text below it.
  window_->Button9->click();
  Receive(std::string(60, 'a') + std::string(40, 'b'));
  SetCaret(60);
  Receive("NEW");
  EXPECT_EQ(Text(), QString(57, 'a') + "NEW" + QString(40, 'b'));
  Receive(std::string(60, 'n'));
  EXPECT_EQ(Text(), "NEW" + QString(60, 'n') + QString(37, 'b'));

  // The same when the line at the caret is over its cap.
  window_->Button9->click();
  area_->setCaps(1000, 50);
  Receive(std::string(45, 'o'));
  SetCaret(0);
  Receive("NEW2");
  Receive("NEW3");
  EXPECT_EQ(Text(), "NEW2NEW3" + QString(42, 'o'));
}

TEST_F(ReceiveAreaTest, ALongStreamKeepsMemoryBounded) {
  // 8 MB of 80-byte lines through the default cap, in the receive thread's largest chunks.
  std::string chunk;
  while (chunk.size() < 50000) chunk += std::string(78, 'x') + "\r\n";
  for (int i = 0; i < 160; ++i) {
    chunk[1] = static_cast<char>('A' + i % 26);
    Receive(chunk);
  }
  EXPECT_LE(Text().size(), area_->maxMemoChars());
  EXPECT_GT(Text().size(), area_->maxMemoChars() - 100);
  EXPECT_TRUE(Text().endsWith(QString::fromLatin1(chunk.data(), static_cast<qsizetype>(chunk.size())).replace("\r\n", "\n")));

  // Without line breaks the line cap holds the memo smaller still.
  std::string endless(50000, 'y');
  for (int i = 0; i < 40; ++i) {
    endless[0] = static_cast<char>('A' + i % 26);
    Receive(endless);
  }
  EXPECT_EQ(memo_->document()->blockCount(), 1);
  EXPECT_LE(Text().size(), area_->maxLineChars());
  EXPECT_GT(Text().size(), area_->maxLineChars() - 10);
}

TEST_F(ReceiveAreaTest, SavingWritesTheExactBytesInEitherForm) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  all += "<\\x41>\x07";
  for (bool hex : {false, true}) {
    SCOPED_TRACE(hex ? "hex form" : "text form");
    window_->Button9->click();
    window_->Cb_ShowHex1->setChecked(hex);
    // The escape spelling is split between two chunks: "<\\x" ends the second.
    Receive(all.substr(0, 100));
    Receive(all.substr(100, 159));
    Receive(all.substr(259));
    const fs::path file = dir_ / (hex ? "hex.bin" : "text.bin");
    SaveAs(file, 2);
    EXPECT_EQ(test::ReadFileBytes(file), all);
  }
}

TEST_F(ReceiveAreaTest, TheTextFilterLowerCasesTheNameAndAddsTxt) {
  fs::create_directories(dir_ / "Out");
  Receive("\x07");
  struct Row {
    const char* chosen;
    int filterIndex;
    const char* written;
  };
  const Row rows[] = {
      {"Out/Data.TXT", 1, "Out/data.txt"},
      {"Out/Report", 1, "Out/report.txt"},
      {"Out/Log.Bin", 1, "Out/log.bin.txt"},
      {"Out/Log.Bin", 2, "Out/Log.Bin"},
  };
  for (const Row& row : rows) {
    SaveAs(dir_ / row.chosen, row.filterIndex);
    EXPECT_EQ(test::ReadFileBytes(dir_ / row.written), "\x07") << row.chosen;
    EXPECT_TRUE(area_->receiveFileName().isEmpty()) << "every save asks for a name";
  }
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_ / "Out")) ++files;
  EXPECT_EQ(files, 4u) << "the folder keeps its case; nothing else was written";
}

TEST_F(ReceiveAreaTest, CancelWritesNothingAndAnUnwritableFileIsReported) {
  Receive("data");
  test::MessageRecorder messages;
  auto entries = [this] {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(dir_.path())) ++count;
    return count;
  };
  const std::size_t before = entries();
  SetFileChooser([](const TFileDialog&, QWidget*) { return FileChoice{QString(), 1}; });
  window_->B_ReceiveSave->click();
  EXPECT_TRUE(messages.shown().empty());
  EXPECT_EQ(entries(), before);

  const fs::path missing = dir_ / "no-such-folder" / "out.bin";
  SaveAs(missing, 2);
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_EQ(messages.shown()[0].icon, MsgIcon::Error);
  EXPECT_NE(messages.shown()[0].text.find(missing.string()), std::string::npos) << messages.shown()[0].text;
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(ReceiveAreaTest, CtrlASelectsAllOfTheReadOnlyMemo) {
  window_->show();
  Receive("first line\r\nsecond line");
  SetCaret(3);
  memo_->setFocus();
  QTest::keyClick(memo_, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(memo_->textCursor().selectionStart(), 0);
  EXPECT_EQ(memo_->textCursor().selectionEnd(), Text().size());
  EXPECT_TRUE(memo_->isReadOnly());
}

TEST(SafeCutPosition, NeverSplitsAPairAnEscapeOrASurrogate) {
  struct Row {
    const char16_t* text;
    bool hex;
    qsizetype excess, cut;
  };
  const Row rows[] = {
      {u"41 42 \u202943 ", true, 0, 0},  {u"41 42 \u202943 ", true, 1, 3},  {u"41 42 \u202943 ", true, 3, 3},
      {u"41 42 \u202943 ", true, 8, 10},
      {u"41 42 \u202943 ", true, 6, 6},  {u"41 42 \n43 ", true, 5, 6},      {u"41 42 ", true, 9, 6},
      {u"ab<\\x07>cd", false, 2, 2},     {u"ab<\\x07>cd", false, 3, 8},     {u"ab<\\x07>cd", false, 7, 8},
      {u"ab<\\x07>cd", false, 8, 8},     {u"<\\x3C>\\x41>", false, 6, 6},   {u"a\U0001F600b", false, 2, 3},
      {u"a\U0001F600b", false, 1, 1},
  };
  for (const Row& row : rows) {
    const QString text = QString::fromUtf16(row.text);
    EXPECT_EQ(SafeCutPosition(text, row.excess, row.hex), row.cut) << text.toStdString() << " at " << row.excess;
  }
}

}  // namespace
}  // namespace tw
