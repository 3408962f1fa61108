// SPDX-License-Identifier: GPL-3.0-or-later
// Where the INI, language and help files are found: a build or portable folder with lib/ beside the
// program, and an installed tree (bin/ beside share/tagwright) whose lib/ is the user's folder.
#include "core/AppPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <latch>
#include <thread>
#include <vector>
#include <optional>

#include "support/TestSupport.h"

namespace tw {
namespace {
namespace fs = std::filesystem;

// Puts an environment variable back as it was.
class SavedEnv {
 public:
  explicit SavedEnv(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) value_ = value;
  }
  ~SavedEnv() { value_ ? ::setenv(name_, value_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> value_;
};

// An installed tree under a temporary folder and a user folder for XDG_CONFIG_HOME.
class AppPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedProgramDir_ = ProgramDir();
    root_.Write("usr/share/tagwright/SysOption.ini", "[USBSetting]\r\nUSBReadTimes=7\r\n");
    root_.Write("usr/share/tagwright/Language/English.lan", "");
    fs::create_directories(root_ / "usr/bin");
    SetProgramDir(root_ / "usr/bin");
    ::setenv("XDG_CONFIG_HOME", (root_ / "home/.config").c_str(), 1);
  }
  void TearDown() override { SetProgramDir(savedProgramDir_); }
  fs::path UserLib() const { return root_ / "home/.config/tagwright/lib"; }

  test::TempDir root_;

 private:
  SavedEnv config_{"XDG_CONFIG_HOME"}, home_{"HOME"};
  fs::path savedProgramDir_;
};

TEST_F(AppPathsTest, InstalledTreeKeepsTheIniFilesInTheUserFolderAndCopiesTheOptionsOnce) {
  const fs::path share = root_ / "usr/share/tagwright";
  EXPECT_TRUE(UsesUserFolder());
  EXPECT_EQ(DataDir(), share);
  EXPECT_EQ(LibDir(), UserLib());
  EXPECT_EQ(PortInfoPath(), UserLib() / "PortInfo.ini");
  // Before the first use the delivered options are read.
  EXPECT_EQ(SysOptionPath(), share / "SysOption.ini");

  EXPECT_EQ(PrepareUserFolder(), "");
  EXPECT_EQ(SysOptionPath(), UserLib() / "SysOption.ini");
  EXPECT_EQ(test::ReadFileBytes(SysOptionPath()), "[USBSetting]\r\nUSBReadTimes=7\r\n");
  // The user's edits survive the next start.
  root_.Write("home/.config/tagwright/lib/SysOption.ini", "[PortMap]\r\nCOM1=/dev/ttyUSB0\r\n");
  EXPECT_EQ(PrepareUserFolder(), "");
  EXPECT_EQ(test::ReadFileBytes(SysOptionPath()), "[PortMap]\r\nCOM1=/dev/ttyUSB0\r\n");

  // A relative XDG_CONFIG_HOME is ignored in favour of ~/.config.
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
  ::setenv("HOME", (root_ / "other-home").c_str(), 1);
  EXPECT_EQ(UserLibDir(), root_ / "other-home/.config/tagwright/lib");
}

// Programs starting together each make the first copy: every one of them succeeds, and the copy is
// whole, with no temporary file left beside it.
TEST_F(AppPathsTest, ProgramsStartingTogetherAllFindTheOptionsCopied) {
  const std::string options = "[USBSetting]\r\n" + std::string(1 << 20, ';') + "\r\n";
  root_.Write("usr/share/tagwright/SysOption.ini", options);
  for (int round = 0; round < 10; ++round) {
    fs::remove_all(UserLib());
    std::latch start(4);
    std::vector<std::string> problems(4);
    std::vector<std::thread> programs;
    for (auto& problem : problems) {
      programs.emplace_back([&start, &problem] {
        start.arrive_and_wait();
        problem = PrepareUserFolder();
      });
    }
    for (auto& program : programs) program.join();
    for (const auto& problem : problems) EXPECT_EQ(problem, "") << "round " << round;
    EXPECT_TRUE(test::ReadFileBytes(UserLib() / "SysOption.ini") == options) << "round " << round;
    EXPECT_EQ(std::distance(fs::directory_iterator(UserLib()), fs::directory_iterator()), 1) << "round " << round;
  }
}

TEST_F(AppPathsTest, WritableLibBesideTheProgramKeepsThePortableRule) {
  root_.Write("usr/bin/lib/SysOption.ini", "");
  root_.Write("usr/bin/Language/English.lan", "");
  EXPECT_FALSE(UsesUserFolder());
  EXPECT_EQ(DataDir(), root_ / "usr/bin");
  EXPECT_EQ(PortInfoPath(), root_ / "usr/bin/lib/PortInfo.ini");
  EXPECT_EQ(SysOptionPath(), root_ / "usr/bin/lib/SysOption.ini");
  EXPECT_EQ(PrepareUserFolder(), "");
  EXPECT_FALSE(fs::exists(root_ / "home"));

  // A folder with neither lib/ nor an installed tree beside it keeps the rule too (the write of
  // PortInfo.ini then fails with its own message).
  SetProgramDir(root_ / "elsewhere");
  EXPECT_FALSE(UsesUserFolder());
  EXPECT_EQ(PortInfoPath(), root_ / "elsewhere/lib/PortInfo.ini");
}

TEST_F(AppPathsTest, UserFolderThatCannotBeMadeIsReportedAndTheDeliveredOptionsApply) {
  // A file where the configuration folder should be: no folder can be made under it, even by root.
  root_.Write("home/.config", "not a folder");
  const std::string problem = PrepareUserFolder();
  EXPECT_NE(problem.find(UserLib().string()), std::string::npos) << problem;
  EXPECT_EQ(SysOptionPath(), root_ / "usr/share/tagwright/SysOption.ini");
}

}  // namespace
}  // namespace tw
