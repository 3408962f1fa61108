// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stand-in glyphs for the printers' resident fonts, drawn with FreeType from the DejaVu fonts
// (fonts-dejavu-core) so that the preview needs no display. Fixed-cell fonts use DejaVu Sans Mono
// stretched to fill the cell; the scalable font uses DejaVu Sans Condensed Bold.
#include <string>

#include "preview/LabelImage.h"

namespace tw::preview {

struct TextStyle {
  bool proportional = false;  // the scalable font: advances follow the glyphs
  int cellWidth = 5;          // glyph width (fixed cell) or nominal character width (scalable)
  int cellHeight = 9;
  int advance = 6;            // fixed cell: cell width + gap
  int baseline = 7;           // from the cell top
  bool upperOnly = false;     // the font has capitals only
};

// Whether the stand-in fonts could be loaded; when not, why.
bool GlyphsAvailable(std::string* why);

// Width in dots of the text in one line.
int TextWidth(const std::u32string& text, const TextStyle& style);

// Draws the text with its cell top at y and its first cell's left edge at x.
void DrawText(Stamp& stamp, int x, int y, const std::u32string& text, const TextStyle& style);

}  // namespace tw::preview
