// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkState.h"

#include <utility>

namespace tw {

FdChannelPtr LinkState::Serial() const {
  std::lock_guard lock(mutex_);
  return serial_;
}

FdChannelPtr LinkState::Parallel() const {
  std::lock_guard lock(mutex_);
  return parallel_;
}

void LinkState::SetSerial(FdChannelPtr channel) {
  FdChannelPtr old;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(serial_, std::move(channel));
  }
  if (old) old->Cancel();
}

void LinkState::SetParallel(FdChannelPtr channel) {
  FdChannelPtr old;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(parallel_, std::move(channel));
  }
  if (old) old->Cancel();
}

std::string LinkState::Get(Text which) const {
  std::lock_guard lock(mutex_);
  return texts_[static_cast<int>(which)];
}

void LinkState::Set(Text which, std::string value) {
  std::lock_guard lock(mutex_);
  texts_[static_cast<int>(which)] = std::move(value);
}

ListPositions LinkState::Positions() const {
  std::lock_guard lock(mutex_);
  return positions_;
}

void LinkState::SetPositions(const ListPositions& positions) {
  std::lock_guard lock(mutex_);
  positions_ = positions;
}

DeviceLibraries LinkState::Libraries() const {
  std::lock_guard lock(mutex_);
  return libraries_;
}

void LinkState::SetLibraries(DeviceLibraries libraries) {
  std::lock_guard lock(mutex_);
  libraries_ = std::move(libraries);
}

LinkState& Link() {
  static LinkState link;
  return link;
}

}  // namespace tw
