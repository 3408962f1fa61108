// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/LabelExport.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
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

bool ExportLabels(const std::vector<LabelImage>& labels, const QString& path, int dotsPerMm, QString* error) {
  std::vector<const LabelImage*> drawn;
  for (const LabelImage& label : labels) {
    if (!label.empty()) drawn.push_back(&label);
  }
  if (QFileInfo(path).suffix().compare("pdf", Qt::CaseInsensitive) == 0) {
    QPdfWriter writer(path);
    writer.setResolution(static_cast<int>(dotsPerMm * 25.4 + 0.5));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
      const QSizeF millimetres(drawn[i]->width() / double(dotsPerMm), drawn[i]->height() / double(dotsPerMm));
      writer.setPageSize(QPageSize(millimetres, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
      if (i == 0 ? !painter.begin(&writer) : !writer.newPage()) {
        *error = QString("%1 cannot be written").arg(path);
        return false;
      }
      painter.drawImage(QRectF(0, 0, drawn[i]->width(), drawn[i]->height()), ToImage(*drawn[i]));
    }
    if (painter.isActive()) painter.end();
    return true;
  }
  // Numbered by the label's place in the data, so that OUT-2.png is always the second label.
  const std::vector<QString> names = ExportNames(path, static_cast<int>(labels.size()));
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (!labels[i].empty() && !ToImage(labels[i]).save(names[i], "PNG")) {
      *error = QString("%1 cannot be written").arg(names[i]);
      return false;
    }
  }
  return true;
}

}  // namespace tw::preview
