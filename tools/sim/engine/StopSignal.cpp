#include "sim/engine/StopSignal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "sim/engine/Posix.h"

namespace panora::sim {

bool StopSignal::Open(std::string& error) {
  m_raised = false;
  Close();
  if (::pipe2(m_pipe, O_CLOEXEC) == 0) return true;
  error = ErrnoText("pipe");
  return false;
}

void StopSignal::Raise() {
  m_raised = true;
  const char byte = 1;
  [[maybe_unused]] auto n = ::write(m_pipe[1], &byte, 1);
}

void StopSignal::Close() {
  CloseFd(m_pipe[0]);
  CloseFd(m_pipe[1]);
}

bool StopSignal::Pause(int ms) const {
  if (m_raised) return false;
  pollfd p{m_pipe[0], POLLIN, 0};
  return ::poll(&p, 1, ms) == 0;
}

}  // namespace panora::sim
