// Descriptor channels on their own: a channel whose wake-up event cannot be made does not open, and
// a descriptor without poll (the lp driver's) waits out its time-outs without spinning.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/FdChannel.h"
#include "link/LinkState.h"
#include "support/PtyPair.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

using namespace std::chrono;

double ThreadCpuMs() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

TEST(FdChannel, APortWhoseChannelCannotWaitDoesNotOpen) {
  test::TempDir dir;
  SetProgramDir(dir.path());
  ResetLink({});
  test::PtyPair pty;
  // Only one more descriptor can be made: the port's own, not its channel's wake-up event.
  const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(lowestFree, 0);
  ::close(lowestFree);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowestFree + 1);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  const bool opened = OpenSerialPort(pty.slavePath(), 9600, 8, 1, FlowControl::Hardware, 0);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_FALSE(opened);
  EXPECT_FALSE(Link().Serial());
  ResetLink({});
}

TEST(FdChannel, WithoutPollReadsAndWritesWaitTheirTimeOutsWithoutSpinning) {
  int empty[2], full[2];
  ASSERT_EQ(::pipe2(empty, O_NONBLOCK | O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(full, O_NONBLOCK | O_CLOEXEC), 0);
  const std::string block(65536, 'x');
  while (::write(full[1], block.data(), block.size()) > 0) {
  }
  // As the lp driver behaves: said ready at once, then "try again".
  const FdChannelPtr reader = FdChannel::Open(empty[0], FdChannel::Polling::Unsupported);
  const FdChannelPtr writer = FdChannel::Open(full[1], FdChannel::Polling::Unsupported);
  ASSERT_TRUE(reader && writer);
  const double cpuBefore = ThreadCpuMs();
  const auto start = steady_clock::now();
  char buffer[16];
  EXPECT_EQ(reader->ReadWithin(buffer, sizeof buffer, 300), 0);
  EXPECT_EQ(writer->WriteAll("y", 1, 300), 0u);
  const double elapsedMs = static_cast<double>(duration_cast<milliseconds>(steady_clock::now() - start).count());
  const double cpuMs = ThreadCpuMs() - cpuBefore;
  EXPECT_GE(elapsedMs, 590) << "each waits its time-out";
  EXPECT_LT(cpuMs, elapsedMs * 0.05) << "resting, not spinning";
  // Data that is there is read at once.
  ::write(empty[1], "ok", 2);
  EXPECT_EQ(reader->ReadWithin(buffer, sizeof buffer, 300), 2);
  ::close(empty[1]);
  ::close(full[0]);
}

}  // namespace
}  // namespace tw
