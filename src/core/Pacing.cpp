// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Pacing.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

namespace tw {
namespace {

class RealPacer final : public Pacer {
 public:
  void Sleep(PaceStep step) override {
    if (step.ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
  }
  void SleepUntilReadable(PaceStep step, int wakeFd) override {
    if (wakeFd < 0) return Sleep(step);
    const int64_t end = NowMs() + step.ms;
    for (int64_t left = step.ms; left > 0; left = end - NowMs()) {
      pollfd p{wakeFd, POLLIN, 0};
      const int n = ::poll(&p, 1, static_cast<int>(left));
      if (n > 0 || (n < 0 && errno != EINTR)) return;
    }
  }
  int Timeout(PaceStep step) override { return step.ms; }
  int64_t NowMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
};

std::mutex g_pacerMutex;
std::shared_ptr<Pacer> g_pacer;  // guarded by g_pacerMutex; null means the real pacer

const std::shared_ptr<Pacer>& Real() {
  static const std::shared_ptr<Pacer> real = std::make_shared<RealPacer>();
  return real;
}

}  // namespace

std::shared_ptr<Pacer> Pacing() {
  std::lock_guard lock(g_pacerMutex);
  return g_pacer ? g_pacer : Real();
}

void SetPacer(std::shared_ptr<Pacer> pacer) {
  std::lock_guard lock(g_pacerMutex);
  g_pacer = std::move(pacer);
}

}  // namespace tw
