// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes through a memo and back: every byte string comes back exactly, in text form and in hex form,
// also through a real QPlainTextEdit; what code page 936 shows is shown as characters, the rest as
// escapes; typed text that the code page cannot encode is written in GB18030.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <random>
#include <string>
#include <vector>

#include "app/MemoText.h"
#include "link/HexConversions.h"

namespace tw {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 0x0F];
    hex += ' ';
  }
  return hex;
}

// The ways bytes reach a memo and come back, each as the send area takes them.
std::string BackFromTextMemo(const QString& memo) { return DecodeEscapes(MemoToTextForm(memo)); }

// Hex form memo -> bytes, as saving and sending take it; the marker "invalid" when it does not normalize.
std::string BackFromHexMemo(const QString& memo) {
  const NormalizedHex normalized = NormalizeHexInput(MemoToTextForm(memo));
  if (normalized.result < 0) return "invalid";
  return HexPairsToBytes(normalized.text);
}

// Hex form memo switched to text form (the check box unchecked), then taken as bytes.
std::string BackThroughSwitchToText(const QString& hexMemo) {
  const NormalizedHex normalized = NormalizeHexInput(MemoToTextForm(hexMemo));
  if (normalized.result < 0) return "invalid";
  return BackFromTextMemo(TextFormToMemo(HexViewToEscapedText(normalized.text)));
}

QString TextMemoOf(const std::string& bytes) { return TextFormToMemo(BytesToEscapedText(bytes)); }
QString HexMemoOf(const std::string& bytes) { return TextFormToMemo(BytesToHexView(BytesToEscapedText(bytes))); }

struct RoundTrip {
  const char* name;
  std::string (*back)(const std::string& bytes);
};

const RoundTrip kRoundTrips[] = {
    {"text form", [](const std::string& b) { return BackFromTextMemo(TextMemoOf(b)); }},
    {"hex form", [](const std::string& b) { return BackFromHexMemo(HexMemoOf(b)); }},
    {"opened as spaced hex", [](const std::string& b) { return BackFromHexMemo(TextFormToMemo(BytesToSpacedHex(b))); }},
    {"text to hex", [](const std::string& b) { return BackFromHexMemo(TextFormToMemo(BytesToHexView(MemoToTextForm(TextMemoOf(b))))); }},
    {"hex to text", [](const std::string& b) { return BackThroughSwitchToText(HexMemoOf(b)); }},
};

// Runs every round trip over the strings and reports the first few that do not come back.
void ExpectAllComeBack(const std::vector<std::string>& strings) {
  for (const RoundTrip& trip : kRoundTrips) {
    int failures = 0;
    for (const std::string& bytes : strings) {
      if (trip.back(bytes) == bytes) continue;
      if (++failures <= 5) ADD_FAILURE() << trip.name << " loses " << Hex(bytes);
    }
    EXPECT_EQ(failures, 0) << trip.name;
  }
}

TEST(MemoTextRoundTrip, EveryTwoByteString) {
  std::vector<std::string> strings;
  for (int value = 0; value <= 0xFFFF; ++value) strings.push_back(Bytes({value >> 8, value & 0xFF}));
  ExpectAllComeBack(strings);
}

TEST(MemoTextRoundTrip, EveryOneByteAndThreeByteStringOfTheTrickyBytes) {
  // Line ends, the escape's own characters, hex digits, the edges of the double-byte ranges.
  const int tricky[] = {0x00, 0x0A, 0x0D, 0x1F, 0x20, 0x30, 0x3C, 0x3E, 0x40, 0x41, 0x5C,
                        0x78, 0x7E, 0x7F, 0x80, 0x81, 0xA0, 0xA1, 0xAA, 0xB0, 0xFE, 0xFF};
  std::vector<std::string> strings;
  for (int a = 0; a <= 0xFF; ++a) strings.push_back(Bytes({a}));
  for (int a : tricky)
    for (int b : tricky)
      for (int c : tricky) strings.push_back(Bytes({a, b, c}));
  ExpectAllComeBack(strings);
}

TEST(MemoTextRoundTrip, DataThatSpellsAnEscapeStaysLiteral) {
  ExpectAllComeBack({"<\\x41>", "<\\X0d><\\x0A>", "A<\\x<\\x41>>", Bytes({0xB0, '<', '\\', 'x', '4', '1', '>', 0xB0})});
}

TEST(MemoTextShown, WhatTheCodePageShowsIsShownAsCharacters) {
  EXPECT_EQ(TextMemoOf(Bytes({0xB0, 0xA1})), QString::fromUtf8("啊"));
  EXPECT_EQ(TextMemoOf(Bytes({0x80})), QString::fromUtf8("€"));
  EXPECT_EQ(TextMemoOf("AB\r\nCD"), "AB\nCD");
  EXPECT_EQ(TextMemoOf(Bytes({0x81, 0x80})), "<\\x81>" + QString::fromUtf8("€"))
      << "a lead byte before 0x80 is escaped in the text form";
  // Every pair of the common Chinese block shows as one character that is not a replacement.
  int escaped = 0;
  for (int lead = 0xB0; lead <= 0xF7; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      const QString shown = TextMemoOf(Bytes({lead, trail}));
      if (shown.size() != 1 || shown[0] == QChar::ReplacementCharacter || shown[0] == u'?') ++escaped;
    }
  }
  EXPECT_EQ(escaped, 0);
}

TEST(MemoTextShown, WhatTheCodePageCannotGiveBackIsEscaped) {
  EXPECT_EQ(TextMemoOf(Bytes({0x07, 0xFF, 0x00})), "<\\x07><\\xFF><\\x00>");
  EXPECT_EQ(TextMemoOf("A\rB\nC"), "A<\\x0D>B<\\x0A>C") << "a lone CR or LF would become a line break";
  // Whatever a text form holds, what the memo cannot keep is escaped: a lead byte at the end or
  // before a byte that does not complete it, control bytes.
  EXPECT_EQ(TextFormToMemo(Bytes({0x41, 0xB0})), "A<\\xB0>");
  EXPECT_EQ(TextFormToMemo(Bytes({'A', 0x09, 0x1B, 'B'})), "A<\\x09><\\x1B>B");
  EXPECT_EQ(TextFormToMemo(Bytes({0xB0, 0x0A})), "<\\xB0><\\x0A>");
}

TEST(MemoTextTyped, CodePage936WhereItCanGb18030ElseNeverAQuestionMark) {
  struct Row {
    const char* typedUtf8;
    std::string bytes;
  };
  const Row rows[] = {
      {"A啊", Bytes({'A', 0xB0, 0xA1})},
      {"€", Bytes({0x80})},                          // code page 936, not GB18030's A2 E3
      {"😀", Bytes({0x94, 0x39, 0xFC, 0x36})},       // U+1F600
      {"𠀀", Bytes({0x95, 0x32, 0x82, 0x36})},       // U+20000, CJK extension B
      {"ḿ", Bytes({0xA8, 0xBC})},                    // U+1E3F, in GB18030's two-byte area
      {"x😀😀y", Bytes({'x', 0x94, 0x39, 0xFC, 0x36, 0x94, 0x39, 0xFC, 0x36, 'y'})},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Hex(MemoToTextForm(QString::fromUtf8(row.typedUtf8))), Hex(row.bytes)) << row.typedUtf8;
  }
}

TEST(MemoTextTyped, EveryLineBreakBecomesCrLf) {
  const QString typed = QString("A") + QChar(QChar::ParagraphSeparator) + "B" + QChar(QChar::LineSeparator) + "C\r\nD\rE\nF";
  EXPECT_EQ(MemoToTextForm(typed), "A\r\nB\r\nC\r\nD\r\nE\r\nF");
}

TEST(MemoTextTyped, GbkBytesOfTypedTextComeBackAsEscapesWhereTheyCannotBeShown) {
  // An emoji typed, switched to hex and back: its GB18030 bytes stay the same bytes.
  const std::string typedBytes = DecodeEscapes(MemoToTextForm(QString::fromUtf8("A😀B")));
  const QString hexMemo = TextFormToMemo(BytesToHexView(MemoToTextForm(QString::fromUtf8("A😀B"))));
  EXPECT_EQ(hexMemo, "41 94 39 FC 36 42 ");
  EXPECT_EQ(BackThroughSwitchToText(hexMemo), typedBytes);
}

// Random binary files through a real QPlainTextEdit in both forms.
class MemoTextInAnEdit : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override { edit_.setLineWrapMode(QPlainTextEdit::NoWrap); }
  QString ThroughEdit(const QString& memo) {
    edit_.setPlainText(memo);
    return edit_.toPlainText();
  }
  QPlainTextEdit edit_;
};

// Uniform random bytes, and bytes drawn mostly from the ones that make line breaks, escapes and
// double-byte characters.
std::vector<std::string> RandomFiles(std::size_t size) {
  std::mt19937 random(static_cast<unsigned>(size) * 7919u + 17u);
  std::uniform_int_distribution<int> anyByte(0, 255);
  const std::string tricky = Bytes({'\r', '\n', '<', '\\', 'x', 'X', '4', '1', 'a', '>', 0x80, 0x81, 0xB0, 0xA1, 0xFE, 0xFF, 0x00});
  std::uniform_int_distribution<std::size_t> trickyIndex(0, tricky.size() - 1);
  std::string uniform(size, '\0'), biased(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    uniform[i] = static_cast<char>(anyByte(random));
    biased[i] = anyByte(random) < 200 ? tricky[trickyIndex(random)] : static_cast<char>(anyByte(random));
  }
  return {uniform, biased};
}

TEST_P(MemoTextInAnEdit, TextForm) {
  for (const std::string& bytes : RandomFiles(GetParam())) {
    EXPECT_TRUE(BackFromTextMemo(ThroughEdit(TextMemoOf(bytes))) == bytes);
  }
}

TEST_P(MemoTextInAnEdit, HexForm) {
  for (const std::string& bytes : RandomFiles(GetParam())) {
    EXPECT_TRUE(BackFromHexMemo(ThroughEdit(HexMemoOf(bytes))) == bytes);
    EXPECT_TRUE(BackFromHexMemo(ThroughEdit(TextFormToMemo(BytesToSpacedHex(bytes)))) == bytes);
  }
}

TEST_P(MemoTextInAnEdit, SwitchedToHexAndBack) {
  for (const std::string& bytes : RandomFiles(GetParam())) {
    const QString hexMemo = ThroughEdit(TextFormToMemo(BytesToHexView(MemoToTextForm(ThroughEdit(TextMemoOf(bytes))))));
    const NormalizedHex normalized = NormalizeHexInput(MemoToTextForm(hexMemo));
    ASSERT_GE(normalized.result, 0);
    EXPECT_TRUE(BackFromTextMemo(ThroughEdit(TextFormToMemo(HexViewToEscapedText(normalized.text)))) == bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, MemoTextInAnEdit, ::testing::Values(1, 1024, 65536, 262144),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return std::to_string(info.param) + "Bytes";
                         });

}  // namespace
}  // namespace tw
