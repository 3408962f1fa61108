// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/FactoryParams.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "core/Ini.h"

namespace tw::factory {
namespace {

// The key a parameter file lacks reads as "0070", except for these sizes, which read as "0400".
constexpr const char* kSizeDefault = "0400";

// ---- Building the table ----

Control Edit(const char* name, const char* caption, int shift = 0, int width = 16) {
  return {.kind = Kind::HexEdit, .name = name, .caption = caption, .shift = shift, .width = width};
}

Control Choice(const char* name, const char* caption, int shift, int width, std::vector<const char*> items) {
  return {.kind = Kind::Choice, .name = name, .caption = caption, .shift = shift, .width = width,
          .items = std::move(items)};
}

Control SizeDefault(Control control) {
  control.fileDefault = kSizeDefault;
  return control;
}

Control Hidden(Control control) {
  control.hidden = true;
  return control;
}

Slot Text(int number, const char* address, Control edit) { return {number, address, address, 0, {std::move(edit)}}; }

Slot Joined(int number, const char* address, uint16_t keptMask, std::vector<Control> controls) {
  return {number, address, address, keptMask, std::move(controls)};
}

// Two bytes of one word, each shown by an edit: the low byte, then the high byte.
Slot BytePair(int number, const char* address, Control low, Control high) {
  return Joined(number, address, 0, {std::move(low), std::move(high)});
}

const std::vector<const char*> kActions = {"无动作", "定位一个标签", "进纸一定的距离", "校验"};
const std::vector<const char*> kOffOn = {"关闭", "开启"};

std::vector<Slot> BuildSlots() {
  Control sensor = Choice("rgSENSER_SELECT", "传感器类型", 0, 16, {"反射", "透射", "自动选择"});
  sensor.codes = {0x0000, 0x0001, 0x0020};
  sensor.fileAliases = {{0x0002, 2}};

  Control baud = Choice("rgBIT_COMM_BAUD_RATE", "每秒位数", 0, 4,
                        {"9600", "110", "300", "600", "1200", "2400", "4800", "19200", "38400", "57600", "115200"});
  baud.columns = 2;

  Control actionKey = Hidden(Choice("rgBIT_ACT_KEY", "按键动作(未使用)", 8, 4, kActions));
  actionKey.disabled = true;
  actionKey.inFile = false;

  // Bits 4-6 of slot 37: 4 for an address from the network, 7 for a fixed one.
  Control addressing = Choice("rgBIT_ETHERNET_IP_RESOLUTION", "IP地址获取方式", 4, 3, {"自动获取", "固定IP"});
  addressing.codes = {4, 7};
  addressing.unmatched = Unmatched::KeepChoice;

  return {
      Text(0x00, "00", SizeDefault(Edit("edtLABEL_LENGTH", "标签长度："))),
      Text(0x02, "02", SizeDefault(Edit("edtFLAGSEEK_MAXLENGTH", "寻找标记和校验走纸距离："))),
      Joined(0x03, "03", 0,
             {SizeDefault(Edit("edtBIT_TPH_WIDTH", "打印头宽度：", 0, 13)),
              Choice("rgBIT_TPH_COLD_EN", "打印低温报警", 13, 3, {"不检测", "检测"})}),
      Joined(0x04, "04", 0,
             {SizeDefault(Edit("edtBIT_LEFT_MARGIN", "左边距：", 0, 7)),
              SizeDefault(Edit("edtBIT_RIGHT_MARGIN", "右边距：", 7, 7)),
              Choice("rgBIT_X_POSITION", "对齐方式", 14, 2, {"左", "居中", "右"})}),
      Text(0x05, "05", Edit("edtLABLE_TO_TPH_DISTANCE", "打印头到透射传感器的距离：")),
      Text(0x06, "06", Edit("edtMARK_TO_TPH_DISTANCE", "打印头到反射传感器的距离：")),
      Text(0x07, "07", Edit("edtTPH_TEAR_DISTANCE", "打印头到撕离刀之间距离：")),
      Text(0x08, "08", Edit("edtTPH_PEEL_DISTANCE", "打印头到剥离器之间距离：")),
      Text(0x09, "09", Edit("edtTPH_CUTTER_DISTANCE", "打印头到切刀之间距离：")),
      {0x0F, "0F", "0f", 0, {Edit("edtPRINT_SPEED", "打印速度设置：")}},
      Text(0x10, "10", Edit("edtFEED_SPEED", "空进纸速度：")),
      Text(0x11, "11", Edit("edtBACKFEED_SPEED", "退纸速度：")),
      Text(0x12, "12", Edit("edtADD_DARKNESS", "打印浓度：")),
      BytePair(0x13, "13", Edit("edtBIT_MARK_POWER", "反射传感器发光强度：", 0, 8),
               Edit("edtBIT_MARK_REF", "反射传感器参考值(标记纸)：", 8, 8)),
      BytePair(0x14, "14", Edit("edtBIT_LABLE_POWER", "透射传感器发光强度：", 0, 8),
               Edit("edtBIT_LABLE_REF", "透射传感器参考值(标签纸)：", 8, 8)),
      BytePair(0x15, "15", Hidden(Edit("edtBIT_EXIST_POWER", "存在传感器发光强度：", 0, 8)),
               Edit("edtBIT_EXIST_REF", "存在传感器参考值(连续纸)：", 8, 8)),
      Text(0x19, "19", Edit("edtADD_ADJ_FEED_LEN", "校验时的最大走纸距离：")),
      Text(0x1A, "1A", Edit("edtADD_MAX_LABLE_LEN", "最大标记间距：")),
      Text(0x1B, "1B", Edit("edtADD_LABLE_LEN", "标签高度：")),
      // Bit 3 belongs to no control; it is kept with bits 9-15. Static detection is bit 8.
      Joined(0x1C, "1C", 0xFE08,
             {Choice("rgBIT_PAP_TYPE", "纸张类型", 0, 3, {"连续纸", "标记纸", "标签纸"}),
              Choice("rgBIT_OUT_MODE", "出纸方式", 4, 4, {"打印完成后不出纸", "回卷模式", "撕离模式", "剥离模式", "切纸模式"}),
              Hidden(Choice("rgBIT_STATIC_CHECK", "静态检测使能", 8, 1, {"不使能", "使能"}))}),
      Joined(0x1D, "1D", 0xF000,
             {Choice("rgBIT_ACT_POWER", "上电后的动作", 0, 4, kActions),
              Choice("rgBIT_ACT_COVER", "合盖后的动作", 4, 4, kActions), actionKey}),
      Joined(0x20, "20", 0xF000,
             {baud, Choice("rgBIT_COMM_DATA_LEN", "数据位", 4, 2, {"7位", "8位"}),
              Choice("rgBIT_COMM_PARITY", "校验位", 6, 2, {"无校验", "奇校验", "偶校验"}),
              Choice("rgBIT_COMM_STOP_BIT", "停止位", 8, 2, {"1位", "2位"}),
              Choice("rgBIT_COMM_HANDSHAKE", "握手方式", 10, 2, {"硬握手", "软握手"})}),
      Joined(0x2B, "2b", 0, {sensor}),
      Joined(0x34, "34", 0,
             {Hidden(Edit("edtBIT_USB_BASE_ID", "USB基础ID：", 0, 12)), Edit("edtBIT_USB_ID", "USB ID号：", 12, 3),
              Choice("rgBIT_USB_MODE", "USB通讯模式", 15, 1, {"API模式", "类模式"})}),
      BytePair(0x35, "35", Edit("edtBIT_BACK_BEFORE", "打印前退纸百分比：", 0, 8),
               Edit("edtBIT_BACK_AFTER", "打印后退纸百分比：", 8, 8)),
      // The board type is bits 0-1 taken as the position, for reading and writing alike.
      Joined(0x37, "37", 0xFF80,
             {Hidden(Choice("rgBIT_ETHERNET_TYPE", "以太网接口板类型", 0, 2, {"使用外部网卡", "使用内部网卡", "使用无线网卡"})),
              Choice("rgBIT_ETHERNET_LINK_CHECK", "掉线检测使能", 2, 1, kOffOn),
              Choice("rgBIT_ETHERNET_TIMEOUT_CHECK", "超时检测使能", 3, 1, kOffOn), addressing}),
  };
}

// ---- Values ----

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// One to four hexadecimal digits: what an edit may hold.
bool IsHexNumber(std::string_view text) {
  return !text.empty() && text.size() <= 4 && std::all_of(text.begin(), text.end(), IsHexDigit);
}

unsigned HexValue(std::string_view digits) {
  unsigned value = 0;
  for (char c : digits) {
    value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  return value;
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
  return text;
}

std::string TextOf(const FactoryValues& values, const char* name) {
  const auto found = values.texts.find(name);
  return found == values.texts.end() ? std::string() : found->second;
}

// A radio group that was never set stands on its first entry.
int PositionOf(const FactoryValues& values, const char* name) {
  const auto found = values.positions.find(name);
  return found == values.positions.end() ? 0 : found->second;
}

std::optional<int> PositionOfCode(const Control& control, unsigned bits) {
  for (int position = 0; position < control.ItemCount(); ++position) {
    if (control.Code(position) == bits) return position;
  }
  return std::nullopt;
}

void TakeChoiceBits(const Control& control, unsigned bits, FactoryValues& values) {
  const std::string name = control.name;
  if (const std::optional<int> exact = PositionOfCode(control, bits)) {
    values.positions[name] = *exact;
    values.held.erase(name);
    return;
  }
  const int shown = control.unmatched == Unmatched::KeepChoice
                        ? PositionOf(values, control.name)
                        : std::min(static_cast<int>(bits), control.ItemCount() - 1);
  values.positions[name] = shown;
  values.held[name] = {shown, static_cast<uint16_t>(bits)};
}

// ---- The file ----

bool TakeFileValue(const Control& control, const std::string& value, FactoryValues& values) {
  if (control.kind == Kind::HexEdit) {
    if (!IsHexNumber(value)) return false;
    values.texts[control.name] = value;
    return true;
  }
  // Numbers in the file are hexadecimal without a prefix.
  const std::optional<int> number = ParseIniInteger("0x" + value);
  if (!number || *number < 0) return false;
  const unsigned bits = (static_cast<unsigned>(*number) >> control.shift) & control.FieldMask();
  std::optional<int> position = PositionOfCode(control, bits);
  for (const auto& [alias, aliasPosition] : control.fileAliases) {
    if (!position && alias == bits) position = aliasPosition;
  }
  if (!position) return false;
  values.positions[control.name] = *position;
  values.held.erase(control.name);
  return true;
}

std::string FileValue(const Control& control, const FactoryValues& values) {
  if (control.kind == Kind::HexEdit) return TextOf(values, control.name);
  const int position = PositionOf(values, control.name);
  if (position < 0 || position >= control.ItemCount()) return {};  // reads back as no usable value
  return Hex4(static_cast<unsigned>(control.Code(position)) << control.shift);
}

}  // namespace

uint16_t Control::Code(int position) const {
  return codes.empty() ? static_cast<uint16_t>(position) : codes[static_cast<std::size_t>(position)];
}

std::string Control::IniKey() const {
  const std::string_view whole = name;
  for (std::string_view prefix : {"edt", "rg"}) {
    if (whole.starts_with(prefix)) return std::string(whole.substr(prefix.size()));
  }
  return std::string(whole);
}

bool Slot::IsText() const {
  return controls.size() == 1 && controls[0].kind == Kind::HexEdit && controls[0].width == 16;
}

const std::vector<Slot>& Slots() {
  static const std::vector<Slot> slots = BuildSlots();
  return slots;
}

const Control* FindControl(std::string_view name) {
  for (const Slot& slot : Slots()) {
    for (const Control& control : slot.controls) {
      if (name == control.name) return &control;
    }
  }
  return nullptr;
}

bool TakeSlotReply(const Slot& slot, std::string_view reply, FactoryValues& values) {
  const std::string_view digits = reply.substr(0, 4);
  if (digits.size() < 4 || !std::all_of(digits.begin(), digits.end(), IsHexDigit)) return false;
  if (slot.IsText()) {
    values.texts[slot.controls[0].name] = std::string(digits);
    return true;
  }
  const unsigned word = HexValue(digits);
  if (slot.keptMask) values.kept[slot.number] = static_cast<uint16_t>(word & slot.keptMask);
  for (const Control& control : slot.controls) {
    const unsigned bits = (word >> control.shift) & control.FieldMask();
    if (control.kind == Kind::HexEdit) {
      values.texts[control.name] = Hex4(bits);
    } else {
      TakeChoiceBits(control, bits, values);
    }
  }
  return true;
}

std::variant<std::string, Refusal> SlotValueToWrite(const Slot& slot, const FactoryValues& values) {
  if (slot.IsText()) {
    const char* name = slot.controls[0].name;
    const std::string text = TextOf(values, name);
    if (!IsHexNumber(text)) return Refusal{Refusal::Reason::NotHex, name, text, 0xFFFF};
    return std::string(4 - text.size(), '0') + text;
  }
  const auto kept = values.kept.find(slot.number);
  unsigned word = kept == values.kept.end() ? 0u : kept->second;
  for (const Control& control : slot.controls) {
    unsigned bits = 0;
    if (control.kind == Kind::HexEdit) {
      // A value wider than its place would change the bits of its neighbours: it is refused.
      const std::string text = TextOf(values, control.name);
      if (!IsHexNumber(text)) return Refusal{Refusal::Reason::NotHex, control.name, text, control.FieldMask()};
      bits = HexValue(text);
      if (bits > control.FieldMask()) {
        return Refusal{Refusal::Reason::TooLarge, control.name, text, control.FieldMask()};
      }
    } else {
      const int position = PositionOf(values, control.name);
      if (position < 0 || position >= control.ItemCount()) {
        return Refusal{Refusal::Reason::NoChoice, control.name, {}, 0};
      }
      const auto held = values.held.find(control.name);
      bits = held != values.held.end() && held->second.position == position ? held->second.bits
                                                                              : control.Code(position);
    }
    word |= bits << control.shift;
  }
  return Hex4(word);
}

IniLoadReport LoadParameterFile(const std::filesystem::path& path, FactoryValues& values) {
  IniLoadReport report;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    report.status = IniLoadReport::Status::CannotOpen;
    return report;
  }
  IniDocument file;
  try {
    file = IniDocument::LoadForUpdate(path);  // tells an unreadable file from an empty one
  } catch (const IniWriteError&) {
    report.status = IniLoadReport::Status::CannotOpen;
    return report;
  }

  // Read every key first, so that a file without a single parameter changes nothing.
  std::vector<std::pair<const Control*, std::optional<std::string>>> found;
  bool anyParameter = false;
  for (const Slot& slot : Slots()) {
    for (const Control& control : slot.controls) {
      if (!control.inFile) continue;
      const std::string key = control.IniKey();
      found.emplace_back(&control, file.Find(key, key));
      anyParameter = anyParameter || found.back().second.has_value();
    }
  }
  if (!anyParameter) {
    report.status = IniLoadReport::Status::NoParameters;
    return report;
  }
  for (const auto& [control, value] : found) {
    const bool usable = TakeFileValue(*control, value.value_or(control->fileDefault), values);
    if (!usable && value) report.rejectedKeys.push_back(control->IniKey());
  }
  return report;
}

void SaveParameterFile(const std::filesystem::path& path, const FactoryValues& values) {
  IniDocument file = IniDocument::LoadForUpdate(path);
  for (const Slot& slot : Slots()) {
    for (const Control& control : slot.controls) {
      if (!control.inFile) continue;
      const std::string key = control.IniKey();
      file.Write(key, key, FileValue(control, values));
    }
  }
  file.Save(path);
}

std::string ParameterFileName(const std::string& chosen, int filterIndex) {
  if (filterIndex == 1 && !std::string_view(chosen).ends_with(".ini")) return chosen + ".ini";
  return chosen;
}

}  // namespace tw::factory
