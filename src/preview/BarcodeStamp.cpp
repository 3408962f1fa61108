// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/RenderSupport.h"

namespace tw::preview {

bool BarcodeStamp(const barcode::Request& request, const TextStyle* text, bool above, Budget& budget, Stamp* stamp,
                  int* barsBottom, std::string* error) {
  const barcode::Symbol symbol = barcode::Encode(request);
  if (!symbol.error.empty()) {
    *error = symbol.error;
    return false;
  }
  if (symbol.width <= 0 || symbol.height <= 0 ||
      symbol.dots.size() != static_cast<std::size_t>(symbol.width) * symbol.height) {
    *error = "the symbol is empty";
    return false;
  }
  const bool line = text && !symbol.text.empty();
  const int textHeight = line ? text->cellHeight : 0;
  const int gap = line ? std::max(1, textHeight / 4) : 0;
  const int barsTop = above ? textHeight + gap : 0;
  // Sized and paid for before anything is allocated: a tall interpretation line under a wide
  // symbol would otherwise take gigabytes.
  const long long dots = static_cast<long long>(symbol.width) * (static_cast<long long>(symbol.height) + textHeight + gap);
  if (dots > kMaxStampDots) {
    *error = kFieldTooLarge;
    return false;
  }
  if (!budget.Spend(dots)) {
    *error = kNoTimeForField;
    return false;
  }
  stamp->Resize(symbol.width, symbol.height + textHeight + gap);
  for (int y = 0; y < symbol.height; ++y) {
    for (int x = 0; x < symbol.width; ++x) {
      if (symbol.dots[static_cast<std::size_t>(y) * symbol.width + x]) stamp->Set(x, barsTop + y);
    }
  }
  if (line) {
    const std::u32string shown = DecodeText(symbol.text, false);
    const int x = (symbol.width - TextWidth(shown, *text)) / 2;
    DrawText(*stamp, std::max(0, x), above ? 0 : symbol.height + gap, shown, *text);
  }
  *barsBottom = barsTop + symbol.height;
  return true;
}

}  // namespace tw::preview
