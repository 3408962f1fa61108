// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG decoding through libjpeg: a picture made here decodes to its size and colours; damaged,
// truncated and foreign bytes give a null image without a crash.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include "support/TestSupport.h"
#include "widgets/JpegImage.h"

namespace tw {
namespace {

QByteArray EncodeJpeg(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  if (!writer.write(image)) return {};
  return bytes;
}

QImage TwoColourPicture() {
  QImage image(40, 16, QImage::Format_RGB888);
  image.fill(QColor(0x9c, 0xc8, 0xea));
  for (int y = 0; y < 16; ++y)
    for (int x = 20; x < 40; ++x) image.setPixelColor(x, y, Qt::white);
  return image;
}

bool Near(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 && std::abs(a.blue() - b.blue()) < 12;
}

TEST(JpegImage, DecodesSizeAndColours) {
  const QByteArray bytes = EncodeJpeg(TwoColourPicture());
  if (bytes.isEmpty()) GTEST_SKIP() << "Qt has no JPEG writer here";
  const QImage image = DecodeJpeg(bytes);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(40, 16));
  EXPECT_TRUE(Near(image.pixelColor(4, 8), QColor(0x9c, 0xc8, 0xea)));
  EXPECT_TRUE(Near(image.pixelColor(35, 8), Qt::white));
}

TEST(JpegImage, DamagedOrForeignBytesGiveANullImage) {
  const QByteArray good = EncodeJpeg(TwoColourPicture());
  if (good.isEmpty()) GTEST_SKIP() << "Qt has no JPEG writer here";
  EXPECT_TRUE(DecodeJpeg({}).isNull());
  EXPECT_TRUE(DecodeJpeg("not a picture").isNull());
  EXPECT_TRUE(DecodeJpeg(good.left(2)).isNull());
  // Cut inside the header: the header cannot be read.
  EXPECT_TRUE(DecodeJpeg(good.left(20)).isNull());
  // Cut inside the picture data: libjpeg completes it with grey, no crash, full size.
  const QImage truncated = DecodeJpeg(good.left(good.size() * 2 / 3));
  if (!truncated.isNull()) EXPECT_EQ(truncated.size(), QSize(40, 16));
  QByteArray scrambled = good;
  for (int i = 2; i < scrambled.size(); i += 7) scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5A);
  const QImage noise = DecodeJpeg(scrambled);  // noise or nothing, never a crash or another size
  EXPECT_TRUE(noise.isNull() || noise.size() == QSize(40, 16));
  test::TempDir folder;
  EXPECT_TRUE(LoadJpeg(QString::fromStdString((folder / "missing.jpg").string())).isNull());
  const auto path = folder.Write("picture.jpg", std::string(good.constData(), good.size()));
  EXPECT_EQ(LoadJpeg(QString::fromStdString(path.string())).size(), QSize(40, 16));
}

}  // namespace
}  // namespace tw
