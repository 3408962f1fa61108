// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs one of the project's programs as a child process and collects what it printed.
#include <functional>
#include <string>
#include <vector>

namespace tw::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when it did not end by itself within the time-out (it is then killed)
  std::string out;
  std::string err;
};

// `program` is a file name in the build's bin folder; `input` is written to its standard input.
// `whileRunning`, when given, runs in a thread of its own with the child's process id once it has
// started (to signal it, say).
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "", int timeoutMs = 30000,
                         const std::function<void(int pid)>& whileRunning = {});

// The same, with `whileRunning` also given a function that returns what the child has written to
// its standard error so far (to wait for a message before signalling it again, say).
ProcessResult RunProgramWatching(const std::string& program, const std::vector<std::string>& args, int timeoutMs,
                                 const std::function<void(int pid, const std::function<std::string()>& errSoFar)>& whileRunning);

}  // namespace tw::test
