#include "app/UiHandOver.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace panora {

CUiHandOver::CUiHandOver(QObject* target) : m_target(target) {
  m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wake < 0) {
    // Without it no worker could ever reach the windows: closed from the
    // start, so that nobody waits on it, and the program does not start.
    m_strError = std::string("eventfd: ") + std::strerror(errno);
    Close();
    return;
  }
  m_notifier = std::make_unique<QSocketNotifier>(m_wake, QSocketNotifier::Read);
  QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { RunQueued(); });
}

CUiHandOver::~CUiHandOver() {
  m_notifier.reset();  // before its descriptor closes
  if (m_wake >= 0) ::close(m_wake);
}

void CUiHandOver::Dispatch(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.push_back(std::move(call));
  }
  if (m_wake < 0) return;  // never runs: the hand-over is closed
  const std::uint64_t one = 1;
  // The counter only saturates after 2^64 - 2 unread wake-ups: never.
  [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

bool CUiHandOver::OnUiThread() const {
  return QThread::currentThread() == m_target->thread();
}

void CUiHandOver::RunQueued() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(m_wake, &count, sizeof count);
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard<std::mutex> lock(m_queueMutex);
      if (m_queue.empty()) return;
      call = std::move(m_queue.front());
      m_queue.pop_front();
    }
    call();
  }
}

}  // namespace panora
