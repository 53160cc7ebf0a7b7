#include "sim/engine/PtyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sim/engine/Posix.h"
#include "sim/engine/ServerOptions.h"
#include "sim/engine/Session.h"
#include "sim/engine/SimLog.h"
#include "sim/engine/StopSignal.h"

namespace panora::sim {

PtyLine::PtyLine(const ServingContext& context) : m_ctx(context), m_path(context.options.ptyPath) {}

PtyLine::~PtyLine() {
  Close();
}

std::string PtyLine::SlaveName() const {
  std::lock_guard lock(m_nameMutex);
  return m_slaveName;
}

bool PtyLine::Open(std::string& error) {
  int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = ErrnoText("posix_openpt");
    return false;
  }
  char name[128] = {};
  if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
    error = ErrnoText("pty set-up");
    ::close(fd);
    return false;
  }
  // Raw 115200 8N1 like the processor's port; on Linux the master's termios
  // calls act on the slave side.
  termios tio{};
  if (::tcgetattr(fd, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    tio.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &tio);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  // The line held open by us and its watch (see Run), from before anyone
  // can find the line, so that every client's open is counted.
  int own = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  int watch = own >= 0 ? ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC) : -1;
  if (watch >= 0 && ::inotify_add_watch(watch, name, IN_OPEN | IN_CLOSE) < 0) CloseFd(watch);
  auto failed = [&](std::string why) {
    error = std::move(why);
    CloseFd(watch);
    CloseFd(own);
    ::close(fd);
    return false;
  };

  // Never replace a real file; a symlink (ours, or left by a crash) is fine.
  struct stat st {};
  if (::lstat(m_path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    return failed(m_path + " exists and is not a symlink");
  }
  const std::string tmp = m_path + ".new";
  ::unlink(tmp.c_str());
  if (::symlink(name, tmp.c_str()) != 0 || ::rename(tmp.c_str(), m_path.c_str()) != 0) {
    const std::string why = ErrnoText("cannot make the symlink " + m_path);
    ::unlink(tmp.c_str());
    return failed(why);
  }
  m_symlinkMade = true;
  CloseFd(m_watchFd);
  CloseFd(m_ownFd);
  CloseFd(m_masterFd);
  m_masterFd = fd;
  m_ownFd = own;
  m_watchFd = watch;
  std::lock_guard lock(m_nameMutex);
  m_slaveName = name;
  return true;
}

void PtyLine::Close() {
  CloseFd(m_watchFd);
  CloseFd(m_ownFd);
  CloseFd(m_masterFd);
  if (m_symlinkMade) {
    // Only our own link: another simulator may have taken the path since.
    char target[256] = {};
    const ssize_t len = ::readlink(m_path.c_str(), target, sizeof target - 1);
    if (len > 0 && std::string(target, static_cast<std::size_t>(len)) == SlaveName())
      ::unlink(m_path.c_str());
    m_symlinkMade = false;
  }
}

void PtyLine::Run() {
  NameThread("sim-pty");
  Session session(m_ctx, m_masterFd, false, "pty");
  bool active = false;  // someone has written since the last hang-up
  // While no client has the slave open, the master reports a hang-up without
  // end, so a poll on it would return at once. So the line is held open by
  // us all the time (m_ownFd), and clients coming and going are counted by
  // the opens and closes of the slave device (m_watchFd, inotify). Where that
  // cannot be watched, the line is held only while idle and let go at a
  // client's first bytes, so that its close shows as the master's hang-up.
  int& own = m_ownFd;
  int& watch = m_watchFd;
  int clients = 0;  // opens of the slave, not counting ours, less closes
  auto holdLine = [&] {
    if (own < 0) own = ::open(SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  };
  auto releaseLine = [&] {
    CloseFd(watch);
    CloseFd(own);
  };
  auto hangUp = [&] {
    if (active) {
      session.FlushSkips();
      m_ctx.log.Line("hang-up pty");
    }
    holdLine();
    if (own >= 0) {
      // Answers nobody read wait in the slave's input queue; flushing the
      // master does not reach them, so flush through the slave itself. Only
      // that queue: the next client may already have opened the line and
      // written, and its bytes wait in the master's queue.
      ::tcflush(own, TCIFLUSH);
      // A client's TIOCEXCL outlives its close on a pty (not on a real
      // port): cleared, or nobody but root could open the line again.
      ::ioctl(own, TIOCNXCL);
    }
    active = false;
    session.Reset(m_masterFd);
  };
  // Reads the watch's reports; the last client's close is a hang-up, taken
  // at once, in order: a client opening right after must not lose its answer
  // to the clean-up for this one.
  auto countClients = [&] {
    alignas(inotify_event) char buf[4096];
    for (;;) {
      const ssize_t n = ::read(watch, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
        if (ev->mask & IN_OPEN) {
          ++clients;
        } else if ((ev->mask & IN_CLOSE) && clients > 0 && --clients == 0) {
          hangUp();
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      }
    }
  };
  auto drop = [&] {
    // A dropped line: a fresh pty, so the client's descriptor fails and it
    // must open the path again, as after a cable pull. Closing the master
    // discards what the client has not read, so first let it take the last
    // answer (as TCP would deliver it). The bytes reach the slave's queue
    // asynchronously: an empty queue counts only after a short grace; the
    // client hanging up ends the wait at once.
    releaseLine();
    for (int waited = 0; waited < 500 && m_ctx.stop.Pause(5); waited += 5) {
      pollfd m{m_masterFd, POLLIN, 0};
      if (::poll(&m, 1, 0) > 0 && (m.revents & POLLHUP)) break;
      int unread = -1;
      const int slave = ::open(SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (slave >= 0) {
        ::ioctl(slave, FIONREAD, &unread);
        ::close(slave);
      }
      if (unread <= 0 && waited >= 100) break;
    }
    std::string why;
    if (!Open(why)) {
      m_ctx.log.Line("cannot reopen the pty: " + why);
      return false;
    }
    session.Reset(m_masterFd);
    active = false;
    clients = 0;
    m_ctx.log.Line("dropped pty; now " + m_path + " -> " + SlaveName());
    return true;
  };

  while (!m_ctx.stop.Raised()) {
    const int timeout = session.WaitMs();
    pollfd fds[3] = {{m_masterFd, POLLIN, 0}, {m_ctx.stop.Fd(), POLLIN, 0}, {watch, POLLIN, 0}};
    const int rc = ::poll(fds, 3, timeout);
    if (rc < 0) {
      if (errno == EINTR) continue;
      m_ctx.log.Line("poll failed: " + std::string(std::strerror(errno)));
      break;
    }
    if (fds[1].revents) break;
    // Comings and goings first: they happened before any bytes now waiting.
    if (watch >= 0 && (fds[2].revents & POLLIN)) countClients();
    if (rc == 0) {
      if (!session.OnSilence() && (m_ctx.stop.Raised() || !drop())) break;
      continue;
    }
    if (fds[0].revents & POLLIN) {
      std::uint8_t buf[1024];
      const ssize_t n = ::read(m_masterFd, buf, sizeof buf);
      if (n > 0) {
        if (!active) m_ctx.log.Line("connect pty");
        active = true;
        if (watch < 0) releaseLine();
        if (!session.OnBytes(buf, static_cast<std::size_t>(n)) && (m_ctx.stop.Raised() || !drop())) break;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLIN)) {
      hangUp();
      // The line cannot be held: fall back to looking now and then.
      if (own < 0 && !m_ctx.stop.Pause(20)) break;
    }
  }
}

}  // namespace panora::sim
