// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace tw::test {
namespace {

using Watch = std::function<void(int pid, const std::function<std::string()>& errSoFar)>;

ProcessResult Run(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                  int timeoutMs, const Watch& whileRunning) {
  std::mutex errMutex;
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
  const std::string path = std::string(TW_BIN_DIR) + "/" + program;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  ProcessResult result;
  std::thread helper;
  if (whileRunning) {
    helper = std::thread([&, pid] {
      whileRunning(static_cast<int>(pid), [&] {
        std::lock_guard lock(errMutex);
        return result.err;
      });
    });
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ::signal(SIGPIPE, SIG_IGN);
  std::size_t written = 0;
  if (input.empty()) {
    ::close(in[1]);
    in[1] = -1;
  }
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);

  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
  int readEnds[2] = {out[0], err[0]};
  std::string* sinks[2] = {&result.out, &result.err};
  while (readEnds[0] >= 0 || readEnds[1] >= 0) {
    int left = static_cast<int>(duration_cast<milliseconds>(deadline - steady_clock::now()).count());
    if (left <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd fds[3] = {{readEnds[0], POLLIN, 0}, {readEnds[1], POLLIN, 0}, {in[1], POLLOUT, 0}};
    if (::poll(fds, 3, left) < 0) continue;
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
      if (readEnds[i] < 0 || !fds[i].revents) continue;
      ssize_t got = ::read(readEnds[i], buffer, sizeof buffer);
      if (got > 0) {
        std::lock_guard lock(errMutex);
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        ::close(readEnds[i]);
        readEnds[i] = -1;
      }
    }
    if (in[1] >= 0 && fds[2].revents) {
      ssize_t put = ::write(in[1], input.data() + written, input.size() - written);
      if (put > 0) written += static_cast<std::size_t>(put);
      if (put < 0 || written == input.size()) {
        ::close(in[1]);
        in[1] = -1;
      }
    }
  }
  for (int fd : {readEnds[0], readEnds[1], in[1]}) {
    if (fd >= 0) ::close(fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (helper.joinable()) helper.join();
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                         int timeoutMs, const std::function<void(int pid)>& whileRunning) {
  Watch watch;
  if (whileRunning) watch = [&](int pid, const std::function<std::string()>&) { whileRunning(pid); };
  return Run(program, args, input, timeoutMs, watch);
}

ProcessResult RunProgramWatching(const std::string& program, const std::vector<std::string>& args, int timeoutMs,
                                 const Watch& whileRunning) {
  return Run(program, args, "", timeoutMs, whileRunning);
}

}  // namespace tw::test
