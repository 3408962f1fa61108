// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/Language.h"

#include <QByteArrayView>
#include <QLocale>
#include <QStringDecoder>
#include <array>
#include <atomic>

#include "core/AppPaths.h"

namespace tw {
namespace {

std::atomic<int> g_currentLanguage{kLanguageEnglish};

bool IsLanguageIndex(int index) { return index >= kLanguageSimplified && index <= kLanguageEnglish; }

constexpr std::array<const char*, 3> kLanguageFileNames = {"Simple.lan", "Traditional.lan", "English.lan"};

constexpr int kLangIdEnglishUs = 1033;
constexpr int kLangIdChineseTaiwan = 1028;
constexpr int kLangIdChinesePrc = 2052;

struct TerritoryLangId {
  QLocale::Territory territory;
  int langId;
};
constexpr std::array<TerritoryLangId, 4> kChineseTerritories = {{
    {QLocale::China, kLangIdChinesePrc},
    {QLocale::Taiwan, kLangIdChineseTaiwan},
    {QLocale::HongKong, 3076},
    {QLocale::Singapore, 4100},
}};

QString Decode(QStringDecoder& decoder, std::string_view bytes) {
  return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// The whole file is one piece: a stateless decoder takes an unfinished sequence at its end as an
// error instead of keeping it for more bytes that never come.
bool IsValidUtf8(std::string_view bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  // The decoding runs when its result becomes a QString; only then is an error known.
  const QString decoded = Decode(decoder, bytes);
  return !decoder.hasError();
}

}  // namespace

int CurrentLanguage() { return g_currentLanguage.load(); }

// An index outside 0..2 cannot name a file; it selects English, the language of last resort.
void SetCurrentLanguage(int index) { g_currentLanguage.store(IsLanguageIndex(index) ? index : kLanguageEnglish); }

int LanguageForLangId(int langId) {
  switch (langId) {
    case 1028:
    case 3076:
    case 4100: return kLanguageTraditional;
    case 2052: return kLanguageSimplified;
    default: return kLanguageEnglish;
  }
}

int LangIdForLocale(const QLocale& locale) {
  if (locale.language() != QLocale::Chinese) return kLangIdEnglishUs;
  for (const TerritoryLangId& entry : kChineseTerritories) {
    if (entry.territory == locale.territory()) return entry.langId;
  }
  return locale.script() == QLocale::TraditionalHanScript ? kLangIdChineseTaiwan : kLangIdChinesePrc;
}

int SystemLangId() { return LangIdForLocale(QLocale::system()); }

std::filesystem::path LanguageFilePath(int index) {
  return DataDir() / "Language" / kLanguageFileNames[IsLanguageIndex(index) ? index : kLanguageEnglish];
}

IniDocument LoadLanguageFile(const std::filesystem::path& path) {
  // IniDocument reads the file safely (regular files only, bounded size) and gives its bytes back
  // unchanged, so the encoding is decided on the exact bytes of the file.
  return ParseLanguageFile(IniDocument::Load(path).Serialize());
}

IniDocument ParseLanguageFile(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return IniDocument::Parse(bytes);
  QStringDecoder gb18030("GB18030", QStringDecoder::Flag::Stateless);
  // Without a GB18030 codec the bytes stay as they are: names still match, Chinese texts will not show.
  if (!gb18030.isValid()) return IniDocument::Parse(bytes);
  return IniDocument::Parse(Decode(gb18030, bytes).toUtf8().toStdString());
}

QString LanguageText(const IniDocument& file, std::string_view section, std::string_view key,
                     const QString& fallback) {
  const std::optional<std::string> value = file.Find(section, key);
  return value ? QString::fromStdString(*value) : fallback;
}

}  // namespace tw
