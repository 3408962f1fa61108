// SPDX-License-Identifier: GPL-3.0-or-later
// The search end to end on loopback: twenty virtual printers on 127.0.0.2-21 and two SNMP agents,
// found by tagwright-cli discover; nothing the search sends makes a printer print.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <chrono>
#include <map>

#include "discovery/Discovery.h"
#include "discovery/ProbeReplies.h"
#include "support/NetworkPrinters.h"
#include "support/Process.h"

namespace tw::discovery {
namespace {

using test::LoopbackAddress;

constexpr int kFirstHost = 2;
constexpr int kSilent = 16, kClosing = 17;             // printer indexes
constexpr int kSnmpPrinters[] = {2, 10};               // a Z and an E printer with an agent each
constexpr int kRangeSize = 29;                         // 127.0.0.2-127.0.0.30
constexpr int kTimeoutMs = 3000;                       // per address: generous for a loaded machine

bool IsE(int i) { return i >= 8 && i < 16; }

std::vector<sim::PrinterOptions> Printers() {
  std::vector<sim::PrinterOptions> printers(20);
  for (int i = 0; i < 20; ++i) {
    sim::PrinterOptions& p = printers[i];
    p.personality = IsE(i) ? sim::Personality::E : sim::Personality::Z;
    p.status.identity.model = "TWV-" + std::to_string(200 + i);
    p.status.identity.firmware = "V1." + std::to_string(i);
    p.configuration.model = "QRT-E" + std::to_string(i);
    p.configuration.firmware = "3." + std::to_string(i) + "E";
  }
  printers[kSilent].faults.noReply = true;
  printers[kClosing].faults.disconnectAfterBytes = 0;
  return printers;
}

class DiscoverOnLoopback : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    farm_ = new test::PrinterFarm(kFirstHost, Printers());
    std::vector<std::string> agentAddresses;
    for (int i : kSnmpPrinters) agentAddresses.push_back(LoopbackAddress(kFirstHost + i));
    snmpPort_ = test::FreeUdpPort(agentAddresses);
    for (int i : kSnmpPrinters) {
      agents_.push_back(new test::SnmpAgent(LoopbackAddress(kFirstHost + i), snmpPort_,
                                            {"label-" + std::to_string(i), "Thermal label printer",
                                             "label printer " + std::to_string(i), "SN-" + std::to_string(i),
                                             {"Paper low"}}));
    }
  }
  static void TearDownTestSuite() {
    for (auto* agent : agents_) delete agent;
    agents_.clear();
    delete farm_;
  }
  void SetUp() override {
    ASSERT_EQ(farm_->size(), 20u) << "the printers could not listen on 127.0.0.2-21";
    for (auto* agent : agents_) ASSERT_TRUE(agent->running()) << "snmpd did not start";
    for (std::size_t i = 0; i < farm_->size(); ++i) farm_->at(i).ClearReceived();
  }
  test::ProcessResult Discover(std::vector<std::string> extra) {
    std::vector<std::string> args = {"discover", "--range", "127.0.0.2-127.0.0.30", "--no-mdns",
                                     "--raw-port", std::to_string(farm_->port()), "--snmp-port",
                                     std::to_string(snmpPort_), "--timeout", std::to_string(kTimeoutMs), "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    return test::RunProgram("tagwright-cli", args);
  }
  static std::map<std::string, QJsonObject> RowsByAddress(const std::string& json) {
    std::map<std::string, QJsonObject> rows;
    const QJsonArray printers = QJsonDocument::fromJson(QByteArray::fromStdString(json))[QStringLiteral("printers")].toArray();
    for (const QJsonValue& row : printers) {
      const std::string address = row[QStringLiteral("address")].toString().toStdString();
      EXPECT_EQ(rows.count(address), 0u) << address << " is listed twice";
      rows[address] = row.toObject();
    }
    return rows;
  }
  // The twenty printers, probed raw only and every open port asked.
  DiscoveryOptions FarmOptions() const {
    DiscoveryOptions options;
    for (int i = 0; i < 20; ++i) options.addresses.push_back((127u << 24) + kFirstHost + i);
    options.rawPort = farm_->port();
    options.dnsSd = options.snmp = false;
    options.askAll = true;
    options.timeoutMs = kTimeoutMs;
    return options;
  }
  // Stops a run once its first address is done (the silent printer still waits for its answer)
  // by Cancel or by destroying it; after that no row is added and no printer is asked again.
  void StopMidRun(bool destroy) {
    auto run = std::make_unique<Discovery>();
    QSignalSpy finished(run.get(), &Discovery::finished);
    QSignalSpy progress(run.get(), &Discovery::progress);
    run->Start(FarmOptions());
    ASSERT_TRUE(progress.count() > 1 || progress.wait(kTimeoutMs));
    ASSERT_TRUE(run->Running());
    const std::size_t rows = run->Rows().size();
    if (destroy) {
      run.reset();
    } else {
      run->Cancel();
      EXPECT_EQ(finished.count(), 1);
      EXPECT_FALSE(run->Running());
    }
    QTest::qWait(kTimeoutMs / 2 + 500);  // past the time the E query would have gone out
    if (run) {
      EXPECT_EQ(run->Rows().size(), rows);
      EXPECT_EQ(finished.count(), 1);
    }
    for (std::size_t i = 0; i < farm_->size(); ++i) {
      EXPECT_EQ(farm_->at(i).Received().find(kConfigurationRequest), std::string::npos) << "printer " << i;
    }
  }
  void ExpectNothingPrinted() {
    for (std::size_t i = 0; i < farm_->size(); ++i) EXPECT_EQ(farm_->at(i).PrintedLabels(), 0) << "printer " << i;
  }

  static test::PrinterFarm* farm_;
  static std::vector<test::SnmpAgent*> agents_;
  static int snmpPort_;
};
test::PrinterFarm* DiscoverOnLoopback::farm_ = nullptr;
std::vector<test::SnmpAgent*> DiscoverOnLoopback::agents_;
int DiscoverOnLoopback::snmpPort_ = 0;

TEST_F(DiscoverOnLoopback, AskAllListsEveryAnsweringPrinterOnceWithModelAndFirmware) {
  const auto started = std::chrono::steady_clock::now();
  const test::ProcessResult result = Discover({"--ask-all"});
  const auto tookMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto rows = RowsByAddress(result.out);
  EXPECT_EQ(rows.size(), 18u) << result.out;
  for (int i = 0; i < 20; ++i) {
    const std::string address = LoopbackAddress(kFirstHost + i);
    if (i == kSilent || i == kClosing) {
      EXPECT_EQ(rows.count(address), 0u) << address << " gave no answer but is listed";
      continue;
    }
    ASSERT_EQ(rows.count(address), 1u) << address;
    const QJsonObject& row = rows.at(address);
    EXPECT_EQ(row[QStringLiteral("model")].toString().toStdString(),
              IsE(i) ? "QRT-E" + std::to_string(i) : "TWV-" + std::to_string(200 + i));
    EXPECT_EQ(row[QStringLiteral("firmware")].toString().toStdString(),
              IsE(i) ? "3." + std::to_string(i) + "E" : "V1." + std::to_string(i));
    EXPECT_EQ(row[QStringLiteral("commandSet")].toString(), IsE(i) ? QStringLiteral("e") : QStringLiteral("z"));
    EXPECT_EQ(row[QStringLiteral("port")].toInt(), farm_->port());
  }
  for (int i : kSnmpPrinters) {  // found by both ways, one row with the agent's serial and name
    const QJsonObject& row = rows.at(LoopbackAddress(kFirstHost + i));
    EXPECT_EQ(row[QStringLiteral("serial")].toString().toStdString(), "SN-" + std::to_string(i));
    EXPECT_EQ(row[QStringLiteral("name")].toString().toStdString(), "label-" + std::to_string(i));
    EXPECT_EQ(row[QStringLiteral("foundBy")].toArray(), QJsonArray({QStringLiteral("raw"), QStringLiteral("snmp")}));
  }
  // Process start included, with room for a loaded machine.
  EXPECT_LT(tookMs, RunBoundMs(kRangeSize, kTimeoutMs) + 3000);
  ExpectNothingPrinted();
}

TEST_F(DiscoverOnLoopback, WithoutAskAllOnlyThePrintersTheAgentsNamedAreAsked) {
  const test::ProcessResult result = Discover({});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto rows = RowsByAddress(result.out);
  EXPECT_EQ(rows.size(), 20u) << result.out;  // every open raw port, asked or not
  for (int i = 0; i < 20; ++i) {
    const bool named = i == kSnmpPrinters[0] || i == kSnmpPrinters[1];
    EXPECT_EQ(farm_->at(i).Received().empty(), !named) << "printer " << i << " got: " << farm_->at(i).Received();
  }
  EXPECT_EQ(rows.at(LoopbackAddress(kFirstHost + kSnmpPrinters[0]))[QStringLiteral("model")].toString(),
            QStringLiteral("TWV-202"));
  ExpectNothingPrinted();
}

struct ExitRow {
  std::vector<std::string> args;
  int exitCode;
};

class DiscoverExitCodes : public DiscoverOnLoopback, public testing::WithParamInterface<ExitRow> {};

TEST_P(DiscoverExitCodes, SayWhetherAnythingWasFound) {
  std::vector<std::string> args = GetParam().args;
  for (std::string& arg : args) {
    if (arg == "PORT") arg = std::to_string(farm_->port());
  }
  const test::ProcessResult result = test::RunProgram("tagwright-cli", args);
  EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.out << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, DiscoverExitCodes,
    testing::Values(ExitRow{{"discover", "--range", "127.0.0.31-127.0.0.33", "--no-mdns", "--no-snmp", "--raw-port",
                             "PORT"}, 3},
                    ExitRow{{"discover", "--no-mdns"}, 1},  // no range: only DNS-SD could have run
                    ExitRow{{"discover", "--range", "127.0.0.2/33", "--no-mdns"}, 2},
                    ExitRow{{"discover", "--timeout", "0"}, 2}));

TEST_F(DiscoverOnLoopback, CancelStopsAtOnceAndSendsNothing) { StopMidRun(false); }

TEST_F(DiscoverOnLoopback, DestroyingARunningSearchStopsItsProbes) { StopMidRun(true); }

TEST_F(DiscoverOnLoopback, AFailedSnmpSendEndsOnlyThatAddress) {
  Discovery run;
  QSignalSpy finished(&run, &Discovery::finished);
  DiscoveryOptions options = FarmOptions();
  const uint32_t agent = (127u << 24) + kFirstHost + kSnmpPrinters[0];
  options.addresses = {0x7FFFFFFFu, agent};  // a broadcast address first: its datagram is refused
  options.snmp = true;
  options.snmpPort = snmpPort_;
  run.Start(options);
  ASSERT_TRUE(finished.count() > 0 || finished.wait(RunBoundMs(2, kTimeoutMs) + 2000));
  EXPECT_TRUE(run.Notes().isEmpty()) << run.Notes().join(QLatin1Char(' ')).toStdString();
  ASSERT_EQ(run.Rows().size(), 1u);
  EXPECT_EQ(run.Rows()[0].foundBy, unsigned(kRaw | kSnmp));
}

// At most kMaxInFlight addresses are probed at once: counted by the probe sockets still open,
// from the start of a run over 300 addresses where nothing listens and at every address done.
TEST(DiscoveryInFlight, NeverMoreAddressesThanTheCap) {
  Discovery run;
  DiscoveryOptions options;
  for (uint32_t i = 0; i < 300; ++i) options.addresses.push_back((127u << 24) + (3u << 8) + 1 + i);
  options.dnsSd = options.snmp = false;
  int most = 0;
  auto count = [&] {
    int open = 0;
    for (QTcpSocket* socket : run.findChildren<QTcpSocket*>()) open += socket->state() != QAbstractSocket::UnconnectedState;
    most = std::max(most, open);
  };
  QSignalSpy finished(&run, &Discovery::finished);
  QObject::connect(&run, &Discovery::progress, count);
  run.Start(options);
  count();
  EXPECT_EQ(most, kMaxInFlight);
  ASSERT_TRUE(finished.count() > 0 || finished.wait(RunBoundMs(300, kTimeoutMs)));
  EXPECT_EQ(most, kMaxInFlight);
}

}  // namespace
}  // namespace tw::discovery
