// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Ini.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <fstream>

#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;

std::vector<std::string> SplitKeepingEnds(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto newline = text.find('\n', start);
    const auto end = newline == std::string::npos ? text.size() : newline + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

// ---------------------------------------------------------------------------------------------
// Integers

TEST(ParseIniInteger, AcceptsDecimalAndLongEnoughHexadecimal) {
  const std::pair<std::string_view, int> cases[] = {
      {"0", 0},          {"42", 42},         {"+7", 7},           {"-12", -12},
      {"007", 7},        {"0x3", 3},         {"0X1f", 31},        {"0x7FFFFFFF", 2147483647},
      {"2147483647", 2147483647},            {"-2147483648", INT_MIN},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseIniInteger(text), std::optional<int>(expected)) << text;
  }
}

TEST(ParseIniInteger, RejectsAnythingThatIsNotAWholeNumber) {
  for (std::string_view text : {"", "fast", "12abc", "abc12", " 5", "5 ", "+", "-", "+-1", "--1", "0x", "0x-1",
                                "0x+1", "0xG", "1.5", "2147483648", "-2147483649", "0x80000000",
                                "99999999999999999999999", "\xD6\xD0"}) {
    EXPECT_EQ(ParseIniInteger(text), std::nullopt) << "'" << text << "'";
  }
}

// ---------------------------------------------------------------------------------------------
// Reading

TEST(IniRead, NamesMatchWithoutRegardToAsciiLetterCase) {
  const auto doc = IniDocument::Parse("[PortInfo]\r\nPortName=COM2\r\n");
  EXPECT_EQ(doc.Find("portinfo", "PORTNAME"), "COM2");
  EXPECT_EQ(doc.Find("PORTINFO", "portName"), "COM2");
  EXPECT_TRUE(doc.HasSection("pOrTiNfO"));
  EXPECT_FALSE(doc.HasSection("PortInf"));
  EXPECT_EQ(doc.Find("PortInfo", "PortNam"), std::nullopt);
  EXPECT_EQ(doc.Find("Port", "PortName"), std::nullopt);
}

TEST(IniRead, SecondByteOfAGb18030CharacterIsNotFolded) {
  // 0x81 0x61 and 0x81 0x41 are two different characters whose second bytes look like 'a' and 'A'.
  const auto doc = IniDocument::Parse("[T]\n\x81\x61=lower\n\x81\x41=upper\n\xD6\xD0x=folded\n");
  EXPECT_EQ(doc.Find("T", "\x81\x41"), "upper");
  EXPECT_EQ(doc.Find("T", "\x81\x61"), "lower");
  // An ASCII letter after a whole character still folds.
  EXPECT_EQ(doc.Find("t", "\xD6\xD0X"), "folded");
}

TEST(IniRead, Utf8NamesFoldTheirAsciiLetters) {
  // In UTF-8 every byte below 0x80 is a character of its own, also right after a Chinese character.
  const auto doc = IniDocument::Parse("[\xE4\xB8\xAD" "a]\n\xE4\xB8\xAD" "b=1\n");
  EXPECT_EQ(doc.Find("\xE4\xB8\xAD" "A", "\xE4\xB8\xAD" "B"), "1");
}

TEST(IniRead, SectionNameRunsToTheLastClosingBracket) {
  // 0x81 0x5D is one GB18030 character whose second byte is ']'.
  const auto doc = IniDocument::Parse("[\x81\x5D]\nk=1\n[a]b]\nk=2\n");
  EXPECT_EQ(doc.Find("\x81\x5D", "k"), "1");
  EXPECT_EQ(doc.Find("a]b", "k"), "2");
}

TEST(IniRead, BlanksAroundNamesAndValuesAreRemoved) {
  const auto doc = IniDocument::Parse("  [ Sec ]  \n \t Key \t =  some value \t \nEmpty=   \n");
  EXPECT_EQ(doc.Find("Sec", "Key"), "some value");
  EXPECT_EQ(doc.Find("Sec", "Empty"), "");
  EXPECT_EQ(doc.Keys("Sec"), (std::vector<std::string>{"Key", "Empty"}));
}

TEST(IniRead, ValueWhollyInMatchingQuotesLosesThem) {
  const auto doc = IniDocument::Parse(
      "[Q]\ndouble=\" a b \"\nsingle=' x '\nmixed=\"x'\ninner=a\"b\"\nlone=\"\nempty=\"\"\nhalf=\"abc\n"
      "blanks=  \"q\"  \n");
  EXPECT_EQ(doc.Find("Q", "double"), " a b ");
  EXPECT_EQ(doc.Find("Q", "single"), " x ");
  EXPECT_EQ(doc.Find("Q", "mixed"), "\"x'");
  EXPECT_EQ(doc.Find("Q", "inner"), "a\"b\"");
  EXPECT_EQ(doc.Find("Q", "lone"), "\"");
  EXPECT_EQ(doc.Find("Q", "empty"), "");
  EXPECT_EQ(doc.Find("Q", "half"), "\"abc");
  EXPECT_EQ(doc.Find("Q", "blanks"), "q");
}

TEST(IniRead, AtMost2047CharactersOfAValueAreRead) {
  const std::string exact(kIniValueLimit, 'v');
  const std::string longer(3000, 'w');
  const auto doc = IniDocument::Parse("[L]\nexact=" + exact + "\nlonger=" + longer + "\nquoted=\"" + longer + "\"\n");
  EXPECT_EQ(doc.Find("L", "exact"), exact);
  EXPECT_EQ(doc.Find("L", "longer"), std::string(kIniValueLimit, 'w'));
  EXPECT_EQ(doc.Find("L", "quoted"), std::string(kIniValueLimit, 'w'));
}

TEST(IniRead, LongValueIsNotCutInsideAChineseCharacter) {
  const std::string prefix(kIniValueLimit - 1, 'a');
  const std::string utf8 = "\xE4\xB8\xAD";  // 3 bytes: would end 2 bytes past the limit
  const std::string gb = "\xD6\xD0";        // 2 bytes: would end 1 byte past the limit
  const auto doc = IniDocument::Parse("[L]\nutf8=" + prefix + utf8 + "\ngb=" + prefix + gb + "\n");
  EXPECT_EQ(doc.Find("L", "utf8"), prefix);
  EXPECT_EQ(doc.Find("L", "gb"), prefix);
  // A character that ends exactly at the limit is kept.
  const std::string shorter(kIniValueLimit - 2, 'a');
  EXPECT_EQ(IniDocument::Parse("[L]\ngb=" + shorter + gb + "z\n").Find("L", "gb"), shorter + gb);
}

TEST(IniRead, CommentsLinesWithoutEqualsAndKeysBeforeAnySectionAreIgnored) {
  const auto doc = IniDocument::Parse(
      "orphan=1\n[S]\n;hidden=1\n  ; indented=2\nno equals sign here\n=nameless\n[broken\nvisible=3\n");
  EXPECT_EQ(doc.Find("S", "hidden"), std::nullopt);
  EXPECT_EQ(doc.Find("S", ";hidden"), std::nullopt);
  EXPECT_EQ(doc.Find("S", "indented"), std::nullopt);
  EXPECT_EQ(doc.Find("S", "orphan"), std::nullopt);
  EXPECT_EQ(doc.Find("S", ""), std::nullopt);
  // "[broken" has no closing bracket, so it is no section header and S goes on.
  EXPECT_EQ(doc.Find("S", "visible"), "3");
  EXPECT_EQ(doc.Keys("S"), std::vector<std::string>{"visible"});
}

TEST(IniRead, FirstMatchingSectionAndKeyWin) {
  const auto doc = IniDocument::Parse("[A]\nk=first\nK=second\n[a]\nk=third\nonly=later\n");
  EXPECT_EQ(doc.Find("A", "k"), "first");
  // Only the first section of a name is read.
  EXPECT_EQ(doc.Find("A", "only"), std::nullopt);
  EXPECT_EQ(doc.Keys("a"), std::vector<std::string>{"k"});
}

TEST(IniRead, ValueKeepsEverythingAfterTheFirstEqualsSign) {
  const auto doc = IniDocument::Parse("[S]\nk = a=b ; not a comment\n");
  EXPECT_EQ(doc.Find("S", "k"), "a=b ; not a comment");
}

TEST(IniRead, CrLfLfAndByteOrderMarkReadAlike) {
  for (std::string_view text : {"[S]\r\nk=v\r\nn=0x10\r\n", "[S]\nk=v\nn=0x10", "\xEF\xBB\xBF[S]\r\nk=v\r\nn=0x10\r\n",
                                 "[S]\r\nk=v\r\r\nn=0x10\r\n"}) {
    const auto doc = IniDocument::Parse(text);
    EXPECT_EQ(doc.Find("S", "k"), "v") << text;
    EXPECT_EQ(doc.ReadInteger("S", "n", -1), 16) << text;
  }
}

TEST(IniRead, ReadIntegerFallsBackWhenMissingOrNotANumber) {
  const auto doc = IniDocument::Parse("[S]\nfast=fast\nmixed=12abc\nempty=\nquoted=\"7\"\nhex=0x3\n");
  EXPECT_EQ(doc.ReadInteger("S", "fast", 2), 2);
  EXPECT_EQ(doc.ReadInteger("S", "mixed", 2), 2);
  EXPECT_EQ(doc.ReadInteger("S", "empty", 2), 2);
  EXPECT_EQ(doc.ReadInteger("S", "missing", 2), 2);
  EXPECT_EQ(doc.ReadInteger("Missing", "hex", 2), 2);
  EXPECT_EQ(doc.ReadInteger("S", "quoted", 2), 7);
  EXPECT_EQ(doc.ReadInteger("S", "hex", 2), 3);
  EXPECT_EQ(doc.ReadString("S", "missing", "dflt"), "dflt");
  EXPECT_EQ(doc.ReadString("S", "empty", "dflt"), "");
}

TEST(IniRead, ParseThenSerializeGivesBackEveryByte) {
  for (const std::string& text :
       {std::string(), std::string("\xEF\xBB\xBF"), std::string("[a]\r\nb=c"), std::string("x\ny\r\n\r\n\n z\r"),
        std::string("\xEF\xBB\xBF[S]\nk=\xD6\xD0\n;c\n"), std::string("a\0b\n", 4)}) {
    EXPECT_EQ(IniDocument::Parse(text).Serialize(), text);
  }
}

// ---------------------------------------------------------------------------------------------
// Writing in memory

constexpr std::string_view kMessyFile =
    "; settings\r\n"
    "\r\n"
    "[PortInfo]\r\n"
    "   PortName = COM2   \r\n"
    "baudRate=3\r\n"
    "   \r\n"
    "; serial keys end here\r\n"
    "[Other]\r\n"
    "key=\xD6\xD0\xCE\xC4\r\n"
    "no equals\r\n"
    "[PortInfo]\r\n"
    "Port=1\r\n";

TEST(IniWrite, ReplacingAValueChangesOnlyItsLine) {
  auto doc = IniDocument::Parse(kMessyFile);
  doc.Write("portinfo", "PORTNAME", "NET");
  const auto before = SplitKeepingEnds(std::string(kMessyFile));
  const auto after = SplitKeepingEnds(doc.Serialize());
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    // The key keeps the spelling it has in the file.
    EXPECT_EQ(after[i], i == 3 ? "PortName=NET\r\n" : before[i]) << i;
  }
  EXPECT_EQ(doc.Find("PortInfo", "PortName"), "NET");
}

TEST(IniWrite, NewKeyGoesAfterTheLastKeyOfTheFirstSection) {
  auto doc = IniDocument::Parse(kMessyFile);
  doc.Write("PortInfo", "Port", "9100");  // only the second PortInfo section has Port
  auto expected = SplitKeepingEnds(std::string(kMessyFile));
  expected.insert(expected.begin() + 5, "Port=9100\r\n");
  EXPECT_EQ(SplitKeepingEnds(doc.Serialize()), expected);
  EXPECT_EQ(doc.Find("PortInfo", "Port"), "9100");
}

TEST(IniWrite, NewSectionIsAppendedWithTheFilesLineEnds) {
  auto lf = IniDocument::Parse("[A]\nk=1\n");
  lf.Write("B", "x", "2");
  EXPECT_EQ(lf.Serialize(), "[A]\nk=1\n\n[B]\nx=2\n");

  auto noFinalLineEnd = IniDocument::Parse("[A]\r\nk=1");
  noFinalLineEnd.Write("A", "m", "2");
  EXPECT_EQ(noFinalLineEnd.Serialize(), "[A]\r\nk=1\r\nm=2\r\n");

  auto fresh = IniDocument();
  fresh.Write("CommandInfo", "CommandInfo", "1");
  fresh.WriteInteger("PortInfo", "baudRate", -3);
  EXPECT_EQ(fresh.Serialize(), "[CommandInfo]\r\nCommandInfo=1\r\n\r\n[PortInfo]\r\nbaudRate=-3\r\n");

  auto withMark = IniDocument::Parse("\xEF\xBB\xBF[A]\nk=1\n");
  withMark.Write("A", "k", "2");
  EXPECT_EQ(withMark.Serialize(), "\xEF\xBB\xBF[A]\nk=2\n");
}

TEST(IniWrite, ValueIsStoredUnchangedUpToItsFirstLineBreak) {
  IniDocument doc;
  doc.Write("PortInfo", "USBName", "KVUSB-1\r\nKVUSB-2\r\n");
  doc.Write("S", "lf", "one\ntwo");
  doc.Write("S", "blanks", "  padded  ");
  doc.Write("S", "quoted", "\"q\"");
  doc.Write("S", "chinese", "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(doc.Find("PortInfo", "USBName"), "KVUSB-1");
  EXPECT_EQ(doc.Find("S", "lf"), "one");
  const std::string text = doc.Serialize();
  EXPECT_EQ(text.find("KVUSB-2"), std::string::npos);
  EXPECT_NE(text.find("blanks=  padded  \r\n"), std::string::npos);
  EXPECT_NE(text.find("quoted=\"q\"\r\n"), std::string::npos);
  // What the read rules take off comes off on reading, not on writing.
  EXPECT_EQ(doc.Find("S", "blanks"), "padded");
  EXPECT_EQ(doc.Find("S", "quoted"), "q");
  EXPECT_EQ(doc.Find("S", "chinese"), "\xD6\xD0\xCE\xC4");
}

TEST(IniWrite, NamesThatCannotBeReadBackAreRefused) {
  IniDocument doc;
  const std::pair<std::string_view, std::string_view> bad[] = {
      {"", "k"}, {"  ", "k"}, {"S", ""}, {"S", " \t "}, {"S", "a=b"}, {"S", ";k"}, {"S", "[k"},
      {"S", "a\nb"}, {"a\rb", "k"}, {"a\nb", "k"},
  };
  for (const auto& [section, key] : bad) {
    EXPECT_THROW(doc.Write(section, key, "v"), std::invalid_argument) << section << "/" << key;
  }
  EXPECT_EQ(doc.Serialize(), "");
  // Blanks around a name are not part of it.
  doc.Write(" S ", " k ", "v");
  EXPECT_EQ(doc.Serialize(), "[S]\r\nk=v\r\n");
}

// ---------------------------------------------------------------------------------------------
// Files

// Makes every new file in a folder fail to be written: permission bits where they apply, and where
// they do not (as root) a file size limit of zero bytes for the life of the object.
class WriteBlocker {
 public:
  explicit WriteBlocker(const fs::path& folder) : folder_(folder) {
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
    const fs::path probe = folder_ / "probe";
    if (std::ofstream(probe).good()) {  // permission bits are not enforced for this user
      fs::remove(probe);
      limitFileSize_ = true;
      oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
      getrlimit(RLIMIT_FSIZE, &oldLimit_);
      rlimit zero = oldLimit_;
      zero.rlim_cur = 0;
      setrlimit(RLIMIT_FSIZE, &zero);
    }
  }
  ~WriteBlocker() {
    if (limitFileSize_) {
      setrlimit(RLIMIT_FSIZE, &oldLimit_);
      std::signal(SIGXFSZ, oldHandler_);
    }
    fs::permissions(folder_, fs::perms::owner_all);
  }

 private:
  fs::path folder_;
  bool limitFileSize_ = false;
  rlimit oldLimit_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST(IniFile, SaveAndLoadRoundTrip) {
  TempDir dir;
  const auto path = dir / "PortInfo.ini";
  IniDocument doc;
  doc.Write("PortInfo", "PortName", "COM2");
  doc.Save(path);
  EXPECT_EQ(ReadFileBytes(path), "[PortInfo]\r\nPortName=COM2\r\n");
  EXPECT_EQ(IniDocument::Load(path).Find("PortInfo", "PortName"), "COM2");
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(IniFile, WriteKeepsEveryOtherLineOfTheFile) {
  TempDir dir;
  const auto path = dir.Write("lib/PortInfo.ini", std::string(kMessyFile));
  WriteIniString(path, "Other", "key", "changed");
  auto expected = SplitKeepingEnds(std::string(kMessyFile));
  expected[8] = "key=changed\r\n";
  EXPECT_EQ(SplitKeepingEnds(ReadFileBytes(path)), expected);
}

TEST(IniFile, ValuesAreReadFromTheFileAtEveryCall) {
  TempDir dir;
  const auto path = dir.Write("SysOption.ini", "[USBSetting]\nUSBReadTimes=7\n");
  EXPECT_EQ(ReadIniInteger(path, "USBSetting", "USBReadTimes", 50), 7);
  dir.Write("SysOption.ini", "[USBSetting]\nUSBReadTimes=9\n");
  EXPECT_EQ(ReadIniInteger(path, "USBSetting", "USBReadTimes", 50), 9);
  EXPECT_EQ(ReadIniString(path, "USBSetting", "Missing", "x"), "x");
  EXPECT_EQ(ReadIniInteger(dir / "missing.ini", "USBSetting", "USBReadTimes", 50), 50);
}

TEST(IniFile, FolderThatIsNotThereIsNotCreated) {
  TempDir dir;
  const auto path = dir / "lib" / "PortInfo.ini";
  try {
    WriteIniString(path, "PortInfo", "PortName", "COM0");
    FAIL() << "write into a missing folder succeeded";
  } catch (const IniWriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + path.string());
  }
  EXPECT_FALSE(fs::exists(dir / "lib"));
}

TEST(IniFile, PathBelowAFileCannotBeWritten) {
  TempDir dir;
  const auto blocker = dir.Write("lib", "a file, not a folder");
  const auto path = blocker / "PortInfo.ini";
  EXPECT_EQ(IniDocument::Load(path).Serialize(), "");
  EXPECT_THROW(WriteIniString(path, "S", "k", "v"), IniWriteError);
  EXPECT_EQ(ReadFileBytes(blocker), "a file, not a folder");
}

TEST(IniFile, FailedWriteLeavesTheOldFileIntact) {
  TempDir dir;
  const std::string old = "[PortInfo]\r\nPortName=LPT1\r\n; keep me\r\n";
  const auto path = dir.Write("lib/PortInfo.ini", old);
  {
    WriteBlocker blocked(dir / "lib");
    try {
      WriteIniString(path, "PortInfo", "PortName", std::string(100000, 'x'));
      FAIL() << "write into a blocked folder succeeded";
    } catch (const IniWriteError& error) {
      EXPECT_EQ(std::string(error.what()), "Unable to write to " + path.string());
    }
  }
  EXPECT_EQ(ReadFileBytes(path), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "lib"), fs::directory_iterator()), 1) << "temporary file left";
}

TEST(IniFile, ExistingFileThatCannotBeReadIsNotReplaced) {
  TempDir dir;
  const auto path = dir / "PortInfo.ini";
  fs::create_directory(path);  // something that exists but is no readable file
  EXPECT_EQ(IniDocument::Load(path).Serialize(), "");
  EXPECT_THROW(IniDocument::LoadForUpdate(path), IniWriteError);
  EXPECT_THROW(WriteIniString(path, "S", "k", "v"), IniWriteError);
  EXPECT_TRUE(fs::is_directory(path));
}

TEST(IniFile, SaveKeepsFileModeAndWritesThroughASymbolicLink) {
  TempDir dir;
  const auto real = dir.Write("real.ini", "[S]\nk=1\n");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const auto link = dir / "link.ini";
  fs::create_symlink(real, link);
  WriteIniString(link, "S", "k", "2");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real), "[S]\nk=2\n");
  EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

}  // namespace
}  // namespace tw
