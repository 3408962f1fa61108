#pragma once
// Files of the send and receive areas: the name rule of the text-file filter, whole-file writes, and
// the messages when a file cannot be read or written.
#include <QString>
#include <string_view>

namespace tw {

// With the text-file filter (the first one) the file name is lower-cased and gets ".txt" unless it
// ends in it. Only the name changes: the folders keep their case, which matters on this file system.
QString WithTextFileName(const QString& path);

// Creates or truncates the file and writes the bytes; true when every byte was written. Otherwise a
// message names the file and the cause (the Tips texts FileWriteFail and FileReadFail).
bool WriteFileOrSay(const QString& path, std::string_view bytes);
void SayFileReadFailed(const QString& path, const QString& reason);

}  // namespace tw
