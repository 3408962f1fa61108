// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ZxingDecode.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

namespace tw::test {

Decoded ZxingDecode(int width, int height, const std::vector<uint8_t>& dots, int margin) {
  Decoded decoded;
  if (width <= 0 || height <= 0 || dots.size() < size_t(width) * size_t(height)) return decoded;
  const int paddedWidth = width + 2 * margin;
  const int paddedHeight = height + 2 * margin;
  std::vector<uint8_t> luminance(size_t(paddedWidth) * size_t(paddedHeight), 255);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (dots[size_t(y) * size_t(width) + size_t(x)])
        luminance[size_t(y + margin) * size_t(paddedWidth) + size_t(x + margin)] = 0;

  ZXing::DecodeHints hints;
  hints.setTryHarder(true);
  hints.setTryRotate(true);
  hints.setTryDownscale(false);
  hints.setEanAddOnSymbol(ZXing::EanAddOnSymbol::Ignore);
  const ZXing::ImageView image(luminance.data(), paddedWidth, paddedHeight, ZXing::ImageFormat::Lum);
  const ZXing::Result result = ZXing::ReadBarcode(image, hints);
  if (!result.isValid()) return decoded;
  decoded.ok = true;
  decoded.text = result.text();
  decoded.bytes.assign(result.bytes().begin(), result.bytes().end());
  decoded.format = ZXing::ToString(result.format());
  decoded.symbologyId = result.symbologyIdentifier();
  return decoded;
}

}  // namespace tw::test
