// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PrinterResolution.h"

#include <atomic>
#include <charconv>

namespace tw {
namespace {
std::atomic<int> lastRead{0};  // set by reads on worker threads, read by the windows
}  // namespace

int LastReadDotsPerMm() { return lastRead.load(); }

void SetLastReadDotsPerMm(int dotsPerMm) {
  if (dotsPerMm == 6 || dotsPerMm == 8 || dotsPerMm == 12 || dotsPerMm == 24) lastRead.store(dotsPerMm);
}

void SetLastReadDotsPerMm(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  // "8" or "8.0": a fraction other than zero is not one of the resolutions.
  const std::string_view rest(end, static_cast<std::size_t>(text.data() + text.size() - end));
  if (error == std::errc() && rest.find_first_not_of(".0 ") == std::string_view::npos) SetLastReadDotsPerMm(value);
}

}  // namespace tw
