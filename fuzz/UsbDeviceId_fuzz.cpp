// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the model text taken from a USB printer's IEEE-1284 device ID.
// Properties checked:
//  - the model is at most 64 characters, holds no '@' (the name list's separator) and no control
//    character;
//  - it has no blanks at its ends, so that it reads back unchanged from an INI value (PortInfo.ini
//    keeps the chosen USB name);
//  - a model is only found where the ID holds an "MDL" or "MODEL" key.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "link/PortListing.h"

using fuzz::Require;

namespace {

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    bool same = true;
    for (std::size_t k = 0; k < word.size() && same; ++k) same = (text[i + k] | 0x20) == (word[k] | 0x20);
    if (same) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view id(reinterpret_cast<const char*>(data), size);
  const std::string model = tw::ModelFromDeviceId(id);
  Require(model.size() <= 64);
  for (const char c : model) Require(c != '@' && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
  if (model.empty()) return 0;
  Require(ContainsIgnoringCase(id, "mdl") || ContainsIgnoringCase(id, "model"));
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  Require(!blank(model.front()) && !blank(model.back()));
  return 0;
}
