#include "app/FileLimit.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace panora {

namespace {

// How many more descriptors can be opened now (at most `wanted`); -1 with
// errno when none could be made for another reason than the limit.
int OpenableNow(int wanted) {
  std::vector<int> held;
  int first = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (first < 0 && errno != EMFILE && errno != ENFILE) first = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (first < 0) return errno == EMFILE || errno == ENFILE ? 0 : -1;
  held.push_back(first);
  while (static_cast<int>(held.size()) < wanted) {
    const int fd = ::fcntl(first, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) break;
    held.push_back(fd);
  }
  for (int fd : held) ::close(fd);
  return static_cast<int>(held.size());
}

}  // namespace

bool EnsureDescriptors(int needed, std::string& why) {
  int openable = OpenableNow(needed);
  if (openable < 0) {
    why = std::string("cannot open a file to count the free ones: ") + std::strerror(errno);
    return false;
  }
  rlimit lim{};
  if (openable < needed && ::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
    // Only the soft limit stands in the way: raise it as far as needed.
    const rlim_t wanted = lim.rlim_cur + static_cast<rlim_t>(needed - openable);
    lim.rlim_cur = lim.rlim_max == RLIM_INFINITY || wanted < lim.rlim_max ? wanted : lim.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &lim) == 0) openable = std::max(OpenableNow(needed), 0);
  }
  if (openable >= needed) return true;
  ::getrlimit(RLIMIT_NOFILE, &lim);
  why = "too few files may be open at once: Panora needs " + std::to_string(needed) +
        " more descriptors than it has open, and only " + std::to_string(openable) +
        " more can be opened now (the limit is " + std::to_string(lim.rlim_cur) +
        "); raise the limit with ulimit -n";
  return false;
}

}  // namespace panora
