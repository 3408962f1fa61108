// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings tables of the two user parameter editors: each row names its controls, the slots
// (or fields of slots) that hold them, how a value is read from the printer or a dump file and how it
// is written back. The E command set's editor shows the Z editor's rows and fifteen rows of its own;
// both windows build their controls, read, write and load files from these rows. No widgets here.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// Bits first to last of a slot word, both inclusive.
struct Bits {
  int first = 0;
  int last = 15;
  int Width() const { return last - first + 1; }
  uint16_t Mask() const { return static_cast<uint16_t>((1u << Width()) - 1u); }  // right-aligned
};
inline constexpr Bits kWholeWord{0, 15};

enum class ControlKind {
  HexEdit,      // four hexadecimal digits
  DecimalEdit,  // a decimal number
  Choice,       // a radio group; the value is the item index
};

// One control of a row and where its value lies in the value of its slot (the slot's word, or the
// right-aligned value of a field read).
struct ControlSpec {
  ControlKind kind;
  const char* name;
  const char* caption;  // the radio group's title, or the label beside an edit (null: no label)
  std::vector<const char*> items;
  Bits bits = kWholeWord;
  std::size_t slot = 0;   // which of the row's slots holds it
  int defaultIndex = 0;   // radio groups
  int columns = 1;        // radio groups
  // Radio groups whose items are written as values of their own rather than as their index: the
  // value each item writes as the slot's (or field's) whole value. Nothing selected writes 0.
  std::vector<uint16_t> itemValues = {};
};

// One slot of a row: read as a field (readBits) or whole; written as a field (writeBits) or whole;
// fileBits is the part of a dump file's word that stands for what the read brings. A whole-word write
// keeps every bit that no control of the row shows, from the slot's word when it is known (read whole
// from the printer or loaded from a file); a slot read as a field whose word is not known is written
// as that field, so that the printer keeps its other bits.
struct SlotSpec {
  const char* address;
  std::optional<Bits> readBits;
  std::optional<Bits> writeBits;
  std::optional<Bits> fileBits;  // default: readBits, else the whole word
};

struct SettingRow;
// The bits of the slot's word that the controls of the row show.
uint16_t ShownBits(const SettingRow& row, std::size_t slot);

enum class Page { Choices, Numbers };

// Which part of a page a row belongs to: the settings both command sets share, the E command set's
// own, and the network settings.
enum class Part { Shared, Epl, Network };

struct SettingRow {
  Page page;
  const char* hint;  // on the radio groups, or on the label of the edits; null: none
  std::vector<SlotSpec> slotSpecs;
  std::vector<ControlSpec> controls;
  Part part = Part::Shared;
};

// The rows of the Z editor (34 settings in 27 slots), in the order in which they are read and
// written. The octet rows hold two slots each, written in the order listed.
const std::vector<SettingRow>& ZUserRows();
// The rows of the E editor: the Z editor's rows followed by the fifteen settings of slots 50 to 5C.
const std::vector<SettingRow>& EplUserRows();

// One slot of one row.
struct RowSlot {
  std::size_t row;
  std::size_t slot;
};
// Every slot of the rows, row by row, the slots of a row in the order listed: the order in which
// they are read (one request each), written and loaded.
std::vector<RowSlot> RowSlots(const std::vector<SettingRow>& rows);

// A bit number as it travels: two decimal digits ("08").
std::string BitNumber(int bit);
// A slot address of a row ("1D") as a number.
int SlotNumber(const char* address);
// A value as the printer or a dump file gives it: exactly four hexadecimal digits; nullopt otherwise.
std::optional<uint16_t> FourHexDigits(std::string_view text);

}  // namespace tw
