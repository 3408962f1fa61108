// SPDX-License-Identifier: GPL-3.0-or-later
#include "barcode/Barcode.h"

#include <zint.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <exception>
#include <string_view>

#include "barcode/BarcodeParts.h"

namespace tw::barcode {
namespace {

using parts::Bars;
using parts::Modules;
using parts::ZintJob;

// Data longer than any symbol of the kind holds is refused before it is encoded.
constexpr size_t kMaxLinearData = 1000;
constexpr size_t kMaxMatrixData = 8000;
// A symbol larger than a label can be is refused rather than allocated.
constexpr int kMaxSide = 32000;
constexpr int64_t kMaxDots = int64_t(64) << 20;

Symbol Failure(std::string why) {
  Symbol symbol;
  symbol.error = std::move(why);
  return symbol;
}

bool AllDigits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// EAN-13 and UPC-A data: exactly `count` digits, cut to length or padded on the left with 0.
std::string FixedDigits(const std::string& data, size_t count) {
  std::string digits = data.substr(0, count);
  digits.insert(0, count - digits.size(), '0');
  return digits;
}

// The QR field data: "<level><input>,<data>", optionally behind a structured-append block
// "D<index 2><count 2><parity 2 hex>,". Manual input carries comma-separated groups: N digits,
// A alphanumerics, B with a 4-digit byte count, K double-byte characters.
struct QrField {
  char level = 0;
  std::string data;
  int appendIndex = 0;
  int appendCount = 0;
  int appendParity = 0;
  std::string error;
};

QrField ParseQrField(const std::string& field) {
  QrField qr;
  size_t pos = 0;
  if (field.size() >= 8 && field[0] == 'D' && field[7] == ',' && AllDigits(field.substr(1, 4)) &&
      std::isxdigit(static_cast<unsigned char>(field[5])) && std::isxdigit(static_cast<unsigned char>(field[6]))) {
    qr.appendIndex = std::stoi(field.substr(1, 2));
    qr.appendCount = std::stoi(field.substr(3, 2));
    qr.appendParity = std::stoi(field.substr(5, 2), nullptr, 16);
    pos = 8;
  }
  if (field.size() < pos + 3 || (field[pos + 1] != 'A' && field[pos + 1] != 'M') || field[pos + 2] != ',') {
    qr.error = "QR field data must start with the error correction level and input mode, e.g. \"QA,\"";
    return qr;
  }
  qr.level = field[pos];
  const bool manual = field[pos + 1] == 'M';
  pos += 3;
  if (!manual) {
    qr.data = field.substr(pos);
    return qr;
  }
  while (pos < field.size()) {
    const char kind = field[pos++];
    size_t end = field.find(',', pos);
    if (end == std::string::npos) end = field.size();
    if (kind == 'B') {
      // Bytes may include commas: the count says where the group ends.
      if (field.size() < pos + 4 || !AllDigits(field.substr(pos, 4))) {
        qr.error = "QR byte group needs a 4-digit count";
        return qr;
      }
      const size_t count = std::stoul(field.substr(pos, 4));
      pos += 4;
      if (field.size() - pos < count) {
        qr.error = "QR byte group is shorter than its count";
        return qr;
      }
      end = pos + count;
    } else if (kind != 'N' && kind != 'A' && kind != 'K') {
      qr.error = std::string("unknown QR input group '") + kind + "'";
      return qr;
    }
    qr.data += field.substr(pos, end - pos);
    pos = end + (end < field.size() && field[end] == ',' ? 1 : 0);
  }
  return qr;
}

Symbol EncodeQr(const Request& request) {
  const QrField field = ParseQrField(request.data);
  if (!field.error.empty()) return Failure(field.error);
  constexpr std::string_view kLevels = "LMQH";  // libzint's levels 1-4
  char level = field.level;
  if (kLevels.find(level) == std::string_view::npos) level = request.qrErrorCorrection;
  if (level == 0 || kLevels.find(level) == std::string_view::npos) level = 'Q';
  ZintJob job;
  job.symbology = BARCODE_QRCODE;
  job.data = field.data;
  job.option1 = int(kLevels.find(level)) + 1;
  if (field.appendCount > 0) {
    job.appendIndex = field.appendIndex;
    job.appendCount = field.appendCount;
    job.appendId = std::to_string(field.appendParity);
  }
  const int module = request.magnification > 0 ? request.magnification : 2;
  return parts::FromModules(parts::EncodeWithZint(job), module, module);
}

// libzint's Data Matrix sizes in the order of its size option (1 = 10 x 10): rows, columns.
constexpr std::array<std::array<int, 2>, 30> kMatrixSizes = {{
    {10, 10},  {12, 12},  {14, 14},  {16, 16},  {18, 18},   {20, 20},   {22, 22},   {24, 24},
    {26, 26},  {32, 32},  {36, 36},  {40, 40},  {44, 44},   {48, 48},   {52, 52},   {64, 64},
    {72, 72},  {80, 80},  {88, 88},  {96, 96},  {104, 104}, {120, 120}, {132, 132}, {144, 144},
    {8, 18},   {8, 32},   {12, 26},  {12, 36},  {16, 36},   {16, 48}}};

Symbol EncodeDataMatrix(const Request& request) {
  ZintJob job;
  job.symbology = BARCODE_DATAMATRIX;
  job.data = request.data;
  job.option3 = DM_SQUARE;
  if (request.matrixColumns > 0 || request.matrixRows > 0) {
    const int rows = request.matrixRows > 0 ? request.matrixRows : request.matrixColumns;
    const int columns = request.matrixColumns > 0 ? request.matrixColumns : request.matrixRows;
    for (size_t k = 0; k < kMatrixSizes.size(); ++k)
      if (kMatrixSizes[k][0] == rows && kMatrixSizes[k][1] == columns) job.option2 = int(k) + 1;
    if (job.option2 == 0)
      return Failure("no Data Matrix symbol has " + std::to_string(columns) + " columns and " +
                     std::to_string(rows) + " rows");
    job.option3 = 0;
  }
  const Modules modules = parts::EncodeWithZint(job);
  // Without a module size the bar height gives the symbol's height.
  const int module = request.matrixModuleSize > 0 ? request.matrixModuleSize
                                                  : std::max(1, request.height / std::max(1, modules.rows));
  return parts::FromModules(modules, module, module);
}

Symbol EncodePdf417(const Request& request) {
  if (request.pdfSecurity < 0 || request.pdfSecurity > 8) return Failure("PDF417 security level must be 0-8");
  if (request.pdfColumns < 0 || request.pdfColumns > 30) return Failure("PDF417 columns must be 1-30");
  if (request.pdfRows != 0 && (request.pdfRows < 3 || request.pdfRows > 90))
    return Failure("PDF417 rows must be 3-90");
  ZintJob job;
  job.symbology = request.pdfTruncate ? BARCODE_PDF417COMP : BARCODE_PDF417;
  job.data = request.data;
  job.option1 = request.pdfSecurity;
  job.option2 = request.pdfColumns;
  job.option3 = request.pdfRows;
  return parts::FromModules(parts::EncodeWithZint(job), request.moduleWidth, request.height);
}

Symbol EncodeEanUpc(const Request& request) {
  if (!AllDigits(request.data)) return Failure("EAN and UPC data must be digits only");
  const bool ean = request.symbology == Symbology::Ean13;
  ZintJob job;
  job.symbology = ean ? BARCODE_EANX : BARCODE_UPCA;
  job.data = FixedDigits(request.data, ean ? 12 : 11);
  Modules modules = parts::EncodeWithZint(job);
  modules.text = job.data + parts::Mod10CheckDigit(job.data);
  if (!ean && !request.upcPrintCheckDigit) modules.text.pop_back();
  return parts::FromModules(modules, request.moduleWidth, request.height);
}

Symbol EncodeCode128(const Request& request) {
  switch (request.code128Mode) {
    case 'N':
      return parts::FromBars(parts::EncodeCode128(request.data, request.moduleWidth, request.checkDigit),
                             request.height);
    case 'U': {
      // Case code: 19 digits and their mod-10 check digit, behind FNC1 in subset C.
      if (!AllDigits(request.data)) return Failure("Code 128 case code data must be digits only");
      std::string digits = FixedDigits(request.data, 19);
      digits += parts::Mod10CheckDigit(digits);
      return parts::FromBars(parts::EncodeCode128(">;>8" + digits, request.moduleWidth, false), request.height);
    }
    case 'A': {
      // Automatic subsets, as libzint chooses them; a check digit is appended as a plain digit.
      ZintJob job;
      job.symbology = BARCODE_CODE128;
      job.data = request.data;
      if (request.checkDigit) {
        std::string digits;
        for (char c : request.data)
          if (c >= '0' && c <= '9') digits += c;
        job.data += parts::Mod10CheckDigit(digits);
      }
      Modules modules = parts::EncodeWithZint(job);
      modules.text.clear();
      for (char c : job.data)
        if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F) modules.text += c;
      return parts::FromModules(modules, request.moduleWidth, request.height);
    }
    case 'D': {
      // Application identifiers in parentheses, "(01)09501101530003(10)ABC", are separated as
      // their lengths require; data without them is FNC1 and the data as it stands.
      if (request.data.find('(') == std::string::npos)
        return parts::FromBars(parts::EncodeCode128(parts::AutomaticSubsets(request.data, true),
                                                    request.moduleWidth, request.checkDigit),
                               request.height);
      ZintJob job;
      job.symbology = BARCODE_GS1_128;
      job.inputMode = GS1_MODE | GS1PARENS_MODE | GS1NOCHECK_MODE;
      job.data = request.data;
      return parts::FromModules(parts::EncodeWithZint(job), request.moduleWidth, request.height);
    }
    default:
      return Failure(std::string("unknown Code 128 mode '") + request.code128Mode + "'");
  }
}

Symbol EncodeChecked(const Request& request) {
  const bool matrix = request.symbology == Symbology::Pdf417 || request.symbology == Symbology::DataMatrix ||
                      request.symbology == Symbology::Qr;
  if (request.data.empty()) return Failure("no data");
  if (request.data.size() > (matrix ? kMaxMatrixData : kMaxLinearData)) return Failure("data too long");
  if (request.moduleWidth < 1 || request.moduleWidth > 10) return Failure("module width must be 1-10 dots");
  if (request.height < 1 || request.height > kMaxSide) return Failure("bar height must be 1-32000 dots");
  if (request.magnification < 0 || request.magnification > 100) return Failure("QR magnification must be 1-100");
  if (request.matrixModuleSize < 0 || request.matrixModuleSize > kMaxSide)
    return Failure("Data Matrix module size must be 1-32000 dots");
  const bool twoWidths = request.symbology == Symbology::Code39 || request.symbology == Symbology::Interleaved2of5;
  if (twoWidths && !(request.ratio >= 2.0 && request.ratio <= 3.0))
    return Failure("wide-to-narrow ratio must be 2.0-3.0");
  const int narrow = request.moduleWidth;
  const int wide = int(std::lround(request.moduleWidth * request.ratio));
  switch (request.symbology) {
    case Symbology::Code128:
      return EncodeCode128(request);
    case Symbology::Code39:
      return parts::FromBars(parts::EncodeCode39(request.data, request.checkDigit, narrow, wide), request.height);
    case Symbology::Interleaved2of5:
      return parts::FromBars(parts::EncodeInterleaved2of5(request.data, request.checkDigit, narrow, wide),
                             request.height);
    case Symbology::Ean13:
    case Symbology::UpcA:
      return EncodeEanUpc(request);
    case Symbology::Pdf417:
      return EncodePdf417(request);
    case Symbology::DataMatrix:
      return EncodeDataMatrix(request);
    case Symbology::Qr:
      return EncodeQr(request);
  }
  return Failure("unknown symbology");
}

Symbol Blank(int width, int height, std::string text) {
  Symbol symbol;
  if (width <= 0 || height <= 0) return Failure("empty symbol");
  if (width > kMaxSide || height > kMaxSide || int64_t(width) * height > kMaxDots)
    return Failure("symbol too large for a label");
  symbol.width = width;
  symbol.height = height;
  symbol.dots.assign(size_t(width) * size_t(height), 0);
  symbol.text = std::move(text);
  return symbol;
}

}  // namespace

namespace parts {

Symbol FromBars(const Bars& bars, int height) {
  if (!bars.error.empty()) return Failure(bars.error);
  int64_t width = 0;
  for (int w : bars.widths) width += w;
  Symbol symbol = Blank(int(std::min<int64_t>(width, kMaxSide + 1)), height, bars.text);
  if (!symbol.error.empty()) return symbol;
  int x = 0;
  for (size_t k = 0; k < bars.widths.size(); ++k) {
    if (k % 2 == 0) std::fill_n(symbol.dots.begin() + x, bars.widths[k], uint8_t(1));
    x += bars.widths[k];
  }
  for (int y = 1; y < height; ++y)
    std::copy_n(symbol.dots.begin(), symbol.width, symbol.dots.begin() + ptrdiff_t(y) * symbol.width);
  return symbol;
}

Symbol FromModules(const Modules& modules, int moduleWidth, int rowHeight) {
  if (!modules.error.empty()) return Failure(modules.error);
  Symbol symbol = Blank(int(std::min<int64_t>(int64_t(modules.columns) * moduleWidth, kMaxSide + 1)),
                        int(std::min<int64_t>(int64_t(modules.rows) * rowHeight, kMaxSide + 1)), modules.text);
  if (!symbol.error.empty()) return symbol;
  for (int row = 0; row < modules.rows; ++row) {
    uint8_t* first = symbol.dots.data() + size_t(row) * size_t(rowHeight) * size_t(symbol.width);
    for (int column = 0; column < modules.columns; ++column)
      if (modules.cells[size_t(row) * size_t(modules.columns) + size_t(column)])
        std::fill_n(first + size_t(column) * size_t(moduleWidth), moduleWidth, uint8_t(1));
    for (int y = 1; y < rowHeight; ++y) std::copy_n(first, symbol.width, first + size_t(y) * size_t(symbol.width));
  }
  return symbol;
}

}  // namespace parts

Symbol Encode(const Request& request) {
  try {
    return EncodeChecked(request);
  } catch (const std::exception& e) {
    return Failure(std::string("barcode not drawn: ") + e.what());
  }
}

}  // namespace tw::barcode
