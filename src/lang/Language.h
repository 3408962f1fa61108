// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The current language and its file: Language/Simple.lan, Traditional.lan or English.lan beside the
// program. Language files are INI files in UTF-8; a file that is not valid UTF-8 is read as GB18030,
// so files written in the old Chinese code page still work.
#include <QString>
#include <filesystem>
#include <string>

#include "core/Ini.h"

class QLocale;

namespace tw {

enum : int { kLanguageSimplified = 0, kLanguageTraditional = 1, kLanguageEnglish = 2 };

// The process-wide language index (0, 1 or 2); English until the main window chooses.
int CurrentLanguage();
void SetCurrentLanguage(int index);

// The language for a Windows language identifier: 1028, 3076, 4100 -> Traditional; 2052 ->
// Simplified; anything else -> English.
int LanguageForLangId(int langId);
// The system locale as a Windows language identifier: zh_CN 2052, zh_TW 1028, zh_HK 3076,
// zh_SG 4100, anything else 1033.
int SystemLangId();
// The same for any locale; other Chinese locales follow their script: Traditional 1028, else 2052.
int LangIdForLocale(const QLocale& locale);

// <program>/Language/<file of the index>.
std::filesystem::path LanguageFilePath(int index);
inline std::filesystem::path CurrentLanguageFile() { return LanguageFilePath(CurrentLanguage()); }

// The file's text as UTF-8 (converted from GB18030 when it is not valid UTF-8), parsed; a missing
// file gives an empty document.
IniDocument LoadLanguageFile(const std::filesystem::path& path);
// The same for a file's bytes.
IniDocument ParseLanguageFile(std::string_view bytes);
// A value as a QString; `fallback` when the section or key is missing.
QString LanguageText(const IniDocument& file, std::string_view section, std::string_view key,
                     const QString& fallback = QString());

}  // namespace tw
