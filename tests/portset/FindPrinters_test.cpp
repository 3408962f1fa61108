// SPDX-License-Identifier: GPL-3.0-or-later
// The port dialog's printer search: a printer found on loopback is chosen, fills the network
// fields, and OK connects to it; the range searched is remembered.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "core/AppPaths.h"
#include "core/Ini.h"
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
  TFindPrinters find(&dialog);
  find.baseOptions.dnsSd = find.baseOptions.snmp = false;  // the raw probe alone, on loopback
  find.baseOptions.rawPort = port;
  find.EdRange->setText(QStringLiteral("127.0.0.40-127.0.0.42"));
  QTest::mouseClick(find.BtnStart, Qt::LeftButton);
  for (int i = 0; i < 500 && !find.BtnStart->isEnabled(); ++i) QTest::qWait(10);
  ASSERT_EQ(find.LvPrinters->topLevelItemCount(), 1);
  EXPECT_EQ(find.LvPrinters->topLevelItem(0)->text(0), QStringLiteral("127.0.0.41"));
  find.LvPrinters->topLevelItem(0)->setSelected(true);
  QTest::mouseClick(find.BtnUse, Qt::LeftButton);
  ASSERT_EQ(find.result(), QDialog::Accepted);
  ASSERT_TRUE(find.Chosen());
  EXPECT_TRUE(printer.Received().empty()) << "the search only connected";

  dialog.UseFoundPrinter(find.Chosen()->address, find.Chosen()->port);
  EXPECT_EQ(dialog.GetIpAdd(), QStringLiteral("127.0.0.41"));
  EXPECT_EQ(dialog.Edit_Port->text().toInt(), port);
  QTest::mouseClick(dialog.CbConnect, Qt::LeftButton);
  EXPECT_TRUE(Link().open);
  EXPECT_EQ(Link().currentKind, PortKind::Network);
  EXPECT_TRUE(messages.shown().empty());

  EXPECT_EQ(TFindPrinters(&dialog).EdRange->text(), QStringLiteral("127.0.0.40-127.0.0.42"));
  ResetLink({});
}

}  // namespace
}  // namespace tw
