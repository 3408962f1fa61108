// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decodes JPEG pictures (the wizard banners, the about box) with libjpeg into QImages.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace tw {

// Decodes JPEG bytes. A damaged or truncated picture gives a null image, never a crash: libjpeg's
// fatal errors are turned into a failed result, and its warnings are not printed.
QImage DecodeJpeg(const QByteArray& bytes);
// Decodes a JPEG file or Qt resource (":/..."); a null image when it cannot be read or decoded.
QImage LoadJpeg(const QString& path);

}  // namespace tw
