// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pacing seam: every fixed sleep and time-out of the printer exchanges goes through here,
// named after what it paces, so that tests can run the clock fast and see which waits happened.
#include <cstdint>
#include <memory>
#include <string_view>

namespace tw {

// A named wait: what it paces and its length in milliseconds.
struct PaceStep {
  std::string_view name;
  int ms;
};

class Pacer {
 public:
  virtual ~Pacer() = default;
  // Sleeps for the step (the real pacer sleeps step.ms).
  virtual void Sleep(PaceStep step) = 0;
  // Sleeps for the step, or less when `wakeFd` becomes readable first (the real pacer watches it;
  // a pacer that does not just sleeps).
  virtual void SleepUntilReadable(PaceStep step, int wakeFd) {
    (void)wakeFd;
    Sleep(step);
  }
  // The time-out to use for the step (the real pacer returns step.ms unchanged).
  virtual int Timeout(PaceStep step) = 0;
  // Monotonic milliseconds, for the waits that count ticks.
  virtual int64_t NowMs() = 0;
};

// The process-wide pacer; the real one unless a test installed another.
std::shared_ptr<Pacer> Pacing();
// Installs a pacer (nullptr restores the real one).
void SetPacer(std::shared_ptr<Pacer> pacer);

inline void Pause(PaceStep step) { Pacing()->Sleep(step); }
inline int TimeoutMs(PaceStep step) { return Pacing()->Timeout(step); }
inline int64_t NowMs() { return Pacing()->NowMs(); }

// The named waits of the printer link.
namespace pace {
inline constexpr PaceStep kReplySettle{"reply settle before a serial or parallel read", 600};
inline constexpr PaceStep kSerialReadRound{"serial reply read round", 150};
inline constexpr PaceStep kSerialPendingRead{"serial read wait on pending input", 2000};
inline constexpr PaceStep kParallelReadWindow{"parallel read retry window", 10};
inline constexpr PaceStep kParallelPollWindow{"parallel poll retry window", 1};
inline constexpr PaceStep kParallelSlotSettle{"parallel settle after a slot request", 50};
inline constexpr PaceStep kSlotReadRetry{"gap between parameter slot read attempts", 50};
inline constexpr PaceStep kNetworkConnect{"network connect time-out", 3000};
inline constexpr PaceStep kNetworkWrite{"network write time-out", 20000};
inline constexpr PaceStep kNetworkRead{"network read time-out", 5000};
inline constexpr PaceStep kNetworkReadShort{"network read time-out after the first reply read", 500};
inline constexpr PaceStep kParallelOpenRead{"parallel read time-out at connect", 2000};
inline constexpr PaceStep kParallelOpenWrite{"parallel write time-out at connect", 3000};
inline constexpr PaceStep kParallelReplyRead{"parallel read time-out for a reply", 500};
inline constexpr PaceStep kParallelReplyWrite{"parallel write time-out for a reply", 3000};
inline constexpr PaceStep kParallelDumpRead{"parallel read time-out before a dump", 1000};
inline constexpr PaceStep kParallelDumpWrite{"parallel write time-out before a dump", 1000};
inline constexpr PaceStep kSerialWriteAtConnect{"serial write time-out set by a connect", 2000};
}  // namespace pace

}  // namespace tw
