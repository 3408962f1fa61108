// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a file is cut up for the download and what the progress bar shows on the way, as plain data:
// no widget and no device here, so that every size range can be checked directly.
//
// A file below 100000 bytes goes in 100 passes of size / 100 bytes and a last piece of the rest;
// the bar shows the pass number before each pass and 100 after the last piece. A larger file goes in
// blocks of 1000 bytes and a last piece of the rest; the bar advances by one every `step` blocks
// (blocks / 100, rounded half to even) and holds at 94 until the blocks are done, then counts up to
// 100 around the last piece with short pauses.
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/Pacing.h"

namespace tw {

inline constexpr uint64_t kBlockedDownloadSize = 100000;  // from this size on, blocks of 1000 bytes
inline constexpr uint32_t kDownloadBlockBytes = 1000;
inline constexpr uint64_t kDownloadPasses = 100;          // passes of a smaller file
inline constexpr int kDownloadBarHold = 94;               // the blocks never take the bar further

namespace pace {
inline constexpr PaceStep kDownloadBar95{"download: pause at 95 before the last piece", 100};
inline constexpr PaceStep kDownloadBar96{"download: pause at 96 before the last piece", 50};
inline constexpr PaceStep kDownloadBar98{"download: pause at 98 after the last piece", 100};
inline constexpr PaceStep kDownloadBar99{"download: pause at 99 after the last piece", 200};
}  // namespace pace

// A value for the progress bar and the wait that follows it (none when `pause` is null).
struct BarMark {
  int value;
  const PaceStep* pause = nullptr;
  bool operator==(const BarMark&) const = default;
};

// One piece of the file in sending order. A piece of length 0 sends nothing; its marks still show.
struct DownloadPiece {
  uint64_t offset = 0;
  uint32_t length = 0;
  std::vector<BarMark> before;  // shown before the piece is sent
  std::vector<BarMark> after;   // shown once it has been sent
};

// b / 100 rounded to the nearest whole number, a half to the even neighbour.
uint64_t BlocksPerBarStep(uint64_t blocks);

class DownloadPlan {
 public:
  explicit DownloadPlan(uint64_t fileSize);

  uint64_t fileSize() const { return fileSize_; }
  bool blocked() const { return fileSize_ >= kBlockedDownloadSize; }
  // The passes or blocks, without the last piece.
  uint64_t bodyPieces() const { return bodyPieces_; }
  uint32_t bodyLength() const { return bodyLength_; }  // bytes of each pass or block
  uint32_t lastLength() const { return lastLength_; }
  // Blocks per step of the bar; 0 for a file sent in passes.
  uint64_t barStep() const { return barStep_; }
  // Every piece: the body pieces, then the last piece.
  uint64_t pieceCount() const { return bodyPieces_ + 1; }
  // Piece `index` (0 to pieceCount() - 1), worked out when asked, so that a plan of any size takes
  // no memory.
  DownloadPiece Piece(uint64_t index) const;

 private:
  uint64_t fileSize_;
  uint64_t bodyPieces_;
  uint32_t bodyLength_;
  uint32_t lastLength_;
  uint64_t barStep_;
};

// Font (".ZK"), firmware (".JK") and parameter dump ("EEP") files make the printer restart: after
// them a USB or network link is closed. The rule looks at the last three characters of the name,
// in any letter case.
bool DownloadNeedsReopen(std::string_view fileName);
// A monitor program or firmware file (".JK" in any letter case): cut short, it can leave the printer
// needing recovery.
bool IsFirmwareFile(std::string_view fileName);

}  // namespace tw
