#include "link/ReceiveThread.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "link/Connection.h"
#include "link/DataTransfer.h"

namespace tw {
namespace {

std::atomic<bool> g_run{false};
std::mutex g_threadMutex;  // guards g_thread: Start, Join and the process's end
std::thread g_thread;

// Joins the thread when the process ends, so that it never outlives what it uses.
struct JoinAtExit {
  ~JoinAtExit() {
    g_run = false;
    Receive_Thread::Join();
  }
} g_joinAtExit;

}  // namespace

void Receive_Thread::Execute(ChunkSink sink) {
  while (g_run) {
    Pause(pace::kReceiveRound);
    Reply chunk = ReadAvailable();
    if (!chunk.text.empty() && sink) sink(chunk.text);
    // A device that went away answers every read at once: the rounds end here, not in a spin.
    // The run flag stays set; the next connect, made with the thread paused, starts a new one.
    if (chunk.text.empty() && PortWentAway()) break;
  }
}

void Receive_Thread::Start(ChunkSink sink) {
  if (g_run) return;
  Join();
  g_run = true;
  Pause(pace::kReceiveStart);
  std::lock_guard lock(g_threadMutex);
  g_thread = std::thread(&Receive_Thread::Execute, std::move(sink));
}

void Receive_Thread::Stop() { g_run = false; }

bool Receive_Thread::Running() { return g_run; }

void Receive_Thread::Join() {
  std::lock_guard lock(g_threadMutex);
  if (g_thread.joinable()) g_thread.join();
}

}  // namespace tw
