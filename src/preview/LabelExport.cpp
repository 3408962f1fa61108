// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/LabelExport.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cstring>

namespace tw::preview {

QImage ToImage(const LabelImage& label) {
  QImage image(label.width(), label.height(), QImage::Format_Mono);
  if (image.isNull()) return image;
  image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});  // bit 1 = black, as in the label
  for (int y = 0; y < label.height(); ++y) {
    std::memcpy(image.scanLine(y), label.bits().data() + static_cast<std::size_t>(y) * label.bytesPerRow(),
                label.bytesPerRow());
  }
  return image;
}

std::vector<QString> ExportNames(const QString& path, int labels) {
  if (labels <= 1) return {path};
  const QFileInfo info(path);
  const QString stem = info.path() + "/" + info.completeBaseName();
  std::vector<QString> names;
  for (int i = 1; i <= labels; ++i) names.push_back(QString("%1-%2.%3").arg(stem).arg(i).arg(info.suffix()));
  return names;
}

bool ExportLabels(const std::vector<Label>& labels, const QString& path, int dotsPerMm, QString* error) {
  const auto fail = [&](const QString& name) {
    *error = QString("%1 cannot be written").arg(name);
    return false;
  };
  const bool anyDrawn = std::any_of(labels.begin(), labels.end(), [](const Label& label) { return !label.image.empty(); });
  if (!anyDrawn) {
    *error = QString("no label was drawn: %1 is not written").arg(path);
    return false;
  }
  if (QFileInfo(path).suffix().compare("pdf", Qt::CaseInsensitive) == 0) {
    QPdfWriter writer(path);
    writer.setResolution(static_cast<int>(dotsPerMm * 25.4 + 0.5));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    // Page N is label N: a label not drawn gets a blank page the size of the page before it (4 x 6
    // inches for a first page).
    QSizeF millimetres(4 * 25.4, 6 * 25.4);
    for (std::size_t i = 0; i < labels.size(); ++i) {
      const LabelImage& image = labels[i].image;
      if (!image.empty()) millimetres = QSizeF(image.width() / double(dotsPerMm), image.height() / double(dotsPerMm));
      writer.setPageSize(QPageSize(millimetres, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
      if (i == 0 ? !painter.begin(&writer) : !writer.newPage()) return fail(path);
      if (!image.empty()) painter.drawImage(QRectF(0, 0, image.width(), image.height()), ToImage(image));
    }
    if (!painter.end()) return fail(path);
    return true;
  }
  // Numbered by the label's place in the data, so that OUT-2.png is always the second label; a
  // label not drawn has no file.
  const std::vector<QString> names = ExportNames(path, static_cast<int>(labels.size()));
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (!labels[i].image.empty() && !ToImage(labels[i].image).save(names[i], "PNG")) return fail(names[i]);
  }
  return true;
}

}  // namespace tw::preview
