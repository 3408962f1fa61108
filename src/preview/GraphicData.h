// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bitmap data of the Z set's ^GF: ASCII hex with its run-length letters, and the base-64 forms
// ":B64:" (raw) and ":Z64:" (zlib, gzip or raw deflate), each with a CRC over its base-64 text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw::preview {

// Graphics larger than this many bytes (a 8192 x 16384 dot picture) are refused unread.
inline constexpr long long kMaxGraphicBytes = 16LL * 1024 * 1024;

// Decodes text-form graphic data into at most totalBytes bytes of rows of bytesPerRow bytes (short
// data is completed with white). False with a reason when the data cannot be used.
bool DecodeGraphicText(std::string_view text, int totalBytes, int bytesPerRow, std::vector<uint8_t>* bytes,
                       std::string* error);

// CRC-16 with polynomial 0x1021, not reflected, no final XOR, from the given initial value.
uint16_t Crc16(std::string_view text, uint16_t initial);

}  // namespace tw::preview
