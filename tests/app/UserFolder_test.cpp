// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up check of an installed program's settings folder: a folder that cannot be made is told
// in a warning with the folder's path, and start-up goes on.
#include "app/UserFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "core/AppPaths.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

TEST(UserFolder, FolderThatCannotBeMadeIsToldInAWarning) {
  test::TempDir root;
  root.Write("usr/share/tagwright/SysOption.ini", "");
  root.Write("config", "a file where the folder should be");
  const std::filesystem::path savedProgramDir = ProgramDir();
  std::filesystem::create_directories(root / "usr/bin");
  SetProgramDir(root / "usr/bin");
  const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = savedConfig ? savedConfig : "";
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);

  test::MessageRecorder recorder;
  ReportUserFolderProblem();
  const auto shown = recorder.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].icon, MsgIcon::Warning);
  EXPECT_NE(shown[0].text.find((root / "config/tagwright/lib").string()), std::string::npos) << shown[0].text;

  // A folder that can be made: nothing is said.
  ::setenv("XDG_CONFIG_HOME", (root / "home").c_str(), 1);
  ReportUserFolderProblem();
  EXPECT_EQ(recorder.shown().size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(root / "home/tagwright/lib/SysOption.ini"));

  savedConfig ? ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  SetProgramDir(savedProgramDir);
}

}  // namespace
}  // namespace tw
