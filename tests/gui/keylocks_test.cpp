// The lock-key indicators under a real X server (Xvfb, started here): they
// follow the keyboard extension's reports, and nothing polls.
#include "ui/KeyLocks.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

using panora::CKeyLockWatcher;
using panora::KeyLockState;

pid_t g_xvfb = -1;

// Starts Xvfb on a free display; returns ":N", or empty.
std::string StartXvfb() {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  g_xvfb = ::fork();
  if (g_xvfb == 0) {
    ::close(fds[0]);
    const std::string fd = std::to_string(fds[1]);
    const int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, 1);
    ::dup2(devNull, 2);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string number;
  for (;;) {
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    if (::poll(&p, 1, 10000) <= 0 || ::read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  return number.empty() ? std::string() : ":" + number;
}

// Locks or unlocks Caps Lock from a client of its own, as a key press in
// another program would.
bool SetCapsLock(bool on) {
  void* lib = dlopen("libX11.so.6", RTLD_LAZY);
  if (lib == nullptr) return false;
  auto open = reinterpret_cast<void* (*)(const char*)>(dlsym(lib, "XOpenDisplay"));
  auto lock = reinterpret_cast<int (*)(void*, unsigned, unsigned, unsigned)>(dlsym(lib, "XkbLockModifiers"));
  auto sync = reinterpret_cast<int (*)(void*, int)>(dlsym(lib, "XSync"));
  auto close = reinterpret_cast<int (*)(void*)>(dlsym(lib, "XCloseDisplay"));
  void* display = open != nullptr ? open(nullptr) : nullptr;
  if (display == nullptr || lock == nullptr || sync == nullptr || close == nullptr) return false;
  constexpr unsigned kUseCoreKbd = 0x0100, kLockMask = 1u << 1;
  lock(display, kUseCoreKbd, kLockMask, on ? kLockMask : 0);
  sync(display, 0);
  close(display);
  return true;
}

bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

TEST(KeyLocks, FollowTheServersReportsWithoutPolling) {
  if (g_xvfb <= 0) GTEST_SKIP() << "no Xvfb";
  int calls = 0;
  KeyLockState last;
  CKeyLockWatcher watcher([&](const KeyLockState& s) {
    ++calls;
    last = s;
  });
  ASSERT_EQ(watcher.GetMode(), CKeyLockWatcher::Mode::Events);
  EXPECT_FALSE(watcher.IsPolling());
  EXPECT_EQ(calls, 1);  // the states at the start
  EXPECT_FALSE(last.caps);

  ASSERT_TRUE(SetCapsLock(true));
  EXPECT_TRUE(WaitFor([&] { return last.caps; }));
  EXPECT_EQ(calls, 2);
  ASSERT_TRUE(SetCapsLock(false));
  EXPECT_TRUE(WaitFor([&] { return !last.caps; }));
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(watcher.IsPolling());

  // Once stopped, no report reaches it any more.
  watcher.Stop();
  ASSERT_TRUE(SetCapsLock(true));
  WaitFor([] { return false; }, 300);
  EXPECT_EQ(calls, 3);
  SetCapsLock(false);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
#ifdef GTEST_FLAG_GET
  const bool listing = GTEST_FLAG_GET(list_tests);
#else
  const bool listing = ::testing::GTEST_FLAG(list_tests);
#endif
  if (listing) return RUN_ALL_TESTS();
  const std::string display = StartXvfb();
  if (display.empty()) {
    if (g_xvfb > 0) {
      ::kill(g_xvfb, SIGKILL);
      ::waitpid(g_xvfb, nullptr, 0);
    }
    g_xvfb = -1;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  } else {
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  int rc = 0;
  {
    QApplication app(argc, argv);
    rc = RUN_ALL_TESTS();
  }
  if (g_xvfb > 0) {
    ::kill(g_xvfb, SIGTERM);
    ::waitpid(g_xvfb, nullptr, 0);
  }
  return rc;
}
