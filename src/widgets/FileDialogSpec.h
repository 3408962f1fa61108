// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file open or save dialog as a named component of a window: it carries the filter that the
// relabelling replaces (key "<name>.Filter", in the form "Text files(*.txt)|*.txt|All files(*.*)|*.*"),
// and runs through the file chooser seam so that tests can answer it.
#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>

namespace tw {

class TFileDialog : public QObject {
  Q_OBJECT
 public:
  // Folder: chooses an existing folder; its kind is the dialog's name, as it has no patterns.
  enum class Mode { Open, Save, Folder };
  TFileDialog(QObject* parent, const QString& name, Mode mode, const QString& filter);
  Mode mode() const { return mode_; }
  QString filter() const { return filter_; }  // the "a|b|c|d" form
  void setFilter(const QString& filter) { filter_ = filter; }
  QString title;
  bool overwritePrompt = true;  // save dialogs ask before overwriting
  // Added (after a dot) to a chosen file name that has no extension; empty: nothing is added.
  QString defaultSuffix;

  // Shows the dialog; the chosen path, or empty when cancelled. `filterIndex` gets the 1-based
  // position of the filter the user picked.
  QString Execute(QWidget* parent, int* filterIndex = nullptr) const;

  // The folder the dialog opens in: the one last used for files of its kind (the same patterns in its
  // filter, whatever their language; a folder dialog: the folder last chosen), else the user's
  // documents folder.
  QString startFolder() const;
  QString kind() const;

  // "Text files(*.txt)|*.txt|All files(*.*)|*.*" -> {"Text files (*.txt)", "All files (*.*)"}.
  static QStringList ToQtNameFilters(const QString& filter);

 private:
  Mode mode_;
  QString filter_;
};

// A chosen file name as the file system takes it: in the locale's file-name encoding
// (QFile::encodeName), the one rule for every file the windows open or create.
std::filesystem::path LocalFilePath(const QString& path);

// The file chooser seam: tests install a function that answers in place of the user.
struct FileChoice {
  QString path;      // empty: cancelled
  int filterIndex;   // 1-based
};
using FileChooser = std::function<FileChoice(const TFileDialog& dialog, QWidget* parent)>;
void SetFileChooser(FileChooser chooser);  // empty restores the real dialogs

}  // namespace tw
