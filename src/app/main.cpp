// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <string_view>

#include "app/MainForm.h"
#include "app/UserFolder.h"
#include "core/AppPaths.h"
#include "core/LicenceNotice.h"
#include "link/DeviceLibraries.h"
#include "link/LinkState.h"
#include "widgets/Ui.h"

namespace {
constexpr char kHelpText[] =
    "Usage: tagwright [--help] [--version]\n"
    "The Tagwright main window: configure and test a thermal label printer over a serial port, a\n"
    "parallel port, USB or the network.\n"
    "\n"
    "  -h, --help  print this help and exit\n"
    "  --version   print the program's version and licence and exit\n";
}  // namespace

int main(int argc, char** argv) {
  // --version and --help answer without a display.
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    if (argument == "--version") {
      std::puts(tw::VersionText(std::string("tagwright ") + TAGWRIGHT_VERSION).c_str());
      return 0;
    }
    if (argument == "--help" || argument == "-h") {
      std::fputs(kHelpText, stdout);
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(tw::kApplicationTitle);
  QApplication::setApplicationVersion(TAGWRIGHT_VERSION);
  // The desktop entry tagwright.desktop and its icon, so that Wayland matches the window to them.
  QGuiApplication::setDesktopFileName(QStringLiteral("tagwright"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tagwright"), QIcon(QStringLiteral(":/icons/printer.png"))));
  // A printer that drops the link must fail the write, not end the program.
  std::signal(SIGPIPE, SIG_IGN);
  tw::InitProgramDirFromExecutable();
  tw::ResetLink(tw::RealDeviceLibraries());
  tw::InstallQtMessageBoxes();
  tw::TMainForm window;
  window.show();
  // Once the window shows in its language, so that a settings folder problem is told in it.
  QTimer::singleShot(0, &window, tw::ReportUserFolderProblem);
  return QApplication::exec();
}
