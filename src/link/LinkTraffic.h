// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place that sees every byte the link sends to the printer and receives from it, whatever the
// port kind: the descriptor channels (serial, parallel, USB printer nodes, network) and the USB device
// layer report each piece they move here. A session log listens.
#include <functional>
#include <string_view>

namespace tw {

enum class TrafficDirection { Sent, Received };
using TrafficObserver = std::function<void(TrafficDirection direction, std::string_view bytes)>;

// Replaces the observer (empty: none). It is called on whichever thread moved the bytes, also while
// another thread replaces it; it must not use the link itself.
void SetTrafficObserver(TrafficObserver observer);
// Called by the port layers for each piece of bytes they moved.
void NoteTraffic(TrafficDirection direction, std::string_view bytes);

}  // namespace tw
