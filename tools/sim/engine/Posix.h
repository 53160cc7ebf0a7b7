// Small POSIX helpers the simulator's serving units share. Any thread.
#pragma once

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace panora::sim {

// "what: <errno's text>", for error messages and log lines.
inline std::string ErrnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

inline void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Names the calling thread, so that tools (and the tests) can tell them apart.
inline void NameThread(const char* name) {
  ::pthread_setname_np(::pthread_self(), name);
}

}  // namespace panora::sim
