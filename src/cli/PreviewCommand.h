// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// tagwright-cli preview FILE [-o OUT.png|OUT.pdf] [--set z|e] [--dpmm N] [--width DOTS --length DOTS]:
// draws the labels in FILE without a printer. Exit status 0 when everything was drawn, 3 when
// something was not (each on one line of standard error, "LINE:COLUMN: COMMAND: reason"; the image
// is still written), 1 when the file cannot be read, holds no label or the image cannot be written.
#include <string>

namespace tw {

inline constexpr int kExitNotAllDrawn = 3;

struct PreviewArgs {
  std::string file;
  std::string output;    // empty: only check
  std::string set;       // "z", "e" or empty: told from the content
  int dotsPerMm = 8;
  int width = 0;
  int length = 0;
};

// The usage checks the parser cannot make; empty when the arguments are good.
std::string CheckPreviewArgs(const PreviewArgs& args);

int RunPreview(const PreviewArgs& args);

}  // namespace tw
