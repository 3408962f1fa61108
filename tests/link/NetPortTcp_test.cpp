// SPDX-License-Identifier: GPL-3.0-or-later
// The network layer's wait for the printer's acknowledgement: bytes it has not taken are counted,
// and a connection that is reset fails the wait.
#include <gtest/gtest.h>

#include <string>

#include "link/DeviceLibraries.h"
#include "sim/VirtualPrinter.h"
#include "support/LoopbackListener.h"

namespace tw {
namespace {

TEST(NetPortTcp, UnacknowledgedBytesAreCountedAndAResetFailsTheWait) {
  test::LoopbackListener peer;  // accepts into its backlog and never reads
  auto net = MakeTcpNetPortApi();
  const int handle = net->OpenPort("127.0.0.1", peer.port(), 1000);
  ASSERT_GE(handle, 0);
  EXPECT_EQ(net->WaitAcknowledged(handle, 100), 0) << "nothing written, nothing to wait for";
  const std::string data(8 << 20, 'x');
  net->WritePort(handle, data.data(), static_cast<int>(data.size()), 200);  // fills the buffers, then gives up
  EXPECT_GT(net->WaitAcknowledged(handle, 20), 0);
  peer.Close();  // the connection waiting in the backlog is reset
  EXPECT_LT(net->WaitAcknowledged(handle, 5000), 0);
  net->ClosePort(handle);
}

// A printer that took every byte and then reset the connection (restarting after a firmware file)
// has them: only a reset with bytes unacknowledged fails the wait.
TEST(NetPortTcp, AResetAfterEveryByteWasAcknowledgedIsNoFailure) {
  sim::PrinterOptions options;
  options.faults.disconnectAfterBytes = 1000;  // closes with the rest of the bytes unread: a reset
  sim::VirtualPrinter printer(options);
  const uint16_t port = printer.ListenTcp();
  auto net = MakeTcpNetPortApi();
  const int handle = net->OpenPort("127.0.0.1", port, 1000);
  ASSERT_GE(handle, 0);
  const std::string data(5000, 'x');
  ASSERT_GE(net->WritePort(handle, data.data(), static_cast<int>(data.size()), 1000), 0);
  ASSERT_TRUE(printer.WaitForReceived(1000, 5000));
  char end = 0;
  EXPECT_LT(net->ReadPort(handle, &end, 1, 5000), 0) << "the reset has arrived";
  EXPECT_EQ(net->WaitAcknowledged(handle, 100), 0);
  net->ClosePort(handle);
}

}  // namespace
}  // namespace tw
