// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the INI reader and writer with arbitrary file text and names.
// Input layout: section NUL key NUL value NUL file text (missing parts are empty).
// Properties checked:
//  - Parse(text).Serialize() gives back every byte of text;
//  - reads never fail and never return more than the value limit;
//  - after Write(s, k, v) with a value that the read rules leave alone, Find(s, k) returns v, other
//    keys read as before, and Parse(Serialize()) reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/Ini.h"

namespace {

std::string_view TakeField(std::string_view& input) {
  const auto end = input.find('\0');
  const std::string_view field = input.substr(0, end);
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return field;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// A value that reads back as written: one line, no blanks at its ends, not wholly in quotes,
// within the read limit.
bool IsSimpleValue(std::string_view value) {
  if (value.size() > tw::kIniValueLimit || value.find_first_of("\r\n") != std::string_view::npos) return false;
  if (value.empty()) return true;
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  if (blank(value.front()) || blank(value.back())) return false;
  return !(value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view section = TakeField(input);
  const std::string_view key = TakeField(input);
  const std::string_view value = TakeField(input);
  const std::string_view text = input;

  tw::IniDocument document = tw::IniDocument::Parse(text);
  Check(document.Serialize() == text);

  const auto before = document.Find(section, key);
  if (before) Check(before->size() <= tw::kIniValueLimit);
  (void)document.ReadInteger(section, key, -1);
  (void)tw::ParseIniInteger(value);
  const auto keys = document.Keys(section);
  Check(keys.empty() || document.HasSection(section));
  for (const std::string& name : keys) Check(document.Find(section, name).has_value());

  const tw::IniDocument original = document;
  try {
    document.Write(section, key, value);
  } catch (const std::invalid_argument&) {
    Check(document.Serialize() == text);  // a refused write changes nothing
    return 0;
  }
  const std::string_view firstLine = value.substr(0, value.find_first_of("\r\n"));
  const std::string written = document.Serialize();
  const tw::IniDocument reparsed = tw::IniDocument::Parse(written);
  Check(reparsed.Serialize() == written);
  if (IsSimpleValue(firstLine)) {
    Check(document.Find(section, key) == std::string(firstLine));
    Check(reparsed.Find(section, key) == std::string(firstLine));
  }
  // Every other key of the section reads as before the write. A name whose value changed must be
  // the written key in another spelling (letter case), so it reads the written value.
  for (const std::string& name : keys) {
    const auto now = reparsed.Find(section, name);
    Check(now.has_value());
    if (now != original.Find(section, name)) Check(now == reparsed.Find(section, key));
  }
  return 0;
}
