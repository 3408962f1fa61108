// SPDX-License-Identifier: GPL-3.0-or-later
// The port dialog's printer search: a printer found on loopback is chosen, fills the network
// fields, and OK connects to it; the range searched is remembered.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "core/AppPaths.h"
#include "core/Ini.h"
#include "fleet/PrinterList.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "portset/FindPrinters.h"
#include "portset/SetPort.h"
#include "sim/VirtualPrinter.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

TEST(FindPrinters, AChosenPrinterFillsTheNetworkFieldsAndOkConnects) {
  test::TempDir dir;
  SetProgramDir(dir.path());
  dir.Write("lib/SysOption.ini", "[USBSetting]\n");
  ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
  test::MessageRecorder messages;
  sim::VirtualPrinter printer;
  const uint16_t port = printer.ListenTcp("127.0.0.41", 0);
  ASSERT_NE(port, 0);

  TSetPort dialog(nullptr, nullptr);
  dialog.show();
  bool chosen = false;
  // The Find window is modal: it is worked from the event loop that its exec() runs.
  QTimer::singleShot(0, &dialog, [&] {
    auto* find = dialog.findChild<TFindPrinters*>();
    ASSERT_TRUE(find);
    find->baseOptions.dnsSd = find->baseOptions.snmp = false;  // the raw probe alone, on loopback
    find->baseOptions.rawPort = port;
    find->EdRange->setText(QStringLiteral("127.0.0.40-127.0.0.42"));
    QTest::mouseClick(find->BtnStart, Qt::LeftButton);
    for (int i = 0; i < 1000 && !find->BtnStart->isEnabled(); ++i) QTest::qWait(10);
    auto finish = qScopeGuard([find] { find->reject(); });
    ASSERT_EQ(find->LvPrinters->topLevelItemCount(), 1);
    EXPECT_EQ(find->LvPrinters->topLevelItem(0)->text(0), QStringLiteral("127.0.0.41"));
    find->LvPrinters->topLevelItem(0)->setSelected(true);
    // "Add to List" puts the found printer into the user's printer list, named by its address.
    QTest::mouseClick(find->BtnAddToList, Qt::LeftButton);
    EXPECT_EQ(test::ReadFileBytes(fleet::DefaultPrinterListPath()),
              "127.0.0.41 127.0.0.41:" + std::to_string(port) + "\n");
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].icon, MsgIcon::Information);
    finish.dismiss();
    QTest::mouseClick(find->BtnUse, Qt::LeftButton);
    chosen = find->result() == QDialog::Accepted && find->Chosen();
  });
  QTest::mouseClick(dialog.BtnFind, Qt::LeftButton);
  ASSERT_TRUE(chosen);
  EXPECT_TRUE(printer.Received().empty()) << "the search only connected";

  EXPECT_EQ(dialog.GetIpAdd(), QStringLiteral("127.0.0.41"));
  EXPECT_EQ(dialog.Edit_Port->text().toInt(), port);
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);
  EXPECT_TRUE(Link().open);
  EXPECT_EQ(Link().currentKind, PortKind::Network);
  EXPECT_EQ(messages.shown().size(), 1u) << "nothing beyond the list's confirmation";

  EXPECT_EQ(TFindPrinters(&dialog).EdRange->text(), QStringLiteral("127.0.0.40-127.0.0.42"));
  ResetLink({});
}

// A search stopped midway keeps its progress; closing the window stops it; an empty range searches
// by DNS-SD alone instead of being refused.
TEST(FindPrinters, StoppingOrClosingEndsTheSearchAndAnEmptyRangeIsDnsSdOnly) {
  test::TempDir dir;
  SetProgramDir(dir.path());
  dir.Write("lib/SysOption.ini", "[USBSetting]\n");
  test::MessageRecorder messages;
  TFindPrinters find;
  find.baseOptions.dnsSd = find.baseOptions.snmp = false;
  find.EdRange->setText(QStringLiteral("127.0.0.40-127.0.0.42"));
  QTest::mouseClick(find.BtnStart, Qt::LeftButton);
  QTest::mouseClick(find.BtnStop, Qt::LeftButton);
  EXPECT_TRUE(find.BtnStart->isEnabled());
  EXPECT_LT(find.PbProgress->value(), 3);
  QTest::mouseClick(find.BtnStart, Qt::LeftButton);
  find.reject();
  EXPECT_TRUE(find.BtnStart->isEnabled()) << "closing the window left the search running";

  find.EdRange->clear();
  QTest::mouseClick(find.BtnStart, Qt::LeftButton);
  EXPECT_TRUE(messages.shown().empty());
}

}  // namespace
}  // namespace tw
