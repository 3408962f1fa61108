// SPDX-License-Identifier: GPL-3.0-or-later
// Named E printers for the configuration reply: two models, 203 and 300 dpi, and the three kinds of
// label field (gap labels, black marks, continuous media).
#include <algorithm>

#include "sim/VirtualPrinter.h"

namespace tw::sim {
namespace {

ConfigurationOptions Configuration(std::string model, std::string firmware, int widthDots, std::string labelField,
                                   int speed, int darkness, bool topOrientation, std::string codePage,
                                   bool tofBackup, std::string options) {
  ConfigurationOptions c;
  c.model = std::move(model);
  c.firmware = std::move(firmware);
  c.widthDots = widthDots;
  c.labelField = std::move(labelField);
  c.speed = speed;
  c.darkness = darkness;
  c.topOrientation = topOrientation;
  c.codePage = std::move(codePage);
  c.tofBackup = tofBackup;
  c.options = std::move(options);
  return c;
}

std::vector<ConfigurationPreset> MakePresets() {
  return {
      {"l42d-gap", "QRT-L42D, 203 dpi, 104 mm wide, gap labels 25 mm long with 3 mm gaps", 203,
       ConfigurationOptions{}},
      {"l42d-mark", "QRT-L42D, 203 dpi, black marks 3 mm with offset -1 mm, peeler, top-of-form backup", 203,
       Configuration("QRT-L42D", "2.31.0518E", 832, "Q200,B24-8", 2, 10, false, "I8,A,049", true, "P")},
      {"l42d-continuous", "QRT-L42D, 203 dpi, 72 mm wide, continuous media", 203,
       Configuration("QRT-L42D", "2.31.0518E", 576, "Q203,0", 5, 14, true, "I8,1,044", false, "D")},
      {"t3-300-gap", "QRT-T3, 300 dpi, 104 mm wide, gap labels 50 mm long with 3 mm gaps, no liner", 300,
       Configuration("QRT-T3", "4.05.1202E", 1248, "Q600,36+0", 4, 12, true, "I8,10,044", false, "L")},
      {"t3-300-mark", "QRT-T3, 300 dpi, 75 mm wide, black marks 4 mm on labels 100 mm long, 7-bit code page",
       300, Configuration("QRT-T3", "4.05.1202E", 900, "Q1200,B48+12", 6, 3, true, "I7,3,001", true, "D")},
  };
}

}  // namespace

const std::vector<ConfigurationPreset>& ConfigurationPresets() {
  static const std::vector<ConfigurationPreset> presets = MakePresets();
  return presets;
}

const ConfigurationPreset* FindConfigurationPreset(std::string_view name) {
  const auto& presets = ConfigurationPresets();
  const auto it = std::find_if(presets.begin(), presets.end(),
                               [name](const ConfigurationPreset& preset) { return preset.name == name; });
  return it == presets.end() ? nullptr : &*it;
}

}  // namespace tw::sim
