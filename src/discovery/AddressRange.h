// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The IPv4 addresses a search covers: parsed from what the user typed, or taken from the machine's
// own interfaces.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace tw::discovery {

// More addresses than this (a range larger than a /24) are probed only after the user agreed.
inline constexpr std::size_t kConfirmAbove = 256;
// A range larger than a /16 is refused: it would take hours at the usual time-outs.
inline constexpr std::size_t kMaxAddresses = 65536;

// Parses one or more ranges separated by commas or blanks: a CIDR block ("192.0.2.0/24"), a
// first-last range ("192.0.2.10-192.0.2.20", or "192.0.2.10-20" with the last part only) or a
// single address. The network and broadcast addresses of a block shorter than /31, and every
// address ending in .0 or .255 in a first-last range, are left out;
// an address given twice is probed once. Empty with a sentence in *error when the text is not a
// range or holds more than kMaxAddresses addresses.
std::optional<std::vector<uint32_t>> ParseAddressRanges(const QString& text, QString* error);

// Each suitable interface's own IPv4 subnet, capped at /24 around the interface's address, as CIDR
// texts. Loopback, tunnels, point-to-point links and bridges are left out, and so are interfaces
// that are down.
QStringList DefaultRanges();

QString AddressText(uint32_t address);

}  // namespace tw::discovery
