// The states of Caps Lock, Num Lock and Scroll Lock, for the status bar's
// indicators. Read from the X keyboard extension when the program runs on X11;
// elsewhere the indicators stay off.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>
#include <functional>

namespace panora {

struct KeyLockState {
  bool caps = false;
  bool num = false;
  bool scroll = false;
  bool operator==(const KeyLockState&) const = default;
};

// False when the states cannot be read on this platform.
bool QueryKeyLocks(KeyLockState& state);

// Follows the lock keys. Under X the keyboard extension reports every change
// of an indicator to each client that asks, whichever program has the focus:
// the watcher asks, and reads the states again when a report arrives, so an
// idle program is not woken. Where the states can be read but no report
// comes, it reads them again on the program's own lock-key presses and when
// it is activated, and looks four times a second for changes made
// elsewhere. Where they cannot be read, it does nothing.
class CKeyLockWatcher : public QObject, public QAbstractNativeEventFilter {
 public:
  enum class Mode { Unavailable, Events, Polling };
  static constexpr int kPollMs = 250;

  // Needs a QGuiApplication. onChange runs on the user-interface thread with
  // the new states, once at the start and then on every change.
  explicit CKeyLockWatcher(std::function<void(const KeyLockState&)> onChange, QObject* parent = nullptr);
  ~CKeyLockWatcher() override;

  Mode GetMode() const { return m_mode; }
  const KeyLockState& State() const { return m_state; }
  bool IsPolling() const { return m_poll.isActive(); }
  // Reads the states now; onChange runs when they differ from the last ones.
  void Refresh();
  // No more reports, no more polling (the frame is ending).
  void Stop();

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool SelectIndicatorReports();

  std::function<void(const KeyLockState&)> m_onChange;
  Mode m_mode = Mode::Unavailable;
  KeyLockState m_state;
  QTimer m_poll;
  int m_xkbEventBase = -1;
  bool m_filtering = false;
};

}  // namespace panora
