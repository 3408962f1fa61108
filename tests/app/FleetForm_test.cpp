// SPDX-License-Identifier: GPL-3.0-or-later
// The printer list window: a job runs over the list while the window stays live, one row a printer.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <memory>

#include "app/FleetForm.h"
#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "sim/VirtualPrinter.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"

namespace tw {
namespace {

TEST(FleetForm, RunsAJobWithOneRowPerPrinterAndStaysLive) {
  SetProgramDir(std::filesystem::current_path());  // the build's bin folder, with Language/
  SetCurrentLanguage(kLanguageEnglish);
  LoadCatalogSection("Tips");
  test::TempDir dir;
  std::vector<std::unique_ptr<sim::VirtualPrinter>> printers;
  std::string list;
  for (int i = 0; i < 3; ++i) {
    printers.push_back(std::make_unique<sim::VirtualPrinter>());
    sim::Faults faults;
    faults.noReply = i == 1;
    printers[i]->SetFaults(faults);
    list += "p" + std::to_string(i) + " 127.0.0.1:" + std::to_string(printers[i]->ListenTcp()) + "\n";
  }
  TFleetForm form;
  form.SetListFile(QString::fromStdString(dir.Write("printers.txt", list).string()));
  auto* grid = form.findChild<QTableWidget*>("gridPrinters");
  ASSERT_EQ(grid->rowCount(), 3);
  form.findChild<QComboBox*>("cbJob")->setCurrentIndex(0);  // inventory
  form.btnStartClick();
  EXPECT_TRUE(form.Running());
  EXPECT_FALSE(form.findChild<QPushButton*>("btnStart")->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(!form.Running(), 30000);
  const QString states[] = {"done", "failed", "done"};
  for (int row = 0; row < 3; ++row) EXPECT_EQ(grid->item(row, 2)->text(), states[row]) << row;
  EXPECT_TRUE(grid->item(1, 5)->text().contains("did not answer"));
  EXPECT_TRUE(form.findChild<QPushButton*>("btnStart")->isEnabled());
  // The backup folder is chosen through the file dialogs, which remember their folders.
  form.findChild<QComboBox*>("cbJob")->setCurrentIndex(1);
  SetFileChooser([&](const TFileDialog&, QWidget*) { return FileChoice{QString::fromStdString(dir.path().string()), 1}; });
  form.findChild<QPushButton*>("btnTarget")->click();
  SetFileChooser({});
  EXPECT_EQ(form.findChild<QLineEdit*>("edtTarget")->text().toStdString(), dir.path().string());
  // Apply takes a slot list as the command line does; a bad one is named and nothing starts.
  form.findChild<QComboBox*>("cbJob")->setCurrentIndex(2);
  auto* slotList = form.findChild<QLineEdit*>("edtSlots");
  ASSERT_TRUE(slotList);
  slotList->setText("1B,1G");
  test::MessageRecorder messages;
  form.btnStartClick();
  EXPECT_FALSE(form.Running());
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_NE(messages.shown()[0].text.find("\"1G\" is not a slot"), std::string::npos) << messages.shown()[0].text;
}

// Closing the window in the middle of a send stops the job as the stop button does: the writes
// finish, then the window closes.
TEST(FleetForm, ClosingWhileWritingLetsTheWritesFinishThenCloses) {
  SetProgramDir(std::filesystem::current_path());
  test::TempDir dir;
  sim::VirtualPrinter printer;
  sim::Faults slow;
  slow.readBytesPerSecond = 20000;
  printer.SetFaults(slow);
  TFleetForm form;
  form.SetListFile(QString::fromStdString(
      dir.Write("printers.txt", "p0 127.0.0.1:" + std::to_string(printer.ListenTcp()) + "\n").string()));
  form.findChild<QComboBox*>("cbJob")->setCurrentIndex(3);  // send
  form.findChild<QLineEdit*>("edtTarget")->setText(QString::fromStdString(dir.Write("label.txt", std::string(30000, 'x')).string()));
  form.show();
  form.btnStartClick();
  ASSERT_TRUE(printer.WaitForReceived(1, 20000));
  form.close();
  EXPECT_TRUE(form.isVisible());
  QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 30000);
  EXPECT_FALSE(form.Running());
  EXPECT_TRUE(printer.WaitForReceived(30000, 5000));
}

}  // namespace
}  // namespace tw
