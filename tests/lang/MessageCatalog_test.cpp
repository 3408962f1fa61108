// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/MessageCatalog.h"

#include <gtest/gtest.h>

#include <QSet>
#include <atomic>
#include <thread>

#include "core/AppPaths.h"
#include "core/Messages.h"
#include "lang/Language.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

const char* const kSections[] = {"Tips", "SetPort", "DownDialog", "SetPrinter_1", "Status"};

// Writes language files into a temporary program folder and restores the process state afterwards.
class MessageCatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLanguage_ = CurrentLanguage();
    savedProgramDir_ = ProgramDir();
    SetProgramDir(dir_.path());
    SetCurrentLanguage(kLanguageEnglish);
  }
  void TearDown() override {
    SetCurrentLanguage(savedLanguage_);
    SetProgramDir(savedProgramDir_);
  }
  void WriteLanguage(const std::string& file, const std::string& text) { dir_.Write("Language/" + file, text); }

  // A file in which every catalog key of every section has the text "<prefix> <section>/<key>".
  static std::string FullFile(const std::string& prefix) {
    std::string text;
    for (const char* section : kSections) {
      text += "[" + std::string(section) + "]\r\n";
      for (const QString& key : CatalogKeys(section)) {
        text += key.toStdString() + "=" + prefix + " " + section + "/" + key.toStdString() + "\r\n";
      }
    }
    return text;
  }

  test::TempDir dir_;

 private:
  int savedLanguage_ = kLanguageEnglish;
  std::filesystem::path savedProgramDir_;
};

TEST(CatalogKeys, SectionsHoldTheKeysWindowsAskFor) {
  // Keys that other parts of the program show, by section.
  const std::pair<const char*, const char*> used[] = {
      {"Tips", "PortNotOpen"},       {"Tips", "Send"},          {"Tips", "ExitTip"},
      {"Tips", "UpdateFinish"},      {"Tips", "PortName"},      {"SetPort", "USBNotOpen"},
      {"SetPort", "PortSetStr"},     {"SetPort", "PortName"},   {"DownDialog", "DownloadFile"},
      {"DownDialog", "PortNotOpen"}, {"SetPrinter_1", "FanWei"}, {"SetPrinter_1", "GetVersionFail"},
  };
  for (const auto& [section, key] : used) EXPECT_TRUE(CatalogKeys(section).contains(key)) << section << "/" << key;
  EXPECT_FALSE(CatalogKeys("Tips").contains("USBNotOpen"));
  EXPECT_TRUE(CatalogKeys("MainForm").isEmpty());
  for (const char* section : kSections) {
    const QStringList keys = CatalogKeys(section);
    EXPECT_EQ(keys.size(), QSet<QString>(keys.begin(), keys.end()).size()) << section << " lists a key twice";
  }
}

TEST_F(MessageCatalogTest, LoadingFillsEveryKeyOfTheSection) {
  WriteLanguage("English.lan", FullFile("en"));
  for (const char* section : kSections) {
    LoadCatalogSection(section);
    for (const QString& key : CatalogKeys(section)) {
      EXPECT_EQ(Msg(section, key.toStdString()), QString("en %1/%2").arg(section, key));
    }
  }
  EXPECT_EQ(Tip("SureExit"), "en Tips/SureExit");
}

TEST_F(MessageCatalogTest, SectionsKeepTheirOwnSlots) {
  WriteLanguage("English.lan", "[Tips]\nPortName=main\nPortNotOpen=tips text\n[SetPort]\nPortName=dialog\n");
  LoadCatalogSection("Tips");
  LoadCatalogSection("SetPort");
  EXPECT_EQ(Msg("Tips", "PortName"), "main");
  EXPECT_EQ(Msg("SetPort", "PortName"), "dialog");
  EXPECT_EQ(Msg("Tips", "PortNotOpen"), "tips text");
}

TEST_F(MessageCatalogTest, MissingKeyOrFileGivesEmptyText) {
  WriteLanguage("English.lan", "[Tips]\nSureExit=Exit\n");
  LoadCatalogSection("Tips");
  EXPECT_EQ(Tip("SureExit"), "Exit");
  EXPECT_TRUE(Tip("ExitTip").isEmpty());

  SetCurrentLanguage(kLanguageSimplified);  // no Simple.lan in the folder
  LoadCatalogSection("Tips");
  EXPECT_TRUE(Tip("SureExit").isEmpty());
}

TEST_F(MessageCatalogTest, ReloadFollowsTheLanguage) {
  WriteLanguage("English.lan", FullFile("en"));
  // "退出" in GB18030, as an old Chinese file would hold it.
  WriteLanguage("Simple.lan", "[Tips]\r\nSureExit=\xCD\xCB\xB3\xF6\r\n[SetPort]\r\nWarning=\xCD\xCB\xB3\xF6\r\n");
  LoadCatalogSection("Tips");
  LoadCatalogSection("SetPort");
  EXPECT_EQ(Tip("SureExit"), "en Tips/SureExit");

  SetCurrentLanguage(kLanguageSimplified);
  LoadCatalogSection("Tips");
  EXPECT_EQ(Tip("SureExit"), QString::fromUtf8("退出"));
  EXPECT_TRUE(Tip("ExitTip").isEmpty());
  EXPECT_EQ(Msg("SetPort", "Warning"), "en SetPort/Warning") << "other sections wait for their next load";
}

TEST_F(MessageCatalogTest, KeysOutsideTheCatalogAreIgnored) {
  WriteLanguage("English.lan", "[Tips]\nSureExit=Exit\nExtraKey=extra\n[MainForm]\nMainForm.Caption=Main\n");
  LoadCatalogSection("Tips");
  LoadCatalogSection("MainForm");
  EXPECT_TRUE(Tip("ExtraKey").isEmpty());
  EXPECT_TRUE(Msg("MainForm", "MainForm.Caption").isEmpty());
  EXPECT_TRUE(Msg("Tips", "sureexit").isEmpty()) << "callers name keys exactly";
  EXPECT_EQ(Tip("SureExit"), "Exit");
}

TEST_F(MessageCatalogTest, FileKeysMatchInAnyLetterCase) {
  WriteLanguage("English.lan", "[TIPS]\nsureexit = Exit \n");
  LoadCatalogSection("Tips");
  EXPECT_EQ(Tip("SureExit"), "Exit");
}

TEST_F(MessageCatalogTest, CoreCatalogTextReadsTheSlots) {
  WriteLanguage("English.lan", "[SetPort]\nUSBNotOpen=USB printer not open\n");
  LoadCatalogSection("SetPort");
  EXPECT_EQ(CatalogText("SetPort", "USBNotOpen"), "USB printer not open");
  EXPECT_EQ(CatalogText("SetPort", "PortSetStr"), "") << "a missing text is empty, not the key's name";
  EXPECT_EQ(CatalogText("Tips", "NoSuchKey"), "");
  EXPECT_EQ(CatalogText("NoSuchSection", "USBNotOpen"), "");
}

TEST_F(MessageCatalogTest, ReadingWhileReloadingGivesWholeTexts) {
  WriteLanguage("English.lan", "[SetPort]\nUSBNotOpen=first text\n");
  WriteLanguage("Simple.lan", "[SetPort]\nUSBNotOpen=second text\n");
  LoadCatalogSection("SetPort");
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::thread reader([&] {
    while (!done) {
      const std::string text = CatalogText("SetPort", "USBNotOpen");
      if (text != "first text" && text != "second text") ++bad;
    }
  });
  for (int i = 0; i < 200; ++i) {
    SetCurrentLanguage(i % 2 ? kLanguageEnglish : kLanguageSimplified);
    LoadCatalogSection("SetPort");
  }
  done = true;
  reader.join();
  EXPECT_EQ(bad, 0);
}

}  // namespace
}  // namespace tw
