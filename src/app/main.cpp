#include <QApplication>
#include <csignal>

#include "app/MainForm.h"
#include "core/AppPaths.h"
#include "link/DeviceLibraries.h"
#include "link/LinkState.h"
#include "widgets/Ui.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(tw::kApplicationTitle);
  QApplication::setApplicationVersion(TAGWRIGHT_VERSION);
  // A printer that drops the link must fail the write, not end the program.
  std::signal(SIGPIPE, SIG_IGN);
  tw::InitProgramDirFromExecutable();
  tw::ResetLink(tw::RealDeviceLibraries());
  tw::InstallQtMessageBoxes();
  tw::TMainForm window;
  window.show();
  return QApplication::exec();
}
