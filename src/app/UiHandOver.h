// The hand-over to the user-interface thread of the program: a queue of its
// own, guarded by a plain mutex and woken through an eventfd that the event
// loop watches. Qt's own cross-thread queue synchronises through locks that
// ThreadSanitizer cannot see, so it would report every handed-over call;
// this one it sees whole.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "link/HandOver.h"

class QObject;
class QSocketNotifier;

namespace panora {

class CUiHandOver final : public HandOver {
 public:
  // target: an object of the user-interface thread; calls run on its thread.
  explicit CUiHandOver(QObject* target);
  ~CUiHandOver() override;
  CUiHandOver(const CUiHandOver&) = delete;
  CUiHandOver& operator=(const CUiHandOver&) = delete;

  // False when its wake-up descriptor could not be made (too many files
  // open): it is closed then, and Error() says why.
  bool Ok() const { return m_wake >= 0; }
  const std::string& Error() const { return m_strError; }

 protected:
  void Dispatch(std::function<void()> call) override;
  bool OnUiThread() const override;

 private:
  // On the user-interface thread: runs the queued calls in order. A call may
  // run an event loop of its own, which then goes on with the later ones.
  void RunQueued();

  QObject* m_target;
  int m_wake = -1;
  std::unique_ptr<QSocketNotifier> m_notifier;
  std::string m_strError;
  std::mutex m_queueMutex;
  std::deque<std::function<void()>> m_queue;  // calls not yet begun, oldest first
};

}  // namespace panora
