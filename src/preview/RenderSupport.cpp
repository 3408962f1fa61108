// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/RenderSupport.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace tw::preview {

Params::Params(std::string_view text) {
  std::string item;
  for (char c : text) {
    if (c == ',') {
      items_.push_back(std::move(item));
      item.clear();
    } else if (c != ' ' || !item.empty()) {
      item.push_back(c);
    }
  }
  while (!item.empty() && item.back() == ' ') item.pop_back();
  items_.push_back(std::move(item));
}

const std::string& Params::Text(std::size_t i) const {
  static const std::string kEmpty;
  return i < items_.size() ? items_[i] : kEmpty;
}

int Params::Int(std::size_t i, int fallback) const {
  if (!Has(i)) return fallback;
  const std::string& text = items_[i];
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return fallback;
  return static_cast<int>(std::clamp(value, -1e9, 1e9));
}

double Params::Real(std::size_t i, double fallback) const {
  if (!Has(i)) return fallback;
  char* end = nullptr;
  const double value = std::strtod(items_[i].c_str(), &end);
  if (end == items_[i].c_str() || !(value == value)) return fallback;
  return std::clamp(value, -1e9, 1e9);
}

char Params::Letter(std::size_t i, char fallback) const {
  if (!Has(i)) return fallback;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(items_[i][0])));
}

Positions::Positions(std::string_view data) {
  lineStarts_.push_back(0);
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\n') lineStarts_.push_back(i + 1);
  }
}

NotDrawn Positions::Make(std::string command, std::size_t offset, std::size_t length, std::string reason) const {
  const auto line = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - 1;
  NotDrawn item;
  item.command = std::move(command);
  item.line = static_cast<int>(line - lineStarts_.begin()) + 1;
  item.column = static_cast<int>(offset - *line) + 1;
  item.offset = offset;
  item.length = length;
  item.reason = std::move(reason);
  return item;
}

std::u32string DecodeText(std::string_view bytes, bool utf8) {
  std::u32string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (!utf8 || c < 0x80) {
      text.push_back(c);
      continue;
    }
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || i + extra >= bytes.size()) {
      text.push_back(0xFFFD);
      continue;
    }
    char32_t value = c & (0x3F >> extra);
    bool good = true;
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) good = false;
      value = (value << 6) | (next & 0x3F);
    }
    if (!good) {
      text.push_back(0xFFFD);
      continue;
    }
    text.push_back(value);
    i += extra;
  }
  return text;
}

std::string EncodeUtf8(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

int InchesToDots(double inches, int dotsPerMm) { return static_cast<int>(inches * 25.4 * dotsPerMm + 0.5); }

}  // namespace tw::preview
