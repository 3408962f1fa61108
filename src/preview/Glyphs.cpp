// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/Glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace tw::preview {
namespace {

constexpr const char* kMonoFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr const char* kScalableFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf";
// DejaVu Sans Mono's advance is 0.602 em: the horizontal em that makes a glyph fill its cell.
constexpr double kMonoAdvanceEm = 0.602;
// The scalable font's nominal width is 0.8 of its height at natural proportions.
constexpr double kScalableWidthRatio = 0.8;
// Beyond this size a glyph is not cached: bounded memory whatever the data asks for.
constexpr int kLargestCachedGlyph = 400;
constexpr std::size_t kCacheLimit = 4096;

struct Glyph {
  int left = 0, top = 0, width = 0, height = 0, advance = 0;
  std::vector<uint8_t> dots;
};

class Fonts {
 public:
  Fonts() {
    if (FT_Init_FreeType(&library_) != 0) { error_ = "FreeType could not be started"; return; }
    if (FT_New_Face(library_, kMonoFont, 0, &mono_) != 0 || FT_New_Face(library_, kScalableFont, 0, &scalable_) != 0) {
      error_ = std::string("the stand-in font is not installed (") + kMonoFont + ")";
    }
  }
  const std::string& error() const { return error_; }
  std::mutex mutex;

  // The glyph rendered at xPixels by yPixels em.
  const Glyph& Get(bool proportional, char32_t c, int xPixels, int yPixels) {
    const auto key = std::make_tuple(proportional, c, xPixels, yPixels);
    if (auto it = cache_.find(key); it != cache_.end()) return it->second;
    if (cache_.size() >= kCacheLimit) cache_.clear();
    Glyph& glyph = cache_[key];
    FT_Face face = proportional ? scalable_ : mono_;
    if (!face || FT_Set_Pixel_Sizes(face, std::max(1, xPixels), std::max(1, yPixels)) != 0) return glyph;
    if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return glyph;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = static_cast<int>(bitmap.width);
    glyph.height = static_cast<int>(bitmap.rows);
    glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    glyph.dots.assign(static_cast<std::size_t>(glyph.width) * glyph.height, 0);
    for (int y = 0; y < glyph.height; ++y) {
      const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
      for (int x = 0; x < glyph.width; ++x) {
        const bool black = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x / 8] >> (7 - x % 8)) & 1) : row[x] >= 128;
        glyph.dots[static_cast<std::size_t>(y) * glyph.width + x] = black ? 1 : 0;
      }
    }
    return glyph;
  }

 private:
  FT_Library library_ = nullptr;
  FT_Face mono_ = nullptr;
  FT_Face scalable_ = nullptr;
  std::string error_;
  std::map<std::tuple<bool, char32_t, int, int>, Glyph> cache_;
};

Fonts& SharedFonts() {
  static Fonts* const fonts = new Fonts;  // kept for the process's life: glyphs are cached in it
  return *fonts;
}

char32_t Shown(char32_t c, const TextStyle& style) {
  if (style.upperOnly && c >= U'a' && c <= U'z') return c - U'a' + U'A';
  return c;
}

void EmSize(const TextStyle& style, int* x, int* y) {
  const double width = style.proportional ? style.cellWidth / kScalableWidthRatio : style.cellWidth / kMonoAdvanceEm;
  // Large glyphs are drawn smaller and magnified, alike in both directions.
  const double factor = std::min({1.0, double(kLargestCachedGlyph) / style.cellHeight, 2.0 * kLargestCachedGlyph / width});
  *y = std::max(1, static_cast<int>(style.cellHeight * factor + 0.5));
  *x = std::max(1, static_cast<int>(width * factor + 0.5));
}

}  // namespace

bool GlyphsAvailable(std::string* why) {
  Fonts& fonts = SharedFonts();
  if (why) *why = fonts.error();
  return fonts.error().empty();
}

int TextWidth(const std::u32string& text, const TextStyle& style) {
  if (!style.proportional) return static_cast<int>(std::min<std::size_t>(text.size(), 1 << 20)) * style.advance;
  Fonts& fonts = SharedFonts();
  std::lock_guard lock(fonts.mutex);
  int xPixels, yPixels;
  EmSize(style, &xPixels, &yPixels);
  const double scale = static_cast<double>(style.cellHeight) / yPixels;
  long long width = 0;
  for (char32_t c : text) width += fonts.Get(true, Shown(c, style), xPixels, yPixels).advance;
  return static_cast<int>(std::min<long long>(width * scale + 0.5, 1 << 30));
}

void DrawText(Stamp& stamp, int x, int y, const std::u32string& text, const TextStyle& style) {
  Fonts& fonts = SharedFonts();
  std::lock_guard lock(fonts.mutex);
  int xPixels, yPixels;
  EmSize(style, &xPixels, &yPixels);
  // Glyphs larger than the cache allows are drawn at that size and magnified.
  const double scale = static_cast<double>(style.cellHeight) / yPixels;
  const int scaledBaseline = static_cast<int>(style.baseline / scale + 0.5);
  double penX = x;
  for (char32_t c : text) {
    if (penX >= stamp.width) break;
    const Glyph& glyph = fonts.Get(style.proportional, Shown(c, style), xPixels, yPixels);
    const int cellLeft = static_cast<int>(penX);
    for (int gy = 0; gy < glyph.height; ++gy) {
      for (int gx = 0; gx < glyph.width; ++gx) {
        if (!glyph.dots[static_cast<std::size_t>(gy) * glyph.width + gx]) continue;
        const int u0 = static_cast<int>((glyph.left + gx) * scale);
        const int v0 = static_cast<int>((scaledBaseline - glyph.top + gy) * scale);
        const int u1 = std::max(u0 + 1, static_cast<int>((glyph.left + gx + 1) * scale));
        const int v1 = std::max(v0 + 1, static_cast<int>((scaledBaseline - glyph.top + gy + 1) * scale));
        for (int v = v0; v < v1; ++v) {
          if (v < 0 || v >= style.cellHeight) continue;  // the cell bounds the glyph
          for (int u = u0; u < u1; ++u) {
            if (!style.proportional && (u < 0 || u >= style.cellWidth)) continue;
            stamp.Set(cellLeft + u, y + v);
          }
        }
      }
    }
    penX += style.proportional ? glyph.advance * scale : style.advance;
  }
}

}  // namespace tw::preview
