// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// INI files with the rules of the Windows profile functions: section and key names match without
// regard to letter case (ASCII letters only), blanks around names and values are removed, a value
// wholly in matching quotes (single or double) loses them, at most 2047 characters of a value are
// read, integers are decimal or "0x" hexadecimal. Lines beginning with ';' are comments, lines without
// '=' are ignored, and the first matching section and the first matching key in it win.
//
// Texts are 8-bit bytes passed through unchanged; names and values may hold UTF-8 or GB18030 Chinese.
// Letter case is folded only for ASCII letters that stand alone, never for the second byte of a
// GB18030 character, and a value is never cut inside a character.
//
// Writes keep every other line of the file byte for byte (including its CR LF or LF line ends and a
// UTF-8 byte order mark) and replace the file atomically.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// Thrown when an INI file cannot be written; what() is "Unable to write to <path>".
class IniWriteError : public std::runtime_error {
 public:
  explicit IniWriteError(const std::filesystem::path& path);
};

inline constexpr std::size_t kIniValueLimit = 2047;
// Larger files are not INI files of this program; they read as unreadable instead of filling memory.
inline constexpr std::size_t kIniFileLimit = 16 * 1024 * 1024;

// Reads a whole number the way the profile functions do: decimal with an optional sign, or
// hexadecimal when the text has at least three characters and begins with "0x"/"0X". Anything that
// is not a whole number that fits an int (blanks, "12abc", "", overflow) gives nullopt.
std::optional<int> ParseIniInteger(std::string_view text);

// One INI file held in memory, with its lines kept as they were so that a write changes only the
// line of the key it writes.
class IniDocument {
 public:
  IniDocument() = default;
  static IniDocument Parse(std::string_view text);
  // A missing or unreadable file gives an empty document.
  static IniDocument Load(const std::filesystem::path& path);
  // For a read-modify-write: a missing file gives an empty document, but a file that exists and
  // cannot be read throws IniWriteError, so that a write never replaces content it could not see.
  static IniDocument LoadForUpdate(const std::filesystem::path& path);

  // The value with the read rules applied; nullopt when the section or key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback) const;
  // The fallback also when the value is not a whole number.
  int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
  bool HasSection(std::string_view section) const;
  // Key names of a section in file order (first spelling of each).
  std::vector<std::string> Keys(std::string_view section) const;

  // Sets a key, adding the section and/or key at the end when missing; the rest stays as it was.
  // The value is stored unchanged up to its first line break (an INI line holds one line of text).
  // Names are trimmed; throws std::invalid_argument for a name that cannot be stored so that it
  // reads back (empty, holding a line break, a key holding '=' or beginning with ';' or '[').
  void Write(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);

  std::string Serialize() const;
  // Writes the document to a temporary file beside path, flushes it to disk and renames it over
  // path (the target of a symbolic link is replaced, the link stays). The folder is not created.
  // Throws IniWriteError; the existing file is untouched on failure.
  void Save(const std::filesystem::path& path) const;

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n", or "" for a last line without one
  };
  // Index of the header line of the first section with this name.
  std::optional<std::size_t> FindSectionHeader(std::string_view section) const;
  // One past the last line of the section whose header is at `header`.
  std::size_t SectionEnd(std::size_t header) const;
  std::optional<std::size_t> FindKeyLine(std::size_t header, std::string_view key) const;
  void InsertLine(std::size_t position, std::string text);
  std::string NewLineEnd() const;

  bool byteOrderMark_ = false;
  std::vector<Line> lines_;
};

// One-shot helpers: open the file, read or write one key, close it (nothing is cached).
std::string ReadIniString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                          std::string_view fallback);
int ReadIniInteger(const std::filesystem::path& path, std::string_view section, std::string_view key, int fallback);
// Throws IniWriteError.
void WriteIniString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                    std::string_view value);

}  // namespace tw
