// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <random>

namespace tw {
namespace {

namespace fs = std::filesystem;

// A stray CR (a line end written twice, an old Mac line end) counts as a blank at a line's end.
constexpr std::string_view kBlanks = " \t\r";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineBreaks = "\r\n";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

unsigned char ByteAt(std::string_view text, std::size_t index) {
  return index < text.size() ? static_cast<unsigned char>(text[index]) : 0;
}

// Structural UTF-8 check: every lead byte is followed by its continuation bytes. Enough to know that
// every byte below 0x80 is a character of its own.
bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = ByteAt(text, i);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else if (lead >= 0x80) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((ByteAt(text, i + k) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// Length of the character at text[index]: UTF-8 when the whole text is UTF-8, else GB18030, whose
// second byte may be an ASCII letter or ']' (so such a byte is not a character of its own).
std::size_t CharacterLength(std::string_view text, std::size_t index, bool utf8) {
  const unsigned char lead = ByteAt(text, index);
  if (utf8) return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (lead < 0x81 || lead == 0xFF) return 1;
  const unsigned char second = ByteAt(text, index + 1);
  if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE)) return 2;
  const auto isDigit = [](unsigned char c) { return c >= 0x30 && c <= 0x39; };
  const unsigned char third = ByteAt(text, index + 2);
  if (isDigit(second) && third >= 0x81 && third <= 0xFE && isDigit(ByteAt(text, index + 3))) return 4;
  return 1;
}

// Names compare with ASCII letters folded to upper case, each only where it is a character of its own.
std::string FoldName(std::string_view name) {
  std::string folded(name);
  const bool utf8 = IsUtf8(name);
  for (std::size_t i = 0; i < folded.size();) {
    const std::size_t length = CharacterLength(name, i, utf8);
    if (length == 1 && folded[i] >= 'a' && folded[i] <= 'z') folded[i] = static_cast<char>(folded[i] - 'a' + 'A');
    i += length;
  }
  return folded;
}

// The longest prefix of at most `limit` bytes that does not end inside a character.
std::string_view CutToCharacters(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  const bool utf8 = IsUtf8(text);
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t next = end + CharacterLength(text, end, utf8);
    if (next > limit) break;
    end = next;
  }
  return text.substr(0, end);
}

struct LineParts {
  enum class Kind { Other, Section, Entry };
  Kind kind = Kind::Other;
  std::string_view name;   // trimmed section or key name
  std::string_view value;  // the raw text after the first '='
};

LineParts Classify(std::string_view text) {
  const std::string_view line = text.substr(std::min(text.find_first_not_of(kBlanks), text.size()));
  if (line.empty() || line.front() == ';') return {};
  if (line.front() == '[') {
    // The last ']' closes the name, so a name may hold ']' (also as the second byte of a character).
    const auto close = line.rfind(']');
    if (close == std::string_view::npos) return {};
    return {LineParts::Kind::Section, Trim(line.substr(1, close - 1)), {}};
  }
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return {};
  const std::string_view name = Trim(line.substr(0, equals));
  if (name.empty()) return {};
  return {LineParts::Kind::Entry, name, line.substr(equals + 1)};
}

std::string ValueAsRead(std::string_view raw) {
  std::string_view value = Trim(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(CutToCharacters(value, kIniValueLimit));
}

void CheckStorableNames(std::string_view section, std::string_view key) {
  if (section.empty() || key.empty()) throw std::invalid_argument("INI section and key names must not be empty");
  if (section.find_first_of(kLineBreaks) != std::string_view::npos ||
      key.find_first_of("\r\n=") != std::string_view::npos || key.front() == ';' || key.front() == '[') {
    throw std::invalid_argument("INI name cannot be stored: " + std::string(section) + "/" + std::string(key));
  }
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded (a late write error shows here).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

enum class ReadStatus { Ok, Missing, Unreadable };

// Reads a regular file of at most kIniFileLimit bytes. O_NONBLOCK keeps a FIFO at the path from
// blocking the open; anything but a regular file is unreadable.
ReadStatus ReadWholeFile(const fs::path& path, std::string& bytes) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) return errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : ReadStatus::Unreadable;
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::size_t>(info.st_size) > kIniFileLimit) {
    return ReadStatus::Unreadable;
  }
  bytes.clear();
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return ReadStatus::Unreadable;
    if (count == 0) return ReadStatus::Ok;
    bytes.append(buffer, static_cast<std::size_t>(count));
    if (bytes.size() > kIniFileLimit) return ReadStatus::Unreadable;
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// Creates a new file beside `target` whose name no other file has. Mode 0666 so that the process's
// umask applies as it would to any new file.
int CreateTemporaryFile(const fs::path& target, std::string& tempPath) {
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    tempPath = (target.parent_path() / ("." + target.filename().string() + "." + std::to_string(random()) + ".tmp"))
                   .string();
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Flushes the folder entry of the rename; a failure here does not undo the write.
void SyncFolder(const fs::path& folder) {
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace

IniWriteError::IniWriteError(const std::filesystem::path& path)
    : std::runtime_error("Unable to write to " + path.string()) {}

std::optional<int> ParseIniInteger(std::string_view text) {
  const bool hex = text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  bool negative = false;
  std::string_view digits = text;
  if (hex) {
    digits.remove_prefix(2);
  } else if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  // from_chars would accept a sign of its own here ("+-1", "0x-1").
  const unsigned char first = ByteAt(digits, 0);
  if (!(first >= '0' && first <= '9') && !(hex && std::isxdigit(first))) return std::nullopt;
  long long value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
  if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

IniDocument IniDocument::Parse(std::string_view text) {
  IniDocument document;
  if (text.starts_with(kByteOrderMark)) {
    document.byteOrderMark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  while (!text.empty()) {
    const auto newline = text.find('\n');
    if (newline == std::string_view::npos) {
      document.lines_.push_back({std::string(text), ""});
      break;
    }
    std::string_view line = text.substr(0, newline);
    const bool crlf = line.ends_with('\r');
    if (crlf) line.remove_suffix(1);
    document.lines_.push_back({std::string(line), crlf ? "\r\n" : "\n"});
    text.remove_prefix(newline + 1);
  }
  return document;
}

IniDocument IniDocument::Load(const std::filesystem::path& path) {
  std::string bytes;
  return ReadWholeFile(path, bytes) == ReadStatus::Ok ? Parse(bytes) : IniDocument{};
}

IniDocument IniDocument::LoadForUpdate(const std::filesystem::path& path) {
  std::string bytes;
  switch (ReadWholeFile(path, bytes)) {
    case ReadStatus::Ok: return Parse(bytes);
    case ReadStatus::Missing: return {};
    case ReadStatus::Unreadable: break;
  }
  throw IniWriteError(path);
}

std::optional<std::size_t> IniDocument::FindSectionHeader(std::string_view section) const {
  const std::string wanted = FoldName(Trim(section));
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const LineParts parts = Classify(lines_[i].text);
    if (parts.kind == LineParts::Kind::Section && FoldName(parts.name) == wanted) return i;
  }
  return std::nullopt;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
  std::size_t end = header + 1;
  while (end < lines_.size() && Classify(lines_[end].text).kind != LineParts::Kind::Section) ++end;
  return end;
}

std::optional<std::size_t> IniDocument::FindKeyLine(std::size_t header, std::string_view key) const {
  const std::string wanted = FoldName(Trim(key));
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const LineParts parts = Classify(lines_[i].text);
    if (parts.kind == LineParts::Kind::Entry && FoldName(parts.name) == wanted) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
  const auto header = FindSectionHeader(section);
  if (!header) return std::nullopt;
  const auto line = FindKeyLine(*header, key);
  if (!line) return std::nullopt;
  return ValueAsRead(Classify(lines_[*line].text).value);
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key, std::string_view fallback) const {
  auto value = Find(section, key);
  return value ? std::move(*value) : std::string(fallback);
}

int IniDocument::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
  const auto value = Find(section, key);
  if (!value) return fallback;
  return ParseIniInteger(*value).value_or(fallback);
}

bool IniDocument::HasSection(std::string_view section) const { return FindSectionHeader(section).has_value(); }

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  const auto header = FindSectionHeader(section);
  if (!header) return keys;
  std::vector<std::string> seen;  // folded
  const std::size_t end = SectionEnd(*header);
  for (std::size_t i = *header + 1; i < end; ++i) {
    const LineParts parts = Classify(lines_[i].text);
    if (parts.kind != LineParts::Kind::Entry) continue;
    std::string folded = FoldName(parts.name);
    if (std::find(seen.begin(), seen.end(), folded) != seen.end()) continue;
    seen.push_back(std::move(folded));
    keys.emplace_back(parts.name);
  }
  return keys;
}

std::string IniDocument::NewLineEnd() const {
  for (const Line& line : lines_) {
    if (!line.end.empty()) return line.end;
  }
  return "\r\n";
}

void IniDocument::InsertLine(std::size_t position, std::string text) {
  const std::string end = NewLineEnd();
  // Only the last line can lack a line end; a line that gets a successor needs one.
  if (position > 0 && lines_[position - 1].end.empty()) lines_[position - 1].end = end;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(position), Line{std::move(text), end});
}

void IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view sectionName = Trim(section);
  const std::string_view keyName = Trim(key);
  CheckStorableNames(sectionName, keyName);
  const std::string_view firstLine = value.substr(0, value.find_first_of(kLineBreaks));

  const auto header = FindSectionHeader(sectionName);
  if (!header) {
    if (!lines_.empty() && !Trim(lines_.back().text).empty()) InsertLine(lines_.size(), "");
    InsertLine(lines_.size(), "[" + std::string(sectionName) + "]");
    InsertLine(lines_.size(), std::string(keyName) + "=" + std::string(firstLine));
    return;
  }
  if (const auto line = FindKeyLine(*header, keyName)) {
    // The key keeps the spelling it has in the file.
    const std::string existingName(Classify(lines_[*line].text).name);
    lines_[*line].text = existingName + "=" + std::string(firstLine);
    return;
  }
  // After the section's last key, so that blank lines and comments before the next section stay there.
  std::size_t position = *header + 1;
  const std::size_t end = SectionEnd(*header);
  for (std::size_t i = *header + 1; i < end; ++i) {
    if (Classify(lines_[i].text).kind == LineParts::Kind::Entry) position = i + 1;
  }
  InsertLine(position, std::string(keyName) + "=" + std::string(firstLine));
}

void IniDocument::WriteInteger(std::string_view section, std::string_view key, int value) {
  Write(section, key, std::to_string(value));
}

std::string IniDocument::Serialize() const {
  std::string text(byteOrderMark_ ? kByteOrderMark : std::string_view{});
  for (const Line& line : lines_) {
    text += line.text;
    text += line.end;
  }
  return text;
}

void IniDocument::Save(const std::filesystem::path& path) const {
  std::error_code error;
  fs::path target = path;
  // Renaming over a symbolic link would replace the link; write its target instead.
  if (fs::is_symlink(path, error)) {
    target = fs::weakly_canonical(path, error);
    if (error) throw IniWriteError(path);
  }
  if (target.filename().empty()) throw IniWriteError(path);
  if (target.parent_path().empty()) target = fs::path(".") / target;

  std::string tempPath;
  FileDescriptor temp(CreateTemporaryFile(target, tempPath));
  if (temp.get() < 0) throw IniWriteError(path);
  struct stat existing {};
  const bool keepMode = ::stat(target.c_str(), &existing) == 0;
  bool written = WriteAll(temp.get(), Serialize()) &&
                 (!keepMode || ::fchmod(temp.get(), existing.st_mode & 07777) == 0) && ::fsync(temp.get()) == 0;
  written = temp.Close() && written;
  if (!written || std::rename(tempPath.c_str(), target.c_str()) != 0) {
    ::unlink(tempPath.c_str());
    throw IniWriteError(path);
  }
  SyncFolder(target.parent_path());
}

std::string ReadIniString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                          std::string_view fallback) {
  return IniDocument::Load(path).ReadString(section, key, fallback);
}

int ReadIniInteger(const std::filesystem::path& path, std::string_view section, std::string_view key, int fallback) {
  return IniDocument::Load(path).ReadInteger(section, key, fallback);
}

void WriteIniString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                    std::string_view value) {
  IniDocument document = IniDocument::LoadForUpdate(path);
  document.Write(section, key, value);
  document.Save(path);
}

}  // namespace tw
