// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text and hexadecimal forms of printer data. All functions work on bytes (std::string holds
// 8-bit data, zero bytes included), keep no state and run in one pass.
//
// Text form: 8-bit text (shown as code page 936) in which a byte that cannot be shown is the
// six-character escape "<\xHH>" (x and digits in either case when read, upper case when written).
// CR LF is a line break. DecodeEscapes of any text form written here gives back the exact bytes: a
// literal "<\xHH>" in the data is written with its "<" escaped ("<\x3C>\xHH>"), and so is a "<" at
// the end that begins such a spelling ("<\x4" is written "<\x3C>\x4"), so that text forms written
// one after another (received chunks) decode to the bytes of each.
// Hex form: every byte as two upper-case hex digits and a space; CR LF kept as line breaks.
// Normalized hex text: upper-case digit pairs without blanks, with CR LF for line breaks.
#include <string>
#include <string_view>

namespace tw {

// Text form -> bytes: each complete escape becomes its byte; everything else is copied.
std::string DecodeEscapes(std::string_view text);
// Bytes -> text form. Bytes 0x20..0x80 and CR LF are copied, two bytes of 0x81..0xFE in a row are
// copied as one double-byte character, every other byte becomes an escape.
std::string BytesToEscapedText(std::string_view bytes);

// Hex form typed by the user -> normalized hex text (upper-case pairs, line breaks as CR LF).
// Blanks separate groups of one or two digits (one digit gets a leading "0"); a line break (CR LF,
// a lone CR or a lone LF) also ends a group, which may then hold any even number of digits.
// result: the normalized length, -1 for an illegal character or an odd digit count,
// -2 for a group of more than two digits between blanks. text is empty on -1 and -2.
struct NormalizedHex {
  std::string text;
  int result = 0;
};
NormalizedHex NormalizeHexInput(std::string_view hexText);

// Normalized hex text -> bytes. Two characters that are neither a hex pair nor CR LF, and a last
// single character, give nothing (NormalizeHexInput never writes them).
std::string HexPairsToBytes(std::string_view normalized);
// Bytes (or text form) -> hex form, CR LF kept as line breaks, escapes shown as their byte.
// For raw bytes that may hold a literal "<\xHH>", BytesToHexView(BytesToEscapedText(bytes)) shows
// every byte.
std::string BytesToHexView(std::string_view bytes);
// Bytes -> hex form with every byte, line breaks included, as a pair.
std::string BytesToSpacedHex(std::string_view bytes);
// Normalized hex text -> text form; DecodeEscapes of the result equals HexPairsToBytes of the input.
std::string HexViewToEscapedText(std::string_view normalized);

}  // namespace tw
