// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An AvahiPoll that runs the Avahi client's watches and time-outs on the Qt event loop of the
// thread that made it: a watch is a pair of socket notifiers, a time-out a single-shot timer.
struct AvahiPoll;

namespace tw::discovery {

// The poll for the calling thread's event loop. It lives as long as the program.
const AvahiPoll* QtEventLoopPoll();

}  // namespace tw::discovery
