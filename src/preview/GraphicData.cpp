// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/GraphicData.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace tw::preview {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+' || c == '-') return 62;
  if (c == '/' || c == '_') return 63;
  return -1;
}

bool DecodeBase64(std::string_view text, std::vector<uint8_t>* out, std::string* error) {
  unsigned buffer = 0;
  int bits = 0;
  out->reserve(text.size() * 3 / 4);
  for (char c : text) {
    if (c == '=') break;
    const int value = Base64Value(c);
    if (value < 0) {
      *error = "the base-64 data holds a character that is not base-64";
      return false;
    }
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<uint8_t>(buffer >> bits));
    }
  }
  return true;
}

// zlib or gzip (windowBits 15 + 32 tells them apart), else raw deflate; never more than `limit` bytes.
bool Inflate(const std::vector<uint8_t>& packed, std::size_t limit, std::vector<uint8_t>* out) {
  for (int windowBits : {15 + 32, -15}) {
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK) return false;
    out->assign(limit, 0);
    stream.next_in = const_cast<Bytef*>(packed.data());
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = out->data();
    stream.avail_out = static_cast<uInt>(limit);
    const int status = inflate(&stream, Z_FINISH);
    const std::size_t produced = limit - stream.avail_out;
    inflateEnd(&stream);
    // A stream longer than the declared size stops at the limit (Z_BUF_ERROR with no room left).
    if (status == Z_STREAM_END || (status == Z_BUF_ERROR && stream.avail_out == 0 && produced > 0)) {
      out->resize(produced);
      return true;
    }
  }
  return false;
}

bool DecodeBase64Form(std::string_view text, bool compressed, std::size_t limit, std::vector<uint8_t>* bytes,
                      std::string* error) {
  std::string clean;
  for (char c : text.substr(5)) {
    if (!std::isspace(static_cast<unsigned char>(c))) clean.push_back(c);
  }
  const std::size_t colon = clean.find(':');
  const std::string body = clean.substr(0, colon);
  if (colon == std::string::npos) {
    *error = "the check value after the base-64 data is missing";
    return false;
  }
  const std::string crcText = clean.substr(colon + 1, 4);
  unsigned crc = 0;
  if (crcText.empty() || crcText.size() > 4 ||
      !std::all_of(crcText.begin(), crcText.end(), [](char c) { return HexValue(c) >= 0; })) {
    *error = "the check value after the base-64 data is not hexadecimal";
    return false;
  }
  std::sscanf(crcText.c_str(), "%x", &crc);
  // Encoders differ in the CRC's initial value; either one makes the data whole.
  if (crc != Crc16(body, 0) && crc != Crc16(body, 0xFFFF)) {
    char expected[8];
    std::snprintf(expected, sizeof expected, "%04X", Crc16(body, 0));
    *error = "the check value " + crcText + " does not match the data (" + expected + ")";
    return false;
  }
  std::vector<uint8_t> decoded;
  if (!DecodeBase64(body, &decoded, error)) return false;
  if (!compressed) {
    decoded.resize(std::min(decoded.size(), limit));
    *bytes = std::move(decoded);
    return true;
  }
  if (!Inflate(decoded, limit, bytes)) {
    *error = "the compressed data cannot be inflated";
    return false;
  }
  return true;
}

// Hex digits with run-length letters: G-Y repeat 1-19, g-z repeat 20-400 (counts add up), ','
// ends the row white, '!' ends it black, ':' repeats the row before.
void DecodeHex(std::string_view text, std::size_t limit, int bytesPerRow, std::vector<uint8_t>* bytes) {
  const std::size_t rowDigits = static_cast<std::size_t>(bytesPerRow) * 2;
  std::vector<uint8_t> row;  // hex digits of the current row
  std::vector<uint8_t> previous(rowDigits, 0);
  std::vector<uint8_t> digits;
  digits.reserve(std::min<std::size_t>(limit * 2, 1 << 20));
  const auto endRow = [&](uint8_t fill) {
    row.resize(rowDigits, fill);
    digits.insert(digits.end(), row.begin(), row.end());
    previous = row;
    row.clear();
  };
  // A repeat never needs more than a row: capped there, so that no run of letters overflows it.
  std::size_t count = 0;
  for (char c : text) {
    if (digits.size() >= limit * 2) break;
    if (c >= 'G' && c <= 'Y') {
      count = std::min<std::size_t>(count + (c - 'G' + 1), rowDigits);
    } else if (c >= 'g' && c <= 'z') {
      count = std::min<std::size_t>(count + (c - 'g' + 1) * 20, rowDigits);
    } else if (c == ',') {
      endRow(0);
      count = 0;
    } else if (c == '!') {
      endRow(0xF);
      count = 0;
    } else if (c == ':') {
      row = previous;
      endRow(0);
      count = 0;
    } else if (const int value = HexValue(c); value >= 0) {
      for (std::size_t n = std::max<std::size_t>(count, 1); n > 0 && row.size() < rowDigits; --n) row.push_back(static_cast<uint8_t>(value));
      if (row.size() == rowDigits) endRow(0);
      count = 0;
    }
  }
  if (!row.empty()) endRow(0);
  digits.resize(std::min(digits.size(), limit * 2));
  bytes->assign(digits.size() / 2, 0);
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) (*bytes)[i / 2] = static_cast<uint8_t>(digits[i] << 4 | digits[i + 1]);
}

}  // namespace

uint16_t Crc16(std::string_view text, uint16_t initial) {
  uint16_t crc = initial;
  for (unsigned char c : text) {
    crc ^= static_cast<uint16_t>(c << 8);
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

bool DecodeGraphicText(std::string_view text, int totalBytes, int bytesPerRow, std::vector<uint8_t>* bytes,
                       std::string* error) {
  const std::size_t limit = static_cast<std::size_t>(totalBytes);
  std::size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  const std::string_view body = text.substr(start);
  const bool zipped = body.substr(0, 5) == ":Z64:";
  if (zipped || body.substr(0, 5) == ":B64:") {
    if (!DecodeBase64Form(body, zipped, limit, bytes, error)) return false;
  } else {
    DecodeHex(body, limit, bytesPerRow, bytes);
  }
  bytes->resize(limit, 0);
  return true;
}

}  // namespace tw::preview
