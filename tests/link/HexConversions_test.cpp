// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/HexConversions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

using namespace std::string_literals;

// Shows bytes readably in failure messages.
std::string Printable(const std::string& bytes) {
  std::string out;
  for (const unsigned char b : bytes) {
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "{%02X}", b);
      out += hex;
    }
  }
  return out;
}

std::string Bytes(std::initializer_list<unsigned char> values) {
  return std::string(values.begin(), values.end());
}

// Random byte strings for the round trips. Half of the bytes come from the characters that make up
// escapes, line breaks and double-byte characters, so that those meet each other often.
class RandomBytes {
 public:
  explicit RandomBytes(unsigned seed) : engine_(seed) {}

  std::string Next(std::size_t maxLength = 300) {
    static const std::string kInteresting = "<\\xX0aF9>\r\n\x80\x81\xB0\xA1\xFE\xFF"s + '\0';
    std::string bytes(std::uniform_int_distribution<std::size_t>(0, maxLength)(engine_), '\0');
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<std::size_t> pick(0, kInteresting.size() - 1);
    for (char& b : bytes) b = Coin() ? kInteresting[pick(engine_)] : static_cast<char>(anyByte(engine_));
    // Now and then a whole escape, as typed or as received from a printer.
    if (!bytes.empty() && Coin()) {
      const std::size_t at = std::uniform_int_distribution<std::size_t>(0, bytes.size())(engine_);
      bytes.insert(at, Coin() ? "<\\x41>" : "<\\xb0>");
    }
    return bytes;
  }

  // The same, with every escape broken up, so that the hex view shows each byte as it is.
  std::string NextWithoutEscapes() {
    std::string bytes = Next();
    for (char& b : bytes)
      if (b == '>') b = ')';
    return bytes;
  }

 private:
  bool Coin() { return std::uniform_int_distribution<int>(0, 1)(engine_) == 1; }
  std::mt19937 engine_;
};

constexpr int kRandomRounds = 3000;

struct ConversionCase {
  std::string input;
  std::string expected;
};

void ExpectConversions(std::string (*convert)(std::string_view), const std::vector<ConversionCase>& cases) {
  for (const ConversionCase& c : cases)
    EXPECT_EQ(Printable(convert(c.input)), Printable(c.expected)) << "input: " << Printable(c.input);
}

// ---- DecodeEscapes ----

TEST(DecodeEscapes, ReplacesCompleteEscapesInEitherCase) {
  ExpectConversions(DecodeEscapes, {
      {"A<\\x0D><\\x0a>B", "A\r\nB"},
      {"<\\X41>", "A"},
      {"<\\xfF>", Bytes({0xFF})},
      {"<\\x00>", "\0"s},
      {"<\\x41><\\x42>", "AB"},
      {"<<\\x41>", "<A"},
      {"<\\x3C>\\x41>", "<\\x41>"},
  });
}

TEST(DecodeEscapes, LeavesIncompleteOrMalformedEscapesAsTheyAre) {
  ExpectConversions(DecodeEscapes, {
      {"A<\\x0D", "A<\\x0D"},  // cut short at the end: five of six characters
      {"<\\x4", "<\\x4"},
      {"<", "<"},
      {"<\\xG1>", "<\\xG1>"},
      {"<\\x411>", "<\\x411>"},
      {"<\\y41>", "<\\y41>"},
      {"<x41>", "<x41>"},
      {"", ""},
  });
}

TEST(DecodeEscapes, CopiesZeroAndHighBytesUnchanged) {
  const std::string bytes = Bytes({0x00, 0x80, 0xB0, 0xA1, 0xFF, 0x0D, 0x0A, 0x00});
  EXPECT_EQ(DecodeEscapes(bytes), bytes);
}

// ---- BytesToEscapedText ----

TEST(BytesToEscapedText, CopiesShowableBytesAndEscapesTheRest) {
  ExpectConversions(BytesToEscapedText, {
      {Bytes({0x41, 0x0D, 0x0A, 0x07, 0xB0, 0xA1, 0xFF}), "A\r\n<\\x07>" + Bytes({0xB0, 0xA1}) + "<\\xFF>"},
      {Bytes({0x20, 0x7E, 0x7F, 0x80}), Bytes({0x20, 0x7E, 0x7F, 0x80})},
      {Bytes({0x1F, 0x00}), "<\\x1F><\\x00>"},
      {"\r", "<\\x0D>"},
      {"\n", "<\\x0A>"},
      {"\rA", "<\\x0D>A"},
      {"\n\r", "<\\x0A><\\x0D>"},
      {"\r\r\n", "<\\x0D>\r\n"},
      {"", ""},
  });
}

TEST(BytesToEscapedText, PairsHighBytesOnlyWhereTheMemoCanShowThem) {
  ExpectConversions(BytesToEscapedText, {
      {Bytes({0x81, 0xFE}), Bytes({0x81, 0xFE})},
      {Bytes({0xB0, 0xA1, 0xC2}), Bytes({0xB0, 0xA1}) + "<\\xC2>"},  // a lone byte after a pair
      {Bytes({0xB0}), "<\\xB0>"},
      {Bytes({0xB0, 0x41}), "<\\xB0>A"},
      {Bytes({0xB0, 0x80}), "<\\xB0>" + Bytes({0x80})},
      // 0xFF is no half of a double-byte character: such a pair would not come back from the memo.
      {Bytes({0xB0, 0xFF}), "<\\xB0><\\xFF>"},
      {Bytes({0xFF, 0xB0, 0xA1}), "<\\xFF>" + Bytes({0xB0, 0xA1})},
  });
}

TEST(BytesToEscapedText, WritesTheLessThanSignOfALiteralEscapeAsAnEscape) {
  ExpectConversions(BytesToEscapedText, {
      {"<\\x41>", "<\\x3C>\\x41>"},
      {"<\\Xb0>", "<\\x3C>\\Xb0>"},
      {"<<\\x41>", "<<\\x3C>\\x41>"},
      {"<\\x41", "<\\x3C>\\x41"},  // the next chunk could complete it
      {"<\\x", "<\\x3C>\\x"},
      {"a<", "a<\\x3C>"},
      {"<\\xG1>", "<\\xG1>"},
      {"<\\xG", "<\\xG"},
  });
}

TEST(BytesToEscapedText, DecodesBackToTheSameBytes) {
  RandomBytes random(20240601);
  for (int round = 0; round < kRandomRounds; ++round) {
    const std::string bytes = random.Next();
    ASSERT_EQ(Printable(DecodeEscapes(BytesToEscapedText(bytes))), Printable(bytes));
  }
}

TEST(BytesToEscapedText, EveryByteAloneComesBack) {
  for (int value = 0; value < 256; ++value) {
    const std::string byte(1, static_cast<char>(value));
    EXPECT_EQ(DecodeEscapes(BytesToEscapedText(byte)), byte) << value;
  }
}

// ---- NormalizeHexInput ----

struct NormalizeCase {
  std::string input;
  std::string expectedText;
  int expectedResult;
};

TEST(NormalizeHexInput, NormalizesGroupsAndReportsErrors) {
  const std::vector<NormalizeCase> cases = {
      {"", "", 0},
      {"   ", "", 0},
      {"1 2b", "012B", 4},
      {"41424344\r\n", "41424344\r\n", 10},
      {"ab cd ef", "ABCDEF", 6},
      {"  41   42  ", "4142", 4},
      {"4\r\n", "04\r\n", 4},
      {"\r\n\r\n", "\r\n\r\n", 4},
      {"41 \r\n42", "41\r\n42", 6},
      {"1 2b 0d0a", "", -2},
      {"123 45", "", -2},
      {"41424344", "", -2},  // the last group is ended by a blank too
      {"1G", "", -1},
      {"41 42 zz", "", -1},
      {"41\t42", "", -1},
      {"41" + Bytes({0xB0}), "", -1},
      {"41"s + '\0', "", -1},
      {"123 G", "", -2},  // the first error found counts
      {"414\r\n", "", -1},
  };
  for (const NormalizeCase& c : cases) {
    const NormalizedHex normalized = NormalizeHexInput(c.input);
    EXPECT_EQ(normalized.result, c.expectedResult) << "input: " << Printable(c.input);
    EXPECT_EQ(Printable(normalized.text), Printable(c.expectedText)) << "input: " << Printable(c.input);
  }
}

// Two odd groups before line breaks have an even total length, yet their digits would pair up
// across the line break.
TEST(NormalizeHexInput, RejectsAnOddGroupBeforeALineBreakEvenWhenTheTotalIsEven) {
  const NormalizedHex normalized = NormalizeHexInput("414\r\n414\r\n");
  EXPECT_EQ(normalized.result, -1);
  EXPECT_TRUE(normalized.text.empty());
}

// A lone CR or LF is a line break like CR LF: kept as a counted digit it would give pairs that
// are not hex.
TEST(NormalizeHexInput, TakesALoneCrOrLfAsALineBreak) {
  const std::vector<NormalizeCase> cases = {
      {"41\n42", "41\r\n42", 6},
      {"41\r42", "41\r\n42", 6},
      {"4\n", "04\r\n", 4},
      {"\r\r\n", "\r\n\r\n", 4},
      {"\n\r", "\r\n\r\n", 4},
      {"414\n", "", -1},
  };
  for (const NormalizeCase& c : cases) {
    const NormalizedHex normalized = NormalizeHexInput(c.input);
    EXPECT_EQ(normalized.result, c.expectedResult) << "input: " << Printable(c.input);
    EXPECT_EQ(Printable(normalized.text), Printable(c.expectedText)) << "input: " << Printable(c.input);
  }
}

TEST(NormalizeHexInput, HandlesTheFullMemoSize) {
  constexpr std::size_t kGroups = 262144 / 3;
  std::string typed, expected;
  for (std::size_t i = 0; i < kGroups; ++i) {
    typed += "4a ";
    expected += "4A";
  }
  const NormalizedHex normalized = NormalizeHexInput(typed);
  EXPECT_EQ(normalized.result, static_cast<int>(expected.size()));
  EXPECT_EQ(normalized.text, expected);
}

// ---- HexPairsToBytes ----

TEST(HexPairsToBytes, TurnsPairsIntoBytesAndKeepsLineBreaks) {
  ExpectConversions(HexPairsToBytes, {
      {"4142\r\n43", "AB\r\nC"},
      {"00FF80", Bytes({0x00, 0xFF, 0x80})},
      {"0D0A", "\r\n"},
      {"\r\n\r\n", "\r\n\r\n"},
      {"", ""},
  });
}

TEST(HexPairsToBytes, SkipsWhatNormalizedTextNeverHolds) {
  ExpectConversions(HexPairsToBytes, {
      {"41G242", "AB"},
      {"414", "A"},
      {"41\n\r42", "AB"},
      {"ab", Bytes({0xAB})},
  });
}

// ---- BytesToHexView ----

TEST(BytesToHexView, ShowsBytesAsPairsAndKeepsLineBreaks) {
  ExpectConversions(BytesToHexView, {
      {"\r\n", "\r\n"},
      {"A\r\nB", "41 \r\n42 "},
      {"\r", "0D "},
      {"\n\r", "0A 0D "},
      {Bytes({0x00, 0x80, 0xFF}), "00 80 FF "},
      {"", ""},
  });
}

TEST(BytesToHexView, ShowsAnEscapeAsItsByte) {
  ExpectConversions(BytesToHexView, {
      {"<\\x0a>", "0A "},
      {"<\\XfF>A", "FF 41 "},
      {"<\\x0D><\\x0A>", "0D 0A "},
      {"<\\x4", "3C 5C 78 34 "},  // cut short at the end
      {"<\\x41", "3C 5C 78 34 31 "},
  });
}

TEST(BytesToHexView, ShowsEveryByteValueAsTwoUpperCaseDigits) {
  for (int value = 0; value < 256; ++value) {
    char expected[4];
    std::snprintf(expected, sizeof expected, "%02X ", value);
    EXPECT_EQ(BytesToHexView(std::string(1, static_cast<char>(value))), expected);
  }
}

// ---- BytesToSpacedHex ----

TEST(BytesToSpacedHex, ShowsEveryByteLineBreaksIncluded) {
  ExpectConversions(BytesToSpacedHex, {
      {"\r\n", "0D 0A "},
      {"<\\x41>", "3C 5C 78 34 31 3E "},
      {Bytes({0x00, 0xab, 0xFF}), "00 AB FF "},
      {"", ""},
  });
}

// ---- HexViewToEscapedText ----

TEST(HexViewToEscapedText, FollowsThePairRules) {
  ExpectConversions(HexViewToEscapedText, {
      {"41420D0A07", "AB\r\n<\\x07>"},
      {"41\r\n42", "A\r\nB"},
      {"0D", "<\\x0D>"},
      {"0D41", "<\\x0D>A"},
      {"0D\r\n", "<\\x0D>\r\n"},
      {"0A", "<\\x0A>"},
      {"001F", "<\\x00><\\x1F>"},
      {"F0", "<\\xF0>"},
      {"20737F", " s\x7F"},
      {"80", Bytes({0x80})},
      {"B0A1", Bytes({0xB0, 0xA1})},
      {"B041", "<\\xB0>A"},
      {"B080", Bytes({0xB0, 0x80})},
      {"B0A1C2A3", Bytes({0xB0, 0xA1, 0xC2, 0xA3})},
      {"B00D0A", "<\\xB0>\r\n"},
      {"B0\r\n", "<\\xB0>\r\n"},
      {"EF81", Bytes({0xEF, 0x81})},
      {"8181", Bytes({0x81, 0x81})},
      {"", ""},
  });
}

// Where the pair rules would write a byte the memo cannot show, it is written as an escape.
TEST(HexViewToEscapedText, EscapesLeadBytesTheMemoCannotShow) {
  ExpectConversions(HexViewToEscapedText, {
      {"B0", "<\\xB0>"},        // lone lead byte at the end
      {"41C2", "A<\\xC2>"},
      {"B0FF", "<\\xB0><\\xFF>"},  // 0xFF is no trail byte
  });
}

TEST(HexViewToEscapedText, WritesTheLessThanSignOfALiteralEscapeAsAnEscape) {
  ExpectConversions(HexViewToEscapedText, {
      {"3C5C7834313E", "<\\x3C>\\x41>"},
      {"3C5C5862303E", "<\\x3C>\\Xb0>"},
      {"3C5C78343141", "<\\x41A"},
      {"3C5C7834", "<\\x3C>\\x4"},  // more text could complete it
      {"3C5C783431\r\n3E", "<\\x41\r\n>"},
  });
}

TEST(HexViewToEscapedText, DecodesToTheSameBytesAsHexPairsToBytes) {
  RandomBytes random(77);
  for (int round = 0; round < kRandomRounds; ++round) {
    // Spaced hex normalizes to pairs only; the hex view of text adds line breaks in the text.
    const std::string bytes = random.Next();
    for (const std::string& hexForm : {BytesToSpacedHex(bytes), BytesToHexView(bytes)}) {
      const NormalizedHex normalized = NormalizeHexInput(hexForm);
      ASSERT_GE(normalized.result, 0) << Printable(hexForm);
      ASSERT_EQ(Printable(DecodeEscapes(HexViewToEscapedText(normalized.text))),
                Printable(HexPairsToBytes(normalized.text)))
          << Printable(normalized.text);
    }
  }
}

// ---- Round trips through the hex form ----

TEST(HexRoundTrip, HexViewOfBytesWithoutEscapesGivesBackTheBytes) {
  RandomBytes random(4242);
  for (int round = 0; round < kRandomRounds; ++round) {
    const std::string bytes = random.NextWithoutEscapes();
    const NormalizedHex normalized = NormalizeHexInput(BytesToHexView(bytes));
    ASSERT_EQ(normalized.result, static_cast<int>(normalized.text.size()));
    ASSERT_EQ(Printable(HexPairsToBytes(normalized.text)), Printable(bytes));
  }
}

TEST(HexRoundTrip, AnEscapeInTheBytesComesBackAsItsByte) {
  const std::string bytes = "A<\\x0d>B<\\x41";
  EXPECT_EQ(Printable(HexPairsToBytes(NormalizeHexInput(BytesToHexView(bytes)).text)),
            Printable("A\rB<\\x41"));
}

TEST(HexRoundTrip, HexViewOfAnyBytesGivesBackTheirEscapesDecoded) {
  RandomBytes random(31337);
  for (int round = 0; round < kRandomRounds; ++round) {
    const std::string bytes = random.Next();
    const NormalizedHex normalized = NormalizeHexInput(BytesToHexView(bytes));
    ASSERT_GE(normalized.result, 0);
    ASSERT_EQ(Printable(HexPairsToBytes(normalized.text)), Printable(DecodeEscapes(bytes)));
  }
}

TEST(HexRoundTrip, HexViewOfTheTextFormGivesBackAnyBytes) {
  RandomBytes random(99);
  for (int round = 0; round < kRandomRounds; ++round) {
    const std::string bytes = random.Next();
    const NormalizedHex normalized = NormalizeHexInput(BytesToHexView(BytesToEscapedText(bytes)));
    ASSERT_GE(normalized.result, 0);
    ASSERT_EQ(Printable(HexPairsToBytes(normalized.text)), Printable(bytes));
  }
}

TEST(HexRoundTrip, SpacedHexGivesBackAnyBytes) {
  RandomBytes random(7);
  for (int round = 0; round < kRandomRounds; ++round) {
    const std::string bytes = random.Next();
    const std::string hexForm = BytesToSpacedHex(bytes);
    ASSERT_EQ(hexForm.size(), 3 * bytes.size());
    ASSERT_EQ(Printable(HexPairsToBytes(NormalizeHexInput(hexForm).text)), Printable(bytes));
  }
}

}  // namespace
}  // namespace tw
