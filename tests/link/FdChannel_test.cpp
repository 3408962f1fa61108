// SPDX-License-Identifier: GPL-3.0-or-later
// Descriptor channels: a port whose channel cannot make its wake-up event does not open, and a
// descriptor without poll (the lp driver's) waits out its time-outs without spinning.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "core/AppPaths.h"
#include "link/Connection.h"
#include "link/LinkState.h"
#include "support/PtyPair.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

TEST(FdChannel, APortWhoseChannelCannotWaitDoesNotOpen) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // Their runtimes make descriptors of their own for their checks, which the tight limit refuses.
  GTEST_SKIP() << "needs a process whose only descriptors are its own";
#endif
  test::TempDir dir;
  SetProgramDir(dir.path());
  ResetLink({});
  test::PtyPair pty;
  // Only one more descriptor can be made: the port's own, not its channel's wake-up event.
  const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ::close(lowestFree);
  rlimit saved{};
  ::getrlimit(RLIMIT_NOFILE, &saved);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowestFree + 1);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  const bool opened = OpenSerialPort(pty.slavePath(), 9600, 8, 1, FlowControl::Hardware, 0);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_FALSE(opened);
  EXPECT_FALSE(Link().Serial());
}

TEST(FdChannel, WithoutPollReadsAndWritesWaitTheirTimeOutsWithoutSpinning) {
  int empty[2], full[2];
  ASSERT_EQ(::pipe2(empty, O_NONBLOCK | O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(full, O_NONBLOCK | O_CLOEXEC), 0);
  const std::string block(65536, 'x');
  while (::write(full[1], block.data(), block.size()) > 0) {
  }
  // As the lp driver behaves: ready at once by poll, then "try again" by read and write.
  const FdChannelPtr reader = FdChannel::Open(empty[0], FdChannel::Polling::Unsupported);
  const FdChannelPtr writer = FdChannel::Open(full[1], FdChannel::Polling::Unsupported);
  timespec cpu[2]{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu[0]);
  const auto start = std::chrono::steady_clock::now();
  char buffer[16];
  EXPECT_EQ(reader->ReadWithin(buffer, sizeof buffer, 300), 0);
  EXPECT_EQ(writer->WriteAll("y", 1, 300), 0u);
  const auto waitedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu[1]);
  const double cpuMs = (cpu[1].tv_sec - cpu[0].tv_sec) * 1e3 + (cpu[1].tv_nsec - cpu[0].tv_nsec) / 1e6;
  EXPECT_GE(waitedMs, 590) << "each waits its time-out";
  EXPECT_LT(cpuMs, waitedMs * 0.05) << "resting, not spinning";
  ASSERT_EQ(::write(empty[1], "ok", 2), 2);
  EXPECT_EQ(reader->ReadWithin(buffer, sizeof buffer, 300), 2) << "what is there is read";
  ::close(empty[1]);
  ::close(full[0]);
}

}  // namespace
}  // namespace tw
