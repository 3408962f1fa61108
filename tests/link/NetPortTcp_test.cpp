// The network layer's wait for the printer's acknowledgement: bytes it has not taken are counted,
// and a connection that is reset fails the wait.
#include <gtest/gtest.h>

#include <string>

#include "link/DeviceLibraries.h"
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

}  // namespace
}  // namespace tw
