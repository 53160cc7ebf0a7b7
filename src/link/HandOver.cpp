#include "link/HandOver.h"

#include <chrono>

namespace panora {

struct HandOver::Call {
  std::function<void()> fn;
  bool started = false;
  bool done = false;
  bool abandoned = false;
};

bool HandOver::Send(std::function<void()> fn, const std::atomic<bool>* cancel) {
  if (m_closed.load() || (cancel != nullptr && cancel->load())) return false;
  if (OnUiThread()) {
    fn();
    return true;
  }
  auto call = std::make_shared<Call>();
  call->fn = std::move(fn);
  Dispatch([this, call] {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (call->abandoned) return;
      call->started = true;
    }
    call->fn();
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      call->done = true;
    }
    m_cv.notify_all();
  });
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!call->done) {
    if (m_closed.load() || (cancel != nullptr && cancel->load())) {
      call->abandoned = true;  // skipped if not begun; else it ends on its own copies
      return false;
    }
    // The timed wait only backs up WakeWaiters for a cancel flag raised
    // without it; normally a notify ends the wait.
    m_cv.wait_for(lock, std::chrono::milliseconds(20));
  }
  return true;
}

void HandOver::Post(std::function<void()> fn) {
  if (m_closed.load()) return;
  Dispatch([this, fn = std::move(fn)] {
    if (!m_closed.load()) fn();
  });
}

void HandOver::Close() {
  m_closed.store(true);
  WakeWaiters();
}

void HandOver::WakeWaiters() {
  { std::lock_guard<std::mutex> lock(m_mutex); }
  m_cv.notify_all();
}

}  // namespace panora
