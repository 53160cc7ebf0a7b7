#include "sim/engine/Server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

#include "link/Frame.h"
#include "link/FrameDecoder.h"

namespace panora::sim {

namespace {

std::string HexBytes(const std::uint8_t* p, std::size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += kDigits[p[i] >> 4];
    s += kDigits[p[i] & 0xF];
  }
  return s;
}

std::string HexBytes(const std::vector<std::uint8_t>& v) {
  return HexBytes(v.data(), v.size());
}

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

// One line per event, with an ISO time in UTC to the millisecond.
class Server::Log {
 public:
  explicit Log(std::FILE* f) : m_file(f) {}
  ~Log() {
    if (m_file) std::fclose(m_file);
  }
  void Line(const std::string& text) {
    if (!m_file) return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    std::lock_guard lock(m_mutex);
    std::fprintf(m_file, "%s.%03dZ %s\n", stamp, static_cast<int>(ms), text.c_str());
    std::fflush(m_file);
  }

 private:
  std::mutex m_mutex;
  std::FILE* m_file;
};

// One connected client (a TCP connection, or whoever has the pty's slave open).
struct Server::Peer {
  int fd = -1;
  bool isSocket = false;
  std::string name;
  FrameDecoder decoder;
  int frames = 0;
  // Bytes of a rejected candidate frame already shown in the log, which the
  // decoder scans again and reports as skipped once more.
  std::size_t shown = 0;
  std::mt19937 rng{std::random_device{}()};

  void Reset() {
    decoder.Reset();
    frames = 0;
    shown = 0;
  }
};

Server::Server(ServerOptions options)
    : m_opt(std::move(options)), m_engine(m_opt.engine), m_log(std::make_unique<Log>(nullptr)) {}

Server::~Server() {
  Stop();
}

std::string Server::PtySlaveName() const {
  std::lock_guard lock(m_ptyMutex);
  return m_slaveName;
}

State Server::GetState() const {
  std::lock_guard lock(m_engineMutex);
  return m_engine.GetState();
}

std::string Server::StateJson() const {
  std::lock_guard lock(m_engineMutex);
  return m_engine.StateJson();
}

bool Server::Start(std::string& error) {
  std::lock_guard stopLock(m_stopMutex);
  if (m_started) {
    error = "already started";
    return false;
  }
  if (!m_opt.useTcp && m_opt.ptyPath.empty()) {
    error = "neither a TCP address nor a pty path to listen on";
    return false;
  }
  m_stopping = false;
  auto fail = [&](std::string why) {
    error = std::move(why);
    CloseFd(m_listenFd);
    CloseFd(m_masterFd);
    CloseFd(m_wake[0]);
    CloseFd(m_wake[1]);
    if (m_symlinkMade) ::unlink(m_opt.ptyPath.c_str());
    m_symlinkMade = false;
    return false;
  };

  if (::pipe2(m_wake, O_CLOEXEC) != 0) return fail(Errno("pipe"));
  if (!m_opt.logPath.empty()) {
    std::FILE* f = std::fopen(m_opt.logPath.c_str(), "ae");
    if (!f) return fail(Errno(("cannot open log " + m_opt.logPath).c_str()));
    m_log = std::make_unique<Log>(f);
  }

  if (m_opt.useTcp) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    const std::string port = std::to_string(m_opt.tcpPort);
    const int rc =
        ::getaddrinfo(m_opt.tcpHost.empty() ? nullptr : m_opt.tcpHost.c_str(), port.c_str(), &hints, &res);
    if (rc != 0) return fail("cannot resolve " + m_opt.tcpHost + ": " + ::gai_strerror(rc));
    std::string why = "no address for " + m_opt.tcpHost;
    for (addrinfo* ai = res; ai; ai = ai->ai_next) {
      int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
      if (fd < 0) {
        why = Errno("socket");
        continue;
      }
      const int one = 1;
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
      if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, 8) != 0) {
        why = Errno(("cannot listen on " + m_opt.tcpHost + ":" + port).c_str());
        ::close(fd);
        continue;
      }
      m_listenFd = fd;
      break;
    }
    ::freeaddrinfo(res);
    if (m_listenFd < 0) return fail(why);
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_tcpPort = addr.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port)
                                           : ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  }

  if (!m_opt.ptyPath.empty()) {
    std::string why;
    if (!OpenPty(why)) return fail(why);
  }

  {
    std::lock_guard lock(m_engineMutex);
    WriteState();
  }
  if (m_listenFd >= 0) {
    m_log->Line("listening on tcp " + m_opt.tcpHost + ":" + std::to_string(m_tcpPort));
    m_tcpThread = std::thread([this] { TcpLoop(); });
  }
  if (m_masterFd >= 0) {
    m_log->Line("listening on pty " + m_opt.ptyPath + " -> " + PtySlaveName());
    m_ptyThread = std::thread([this] { PtyLoop(); });
  }
  m_started = true;
  return true;
}

void Server::Stop() {
  std::lock_guard stopLock(m_stopMutex);
  if (!m_started) return;
  m_stopping = true;
  const char byte = 1;
  // The pipe is never drained, so every later poll on it wakes at once.
  [[maybe_unused]] auto n = ::write(m_wake[1], &byte, 1);
  if (m_tcpThread.joinable()) m_tcpThread.join();
  if (m_ptyThread.joinable()) m_ptyThread.join();
  CloseFd(m_listenFd);
  CloseFd(m_masterFd);
  CloseFd(m_wake[0]);
  CloseFd(m_wake[1]);
  if (m_symlinkMade) {
    // Only our own link: another simulator may have taken the path since.
    char target[256] = {};
    const ssize_t len = ::readlink(m_opt.ptyPath.c_str(), target, sizeof target - 1);
    if (len > 0 && std::string(target, static_cast<std::size_t>(len)) == PtySlaveName()) {
      ::unlink(m_opt.ptyPath.c_str());
    }
    m_symlinkMade = false;
  }
  m_log->Line("stopped");
  m_started = false;
}

bool Server::OpenPty(std::string& error) {
  int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = Errno("posix_openpt");
    return false;
  }
  char name[128] = {};
  if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
    error = Errno("pty set-up");
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

  // Never replace a real file; a symlink (ours, or left by a crash) is fine.
  struct stat st {};
  if (::lstat(m_opt.ptyPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    error = m_opt.ptyPath + " exists and is not a symlink";
    ::close(fd);
    return false;
  }
  const std::string tmp = m_opt.ptyPath + ".new";
  ::unlink(tmp.c_str());
  if (::symlink(name, tmp.c_str()) != 0 || ::rename(tmp.c_str(), m_opt.ptyPath.c_str()) != 0) {
    error = Errno(("cannot make the symlink " + m_opt.ptyPath).c_str());
    ::unlink(tmp.c_str());
    ::close(fd);
    return false;
  }
  m_symlinkMade = true;
  CloseFd(m_masterFd);
  m_masterFd = fd;
  std::lock_guard lock(m_ptyMutex);
  m_slaveName = name;
  return true;
}

bool Server::Pause(int ms) {
  if (m_stopping) return false;
  pollfd p{m_wake[0], POLLIN, 0};
  return ::poll(&p, 1, ms) == 0;
}

void Server::TcpLoop() {
  while (!m_stopping) {
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      m_log->Line("poll failed: " + std::string(std::strerror(errno)));
      return;
    }
    if (fds[1].revents) return;
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    const int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
    if (fd < 0) continue;
    char host[NI_MAXHOST] = "?", serv[NI_MAXSERV] = "?";
    ::getnameinfo(reinterpret_cast<sockaddr*>(&addr), len, host, sizeof host, serv, sizeof serv,
                  NI_NUMERICHOST | NI_NUMERICSERV);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // so --split really arrives in two

    Peer peer;
    peer.fd = fd;
    peer.isSocket = true;
    peer.name = std::string("tcp ") + host + ":" + serv;
    m_log->Line("connect " + peer.name);
    bool open = true;
    while (open && !m_stopping) {
      pollfd cf[2] = {{fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
      if (::poll(cf, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (cf[1].revents) break;
      std::uint8_t buf[1024];
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      open = OnBytes(peer, buf, static_cast<std::size_t>(n));
    }
    for (const auto& ev : peer.decoder.Flush()) {
      m_log->Line("rx skip " + std::string(SkipReasonText(ev.reason)) + ": " + HexBytes(ev.bytes));
    }
    ::close(fd);
    m_log->Line((open || m_stopping ? "disconnect " : "dropped ") + peer.name);
  }
}

void Server::PtyLoop() {
  Peer peer;
  peer.fd = m_masterFd;
  peer.name = "pty";
  bool active = false;  // someone has written since the last hang-up
  auto hangUp = [&] {
    if (active) {
      for (const auto& ev : peer.decoder.Flush()) {
        m_log->Line("rx skip " + std::string(SkipReasonText(ev.reason)) + ": " + HexBytes(ev.bytes));
      }
      m_log->Line("hang-up pty");
      // Answers nobody read wait in the slave's input queue; flushing the
      // master does not reach them, so flush through the slave itself. Only
      // that queue: the next client may already have opened the line and
      // written, and its bytes wait in the master's queue.
      const int slave = ::open(PtySlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (slave >= 0) {
        ::tcflush(slave, TCIFLUSH);
        ::close(slave);
      }
    }
    active = false;
    peer.Reset();
  };

  while (!m_stopping) {
    pollfd fds[2] = {{m_masterFd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      m_log->Line("poll failed: " + std::string(std::strerror(errno)));
      return;
    }
    if (fds[1].revents) return;
    if (fds[0].revents & POLLIN) {
      std::uint8_t buf[1024];
      const ssize_t n = ::read(m_masterFd, buf, sizeof buf);
      if (n > 0) {
        if (!active) m_log->Line("connect pty");
        active = true;
        if (!OnBytes(peer, buf, static_cast<std::size_t>(n))) {
          if (m_stopping) return;
          // A dropped line: a fresh pty, so the client's descriptor fails
          // and it must open the path again, as after a cable pull. Closing
          // the master discards what the client has not read, so first let
          // it take the last answer (as TCP would deliver it). The bytes reach
          // the slave's queue asynchronously: an empty queue counts only
          // after a short grace; the client hanging up ends the wait at once.
          for (int waited = 0; waited < 500 && Pause(5); waited += 5) {
            pollfd m{m_masterFd, POLLIN, 0};
            if (::poll(&m, 1, 0) > 0 && (m.revents & POLLHUP)) break;
            int unread = -1;
            const int slave = ::open(PtySlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (slave >= 0) {
              ::ioctl(slave, FIONREAD, &unread);
              ::close(slave);
            }
            if (unread <= 0 && waited >= 100) break;
          }
          std::string why;
          if (!OpenPty(why)) {
            m_log->Line("cannot reopen the pty: " + why);
            return;
          }
          peer.fd = m_masterFd;
          peer.Reset();
          active = false;
          m_log->Line("dropped pty; now " + m_opt.ptyPath + " -> " + PtySlaveName());
        }
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLIN)) {
      // Nobody has the slave open: the master reports a hang-up until someone
      // does, so wait a little instead of spinning.
      hangUp();
      if (!Pause(20)) return;
    }
  }
}

bool Server::OnBytes(Peer& peer, const std::uint8_t* data, std::size_t count) {
  for (const auto& ev : peer.decoder.Feed(data, count)) {
    if (!ev.isFrame) {
      const std::string reason(SkipReasonText(ev.reason));
      if (!ev.candidate.empty()) {
        m_log->Line("rx skip " + reason + ": " + HexBytes(ev.candidate));
        peer.shown = ev.candidate.size() - ev.bytes.size();
        continue;
      }
      // Skip only what the rejected candidate above did not already show.
      const std::size_t covered = std::min(peer.shown, ev.bytes.size());
      peer.shown -= covered;
      if (covered < ev.bytes.size()) {
        m_log->Line("rx skip " + reason + ": " +
                    HexBytes(ev.bytes.data() + covered, ev.bytes.size() - covered));
      }
      continue;
    }
    peer.shown = 0;
    m_log->Line("rx " + HexBytes(ev.bytes));
    Outcome outcome;
    {
      std::lock_guard lock(m_engineMutex);
      outcome = m_engine.Process(ev.bytes);
      if (outcome.changed) WriteState();
    }
    if (!outcome.problem.empty()) m_log->Line("not applied: " + outcome.problem);
    ++peer.frames;
    if (!m_opt.silent) Answer(peer, outcome.answer);
    if (m_opt.dropAfter > 0 && peer.frames >= m_opt.dropAfter) {
      m_log->Line("dropping " + peer.name + " after " + std::to_string(peer.frames) + " frames");
      return false;
    }
    if (m_stopping) return false;
  }
  return true;
}

void Server::Answer(Peer& peer, const std::vector<std::uint8_t>& answer) {
  if (m_opt.delayMs > 0 && !Pause(m_opt.delayMs)) return;
  std::vector<std::uint8_t> bytes = answer;
  if (m_opt.garbage) {
    // Random, but never a frame start, so that no reader can find a frame.
    std::uniform_int_distribution<int> dist(0, 254);
    for (auto& b : bytes) {
      const int v = dist(peer.rng);
      b = static_cast<std::uint8_t>(v >= kFrameStart0 ? v + 1 : v);
    }
    m_log->Line("tx garbage " + HexBytes(bytes));
  } else {
    m_log->Line("tx " + HexBytes(bytes));
  }
  if (m_opt.split && bytes.size() > 1) {
    const std::size_t half = bytes.size() / 2;
    if (!WriteAll(peer, bytes.data(), half)) return;
    if (!Pause(m_opt.splitPauseMs)) return;
    WriteAll(peer, bytes.data() + half, bytes.size() - half);
  } else {
    WriteAll(peer, bytes.data(), bytes.size());
  }
}

bool Server::WriteAll(Peer& peer, const std::uint8_t* data, std::size_t count) {
  while (count > 0) {
    // A client that stops reading is given up on after a while rather than
    // wedging the simulator.
    pollfd fds[2] = {{peer.fd, POLLOUT, 0}, {m_wake[0], POLLIN, 0}};
    const int rc = ::poll(fds, 2, 2000);
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0 || fds[1].revents) return false;
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL) && !(fds[0].revents & POLLOUT)) return false;
    const ssize_t n =
        peer.isSocket ? ::send(peer.fd, data, count, MSG_NOSIGNAL) : ::write(peer.fd, data, count);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      m_log->Line("send to " + peer.name + " failed: " + std::strerror(errno));
      return false;
    }
    data += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

// Called with m_engineMutex held, so writers never interleave.
void Server::WriteState() {
  if (m_opt.statePath.empty()) return;
  const std::string tmp = m_opt.statePath + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "we");
  if (!f) {
    m_log->Line(Errno(("cannot write " + tmp).c_str()));
    return;
  }
  const std::string json = m_engine.StateJson() + "\n";
  const bool ok = std::fwrite(json.data(), 1, json.size(), f) == json.size();
  if (std::fclose(f) != 0 || !ok || ::rename(tmp.c_str(), m_opt.statePath.c_str()) != 0) {
    m_log->Line(Errno(("cannot write " + m_opt.statePath).c_str()));
    ::unlink(tmp.c_str());
  }
}

}  // namespace panora::sim
