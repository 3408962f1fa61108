// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual printer over real loopback TCP and a real pseudo-terminal, driven with plain POSIX
// calls: replies, resets, faults, pacing, and prompt stopping.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/VirtualPrinter.h"

namespace tw::sim {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The host's end of a link: a TCP socket or an opened pseudo-terminal slave.
class Client {
 public:
  struct Piece {
    std::string bytes;
    Clock::time_point at;
  };

  static Client Tcp(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return Client(-1);
    }
    if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return Client(fd);
  }

  static Client Serial(const std::string& path) {
    return Client(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  }

  explicit Client(int fd) : fd_(fd) {}
  Client(Client&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ~Client() { Close(); }

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  bool Write(std::string_view bytes, int timeoutMs = 10000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
      const ssize_t n = write(fd_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, RemainingMs(deadline)) <= 0) return false;
    }
    return true;
  }

  // Every read's bytes with their arrival time, until `count` bytes came, the link closed or the
  // time-out passed.
  std::vector<Piece> ReadPieces(std::size_t count, int timeoutMs) {
    std::vector<Piece> pieces;
    std::size_t total = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (total < count) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, RemainingMs(deadline)) <= 0) break;
      char buffer[4096];
      const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - total));
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) break;
      pieces.push_back({std::string(buffer, static_cast<std::size_t>(n)), Clock::now()});
      total += static_cast<std::size_t>(n);
    }
    return pieces;
  }

  std::string Read(std::size_t count, int timeoutMs) {
    std::string bytes;
    for (const Piece& piece : ReadPieces(count, timeoutMs)) bytes += piece.bytes;
    return bytes;
  }

  // True when the other side closed the link (end of file, reset or hang-up) within the time-out.
  bool WaitClosed(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, RemainingMs(deadline)) <= 0) return false;
      char buffer[256];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n == 0) return true;
      if (n < 0 && errno != EAGAIN && errno != EINTR) return true;
    }
  }

 private:
  int fd_;
};

const std::string kVersionRequest = "~WN01@version~\r\n";

std::string SlotReply(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return std::string(text) + "\r\n";
}

class TcpPrinter : public ::testing::Test {
 protected:
  void Start(PrinterOptions options = {}) {
    printer_ = std::make_unique<VirtualPrinter>(std::move(options));
    port_ = printer_->ListenTcp();
    ASSERT_NE(port_, 0);
  }
  Client Connect() {
    Client client = Client::Tcp(port_);
    EXPECT_TRUE(client.ok());
    return client;
  }
  std::string VersionReply() const { return PrinterModel(Personality::Z).VersionReply(); }

  std::unique_ptr<VirtualPrinter> printer_;
  uint16_t port_ = 0;
};

// ---------------------------------------------------------------------------------------------
// TCP: replies, state, connections

TEST_F(TcpPrinter, AnswersTheVersionRequestAndKeepsWhatItReceived) {
  Start();
  Client client = Connect();
  ASSERT_TRUE(client.Write(kVersionRequest));
  EXPECT_EQ(client.Read(VersionReply().size(), 3000), VersionReply());
  ASSERT_TRUE(printer_->WaitForReceived(kVersionRequest.size(), 3000));
  EXPECT_EQ(printer_->Received(), kVersionRequest);
  EXPECT_EQ(printer_->Connections(), 1);
}

TEST_F(TcpPrinter, ParameterWritesAndReadsChangeTheSharedState) {
  Start();
  printer_->SetSlot(0x1C, 0x0012);
  Client client = Connect();
  ASSERT_TRUE(client.Write("~WN00@eep,w,1C,0001,08,08~~WN00@eep,r,1c~"));
  EXPECT_EQ(client.Read(6, 3000), SlotReply(0x0112));
  EXPECT_EQ(printer_->Slot(0x1C), 0x0112);

  printer_->SetNamedEntry("PrinterName", "Bay 3");
  ASSERT_TRUE(client.Write("~WN00@ini,r,PrinterName\r\n"));
  EXPECT_EQ(client.Read(7, 3000), "Bay 3\r\n");
}

TEST_F(TcpPrinter, ResetDropsTheConnectionAndTheNextOneIsServed) {
  Start();
  {
    Client first = Connect();
    ASSERT_TRUE(first.Write("~JR"));
    EXPECT_TRUE(first.WaitClosed(3000));
  }
  Client second = Connect();
  ASSERT_TRUE(second.Write(kVersionRequest));
  EXPECT_EQ(second.Read(VersionReply().size(), 3000), VersionReply());
  EXPECT_EQ(printer_->Connections(), 2);
  EXPECT_EQ(printer_->Received(), "~JR" + kVersionRequest);
}

TEST_F(TcpPrinter, ServesOneConnectionAtATime) {
  Start();
  Client first = Connect();
  ASSERT_TRUE(first.Write(kVersionRequest));
  ASSERT_EQ(first.Read(VersionReply().size(), 3000), VersionReply());

  Client second = Connect();  // completes in the listen backlog, but is not served yet
  ASSERT_TRUE(second.Write(kVersionRequest));
  EXPECT_EQ(second.Read(1, 300), "");
  first.Close();
  EXPECT_EQ(second.Read(VersionReply().size(), 3000), VersionReply());
  EXPECT_EQ(printer_->Connections(), 2);
}

TEST_F(TcpPrinter, SendsUnsolicitedBytesToTheCurrentConnectionOnly) {
  Start();
  printer_->SendUnsolicited("nobody listens\r\n");  // no connection: nothing happens
  Client client = Connect();
  ASSERT_TRUE(client.Write("~WN00@eep,r,01~"));  // once answered, the connection is being served
  ASSERT_EQ(client.Read(6, 3000).size(), 6u);
  printer_->SendUnsolicited("status\r\n");
  EXPECT_EQ(client.Read(8, 3000), "status\r\n");
}

TEST_F(TcpPrinter, ListeningFailsOnABusyPortAndWorksAgainAfterStop) {
  Start();
  VirtualPrinter other;
  EXPECT_EQ(other.ListenTcp("127.0.0.1", port_), 0);
  EXPECT_EQ(printer_->ListenTcp(), 0);  // already running
  EXPECT_EQ(printer_->OpenPty(), "");
  printer_->Stop();
  EXPECT_EQ(other.ListenTcp("127.0.0.1", port_), port_);
  other.Stop();
  const uint16_t again = printer_->ListenTcp();
  ASSERT_NE(again, 0);
  Client client = Client::Tcp(again);
  ASSERT_TRUE(client.Write(kVersionRequest));
  EXPECT_EQ(client.Read(VersionReply().size(), 3000), VersionReply());
}

TEST_F(TcpPrinter, ReceivedCanBeClearedAndWaitTimesOut) {
  Start();
  Client client = Connect();
  ASSERT_TRUE(client.Write("abc"));
  ASSERT_TRUE(printer_->WaitForReceived(3, 3000));
  printer_->ClearReceived();
  EXPECT_EQ(printer_->Received(), "");
  const auto start = Clock::now();
  EXPECT_FALSE(printer_->WaitForReceived(1, 200));
  EXPECT_GE(MsSince(start), 150);
}

TEST_F(TcpPrinter, WithoutKeepingBytesItStillCountsThem) {
  PrinterOptions options;
  options.keepReceived = false;
  Start(options);
  Client client = Connect();
  ASSERT_TRUE(client.Write(std::string(5000, 'x') + kVersionRequest));
  EXPECT_EQ(client.Read(VersionReply().size(), 3000), VersionReply());
  EXPECT_TRUE(printer_->WaitForReceived(5000 + kVersionRequest.size(), 3000));
  EXPECT_FALSE(printer_->WaitForReceived(5001 + kVersionRequest.size(), 100));
  EXPECT_EQ(printer_->Received(), "");
}

// ---------------------------------------------------------------------------------------------
// TCP: faults

TEST_F(TcpPrinter, SplitRepliesArriveInPiecesWithGaps) {
  Start();
  Faults faults;
  faults.splitPieceBytes = 2;
  faults.splitGapMs = 100;
  printer_->SetFaults(faults);
  printer_->SetSlot(0x01, 0x0085);
  Client client = Connect();
  ASSERT_TRUE(client.Write("~WN00@eep,r,01~"));
  const auto pieces = client.ReadPieces(6, 3000);
  std::string reply;
  for (const auto& piece : pieces) {
    EXPECT_LE(piece.bytes.size(), 2u);
    reply += piece.bytes;
  }
  EXPECT_EQ(reply, "0085\r\n");
  ASSERT_GE(pieces.size(), 3u);
  const auto span =
      std::chrono::duration_cast<std::chrono::milliseconds>(pieces.back().at - pieces.front().at);
  EXPECT_GE(span.count(), 150);  // two gaps of 100 ms
}

TEST_F(TcpPrinter, DelayedRepliesComeLate) {
  Faults faults;
  faults.replyDelayMs = 300;
  PrinterOptions options;
  options.faults = faults;
  Start(options);
  Client client = Connect();
  const auto start = Clock::now();
  ASSERT_TRUE(client.Write(kVersionRequest));
  EXPECT_EQ(client.Read(VersionReply().size(), 3000), VersionReply());
  EXPECT_GE(MsSince(start), 280);
}

TEST_F(TcpPrinter, NoReplyTakesEverythingAndAnswersNothing) {
  Start();
  Faults faults;
  faults.noReply = true;
  printer_->SetFaults(faults);
  Client client = Connect();
  const std::string commands = "~WN00@eep,w,20,00D7~~WN00@eep,r,20~" + kVersionRequest;
  ASSERT_TRUE(client.Write(commands));
  EXPECT_EQ(client.Read(1, 400), "");
  ASSERT_TRUE(printer_->WaitForReceived(commands.size(), 3000));
  EXPECT_EQ(printer_->Slot(0x20), 0x00D7);
}

TEST_F(TcpPrinter, GarbageRepliesHaveTheLengthButNotTheContent) {
  Start();
  Faults faults;
  faults.garbage = true;
  printer_->SetFaults(faults);
  Client client = Connect();
  ASSERT_TRUE(client.Write("~WN00@eep,r,0C~"));
  const std::string reply = client.Read(6, 3000);
  ASSERT_EQ(reply.size(), 6u);
  EXPECT_NE(reply, SlotReply(printer_->Slot(0x0C)));
  EXPECT_EQ(reply.find_first_of("0123456789ABCDEFabcdef\r\n\x11\x13"), std::string::npos);
}

TEST_F(TcpPrinter, DisconnectAfterNBytesDropsTheLinkAndKeepsExactlyThoseBytes) {
  Start();
  Faults faults;
  faults.disconnectAfterBytes = 10;
  printer_->SetFaults(faults);
  Client client = Connect();
  const std::string data = "0123456789abcdefghijklmno";
  ASSERT_TRUE(client.Write(data));
  EXPECT_TRUE(client.WaitClosed(3000));
  ASSERT_TRUE(printer_->WaitForReceived(10, 3000));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(printer_->Received(), data.substr(0, 10));

  // The count starts again on the next connection.
  printer_->ClearReceived();
  Client next = Connect();
  ASSERT_TRUE(next.Write("~WN01@ver"));  // 9 bytes: still below the limit
  EXPECT_FALSE(next.WaitClosed(300));
  ASSERT_TRUE(next.Write("sion~\r\n"));
  EXPECT_TRUE(next.WaitClosed(3000));
}

TEST_F(TcpPrinter, BaudRatePacingSlowsTakingBytes) {
  // The same transfer unpaced, then at 9600 baud (960 bytes a second).
  const std::string data = std::string(2000, 'x') + kVersionRequest;
  Start();
  {
    Client client = Connect();
    const auto start = Clock::now();
    ASSERT_TRUE(client.Write(data));
    ASSERT_EQ(client.Read(VersionReply().size(), 5000), VersionReply());
    EXPECT_LT(MsSince(start), 1000);
  }
  printer_->Stop();

  PrinterOptions options;
  options.faults.baud = 9600;
  Start(options);
  Client client = Connect();
  const auto start = Clock::now();
  ASSERT_TRUE(client.Write(data));
  ASSERT_EQ(client.Read(VersionReply().size(), 10000), VersionReply());
  const long long elapsed = MsSince(start);
  EXPECT_GE(elapsed, 1500);
  EXPECT_LT(elapsed, 6000);
}

TEST_F(TcpPrinter, BaudRatePacingSlowsSendingBytes) {
  Start();
  Client client = Connect();
  ASSERT_TRUE(client.Write("~WN00@eep,r,01~"));  // served from now on
  ASSERT_EQ(client.Read(6, 3000).size(), 6u);
  Faults faults;
  faults.baud = 2400;  // 240 bytes a second
  printer_->SetFaults(faults);
  const std::string status(240, 's');
  const auto start = Clock::now();
  std::thread sender([&] { printer_->SendUnsolicited(status); });
  const auto pieces = client.ReadPieces(status.size(), 5000);
  sender.join();
  std::string got;
  for (const auto& piece : pieces) got += piece.bytes;
  EXPECT_EQ(got, status);
  EXPECT_GE(MsSince(start), 800);
  EXPECT_GT(pieces.size(), 10u);  // trickled, not in one burst
}

// ---------------------------------------------------------------------------------------------
// TCP: stopping

TEST_F(TcpPrinter, StopReturnsPromptlyWithAClientConnected) {
  Start();
  Client client = Connect();
  ASSERT_TRUE(client.Write(kVersionRequest));
  ASSERT_EQ(client.Read(VersionReply().size(), 3000), VersionReply());
  const auto start = Clock::now();
  printer_->Stop();
  EXPECT_LT(MsSince(start), 500);
  EXPECT_TRUE(client.WaitClosed(1000));
  printer_->Stop();  // a second Stop does nothing
}

TEST_F(TcpPrinter, StopInterruptsALongReplyDelayAndAPacedTransfer) {
  PrinterOptions options;
  options.faults.replyDelayMs = 20000;
  options.faults.baud = 300;
  Start(options);
  Client client = Connect();
  ASSERT_TRUE(client.Write(kVersionRequest + std::string(3000, 'x')));
  // The request without its CR LF: the printer reads nothing more while it delays the reply.
  ASSERT_TRUE(printer_->WaitForReceived(kVersionRequest.size() - 2, 3000));
  std::this_thread::sleep_for(100ms);  // now inside the reply delay
  const auto start = Clock::now();
  printer_->Stop();
  EXPECT_LT(MsSince(start), 500);
}

TEST(VirtualPrinterLifetime, DestructorStopsAServingPrinter) {
  uint16_t port = 0;
  std::unique_ptr<Client> client;
  const auto start = Clock::now();
  {
    VirtualPrinter printer;
    port = printer.ListenTcp();
    ASSERT_NE(port, 0);
    client = std::make_unique<Client>(Client::Tcp(port));
    ASSERT_TRUE(client->Write("print data"));
    ASSERT_TRUE(printer.WaitForReceived(10, 3000));
  }
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_TRUE(client->WaitClosed(1000));
  EXPECT_FALSE(Client::Tcp(port).ok());
}

// ---------------------------------------------------------------------------------------------
// Pseudo-terminal

class PtyPrinter : public ::testing::Test {
 protected:
  void Start(PrinterOptions options = {}) {
    printer_ = std::make_unique<VirtualPrinter>(std::move(options));
    path_ = printer_->OpenPty();
    ASSERT_FALSE(path_.empty());
  }
  std::string VersionReply() const { return PrinterModel(Personality::Z).VersionReply(); }

  std::unique_ptr<VirtualPrinter> printer_;
  std::string path_;
};

// A client that leaves the terminal in cooked mode: echo, line editing, CR/LF translation.
void CookTerminal(int fd) {
  termios t{};
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  t.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
  t.c_iflag |= ICRNL;
  t.c_oflag |= OPOST | ONLCR;
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
}

TEST_F(PtyPrinter, ARawSessionCarriesBytesUnchangedBothWays) {
  Start();
  Client client = Client::Serial(path_);
  ASSERT_TRUE(client.ok());
  ASSERT_TRUE(isatty(client.fd()));
  printer_->SetSlot(0x01, 0x0085);
  const std::string sent = "~WN00@ini,w,TphAdj,abc\n~WN00@eep,r,01~";
  ASSERT_TRUE(client.Write(sent));
  EXPECT_EQ(client.Read(6, 3000), "0085\r\n");  // CR stays CR
  ASSERT_TRUE(printer_->WaitForReceived(sent.size(), 3000));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(printer_->Received(), sent);  // no CR added to the LF, nothing echoed back
  EXPECT_EQ(printer_->NamedEntry("TphAdj"), "abc");
}

TEST_F(PtyPrinter, KeepsWorkingAcrossClientsThatOpenCloseAndCookTheTerminal) {
  Start();
  std::string allSent;
  for (int session = 0; session < 3; ++session) {
    Client client = Client::Serial(path_);
    ASSERT_TRUE(client.ok()) << "session " << session;
    ASSERT_TRUE(client.Write(kVersionRequest));
    allSent += kVersionRequest;
    EXPECT_EQ(client.Read(VersionReply().size(), 3000), VersionReply()) << "session " << session;
    EXPECT_EQ(client.Read(1, 100), "") << "session " << session;
    CookTerminal(client.fd());
    client.Close();
    std::this_thread::sleep_for(200ms);  // the printer puts the terminal back into raw mode
  }
  ASSERT_TRUE(printer_->WaitForReceived(allSent.size(), 3000));
  EXPECT_EQ(printer_->Received(), allSent);
}

TEST_F(PtyPrinter, ResetKeepsTheSerialPathUsable) {
  Start();
  Client client = Client::Serial(path_);
  ASSERT_TRUE(client.ok());
  ASSERT_TRUE(client.Write("~JR"));
  ASSERT_TRUE(printer_->WaitForReceived(3, 3000));
  std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(client.Write(kVersionRequest));
  EXPECT_EQ(client.Read(VersionReply().size(), 3000), VersionReply());
}

TEST_F(PtyPrinter, DisconnectFaultKeepsExactlyNBytesAndDiscardsTheRest) {
  PrinterOptions options;
  options.faults.disconnectAfterBytes = 10;
  Start(options);
  Client client = Client::Serial(path_);
  ASSERT_TRUE(client.ok());
  const std::string data = "0123456789abcdefghijklmnopqrst";
  ASSERT_TRUE(client.Write(data));
  ASSERT_TRUE(printer_->WaitForReceived(10, 3000));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(printer_->Received(), data.substr(0, 10));
}

TEST_F(PtyPrinter, BaudRatePacingSlowsATransfer) {
  PrinterOptions options;
  options.faults.baud = 9600;
  Start(options);
  Client client = Client::Serial(path_);
  ASSERT_TRUE(client.ok());
  const auto start = Clock::now();
  ASSERT_TRUE(client.Write(std::string(2000, 'x') + kVersionRequest));
  ASSERT_EQ(client.Read(VersionReply().size(), 10000), VersionReply());
  const long long elapsed = MsSince(start);
  EXPECT_GE(elapsed, 1500);
  EXPECT_LT(elapsed, 6000);
}

TEST_F(PtyPrinter, SplitRepliesArriveInPieces) {
  PrinterOptions options;
  options.faults.splitPieceBytes = 3;
  options.faults.splitGapMs = 80;
  Start(options);
  Client client = Client::Serial(path_);
  ASSERT_TRUE(client.ok());
  ASSERT_TRUE(client.Write(kVersionRequest));
  const auto pieces = client.ReadPieces(VersionReply().size(), 5000);
  std::string reply;
  for (const auto& piece : pieces) {
    EXPECT_LE(piece.bytes.size(), 3u);
    reply += piece.bytes;
  }
  EXPECT_EQ(reply, VersionReply());
  EXPECT_GE(pieces.size(), (VersionReply().size() + 2) / 3);
}

TEST_F(PtyPrinter, StopReturnsPromptlyWithTheSerialPortOpen) {
  Start();
  Client client = Client::Serial(path_);
  ASSERT_TRUE(client.ok());
  ASSERT_TRUE(client.Write(kVersionRequest));
  ASSERT_EQ(client.Read(VersionReply().size(), 3000), VersionReply());
  const auto start = Clock::now();
  printer_->Stop();
  EXPECT_LT(MsSince(start), 500);
  EXPECT_TRUE(client.WaitClosed(1000));  // the terminal hangs up once the printer is gone
}

}  // namespace
}  // namespace tw::sim

namespace tw::sim {
namespace {

TEST_F(TcpPrinter, ConditionsSetWhileRunningChangeTheNextStatusReplyWhichComesInPieces) {
  PrinterOptions options;
  options.faults.splitPieceBytes = 5;
  options.faults.splitGapMs = 30;
  Start(options);
  Client client = Connect();
  PrinterModel reference(Personality::Z);
  ASSERT_TRUE(client.Write("~HQES"));
  EXPECT_EQ(client.Read(reference.ErrorStatusReply().size(), 3000), reference.ErrorStatusReply());
  PrinterConditions conditions;
  conditions.ribbonOut = true;
  printer_->SetConditions(conditions);
  reference.SetConditions(conditions);
  ASSERT_TRUE(client.Write("~HQES"));
  const auto pieces = client.ReadPieces(reference.ErrorStatusReply().size(), 3000);
  std::string reply;
  for (const auto& piece : pieces) reply += piece.bytes;
  EXPECT_EQ(reply, reference.ErrorStatusReply());
  EXPECT_GT(pieces.size(), 1u);
  EXPECT_EQ(printer_->Conditions(), conditions);
}

}  // namespace
}  // namespace tw::sim
