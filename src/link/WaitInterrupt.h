// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A signal that ends the waits of one thread. A thread installs one for a stretch of its work; while
// it is installed, every FdChannel wait and USB transfer made on that thread returns as soon as the
// signal is raised, and later waits return at once. Waits made on other threads are never touched,
// so a window's own reads cannot be cut short by a signal meant for the receive thread.
#include "core/Pacing.h"

namespace tw {

class WaitInterrupt {
 public:
  WaitInterrupt();
  ~WaitInterrupt();
  WaitInterrupt(const WaitInterrupt&) = delete;
  WaitInterrupt& operator=(const WaitInterrupt&) = delete;

  // Safe from any thread; stays raised.
  void Raise();
  bool raised() const;
  // Readable once raised (-1 when none could be made: then waits cannot be cut short).
  int fd() const { return fd_; }

  // The interrupt installed on the calling thread, or null.
  static const WaitInterrupt* Current();

  // Installs an interrupt on the calling thread for the life of the object.
  class Scope {
   public:
    explicit Scope(const WaitInterrupt& interrupt);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    const WaitInterrupt* previous_;
  };

 private:
  int fd_;
};

// Whether the calling thread's interrupt has been raised.
bool WaitInterrupted();
// Sleeps for the step; on a thread with an interrupt installed, ends when it is raised.
void PauseUnlessInterrupted(PaceStep step);

}  // namespace tw
