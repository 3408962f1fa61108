// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A 1-bit label image (one bit per dot, rows top to bottom, most significant bit leftmost, 1 =
// black) and the drawing primitives the renderers share. Every primitive clips to the image.
#include <cstdint>
#include <vector>

namespace tw::preview {

enum class Ink { Black, White, Invert };

// A small unrotated picture (text, barcode, graphic) built before it is placed: one byte per dot.
struct Stamp {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> dots;   // 1 = black
  void Resize(int w, int h) { width = w; height = h; dots.assign(static_cast<std::size_t>(w) * h, 0); }
  void Set(int x, int y) { if (x >= 0 && y >= 0 && x < width && y < height) dots[static_cast<std::size_t>(y) * width + x] = 1; }
  bool At(int x, int y) const { return dots[static_cast<std::size_t>(y) * width + x] != 0; }
};

// Quarter turns clockwise: 0 normal, 1 = 90 degrees, 2 = 180, 3 = 270.
using Turns = int;

class LabelImage {
 public:
  LabelImage() = default;
  LabelImage(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  int bytesPerRow() const { return stride_; }
  bool empty() const { return width_ == 0 || height_ == 0; }
  const std::vector<uint8_t>& bits() const { return bits_; }

  bool At(int x, int y) const;
  void Put(int x, int y, Ink ink);
  // A horizontal run of dots [x0, x1).
  void Span(int y, int x0, int x1, Ink ink);
  void Rect(int x, int y, int w, int h, Ink ink);
  // A stamp turned `turns` quarter turns clockwise about its point (ax, ay) (a dot corner), with
  // that point put at (dx, dy). Only the stamp's black dots are inked.
  void Place(const Stamp& stamp, Turns turns, int ax, int ay, int dx, int dy, Ink ink);
  void Rotate180();
  int CountBlack() const;

 private:
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  std::vector<uint8_t> bits_;
};

// The bounding box's top-left corner of a w x h stamp turned about its corner (0, 0).
void TurnedTopLeft(int w, int h, Turns turns, int* x, int* y);
// Where the stamp point (u, v) (a dot corner) lands when the stamp is turned about (0, 0).
void TurnPoint(int u, int v, Turns turns, int* x, int* y);

}  // namespace tw::preview
