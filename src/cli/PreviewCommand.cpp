// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PreviewCommand.h"

#include <QFileInfo>
#include <QString>
#include <fstream>
#include <iostream>
#include <iterator>

#include "preview/LabelExport.h"
#include "preview/Preview.h"

namespace tw {

std::string CheckPreviewArgs(const PreviewArgs& args) {
  if (!args.set.empty() && args.set != "z" && args.set != "e") return "--set takes z or e.";
  if (args.dotsPerMm != 6 && args.dotsPerMm != 8 && args.dotsPerMm != 12 && args.dotsPerMm != 24) {
    return "--dpmm takes 6, 8, 12 or 24.";
  }
  if (args.width < 0 || args.width > preview::kMaxLabelSide || args.length < 0 || args.length > preview::kMaxLabelSide) {
    return "--width and --length take 1 to 32000 dots.";
  }
  const QString suffix = QFileInfo(QString::fromStdString(args.output)).suffix().toLower();
  if (!args.output.empty() && suffix != "png" && suffix != "pdf") return "-o takes a file name ending in .png or .pdf.";
  return {};
}

int RunPreview(const PreviewArgs& args) {
  std::ifstream in(args.file, std::ios::binary);
  if (!in) {
    std::cerr << args.file << ": the file cannot be read.\n";
    return 1;
  }
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::optional<preview::CommandSet> set;
  if (args.set == "z") set = preview::CommandSet::Z;
  if (args.set == "e") set = preview::CommandSet::E;
  if (!set) set = preview::DetectCommandSet(data);
  if (!set) {
    std::cerr << args.file << ": no label in the file (neither ^XA nor an E label line).\n";
    return 1;
  }
  const preview::Result result = preview::Render(data, *set, {args.dotsPerMm, args.width, args.length});
  if (result.labels.empty()) {
    std::cerr << args.file << ": no label in the file.\n";
    return 1;
  }
  bool all = true;
  for (const preview::Label& label : result.labels) {
    for (const preview::NotDrawn& item : label.notDrawn) std::cerr << preview::Describe(item) << "\n";
    all = all && label.notDrawn.empty();
  }
  if (!args.output.empty()) {
    QString error;
    if (!preview::ExportLabels(result.labels, QString::fromStdString(args.output), args.dotsPerMm, &error)) {
      std::cerr << error.toStdString() << "\n";
      return 1;
    }
  }
  return all ? 0 : kExitNotAllDrawn;
}

}  // namespace tw
