// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/WaitInterrupt.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace tw {
namespace {
thread_local const WaitInterrupt* t_current = nullptr;
}  // namespace

WaitInterrupt::WaitInterrupt() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WaitInterrupt::~WaitInterrupt() {
  if (fd_ >= 0) ::close(fd_);
}

void WaitInterrupt::Raise() {
  uint64_t one = 1;
  if (fd_ >= 0) (void)!::write(fd_, &one, sizeof one);
}

bool WaitInterrupt::raised() const {
  pollfd p{fd_, POLLIN, 0};
  return fd_ >= 0 && ::poll(&p, 1, 0) > 0;
}

const WaitInterrupt* WaitInterrupt::Current() { return t_current; }

WaitInterrupt::Scope::Scope(const WaitInterrupt& interrupt) : previous_(t_current) { t_current = &interrupt; }

WaitInterrupt::Scope::~Scope() { t_current = previous_; }

bool WaitInterrupted() { return t_current && t_current->raised(); }

void PauseUnlessInterrupted(PaceStep step) {
  if (!t_current) {
    Pause(step);
  } else if (!t_current->raised()) {
    Pacing()->SleepUntilReadable(step, t_current->fd());
  }
}

}  // namespace tw
