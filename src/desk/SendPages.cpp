// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/SendPages.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "desk/DeskSettings.h"

namespace tw {
namespace {

constexpr std::string_view kHeader = "TWPAGES1";
constexpr std::size_t kLengthBytes = 4;
// Far above a page (the memo takes 262144 characters, three hex characters a byte): a length beyond
// it marks a damaged file rather than a page.
constexpr uint32_t kMaxPageBytes = 16u << 20;

QString QPath(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

}  // namespace

std::string EncodeSendPages(const KeptPages& kept) {
  std::string out(kHeader);
  out += static_cast<char>(kept.current);
  for (const KeptPage& page : kept.pages) {
    out += static_cast<char>(page.form);
    const auto length = static_cast<uint32_t>(page.bytes.size());
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((length >> shift) & 0xFF);
    out += page.bytes;
  }
  return out;
}

std::optional<KeptPages> DecodeSendPages(std::string_view bytes, std::size_t maxPages) {
  if (!bytes.starts_with(kHeader) || bytes.size() == kHeader.size()) return std::nullopt;
  KeptPages kept;
  kept.current = static_cast<uint8_t>(bytes[kHeader.size()]);
  bytes.remove_prefix(kHeader.size() + 1);
  std::vector<KeptPage>& pages = kept.pages;
  while (!bytes.empty()) {
    if (pages.size() == maxPages || bytes.size() < 1 + kLengthBytes) return std::nullopt;
    const auto form = static_cast<uint8_t>(bytes[0]);
    if (form > static_cast<uint8_t>(KeptPage::Form::HexAsTyped)) return std::nullopt;
    uint32_t length = 0;
    for (std::size_t i = 1; i <= kLengthBytes; ++i) length = (length << 8) | static_cast<uint8_t>(bytes[i]);
    bytes.remove_prefix(1 + kLengthBytes);
    if (length > kMaxPageBytes || length > bytes.size()) return std::nullopt;
    pages.push_back({static_cast<KeptPage::Form>(form), std::string(bytes.substr(0, length))});
    bytes.remove_prefix(length);
  }
  if (kept.current > 0 && static_cast<std::size_t>(kept.current) >= pages.size()) return std::nullopt;
  return kept;
}

std::filesystem::path SendPagesPath() { return SettingsDir() / "sendpages.bin"; }

bool SaveSendPages(const std::filesystem::path& path, const KeptPages& kept) {
  QDir().mkpath(QPath(path.parent_path()));
  QSaveFile file(QPath(path));  // a temporary file beside the target, renamed over it on commit
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  const std::string bytes = EncodeSendPages(kept);
  if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

namespace {
std::optional<KeptPages> ReadSendPages(const std::filesystem::path& path, std::size_t maxPages) {
  QFile file(QPath(path));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  if (file.size() > static_cast<qint64>(maxPages * (kMaxPageBytes + 1 + kLengthBytes) + kHeader.size() + 1)) {
    return std::nullopt;
  }
  const QByteArray bytes = file.readAll();
  return DecodeSendPages(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), maxPages);
}
}  // namespace

LoadedPages LoadSendPages(const std::filesystem::path& path, std::size_t maxPages) {
  if (!QFile::exists(QPath(path))) return {};
  if (auto pages = ReadSendPages(path, maxPages)) return {std::move(*pages), false, {}};
  std::filesystem::path setAside = path;
  setAside += ".damaged";
  std::error_code failed;
  std::filesystem::rename(path, setAside, failed);
  return {{}, true, failed ? std::filesystem::path() : setAside};
}

}  // namespace tw
