// SPDX-License-Identifier: GPL-3.0-or-later
// The Z command set (caret and tilde commands) drawn label by label.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>

#include "preview/GraphicData.h"
#include "preview/RenderSupport.h"
#include "preview/Renderers.h"

namespace tw::preview {
namespace {

struct Command {
  std::string name;        // upper case with its prefix: "^FO", "^A", "~DG"
  std::size_t offset = 0;  // of the prefix character
  std::size_t length = 0;
  std::string params;      // CR and LF removed
};

bool IsPrefix(char c) { return c == '^' || c == '~'; }

// Splits the data into commands. A command's parameters run to the next prefix character; the
// binary form of ^GF takes exactly its declared byte count, whatever the bytes are.
std::vector<Command> Tokenize(std::string_view data) {
  std::vector<Command> commands;
  std::size_t i = 0;
  while (i < data.size()) {
    if (!IsPrefix(data[i])) {
      ++i;
      continue;
    }
    Command command;
    command.offset = i;
    command.name.push_back(data[i]);
    std::size_t p = i + 1;
    const auto upper = [&](std::size_t k) {
      return k < data.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(data[k]))) : '\0';
    };
    if (data[i] == '^' && upper(p) == 'A' && upper(p + 1) != '@') {
      command.name.push_back('A');  // ^Afo,h,w: the font letter follows at once
      p += 1;
    } else {
      for (int k = 0; k < 2 && p < data.size() && !IsPrefix(data[p]); ++k) command.name.push_back(upper(p++));
    }
    std::size_t end = p;
    if (command.name == "^GF") {
      // Format, byte count, total, bytes per row; the data follows the fourth comma.
      int commas = 0;
      while (end < data.size() && !IsPrefix(data[end]) && commas < 4) commas += data[end++] == ',' ? 1 : 0;
      const Params head(data.substr(p, end - p));
      if (commas == 4 && head.Letter(0, 'A') == 'B') {
        const auto count = static_cast<std::size_t>(std::max(0, head.Int(1, 0)));
        end = std::min(data.size(), end + count);
      } else {
        while (end < data.size() && !IsPrefix(data[end])) ++end;
      }
      command.params.assign(data.substr(p, end - p));  // binary bytes kept as they are
    } else {
      // Field data runs to the next caret: a tilde is an ordinary character inside it.
      const bool fieldData = command.name == "^FD" || command.name == "^FV";
      while (end < data.size() && data[end] != '^' && (fieldData || data[end] != '~')) ++end;
      for (std::size_t k = p; k < end; ++k) {
        if (data[k] != '\r' && data[k] != '\n') command.params.push_back(data[k]);
      }
    }
    command.length = end - i;
    commands.push_back(std::move(command));
    i = end;
  }
  return commands;
}

struct ResidentFont {
  char name;
  int height, width, gap;
  bool upperOnly;
};

// Cell sizes in dots at 6 and 8 dots/mm (the same matrices serve 12 and 24 dots/mm, except E and H).
constexpr ResidentFont kResidentFonts[] = {
    {'A', 9, 5, 1, false},   {'B', 11, 7, 2, true},   {'C', 18, 10, 2, false}, {'D', 18, 10, 2, false},
    {'E', 28, 15, 5, false}, {'F', 26, 13, 3, false}, {'G', 60, 40, 8, false}, {'H', 21, 13, 6, true},
};

struct FontChoice {
  char font = 'A';
  int height = 9;
  int width = 5;
};

int Magnification(int asked, int cell) {
  return std::clamp(static_cast<int>(std::lround(static_cast<double>(asked) / cell)), 1, 10);
}

TextStyle StyleFor(const FontChoice& choice, int dotsPerMm) {
  TextStyle style;
  const ResidentFont* resident = nullptr;
  for (const ResidentFont& font : kResidentFonts) {
    if (font.name == choice.font) resident = &font;
  }
  if (!resident) {  // the scalable font (and any font the printer would replace by it)
    const int height = std::clamp(choice.height > 0 ? choice.height : choice.width > 0 ? choice.width * 15 / 12 : 15, 1, 32000);
    const int width = std::clamp(choice.width > 0 ? choice.width : height * 12 / 15, 1, 32000);
    style.proportional = true;
    style.cellHeight = height;
    style.cellWidth = width;
    style.advance = width;
    style.baseline = height * 3 / 4;
    return style;
  }
  ResidentFont font = *resident;
  // The OCR fonts are redrawn at the higher resolutions to keep their printed size.
  const int scale = dotsPerMm >= 24 ? 2 : 1;
  if (dotsPerMm >= 12 && font.name == 'E') font = {'E', 42 * scale, 20 * scale, 6 * scale, false};
  if (dotsPerMm >= 12 && font.name == 'H') font = {'H', 34 * scale, 22 * scale, 8 * scale, true};
  const int heightTimes = choice.height > 0 ? Magnification(choice.height, font.height)
                          : choice.width > 0 ? Magnification(choice.width, font.width) : 1;
  const int widthTimes = choice.width > 0 ? Magnification(choice.width, font.width) : heightTimes;
  style.cellHeight = font.height * heightTimes;
  style.cellWidth = font.width * widthTimes;
  style.advance = (font.width + font.gap) * widthTimes;
  style.upperOnly = font.upperOnly;
  style.baseline = font.upperOnly ? style.cellHeight : static_cast<int>(std::lround(style.cellHeight * 0.78));
  return style;
}

Turns TurnsOf(char orientation) {
  switch (orientation) {
    case 'R': return 1;
    case 'I': return 2;
    case 'B': return 3;
    default: return 0;
  }
}

struct Box {
  long long x0, y0, x1, y1;
};

// Where a w x h stamp lands when its point (ax, ay) is turned and put at (dx, dy).
Box PlacedBox(int w, int h, Turns turns, int ax, int ay, long long dx, long long dy) {
  int xs[2], ys[2], xa, ya, xb, yb;
  TurnPoint(-ax, -ay, turns, &xa, &ya);
  TurnPoint(w - ax, h - ay, turns, &xb, &yb);
  xs[0] = std::min(xa, xb); xs[1] = std::max(xa, xb);
  ys[0] = std::min(ya, yb); ys[1] = std::max(ya, yb);
  return {dx + xs[0], dy + ys[0], dx + xs[1], dy + ys[1]};
}

struct Symbology {
  const char* command;
  barcode::Symbology symbology;
};
constexpr Symbology kSymbologies[] = {
    {"^BC", barcode::Symbology::Code128}, {"^B3", barcode::Symbology::Code39},
    {"^B2", barcode::Symbology::Interleaved2of5}, {"^BE", barcode::Symbology::Ean13},
    {"^BU", barcode::Symbology::UpcA}, {"^B7", barcode::Symbology::Pdf417},
    {"^BX", barcode::Symbology::DataMatrix}, {"^BQ", barcode::Symbology::Qr},
};

// Commands that set up the printer or the print run and draw nothing.
const std::set<std::string>& SilentCommands() {
  static const std::set<std::string> names = {
      "^XA", "^PR", "^MD", "^MN", "^MT", "^PQ", "^MM", "^JU", "^JZ", "^LT", "^SD", "^FX", "^PA", "^JM",
      "^ML", "^MF", "^KL", "^SZ", "^XB", "^CC", "^CT", "^CD", "^PP", "^PH", "^JB", "^JS", "^JT", "^KD",
      "^KN", "^KP", "^MP", "^MU", "^PF", "^PS", "^SS", "^ST", "^TO", "^WD", "^HH", "^HW", "^HT", "^HZ",
      "^CW", "^ID", "^IS", "^FN", "^FS"};
  return names;
}

struct PrinterState {  // what stays in force from one label to the next
  int width = 0, length = 0;
  int homeX = 0, homeY = 0, shift = 0;
  bool upsideDown = false;
  bool utf8 = false;
  char orientation = 'N';
  FontChoice font;
  int module = 2;
  double ratio = 3.0;
  int barHeight = 10;
};

struct Field {
  const Command* origin = nullptr;
  long long x = 0, y = 0;
  bool typeset = false;
  bool hasFont = false;
  FontChoice font;
  char orientation = 0;  // 0: ^FW's
  bool block = false;
  int blockWidth = 0, blockLines = 1, blockSpacing = 0, blockIndent = 0;
  char blockJustify = 'L';
  char hexIndicator = 0;
  bool reverse = false;
  bool hasData = false;
  std::string data;
  const Command* dataCommand = nullptr;
  const Command* kind = nullptr;  // ^GB, ^BC ... or nothing for text
};

class ZLabel {
 public:
  ZLabel(const Positions& positions, const Options& options, PrinterState& state, Budget& budget)
      : positions_(positions), options_(options), state_(state), budget_(budget) {}

  // `start` is the offset of the label's ^XA.
  Label Draw(const std::vector<const Command*>& commands, std::size_t start) {
    // The label's size is what its last ^PW and ^LL say, whichever field comes first. A size too
    // large to draw is reported for this label only: it is not kept for the labels after it.
    int asked[2] = {state_.width, state_.length};
    std::size_t askedAt[2] = {start, start};
    for (const Command* command : commands) {
      const Params params(command->params);
      const int side = command->name == "^PW" ? 0 : command->name == "^LL" ? 1 : -1;
      if (side >= 0 && params.Int(0, 0) > 0) {
        asked[side] = params.Int(0, 0);
        askedAt[side] = command->offset;
      }
    }
    if (asked[0] <= kMaxLabelSide) state_.width = asked[0];
    if (asked[1] <= kMaxLabelSide) state_.length = asked[1];
    const int width = options_.width > 0 ? options_.width : asked[0] > 0 ? asked[0] : InchesToDots(4, options_.dotsPerMm);
    const int length = options_.length > 0 ? options_.length : asked[1] > 0 ? asked[1] : InchesToDots(6, options_.dotsPerMm);
    if (width > kMaxLabelSide || length > kMaxLabelSide) {
      const bool wide = width > kMaxLabelSide;
      const std::size_t at = options_.width > 0 || options_.length > 0 ? start : askedAt[wide ? 0 : 1];
      label_.notDrawn.push_back(positions_.Make(wide ? "^PW" : "^LL", at, 3,
                                                "the label is larger than 32000 dots a side"));
      return std::move(label_);
    }
    if (!budget_.FitsImage(width, length)) {
      label_.notDrawn.push_back(positions_.Make("^XA", start, 3, kNoRoomForLabel));
      return std::move(label_);
    }
    label_.image = LabelImage(width, length);
    for (const Command* command : commands) Execute(*command);
    if (field_.origin || field_.hasData || field_.kind) EndField();
    // Turned in place at a cost bounded by the image itself: never left undone for want of time.
    if (state_.upsideDown) label_.image.Rotate180();
    return std::move(label_);
  }

 private:
  void Report(const Command& command, std::string reason) {
    label_.notDrawn.push_back(positions_.Make(command.name, command.offset, command.length, std::move(reason)));
  }

  void Execute(const Command& command) {
    const Params p(command.params);
    const std::string& name = command.name;
    if (name[0] == '~') return;  // printer control: nothing on the label
    if (name == "^FO" || name == "^FT") {
      if (field_.origin && (field_.hasData || field_.kind)) EndField();  // a field left without ^FS
      field_.origin = &command;
      field_.typeset = name == "^FT";
      field_.x = std::clamp(p.Int(0, field_.typeset ? nextX_ : 0), 0, 32000);
      field_.y = std::clamp(p.Int(1, field_.typeset ? nextY_ : 0), 0, 32000);
    } else if (name == "^FD" || name == "^FV") {
      field_.hasData = true;
      field_.data = DecodeHex(command.params);
      field_.dataCommand = &command;
    } else if (name == "^FS") {
      EndField();
    } else if (name == "^FH") {
      field_.hexIndicator = p.Has(0) ? p.Text(0)[0] : '_';
    } else if (name == "^FR") {
      field_.reverse = true;
    } else if (name == "^FB") {
      field_.block = true;
      field_.blockWidth = std::clamp(p.Int(0, 0), 0, 32000);
      field_.blockLines = std::clamp(p.Int(1, 1), 1, 9999);
      field_.blockSpacing = std::clamp(p.Int(2, 0), -9999, 9999);
      field_.blockJustify = p.Letter(3, 'L');
      field_.blockIndent = std::clamp(p.Int(4, 0), 0, 9999);
    } else if (name == "^A") {
      const std::string& head = p.Text(0);
      field_.hasFont = true;
      field_.font.font = head.empty() ? state_.font.font : static_cast<char>(std::toupper(static_cast<unsigned char>(head[0])));
      field_.orientation = head.size() > 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(head[1]))) : 0;
      const bool sized = p.Has(1) || p.Has(2);
      field_.font.height = sized ? p.Int(1, 0) : state_.font.height;
      field_.font.width = sized ? p.Int(2, 0) : state_.font.width;
    } else if (name == "^CF") {
      if (p.Has(0)) state_.font.font = p.Letter(0, 'A');
      state_.font.height = p.Int(1, 0);
      state_.font.width = p.Int(2, 0);
    } else if (name == "^FW") {
      state_.orientation = Orientation(p.Letter(0, 'N'));
    } else if (name == "^BY") {
      state_.module = std::clamp(p.Int(0, state_.module), 1, 10);
      state_.ratio = std::clamp(p.Real(1, state_.ratio), 2.0, 3.0);
      state_.barHeight = std::clamp(p.Int(2, state_.barHeight), 1, 32000);
    } else if (name == "^LH") {
      state_.homeX = std::clamp(p.Int(0, 0), 0, 32000);
      state_.homeY = std::clamp(p.Int(1, 0), 0, 32000);
    } else if (name == "^LS") {
      state_.shift = std::clamp(p.Int(0, 0), -9999, 9999);
    } else if (name == "^PO") {
      state_.upsideDown = p.Letter(0, 'N') == 'I';
    } else if (name == "^CI") {
      state_.utf8 = p.Int(0, 0) == 28;
    } else if (name == "^PW" || name == "^LL") {
      // taken before drawing
    } else if (name == "^GB" || name == "^GC" || name == "^GE" || name == "^GD" || name == "^GF" ||
               (name.size() == 3 && name[1] == 'B' && name != "^BY")) {
      field_.kind = &command;
    } else if (name == "^XZ") {
      // the label ends: its last field is drawn by Draw()
    } else if (!SilentCommands().count(name)) {
      Report(command, "the preview does not draw this command");
    }
  }

  static char Orientation(char letter) { return letter == 'R' || letter == 'I' || letter == 'B' ? letter : 'N'; }

  std::string DecodeHex(const std::string& data) const {
    if (!field_.hexIndicator) return data;
    std::string out;
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (data[i] == field_.hexIndicator && i + 2 < data.size() + 0 && std::isxdigit(static_cast<unsigned char>(data[i + 1])) &&
          std::isxdigit(static_cast<unsigned char>(data[i + 2]))) {
        out.push_back(static_cast<char>(std::stoi(data.substr(i + 1, 2), nullptr, 16)));
        i += 2;
      } else {
        out.push_back(data[i]);
      }
    }
    return out;
  }

  Ink InkFor(char colour) const {
    if (field_.reverse) return Ink::Invert;
    return colour == 'W' ? Ink::White : Ink::Black;
  }

  // The field's top-left corner on the label for an unturned w x h drawing.
  long long Left() const { return field_.x + state_.homeX - state_.shift; }
  long long Top(int h) const { return field_.y + state_.homeY - (field_.typeset ? h : 0); }

  // Reports a drawing that lies wholly or partly off the label; true when any of it is on it.
  bool CheckOnLabel(const Box& box, const Command& command) {
    const LabelImage& image = label_.image;
    if (box.x1 <= 0 || box.y1 <= 0 || box.x0 >= image.width() || box.y0 >= image.height()) {
      Report(command, "the field lies off the label");
      return false;
    }
    if (box.x0 < 0 || box.y0 < 0 || box.x1 > image.width() || box.y1 > image.height()) {
      Report(command, "the field runs off the label; the part outside is not drawn");
    }
    return true;
  }

  void EndField() {
    const Command* where = field_.kind ? field_.kind : field_.dataCommand ? field_.dataCommand : field_.origin;
    if (where) {
      const std::string& kind = field_.kind ? field_.kind->name : std::string();
      if (kind == "^GB" || kind == "^GC" || kind == "^GE" || kind == "^GD") {
        DrawShape(*field_.kind);
      } else if (kind == "^GF") {
        DrawGraphic(*field_.kind);
      } else if (!kind.empty()) {
        if (field_.hasData) DrawBarcode(*field_.kind);
      } else if (field_.hasData) {
        DrawTextField(*where);
      }
    }
    field_ = Field{};
  }

  // ---- shapes ------------------------------------------------------------------------------

  // Row `y` of a w x h rectangle with corner radius r: the dots [x0, x1) inside it.
  static void RoundedSpan(int w, int h, double r, int y, int* x0, int* x1) {
    double inset = 0;
    const double fromEdge = std::min(y + 0.5, h - y - 0.5);
    if (r > 0 && fromEdge < r) {
      const double d = r - fromEdge;
      inset = r - std::sqrt(std::max(0.0, r * r - d * d));
    }
    *x0 = static_cast<int>(std::lround(inset));
    *x1 = w - *x0;
  }

  static void EllipseSpan(double w, double h, int y, int* x0, int* x1) {
    const double rx = w / 2, ry = h / 2, dy = y + 0.5 - ry;
    if (rx <= 0 || ry <= 0 || std::abs(dy) >= ry) {
      *x0 = *x1 = 0;
      return;
    }
    const double half = rx * std::sqrt(1 - dy * dy / (ry * ry));
    *x0 = static_cast<int>(std::lround(rx - half));
    *x1 = static_cast<int>(std::lround(rx + half));
  }

  void DrawShape(const Command& command) {
    const Params p(command.params);
    const char kind = command.name[2];
    const int thickness = std::clamp(p.Int(kind == 'C' || kind == 'E' ? (kind == 'C' ? 1 : 2) : 2, 1), 1, 32000);
    int w, h;
    char colour;
    if (kind == 'C') {
      w = h = std::clamp(p.Int(0, 3), 3, 4095);
      colour = p.Letter(2, 'B');
    } else {
      const int limit = kind == 'E' ? 4095 : 32000;
      w = std::clamp(p.Int(0, thickness), 1, limit);
      h = std::clamp(p.Int(1, thickness), 1, limit);
      colour = p.Letter(3, 'B');
      if (kind == 'B') {
        w = std::max(w, thickness);
        h = std::max(h, thickness);
      }
    }
    const long long left = Left(), top = Top(h);
    if (!CheckOnLabel({left, top, left + w, top + h}, command)) return;
    const Ink ink = InkFor(colour);
    LabelImage& image = label_.image;
    const int firstRow = static_cast<int>(std::max<long long>(0, -top));
    const int lastRow = static_cast<int>(std::min<long long>(h, image.height() - top));
    if (!budget_.Spend((lastRow - firstRow + 1LL) * (w / 8 + 16))) return Report(command, kNoTimeForField);
    const int t = std::min(thickness, std::max(w, h));
    const bool leftLeaning = kind == 'D' && (p.Letter(4, 'R') == 'L' || p.Text(4) == "\\");
    const double radius = kind == 'B' ? std::clamp(p.Int(4, 0), 0, 8) / 8.0 * std::min(w, h) / 2 : 0;
    for (int row = firstRow; row < lastRow; ++row) {
      const int y = static_cast<int>(top + row);
      int outer0, outer1, inner0 = 0, inner1 = 0;
      if (kind == 'D') {
        const double along = h > 1 ? static_cast<double>(row) / (h - 1) : 0;
        const int start = static_cast<int>(std::lround((w - t) * (leftLeaning ? along : 1 - along)));
        image.Span(y, static_cast<int>(left + start), static_cast<int>(left + start + t), ink);
        continue;
      }
      if (kind == 'B') {
        RoundedSpan(w, h, radius, row, &outer0, &outer1);
        if (w > 2 * t && h > 2 * t && row >= t && row < h - t) {
          RoundedSpan(w - 2 * t, h - 2 * t, std::max(0.0, radius - t), row - t, &inner0, &inner1);
          inner0 += t;
          inner1 += t;
        }
      } else {
        EllipseSpan(w, h, row, &outer0, &outer1);
        if (w > 2 * t && h > 2 * t && row >= t && row < h - t) {
          EllipseSpan(w - 2 * t, h - 2 * t, row - t, &inner0, &inner1);
          inner0 += t;
          inner1 += t;
        }
      }
      if (inner1 > inner0) {
        image.Span(y, static_cast<int>(left + outer0), static_cast<int>(left + inner0), ink);
        image.Span(y, static_cast<int>(left + inner1), static_cast<int>(left + outer1), ink);
      } else {
        image.Span(y, static_cast<int>(left + outer0), static_cast<int>(left + outer1), ink);
      }
    }
  }

  // ---- ^GF -------------------------------------------------------------------------------

  void DrawGraphic(const Command& command) {
    std::size_t dataStart = 0;
    for (int commas = 0; dataStart < command.params.size() && commas < 4; ++dataStart) {
      commas += command.params[dataStart] == ',' ? 1 : 0;
    }
    const Params p(std::string_view(command.params).substr(0, dataStart));
    const char format = p.Letter(0, 'A');
    const long long total = p.Int(2, 0);
    const int perRow = p.Int(3, 0);
    if (total <= 0 || perRow <= 0) {
      Report(command, "the graphic's byte count or bytes per row is missing or not positive");
      return;
    }
    if (total > kMaxGraphicBytes || perRow > kMaxLabelSide / 8 + 1) {
      Report(command, "the graphic is larger than the preview draws");
      return;
    }
    if (!budget_.Spend(total * 8 + static_cast<long long>(command.params.size()))) return Report(command, kNoTimeForField);
    std::vector<uint8_t> bytes;
    const std::string_view data = std::string_view(command.params).substr(dataStart);
    if (format == 'B') {
      bytes.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(data.size(), total)));
      bytes.resize(total, 0);
    } else if (format == 'A') {
      std::string error;
      if (!DecodeGraphicText(data, static_cast<int>(total), perRow, &bytes, &error)) {
        Report(command, error);
        return;
      }
    } else {
      Report(command, "the compressed binary form of graphic data is not drawn by the preview");
      return;
    }
    const int rows = static_cast<int>(total / perRow);
    const long long left = Left(), top = Top(rows);
    if (!CheckOnLabel({left, top, left + perRow * 8LL, top + rows}, command)) return;
    const Ink ink = InkFor('B');
    for (int row = 0; row < rows; ++row) {
      const long long y = top + row;
      if (y < 0 || y >= label_.image.height()) continue;
      for (int x = 0; x < perRow * 8; ++x) {
        if ((bytes[static_cast<std::size_t>(row) * perRow + x / 8] >> (7 - x % 8)) & 1) {
          label_.image.Put(static_cast<int>(left + x), static_cast<int>(y), ink);
        }
      }
    }
  }

  // ---- text ------------------------------------------------------------------------------

  TextStyle FieldStyle() const { return StyleFor(field_.hasFont ? field_.font : state_.font, options_.dotsPerMm); }
  Turns FieldTurns() const { return TurnsOf(field_.orientation ? Orientation(field_.orientation) : state_.orientation); }

  // A field block's text broken into lines: "\&" breaks, words wrap at the block width, words
  // longer than the width are cut.
  std::vector<std::u32string> BlockLines(const std::u32string& text, const TextStyle& style) const {
    std::vector<std::u32string> paragraphs(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == U'\\' && i + 1 < text.size()) {
        if (text[i + 1] == U'&') { paragraphs.emplace_back(); ++i; continue; }
        if (text[i + 1] == U'\\') { paragraphs.back().push_back(U'\\'); ++i; continue; }
        if (text.compare(i, 4, U"\\(*)") == 0) { i += 3; continue; }
      }
      paragraphs.back().push_back(text[i]);
    }
    // Widths are summed word by word (and dot by dot for a cut word), so that long text costs
    // time in proportion to its length.
    const auto widthOf = [&](const std::u32string& part) { return TextWidth(part, style); };
    const int space = widthOf(U" ");
    std::vector<std::u32string> lines;
    for (const std::u32string& paragraph : paragraphs) {
      std::u32string line;
      int lineWidth = 0;
      std::size_t i = 0;
      while (i <= paragraph.size() && lines.size() <= 10000) {
        const std::size_t end = std::min(paragraph.find(U' ', i), paragraph.size());
        std::u32string word = paragraph.substr(i, end - i);
        i = end + 1;
        const int room = field_.blockWidth - (lines.empty() ? 0 : field_.blockIndent);
        const int wordWidth = widthOf(word);
        if (line.empty() && word.empty()) continue;
        if ((line.empty() ? wordWidth : lineWidth + space + wordWidth) <= room) {
          lineWidth = line.empty() ? wordWidth : lineWidth + space + wordWidth;
          if (!line.empty()) line += U' ';
          line += word;  // in place: a long block costs time in proportion to its length
          continue;
        }
        if (!line.empty()) lines.push_back(line);
        line.clear();
        lineWidth = 0;
        // A word wider than the block is cut where it fills a line.
        std::u32string piece;
        int pieceWidth = 0;
        for (char32_t c : word) {
          const int w = widthOf(std::u32string(1, c));
          if (!piece.empty() && pieceWidth + w > room) {
            lines.push_back(piece);
            piece.clear();
            pieceWidth = 0;
          }
          piece.push_back(c);
          pieceWidth += w;
        }
        line = piece;
        lineWidth = pieceWidth;
      }
      lines.push_back(line);
    }
    return lines;
  }

  void DrawTextField(const Command& where) {
    std::string why;
    if (!GlyphsAvailable(&why)) {
      Report(where, why);
      return;
    }
    const TextStyle style = FieldStyle();
    const std::u32string text = DecodeText(field_.data, state_.utf8);
    Stamp stamp;
    int lastBaseline = style.baseline;
    if (field_.block) {
      if (field_.blockWidth < style.cellWidth) {
        Report(where, "the field block is narrower than one character");
        return;
      }
      const std::vector<std::u32string> lines = BlockLines(text, style);
      const int slots = std::min<int>(static_cast<int>(lines.size()), field_.blockLines);
      const int pitch = std::max(1, style.cellHeight + field_.blockSpacing);
      if (static_cast<long long>(field_.blockWidth) * (pitch * (slots - 1LL) + style.cellHeight) > kMaxStampDots) {
        Report(where, kFieldTooLarge);
        return;
      }
      if (!budget_.Spend(static_cast<long long>(field_.blockWidth) * (pitch * (slots - 1LL) + style.cellHeight) +
                         static_cast<long long>(text.size()) * 64)) {
        return Report(where, kNoTimeForField);
      }
      stamp.Resize(field_.blockWidth, pitch * (slots - 1) + style.cellHeight);
      for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i >= static_cast<std::size_t>(slots) && !budget_.Spend(static_cast<long long>(field_.blockWidth) * style.cellHeight)) {
          return Report(where, kNoTimeForField);
        }
        const int y = pitch * std::min<int>(static_cast<int>(i), slots - 1);
        const int indent = i > 0 ? field_.blockIndent : 0;
        const int room = field_.blockWidth - indent - TextWidth(lines[i], style);
        const char justify = field_.blockJustify;
        if (justify == 'J' && i + 1 < lines.size()) {
          DrawJustified(stamp, indent, y, lines[i], style);
        } else {
          const int x = justify == 'C' ? indent + room / 2 : justify == 'R' ? indent + room : indent;
          DrawText(stamp, x, y, lines[i], style);
        }
      }
      lastBaseline = pitch * (slots - 1) + style.baseline;
    } else {
      const long long width = TextWidth(text, style);
      if (width * style.cellHeight > kMaxStampDots) {
        Report(where, kFieldTooLarge);
        return;
      }
      if (!budget_.Spend(width * style.cellHeight + static_cast<long long>(text.size()))) return Report(where, kNoTimeForField);
      stamp.Resize(static_cast<int>(width), style.cellHeight);
      DrawText(stamp, 0, 0, text, style);
    }
    PlaceStamp(stamp, lastBaseline, style.baseline, where);
  }

  void DrawJustified(Stamp& stamp, int x, int y, const std::u32string& line, const TextStyle& style) const {
    std::vector<std::u32string> words;
    std::size_t i = 0;
    while (i <= line.size()) {
      const std::size_t end = std::min(line.find(U' ', i), line.size());
      if (end > i) words.push_back(line.substr(i, end - i));
      i = end + 1;
    }
    int used = 0;
    for (const auto& word : words) used += TextWidth(word, style);
    const int gaps = std::max<int>(1, static_cast<int>(words.size()) - 1);
    const double space = static_cast<double>(field_.blockWidth - x - used) / gaps;
    double pen = x;
    for (const auto& word : words) {
      DrawText(stamp, static_cast<int>(pen), y, word, style);
      pen += TextWidth(word, style) + space;
    }
  }

  // Puts a text or barcode stamp at the field's place: ^FO names its turned top-left corner, ^FT the
  // turned point (0, anchorY) (the last baseline of a text, the base of a barcode).
  void PlaceStamp(const Stamp& stamp, int anchorY, int firstBaseline, const Command& where) {
    const Turns turns = FieldTurns();
    const long long x = field_.x + state_.homeX - state_.shift, y = field_.y + state_.homeY;
    int ax = 0, ay = 0;
    long long dx = x, dy = y;
    if (field_.typeset) {
      ay = anchorY;
    } else {
      int tx, ty;
      TurnedTopLeft(stamp.width, stamp.height, turns, &tx, &ty);
      dx = x - tx;
      dy = y - ty;
    }
    const Box box = PlacedBox(stamp.width, stamp.height, turns, ax, ay, dx, dy);
    if (!CheckOnLabel(box, where)) return;
    label_.image.Place(stamp, turns, ax, ay, static_cast<int>(dx), static_cast<int>(dy), InkFor('B'));
    int ex, ey;
    TurnPoint(stamp.width - ax, firstBaseline - ay, turns, &ex, &ey);
    nextX_ = static_cast<int>(std::clamp<long long>(dx + ex - state_.homeX + state_.shift, 0, 32000));
    nextY_ = static_cast<int>(std::clamp<long long>(dy + ey - state_.homeY, 0, 32000));
  }

  // ---- barcodes --------------------------------------------------------------------------

  void DrawBarcode(const Command& command) {
    const Symbology* symbology = nullptr;
    for (const Symbology& s : kSymbologies) {
      if (command.name == s.command) symbology = &s;
    }
    if (!symbology) {
      Report(command, "the preview does not draw this symbology");
      return;
    }
    const Params p(command.params);
    barcode::Request request;
    request.symbology = symbology->symbology;
    request.data = field_.data;
    request.moduleWidth = state_.module;
    request.ratio = state_.ratio;
    request.height = state_.barHeight;
    char orientation = p.Letter(0, 0);
    char line = 'Y', above = 'N';
    const auto yes = [&](std::size_t i, char fallback) { return p.Letter(i, fallback) == 'Y'; };
    switch (request.symbology) {
      case barcode::Symbology::Code128:
        request.height = std::clamp(p.Int(1, state_.barHeight), 1, 32000);
        line = p.Letter(2, 'Y');
        above = p.Letter(3, 'N');
        request.checkDigit = yes(4, 'N');
        request.code128Mode = p.Letter(5, 'N');
        break;
      case barcode::Symbology::Code39:
        request.checkDigit = yes(1, 'N');
        request.height = std::clamp(p.Int(2, state_.barHeight), 1, 32000);
        line = p.Letter(3, 'Y');
        above = p.Letter(4, 'N');
        break;
      case barcode::Symbology::Interleaved2of5:
      case barcode::Symbology::Ean13:
      case barcode::Symbology::UpcA:
        request.height = std::clamp(p.Int(1, state_.barHeight), 1, 32000);
        line = p.Letter(2, 'Y');
        above = p.Letter(3, 'N');
        if (request.symbology == barcode::Symbology::Interleaved2of5) request.checkDigit = yes(4, 'N');
        if (request.symbology == barcode::Symbology::UpcA) request.upcPrintCheckDigit = yes(4, 'Y');
        break;
      case barcode::Symbology::Pdf417: {
        request.pdfSecurity = std::clamp(p.Int(2, 0), 0, 8);
        request.pdfColumns = std::clamp(p.Int(3, 0), 0, 30);
        request.pdfRows = std::clamp(p.Int(4, 0), 0, 90);
        request.pdfTruncate = yes(5, 'N');
        // Without a row height the bar code height is shared among the rows asked for; with neither,
        // rows are three modules high.
        const int fallback = request.pdfRows > 0 ? state_.barHeight / request.pdfRows : 3 * state_.module;
        request.height = std::clamp(p.Int(1, fallback), 1, 32000);
        line = 'N';
        break;
      }
      case barcode::Symbology::DataMatrix:
        if (p.Int(2, 0) != 200) {
          Report(command, "only quality 200 (ECC 200) Data Matrix symbols are drawn");
          return;
        }
        request.matrixModuleSize = std::clamp(p.Int(1, 0), 0, 32000);
        request.matrixColumns = std::clamp(p.Int(3, 0), 0, 144);
        request.matrixRows = std::clamp(p.Int(4, 0), 0, 144);
        line = 'N';
        break;
      case barcode::Symbology::Qr: {
        orientation = 'N';  // QR codes are drawn upright only
        static const std::map<int, int> kDefaultMagnification = {{6, 1}, {8, 2}, {12, 3}, {24, 6}};
        const auto it = kDefaultMagnification.find(options_.dotsPerMm);
        request.magnification = std::clamp(p.Int(2, it != kDefaultMagnification.end() ? it->second : 2), 1, 100);
        request.qrErrorCorrection = p.Has(3) ? p.Letter(3, 0) : 0;
        line = 'N';
        break;
      }
    }
    if (orientation) field_.orientation = orientation;
    const TextStyle style = FieldStyle();
    if (!budget_.Spend(static_cast<long long>(request.data.size()) * 1024)) return Report(command, kNoTimeForField);
    Stamp stamp;
    int barsBottom = 0;
    std::string error;
    if (!BarcodeStamp(request, line == 'Y' ? &style : nullptr, above == 'Y', budget_, &stamp, &barsBottom, &error)) {
      Report(command, error);
      return;
    }
    PlaceStamp(stamp, barsBottom, barsBottom, command);
  }

  const Positions& positions_;
  const Options& options_;
  PrinterState& state_;
  Budget& budget_;
  Label label_;
  Field field_;
  int nextX_ = 0, nextY_ = 0;
};

}  // namespace

Result RenderZ(std::string_view data, const Options& options) {
  const Positions positions(data);
  const std::vector<Command> commands = Tokenize(data);
  PrinterState state;
  Budget budget;
  Result result;
  std::vector<const Command*> label;
  bool open = false;
  std::size_t start = 0;  // of the open label's ^XA
  for (const Command& command : commands) {
    if (command.name == "^XA") {
      open = true;
      start = command.offset;
      continue;
    }
    if (!open) continue;  // outside a label: printer set-up, nothing drawn
    label.push_back(&command);
    if (command.name == "^XZ") {
      result.labels.push_back(ZLabel(positions, options, state, budget).Draw(label, start));
      label.clear();
      open = false;
    }
  }
  if (open) {  // a label not yet ended: still shown, as the send area's page is being typed
    if (label.empty()) {
      static const Command kEnd{"^XZ", 0, 0, ""};
      label.push_back(&kEnd);
    }
    result.labels.push_back(ZLabel(positions, options, state, budget).Draw(label, start));
  }
  return result;
}

}  // namespace tw::preview
