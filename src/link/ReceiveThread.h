// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The background receive thread: while its run flag is set it polls the open port every round and
// hands each chunk that arrived to a sink (the main window, which inserts it in its own thread).
// Only one runs at a time: a new one starts only after the previous one has ended. Windows that read
// replies themselves stop it first and start it again afterwards.
#include <functional>
#include <string>

#include "core/Pacing.h"

namespace tw {

namespace pace {
inline constexpr PaceStep kReceiveRound{"receive thread round", 100};
inline constexpr PaceStep kReceiveStart{"wait before starting the receive thread", 200};
}  // namespace pace

class Receive_Thread {
 public:
  // Called on the receive thread with each non-empty chunk, in arrival order.
  using ChunkSink = std::function<void(const std::string& chunk)>;

  // If the run flag is clear: wait for the previous thread to end, set the flag, wait 200 ms and
  // start a new thread that hands its chunks to `sink`.
  static void Start(ChunkSink sink);
  // Clears the run flag and interrupts the thread's current wait: it ends at once, after handing on
  // what its round has already read.
  static void Stop();
  // The run flag.
  static bool Running();
  // Waits until the thread (if any) has ended.
  static void Join();

 private:
  static void Execute(ChunkSink sink);
};

}  // namespace tw
