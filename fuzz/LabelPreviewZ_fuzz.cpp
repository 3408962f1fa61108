// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the label preview's reading of Z (caret/tilde) label data (the body and its properties are
// in LabelPreviewFuzz.h).
#include "LabelPreviewFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzLabelPreview(data, size, tw::preview::CommandSet::Z);
}
