// SPDX-License-Identifier: GPL-3.0-or-later
// The tagwright-printersim program: its options, the line saying where it listens, and a clean end
// on SIGTERM and SIGINT.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/VirtualPrinter.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::filesystem::path ProgramPath() {
  const char* bin = std::getenv("TW_BIN_DIR");
  return std::filesystem::path(bin ? bin : ".") / "tagwright-printersim";
}

// The program as a child process with its standard output on a pipe.
class Program {
 public:
  explicit Program(const std::vector<std::string>& arguments) {
    const std::string path = ProgramPath().string();
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
  }

  bool started() const { return pid_ > 0; }

  // The first line the program prints (without the line end), "" if none came in time.
  std::string FirstLine(int timeoutMs) {
    std::string line;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char c = 0;
    for (;;) {
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, RemainingMs(deadline)) <= 0 || read(stdout_, &c, 1) != 1) return "";
      if (c == '\n') return line;
      line += c;
    }
  }

  // Sends a signal and waits for the exit; the exit status, or -1 if it did not end in time.
  int SignalAndWait(int signal, int timeoutMs) {
    kill(pid_, signal);
    return WaitExit(timeoutMs);
  }

  int WaitExit(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (Clock::now() > deadline) return -1;
      usleep(10000);
    }
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
};

// Connects to 127.0.0.1:port, sends `request`, reads until `count` bytes or the time-out.
std::string Exchange(uint16_t port, const std::string& request, std::size_t count, int timeoutMs) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (reply.size() < count) {
      pollfd p{fd, POLLIN, 0};
      char buffer[512];
      if (poll(&p, 1, RemainingMs(deadline)) <= 0) break;
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      reply.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  return reply;
}

uint16_t PortOf(const std::string& line) {
  const std::size_t colon = line.rfind(':');
  if (colon == std::string::npos) return 0;
  return static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
}

class PrinterSimProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(ProgramPath())) << ProgramPath() << " (set TW_BIN_DIR)";
  }
};

TEST_F(PrinterSimProgram, ListensOnTcpAnswersAndEndsCleanlyOnSigterm) {
  Program program({"--tcp", "127.0.0.1:0", "--mode", "e", "--model", "QRT-T3"});
  ASSERT_TRUE(program.started());
  const std::string line = program.FirstLine(5000);
  EXPECT_NE(line.find("127.0.0.1:"), std::string::npos) << line;
  const uint16_t port = PortOf(line);
  ASSERT_NE(port, 0) << line;
  tw::sim::ConfigurationOptions configuration;
  configuration.model = "QRT-T3";
  const std::string expected =
      tw::sim::PrinterModel(tw::sim::Personality::E, {}, configuration).ConfigurationReply();
  EXPECT_EQ(Exchange(port, "UQ\r\n", expected.size(), 3000), expected);
  EXPECT_EQ(program.SignalAndWait(SIGTERM, 3000), 0);
}

TEST_F(PrinterSimProgram, APresetChoosesTheReplyAndSingleOptionsReplaceItsValues) {
  // A preset alone makes an E printer.
  Program program({"--tcp", "127.0.0.1:0", "--preset", "t3-300-mark", "--firmware", "9.99.0000X"});
  ASSERT_TRUE(program.started());
  const uint16_t port = PortOf(program.FirstLine(5000));
  ASSERT_NE(port, 0);
  tw::sim::ConfigurationOptions configuration =
      tw::sim::FindConfigurationPreset("t3-300-mark")->configuration;
  configuration.firmware = "9.99.0000X";
  const std::string expected =
      tw::sim::PrinterModel(tw::sim::Personality::E, {}, configuration).ConfigurationReply();
  EXPECT_NE(expected.find("Q1200,B48+12"), std::string::npos);
  EXPECT_EQ(Exchange(port, "UQ\r\n", expected.size(), 3000), expected);
  EXPECT_EQ(program.SignalAndWait(SIGTERM, 3000), 0);
}

TEST_F(PrinterSimProgram, ListsEveryPresetAndEnds) {
  Program program({"--list-presets"});
  ASSERT_TRUE(program.started());
  for (const auto& preset : tw::sim::ConfigurationPresets()) {
    EXPECT_EQ(program.FirstLine(3000), preset.name + ": " + preset.description);
  }
  EXPECT_EQ(program.WaitExit(3000), 0);
}

TEST_F(PrinterSimProgram, OpensAPseudoTerminalAndEndsCleanlyOnSigint) {
  Program program({"--pty", "--version-text", "TEST-FW 1.0"});
  ASSERT_TRUE(program.started());
  const std::string line = program.FirstLine(5000);
  const std::size_t slash = line.find("/dev/");
  ASSERT_NE(slash, std::string::npos) << line;
  const int fd = open(line.substr(slash).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0) << line;
  ASSERT_EQ(write(fd, "~WN01@version~\r\n", 16), 16);
  std::string reply;
  const auto deadline = Clock::now() + std::chrono::milliseconds(3000);
  while (reply.size() < 13) {
    pollfd p{fd, POLLIN, 0};
    char buffer[64];
    if (poll(&p, 1, RemainingMs(deadline)) <= 0) break;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  EXPECT_EQ(reply, "TEST-FW 1.0\r\n");
  EXPECT_EQ(program.SignalAndWait(SIGINT, 3000), 0);
}

TEST_F(PrinterSimProgram, FaultOptionsReachThePrinter) {
  Program program({"--tcp", "127.0.0.1:0", "--garbage", "--delay", "200"});
  ASSERT_TRUE(program.started());
  const uint16_t port = PortOf(program.FirstLine(5000));
  ASSERT_NE(port, 0);
  const auto start = Clock::now();
  const std::string reply = Exchange(port, "~WN00@eep,r,01~", 6, 3000);
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
            180);
  EXPECT_EQ(reply.size(), 6u);
  EXPECT_EQ(reply.find_first_of("0123456789\r\n"), std::string::npos) << reply;
  EXPECT_EQ(program.SignalAndWait(SIGTERM, 3000), 0);
}

TEST_F(PrinterSimProgram, StatusOptionsSetTheConditionsAndTheControlFileChangesThem) {
  const std::filesystem::path control =
      std::filesystem::temp_directory_path() / ("printersim-control-" + std::to_string(getpid()));
  std::filesystem::remove(control);
  Program program({"--tcp", "127.0.0.1:0", "--paper-out", "--calibrate-warning", "--model", "TWV-X",
                   "--dpmm", "12", "--control", control.string()});
  ASSERT_TRUE(program.started());
  const uint16_t port = PortOf(program.FirstLine(5000));
  ASSERT_NE(port, 0);
  tw::sim::PrinterModel reference(tw::sim::Personality::Z);
  tw::sim::StatusOptions status;
  status.identity.model = "TWV-X";
  status.identity.dotsPerMm = 12;
  status.conditions.paperOut = status.conditions.calibrateWarning = true;
  reference.SetStatusOptions(status);
  EXPECT_EQ(Exchange(port, "~HI", reference.IdentificationReply().size(), 3000),
            reference.IdentificationReply());
  const std::string paperOut = reference.ErrorStatusReply();
  EXPECT_EQ(Exchange(port, "~HQES", paperOut.size(), 3000), paperOut);

  { std::ofstream(control) << "ribbon-out\n"; }
  reference.SetConditions({.ribbonOut = true});
  const std::string ribbonOut = reference.ErrorStatusReply();
  std::string reply;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (reply != ribbonOut && Clock::now() < deadline) {
    reply = Exchange(port, "~HQES", ribbonOut.size(), 3000);
  }
  EXPECT_EQ(reply, ribbonOut);
  EXPECT_EQ(program.SignalAndWait(SIGTERM, 3000), 0);
  std::filesystem::remove(control);
}

// Started in the foreground of its terminal and moved to the background, the program still ends on
// SIGTERM and gives the terminal its settings back. A child of its own session owns the terminal.
TEST_F(PrinterSimProgram, EndsOnSigtermAfterBeingMovedToTheBackgroundOfItsTerminal) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
  const std::string slave = ptsname(master), path = ProgramPath().string();
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t session = fork();
  if (session == 0) {
    setsid();
    signal(SIGTTOU, SIG_IGN);
    const int tty = open(slave.c_str(), O_RDWR);  // the session's controlling terminal
    const pid_t sim = fork();
    if (sim == 0) {
      setpgid(0, 0);
      tcsetpgrp(tty, getpid());
      signal(SIGTTOU, SIG_DFL);
      dup2(tty, STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      execl(path.c_str(), path.c_str(), "--tcp", "127.0.0.1:0", static_cast<char*>(nullptr));
      _exit(127);
    }
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') {}  // it listens: its terminal is in key mode
    tcsetpgrp(tty, getpgrp());
    kill(sim, SIGTERM);
    int status = 0;
    waitpid(sim, &status, WUNTRACED);
    if (WIFSTOPPED(status)) kill(sim, SIGKILL);
    termios settings{};
    tcgetattr(tty, &settings);
    _exit(WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ((settings.c_lflag & ECHO) ? 0 : 3) : 1);
  }
  close(out[1]);
  int status = -1;
  for (int i = 0; i < 1000 && waitpid(session, &status, WNOHANG) == 0; ++i) usleep(10000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  close(out[0]);
  close(master);
}

TEST_F(PrinterSimProgram, ChattersNumberedLinesToTheConnectedHost) {
  Program program({"--tcp", "127.0.0.1:0", "--chatter", "20"});
  ASSERT_TRUE(program.started());
  const uint16_t port = PortOf(program.FirstLine(5000));
  ASSERT_NE(port, 0);
  // Lines sent before the connection went nowhere; from then on they come one after the other.
  const std::string lines = Exchange(port, "", 32, 5000);
  ASSERT_EQ(lines.size(), 32u) << lines;
  EXPECT_EQ(lines.substr(0, 8), "CHATTER ");
  EXPECT_EQ(std::stoi(lines.substr(24, 6)), std::stoi(lines.substr(8, 6)) + 1) << lines;
  EXPECT_EQ(program.SignalAndWait(SIGTERM, 3000), 0);
}

TEST_F(PrinterSimProgram, RefusesBadOptionValues) {
  const std::vector<std::vector<std::string>> bad = {
      {"--tcp", "no-port"},
      {"--tcp", "127.0.0.1:70000"},
      {"--split", "0"},
      {"--split", "4:x"},
      {"--mode", "q"},
      {"--baud", "-5"},
      {"--preset", "no-such-printer"},
      {"--pty", "--tcp", "127.0.0.1:0"},
  };
  for (const auto& arguments : bad) {
    Program program(arguments);
    ASSERT_TRUE(program.started());
    const int status = program.WaitExit(3000);
    EXPECT_NE(status, 0) << arguments[0] << " " << arguments[1];
    EXPECT_NE(status, -1) << arguments[0] << " " << arguments[1];
  }
}

}  // namespace
