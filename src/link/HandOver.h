// How worker threads reach the user-interface thread. Workers never touch
// windows: they hand a call over, synchronously ("sent": the worker waits
// until the user-interface thread has run it) or queued ("posted").
//
// A synchronous hand-over can always be abandoned through a cancel flag, so
// that an owner that stops and joins its worker on the user-interface thread
// never deadlocks against a worker waiting for that same thread. The call
// owns everything it captures: once abandoned it is either skipped or, when
// it has already begun, finishes on its own copies.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace panora {

// Private messages of the main frame, numbered from the first user message.
enum MainFrameMsg : int {
  kMsgReplyTimeout = 2,    // sent: an answer did not come in time (ignored)
  kMsgDeviceData = 3,      // sent: a block of received bytes
  kMsgBatchDone = 4,       // posted: a worker batch ended
  kMsgPositionAnswer = 5,  // sent: the position query ended
  kMsgNetResult = 6,       // sent: a network connect attempt ended
  kMsgUnused = 7,          // ignored
  kMsgRedraw = 8,          // posted: redraw the channel window frames
};

class HandOver {
 public:
  virtual ~HandOver() = default;

  // Runs fn on the user-interface thread and waits until it has run. Runs it
  // at once when called on that thread. Returns false without waiting further
  // when *cancel becomes true, or when the hand-over is closed.
  bool Send(std::function<void()> fn, const std::atomic<bool>* cancel = nullptr);

  // Queues fn for the user-interface thread; dropped once closed.
  void Post(std::function<void()> fn);

  // Wakes every waiting Send (they return false) and refuses new ones. Called
  // by the owner before it joins threads at shut-down.
  void Close();
  bool IsClosed() const { return m_closed.load(); }
  // True on the user-interface thread.
  bool IsUiThread() const { return OnUiThread(); }

  // Wakes the Sends of one owner that just raised its cancel flag.
  void WakeWaiters();

 protected:
  // Queues a call for the user-interface thread's event loop.
  virtual void Dispatch(std::function<void()> call) = 0;
  virtual bool OnUiThread() const = 0;

 private:
  struct Call;
  std::atomic<bool> m_closed{false};
  std::mutex m_mutex;
  std::condition_variable m_cv;
};

}  // namespace panora
