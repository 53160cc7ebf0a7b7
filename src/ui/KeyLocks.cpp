#include "ui/KeyLocks.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>

namespace panora {
namespace {

// libX11's keyboard-extension calls, looked up at run time so that the
// program needs no X development files and still runs where there is no X11.
using GetIndicatorStateFn = int (*)(void* display, unsigned int device, unsigned int* state);
using QueryExtensionFn = int (*)(void* display, int* opcode, int* eventBase, int* errorBase, int* major,
                                 int* minor);
using SelectEventsFn = int (*)(void* display, unsigned int device, unsigned long affect,
                               unsigned long values);
using FlushFn = int (*)(void* display);
constexpr unsigned int kUseCoreKbd = 0x0100;
constexpr unsigned long kIndicatorStateNotifyMask = 1ul << 4;
constexpr unsigned char kIndicatorStateNotify = 4;

void* X11() {
  static void* lib = [] {
    void* l = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    return l != nullptr ? l : dlopen("libX11.so.6", RTLD_LAZY);
  }();
  return lib;
}

template <typename Fn>
Fn LookUp(const char* name) {
  void* lib = X11();
  return lib != nullptr ? reinterpret_cast<Fn>(dlsym(lib, name)) : nullptr;
}

void* Display() {
#if QT_CONFIG(xcb)
  auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 != nullptr ? x11->display() : nullptr;
#else
  return nullptr;
#endif
}

}  // namespace

bool QueryKeyLocks(KeyLockState& state) {
  void* display = Display();
  static const auto fn = LookUp<GetIndicatorStateFn>("XkbGetIndicatorState");
  unsigned int bits = 0;
  if (display == nullptr || fn == nullptr || fn(display, kUseCoreKbd, &bits) != 0) return false;
  // The usual keymaps put Caps Lock, Num Lock and Scroll Lock on the first three indicators.
  state.caps = (bits & 1u) != 0;
  state.num = (bits & 2u) != 0;
  state.scroll = (bits & 4u) != 0;
  return true;
}

CKeyLockWatcher::CKeyLockWatcher(std::function<void(const KeyLockState&)> onChange, QObject* parent)
    : QObject(parent), m_onChange(std::move(onChange)) {
  KeyLockState s;
  if (!QueryKeyLocks(s)) return;  // the indicators stay off
  m_state = s;
  m_filtering = true;
  qApp->installEventFilter(this);
  if (SelectIndicatorReports()) {
    QCoreApplication::instance()->installNativeEventFilter(this);
    m_mode = Mode::Events;
  } else {
    m_mode = Mode::Polling;
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &CKeyLockWatcher::Refresh);
    m_poll.start();
  }
  if (m_onChange) m_onChange(m_state);
}

CKeyLockWatcher::~CKeyLockWatcher() {
  Stop();
}

bool CKeyLockWatcher::SelectIndicatorReports() {
  void* display = Display();
  static const auto query = LookUp<QueryExtensionFn>("XkbQueryExtension");
  static const auto select = LookUp<SelectEventsFn>("XkbSelectEvents");
  static const auto flush = LookUp<FlushFn>("XFlush");
  if (display == nullptr || query == nullptr || select == nullptr || flush == nullptr) return false;
  int opcode = 0, eventBase = 0, errorBase = 0, major = 1, minor = 0;
  if (!query(display, &opcode, &eventBase, &errorBase, &major, &minor)) return false;
  // Adds indicator reports to what the toolkit itself selected; its own
  // keyboard reports are of other kinds and stay as they are.
  if (!select(display, kUseCoreKbd, kIndicatorStateNotifyMask, kIndicatorStateNotifyMask)) return false;
  flush(display);
  m_xkbEventBase = eventBase;
  return true;
}

void CKeyLockWatcher::Refresh() {
  KeyLockState s;
  if (!QueryKeyLocks(s) || s == m_state) return;
  m_state = s;
  if (m_onChange) m_onChange(m_state);
}

void CKeyLockWatcher::Stop() {
  m_poll.stop();
  if (!m_filtering) return;
  m_filtering = false;
  if (QCoreApplication* app = QCoreApplication::instance()) {
    app->removeEventFilter(this);
    app->removeNativeEventFilter(this);
  }
}

bool CKeyLockWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (m_xkbEventBase < 0 || message == nullptr || eventType != "xcb_generic_event_t") return false;
  // Every keyboard-extension event has the extension's event number in its
  // first byte and its own kind in the second.
  const auto* bytes = static_cast<const unsigned char*>(message);
  if ((bytes[0] & 0x7f) == m_xkbEventBase && bytes[1] == kIndicatorStateNotify) {
    // After the toolkit has seen the event too.
    QMetaObject::invokeMethod(this, &CKeyLockWatcher::Refresh, Qt::QueuedConnection);
  }
  return false;
}

bool CKeyLockWatcher::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock) Refresh();
      break;
    }
    case QEvent::ApplicationActivate: Refresh(); break;
    default: break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace panora
