// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Messages.h"

#include <cstdio>
#include <mutex>

namespace tw {
namespace {
std::mutex g_mutex;
MessageHandler g_handler;
CatalogLookup g_lookup;
}  // namespace

void SetMessageHandler(MessageHandler handler) {
  std::lock_guard lock(g_mutex);
  g_handler = std::move(handler);
}

MsgAnswer ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons buttons) {
  MessageHandler handler;
  {
    std::lock_guard lock(g_mutex);
    handler = g_handler;
  }
  if (handler) return handler(text, caption, icon, buttons);
  std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
  if (buttons == MsgButtons::OkCancelSafe) return MsgAnswer::Cancel;
  return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

void SetCatalogLookup(CatalogLookup lookup) {
  std::lock_guard lock(g_mutex);
  g_lookup = std::move(lookup);
}

std::string CatalogText(std::string_view section, std::string_view key) {
  CatalogLookup lookup;
  {
    std::lock_guard lock(g_mutex);
    lookup = g_lookup;
  }
  return lookup ? lookup(section, key) : std::string(key);
}

}  // namespace tw
