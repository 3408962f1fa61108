// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Label images as QImage, and their export: PNG (one pixel per dot, black on white; OUT.png for one
// label, OUT-1.png, OUT-2.png ... for several) or PDF (one page per label at its printed size).
#include <QImage>
#include <QString>
#include <vector>

#include "preview/LabelImage.h"
#include "preview/Preview.h"

namespace tw::preview {

QImage ToImage(const LabelImage& label);

// The file names the labels are written to: `path` for one label, numbered for several.
std::vector<QString> ExportNames(const QString& path, int labels);

// Writes the labels; the extension of `path` chooses PNG or PDF. A PDF has a page for every label
// (blank for one not drawn), PNGs a file for every drawn label. False with the reason when a file
// cannot be written or no label was drawn.
bool ExportLabels(const std::vector<Label>& labels, const QString& path, int dotsPerMm, QString* error);

}  // namespace tw::preview
