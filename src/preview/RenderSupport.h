// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the two renderers share: parameter lists, positions in the data, text decoding, barcode
// stamps.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "barcode/Barcode.h"
#include "preview/Glyphs.h"
#include "preview/LabelImage.h"
#include "preview/Preview.h"

namespace tw::preview {

// What one rendering may still spend: image memory and drawing work, shared by its labels.
struct Budget {
  long long imageBytes = 0;
  long long work = 0;
  bool FitsImage(int width, int height) {
    const long long bytes = (width + 7LL) / 8 * height;
    if (imageBytes + bytes > kMaxImageBytes) return false;
    imageBytes += bytes;
    return true;
  }
  bool Spend(long long dots) {
    if (work + dots > kMaxWork) return false;
    work += dots;
    return true;
  }
};
inline constexpr const char* kNoRoomForLabel = "the labels before this one fill the preview's memory";
inline constexpr const char* kFieldTooLarge = "the field is larger than the preview draws";
// A stamp (text, barcode) larger than this many dots is refused: bounded memory.
inline constexpr long long kMaxStampDots = 16LL * 1024 * 1024;
inline constexpr const char* kNoTimeForField = "the labels before this field take all the drawing time the preview allows";

// Comma-separated parameters; blank ones count as absent.
class Params {
 public:
  explicit Params(std::string_view text);
  bool Has(std::size_t i) const { return i < items_.size() && !items_[i].empty(); }
  const std::string& Text(std::size_t i) const;
  // The parameter as a whole number; `fallback` when absent or not a number. Values are clamped to
  // +-1e9 so that arithmetic on them cannot overflow.
  int Int(std::size_t i, int fallback) const;
  double Real(std::size_t i, double fallback) const;
  char Letter(std::size_t i, char fallback) const;  // first character, upper case
  std::size_t size() const { return items_.size(); }

 private:
  std::vector<std::string> items_;
};

// 1-based line and column of byte offsets in the data.
class Positions {
 public:
  explicit Positions(std::string_view data);
  NotDrawn Make(std::string command, std::size_t offset, std::size_t length, std::string reason) const;

 private:
  std::vector<std::size_t> lineStarts_;
};

// Bytes as text: UTF-8 when `utf8`, else each byte one character (Latin-1).
std::u32string DecodeText(std::string_view bytes, bool utf8);
std::string EncodeUtf8(const std::u32string& text);

// The default label side in dots: 4 x 6 inches at the resolution.
int InchesToDots(double inches, int dotsPerMm);

// A barcode symbol with its interpretation line (when `text` is set) below the bars, or above them
// when `above`. `barsBottom` is where the bars end (the barcode's base). Its dots are charged to
// the budget. False with a reason.
bool BarcodeStamp(const barcode::Request& request, const TextStyle* text, bool above, Budget& budget, Stamp* stamp,
                  int* barsBottom, std::string* error);

}  // namespace tw::preview
