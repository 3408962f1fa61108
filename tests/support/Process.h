#pragma once
// Runs one of the project's programs as a child process and collects what it printed.
#include <string>
#include <vector>

namespace tw::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when it did not end by itself within the time-out (it is then killed)
  std::string out;
  std::string err;
};

// `program` is a file name in the build's bin folder; `input` is written to its standard input.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "", int timeoutMs = 30000);

}  // namespace tw::test
