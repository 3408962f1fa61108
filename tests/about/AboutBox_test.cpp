// SPDX-License-Identifier: GPL-3.0-or-later
// The about box: the product name, the version of this build (as the project declares it), the
// picture, relabelling from each shipped language file, and closing with OK.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "about/AboutBox.h"
#include "core/AppPaths.h"
#include "lang/Language.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

// The version the top-level CMakeLists.txt declares in project(... VERSION x.y.z ...), read from the
// source tree this test was compiled from.
std::string DeclaredProjectVersion() {
  const auto top = std::filesystem::path(TW_SOURCE_DIR) / "CMakeLists.txt";
  std::ifstream file(top);
  std::stringstream text;
  text << file.rdbuf();
  std::smatch match;
  const std::string content = text.str();
  if (!std::regex_search(content, match, std::regex(R"(project\s*\(\s*Tagwright\s+VERSION\s+([0-9.]+))"))) return {};
  return match[1];
}

class AboutBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { InitProgramDirFromExecutable(); }  // the shipped Language folder
  void TearDown() override { SetCurrentLanguage(kLanguageEnglish); }
};

TEST_F(AboutBoxTest, ShowsTheProductAndTheVersionOfThisBuild) {
  const std::string declared = DeclaredProjectVersion();
  ASSERT_FALSE(declared.empty()) << "no project version found in " << TW_SOURCE_DIR;
  EXPECT_EQ(BuildVersion().toStdString(), declared);

  SetCurrentLanguage(kLanguageEnglish);
  TAboutBox box;
  box.show();
  EXPECT_EQ(box.ProductName->text(), "Tagwright");
  EXPECT_EQ(box.Version->text().toStdString(), "Version " + declared);
  EXPECT_TRUE(box.Copyright->text().contains("Copyright"));
  EXPECT_TRUE(box.Copyright->text().contains("Tagwright"));
}

TEST_F(AboutBoxTest, PictureIsDecodedFromTheResources) {
  TAboutBox box;
  const QPixmap picture = box.ProgramIcon->pixmap();
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.size(), QSize(112, 112));
  box.show();  // relabelling leaves the picture alone
  EXPECT_FALSE(box.ProgramIcon->pixmap().isNull());
}

TEST_F(AboutBoxTest, EveryLanguageRelabelsTheBoxAndKeepsTheVersion) {
  const std::string declared = DeclaredProjectVersion();
  for (int language : {kLanguageSimplified, kLanguageTraditional, kLanguageEnglish}) {
    SetCurrentLanguage(language);
    const IniDocument file = LoadLanguageFile(CurrentLanguageFile());
    TAboutBox box;
    box.show();
    for (const char* key : {"AboutBox.Caption", "Version.Caption", "Comments.Caption", "Copyright.Caption",
                            "License.Caption",
                            "OKButton.Caption"}) {
      EXPECT_TRUE(file.Find("AboutBox", key).has_value()) << key << " missing in language " << language;
    }
    EXPECT_EQ(box.windowTitle(), LanguageText(file, "AboutBox", "AboutBox.Caption")) << language;
    EXPECT_EQ(box.OKButton->text(), LanguageText(file, "AboutBox", "OKButton.Caption")) << language;
    EXPECT_TRUE(box.Version->text().endsWith(QString::fromStdString(declared))) << language;
    EXPECT_FALSE(box.Version->text().contains("%1")) << language;
    EXPECT_TRUE(box.License->text().contains("GPL-3.0-or-later")) << language;
  }
}

TEST_F(AboutBoxTest, VersionLineWithoutPlaceholderStillGetsTheNumber) {
  test::TempDir dir;
  dir.Write("Language/English.lan", "[AboutBox]\r\nVersion.Caption=Release\r\n");
  SetProgramDir(dir.path());
  SetCurrentLanguage(kLanguageEnglish);
  TAboutBox box;
  box.show();
  EXPECT_EQ(box.Version->text(), "Release " + BuildVersion());
  // Shown a second time, the number is not added twice.
  box.hide();
  box.show();
  EXPECT_EQ(box.Version->text(), "Release " + BuildVersion());
}

TEST_F(AboutBoxTest, OkClosesTheBox) {
  TAboutBox box;
  box.show();
  ASSERT_TRUE(box.isVisible());
  box.OKButton->click();
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace tw
