// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DumpText.h"

#include <cstdio>

namespace tw::test {

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

std::string DumpText(const std::map<int, uint16_t>& table, int leftOut, int lowerCase) {
  std::string text;
  for (int slot = 0; slot < 256; ++slot) {
    if (slot == leftOut) continue;
    char address[4];
    std::snprintf(address, sizeof address, slot == lowerCase ? "%02x" : "%02X", slot);
    const auto found = table.find(slot);
    text += std::string("~WN00@eep,w,") + address + "," + Hex4(found == table.end() ? 0 : found->second) + "\r\n";
  }
  return text + "~WN00@ini,w,PrinterName,TW\r\n~WN00@ini,w,PrinterNameQesh,Q\r\n~WN00@ini,w,TphAdj,0\r\n";
}

}  // namespace tw::test
