// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the download plan over file sizes.
// Input layout: eight bytes, the file size (little-endian).
// Properties checked, for every size:
//  - the pieces follow each other without gap or overlap and cover the file exactly;
//  - the bar's values run from 0 to 100 and never go back, and the last one is 100.
// Sizes up to kWalkedSize are walked piece by piece; larger ones (up to 2^64 - 1) are checked at
// their ends and by the plan's arithmetic.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>

#include "FuzzSupport.h"
#include "download/DownloadPlan.h"

using fuzz::Require;

namespace {

constexpr uint64_t kWalkedSize = uint64_t{1} << 26;
constexpr uint64_t kEndPieces = 200;  // pieces checked at each end of a larger file

class BarWatch {
 public:
  void Show(const std::vector<tw::BarMark>& marks) {
    for (const tw::BarMark& mark : marks) {
      Require(mark.value >= 0 && mark.value <= 100 && mark.value >= last_);
      last_ = mark.value;
    }
  }
  int last() const { return last_; }

 private:
  int last_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  uint64_t fileSize = 0;
  std::memcpy(&fileSize, data, std::min(size, sizeof fileSize));
  const tw::DownloadPlan plan(fileSize);
  const uint64_t count = plan.pieceCount();
  Require(count >= 1);
  const tw::DownloadPiece last = plan.Piece(count - 1);
  Require(last.offset + last.length == fileSize && last.offset <= fileSize);
  Require(!last.after.empty() && last.after.back().value == 100);

  const bool walkAll = fileSize <= kWalkedSize;
  BarWatch bar;
  uint64_t covered = 0;
  for (uint64_t index = 0; index < count; ++index) {
    if (!walkAll && index == kEndPieces) {
      // Skip to the last pieces: the body pieces between are of equal length.
      index = count - kEndPieces;
      covered = index * plan.bodyLength();
    }
    const tw::DownloadPiece piece = plan.Piece(index);
    Require(piece.offset == covered);
    covered += piece.length;
    bar.Show(piece.before);
    bar.Show(piece.after);
  }
  Require(covered == fileSize && bar.last() == 100);
  return 0;
}
