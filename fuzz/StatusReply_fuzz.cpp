// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the decoding of a printer's status replies: the first byte picks the query, the rest is
// the reply as it arrived.
// Properties checked:
//  - the raw bytes are kept unchanged, and the bytes outside the reply are never more than came;
//  - one condition per id, every id one of the known conditions (or "unknown"), every condition
//    with the field that reported it;
//  - a reply that was not found reports no condition and says that the query was not answered;
//  - the JSON form holds no raw control character.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "FuzzSupport.h"
#include "status/PrinterStatus.h"

using fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const auto query = static_cast<tw::status::Query>(input.Byte() % 4);
  const std::string bytes(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
  tw::status::Report report;
  const bool found = tw::status::DecodeReply(query, bytes, report);
  (void)tw::status::ReplyComplete(query, bytes);
  Require(report.raw == bytes);
  Require(report.outside.size() <= bytes.size());
  std::set<std::string> ids;
  for (const auto& c : report.conditions) {
    Require(ids.insert(c.id).second);
    Require(c.id == "unknown" || !tw::status::ConditionText(c.id).empty());
    Require(!c.field.empty() && !c.text.empty());
  }
  if (!found) {
    Require(report.conditions.empty());
    // A stray frame handed on is noted too, so the "not answered" note need not come first.
    Require(std::any_of(report.notes.begin(), report.notes.end(),
                        [](const auto& note) { return note.key == "NoteNotAnswered"; }));
  }
  for (const char c : tw::status::ToJson(report)) Require(static_cast<unsigned char>(c) >= 0x20);
  return 0;
}
