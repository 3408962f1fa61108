// SPDX-License-Identifier: GPL-3.0-or-later
// The DNS-SD way against a real Avahi daemon: two network namespaces made here, joined by a veth
// pair, each with a D-Bus daemon and an Avahi daemon of its own; the second one publishes a raw-port
// printer service, and the search browses through the first. Nothing leaves the namespaces. Where
// namespaces cannot be made (no root, no ip), the test is skipped and says why.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSignalSpy>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#include "discovery/Discovery.h"
#include "support/TestSupport.h"

namespace tw::discovery {
namespace {

// Runs a shell command line; true when it succeeded.
bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// The daemons die with the test even when it ends abruptly (a sanitizer's report ends it at once), and
// write nowhere the test runner reads: a daemon left running would keep the runner waiting on its output.
pid_t Spawn(const std::string& command) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

// Skips the test and says why on its standard output too, where the test script's summary finds it.
#define SKIP_SAYING(reason)                                          \
  do {                                                               \
    std::cout << "Test skipped: " << (reason) << std::endl;         \
    GTEST_SKIP() << (reason);                                        \
  } while (0)

class DnsSdInNamespaces : public testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) SKIP_SAYING("network namespaces need root; the DNS-SD test is skipped");
    for (const char* program : {"/usr/sbin/avahi-daemon", "/usr/bin/dbus-daemon"}) {
      if (::access(program, X_OK) != 0) SKIP_SAYING(program + std::string(" is not installed; the DNS-SD test is skipped"));
    }
    const std::string id = std::to_string(::getpid());
    for (int n = 0; n < 2; ++n) {
      names_[n] = "twd" + std::to_string(n) + "-" + id;
      links_[n] = "twv" + std::to_string(n) + "-" + id;
    }
    for (int n = 0; n < 2; ++n) made_[n] = Shell("ip netns add " + names_[n]);
    if (!made_[0] || !made_[1] || !Shell("ip link add " + links_[0] + " type veth peer name " + links_[1])) {
      SKIP_SAYING("network namespaces or a veth pair cannot be made here; the DNS-SD test is skipped");
    }
    for (int n = 0; n < 2; ++n) {
      const std::string in = "ip -n " + names_[n] + " ";
      ASSERT_TRUE(Shell("ip link set " + links_[n] + " netns " + names_[n]) &&
                  Shell(in + "addr add 10.231.0." + std::to_string(n + 1) + "/24 dev " + links_[n]) &&
                  Shell(in + "link set " + links_[n] + " up") && Shell(in + "link set lo up"));
      const std::string bus = (dir_ / ("bus" + std::to_string(n))).string();
      dir_.Write("bus" + std::to_string(n) + ".conf",
                 "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                 "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig><type>system</type>"
                 "<listen>unix:path=" + bus + "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                 "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
                 "<allow receive_sender=\"*\"/></policy></busconfig>\n");
      dir_.Write("avahi" + std::to_string(n) + ".conf",
                 "[server]\nhost-name=" + names_[n] + "\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=" + links_[n] +
                     "\nenable-dbus=yes\n[wide-area]\nenable-wide-area=no\n[publish]\npublish-hinfo=no\n"
                     "publish-workstation=no\n");
      buses_[n] = "unix:path=" + bus;
    }
    dir_.Write("services/printer.service",
               "<?xml version=\"1.0\" standalone='no'?>\n<!DOCTYPE service-group SYSTEM \"avahi-service.dtd\">\n"
               "<service-group><name>TW label printer</name><service><type>_pdl-datastream._tcp</type>"
               "<port>9100</port><txt-record>ty=QRT-L42D label printer</txt-record></service></service-group>\n");
    for (int n = 0; n < 2; ++n) {
      const std::string exec = "ip netns exec " + names_[n] + " ";
      const std::string d = dir_.path().string(), nn = std::to_string(n);
      pids_.push_back(Spawn(exec + "dbus-daemon --config-file=" + d + "/bus" + nn + ".conf --nofork --nopidfile"));
      // avahi-daemon gives up when the bus is not there yet: it starts once the bus listens.
      for (int i = 0; i < 100 && !std::filesystem::exists(dir_ / ("bus" + nn)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      // A /run of its own (pid file), and on the publishing side a service folder of its own.
      const std::string services = n == 1 ? " && mount --bind " + d + "/services /etc/avahi/services" : "";
      pids_.push_back(Spawn(exec + "sh -c 'mount -t tmpfs tmpfs /run && mkdir /run/avahi-daemon" + services +
                            " && DBUS_SYSTEM_BUS_ADDRESS=" + buses_[n] + " exec avahi-daemon -f " + d + "/avahi" + nn +
                            ".conf --no-drop-root --no-chroot' >" + d + "/avahi" + nn + ".log 2>&1"));
    }
    // Published once the daemon says so (it probes the name first), within 20 s.
    for (int i = 0; i < 200 && !published(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(published()) << test::ReadFileBytes(dir_ / "avahi1.log");
  }
  void TearDown() override {
    for (pid_t pid : pids_) ::kill(pid, SIGTERM);
    for (pid_t pid : pids_) ::waitpid(pid, nullptr, 0);
    for (int n = 0; n < 2; ++n) {
      if (made_[n]) Shell("ip netns del " + names_[n]);
    }
  }
  bool published() const {
    return test::ReadFileBytes(dir_ / "avahi1.log").find("successfully established") != std::string::npos &&
           test::ReadFileBytes(dir_ / "avahi0.log").find("Server startup complete") != std::string::npos;
  }

  test::TempDir dir_;
  std::string names_[2], links_[2], buses_[2];
  std::vector<pid_t> pids_;
  bool made_[2] = {false, false};  // each namespace made, to be deleted
};

TEST_F(DnsSdInNamespaces, FindsThePrinterPublishedInTheOtherNamespace) {
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", buses_[0].c_str(), 1);
  Discovery run;
  QSignalSpy finished(&run, &Discovery::finished);
  DiscoveryOptions options;  // no range: DNS-SD alone
  options.timeoutMs = 5000;
  run.Start(options);
  ASSERT_TRUE(finished.count() > 0 || finished.wait(10000));
  ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  EXPECT_TRUE(run.Notes().isEmpty()) << run.Notes().join(QLatin1Char(' ')).toStdString();
  ASSERT_EQ(run.Rows().size(), 1u);
  const PrinterRow& row = run.Rows()[0];
  EXPECT_EQ(row.address, QStringLiteral("10.231.0.2"));
  EXPECT_EQ(row.port, 9100);
  EXPECT_EQ(row.name, QStringLiteral("TW label printer"));
  EXPECT_EQ(row.model, QStringLiteral("QRT-L42D label printer"));
  EXPECT_EQ(row.foundBy, unsigned(kDnsSd));
}

// The browsing side's daemon goes away during the run: DNS-SD counts as a way that could not run.
TEST_F(DnsSdInNamespaces, ADaemonThatFailsAfterTheStartCountsAsNotRun) {
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", buses_[0].c_str(), 1);
  Discovery run;
  QSignalSpy finished(&run, &Discovery::finished);
  DiscoveryOptions options;
  options.timeoutMs = 5000;
  run.Start(options);
  ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  ::kill(pids_[1], SIGKILL);  // the first namespace's avahi-daemon
  ASSERT_TRUE(finished.count() > 0 || finished.wait(10000));
  EXPECT_FALSE(run.AnyWayRan()) << run.Notes().join(QLatin1Char(' ')).toStdString();
  ASSERT_EQ(run.Notes().size(), 1);
  EXPECT_TRUE(run.Notes()[0].startsWith(QStringLiteral("DNS-SD could not run: "))) << run.Notes()[0].toStdString();
}

TEST(DnsSdWithoutDaemon, SaysSoInTheNotesAndTheOtherWaysGoOn) {
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
  Discovery run;
  DiscoveryOptions options;
  options.addresses = {(127u << 24) + 60};  // nothing listens there
  options.snmp = false;
  QSignalSpy finished(&run, &Discovery::finished);
  run.Start(options);
  ASSERT_TRUE(finished.count() > 0 || finished.wait(5000));
  ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  ASSERT_EQ(run.Notes().size(), 1);
  EXPECT_TRUE(run.Notes()[0].startsWith(QStringLiteral("DNS-SD could not run: "))) << run.Notes()[0].toStdString();
  EXPECT_TRUE(run.AnyWayRan());
}

}  // namespace
}  // namespace tw::discovery
