// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the wizards' length fields: the check made when a field is left and the changes of unit.
// Input layout: one settings byte (bit 0: E wizard, bits 1-2: resolution 0 / 200 / 300, bits 3-4:
// the unit the fields are written in), four field texts ending in NUL, then one byte per unit change
// (its value modulo 4 is the unit chosen).
// Properties checked:
//  - a field that passes the check shows a display form that passes it again unchanged;
//  - a unit change either refuses a field or gives every field dots within what the dots check
//    reads, and texts that read back as numbers (never "inf"); in dots the text is the dots;
//  - once converted, the dots never change again, however often the unit changes, and going back
//    to a unit shows the same texts as before.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "FuzzSupport.h"
#include "wizards/Ranges.h"

using fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const uint8_t settings = input.Byte();
  const tw::WizardKind wizard = (settings & 1) ? tw::WizardKind::E : tw::WizardKind::Z;
  static constexpr int kResolutions[] = {0, tw::kResolution203, tw::kResolution300, 0};
  const tw::UnitConverter converter(wizard == tw::WizardKind::Z ? tw::ZDensity()
                                                                 : tw::DensityForResolution(kResolutions[(settings >> 1) & 3]));
  tw::LengthUnit unit = static_cast<tw::LengthUnit>((settings >> 3) & 3);
  std::array<std::string, tw::kLengthFieldCount> fields;
  for (std::string& field : fields) field = std::string(input.Field());

  for (int i = 0; i < tw::kLengthFieldCount; ++i) {
    const tw::FieldCheck check = tw::CheckLengthField(wizard, static_cast<tw::LengthField>(i), unit, fields[i]);
    if (check.verdict != tw::FieldVerdict::Accepted) continue;
    const tw::FieldCheck again = tw::CheckLengthField(wizard, static_cast<tw::LengthField>(i), unit, check.text);
    Require(again.verdict == tw::FieldVerdict::Accepted && again.text == check.text);
  }

  tw::HeldDots held{};
  std::map<tw::LengthUnit, std::array<std::string, tw::kLengthFieldCount>> shownIn;
  while (!input.empty()) {
    const auto chosen = static_cast<tw::LengthUnit>(input.Byte() % tw::kLengthUnitCount);
    const tw::UnitChange change = tw::ChangeLengthUnit(converter, unit, chosen, fields, held);
    if (!change.ok) {
      Require(!held[0] && change.fields == fields && change.currentUnit == unit && change.failedField);
      return 0;  // the fields stay as they were: the next change would refuse the same field
    }
    if (chosen == unit) continue;
    for (int i = 0; i < tw::kLengthFieldCount; ++i) {
      const std::optional<long long> dots = change.dots[i];
      Require(dots && std::llabs(*dots) <= tw::kLargestDots);
      if (held[i]) Require(*held[i] == *dots);
      if (chosen == tw::LengthUnit::Dots) {
        Require(tw::ParseWholeNumber(change.fields[i]) == *dots);
      } else {
        const std::optional<double> shown = tw::ParseLengthNumber(change.fields[i]);
        Require(shown && std::isfinite(*shown));
      }
    }
    if (held[0]) {
      const auto before = shownIn.find(chosen);
      if (before != shownIn.end()) Require(before->second == change.fields);
    }
    shownIn[chosen] = change.fields;
    held = change.dots;
    fields = change.fields;
    unit = chosen;
  }
  return 0;
}
