// SPDX-License-Identifier: GPL-3.0-or-later
// The network layer: raw TCP with a connect time-out and poll() time-outs on every write and read.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "link/DeviceLibraries.h"
#include "link/FdChannel.h"
#include "link/HandleTable.h"

namespace tw {
namespace {

class TcpNetPort final : public NetPortApi {
 public:
  // On failure errno tells why: ECONNREFUSED, ENETUNREACH or EHOSTUNREACH, ETIMEDOUT (no answer
  // within the connect time-out), ECANCELED (the wait was interrupted), EINVAL (a bad address).
  int OpenPort(const std::string& address, int port, int connectTimeoutMs) override {
    int error = 0;
    const int handle = Connect(address, port, connectTimeoutMs, &error);
    if (handle < 0) errno = error;  // set after the failed socket was closed
    return handle;
  }

  int WritePort(int handle, const char* bytes, int length, int timeoutMs) override {
    auto channel = sockets_.Find(handle);
    if (!channel || length < 0) return -1;
    // A printer takes a large job at its own pace: the time-out bounds a stall, not the whole job.
    auto written = channel->WriteAll(bytes, static_cast<std::size_t>(length), timeoutMs, FdChannel::Deadline::Idle);
    return written == static_cast<std::size_t>(length) ? static_cast<int>(written) : -1;
  }

  int ReadPort(int handle, char* buffer, int capacity, int timeoutMs) override {
    auto channel = sockets_.Find(handle);
    if (!channel || capacity < 0) return -1;
    long n = channel->ReadWithin(buffer, static_cast<std::size_t>(capacity), timeoutMs);
    return static_cast<int>(n);
  }

  int WaitAcknowledged(int handle, int timeoutMs) override {
    auto channel = sockets_.Find(handle);
    if (!channel) return -1;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    // No event tells of an acknowledgement: look again at short, growing intervals.
    auto interval = std::chrono::microseconds(20);
    for (;;) {
      tcp_info info{};
      socklen_t length = sizeof info;
      int unacknowledged = 0;
      if (channel->cancelled() || ::getsockopt(channel->fd(), IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
          ::ioctl(channel->fd(), SIOCOUTQ, &unacknowledged) != 0) {
        return -1;
      }
      // Bytes the printer acknowledged are its own, whatever happened to the connection after
      // (a printer restarting after a firmware file may reset it). A reset or a failed connection
      // with bytes still unacknowledged leaves the established states; a printer that closed its
      // side (close-wait) may still take them.
      if (unacknowledged > 0 && info.tcpi_state != TCP_ESTABLISHED && info.tcpi_state != TCP_CLOSE_WAIT) {
        return -1;
      }
      const auto now = Clock::now();
      if (unacknowledged <= 0 || now >= deadline) return std::max(unacknowledged, 0);
      std::this_thread::sleep_for(std::min<Clock::duration>(interval, deadline - now));
      interval = std::min(interval * 2, std::chrono::microseconds(1000));
    }
  }

  bool WentAway(int handle) override {
    auto channel = sockets_.Find(handle);
    return channel && channel->wentAway();
  }

  void ClosePort(int handle) override {
    if (auto channel = sockets_.Remove(handle)) {
      ::shutdown(channel->fd(), SHUT_RDWR);
      channel->Cancel();
    }
  }

  void ClosePortAfterTransfer(int handle, int lingerMs) override {
    auto channel = sockets_.Remove(handle);
    if (!channel) return;
    ::shutdown(channel->fd(), SHUT_WR);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(lingerMs, 0));
    char discard[4096];
    // Ends at the printer's close (end of stream), a reset, or the deadline.
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
      if (channel->ReadWithin(discard, sizeof discard, static_cast<int>(left)) < 0) break;
    }
    channel->Cancel();
  }

  void AbortPort(int handle) override {
    if (auto channel = sockets_.Remove(handle)) {
      const linger hard{1, 0};
      ::setsockopt(channel->fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      channel->Cancel();
    }
  }

 private:
  int Connect(const std::string& address, int port, int connectTimeoutMs, int* error) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    *error = EINVAL;
    if (port < 0 || port > 65535 || ::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) return -1;
    peer.sin_port = htons(static_cast<uint16_t>(port));
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    *error = errno;
    if (fd < 0) return -1;
    auto channel = FdChannel::Open(fd);
    if (!channel) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
      *error = errno;
      if (errno != EINPROGRESS) return -1;
      switch (channel->WaitWritable(connectTimeoutMs)) {
        case FdChannel::Wait::Ready: break;
        case FdChannel::Wait::TimedOut: *error = ETIMEDOUT; return -1;
        case FdChannel::Wait::Cancelled: *error = ECANCELED; return -1;
        case FdChannel::Wait::Failed: *error = EIO; return -1;
      }
      int err = 0;
      socklen_t len = sizeof err;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      *error = err;
      if (err != 0) return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return sockets_.Add(std::move(channel));
  }

  HandleTable<FdChannel> sockets_{0};
};

}  // namespace

std::shared_ptr<NetPortApi> MakeTcpNetPortApi() { return std::make_shared<TcpNetPort>(); }

DeviceLibraries RealDeviceLibraries() {
  return {MakeLibUsbDeviceApi(), MakeUsbPrinterNodeApi(), MakeTcpNetPortApi()};
}

std::string ResolveHostIpv4(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return {};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
  freeaddrinfo(found);
  return text;
}

}  // namespace tw
