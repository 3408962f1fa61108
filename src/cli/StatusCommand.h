// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// tagwright-cli status [--set z|e] [--json]: the printer's status in plain words or as one JSON
// object. Exit status: 0 nothing of severity error or warning reported, 3 something reported,
// 1 no status query answered (the identification alone is no status answer) or the link failed.
#include <string>

namespace CLI {
class App;
}

namespace tw {

inline constexpr int kExitStatusReported = 3;

struct StatusArgs {
  std::string set = "z";
  bool json = false;
};

CLI::App* AddStatusCommand(CLI::App& app, StatusArgs& args);
// Runs on the open link.
int RunStatus(const StatusArgs& args);

}  // namespace tw
