#include "ui/KeyLocks.h"

#include <dlfcn.h>

#include <QGuiApplication>

namespace panora {
namespace {

// XkbGetIndicatorState from libX11, looked up at run time so that the program
// needs no X development files and still runs where there is no X11.
using GetIndicatorStateFn = int (*)(void* display, unsigned int device, unsigned int* state);
constexpr unsigned int kUseCoreKbd = 0x0100;

GetIndicatorStateFn LookUp() {
  static GetIndicatorStateFn fn = [] {
    void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (lib == nullptr) lib = dlopen("libX11.so.6", RTLD_LAZY);
    return lib != nullptr ? reinterpret_cast<GetIndicatorStateFn>(dlsym(lib, "XkbGetIndicatorState"))
                          : nullptr;
  }();
  return fn;
}

}  // namespace

bool QueryKeyLocks(KeyLockState& state) {
#if QT_CONFIG(xcb)
  auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr || x11->display() == nullptr) return false;
  GetIndicatorStateFn fn = LookUp();
  unsigned int bits = 0;
  if (fn == nullptr || fn(x11->display(), kUseCoreKbd, &bits) != 0) return false;
  // The usual keymaps put Caps Lock, Num Lock and Scroll Lock on the first three indicators.
  state.caps = (bits & 1u) != 0;
  state.num = (bits & 2u) != 0;
  state.scroll = (bits & 4u) != 0;
  return true;
#else
  (void)state;
  return false;
#endif
}

}  // namespace panora
