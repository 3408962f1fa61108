// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The label preview: turns Z (caret/tilde) or E (line command) label data into one 1-bit image per
// label at the printer's resolution, and lists what it did not draw and why. Pure logic: no
// widgets, no printer. Bounded in time and memory on any input.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "preview/LabelImage.h"

namespace tw::preview {

enum class CommandSet { Z, E };

struct Options {
  int dotsPerMm = 8;   // 6, 8, 12 or 24
  int width = 0;       // label width in dots; 0: what the data says, else 4 inches
  int length = 0;      // label length in dots; 0: what the data says, else 6 inches
};

// One thing that was not drawn: the command as written (e.g. "^GF", "LO"), where it starts in the
// data (1-based line and column, byte offset) and why.
struct NotDrawn {
  std::string command;
  int line = 0;
  int column = 0;
  std::size_t offset = 0;
  std::size_t length = 0;   // bytes of the command in the data (for selecting it)
  std::string reason;
};

struct Label {
  LabelImage image;                // empty when the label itself was not drawn
  std::vector<NotDrawn> notDrawn;
};

struct Result {
  std::vector<Label> labels;
};

// Z when the data holds "^XA"; E when a line is a label command of the E set ("N", "q...", "Q...").
std::optional<CommandSet> DetectCommandSet(std::string_view data);

Result Render(std::string_view data, CommandSet set, const Options& options);

// "LINE:COLUMN: COMMAND: reason".
std::string Describe(const NotDrawn& item);

// The largest label side drawn, in dots; larger labels are reported, not drawn.
inline constexpr int kMaxLabelSide = 32000;
// All label images of one rendering together take at most this many bytes, and their drawing at
// most this many dot operations; what comes after is reported, not drawn.
inline constexpr long long kMaxImageBytes = 256LL * 1024 * 1024;
inline constexpr long long kMaxWork = 1LL << 27;

}  // namespace tw::preview
