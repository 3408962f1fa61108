// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the readers of the editors' parameter files: the dump file (slot records) and the factory
// editor's parameter INI file. The input is the file's bytes, read as both.
// Properties checked:
//  - dump file: every slot value found is four characters; the found slots written out again as
//    slot records read back with the same values, and no other slot is found;
//  - parameter INI file: the values loaded, saved into a new file and loaded again over them stay
//    the same, and saving them a second time writes the same file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "params/FactoryParams.h"
#include "params/ParamProtocol.h"

using fuzz::Require;

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

std::string Address(int slot) { return {kDigits[slot >> 4], kDigits[slot & 15]}; }

std::array<std::optional<std::string>, 256> SlotsOf(const std::filesystem::path& path) {
  const std::optional<tw::DumpFile> file = tw::DumpFile::Open(path);
  Require(file.has_value());
  std::array<std::optional<std::string>, 256> slots;
  for (int slot = 0; slot < 256; ++slot) {
    slots[slot] = file->FindSlot(Address(slot));
    if (slots[slot]) Require(slots[slot]->size() == 4);
  }
  return slots;
}

void CheckDumpFile(std::string_view bytes) {
  const auto slots = SlotsOf(fuzz::WriteScratch("dump.eep", bytes));
  std::string records;
  for (int slot = 0; slot < 256; ++slot) {
    if (slots[slot]) records += "~WN00@eep,w," + Address(slot) + "," + *slots[slot] + "\r\n";
  }
  Require(SlotsOf(fuzz::WriteScratch("dump-again.eep", records)) == slots);
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool SameValues(const tw::factory::FactoryValues& a, const tw::factory::FactoryValues& b) {
  return a.texts == b.texts && a.positions == b.positions;
}

// The values of a window in which every control is empty or has no entry selected.
tw::factory::FactoryValues EmptyWindow() {
  tw::factory::FactoryValues values;
  for (const tw::factory::Slot& slot : tw::factory::Slots()) {
    for (const tw::factory::Control& control : slot.controls) {
      if (control.kind == tw::factory::Kind::HexEdit) values.texts[control.name] = "";
      else values.positions[control.name] = -1;
    }
  }
  return values;
}

void CheckParameterFile(std::string_view bytes) {
  using namespace tw::factory;
  static const FactoryValues kEmptyWindow = EmptyWindow();
  FactoryValues loaded = kEmptyWindow;
  if (LoadParameterFile(fuzz::WriteScratch("params.ini", bytes), loaded).status != IniLoadReport::Status::Loaded) {
    return;
  }
  const std::filesystem::path saved = fuzz::ScratchFile("saved.ini");
  std::filesystem::remove(saved);
  SaveParameterFile(saved, loaded);
  // The window holds the values loaded first; loading the saved file over them changes none.
  FactoryValues again = loaded;
  Require(LoadParameterFile(saved, again).status == IniLoadReport::Status::Loaded);
  Require(SameValues(again, loaded));
  const std::string first = ReadBytes(saved);
  SaveParameterFile(saved, again);
  Require(ReadBytes(saved) == first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckDumpFile(bytes);
  CheckParameterFile(bytes);
  return 0;
}
