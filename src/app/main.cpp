#include <QApplication>
#include <QTimer>
#include <csignal>

#include "app/MainForm.h"
#include "app/UserFolder.h"
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
  // Once the window shows in its language, so that a settings folder problem is told in it.
  QTimer::singleShot(0, &window, tw::ReportUserFolderProblem);
  return QApplication::exec();
}
