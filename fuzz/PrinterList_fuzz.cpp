// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the printer list reader with any text.
// Properties checked:
//  - a text is either refused with the number of a line of it, or read as a list;
//  - every printer of a list, written back as a line, reads as the same printer;
//  - the list written back line by line reads as the same list.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "fleet/PrinterList.h"

using fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<tw::fleet::PrinterList> list = tw::fleet::ParsePrinterList(text, &error);
  if (!list) {
    Require(error.rfind("line ", 0) == 0);
    return 0;
  }
  std::string written;
  for (const tw::fleet::PrinterEntry& printer : list->printers) written += tw::fleet::FormatPrinterLine(printer) + "\n";
  const std::optional<tw::fleet::PrinterList> again = tw::fleet::ParsePrinterList(written, &error);
  Require(again && again->printers.size() == list->printers.size());
  for (std::size_t i = 0; i < list->printers.size(); ++i) {
    const tw::fleet::PrinterEntry& a = list->printers[i];
    const tw::fleet::PrinterEntry& b = again->printers[i];
    Require(a.name == b.name && a.address == b.address && a.port == b.port && a.set == b.set);
  }
  return 0;
}
