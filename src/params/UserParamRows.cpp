// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/UserParamRows.h"

#include <algorithm>
#include <cstdio>

#include "params/ParamProtocol.h"

namespace tw {
namespace {

SlotSpec Field(const char* address, Bits bits) { return {address, bits, bits, std::nullopt}; }
SlotSpec Word(const char* address) { return {address, std::nullopt, std::nullopt, std::nullopt}; }

ControlSpec HexEdit(const char* name, const char* label, Bits bits = kWholeWord) {
  return {ControlKind::HexEdit, name, label, {}, bits};
}
ControlSpec Choice(const char* name, const char* title, std::vector<const char*> items, Bits bits = kWholeWord,
                   int defaultIndex = 0, int columns = 1) {
  return {ControlKind::Choice, name, title, std::move(items), bits, 0, defaultIndex, columns};
}
ControlSpec DecimalEdit(const char* name, const char* label) {
  return {ControlKind::DecimalEdit, name, label, {}, kWholeWord};
}
ControlSpec Octet(const char* name, const char* label, std::size_t slot, bool highByte) {
  return {ControlKind::DecimalEdit, name, label, {}, highByte ? Bits{8, 15} : Bits{0, 7}, slot};
}

// A radio group whose items write values of their own (itemValues) as the field's whole value.
ControlSpec ChoiceWritten(const char* name, const char* title, std::vector<const char*> items, Bits bits,
                          std::vector<uint16_t> itemValues, int defaultIndex) {
  ControlSpec control = Choice(name, title, std::move(items), bits, defaultIndex);
  control.itemValues = std::move(itemValues);
  return control;
}

// The settings of the E command set, in slots 50 to 5C, in the order in which they are read and
// written: slot 51 bits 08-08 before 00-07, 53 bits 00-07 before 08-15, 57 bits 0, 1, 2, 58 bits
// 00-07 before 08-09. (Some items were designed with trailing tabs to widen them; the layouts size
// the items, so they are left out.)
std::vector<SettingRow> EplOwnRows() {
  return {
      // 28
      {Page::Choices, "地址:0x50", {Field("50", {0, 0})},
       {Choice("rgEPL_ZERO_TYPE", "数字0类型", {"空心0", "带斜杠的0"}, {0, 0}, 1)}, Part::Epl},
      // 29, 30
      {Page::Choices, "地址:0x51", {Field("51", {8, 8})},
       {Choice("rgEPL_ERUO_SETTING", "欧元字符设置", {"不映射", "映射"}, {0, 0})}, Part::Epl},
      {Page::Numbers, "地址:0x51", {Field("51", {0, 7})}, {HexEdit("edtEPL_ERUO_POS", "欧元字符的映射位置:", {0, 7})},
       Part::Epl},
      // 31: item 1 when bit 3 of the field is set (8 bits); written as 0007 or 0008
      {Page::Choices, "地址:0x53", {Field("53", {0, 7})},
       {ChoiceWritten("rgEPL_I_NUMBIT", "字符数据位数设置", {"7位", "8位"}, {3, 3}, {0x0007, 0x0008}, 1)}, Part::Epl},
      // 32, 33
      {Page::Numbers, "地址:0x53", {Field("53", {8, 15})},
       {HexEdit("edtEPL_I_CODEPAGENUM", "设置字符代码页类型:", {0, 7})}, Part::Epl},
      {Page::Numbers, "地址:0x56", {Word("56")}, {HexEdit("edtEPL_HEIGHT_ADD_MARK", "标记纸下的黑标高度:")}, Part::Epl},
      // 34 to 36
      {Page::Choices, "地址:0x57", {Field("57", {0, 0})},
       {Choice("rgEPL_AUTO_MSG_US_EN", "US指令使能", {"不使能", "使能"}, {0, 0})}, Part::Epl},
      {Page::Choices, "地址:0x57", {Field("57", {1, 1})},
       {Choice("rgEPL_AUTO_MSG_US_EACH_EN", "US指令下每个标签均返回模式", {"只返回一次", "每个票面都返回"}, {0, 0})},
       Part::Epl},
      {Page::Choices, "地址:0x57", {Field("57", {2, 2})},
       {Choice("rgEPL_AUTO_MSG_UT_EN", "UT指令使能", {"不使能", "使能"}, {0, 0})}, Part::Epl},
      // 37, 38
      {Page::Numbers, "地址:0x58", {Field("58", {0, 7})}, {HexEdit("edtEPL_ER_UD_CHR", "eR指令定义的字符:", {0, 7})},
       Part::Epl},
      {Page::Choices, "地址:0x58", {Field("58", {8, 9})},
       {Choice("rgEPL_ER_MODE", "eR指令返回模式", {"不返回", "只返回定义的字符", "定义的字符+错误码"}, {0, 1})},
       Part::Epl},
      // 39: a dump file's word is decoded like the field read (bits 0-2), so that a file and the
      // printer it was taken from show the same item
      {Page::Choices, "地址:0x59", {Field("59", {0, 2})},
       {Choice("rgEPL_KEY_SET", "WVLE的按键动作", {"进纸 ", "重打上一张 ", "无动作"}, {0, 2})}, Part::Epl},
      // 40 to 42
      {Page::Numbers, "地址:0x5A", {Word("5A")}, {HexEdit("edtEPL_LABEL_WIDTH", "WVLE的打印宽度:")}, Part::Epl},
      {Page::Numbers, "地址:0x5B", {Word("5B")}, {HexEdit("edtEPL_SET_POINT_X", "R指令设置的相对原点X坐标:")}, Part::Epl},
      {Page::Numbers, "地址:0x5C", {Word("5C")}, {HexEdit("edtEPL_SET_POINT_Y", "R指令设置的相对原点Y坐标:")}, Part::Epl},
  };
}

}  // namespace

// The octet rows list their edits in the order shown.
const std::vector<SettingRow>& ZUserRows() {
  static const std::vector<SettingRow> rows = {
      // 1, 2
      {Page::Numbers, "地址:0x01", {Field("01", {0, 7})}, {HexEdit("EdtTEAR_POSITION_ADJ", "撕离位置调整:", {0, 7})}},
      {Page::Numbers, "地址:0x01", {Field("01", {8, 15})}, {HexEdit("EdtTOP_POSITION_ADJ", "上下打印位置调整:", {0, 7})}},
      // 3, 4
      {Page::Numbers, "地址:0x06", {Word("06")}, {HexEdit("edtMARK_TO_TPH_DISTANCE", "标记距离打印位置之间的距离:")}},
      {Page::Numbers, "地址:0x0C", {Word("0C")}, {HexEdit("EdtCMD_X_SHIFT_ADJ", "打印内容左右调整:")}},
      // 5: read as the field 00-01, written as the whole word
      {Page::Choices, "地址:0x0D", {{"0D", Bits{0, 1}, std::nullopt, std::nullopt}},
       {Choice("rgADD_PRINT_METHOD", "打印方法设置", {"直接热敏", "热转印"}, {0, 1})}},
      // 6 to 8
      {Page::Numbers, "地址:0x0f", {Word("0F")}, {HexEdit("edtPRINT_SPEED", "打印速度设置:")}},
      {Page::Numbers, "地址:0x10", {Word("10")}, {HexEdit("edtFEED_SPEED", "空走纸速度设置:")}},
      {Page::Numbers, "地址:0x11", {Word("11")}, {HexEdit("edtBACKFEED_SPEED", "退纸速度:")}},
      // 9: a field of the low byte; a dump file's word gives the same byte
      {Page::Numbers, "地址:0x12", {Field("12", {0, 7})}, {HexEdit("edtADD_DARKNESS", "打印浓度:", {0, 7})}},
      // 10
      {Page::Numbers, "地址:0x1B", {Word("1B")}, {HexEdit("edtADD_LABLE_LEN", "标签间距(不包括衬纸):")}},
      // 11 to 13
      {Page::Choices, "地址:0x1C", {Field("1C", {0, 2})},
       {Choice("rgBIT_PAP_TYPE", "纸张类型", {"连续纸", "标记纸", "标签纸"}, {0, 2})}},
      {Page::Choices, "地址:0x1C", {Field("1C", {4, 7})},
       {Choice("rgBIT_OUT_MODE", "出纸模式", {"回卷模式", "撕离模式", "剥离模式", "切纸模式"}, {0, 3})}},
      {Page::Choices, "地址:0x1C", {Field("1C", {8, 8})},
       {Choice("rgBIT_PEEL_SELECT", "剥离是否确认", {"不确认", "确认"}, {0, 0})}},
      // 14: three choices in one word; bits 8-11 and 13-15 kept
      {Page::Choices, "地址:0x1D", {Word("1D")},
       {Choice("rgBIT_ACT_POWER", "上电后的动作", {"无动作", "定位一个标签", "启动校验"}, {0, 3}),
        Choice("rgBIT_ACT_COVER", "合盖后的动作", {"无动作", "定位一个标签", "校验"}, {4, 7}),
        Choice("rgBIT_REPRNT", "出错是是否重打", {"否", "是"}, {12, 12}, 1)}},
      // 15
      {Page::Numbers, "地址:0x1E", {Word("1E")}, {HexEdit("EdtADD_LABLE_LEN_CONTINOUS", "设置的标签长度:")}},
      // 16: the serial settings in one word; bits 12-15 kept
      {Page::Choices, "地址:0x20", {Word("20")},
       {Choice("rgBIT_COMM_BAUD_RATE", "每秒位数",
               {"9600", "110", "300", "600", "1200", "2400", "4800", "19200", "38400", "57600", "115200"}, {0, 3}, 0,
               2),
        Choice("rgBIT_COMM_DATA_LEN", "数据位", {"7位", "8位"}, {4, 5}),
        Choice("rgBIT_COMM_PARITY", "校验位", {"无校验", "奇校验", "偶校验"}, {6, 7}),
        Choice("rgBIT_COMM_STOP_BIT", "停止位", {"1位", "2位"}, {8, 9}),
        Choice("rgBIT_COMM_HANDSHAKE", "握手方式", {"硬握手", "软握手"}, {10, 11})}},
      // 17
      {Page::Numbers, "地址:0x21", {Word("21")}, {HexEdit("EdtADD_WEB_HEIGHT", "标记间隙高度:")}},
      // 18: a dump file's whole word is the item index
      {Page::Choices, "地址:0x2B", {{"2B", Bits{0, 2}, Bits{0, 2}, kWholeWord}},
       {Choice("rgSENSER_SELECT", "传感器选择", {"反射", "透射"})}},
      // 19 to 21
      {Page::Numbers, "地址:0x34", {Field("34", {12, 14})}, {HexEdit("edtBIT_USB_ID", "USB ID号:", {0, 2})}},
      {Page::Numbers, "地址:0x35", {Field("35", {0, 7})}, {HexEdit("edtBIT_BACK_BEFORE", "打印前退纸百分比:", {0, 7})}},
      {Page::Numbers, "地址:0x36", {Field("36", {8, 15})}, {HexEdit("edtBIT_BACK_AFTER", "打印后退纸百分比:", {0, 7})}},
      // 22 to 25: the network settings, no hints on the port and address labels
      {Page::Numbers, nullptr, {Word("38")}, {DecimalEdit("EdtETHERNET_RAW_PORT", "端口号:")}, Part::Network},
      {Page::Numbers, nullptr, {Word("3B"), Word("3C")},
       {Octet("Edit_IP1", "IP地址:", 1, false), Octet("Edit_IP2", nullptr, 1, true), Octet("Edit_IP3", nullptr, 0, false),
        Octet("Edit_IP4", nullptr, 0, true)}, Part::Network},
      {Page::Numbers, "地址:0x3D", {Word("3D"), Word("3E")},
       {Octet("EdtETHERNET_NETMASK_1", "子网掩码:", 1, false), Octet("EdtETHERNET_NETMASK_2", nullptr, 1, true),
        Octet("EdtETHERNET_NETMASK_3", nullptr, 0, false), Octet("EdtETHERNET_NETMASK_4", nullptr, 0, true)}, Part::Network},
      {Page::Numbers, "地址:0x3F", {Word("3F"), Word("40")},
       {Octet("EdtETHERNET_GATEWAY_1", "默认网关:", 1, false), Octet("EdtETHERNET_GATEWAY_2", nullptr, 1, true),
        Octet("EdtETHERNET_GATEWAY_3", nullptr, 0, false), Octet("EdtETHERNET_GATEWAY_4", nullptr, 0, true)}, Part::Network},
      // 26
      {Page::Numbers, "地址:0x47", {Word("47")}, {HexEdit("EdtLABEL_WIDTH", "标签宽度:")}},
      // 27
      {Page::Choices, "地址:0x48", {Word("48")},
       {Choice("rgLABLE_ORIENTATION", "旋转180°打印使能", {"不旋转", "旋转180°打印"}, {0, 1}),
        Choice("rgLABLE_MIRROR", "镜像打印使能", {"不镜像", "镜像"}, {2, 3})}},
  };
  return rows;
}

const std::vector<SettingRow>& EplUserRows() {
  static const std::vector<SettingRow> rows = [] {
    std::vector<SettingRow> all = ZUserRows();
    for (SettingRow& row : EplOwnRows()) all.push_back(std::move(row));
    return all;
  }();
  return rows;
}

std::vector<RowSlot> RowSlots(const std::vector<SettingRow>& rows) {
  std::vector<RowSlot> slots;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t s = 0; s < rows[r].slotSpecs.size(); ++s) slots.push_back({r, s});
  }
  return slots;
}

uint16_t ShownBits(const SettingRow& row, std::size_t slot) {
  unsigned shown = 0;
  for (const ControlSpec& control : row.controls) {
    if (control.slot == slot) shown |= static_cast<unsigned>(control.bits.Mask()) << control.bits.first;
  }
  return static_cast<uint16_t>(shown);
}

std::string BitNumber(int bit) {
  char text[4];
  std::snprintf(text, sizeof text, "%02d", bit);
  return text;
}

int SlotNumber(const char* address) { return std::stoi(address, nullptr, 16); }

std::optional<uint16_t> FourHexDigits(std::string_view text) {
  const auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); };
  if (text.size() != 4 || !std::all_of(text.begin(), text.end(), isHex)) return std::nullopt;
  return static_cast<uint16_t>(ParseSlotValue(text));
}

}  // namespace tw
