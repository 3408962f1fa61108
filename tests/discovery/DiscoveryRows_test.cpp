// SPDX-License-Identifier: GPL-3.0-or-later
// The plain parts of the search: ranges, the merge of finds, the probe's answers, the JSON rows.
#include <gtest/gtest.h>

#include <QJsonObject>

#include "discovery/AddressRange.h"
#include "discovery/PrinterRow.h"
#include "discovery/ProbeReplies.h"
#include "sim/VirtualPrinter.h"

namespace tw::discovery {
namespace {

struct RangeRow {
  const char* text;
  std::size_t count;  // 0: refused
  const char* first = "";
  const char* last = "";
};

class RangeTest : public testing::TestWithParam<RangeRow> {};

TEST_P(RangeTest, ParsesWhatItShould) {
  const RangeRow& row = GetParam();
  QString error;
  auto addresses = ParseAddressRanges(QString::fromLatin1(row.text), &error);
  if (row.count == 0) {
    EXPECT_FALSE(addresses);
    EXPECT_FALSE(error.isEmpty());
    return;
  }
  ASSERT_TRUE(addresses) << error.toStdString();
  EXPECT_EQ(addresses->size(), row.count);
  EXPECT_EQ(AddressText(addresses->front()).toStdString(), row.first);
  EXPECT_EQ(AddressText(addresses->back()).toStdString(), row.last);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, RangeTest,
    testing::Values(RangeRow{"192.0.2.0/24", 254, "192.0.2.1", "192.0.2.254"},  // network, broadcast left out
                    RangeRow{"192.0.2.77/24", 254, "192.0.2.1", "192.0.2.254"},
                    RangeRow{"192.0.2.0/31", 2, "192.0.2.0", "192.0.2.1"},
                    RangeRow{"192.0.2.9/32", 1, "192.0.2.9", "192.0.2.9"},
                    RangeRow{"127.0.0.2-127.0.0.30", 29, "127.0.0.2", "127.0.0.30"},
                    RangeRow{"127.0.0.2-30", 29, "127.0.0.2", "127.0.0.30"},
                    RangeRow{"192.0.2.0/30, 192.0.2.1 192.0.2.9", 3, "192.0.2.1", "192.0.2.9"},
                    RangeRow{"10.0.0.0/16", 65534, "10.0.0.1", "10.0.255.254"},
                    // A-B ranges leave out every x.x.x.0 and x.x.x.255 they span.
                    RangeRow{"192.0.2.250-192.0.3.5", 10, "192.0.2.250", "192.0.3.5"},
                    RangeRow{"127.0.0.0-127.0.0.255", 254, "127.0.0.1", "127.0.0.254"},
                    RangeRow{"10.0.0.0/8", 0}, RangeRow{"192.0.2.9-192.0.2.1", 0}, RangeRow{"192.0.2.0/33", 0},
                    RangeRow{"4.88.1.0-0", 0},  // network addresses only: nothing to probe
                    RangeRow{"300.0.0.1", 0}, RangeRow{"::1", 0}, RangeRow{"", 0}));

PrinterRow Find(const char* address, const char* serial, const char* model, unsigned way) {
  PrinterRow row;
  row.address = QString::fromLatin1(address);
  row.serial = QString::fromLatin1(serial);
  row.model = QString::fromLatin1(model);
  row.port = 9100;
  row.foundBy = way;
  return row;
}

TEST(MergeRow, JoinsByAddressAndBySerialAndKeepsFirstValues) {
  std::vector<PrinterRow> rows;
  MergeRow(rows, Find("192.0.2.1", "", "TWV-203", kRaw));
  MergeRow(rows, Find("192.0.2.2", "SN-2", "", kSnmp));
  MergeRow(rows, Find("192.0.2.1", "SN-1", "from snmp", kSnmp));  // same address
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].model, QStringLiteral("TWV-203"));
  EXPECT_EQ(rows[0].serial, QStringLiteral("SN-1"));
  EXPECT_EQ(rows[0].foundBy, unsigned(kRaw | kSnmp));
  // A find with the first row's address and the second row's serial: all one printer.
  MergeRow(rows, Find("192.0.2.1", "SN-2", "", kDnsSd));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].foundBy, unsigned(kRaw | kSnmp | kDnsSd));
}

TEST(RowsToJson, GivesEveryFieldAndNullForWhatIsNotKnown) {
  PrinterRow row = Find("192.0.2.1", "", "TWV-203", kRaw | kDnsSd);
  row.commandSet = QLatin1Char('z');
  const QJsonObject object = RowsToJson({row, Find("192.0.2.2", "", "", kSnmp)})[0].toObject();
  EXPECT_EQ(object.keys().size(), 8);
  EXPECT_EQ(object[QStringLiteral("port")].toInt(), 9100);
  EXPECT_EQ(object[QStringLiteral("commandSet")].toString(), QStringLiteral("z"));
  EXPECT_TRUE(object[QStringLiteral("serial")].isNull());
  EXPECT_EQ(object[QStringLiteral("foundBy")].toArray().size(), 2);
  EXPECT_TRUE(RowsToJson({Find("192.0.2.2", "", "", kSnmp)})[0].toObject()[QStringLiteral("commandSet")].isNull());
}

TEST(ProbeReplies, ReadTheZIdentificationAndTheEConfiguration) {
  sim::PrinterModel z(sim::Personality::Z);
  auto identity = ParseIdentifyAnswer("noise" + QByteArray::fromStdString(z.IdentificationReply()));
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->model, QStringLiteral("TWV-203"));
  EXPECT_EQ(identity->firmware, QStringLiteral("V2.31.0518"));
  EXPECT_FALSE(ParseIdentifyAnswer("\x02TWV-203,V2.3"));  // not complete yet

  sim::PrinterModel e(sim::Personality::E);
  const QByteArray configuration = QByteArray::fromStdString(e.ConfigurationReply());
  identity = ParseConfigurationAnswer(configuration);
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->model, QStringLiteral("QRT-L42D"));
  EXPECT_EQ(identity->firmware, QStringLiteral("2.31.0518E"));
  EXPECT_FALSE(ParseConfigurationAnswer(configuration.left(configuration.size() - 2)));
  EXPECT_FALSE(ParseIdentifyAnswer(configuration));
}

struct ServiceRow {
  const char* name;
  QStringList txt;
  bool labelPrinter;
};

class ServiceTest : public testing::TestWithParam<ServiceRow> {};

TEST_P(ServiceTest, IsALabelPrinterByItsModelOrCommandSetOnly) {
  EXPECT_EQ(ServiceNamesLabelPrinter(GetParam().txt), GetParam().labelPrinter) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    DnsSd, ServiceTest,
    testing::Values(ServiceRow{"Office", {"ty=QRT-L42D"}, true}, ServiceRow{"Office", {"usb_CMD=WVLZ,PJL"}, true},
                    ServiceRow{"Desk", {"product=(Thermal Label Printer)"}, true},
                    ServiceRow{"Label room", {"ty=Office Laser 5", "note=label stock"}, false},
                    ServiceRow{"Office", {"adminurl=http://x/label"}, false}));

}  // namespace
}  // namespace tw::discovery
