// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program keeps of the user's desk between runs, in the user's settings folder
// ($XDG_CONFIG_HOME/tagwright, default ~/.config/tagwright): the main window's size and splitter,
// whether the send pages are kept, and the folder last used for each kind of file. The file is the
// program's own (desk.ini); the port files of lib/ keep their own rules.
#include <QByteArray>
#include <QString>
#include <filesystem>

namespace tw {

// The user's settings folder (created when something is written into it).
std::filesystem::path SettingsDir();

// A value of desk.ini; `fallback` when it is not there.
QByteArray DeskValue(const QString& key, const QByteArray& fallback = {});
void SetDeskValue(const QString& key, const QByteArray& value);

// Keeping the send pages between runs: on unless the user turned it off (label data often holds
// customers' names and addresses).
bool KeepSendPages();
void SetKeepSendPages(bool keep);

// The folder a file dialog of a kind opens in: the one last used for that kind when it still exists,
// else the user's documents folder, else the home folder.
QString StartFolder(const QString& kind);
void RememberFolder(const QString& kind, const QString& chosenFile);

}  // namespace tw
