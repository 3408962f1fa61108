// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/Preview.h"

#include <algorithm>

#include "preview/Renderers.h"

namespace tw::preview {

std::optional<CommandSet> DetectCommandSet(std::string_view data) {
  const auto at = [&](std::size_t i) { return i < data.size() ? static_cast<char>(data[i] & ~0x20) : '\0'; };
  for (std::size_t i = 0; i + 2 < data.size(); ++i) {
    if (data[i] == '^' && at(i + 1) == 'X' && at(i + 2) == 'A') return CommandSet::Z;
  }
  // An E label starts with a line "N" or sets its size with "q<dots>" or "Q<dots>,<gap>".
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = std::min(data.find('\n', start), data.size());
    std::string_view line = data.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    const bool digitFollows = line.size() > 1 && line[1] >= '0' && line[1] <= '9';
    if (line == "N" || (!line.empty() && (line[0] == 'q' || line[0] == 'Q') && digitFollows)) return CommandSet::E;
    start = end + 1;
  }
  return std::nullopt;
}

Result Render(std::string_view data, CommandSet set, const Options& options) {
  Options checked = options;
  if (checked.dotsPerMm != 6 && checked.dotsPerMm != 12 && checked.dotsPerMm != 24) checked.dotsPerMm = 8;
  checked.width = std::max(0, checked.width);
  checked.length = std::max(0, checked.length);
  return set == CommandSet::Z ? RenderZ(data, checked) : RenderE(data, checked);
}

std::string Describe(const NotDrawn& item) {
  return std::to_string(item.line) + ":" + std::to_string(item.column) + ": " + item.command + ": " + item.reason;
}

}  // namespace tw::preview
