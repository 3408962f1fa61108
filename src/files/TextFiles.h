// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files of the send and receive areas: the name rule of the text-file filter, whole-file writes, and
// the messages when a file cannot be read or written.
#include <QString>
#include <string_view>

class QWidget;

namespace tw {

// With the text-file filter (the first one) the file name is lower-cased and gets ".txt" unless it
// ends in it. Only the name changes: the folders keep their case, which matters on this file system.
QString WithTextFileName(const QString& path);

class TFileDialog;
// Runs a save dialog whose first filter is the text-file filter and applies the name rule. When the
// rule renamed the file and the renamed one exists, asks before it is replaced (the dialog asked only
// about the name chosen). Empty when the user cancelled.
QString AskTextSavePath(const TFileDialog& dialog, QWidget* parent);

// Creates or truncates the file and writes the bytes; true when every byte was written. Otherwise a
// message names the file and the cause (the Tips texts FileWriteFail and FileReadFail).
bool WriteFileOrSay(const QString& path, std::string_view bytes);
void SayFileReadFailed(const QString& path, const QString& reason);

}  // namespace tw
