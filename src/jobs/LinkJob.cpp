// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/LinkJob.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <thread>

#include "link/DataTransfer.h"

namespace tw {

LinkJob::LinkJob(Kind kind, QObject* parent) : QObject(parent), kind_(kind) {}

LinkJob::~LinkJob() = default;

LinkJob::Outcome LinkJob::Run(const Work& work) {
  if (!ClaimLinkExchange()) return Outcome::Busy;
  cancel_ = false;
  running_ = true;
  QEventLoop loop;
  bool succeeded = false;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    {
      ExchangeObserverScope watched(this);
      succeeded = work(*this);
    }
    finished = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // The quit is queued, so it cannot be lost before the loop runs; user input stays served, since
  // Cancel is a click.
  loop.exec();
  // The loop also ends when the application quits: a read then stops at its next request, and the
  // events stay served until the work has ended, since it may be waiting on this thread.
  while (!finished) {
    Cancel();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  worker.join();
  running_ = false;
  ReleaseLinkExchange();
  if (succeeded) return Outcome::Done;
  return cancel_ && Cancellable() ? Outcome::Cancelled : Outcome::Failed;
}

void LinkJob::Cancel() {
  if (Cancellable()) cancel_ = true;
}

void LinkJob::OnStartingThread(const std::function<void()>& fn) {
  if (QThread::currentThread() == thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(this, fn, Qt::BlockingQueuedConnection);
}

bool LinkJob::Step(int done, int total) {
  if (Cancellable() && cancel_) return false;
  emit progressed(done, total);  // LinkJob lives on the starting thread: the signal is queued there
  return true;
}

}  // namespace tw
