// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The steps of the exchange running on the calling thread. An exchange reports each request before
// it makes it and learns whether to go on: a job that runs the exchange (src/jobs) watches its
// thread's steps to show progress and to stop a read before its next request, so that no request is
// ever left with its reply unread. On a thread nobody watches, every exchange runs to its end.
namespace tw {

class ExchangeObserver {
 public:
  virtual ~ExchangeObserver() = default;
  // Request `done` of `total` is about to be made (done counts from 0); false: stop before it.
  virtual bool Step(int done, int total) = 0;
};

// True when the exchange on this thread should go on with request `done` of `total`.
bool ExchangeStep(int done, int total);

// Watches the calling thread's exchanges for the life of the object.
class ExchangeObserverScope {
 public:
  explicit ExchangeObserverScope(ExchangeObserver* observer);
  ~ExchangeObserverScope();
  ExchangeObserverScope(const ExchangeObserverScope&) = delete;
  ExchangeObserverScope& operator=(const ExchangeObserverScope&) = delete;

 private:
  ExchangeObserver* previous_;
};

}  // namespace tw
