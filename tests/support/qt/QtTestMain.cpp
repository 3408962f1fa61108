// SPDX-License-Identifier: GPL-3.0-or-later
// main() of the test programs that use widgets: one QApplication on the offscreen platform, made
// before the tests and destroyed after them, while Qt's own statics are still there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // What the windows keep of the user's desk (size, pages, folders) goes to a folder of this run.
  QTemporaryDir settings;
  qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
