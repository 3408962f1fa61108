// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The send area's pages as a file of bytes, so that typed label data survives the end of the program.
//
// Layout: the 8 bytes "TWPAGES1", the index of the page shown (one byte), then per page one form byte (0 text form, 1 hex form, 2 hex form
// that is not yet valid hex and is kept as typed), a 4-byte big-endian length and that many bytes.
// Text and hex pages hold the page's data bytes; a page kept as typed holds its text-form bytes.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct KeptPage {
  enum class Form : uint8_t { Text = 0, Hex = 1, HexAsTyped = 2 };
  Form form = Form::Text;
  std::string bytes;
  bool operator==(const KeptPage&) const = default;
};

// The pages and the one shown. Only the page shown may be kept as typed: the others were checked when
// the user left them.
struct KeptPages {
  int current = 0;
  std::vector<KeptPage> pages;
  bool operator==(const KeptPages&) const = default;
};

std::string EncodeSendPages(const KeptPages& kept);
// Nothing when the bytes are not such a file (wrong header, a page cut short, an unknown form, more
// than `maxPages` pages, a page shown beyond them).
std::optional<KeptPages> DecodeSendPages(std::string_view bytes, std::size_t maxPages);

// <settings folder>/sendpages.bin
std::filesystem::path SendPagesPath();

// Writes a temporary file beside `path` and renames it over the old one; false when that failed (the
// old file is then left as it was). Only the user may read the file: pages hold customers' data.
bool SaveSendPages(const std::filesystem::path& path, const KeptPages& kept);

struct LoadedPages {
  KeptPages kept;        // no pages when there is no file or it is damaged
  bool damaged = false;         // a file is there but cannot be read as pages
  std::filesystem::path setAside;  // where a damaged file was moved; empty when it could not be moved
};
// A damaged file is moved to "<path>.damaged" (replacing an older one), so that the next save does
// not overwrite what may still be recovered from it.
LoadedPages LoadSendPages(const std::filesystem::path& path, std::size_t maxPages);

}  // namespace tw
