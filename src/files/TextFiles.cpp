// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/TextFiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "lang/MessageCatalog.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

void SayFileFailed(std::string_view key, const QString& path, const QString& reason) {
  ShowMessageQ(Tip(key) + QDir::toNativeSeparators(path) + QStringLiteral("\n") + reason,
               QString::fromUtf8(kApplicationTitle), MsgIcon::Error);
}

}  // namespace

QString WithTextFileName(const QString& path) {
  const QFileInfo info(path);
  QString name = info.fileName().toLower();
  if (!name.endsWith(QStringLiteral(".txt"))) name += QStringLiteral(".txt");
  return info.dir().filePath(name);
}

QString AskTextSavePath(const TFileDialog& dialog, QWidget* parent) {
  int filterIndex = 1;
  const QString chosen = dialog.Execute(parent, &filterIndex);
  if (chosen.isEmpty() || filterIndex != 1) return chosen;
  const QString path = WithTextFileName(chosen);
  if (path != chosen && dialog.overwritePrompt && QFileInfo::exists(path) &&
      ShowMessageQ(Tip("FileReplace") + QDir::toNativeSeparators(path), kApplicationTitle, MsgIcon::Question,
                   MsgButtons::OkCancel) != MsgAnswer::Ok)
    return {};
  return path;
}

bool WriteFileOrSay(const QString& path, std::string_view bytes) {
  QFile file(path);
  const auto size = static_cast<qint64>(bytes.size());
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes.data(), size) == size &&
      file.flush()) {
    file.close();
    if (file.error() == QFileDevice::NoError) return true;
  }
  SayFileFailed("FileWriteFail", path, file.errorString());
  return false;
}

void SayFileReadFailed(const QString& path, const QString& reason) { SayFileFailed("FileReadFail", path, reason); }

}  // namespace tw
