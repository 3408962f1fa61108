// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/FileDialogSpec.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <mutex>

#include "desk/DeskSettings.h"

namespace tw {
namespace {
std::mutex g_mutex;
FileChooser g_chooser;

FileChoice RealChooser(const TFileDialog& dialog, QWidget* parent) {
  const QStringList filters = TFileDialog::ToQtNameFilters(dialog.filter());
  QFileDialog box(parent, dialog.title, dialog.startFolder());
  box.setNameFilters(filters);
  if (dialog.mode() == TFileDialog::Mode::Folder) {
    box.setFileMode(QFileDialog::Directory);
    box.setOption(QFileDialog::ShowDirsOnly);
  } else if (dialog.mode() == TFileDialog::Mode::Save) {
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setFileMode(QFileDialog::AnyFile);
    if (!dialog.overwritePrompt) box.setOption(QFileDialog::DontConfirmOverwrite);
    box.setDefaultSuffix(dialog.defaultSuffix);
  } else {
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
  }
  if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return {QString(), 1};
  return {box.selectedFiles().first(), static_cast<int>(filters.indexOf(box.selectedNameFilter())) + 1};
}
}  // namespace

TFileDialog::TFileDialog(QObject* parent, const QString& name, Mode mode, const QString& filter)
    : QObject(parent), mode_(mode), filter_(filter) {
  setObjectName(name);
}

QString TFileDialog::Execute(QWidget* parent, int* filterIndex) const {
  FileChooser chooser;
  {
    std::lock_guard lock(g_mutex);
    chooser = g_chooser;
  }
  FileChoice choice = chooser ? chooser(*this, parent) : RealChooser(*this, parent);
  // A chosen folder is itself the one to open in next time; a chosen file's folder holds it.
  RememberFolder(kind(), mode_ == Mode::Folder && !choice.path.isEmpty() ? choice.path + u'/' : choice.path);
  if (filterIndex) *filterIndex = choice.filterIndex < 1 ? 1 : choice.filterIndex;
  if (!choice.path.isEmpty() && !defaultSuffix.isEmpty() && QFileInfo(choice.path).suffix().isEmpty()) {
    return choice.path + u'.' + defaultSuffix;
  }
  return choice.path;
}

QString TFileDialog::kind() const {
  if (mode_ == Mode::Folder) return QStringLiteral("folder:") + objectName();
  const QStringList parts = filter_.split(QLatin1Char('|'));
  QStringList patterns;
  for (int i = 1; i < parts.size(); i += 2) patterns << parts[i].trimmed();
  return patterns.join(u' ');
}

QString TFileDialog::startFolder() const { return StartFolder(kind()); }

QStringList TFileDialog::ToQtNameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString label = parts[i].trimmed();
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // Qt reads the patterns from the last parentheses of a name filter, so the label keeps its
    // own text and the patterns follow it.
    const int open = static_cast<int>(label.indexOf(QLatin1Char('(')));
    if (open > 0) label = label.left(open).trimmed();
    filters << QStringLiteral("%1 (%2)").arg(label, patterns.trimmed());
  }
  return filters;
}

std::filesystem::path LocalFilePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

void SetFileChooser(FileChooser chooser) {
  std::lock_guard lock(g_mutex);
  g_chooser = std::move(chooser);
}

}  // namespace tw
