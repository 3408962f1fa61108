// SPDX-License-Identifier: GPL-3.0-or-later
// The kept send pages: every form comes back byte for byte; a damaged file gives nothing.
#include <gtest/gtest.h>

#include "desk/SendPages.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

const KeptPages kPages{2, {{KeptPage::Form::Text, std::string("A\0\xFF\r\n", 5)},
                           {KeptPage::Form::Hex, "\x01\x02"},
                           {KeptPage::Form::HexAsTyped, "41 4G"},
                           {}}};

TEST(SendPages, SavedPagesComeBackByteForByte) {
  test::TempDir dir;
  ASSERT_TRUE(SaveSendPages(dir / "sub/pages.bin", kPages));
  const LoadedPages loaded = LoadSendPages(dir / "sub/pages.bin", 20);
  EXPECT_FALSE(loaded.damaged);
  EXPECT_EQ(loaded.kept, kPages);
  using std::filesystem::perms;
  EXPECT_EQ(std::filesystem::status(dir / "sub/pages.bin").permissions() & perms::all, perms::owner_read | perms::owner_write);
  EXPECT_FALSE(LoadSendPages(dir / "none.bin", 20).damaged) << "no file is not a damaged file";
}

TEST(SendPages, ADamagedFileGivesNoPages) {
  const std::string whole = EncodeSendPages(kPages);
  test::TempDir dir;
  for (const std::string& bad : {std::string("TWPAGES"), "XWPAGES1" + whole.substr(8), whole.substr(0, whole.size() - 1),
                                 whole + "\x03", whole.substr(0, 8) + "\x09" + whole.substr(9),
                                 whole + std::string("\0\xFF\xFF\xFF\xFF", 5)}) {
    const LoadedPages loaded = LoadSendPages(dir.Write("bad.bin", bad), 20);
    EXPECT_TRUE(loaded.damaged) << bad.size();
    EXPECT_TRUE(loaded.kept.pages.empty());
    // Moved aside, replacing the one found before, so that the next save does not overwrite it.
    EXPECT_EQ(loaded.setAside, dir / "bad.bin.damaged");
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.bin"));
    EXPECT_EQ(test::ReadFileBytes(dir / "bad.bin.damaged"), bad);
  }
  EXPECT_FALSE(DecodeSendPages(whole, 3)) << "more pages than the area has";
}

}  // namespace
}  // namespace tw
