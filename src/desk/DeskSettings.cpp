// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/DeskSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include "core/AppPaths.h"

namespace tw {
namespace {

QSettings DeskFile() {
  return QSettings(QString::fromStdString((SettingsDir() / "desk.ini").string()), QSettings::IniFormat);
}

// A kind's key: letters and digits only, so that any filter text makes a valid key.
QString FolderKey(const QString& kind) {
  QString key;
  for (QChar c : kind) key += c.isLetterOrNumber() ? c : u'_';
  return QStringLiteral("Folders/") + key;
}

}  // namespace

std::filesystem::path SettingsDir() { return UserLibDir().parent_path(); }

QByteArray DeskValue(const QString& key, const QByteArray& fallback) {
  return DeskFile().value(key, fallback).toByteArray();
}

void SetDeskValue(const QString& key, const QByteArray& value) { DeskFile().setValue(key, value); }

bool KeepSendPages() { return DeskValue(QStringLiteral("SendPages/Keep"), "1") != "0"; }

void SetKeepSendPages(bool keep) { SetDeskValue(QStringLiteral("SendPages/Keep"), keep ? "1" : "0"); }

QString StartFolder(const QString& kind) {
  const QString remembered = QString::fromUtf8(DeskValue(FolderKey(kind)));
  if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) return remembered;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void RememberFolder(const QString& kind, const QString& chosenFile) {
  if (chosenFile.isEmpty()) return;
  SetDeskValue(FolderKey(kind), QFileInfo(chosenFile).absolutePath().toUtf8());
}

}  // namespace tw
