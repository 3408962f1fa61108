// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One exchange with the printer, run off the thread that starts it. The job claims the link for its
// whole length (other windows find it taken), runs its work on a thread of its own and serves the
// starting thread's events until the work has ended, so the window that started it keeps repainting
// and can show the progress and take a Cancel while its handler reads on as written.
//
// The work reports its requests through ExchangeStep (link/ExchangeSteps.h). A read stops before its
// next request once Cancel was asked: the reply of the request before has been read whole, so the
// next exchange finds no half-read reply on the link. A checked write runs to its end (a printer is
// never left half written); it ends early only where the work itself gives up, on a failed send.
#include <QObject>
#include <atomic>
#include <functional>

#include "link/ExchangeSteps.h"

namespace tw {

class LinkJob : public QObject, private ExchangeObserver {
  Q_OBJECT
 public:
  enum class Kind { Read, CheckedWrite };
  enum class Outcome { Done, Failed, Cancelled, Busy };
  // Runs on the job's thread: true when the exchange succeeded.
  using Work = std::function<bool(LinkJob& job)>;

  explicit LinkJob(Kind kind, QObject* parent = nullptr);
  ~LinkJob() override;

  // Claims the link and runs the work on a thread of its own, serving this thread's events until
  // it ends. Busy (the work not run) while another exchange holds the link. Cancelled when a Cancel
  // stopped the work before it succeeded.
  Outcome Run(const Work& work);

  // Asks a read to stop before its next request; a checked write ignores it.
  void Cancel();
  bool Cancellable() const { return kind_ == Kind::Read; }
  bool CancelRequested() const { return cancel_; }
  bool Running() const { return running_; }

  // From the work: runs `fn` on the thread that started the job and waits for it, for what only
  // that thread may do (controls, message boxes).
  void OnStartingThread(const std::function<void()>& fn);

 signals:
  // Request `done` of `total` is being made (queued to the starting thread).
  void progressed(int done, int total);

 private:
  bool Step(int done, int total) override;

  const Kind kind_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> running_{false};
};

}  // namespace tw
