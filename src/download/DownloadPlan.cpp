// SPDX-License-Identifier: GPL-3.0-or-later
#include "download/DownloadPlan.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace tw {

uint64_t BlocksPerBarStep(uint64_t blocks) {
  const uint64_t whole = blocks / 100;
  const uint64_t rest = blocks % 100;
  if (rest > 50) return whole + 1;
  if (rest == 50) return whole + (whole % 2);  // a half goes to the even neighbour
  return whole;
}

DownloadPlan::DownloadPlan(uint64_t fileSize) : fileSize_(fileSize) {
  if (blocked()) {
    bodyPieces_ = fileSize / kDownloadBlockBytes;
    bodyLength_ = kDownloadBlockBytes;
    lastLength_ = static_cast<uint32_t>(fileSize % kDownloadBlockBytes);
    barStep_ = BlocksPerBarStep(bodyPieces_);
  } else {
    bodyPieces_ = kDownloadPasses;
    bodyLength_ = static_cast<uint32_t>(fileSize / kDownloadPasses);
    lastLength_ = static_cast<uint32_t>(fileSize % kDownloadPasses);
    barStep_ = 0;
  }
}

DownloadPiece DownloadPlan::Piece(uint64_t index) const {
  DownloadPiece piece;
  if (index < bodyPieces_) {
    piece.offset = index * bodyLength_;
    piece.length = bodyLength_;
    if (!blocked()) {
      piece.before.push_back({static_cast<int>(index)});
    } else {
      // Block k (counted from 1) completes a step when k is a multiple of the step, and the bar
      // takes that step while it is below the hold value.
      const uint64_t done = index + 1;
      if (done % barStep_ == 0 && done / barStep_ <= static_cast<uint64_t>(kDownloadBarHold)) {
        piece.after.push_back({static_cast<int>(done / barStep_)});
      }
    }
    return piece;
  }
  piece.offset = bodyPieces_ * bodyLength_;
  piece.length = lastLength_;
  if (blocked()) {
    piece.before = {{95, &pace::kDownloadBar95}, {96, &pace::kDownloadBar96}, {97}};
    piece.after = {{98, &pace::kDownloadBar98}, {99, &pace::kDownloadBar99}, {100}};
  } else {
    piece.after = {{100}};
  }
  return piece;
}

namespace {
// The last three characters of a name in upper case ("" for a shorter name).
std::string UpperTail(std::string_view fileName) {
  if (fileName.size() < 3) return {};
  std::string tail(fileName.substr(fileName.size() - 3));
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return tail;
}
}  // namespace

bool DownloadNeedsReopen(std::string_view fileName) {
  const std::string tail = UpperTail(fileName);
  constexpr std::array<std::string_view, 3> kRestartingEndings = {".JK", ".ZK", "EEP"};
  return std::find(kRestartingEndings.begin(), kRestartingEndings.end(), tail) != kRestartingEndings.end();
}

bool IsFirmwareFile(std::string_view fileName) { return UpperTail(fileName) == ".JK"; }

}  // namespace tw
