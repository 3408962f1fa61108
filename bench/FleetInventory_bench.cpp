// SPDX-License-Identifier: GPL-3.0-or-later
// The inventory of a printer list against many virtual printers on loopback, through the command-
// line program as a user runs it: first each of a sample of printers alone (a list of one), then
// all of them with as many jobs as printers. The whole run should take at most twice the slowest
// single printer's own time plus one second: the limit is concurrency, not the list's length.
//
//   build/bin/FleetInventory_bench [PRINTERS=200] [JOBS=200] [SAMPLE=10]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sim/VirtualPrinter.h"

namespace {

using Clock = std::chrono::steady_clock;

std::filesystem::path ProgramDir() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

// Runs the command; its wall time in milliseconds, and its output in `output`.
double TimedRun(const std::string& command, std::string* output) {
  const auto start = Clock::now();
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  output->clear();
  while (pipe && std::fgets(buffer, sizeof buffer, pipe)) *output += buffer;
  if (pipe) ::pclose(pipe);
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::size_t CountAnswered(const std::string& csv) {
  std::size_t answered = 0;
  for (std::size_t at = csv.find(",yes,"); at != std::string::npos; at = csv.find(",yes,", at + 1)) ++answered;
  return answered;
}

}  // namespace

int main(int argc, char** argv) {
  const int printers = argc > 1 ? std::atoi(argv[1]) : 200;
  const int jobs = argc > 2 ? std::atoi(argv[2]) : 200;
  const int sample = argc > 3 ? std::atoi(argv[3]) : 10;
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("fleet-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string cli = (ProgramDir() / "tagwright-cli").string();

  std::vector<std::unique_ptr<tw::sim::VirtualPrinter>> fleet;
  std::ofstream all(folder / "all.txt");
  for (int i = 0; i < printers; ++i) {
    fleet.push_back(std::make_unique<tw::sim::VirtualPrinter>());
    const uint16_t port = fleet.back()->ListenTcp("127.0.0.1", 0);
    if (port == 0) {
      std::fprintf(stderr, "cannot listen for printer %d\n", i);
      return 1;
    }
    all << "p" << i << " 127.0.0.1:" << port << "\n";
    if (i < sample) std::ofstream(folder / ("one" + std::to_string(i) + ".txt")) << "p" << i << " 127.0.0.1:" << port << "\n";
  }
  all.close();

  std::string output;
  double slowest = 0;
  for (int i = 0; i < sample && i < printers; ++i) {
    const double ms = TimedRun(cli + " --printers " + (folder / ("one" + std::to_string(i) + ".txt")).string() +
                                   " --format csv inventory",
                               &output);
    if (CountAnswered(output) != 1) std::fprintf(stderr, "printer %d did not answer alone\n", i);
    slowest = std::max(slowest, ms);
  }
  const std::string command = cli + " --printers " + (folder / "all.txt").string() + " --jobs " + std::to_string(jobs) +
                              " --format csv inventory";
  const double whole = TimedRun(command, &output);
  const std::size_t answered = CountAnswered(output);
  const double limit = 2 * slowest + 1000;
  std::printf("command: %s\n", command.c_str());
  std::printf("slowest single printer alone (of %d): %.0f ms\n", sample, slowest);
  std::printf("%d printers, --jobs %d: %.0f ms, %zu answered\n", printers, jobs, whole, answered);
  std::printf("limit 2 x %.0f + 1000 = %.0f ms: %s\n", slowest, limit,
              whole <= limit && answered == static_cast<std::size_t>(printers) ? "met" : "NOT met");
  std::filesystem::remove_all(folder);
  return 0;
}
