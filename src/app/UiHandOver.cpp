#include "app/UiHandOver.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace panora {

CUiHandOver::CUiHandOver(QObject* target) : m_target(target) {
  m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wake < 0) {
    // Without it no worker could ever reach the windows.
    std::perror("panora: eventfd");
    std::abort();
  }
  m_notifier = std::make_unique<QSocketNotifier>(m_wake, QSocketNotifier::Read);
  QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { RunQueued(); });
}

CUiHandOver::~CUiHandOver() {
  m_notifier.reset();  // before its descriptor closes
  ::close(m_wake);
}

void CUiHandOver::Dispatch(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.push_back(std::move(call));
  }
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
