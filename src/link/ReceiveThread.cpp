// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ReceiveThread.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "link/WaitInterrupt.h"

namespace tw {
namespace {

std::atomic<bool> g_run{false};
std::mutex g_threadMutex;  // guards g_thread: Start, Join and the process's end
std::thread g_thread;
std::mutex g_interruptMutex;          // guards g_interrupt
WaitInterrupt* g_interrupt = nullptr;  // the running thread's, while its body runs

// Joins the thread when the process ends, so that it never outlives what it uses.
struct JoinAtExit {
  ~JoinAtExit() {
    g_run = false;
    Receive_Thread::Join();
  }
} g_joinAtExit;

}  // namespace

void Receive_Thread::Execute(ChunkSink sink) {
  // Stop raises this: a round that is waiting for data or pausing ends at once. A round that has
  // already read bytes still hands them on; bytes not yet read stay for the next reader.
  WaitInterrupt interrupt;
  WaitInterrupt::Scope scope(interrupt);
  {
    std::lock_guard lock(g_interruptMutex);
    g_interrupt = &interrupt;
  }
  if (!g_run) interrupt.Raise();  // stopped before the interrupt could be raised by Stop
  while (g_run) {
    PauseUnlessInterrupted(pace::kReceiveRound);
    Reply chunk = ReadAvailable();
    if (!chunk.text.empty() && sink) sink(chunk.text);
    // A device that went away answers every read at once: the rounds end here, not in a spin, and
    // the run flag is cleared so that the next start (after a new connect) starts a new thread.
    if (chunk.text.empty() && PortWentAway()) {
      g_run = false;
      break;
    }
  }
  std::lock_guard lock(g_interruptMutex);
  g_interrupt = nullptr;
}

void Receive_Thread::Start(ChunkSink sink) {
  if (g_run) return;
  Join();
  g_run = true;
  Pause(pace::kReceiveStart);
  std::lock_guard lock(g_threadMutex);
  g_thread = std::thread(&Receive_Thread::Execute, std::move(sink));
}

void Receive_Thread::Stop() {
  g_run = false;
  std::lock_guard lock(g_interruptMutex);
  if (!g_interrupt) return;
  g_interrupt->Raise();
  // A USB device read waits inside the library: cancel the transfer in flight.
  LinkState& link = Link();
  if (link.currentKind == PortKind::UsbDevice) {
    if (auto usb = link.Libraries().usbDevice) usb->CancelRead(link.usbHandle);
  }
}

bool Receive_Thread::Running() { return g_run; }

void Receive_Thread::Join() {
  std::lock_guard lock(g_threadMutex);
  if (g_thread.joinable()) g_thread.join();
}

}  // namespace tw
