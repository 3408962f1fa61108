// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/LabelImage.h"

#include <algorithm>
#include <array>
#include <bit>

namespace tw::preview {

LabelImage::LabelImage(int width, int height)
    : width_(width), height_(height), stride_((width + 7) / 8),
      bits_(static_cast<std::size_t>((width + 7) / 8) * height, 0) {}

bool LabelImage::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return (bits_[static_cast<std::size_t>(y) * stride_ + x / 8] >> (7 - x % 8)) & 1;
}

void LabelImage::Put(int x, int y, Ink ink) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t& byte = bits_[static_cast<std::size_t>(y) * stride_ + x / 8];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
  switch (ink) {
    case Ink::Black: byte |= mask; break;
    case Ink::White: byte &= static_cast<uint8_t>(~mask); break;
    case Ink::Invert: byte ^= mask; break;
  }
}

void LabelImage::Span(int y, int x0, int x1, Ink ink) {
  if (y < 0 || y >= height_) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, width_);
  if (x0 >= x1) return;
  uint8_t* row = bits_.data() + static_cast<std::size_t>(y) * stride_;
  // Whole bytes in the middle at once, the partial bytes at the ends dot by dot.
  while (x0 < x1 && x0 % 8 != 0) Put(x0++, y, ink);
  while (x1 > x0 && x1 % 8 != 0) Put(--x1, y, ink);
  for (int b = x0 / 8; b < x1 / 8; ++b) {
    switch (ink) {
      case Ink::Black: row[b] = 0xFF; break;
      case Ink::White: row[b] = 0; break;
      case Ink::Invert: row[b] = static_cast<uint8_t>(~row[b]); break;
    }
  }
}

void LabelImage::Rect(int x, int y, int w, int h, Ink ink) {
  const int y0 = std::max(y, 0);
  const int y1 = std::min<long long>(static_cast<long long>(y) + h, height_);
  const long long x1 = std::min<long long>(static_cast<long long>(x) + w, width_);
  for (int row = y0; row < y1; ++row) Span(row, x, static_cast<int>(x1), ink);
}

void TurnPoint(int u, int v, Turns turns, int* x, int* y) {
  switch (turns & 3) {
    case 0: *x = u; *y = v; break;
    case 1: *x = -v; *y = u; break;
    case 2: *x = -u; *y = -v; break;
    default: *x = v; *y = -u; break;
  }
}

void TurnedTopLeft(int w, int h, Turns turns, int* x, int* y) {
  int xs[4], ys[4];
  TurnPoint(0, 0, turns, &xs[0], &ys[0]);
  TurnPoint(w, 0, turns, &xs[1], &ys[1]);
  TurnPoint(0, h, turns, &xs[2], &ys[2]);
  TurnPoint(w, h, turns, &xs[3], &ys[3]);
  *x = *std::min_element(xs, xs + 4);
  *y = *std::min_element(ys, ys + 4);
}

void LabelImage::Place(const Stamp& stamp, Turns turns, int ax, int ay, int dx, int dy, Ink ink) {
  // A dot (u, v) covers the square from corner (u, v) to (u + 1, v + 1); turned, its top-left
  // corner is the smaller of the turned corners.
  for (int v = 0; v < stamp.height; ++v) {
    for (int u = 0; u < stamp.width; ++u) {
      if (!stamp.At(u, v)) continue;
      int x, y;
      TurnPoint(u - ax, v - ay, turns, &x, &y);
      switch (turns & 3) {
        case 1: x -= 1; break;
        case 2: x -= 1; y -= 1; break;
        case 3: y -= 1; break;
        default: break;
      }
      Put(dx + x, dy + y, ink);
    }
  }
}

void LabelImage::Rotate180() {
  // In place, a byte at a time: each row's bytes reversed with their bits, then shifted left by the
  // row's padding bits, and the rows swapped end for end. No second image, so no memory beyond a row.
  static const auto kReversed = [] {
    std::array<uint8_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
      for (int bit = 0; bit < 8; ++bit) table[b] |= ((b >> bit) & 1) << (7 - bit);
    }
    return table;
  }();
  const int pad = stride_ * 8 - width_;
  const auto reverseRow = [&](uint8_t* row) {
    std::reverse(row, row + stride_);
    for (int i = 0; i < stride_; ++i) row[i] = kReversed[row[i]];
    if (pad == 0) return;
    for (int i = 0; i < stride_; ++i) {
      const int next = i + 1 < stride_ ? row[i + 1] : 0;
      row[i] = static_cast<uint8_t>(row[i] << pad | next >> (8 - pad));
    }
  };
  for (int top = 0, bottom = height_ - 1; top <= bottom; ++top, --bottom) {
    uint8_t* a = bits_.data() + static_cast<std::size_t>(top) * stride_;
    uint8_t* b = bits_.data() + static_cast<std::size_t>(bottom) * stride_;
    reverseRow(a);
    if (a == b) break;
    reverseRow(b);
    std::swap_ranges(a, a + stride_, b);
  }
}

int LabelImage::CountBlack() const {
  int count = 0;
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) count += At(x, y) ? 1 : 0;
  }
  return count;
}

}  // namespace tw::preview
