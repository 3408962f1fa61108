// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/AvahiQtPoll.h"

#include <avahi-common/timeval.h>
#include <avahi-common/watch.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

// Avahi names these structures in its headers and leaves their content to the poll's author.
struct AvahiWatch {
  AvahiWatchCallback callback;
  void* userdata;
  int fd;
  AvahiWatchEvent happened = static_cast<AvahiWatchEvent>(0);
  std::unique_ptr<QSocketNotifier> in, out;

  void Arm(AvahiWatchEvent events) {
    in->setEnabled(events & AVAHI_WATCH_IN);
    out->setEnabled(events & AVAHI_WATCH_OUT);
  }
  void Fire(AvahiWatchEvent event);
};

struct AvahiTimeout {
  AvahiTimeoutCallback callback;
  void* userdata;
  std::unique_ptr<QTimer> timer = std::make_unique<QTimer>();

  void Arm(const struct timeval* when) {
    if (!when) {
      timer->stop();
      return;
    }
    // avahi_age() gives the microseconds since `when`: negative while it lies ahead.
    const AvahiUsec left = -avahi_age(when);
    timer->start(left > 0 ? static_cast<int>((left + 999) / 1000) : 0);
  }
};

namespace {

// Callbacks of Avahi running now. Avahi may free a watch or a time-out from inside its own callback:
// then the notifiers and timers are deleted later by the event loop, never under the signal that
// called them; outside a callback they go at once.
int g_dispatching = 0;

template <typename T>
void DeleteSoon(std::unique_ptr<T> object) {
  if (object && g_dispatching > 0) object.release()->deleteLater();
}

template <typename Call>
void Dispatch(Call call) {
  ++g_dispatching;
  call();
  --g_dispatching;
}

}  // namespace

void AvahiWatch::Fire(AvahiWatchEvent event) {
  happened = event;
  // May free this watch: nothing of it is touched after.
  Dispatch([&] { callback(this, fd, event, userdata); });
}

namespace tw::discovery {
namespace {

AvahiWatch* WatchNew(const AvahiPoll*, int fd, AvahiWatchEvent events, AvahiWatchCallback callback, void* userdata) {
  auto* watch = new AvahiWatch{callback, userdata, fd, {}, {}, {}};
  watch->in = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  watch->out = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
  QObject::connect(watch->in.get(), &QSocketNotifier::activated, [watch] { watch->Fire(AVAHI_WATCH_IN); });
  QObject::connect(watch->out.get(), &QSocketNotifier::activated, [watch] { watch->Fire(AVAHI_WATCH_OUT); });
  watch->Arm(events);
  return watch;
}

void WatchUpdate(AvahiWatch* watch, AvahiWatchEvent events) { watch->Arm(events); }

AvahiWatchEvent WatchGetEvents(AvahiWatch* watch) { return watch->happened; }

void WatchFree(AvahiWatch* watch) {
  watch->in->setEnabled(false);
  watch->out->setEnabled(false);
  QObject::disconnect(watch->in.get(), nullptr, nullptr, nullptr);
  QObject::disconnect(watch->out.get(), nullptr, nullptr, nullptr);
  DeleteSoon(std::move(watch->in));
  DeleteSoon(std::move(watch->out));
  delete watch;
}

AvahiTimeout* TimeoutNew(const AvahiPoll*, const struct timeval* when, AvahiTimeoutCallback callback,
                         void* userdata) {
  auto* timeout = new AvahiTimeout{callback, userdata};
  timeout->timer->setSingleShot(true);
  QObject::connect(timeout->timer.get(), &QTimer::timeout,
                   [timeout] { Dispatch([timeout] { timeout->callback(timeout, timeout->userdata); }); });
  timeout->Arm(when);
  return timeout;
}

void TimeoutUpdate(AvahiTimeout* timeout, const struct timeval* when) { timeout->Arm(when); }

void TimeoutFree(AvahiTimeout* timeout) {
  timeout->timer->stop();
  QObject::disconnect(timeout->timer.get(), nullptr, nullptr, nullptr);
  DeleteSoon(std::move(timeout->timer));
  delete timeout;
}

}  // namespace

const AvahiPoll* QtEventLoopPoll() {
  static const AvahiPoll poll = {nullptr,        WatchNew,   WatchUpdate, WatchGetEvents, WatchFree,
                                 TimeoutNew,     TimeoutUpdate, TimeoutFree};
  return &poll;
}

}  // namespace tw::discovery
