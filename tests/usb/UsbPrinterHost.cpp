// SPDX-License-Identifier: GPL-3.0-or-later
// tagwright-usbprinter: runs a program (the main window, the command-line tool) with the virtual USB
// printer attached: a Z or E printer that the program finds as USB device KVUSB-1 and as the printer
// node lp0. The printer lives in this process; the program is started with umockdev's preload library
// and the testbed's folder, and the printer goes away when the program ends.
//
//   tagwright-usbprinter [--mode z|e] PROGRAM [ARGUMENTS...]
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/LicenceNotice.h"
#include "usb/support/VirtualUsbPrinter.h"

namespace {
constexpr char kUsage[] = "usage: tagwright-usbprinter [--mode z|e] PROGRAM [ARGUMENTS...]\n";
constexpr char kHelp[] =
    "Runs PROGRAM with a virtual USB label printer attached: the device KVUSB-1 and the printer node\n"
    "lp0, presented through umockdev. The printer goes away when PROGRAM ends.\n"
    "\n"
    "  --mode z|e  the printer's command set (default z)\n"
    "  -h, --help  print this help and exit\n"
    "  --version   print the program's version and exit\n";
}  // namespace

int main(int argc, char** argv) {
  // Options of its own come before PROGRAM; what follows PROGRAM is PROGRAM's.
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s%s", kUsage, kHelp);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::puts(tw::VersionText(std::string("tagwright-usbprinter ") + TAGWRIGHT_VERSION).c_str());
    return 0;
  }
  int first = 1;
  auto personality = tw::sim::Personality::Z;
  if (argc > 2 && std::strcmp(argv[1], "--mode") == 0) {
    personality = std::strcmp(argv[2], "e") == 0 ? tw::sim::Personality::E : tw::sim::Personality::Z;
    first = 3;
  }
  if (first >= argc) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  tw::test::VirtualUsbPrinter printer(personality);
  const char* preload = std::getenv("LD_PRELOAD");
  const std::string preloads = std::string("libumockdev-preload.so.0") + (preload && *preload ? std::string(":") + preload : "");
  const pid_t child = fork();
  if (child == 0) {
    setenv("LD_PRELOAD", preloads.c_str(), 1);
    execvp(argv[first], argv + first);
    std::perror(argv[first]);
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) < 0) return 1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
