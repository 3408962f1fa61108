// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the reading of an E printer's configuration reply.
// Input layout: one settings byte, then the reply. The settings byte chooses the unit (bits 0-1), the
// resolution in force before the read (bits 2-3: 0, 200, 300, 0), whether the model lists list the
// model QRT-L42D (bit 4: Resolution300, bit 5: PrintTranserMode) and whether their Num is 0 (bit 6).
// The reply is copied into a buffer of exactly its size, so that AddressSanitizer reports any read
// past its end.
// Properties checked:
//  - every list index is within its list (or the documented indexes beyond it for code pages);
//  - the reading stops at a step and never sets a later control without the earlier ones;
//  - every length text reads back as a number in the unit;
//  - the firmware text is at most 12 characters and begins with "FV"; the model at most 9 and begins
//    with "QRT-";
//  - the resolution is the one in force, or 200 or 300 after a model was read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "wizards/EplConfig.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

template <typename T>
void CheckIndex(const std::optional<T>& index, int low, int high) {
  if (index) Check(*index >= low && *index <= high);
}

// A later control may only be set when the step before it was reached.
template <typename Later, typename Earlier>
void CheckOrder(const std::optional<Later>& later, const std::optional<Earlier>& earlier) {
  if (later) Check(earlier.has_value());
}

void CheckLength(const std::optional<tw::ReadLength>& length, tw::LengthUnit unit) {
  if (!length) return;
  if (unit == tw::LengthUnit::Dots) {
    Check(tw::ParseWholeNumber(length->text) == length->dots);
  } else {
    Check(tw::ParseLengthNumber(length->text).has_value());
  }
}

tw::ModelList List(bool listsModel, bool empty) {
  tw::ModelList list;
  list.num = empty ? 0 : 2;
  if (!empty) list.names = {"QRT-X", listsModel ? " QRT-L42D " : ""};
  return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t settings = data[0];
  const std::size_t replySize = size - 1;
  const std::unique_ptr<char[]> buffer(new char[replySize == 0 ? 1 : replySize]);
  if (replySize > 0) std::memcpy(buffer.get(), data + 1, replySize);
  const std::string_view reply(buffer.get(), replySize);

  static constexpr int kResolutions[] = {0, tw::kResolution203, tw::kResolution300, 0};
  tw::EplReadContext context;
  context.unit = static_cast<tw::LengthUnit>(settings & 3);
  context.resolution = kResolutions[(settings >> 2) & 3];
  const bool emptyLists = (settings & 0x40) != 0;
  context.resolution300 = List((settings & 0x10) != 0, emptyLists);
  context.printModeModels = List((settings & 0x20) != 0, emptyLists);

  const tw::EplConfiguration c = tw::ParseEplConfiguration(reply, context);

  if (c.firmwareVersion) {
    Check(c.firmwareVersion->size() <= 12 && c.firmwareVersion->rfind("FV", 0) == 0);
  }
  if (c.model) Check(c.model->size() <= 9 && c.model->rfind("QRT-", 0) == 0);
  Check(c.resolution == context.resolution ||
        (c.model && (c.resolution == tw::kResolution203 || c.resolution == tw::kResolution300)));
  if (c.model && !emptyLists && (settings & 0x10) && *c.model == "QRT-L42D") {
    Check(c.resolution == tw::kResolution300);
  }

  CheckIndex(c.orientationIndex, 0, 1);
  CheckIndex(c.mediaTypeIndex, 0, 2);
  CheckIndex(c.darknessIndex, 0, 15);
  CheckIndex(c.speedIndex, 0, 4);
  CheckIndex(c.mediaHandlingIndex, 0, 2);
  CheckIndex(c.codePageIndex, 0, tw::kLastCodePageIndex);
  CheckIndex(c.countryIndex, 0, tw::kCountryCount - 1);
  if (c.codePageIndex && c.countryVisible) Check(*c.countryVisible == tw::CountryCodeApplies(*c.codePageIndex));

  CheckOrder(c.model, c.firmwareVersion);
  CheckOrder(c.orientationIndex, c.model);
  CheckOrder(c.width, c.orientationIndex);
  CheckOrder(c.mediaTypeIndex, c.width);
  CheckOrder(c.darknessIndex, c.mediaTypeIndex);
  CheckOrder(c.speedIndex, c.darknessIndex);
  CheckOrder(c.mediaHandlingIndex, c.speedIndex);
  CheckOrder(c.codePageIndex, c.mediaHandlingIndex);
  if (c.mediaTypeIndex == 0) Check(!c.height && !c.gap && !c.offset);
  if (!c.conversionError.empty()) Check(!c.darknessIndex);

  CheckLength(c.width, context.unit);
  CheckLength(c.height, context.unit);
  CheckLength(c.gap, context.unit);
  CheckLength(c.offset, context.unit);
  return 0;
}
