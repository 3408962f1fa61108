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

int main(int argc, char** argv) {
  // --version answers without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--version") {
      std::puts(tw::VersionText(std::string("tagwright ") + TAGWRIGHT_VERSION).c_str());
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
