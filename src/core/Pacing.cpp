#include "core/Pacing.h"

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
