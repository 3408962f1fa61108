// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkTraffic.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace tw {
namespace {

std::mutex g_mutex;
std::shared_ptr<const TrafficObserver> g_observer;
std::atomic<bool> g_listening{false};  // spares every read and write the lock while nobody listens

}  // namespace

void SetTrafficObserver(TrafficObserver observer) {
  std::lock_guard lock(g_mutex);
  g_observer = observer ? std::make_shared<const TrafficObserver>(std::move(observer)) : nullptr;
  g_listening = g_observer != nullptr;
}

void NoteTraffic(TrafficDirection direction, std::string_view bytes) {
  if (bytes.empty() || !g_listening) return;
  std::shared_ptr<const TrafficObserver> observer;
  {
    std::lock_guard lock(g_mutex);
    observer = g_observer;
  }
  if (observer) (*observer)(direction, bytes);
}

}  // namespace tw
