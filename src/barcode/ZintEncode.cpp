// SPDX-License-Identifier: GPL-3.0-or-later
// libzint wrapper: encodes into its module grid (encoded_data), not its raster output, so that the
// caller scales every module to a whole number of dots and no quiet zone or text is added.
#include <zint.h>

#include <memory>
#include <string>

#include "barcode/BarcodeParts.h"

namespace tw::barcode::parts {

Modules EncodeWithZint(const ZintJob& job) {
  Modules modules;
  std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> symbol(ZBarcode_Create(), ZBarcode_Delete);
  if (!symbol) {
    modules.error = "out of memory";
    return modules;
  }
  symbol->symbology = job.symbology;
  symbol->input_mode = job.inputMode;
  symbol->option_1 = job.option1;
  symbol->option_2 = job.option2;
  symbol->option_3 = job.option3;
  if (job.appendCount > 0) {
    symbol->structapp.index = job.appendIndex;
    symbol->structapp.count = job.appendCount;
    job.appendId.copy(symbol->structapp.id, sizeof symbol->structapp.id - 1);
  }
  const int result = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(job.data.data()),
                                     int(job.data.size()));
  if (result >= ZINT_ERROR) {
    // "Error 561: Input too long ..." -> "Input too long ..."
    const std::string why = symbol->errtxt;
    const size_t colon = why.find(": ");
    modules.error = colon == std::string::npos ? why : why.substr(colon + 2);
    return modules;
  }
  modules.columns = symbol->width;
  modules.rows = symbol->rows;
  modules.cells.resize(size_t(modules.rows) * size_t(modules.columns));
  // encoded_data holds one bit per module, eight modules to a byte, lowest bit first.
  for (int row = 0; row < modules.rows; ++row)
    for (int column = 0; column < modules.columns; ++column)
      modules.cells[size_t(row) * size_t(modules.columns) + size_t(column)] =
          (symbol->encoded_data[row][column >> 3] >> (column & 7)) & 1;
  modules.text = reinterpret_cast<const char*>(symbol->text);
  return modules;
}

}  // namespace tw::barcode::parts
