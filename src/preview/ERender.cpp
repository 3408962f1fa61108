// SPDX-License-Identifier: GPL-3.0-or-later
// The E command set (one command per line) drawn label by label: "N" starts a label, "P" prints it.
#include <algorithm>
#include <cctype>
#include <set>

#include "preview/RenderSupport.h"
#include "preview/Renderers.h"

namespace tw::preview {
namespace {

struct Line {
  std::string name;        // "A", "LO", "GW" ...
  std::size_t offset = 0;
  std::size_t length = 0;
  std::string params;      // after the name; for GW the binary bytes follow the fourth comma
};

// Two-letter commands; every other command is one letter.
const std::set<std::string>& TwoLetterNames() {
  static const std::set<std::string> names = {"LO", "LW", "LE", "LS", "GW", "GG", "GK", "GI", "GM", "ZT", "ZB",
                                              "JF", "JB", "JC", "EI", "ES", "UN", "UP", "UE", "OD", "FK", "FE",
                                              "FI", "FS", "TT", "TS", "AO", "oR", "oH", "oE", "oW"};
  return names;
}

// Commands that set up the printer or the print run and draw nothing.
const std::set<std::string>& SilentNames() {
  static const std::set<std::string> names = {"S", "D", "I", "O", "OD", "JF", "JB", "JC", "U", "UN", "UP",
                                              "UE", "Y", "ZT", "EI", "ES", "FK", "FE", "FI", "TT", "TS", "AO",
                                              "oR", "oH", "oE", "oW", "W", "?", ";", "q", "Q"};
  return names;
}

std::vector<Line> SplitLines(std::string_view data) {
  std::vector<Line> lines;
  std::size_t i = 0;
  while (i < data.size()) {
    std::size_t end = std::min(data.find('\n', i), data.size());
    Line line;
    line.offset = i;
    std::string_view text = data.substr(i, end - i);
    const std::string two(text.substr(0, 2));
    line.name = TwoLetterNames().count(two) ? two : std::string(text.substr(0, 1));
    if (line.name == "GW") {
      // x, y, bytes per row, rows, then exactly that many bytes, newlines included.
      std::size_t p = i + 2;
      int commas = 0;
      while (p < data.size() && commas < 4 && data[p] != '\n') commas += data[p++] == ',' ? 1 : 0;
      const Params head(data.substr(i + 2, p - i - 2));
      const long long count = std::max(0LL, static_cast<long long>(head.Int(2, 0)) * std::max(0, head.Int(3, 0)));
      end = commas == 4 ? std::min<std::size_t>(data.size(), p + std::min<long long>(count, data.size())) : end;
      text = data.substr(i, end - i);
    }
    std::string_view params = text.substr(line.name.size());
    if (line.name != "GW") {
      while (!params.empty() && (params.back() == '\r' || params.back() == ' ')) params.remove_suffix(1);
    }
    line.params.assign(params);
    line.length = end - i;
    if (!text.empty() && text != "\r") lines.push_back(std::move(line));
    i = end + 1;
  }
  return lines;
}

// Parameters with one quoted text (\" a quote, \\ a backslash) among them.
struct Fields {
  std::vector<std::string> items;
  std::string quoted;
  bool hasQuoted = false;
};

Fields SplitFields(std::string_view text) {
  Fields fields;
  std::string item;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' && !fields.hasQuoted) {
      fields.hasQuoted = true;
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        fields.quoted.push_back(text[i]);
      }
    } else if (c == ',') {
      fields.items.push_back(item);
      item.clear();
    } else {
      item.push_back(c);
    }
  }
  if (!item.empty()) fields.items.push_back(item);
  return fields;
}

struct EFont {
  int width, height, pitch;
};
// Cells at 203 dots per inch (6 and 8 dots/mm) and at 300 (12 dots/mm; doubled for 24).
constexpr EFont kFonts203[5] = {{8, 12, 10}, {10, 16, 12}, {12, 20, 14}, {14, 24, 16}, {32, 48, 36}};
constexpr EFont kFonts300[5] = {{12, 20, 12}, {16, 28, 16}, {20, 36, 20}, {24, 44, 24}, {48, 80, 48}};

TextStyle EStyle(int font, int across, int down, int dotsPerMm) {
  const int scale = dotsPerMm >= 24 ? 2 : 1;
  const EFont cell = dotsPerMm >= 12 ? kFonts300[font - 1] : kFonts203[font - 1];
  TextStyle style;
  style.cellWidth = cell.width * scale * across;
  style.cellHeight = cell.height * scale * down;
  style.advance = cell.pitch * scale * across;
  style.baseline = static_cast<int>(style.cellHeight * 0.78 + 0.5);
  style.upperOnly = font == 5;
  return style;
}

class ELabel {
 public:
  ELabel(const Positions& positions, const Options& options, Budget& budget)
      : positions_(positions), options_(options), budget_(budget) {}

  Label Draw(const std::vector<const Line*>& lines, int width, int length, const Line* sizeLine) {
    if (width > kMaxLabelSide || length > kMaxLabelSide) {
      Report(sizeLine ? *sizeLine : *lines.front(), "the label is larger than 32000 dots a side");
      return std::move(label_);
    }
    if (!budget_.FitsImage(width, length)) {
      Report(*lines.front(), kNoRoomForLabel);
      return std::move(label_);
    }
    label_.image = LabelImage(width, length);
    for (const Line* line : lines) Execute(*line);
    // Turned in place at a cost bounded by the image itself: never left undone for want of time.
    if (upsideDown_) label_.image.Rotate180();
    return std::move(label_);
  }

 private:
  void Report(const Line& line, std::string reason) {
    label_.notDrawn.push_back(positions_.Make(line.name, line.offset, line.length, std::move(reason)));
  }

  static int Number(const std::vector<std::string>& items, std::size_t i, int fallback) {
    if (i >= items.size() || items[i].empty()) return fallback;
    const Params one(items[i]);
    return one.Int(0, fallback);
  }

  bool OnLabel(long long x0, long long y0, long long x1, long long y1, const Line& line) {
    const LabelImage& image = label_.image;
    if (x1 <= 0 || y1 <= 0 || x0 >= image.width() || y0 >= image.height()) {
      Report(line, "the field lies off the label");
      return false;
    }
    if (x0 < 0 || y0 < 0 || x1 > image.width() || y1 > image.height()) {
      Report(line, "the field runs off the label; the part outside is not drawn");
    }
    return true;
  }

  // A stamp turned about its top-left corner, which lands at (x, y).
  void Place(const Stamp& stamp, Turns turns, int x, int y, Ink ink, const Line& line) {
    int ax, ay, bx, by;
    TurnPoint(0, 0, turns, &ax, &ay);
    TurnPoint(stamp.width, stamp.height, turns, &bx, &by);
    if (!OnLabel(x + std::min(ax, bx), y + std::min(ay, by), x + std::max(ax, bx), y + std::max(ay, by), line)) return;
    label_.image.Place(stamp, turns, 0, 0, x, y, ink);
  }

  void Execute(const Line& line) {
    const std::string& name = line.name;
    // Lines and boxes cost a row each; text, barcodes and graphics their area, charged where drawn.
    if (!budget_.Spend(64 + static_cast<long long>(line.params.size()))) return Report(line, kNoTimeForField);
    if (name == "GW") return DrawRawGraphic(line);
    const Fields f = SplitFields(line.params);
    const auto n = [&](std::size_t i, int fallback) { return Number(f.items, i, fallback); };
    if (name == "N" || name == "P") {
      return;
    } else if (name == "R") {
      referenceX_ = std::clamp(n(0, 0), 0, 32000);
      referenceY_ = std::clamp(n(1, 0), 0, 32000);
    } else if (name == "ZB") {
      upsideDown_ = true;
    } else if (name == "LO" || name == "LW" || name == "LE") {
      const Ink ink = name == "LO" ? Ink::Black : name == "LW" ? Ink::White : Ink::Invert;
      const long long x = n(0, 0) + referenceX_, y = n(1, 0) + referenceY_;
      const int w = std::clamp(n(2, 0), 0, 32000), h = std::clamp(n(3, 0), 0, 32000);
      if (w <= 0 || h <= 0) return Report(line, "the line's length or thickness is missing or not positive");
      if (OnLabel(x, y, x + w, y + h, line)) label_.image.Rect(static_cast<int>(x), static_cast<int>(y), w, h, ink);
    } else if (name == "X") {
      const long long x0 = n(0, 0) + referenceX_, y0 = n(1, 0) + referenceY_;
      const int t = std::clamp(n(2, 1), 1, 32000);
      const long long x1 = std::clamp(n(3, 0), 0, 32000) + referenceX_, y1 = std::clamp(n(4, 0), 0, 32000) + referenceY_;
      if (x1 <= x0 || y1 <= y0) return Report(line, "the box's end lies before its start");
      if (!OnLabel(x0, y0, x1, y1, line)) return;
      const int w = static_cast<int>(x1 - x0), h = static_cast<int>(y1 - y0);
      const int x = static_cast<int>(x0), y = static_cast<int>(y0);
      label_.image.Rect(x, y, w, std::min(t, h), Ink::Black);
      label_.image.Rect(x, y + h - std::min(t, h), w, std::min(t, h), Ink::Black);
      label_.image.Rect(x, y, std::min(t, w), h, Ink::Black);
      label_.image.Rect(x + w - std::min(t, w), y, std::min(t, w), h, Ink::Black);
    } else if (name == "LS") {
      DrawSlant(line, n(0, 0) + referenceX_, n(1, 0) + referenceY_, std::clamp(n(2, 1), 1, 1000),
                n(3, 0) + referenceX_, n(4, 0) + referenceY_);
    } else if (name == "A") {
      DrawText(line, f);
    } else if (name == "B") {
      DrawLinear(line, f);
    } else if (name == "b") {
      DrawTwoDimensional(line, f);
    } else if (!SilentNames().count(name)) {
      Report(line, "the preview does not draw this command");
    }
  }

  void DrawSlant(const Line& line, long long x0, long long y0, int t, long long x1, long long y1) {
    if (!OnLabel(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + t, std::max(y0, y1) + t, line)) return;
    const long long steps = std::min<long long>(std::max(std::llabs(x1 - x0), std::llabs(y1 - y0)), 65536);
    if (!budget_.Spend((steps + 1) * t)) return Report(line, kNoTimeForField);
    for (long long i = 0; i <= steps; ++i) {
      const long long x = steps ? x0 + (x1 - x0) * i / steps : x0, y = steps ? y0 + (y1 - y0) * i / steps : y0;
      label_.image.Rect(static_cast<int>(x), static_cast<int>(y), t, t, Ink::Black);
    }
  }

  void DrawText(const Line& line, const Fields& f) {
    std::string why;
    if (!GlyphsAvailable(&why)) return Report(line, why);
    const auto n = [&](std::size_t i, int fallback) { return Number(f.items, i, fallback); };
    const int font = n(3, 1);
    if (font < 1 || font > 5) return Report(line, "only the resident fonts 1 to 5 are drawn");
    const TextStyle style = EStyle(font, std::clamp(n(4, 1), 1, 8), std::clamp(n(5, 1), 1, 9), options_.dotsPerMm);
    const std::u32string text = DecodeText(f.quoted, false);
    const long long width = TextWidth(text, style);
    if (width * style.cellHeight > kMaxStampDots) return Report(line, kFieldTooLarge);
    if (!budget_.Spend(3 * width * style.cellHeight)) return Report(line, kNoTimeForField);
    Stamp stamp;
    stamp.Resize(static_cast<int>(width), style.cellHeight);
    tw::preview::DrawText(stamp, 0, 0, text, style);
    const Turns turns = n(2, 0) & 3;
    const int x = std::clamp(n(0, 0), -32000, 32000) + referenceX_, y = std::clamp(n(1, 0), -32000, 32000) + referenceY_;
    const bool reverse = f.items.size() > 6 && !f.items[6].empty() && f.items[6][0] == 'R';
    if (reverse) {
      Stamp block;
      block.Resize(stamp.width, stamp.height);
      std::fill(block.dots.begin(), block.dots.end(), 1);
      Place(block, turns, x, y, Ink::Black, line);
      label_.image.Place(stamp, turns, 0, 0, x, y, Ink::White);
    } else {
      Place(stamp, turns, x, y, Ink::Black, line);
    }
  }

  void DrawLinear(const Line& line, const Fields& f) {
    const auto n = [&](std::size_t i, int fallback) { return Number(f.items, i, fallback); };
    const std::string type = f.items.size() > 3 ? f.items[3] : "";
    barcode::Request request;
    request.data = f.quoted;
    if (type == "1") {
      request.code128Mode = 'A';
    } else if (type == "1A" || type == "1B" || type == "1C") {
      // A forced subset is the start code written before the data; a '>' of the data itself is
      // written ">0" so that it stays a character and does not become an invocation code.
      request.data = std::string(">") + (type == "1A" ? '9' : type == "1B" ? ':' : ';');
      for (char c : f.quoted) request.data += c == '>' ? std::string(">0") : std::string(1, c);
    } else if (type == "0" || type == "1E") {
      request.code128Mode = type == "0" ? 'U' : 'D';
    } else if (type == "3" || type == "3C") {
      request.symbology = barcode::Symbology::Code39;
      request.checkDigit = type == "3C";
    } else if (type == "2" || type == "2C" || type == "2D") {
      request.symbology = barcode::Symbology::Interleaved2of5;
      request.checkDigit = type != "2";
    } else if (type == "E30") {
      request.symbology = barcode::Symbology::Ean13;
    } else if (type == "UA0") {
      request.symbology = barcode::Symbology::UpcA;
    } else {
      return Report(line, "the preview does not draw this bar code type");
    }
    request.moduleWidth = std::clamp(n(4, 2), 1, 10);
    request.ratio = std::clamp(static_cast<double>(n(5, request.moduleWidth * 3)) / request.moduleWidth, 2.0, 3.0);
    request.height = std::clamp(n(6, 50), 1, 32000);
    const bool readable = f.items.size() > 7 && !f.items[7].empty() && f.items[7][0] == 'B';
    // The human-readable line is written in font 2.
    const TextStyle style = EStyle(2, 1, 1, options_.dotsPerMm);
    PlaceBarcode(line, request, readable ? &style : nullptr, n(2, 0) & 3, n(0, 0), n(1, 0));
  }

  void DrawTwoDimensional(const Line& line, const Fields& f) {
    const auto n = [&](std::size_t i, int fallback) { return Number(f.items, i, fallback); };
    const std::string type = f.items.size() > 2 ? f.items[2] : "";
    barcode::Request request;
    // Options are a letter and a value, in any order, after the type (and PDF417's area).
    const std::size_t first = type == "P" ? 5 : 3;
    const auto option = [&](char key, int fallback) {
      for (std::size_t i = first; i < f.items.size(); ++i) {
        if (!f.items[i].empty() && f.items[i][0] == key) return Params(f.items[i].substr(1)).Int(0, fallback);
      }
      return fallback;
    };
    const auto letterOption = [&](char key, char fallback) {
      for (std::size_t i = first; i < f.items.size(); ++i) {
        if (f.items[i].size() > 1 && f.items[i][0] == key) return f.items[i][1];
      }
      return fallback;
    };
    int x = n(0, 0), y = n(1, 0);
    Turns turns = 0;
    if (type == "Q") {
      request.symbology = barcode::Symbology::Qr;
      request.magnification = std::clamp(option('s', 3), 1, 99);
      const char level = letterOption('e', 'M');
      request.qrErrorCorrection = level;
      request.data = std::string(1, level) + "A," + f.quoted;
    } else if (type == "P") {
      request.symbology = barcode::Symbology::Pdf417;
      request.data = f.quoted;
      request.moduleWidth = std::clamp(option('x', 2), 1, 10);
      request.height = std::clamp(option('y', 4 * request.moduleWidth), 1, 99 * 10);
      request.pdfSecurity = std::clamp(option('s', 0), 0, 8);
      request.pdfRows = std::clamp(option('r', 0), 0, 90);
      request.pdfColumns = std::clamp(option('l', 0), 0, 30);
      request.pdfTruncate = option('t', 0) == 1;
      turns = option('o', 0) & 3;
    } else if (type == "D") {
      request.symbology = barcode::Symbology::DataMatrix;
      request.data = f.quoted;
      request.matrixModuleSize = std::clamp(option('h', 5), 1, 40);
      request.matrixColumns = std::clamp(option('c', 0), 0, 144);
      request.matrixRows = std::clamp(option('r', 0), 0, 144);
      x += request.matrixModuleSize;  // the symbol's one-module quiet zone
      y += request.matrixModuleSize;
    } else {
      return Report(line, "the preview does not draw this bar code type");
    }
    PlaceBarcode(line, request, nullptr, turns, x, y);
  }

  void PlaceBarcode(const Line& line, const barcode::Request& request, const TextStyle* text, Turns turns, int x, int y) {
    Stamp stamp;
    int barsBottom = 0;
    std::string error;
    if (!budget_.Spend(static_cast<long long>(request.data.size()) * 1024)) return Report(line, kNoTimeForField);
    if (!BarcodeStamp(request, text, false, budget_, &stamp, &barsBottom, &error)) return Report(line, error);
    Place(stamp, turns, std::clamp(x, -32000, 32000) + referenceX_, std::clamp(y, -32000, 32000) + referenceY_,
          Ink::Black, line);
  }

  // GW: bit 0 is black, unlike the Z set.
  void DrawRawGraphic(const Line& line) {
    std::size_t dataStart = 0;
    for (int commas = 0; dataStart < line.params.size() && commas < 4; ++dataStart) commas += line.params[dataStart] == ',' ? 1 : 0;
    const Params p(std::string_view(line.params).substr(0, dataStart));
    const long long x = p.Int(0, 0) + referenceX_, y = p.Int(1, 0) + referenceY_;
    const int perRow = std::clamp(p.Int(2, 0), 0, kMaxLabelSide / 8 + 1), rows = std::clamp(p.Int(3, 0), 0, kMaxLabelSide);
    if (perRow <= 0 || rows <= 0) return Report(line, "the graphic's width or height is missing or not positive");
    const std::string_view data = std::string_view(line.params).substr(dataStart);
    if (data.size() < static_cast<std::size_t>(perRow) * rows) return Report(line, "the graphic data is shorter than its size");
    if (!OnLabel(x, y, x + perRow * 8LL, y + rows, line)) return;
    if (!budget_.Spend(perRow * 8LL * rows)) return Report(line, kNoTimeForField);
    for (int row = 0; row < rows; ++row) {
      for (int col = 0; col < perRow * 8; ++col) {
        const auto byte = static_cast<uint8_t>(data[static_cast<std::size_t>(row) * perRow + col / 8]);
        if (!((byte >> (7 - col % 8)) & 1)) label_.image.Put(static_cast<int>(x + col), static_cast<int>(y + row), Ink::Black);
      }
    }
  }

  const Positions& positions_;
  const Options& options_;
  Budget& budget_;
  Label label_;
  int referenceX_ = 0, referenceY_ = 0;
  bool upsideDown_ = false;
};

}  // namespace

Result RenderE(std::string_view data, const Options& options) {
  const Positions positions(data);
  const std::vector<Line> lines = SplitLines(data);
  Result result;
  int width = 0, length = 0;
  Budget budget;
  const Line* sizeLine = nullptr;
  std::vector<const Line*> label;
  bool drawn = false;  // the buffer holds something not yet printed
  const auto emit = [&] {
    const int w = options.width > 0 ? options.width : width > 0 ? width : InchesToDots(4, options.dotsPerMm);
    const int h = options.length > 0 ? options.length : length > 0 ? length : InchesToDots(6, options.dotsPerMm);
    if (label.empty()) return;
    result.labels.push_back(ELabel(positions, options, budget).Draw(label, w, h, sizeLine));
  };
  for (const Line& line : lines) {
    if (line.name == "q" || line.name == "Q") {
      const Params p(line.params);
      if (p.Int(0, 0) > 0) (line.name == "q" ? width : length) = p.Int(0, 0);
      sizeLine = &line;
      continue;
    }
    if (line.name == "N") {
      label.clear();
      label.push_back(&line);
      drawn = false;
      continue;
    }
    label.push_back(&line);
    if (line.name == "P") {
      emit();
      label.clear();
      drawn = false;
    } else {
      drawn = true;
    }
  }
  if (drawn) emit();  // a label being typed, not yet printed
  return result;
}

}  // namespace tw::preview
