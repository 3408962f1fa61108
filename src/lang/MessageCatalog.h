// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The message catalog: process-wide text slots filled from sections of the current language file.
// Tips (main window; at start-up and after every language change), SetPort (port dialog, each time
// it is shown), DownDialog (download dialog), SetPrinter_1 (setup wizards) and Status (status
// window). A missing key gives an empty text. Installs itself as the lookup behind CatalogText() of core/Messages.h.
#include <QString>
#include <QStringList>
#include <string_view>

namespace tw {

// The keys of a section, in the order the catalog lists them.
QStringList CatalogKeys(std::string_view section);
// Loads every key of the section from the current language file, replacing the section's slots.
void LoadCatalogSection(std::string_view section);
// The text of a slot (empty when not loaded or missing).
QString Msg(std::string_view section, std::string_view key);
// Shortcut for the section Tips.
inline QString Tip(std::string_view key) { return Msg("Tips", key); }

}  // namespace tw
