// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/Language.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <string>
#include <utility>
#include <vector>

#include "core/AppPaths.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

// Restores the language and the program folder that a test changes.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLanguage_ = CurrentLanguage();
    savedProgramDir_ = ProgramDir();
    SetProgramDir(dir_.path());
  }
  void TearDown() override {
    SetCurrentLanguage(savedLanguage_);
    SetProgramDir(savedProgramDir_);
  }
  test::TempDir dir_;

 private:
  int savedLanguage_ = kLanguageEnglish;
  std::filesystem::path savedProgramDir_;
};

TEST(LanguageChoice, LangIdSelectsLanguage) {
  struct Case {
    int langId;
    int language;
  };
  const Case cases[] = {
      {2052, kLanguageSimplified}, {1028, kLanguageTraditional}, {3076, kLanguageTraditional},
      {4100, kLanguageTraditional}, {1033, kLanguageEnglish},     {2057, kLanguageEnglish},
      {5124, kLanguageEnglish},     {0, kLanguageEnglish},        {-1, kLanguageEnglish},
  };
  for (const Case& c : cases) EXPECT_EQ(LanguageForLangId(c.langId), c.language) << c.langId;
}

TEST(LanguageChoice, LocaleGivesWindowsLangId) {
  struct Case {
    const char* locale;
    int langId;
  };
  const Case cases[] = {
      {"zh_CN", 2052}, {"zh_TW", 1028}, {"zh_HK", 3076}, {"zh_SG", 4100},
      // Other Chinese locales follow their script.
      {"zh_MO", 1028}, {"zh", 2052}, {"zh_Hant_US", 1028}, {"zh_Hans_US", 2052},
      {"en_US", 1033}, {"en_GB", 1033}, {"de_DE", 1033}, {"ja_JP", 1033}, {"C", 1033},
  };
  for (const Case& c : cases) EXPECT_EQ(LangIdForLocale(QLocale(QString::fromLatin1(c.locale))), c.langId) << c.locale;
}

TEST_F(LanguageTest, CurrentLanguageSelectsItsFile) {
  const auto folder = dir_.path() / "Language";
  const struct {
    int index;
    const char* file;
  } files[] = {{kLanguageSimplified, "Simple.lan"}, {kLanguageTraditional, "Traditional.lan"},
               {kLanguageEnglish, "English.lan"}};
  for (const auto& f : files) {
    EXPECT_EQ(LanguageFilePath(f.index), folder / f.file);
    SetCurrentLanguage(f.index);
    EXPECT_EQ(CurrentLanguage(), f.index);
    EXPECT_EQ(CurrentLanguageFile(), folder / f.file);
  }
}

TEST_F(LanguageTest, IndexOutsideTheLanguagesMeansEnglish) {
  SetCurrentLanguage(kLanguageTraditional);
  SetCurrentLanguage(3);
  EXPECT_EQ(CurrentLanguage(), kLanguageEnglish);
  SetCurrentLanguage(kLanguageSimplified);
  SetCurrentLanguage(-1);
  EXPECT_EQ(CurrentLanguage(), kLanguageEnglish);
  EXPECT_EQ(LanguageFilePath(99), dir_.path() / "Language" / "English.lan");
}

TEST_F(LanguageTest, Utf8FileIsReadAsIs) {
  const auto path = dir_.Write("Language/Simple.lan", "[MainForm]\nMainForm.Caption=标签打印机\nN12.Caption = 文件(&F) \n");
  const IniDocument file = LoadLanguageFile(path);
  EXPECT_EQ(LanguageText(file, "MainForm", "MainForm.Caption"), QString::fromUtf8("标签打印机"));
  EXPECT_EQ(LanguageText(file, "mainform", "n12.caption"), QString::fromUtf8("文件(&F)"));
}

TEST_F(LanguageTest, Utf8FileWithByteOrderMark) {
  const auto path = dir_.Write("Language/English.lan", "\xEF\xBB\xBF[MainForm]\r\nMainForm.Caption=Label printer\r\n");
  EXPECT_EQ(LanguageText(LoadLanguageFile(path), "MainForm", "MainForm.Caption"), QString("Label printer"));
}

TEST_F(LanguageTest, Gb18030FileIsConverted) {
  // "中文" and "繁體" in GB18030; the second byte of "體" is the ASCII letter 'w'. "\x81\x30\x81\x30" is
  // a four-byte GB18030 character (U+0080) that the older two-byte code page lacks.
  const std::string bytes =
      "[MainForm]\r\n"
      "MainForm.Caption=\xD6\xD0\xCE\xC4\r\n"
      "\xB7\xB1\xF3\x77.Caption=\xB7\xB1\xF3\x77 \x81\x30\x81\x30\r\n";
  const auto path = dir_.Write("Language/Traditional.lan", bytes);
  const IniDocument file = LoadLanguageFile(path);
  EXPECT_EQ(LanguageText(file, "MainForm", "MainForm.Caption"), QString::fromUtf8("中文"));
  EXPECT_EQ(LanguageText(file, "MainForm", "繁體.CAPTION"), QString::fromUtf8("繁體 \u0080"));

  // "摹" (C4 A1) is also a UTF-8 pair; the file is cut in the middle of the character after it.
  const auto cut = dir_.Write("Language/Simple.lan", "[MainForm]\r\nMainForm.Caption=\xC4\xA1\xD6");
  EXPECT_TRUE(LanguageText(LoadLanguageFile(cut), "MainForm", "MainForm.Caption").startsWith(QString::fromUtf8("摹")));
}

TEST_F(LanguageTest, MissingFileOrKeyGivesFallback) {
  const IniDocument missing = LoadLanguageFile(dir_.path() / "Language" / "Simple.lan");
  EXPECT_EQ(LanguageText(missing, "MainForm", "MainForm.Caption", "designed"), QString("designed"));
  EXPECT_TRUE(LanguageText(missing, "MainForm", "MainForm.Caption").isNull());

  const auto path = dir_.Write("Language/English.lan", "[MainForm]\nMainForm.Caption=Printer\n");
  const IniDocument file = LoadLanguageFile(path);
  EXPECT_EQ(LanguageText(file, "MainForm", "MainForm.Hint", "designed"), QString("designed"));
  EXPECT_EQ(LanguageText(file, "SetPort", "MainForm.Caption", "designed"), QString("designed"));
}

TEST_F(LanguageTest, FolderInPlaceOfFileReadsAsMissing) {
  std::filesystem::create_directories(dir_.path() / "Language" / "English.lan");
  EXPECT_EQ(LanguageText(LoadLanguageFile(LanguageFilePath(kLanguageEnglish)), "MainForm", "MainForm.Caption", "x"),
            QString("x"));
}

TEST_F(LanguageTest, DeliveredFilesGiveMnemonicsAndSayWhatTheUserSees) {
  InitProgramDirFromExecutable();  // the Language folder copied beside the programs
  // Menu items and dialog buttons, by window: each caption has its Alt key in every language.
  const std::pair<const char*, std::vector<const char*>> captions[] = {
      {"MainForm", {"m_open", "m_save", "m_saveAs", "m_exit", "m_portSet", "N15", "m_downFile", "m_printmemory",
                    "m_printcheck", "m_version", "m_resert", "N16", "m_deviceSet", "m_help", "N10", "m_about",
                    "btnBackPage", "btnNextPage", "btnSend", "Button9", "B_ReceiveSave"}},
      {"SetPort", {"RbCom", "rbLpt", "RbUSB", "rbNet", "CbConnect", "BitBtn2"}},
      {"DownDialog", {"BtDownLoad", "BtClose"}},
      {"SetPrinter", {"HelpBtn", "CancelBtn", "GetPrinterSettinglBtn", "BackBtn", "NextBtn", "FinishBtn"}},
      {"SetPrinterEPL", {"HelpBtn", "CancelBtn", "GetPrinterSettinglBtn", "BackBtn", "NextBtn", "FinishBtn"}},
      {"FormEepromNormalUser", {"btnReadPrint", "btnSetPrint", "btnReadFile", "btnWrintFile"}},
      {"FormPasswordSet", {"btnok", "btncancel"}},
  };
  for (int language : {kLanguageSimplified, kLanguageTraditional, kLanguageEnglish}) {
    const IniDocument file = LoadLanguageFile(LanguageFilePath(language));
    for (const auto& [section, names] : captions) {
      for (const char* name : names) {
        EXPECT_TRUE(LanguageText(file, section, std::string(name) + ".Caption").contains(u'&'))
            << section << "/" << name << " in language " << language;
      }
    }
  }
  const IniDocument english = LoadLanguageFile(LanguageFilePath(kLanguageEnglish));
  const struct {
    const char *section, *key, *text;
  } texts[] = {
      {"Tips", "Page2", " of 20"},  // after "Page " and the number
      {"DownDialog", "Label1.Caption", "File:"},
      {"SetPrinter", "FirmwareVersionShowLabel.Caption", "Not read yet"},
      {"Tips", "UpdateFinishCaption", "Write to Printer"},
  };
  for (const auto& row : texts) EXPECT_EQ(LanguageText(english, row.section, row.key), row.text) << row.key;
  EXPECT_TRUE(LanguageText(english, "Tips", "MiMaCuoWu").contains("case-sensitive"));
}

}  // namespace
}  // namespace tw
