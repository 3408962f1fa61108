// SPDX-License-Identifier: GPL-3.0-or-later
// The download plan without widgets or devices: how files of each size range are cut into pieces,
// the progress bar's values and pauses on the way, and which file names make the printer restart.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "download/DownloadPlan.h"

namespace tw {
namespace {

// The plan walked from the first piece to the last, as the transfer walks it.
struct Walk {
  std::vector<uint32_t> lengths;        // every piece, the last included
  std::vector<int> bar;                 // every value shown, in order
  std::vector<int> barAfterPiece;       // the bar once each piece has been sent
  std::vector<const PaceStep*> pauses;  // every pause, in order
  uint64_t bytes = 0;
  bool contiguous = true;               // each piece starts where the one before ended
};

Walk WalkPlan(const DownloadPlan& plan) {
  Walk walk;
  int bar = 0;
  uint64_t next = 0;
  for (uint64_t i = 0; i < plan.pieceCount(); ++i) {
    const DownloadPiece piece = plan.Piece(i);
    walk.contiguous = walk.contiguous && piece.offset == next;
    next = piece.offset + piece.length;
    auto show = [&](const std::vector<BarMark>& marks) {
      for (const BarMark& mark : marks) {
        bar = mark.value;
        walk.bar.push_back(mark.value);
        if (mark.pause) walk.pauses.push_back(mark.pause);
      }
    };
    show(piece.before);
    walk.lengths.push_back(piece.length);
    walk.bytes += piece.length;
    show(piece.after);
    walk.barAfterPiece.push_back(bar);
  }
  return walk;
}

std::vector<int> Range(int from, int to) {
  std::vector<int> values;
  for (int v = from; v <= to; ++v) values.push_back(v);
  return values;
}

TEST(DownloadPlanTest, SmallFileGoesInHundredPassesAndTheRest) {
  const DownloadPlan plan(250);
  EXPECT_FALSE(plan.blocked());
  ASSERT_EQ(plan.pieceCount(), 101u);
  const Walk walk = WalkPlan(plan);
  EXPECT_EQ(std::vector<uint32_t>(walk.lengths.begin(), walk.lengths.end() - 1), std::vector<uint32_t>(100, 2));
  EXPECT_EQ(walk.lengths.back(), 50u);
  EXPECT_EQ(walk.bytes, 250u);
  EXPECT_TRUE(walk.contiguous);
  // The pass number before each pass, then 100 after the last piece; no pauses.
  std::vector<int> expected = Range(0, 99);
  expected.push_back(100);
  EXPECT_EQ(walk.bar, expected);
  EXPECT_TRUE(walk.pauses.empty());
}

TEST(DownloadPlanTest, TheLargestSmallFileAndTheSmallestBlockedFile) {
  const Walk below = WalkPlan(DownloadPlan(99999));
  EXPECT_EQ(below.lengths.size(), 101u);
  EXPECT_EQ(below.lengths.front(), 999u);
  EXPECT_EQ(below.lengths.back(), 99u);
  EXPECT_EQ(below.bytes, 99999u);

  const DownloadPlan at(100000);
  EXPECT_TRUE(at.blocked());
  EXPECT_EQ(at.bodyPieces(), 100u);
  EXPECT_EQ(at.barStep(), 1u);
  const Walk walk = WalkPlan(at);
  EXPECT_EQ(std::vector<uint32_t>(walk.lengths.begin(), walk.lengths.end() - 1), std::vector<uint32_t>(100, 1000));
  EXPECT_EQ(walk.lengths.back(), 0u);  // an empty last piece
  EXPECT_EQ(walk.bytes, 100000u);
  EXPECT_TRUE(walk.contiguous);
  // One step a block up to 94, where the bar holds; then 95 to 100 around the last piece.
  EXPECT_EQ(walk.bar, Range(1, 100));
  EXPECT_EQ(walk.barAfterPiece[93], 94);
  EXPECT_EQ(walk.barAfterPiece[99], 94);
}

TEST(DownloadPlanTest, BarAdvancesEveryStepBlocks) {
  const DownloadPlan plan(150000);
  EXPECT_EQ(plan.bodyPieces(), 150u);
  EXPECT_EQ(plan.barStep(), 2u);  // 1.5 rounds to the even 2
  const Walk walk = WalkPlan(plan);
  for (int block = 1; block <= 150; ++block) {
    EXPECT_EQ(walk.barAfterPiece[static_cast<std::size_t>(block - 1)], block / 2) << "after block " << block;
  }
  std::vector<int> expected = Range(1, 75);
  for (int v : Range(95, 100)) expected.push_back(v);
  EXPECT_EQ(walk.bar, expected);
}

TEST(DownloadPlanTest, LargeFileHoldsAtNinetyFourUntilTheBlocksAreDone) {
  const DownloadPlan plan(20000000);
  EXPECT_EQ(plan.bodyPieces(), 20000u);
  EXPECT_EQ(plan.barStep(), 200u);
  const Walk walk = WalkPlan(plan);
  EXPECT_EQ(walk.bytes, 20000000u);
  EXPECT_TRUE(walk.contiguous);
  EXPECT_EQ(walk.barAfterPiece[199], 1);
  EXPECT_EQ(walk.barAfterPiece[94 * 200 - 2], 93);
  EXPECT_EQ(walk.barAfterPiece[94 * 200 - 1], 94);
  EXPECT_EQ(walk.barAfterPiece[19999], 94);  // every block done, still 94
  EXPECT_EQ(walk.bar, Range(1, 100));
  // The last piece is framed by the pauses 95 (100 ms), 96 (50 ms), 98 (100 ms) and 99 (200 ms).
  const std::vector<const PaceStep*> pauses = {&pace::kDownloadBar95, &pace::kDownloadBar96, &pace::kDownloadBar98,
                                               &pace::kDownloadBar99};
  EXPECT_EQ(walk.pauses, pauses);
  EXPECT_EQ(walk.pauses[0]->ms + walk.pauses[1]->ms + walk.pauses[2]->ms + walk.pauses[3]->ms, 450);
}

TEST(DownloadPlanTest, EveryByteIsPlannedOnceAcrossTheSizeRanges) {
  for (uint64_t size : {1ull, 99ull, 100ull, 101ull, 12345ull, 99999ull, 100000ull, 100001ull, 123456ull, 999999ull,
                        5000000000ull}) {
    const DownloadPlan plan(size);
    if (size > 1000000) {
      // A file beyond 4 GiB keeps its full size and its last piece lands at the end.
      const DownloadPiece last = plan.Piece(plan.pieceCount() - 1);
      EXPECT_EQ(last.offset + last.length, size);
      EXPECT_EQ(plan.bodyPieces(), size / 1000);
      continue;
    }
    const Walk walk = WalkPlan(plan);
    EXPECT_EQ(walk.bytes, size) << size;
    EXPECT_TRUE(walk.contiguous) << size;
    EXPECT_EQ(walk.bar.back(), 100) << size;
    for (std::size_t i = 1; i < walk.barAfterPiece.size(); ++i) {
      EXPECT_LE(walk.barAfterPiece[i - 1], walk.barAfterPiece[i]) << size << " piece " << i;
    }
  }
}

TEST(DownloadPlanTest, BlocksPerStepRoundsHalvesToEven) {
  const struct {
    uint64_t blocks, step;
  } cases[] = {{100, 1}, {149, 1}, {150, 2}, {151, 2}, {249, 2}, {250, 2}, {251, 3}, {350, 4}, {450, 4}, {20000, 200}};
  for (const auto& c : cases) EXPECT_EQ(BlocksPerBarStep(c.blocks), c.step) << c.blocks;
}

TEST(DownloadPlanTest, ReopenRuleLooksAtTheLastThreeCharacters) {
  const struct {
    const char* name;
    bool reopen;
  } cases[] = {{"font.zk", true},  {"FONT.ZK", true},   {"fw.Jk", true},     {"params.eep", true},
               {"paramsEeP", true}, {"label.txt", false}, {"fw.jkx", false},  {"zk", false},
               {"a.k", false},      {"", false},          {"data.bin", false}, {"font.zk ", false}};
  for (const auto& c : cases) EXPECT_EQ(DownloadNeedsReopen(c.name), c.reopen) << '"' << c.name << '"';
}

}  // namespace
}  // namespace tw
