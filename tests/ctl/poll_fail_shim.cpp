// Preloaded into panora-ctl by a test: the first poll that waits for a
// socket to become writable (the pending connect) fails with ENOMEM.
// <poll.h> is left out: its declaration of poll does not fit a wrapper.
#include <dlfcn.h>

#include <atomic>
#include <cerrno>

namespace {
struct PollFd {
  int fd;
  short events;
  short revents;
};
constexpr short kPollOut = 0x004;
}  // namespace

extern "C" int poll(PollFd* fds, unsigned long nfds, int timeout) {
  static std::atomic<bool> failed{false};
  if (nfds == 1 && fds[0].events == kPollOut && !failed.exchange(true)) {
    errno = ENOMEM;
    return -1;
  }
  using PollFn = int (*)(PollFd*, unsigned long, int);
  static const auto real = reinterpret_cast<PollFn>(dlsym(RTLD_NEXT, "poll"));
  return real(fds, nfds, timeout);
}
