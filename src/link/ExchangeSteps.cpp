// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ExchangeSteps.h"

namespace tw {
namespace {
thread_local ExchangeObserver* t_observer = nullptr;
}  // namespace

bool ExchangeStep(int done, int total) { return !t_observer || t_observer->Step(done, total); }

ExchangeObserverScope::ExchangeObserverScope(ExchangeObserver* observer) : previous_(t_observer) {
  t_observer = observer;
}

ExchangeObserverScope::~ExchangeObserverScope() { t_observer = previous_; }

}  // namespace tw
