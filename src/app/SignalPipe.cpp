#include "app/SignalPipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace panora {
namespace {

int g_pipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int sig) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(sig);
  [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

bool InstallTerminationPipe() {
  if (g_pipe[0] >= 0) return true;
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction sa {};
  sa.sa_handler = OnTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  if (sigaction(SIGTERM, &sa, nullptr) != 0 || sigaction(SIGINT, &sa, nullptr) != 0) return false;
  // A hang-up (the terminal or the login session going away) ends the program
  // the same way, unless whoever started us asked to ignore it (nohup).
  struct sigaction old {};
  if (sigaction(SIGHUP, nullptr, &old) != 0) return false;
  return old.sa_handler == SIG_IGN || sigaction(SIGHUP, &sa, nullptr) == 0;
}

CSignalWatcher::CSignalWatcher(QObject* parent) : QObject(parent) {
  if (g_pipe[0] < 0) return;
  m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &CSignalWatcher::OnReadable);
}

void CSignalWatcher::OnReadable() {
  unsigned char byte = 0;
  int last = 0;
  while (read(g_pipe[0], &byte, 1) == 1) last = byte;
  if (last == 0) return;
  // Once the orderly end has begun, another signal should not wait for it.
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  struct sigaction hup {};
  if (sigaction(SIGHUP, nullptr, &hup) == 0 && hup.sa_handler == OnTerminationSignal) signal(SIGHUP, SIG_DFL);
  emit terminationRequested(last);
}

}  // namespace panora
