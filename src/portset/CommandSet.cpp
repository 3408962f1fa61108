// SPDX-License-Identifier: GPL-3.0-or-later
#include "portset/CommandSet.h"

#include <atomic>

namespace tw {
namespace {
std::atomic<bool> g_commandSetZ{false};
}

bool CommandSetIsZ() { return g_commandSetZ; }
void SetCommandSetIsZ(bool z) { g_commandSetZ = z; }

}  // namespace tw
