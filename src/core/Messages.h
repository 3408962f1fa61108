// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The message-box seam: every message the program shows goes through ShowMessage, so that the GUI
// shows a real box, the command-line tool prints a sentence and tests record what was said.
#include <functional>
#include <string>
#include <string_view>

namespace tw {

enum class MsgIcon { None, Information, Warning, Error, Question };
// OkCancelSafe: OK and Cancel with Cancel as the default button, for a question whose OK may harm.
enum class MsgButtons { Ok, OkCancel, YesNo, OkCancelSafe };
enum class MsgAnswer { Ok, Cancel, Yes, No };

using MessageHandler =
    std::function<MsgAnswer(const std::string& text, const std::string& caption, MsgIcon, MsgButtons)>;

// Installs the handler (an empty one restores the default, which writes to standard error).
void SetMessageHandler(MessageHandler handler);
MsgAnswer ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon = MsgIcon::None,
                      MsgButtons buttons = MsgButtons::Ok);

// The message catalog lookup: the text of a key in a section of the current language file.
// Until the catalog is loaded the key itself is returned.
using CatalogLookup = std::function<std::string(std::string_view section, std::string_view key)>;
void SetCatalogLookup(CatalogLookup lookup);
std::string CatalogText(std::string_view section, std::string_view key);

}  // namespace tw
