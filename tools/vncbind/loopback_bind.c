// Preloaded into panora by run.sh when it serves the window over VNC. Qt's
// VNC server (as Debian 12 ships it) listens on every address and asks for no
// password, so the window would be open to the whole network. Here a bind to
// the wildcard address becomes a bind to the loopback address; every other
// bind (the embedded simulator's 127.0.0.1, say) goes through unchanged.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

typedef int (*BindFn)(int, const struct sockaddr*, socklen_t);

int bind(int fd, const struct sockaddr* addr, socklen_t len) {
  static BindFn real;
  if (real == NULL) real = (BindFn)dlsym(RTLD_NEXT, "bind");
  if (real == NULL) {
    errno = ENOSYS;
    return -1;
  }
  if (addr != NULL && addr->sa_family == AF_INET && len >= sizeof(struct sockaddr_in)) {
    struct sockaddr_in a;
    memcpy(&a, addr, sizeof a);
    if (a.sin_addr.s_addr == htonl(INADDR_ANY)) {
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      return real(fd, (const struct sockaddr*)&a, sizeof a);
    }
  } else if (addr != NULL && addr->sa_family == AF_INET6 && len >= sizeof(struct sockaddr_in6)) {
    struct sockaddr_in6 a;
    memcpy(&a, addr, sizeof a);
    if (IN6_IS_ADDR_UNSPECIFIED(&a.sin6_addr)) {
      int v6only = 0;
      socklen_t l = sizeof v6only;
      if (getsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, &l) != 0) v6only = 0;
      if (v6only) {
        a.sin6_addr = in6addr_loopback;
      } else {
        // A dual-stack socket: the IPv4-mapped 127.0.0.1 keeps the usual
        // viewer address working.
        static const unsigned char mapped[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0, 1};
        memcpy(&a.sin6_addr, mapped, sizeof mapped);
      }
      return real(fd, (const struct sockaddr*)&a, sizeof a);
    }
  }
  return real(fd, addr, len);
}
