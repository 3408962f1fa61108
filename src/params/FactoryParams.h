// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The factory editor's parameters as plain data, without widgets: the 26 slots it reads and writes
// whole, the controls that show the bits of each slot, how a slot word is split into control values
// and joined back, the bits of a slot that no control shows, and the parameter INI file.
//
// The window copies its controls into a FactoryValues before it writes or saves, and shows the
// FactoryValues again after a read or a load.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tw::factory {

enum class Kind {
  HexEdit,  // up to four hexadecimal digits
  Choice,   // a radio group; its value is the selected position
};

// What a printer read does with a choice's field value that is not the code of any entry.
enum class Unmatched {
  SelectLast,  // the position is the value, or the last entry when the value lies beyond the list
  KeepChoice,  // the choice stays as it was
};

// One control and the bits of its slot that it shows: `width` bits from bit `shift` on.
struct Control {
  Kind kind;
  const char* name;     // the object name; its INI key is the name without "edt" or "rg"
  const char* caption;  // the label beside an edit, the title of a radio group
  int shift = 0;
  int width = 16;
  std::vector<const char*> items{};  // radio groups
  // The field value of each entry; empty when it is the entry's position.
  std::vector<uint16_t> codes{};
  // Further values that a parameter file may hold for an entry: {value, position}.
  std::vector<std::pair<uint16_t, int>> fileAliases{};
  Unmatched unmatched = Unmatched::SelectLast;
  bool hidden = false;
  bool disabled = false;
  bool inFile = true;               // kept in the parameter INI file
  const char* fileDefault = "0070";  // the value of a key that the file lacks
  int columns = 1;                  // radio groups

  uint16_t FieldMask() const { return static_cast<uint16_t>((1u << width) - 1u); }  // right-aligned
  int ItemCount() const { return static_cast<int>(items.size()); }
  uint16_t Code(int position) const;
  std::string IniKey() const;
};

struct Slot {
  int number;               // 0x00 .. 0xFF
  const char* readAddress;  // sent exactly as written: slot 0F is read as "0F" and written as "0f"
  const char* writeAddress;
  uint16_t keptMask;        // bits that no control shows: put back from the last printer read
  std::vector<Control> controls;

  // A slot shown by one edit as the reply's text and written as the edit's text.
  bool IsText() const;
};

// The slots in the order in which they are read and written.
const std::vector<Slot>& Slots();
// The control of that name, or null.
const Control* FindControl(std::string_view name);

// A choice's field value from the printer that no entry stands for (a value beyond the list, or one
// that matches no entry), and the position shown for it. Until another position is chosen, a write
// puts these bits back, so that reading and writing leaves the slot as it was.
struct HeldBits {
  int position;
  uint16_t bits;
};

struct FactoryValues {
  std::map<std::string, std::string> texts;  // edit name -> text
  std::map<std::string, int> positions;      // radio group name -> position (-1: none selected)
  std::map<std::string, HeldBits> held;      // radio group name -> bits from the printer
  std::map<int, uint16_t> kept;              // slot number -> kept bits of its last printer read
};

// Shows a printer's reply for a slot: the first four characters, which must be hexadecimal digits
// (false, nothing changed, otherwise). Text slots show the four characters as they came; joined
// slots are split into their controls; the kept bits are stored.
bool TakeSlotReply(const Slot& slot, std::string_view reply, FactoryValues& values);

// Why a slot's value cannot be built from the controls.
struct Refusal {
  enum class Reason {
    NotHex,    // empty, or not one to four hexadecimal digits
    TooLarge,  // beyond the bits of its place in the word
    NoChoice,  // a radio group without a selected entry
  };
  Reason reason;
  std::string control;  // its name
  std::string text;     // the edit's text
  unsigned limit;       // the largest value that fits
};

// The four characters to write into a slot, or why they cannot be built. Text slots send the edit's
// text, completed with zeros on the left to four digits; joined slots send the kept bits plus each
// control's bits as four upper-case hexadecimal digits.
std::variant<std::string, Refusal> SlotValueToWrite(const Slot& slot, const FactoryValues& values);

// ---- The parameter INI file: one section per parameter, holding one key of the same name. ----

struct IniLoadReport {
  enum class Status {
    Loaded,
    CannotOpen,    // missing, not a file, or unreadable: nothing changed
    NoParameters,  // not one parameter section in it: nothing changed
  };
  Status status = Status::Loaded;
  // Keys present in the file whose values were not usable; their controls stay as they were.
  std::vector<std::string> rejectedKeys;
};

// Reads every parameter key in file order; a missing key reads as its default. Edits take values
// of one to four hexadecimal digits; choices take the hexadecimal value's bits of their field, and a
// value that matches no entry leaves the choice as it was. A choice set from the file gives up its
// held bits; the kept bits do not change.
IniLoadReport LoadParameterFile(const std::filesystem::path& path, FactoryValues& values);
// Writes every parameter key in file order: edits as their text, choices as the code of the
// selected entry shifted to its bits, four hexadecimal digits. Keys already in the file are
// replaced, everything else in it stays. Throws IniWriteError.
void SaveParameterFile(const std::filesystem::path& path, const FactoryValues& values);
// The name to save under: with the first filter ("Ini Files") chosen, ".ini" is appended to a name
// that does not end in it (letter case counts).
std::string ParameterFileName(const std::string& chosen, int filterIndex);

}  // namespace tw::factory
