// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The label preview fuzzers' one body; each target names the command set it reads.
// Input layout: one settings byte, then the label data. Bits 0-1 choose the resolution (6, 8, 12, 24
// dots/mm); bit 2 fixes the label at 200 x 200 dots so that most runs draw small labels fast.
// Properties checked:
//  - every label is drawn at a size of 1 to 32000 dots a side, or is empty and says why;
//  - every thing not drawn names a command, a reason and a place inside the data (line and column
//    from 1, offset within it).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "preview/Preview.h"

inline int FuzzLabelPreview(const uint8_t* data, size_t size, tw::preview::CommandSet set) {
  if (size == 0) return 0;
  static constexpr int kResolutions[] = {6, 8, 12, 24};
  tw::preview::Options options;
  options.dotsPerMm = kResolutions[data[0] & 3];
  if (data[0] & 4) options.width = options.length = 200;
  const std::string_view labels(reinterpret_cast<const char*>(data + 1), size - 1);
  const tw::preview::Result result = tw::preview::Render(labels, set, options);
  for (const tw::preview::Label& label : result.labels) {
    const auto& image = label.image;
    fuzz::Require(image.empty() ? !label.notDrawn.empty()
                                : image.width() <= tw::preview::kMaxLabelSide && image.height() <= tw::preview::kMaxLabelSide);
    for (const tw::preview::NotDrawn& item : label.notDrawn) {
      fuzz::Require(!item.command.empty() && !item.reason.empty());
      fuzz::Require(item.line >= 1 && item.column >= 1 && (labels.empty() || item.offset < labels.size() || item.length == 0));
    }
  }
  return 0;
}
