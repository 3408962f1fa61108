// SPDX-License-Identifier: GPL-3.0-or-later
// A status report as one JSON object, for scripts.
#include <algorithm>
#include <cstdio>

#include "status/PrinterStatus.h"

namespace tw::status {
namespace {

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);  // UTF-8 passes unchanged
    }
  }
  return out + "\"";
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 0xF];
  }
  return hex;
}

// A count of dots per millimetre as a JSON number: a whole or decimal number without leading
// zeros; null for anything else, so that scripts always get a number or nothing.
std::string DotsPerMmJson(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? "0" : text.substr(point + 1);
  const bool digits = !whole.empty() && whole.size() < 10 && !fraction.empty() &&
                      whole.find_first_not_of("0123456789") == std::string_view::npos &&
                      fraction.find_first_not_of("0123456789") == std::string_view::npos;
  if (!digits) return "null";
  const std::size_t first = std::min(whole.find_first_not_of('0'), whole.size() - 1);
  return std::string(text.substr(first));
}

}  // namespace

std::string ToJson(const Report& report) {
  std::string json = "{\"commandSet\": ";
  json += report.commandSet == CommandSet::Z ? "\"z\"" : "\"e\"";
  json += ", \"answered\": ";
  json += report.answered ? "true" : "false";
  json += ", \"conditions\": [";
  for (std::size_t i = 0; i < report.conditions.size(); ++i) {
    const Condition& c = report.conditions[i];
    json += (i ? ", " : "") + std::string("{\"id\": ") + Quoted(c.id) +
            ", \"severity\": " + Quoted(SeverityName(c.severity)) + ", \"text\": " + Quoted(c.text) +
            ", \"field\": " + Quoted(c.field) + "}";
  }
  json += "], \"identity\": ";
  if (const auto& id = report.identity) {
    json += "{\"model\": " + Quoted(id->model) + ", \"firmware\": " + Quoted(id->firmware) +
            ", \"dotsPerMm\": " + DotsPerMmJson(id->dotsPerMm) + ", \"memory\": " + Quoted(id->memory) +
            ", \"options\": " + Quoted(id->options) + "}";
  } else {
    json += "null";
  }
  json += ", \"notes\": [";
  for (std::size_t i = 0; i < report.notes.size(); ++i) {
    json += (i ? ", " : "") + Quoted(report.notes[i].text);
  }
  json += "], \"raw\": " + Quoted(Hex(report.raw)) + "}";
  return json;
}

}  // namespace tw::status
