// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Integer handles for the device layers, each naming a shared object. A call in flight holds its own
// shared_ptr, so a Close from another thread never frees what that call still uses.
#include <map>
#include <memory>
#include <mutex>

namespace tw {

template <typename T>
class HandleTable {
 public:
  explicit HandleTable(int firstHandle) : next_(firstHandle) {}

  int Add(std::shared_ptr<T> item) {
    std::lock_guard lock(mutex_);
    int handle = next_++;
    items_[handle] = std::move(item);
    return handle;
  }
  std::shared_ptr<T> Find(int handle) const {
    std::lock_guard lock(mutex_);
    auto it = items_.find(handle);
    return it == items_.end() ? nullptr : it->second;
  }
  std::shared_ptr<T> Remove(int handle) {
    std::lock_guard lock(mutex_);
    auto it = items_.find(handle);
    if (it == items_.end()) return nullptr;
    auto item = std::move(it->second);
    items_.erase(it);
    return item;
  }

 private:
  mutable std::mutex mutex_;
  std::map<int, std::shared_ptr<T>> items_;
  int next_;
};

}  // namespace tw
