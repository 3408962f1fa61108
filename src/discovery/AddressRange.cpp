// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/AddressRange.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <algorithm>
#include <set>

namespace tw::discovery {
namespace {

std::optional<uint32_t> ParseIpv4(const QString& text) {
  const QStringList parts = text.split(QLatin1Char('.'));
  if (parts.size() != 4) return std::nullopt;
  uint32_t address = 0;
  for (const QString& part : parts) {
    bool ok = false;
    const uint value = part.toUInt(&ok);
    if (!ok || part.isEmpty() || part.size() > 3 || value > 255) return std::nullopt;
    address = address << 8 | value;
  }
  return address;
}

// Adds first..last to the set; false when the set would grow past the limit.
bool AddSpan(std::set<uint32_t>& addresses, uint64_t first, uint64_t last) {
  for (uint64_t a = first; a <= last; ++a) {
    addresses.insert(static_cast<uint32_t>(a));
    if (addresses.size() > kMaxAddresses) return false;
  }
  return true;
}

}  // namespace

QString AddressText(uint32_t address) { return QHostAddress(address).toString(); }

std::optional<std::vector<uint32_t>> ParseAddressRanges(const QString& text, QString* error) {
  std::set<uint32_t> addresses;
  const QStringList pieces = text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
  auto fail = [&](const QString& sentence) -> std::optional<std::vector<uint32_t>> {
    if (error) *error = sentence;
    return std::nullopt;
  };
  if (pieces.isEmpty()) return fail(QStringLiteral("No address range was given."));
  for (const QString& piece : pieces) {
    const QString notRange = QStringLiteral("%1 is not an IPv4 range (a.b.c.d/n or a.b.c.d-e.f.g.h).").arg(piece);
    uint64_t first = 0, last = 0;
    if (int slash = piece.indexOf(QLatin1Char('/')); slash >= 0) {
      auto base = ParseIpv4(piece.left(slash));
      bool ok = false;
      const int prefix = piece.mid(slash + 1).toInt(&ok);
      if (!base || !ok || prefix < 0 || prefix > 32) return fail(notRange);
      const uint64_t size = uint64_t{1} << (32 - prefix);
      first = *base & ~(size - 1);
      last = first + size - 1;
      if (prefix < 31) ++first, --last;  // network and broadcast address
    } else if (int dash = piece.indexOf(QLatin1Char('-')); dash >= 0) {
      auto from = ParseIpv4(piece.left(dash));
      const QString end = piece.mid(dash + 1);
      std::optional<uint32_t> to = ParseIpv4(end);
      bool ok = false;
      if (from && !to && end.size() <= 3 && end.toUInt(&ok) <= 255 && ok) to = (*from & 0xFFFFFF00u) | end.toUInt();
      if (!from || !to) return fail(notRange);
      if (*to < *from) return fail(QStringLiteral("The range %1 ends before it begins.").arg(piece));
      // A range may cross /24 boundaries: their .0 and .255 addresses are most likely network or
      // broadcast addresses, and a datagram to a broadcast address reaches every host on the link.
      for (uint64_t a = *from; a <= *to; ++a) {
        if ((a & 0xFF) != 0 && (a & 0xFF) != 0xFF && !AddSpan(addresses, a, a)) {
          return fail(QStringLiteral("The range holds more than %1 addresses.").arg(kMaxAddresses));
        }
      }
      continue;
    } else {
      auto single = ParseIpv4(piece);
      if (!single) return fail(notRange);
      first = last = *single;
    }
    if (last >= first && !AddSpan(addresses, first, last)) {
      return fail(QStringLiteral("The range holds more than %1 addresses.").arg(kMaxAddresses));
    }
  }
  // A range of network and broadcast addresses only (192.0.2.0-0) leaves nothing to probe: said, not
  // run as an empty search.
  if (addresses.empty()) return fail(QStringLiteral("%1 holds no address to probe: network and broadcast addresses are left out.").arg(text.trimmed()));
  return std::vector<uint32_t>(addresses.begin(), addresses.end());
}

QStringList DefaultRanges() {
  QStringList ranges;
  for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
    const auto flags = nic.flags();
    if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
        (flags & (QNetworkInterface::IsLoopBack | QNetworkInterface::IsPointToPoint))) {
      continue;
    }
    switch (nic.type()) {
      case QNetworkInterface::Ethernet:
      case QNetworkInterface::Wifi:
      case QNetworkInterface::Unknown: break;
      default: continue;  // loopback, tunnels (Virtual), PPP and the other link kinds
    }
    // A bridge has a "bridge" folder in sysfs; tunnels that call themselves Ethernet (tap, WireGuard)
    // are told by their names.
    const QString name = nic.name();
    if (QFileInfo::exists(QStringLiteral("/sys/class/net/%1/bridge").arg(name)) ||
        name.startsWith(QLatin1String("tun")) || name.startsWith(QLatin1String("tap")) ||
        name.startsWith(QLatin1String("wg"))) {
      continue;
    }
    for (const QNetworkAddressEntry& entry : nic.addressEntries()) {
      if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
      const int prefix = std::max(entry.prefixLength(), 24);
      const uint32_t mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
      const QString range = QStringLiteral("%1/%2").arg(AddressText(entry.ip().toIPv4Address() & mask)).arg(prefix);
      if (!ranges.contains(range)) ranges << range;
    }
  }
  return ranges;
}

}  // namespace tw::discovery
