// An auto-reset event: Set wakes one waiter (or the next Wait) and resets.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace panora {

class AutoResetEvent {
 public:
  void Set() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_signalled = true;
    }
    m_cv.notify_one();
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = false;
  }
  // True when signalled within the time-out; the event is then reset.
  bool Wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cv.wait_for(lock, timeout, [this] { return m_signalled; })) return false;
    m_signalled = false;
    return true;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_signalled = false;
};

}  // namespace panora
