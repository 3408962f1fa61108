// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Parameter texts the editor tests build: four-digit slot values and whole dump files.
#include <cstdint>
#include <map>
#include <string>

namespace tw::test {

// The value as four upper-case hexadecimal digits ("00A3").
std::string Hex4(unsigned value);

// A dump file: 256 write records (values from `table`, else 0000), the slot `leftOut` left out and
// the address of `lowerCase` written in lower case on request, then the three named entries.
std::string DumpText(const std::map<int, uint16_t>& table, int leftOut = -1, int lowerCase = -1);

}  // namespace tw::test
