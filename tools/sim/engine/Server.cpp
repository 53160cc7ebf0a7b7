#include "sim/engine/Server.h"

#include <dirent.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <system_error>

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

// Names the calling thread, so that tools (and the tests) can tell them apart.
void NameThread(const char* name) {
  ::pthread_setname_np(::pthread_self(), name);
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Whether process pid holds a pty master whose slave is /dev/pts/index.
// Unknown (another user's process, no fdinfo) counts as held.
bool HoldsPtyMaster(pid_t pid, const std::string& index) {
  const std::string dir = "/proc/" + std::to_string(pid) + "/fdinfo";
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return true;
  bool held = false, known = false;
  while (const dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::FILE* f = std::fopen((dir + "/" + e->d_name).c_str(), "re");
    if (f == nullptr) continue;
    known = true;
    char line[128];
    while (std::fgets(line, sizeof line, f)) {
      if (std::strncmp(line, "tty-index:", 10) != 0) continue;
      const char* v = line + 10;
      while (*v == ' ' || *v == '\t') ++v;
      if (std::strtol(v, nullptr, 10) == std::strtol(index.c_str(), nullptr, 10)) held = true;
    }
    std::fclose(f);
    if (held) break;
  }
  ::closedir(d);
  return held || !known;
}

}  // namespace

std::string PtyLinkDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && runtime[0] == '/' && ::access(runtime, W_OK) == 0 ? runtime : "/tmp";
}

std::string PtyLinkPath(const std::string& dir, pid_t pid) {
  return dir + "/panora-sim-" + std::to_string(pid) + ".tty";
}

int RemoveStalePtyLinks(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return 0;
  static const std::string kPrefix = "panora-sim-";
  int removed = 0;
  while (const dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.rfind(kPrefix, 0) != 0) continue;
    std::string pidText = name.substr(kPrefix.size());
    for (const char* suffix : {".tty.new", ".tty"}) {
      const std::string sfx = suffix;
      if (pidText.size() > sfx.size() && pidText.compare(pidText.size() - sfx.size(), sfx.size(), sfx) == 0) {
        pidText.resize(pidText.size() - sfx.size());
        break;
      }
    }
    if (!AllDigits(pidText) || pidText.size() > 9) continue;
    const pid_t pid = static_cast<pid_t>(std::strtol(pidText.c_str(), nullptr, 10));
    if (pid <= 0 || pid == ::getpid()) continue;
    const std::string path = dir + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || st.st_uid != ::geteuid()) continue;
    char target[256] = {};
    const ssize_t len = ::readlink(path.c_str(), target, sizeof target - 1);
    if (len <= 0) continue;
    const std::string t(target, static_cast<std::size_t>(len));
    static const std::string kPts = "/dev/pts/";
    if (t.rfind(kPts, 0) != 0 || !AllDigits(t.substr(kPts.size()))) continue;
    struct stat dev {};
    const bool gone = ::stat(t.c_str(), &dev) != 0 || (::kill(pid, 0) != 0 && errno == ESRCH) ||
                      !HoldsPtyMaster(pid, t.substr(kPts.size()));
    if (gone && ::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(d);
  return removed;
}

// One line per event, with an ISO time in UTC to the millisecond. At the
// size cap the file moves to "<log>.1" (replacing an older one) and a new
// one starts, so a long run keeps at most twice the cap on disk.
class Server::Log {
 public:
  Log() = default;
  ~Log() {
    if (m_file) std::fclose(m_file);
  }
  bool Open(const std::string& path, std::uint64_t maxBytes, std::string& error) {
    m_file = std::fopen(path.c_str(), "ae");
    if (!m_file) {
      error = Errno(("cannot open log " + path).c_str());
      return false;
    }
    m_path = path;
    m_max = maxBytes;
    struct stat st {};
    m_size = ::fstat(::fileno(m_file), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    return true;
  }
  void Line(const std::string& text) {
    // m_path is set once before any thread starts; m_file changes under the
    // lock when the log rotates.
    if (m_path.empty()) return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    char msPart[8];
    std::snprintf(msPart, sizeof msPart, ".%03dZ ", static_cast<int>(ms));
    const std::string line = std::string(stamp) + msPart + text + "\n";
    std::lock_guard lock(m_mutex);
    if (m_max > 0 && m_size > 0 && m_size + line.size() > m_max) Rotate();
    if (!m_file) return;
    std::fputs(line.c_str(), m_file);
    std::fflush(m_file);
    m_size += line.size();
  }

 private:
  void Rotate() {
    std::fclose(m_file);
    const bool moved = ::rename(m_path.c_str(), (m_path + ".1").c_str()) == 0;
    // Where the old log cannot be moved aside, starting it afresh still keeps the cap.
    m_file = std::fopen(m_path.c_str(), moved ? "ae" : "we");
    m_size = 0;
  }

  std::mutex m_mutex;
  std::FILE* m_file = nullptr;
  std::string m_path;
  std::uint64_t m_max = 0;
  std::uint64_t m_size = 0;
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

struct Server::Client {
  std::thread thread;
  std::atomic<bool> done{false};
};

Server::Server(ServerOptions options)
    : m_opt(std::move(options)), m_engine(m_opt.engine), m_log(std::make_unique<Log>()) {}

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
    CloseFd(m_watchFd);
    CloseFd(m_ownFd);
    CloseFd(m_masterFd);
    CloseFd(m_wake[0]);
    CloseFd(m_wake[1]);
    if (m_symlinkMade) ::unlink(m_opt.ptyPath.c_str());
    m_symlinkMade = false;
    return false;
  };

  if (::pipe2(m_wake, O_CLOEXEC) != 0) return fail(Errno("pipe"));
  m_log = std::make_unique<Log>();
  if (!m_opt.logPath.empty()) {
    std::string why;
    if (!m_log->Open(m_opt.logPath, m_opt.logMaxBytes, why)) return fail(why);
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
    // Links that killed simulators left beside ours go first.
    const auto slash = m_opt.ptyPath.rfind('/');
    RemoveStalePtyLinks(slash == std::string::npos ? "." : slash == 0 ? "/" : m_opt.ptyPath.substr(0, slash));
    std::string why;
    if (!OpenPty(why)) return fail(why);
  }

  {
    std::lock_guard lock(m_engineMutex);
    WriteState();
  }
  try {
    if (m_listenFd >= 0) {
      m_log->Line("listening on tcp " + m_opt.tcpHost + ":" + std::to_string(m_tcpPort));
      m_tcpThread = std::thread([this] { AcceptLoop(); });
    }
    if (m_masterFd >= 0) {
      m_log->Line("listening on pty " + m_opt.ptyPath + " -> " + PtySlaveName());
      m_ptyThread = std::thread([this] { PtyLoop(); });
    }
  } catch (const std::system_error& e) {
    // No thread to be had fails the start as a missing descriptor does:
    // whatever began ends, and the pty link goes.
    m_stopping = true;
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(m_wake[1], &byte, 1);
    if (m_tcpThread.joinable()) m_tcpThread.join();
    return fail(std::string("cannot start a thread: ") + e.what());
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
  JoinClients(true);
  if (m_ptyThread.joinable()) m_ptyThread.join();
  CloseFd(m_listenFd);
  CloseFd(m_watchFd);
  CloseFd(m_ownFd);
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
  // The line held open by us and its watch (see PtyLoop), from before anyone
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
  if (::lstat(m_opt.ptyPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    return failed(m_opt.ptyPath + " exists and is not a symlink");
  }
  const std::string tmp = m_opt.ptyPath + ".new";
  ::unlink(tmp.c_str());
  if (::symlink(name, tmp.c_str()) != 0 || ::rename(tmp.c_str(), m_opt.ptyPath.c_str()) != 0) {
    const std::string why = Errno(("cannot make the symlink " + m_opt.ptyPath).c_str());
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
  std::lock_guard lock(m_ptyMutex);
  m_slaveName = name;
  return true;
}

bool Server::Pause(int ms) {
  if (m_stopping) return false;
  pollfd p{m_wake[0], POLLIN, 0};
  return ::poll(&p, 1, ms) == 0;
}

void Server::JoinClients(bool all) {
  std::list<std::unique_ptr<Client>> finished;
  {
    std::lock_guard lock(m_clientsMutex);
    for (auto it = m_clients.begin(); it != m_clients.end();) {
      if (all || (*it)->done) {
        finished.push_back(std::move(*it));
        it = m_clients.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& c : finished) {
    if (c->thread.joinable()) c->thread.join();
  }
}

void Server::AcceptLoop() {
  NameThread("sim-accept");
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
    const std::string name = std::string("tcp ") + host + ":" + serv;

    JoinClients(false);
    std::lock_guard lock(m_clientsMutex);
    if (static_cast<int>(m_clients.size()) >= m_opt.maxClients) {
      // Closed at once, so the client learns it is not served instead of waiting.
      m_log->Line("refused " + name + ": " + std::to_string(m_clients.size()) + " clients already connected");
      ::close(fd);
      continue;
    }
    auto client = std::make_unique<Client>();
    Client* c = client.get();
    try {
      c->thread = std::thread([this, c, fd, name] {
        NameThread("sim-client");
        ServeClient(fd, name);
        c->done = true;
      });
    } catch (const std::system_error&) {
      m_log->Line("refused " + name + ": no thread for it");
      ::close(fd);
      continue;
    }
    m_clients.push_back(std::move(client));
  }
}

void Server::ServeClient(int fd, const std::string& name) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // so --split really arrives in two
  Peer peer;
  peer.fd = fd;
  peer.isSocket = true;
  peer.name = name;
  m_log->Line("connect " + peer.name);
  bool open = true;
  while (open && !m_stopping) {
    // Only a partial frame needs a deadline; otherwise wait for bytes alone.
    const int timeout = peer.decoder.Pending() > 0 ? m_opt.partialTimeoutMs : -1;
    pollfd cf[2] = {{fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    const int rc = ::poll(cf, 2, timeout);
    if (rc < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (rc == 0) {
      open = OnSilence(peer);
      continue;
    }
    if (cf[1].revents) break;
    std::uint8_t buf[1024];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    open = OnBytes(peer, buf, static_cast<std::size_t>(n));
  }
  for (const auto& ev : peer.decoder.Flush()) LogSkip(peer, std::string(SkipReasonText(ev.reason)), ev.bytes);
  ::close(fd);
  m_log->Line((open || m_stopping ? "disconnect " : "dropped ") + peer.name);
}

void Server::PtyLoop() {
  NameThread("sim-pty");
  Peer peer;
  peer.fd = m_masterFd;
  peer.name = "pty";
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
    if (own < 0) own = ::open(PtySlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  };
  auto releaseLine = [&] {
    CloseFd(watch);
    CloseFd(own);
  };
  auto hangUp = [&] {
    if (active) {
      for (const auto& ev : peer.decoder.Flush())
        LogSkip(peer, std::string(SkipReasonText(ev.reason)), ev.bytes);
      m_log->Line("hang-up pty");
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
    peer.Reset();
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
      return false;
    }
    peer.fd = m_masterFd;
    peer.Reset();
    active = false;
    clients = 0;
    m_log->Line("dropped pty; now " + m_opt.ptyPath + " -> " + PtySlaveName());
    return true;
  };

  while (!m_stopping) {
    const int timeout = peer.decoder.Pending() > 0 ? m_opt.partialTimeoutMs : -1;
    pollfd fds[3] = {{m_masterFd, POLLIN, 0}, {m_wake[0], POLLIN, 0}, {watch, POLLIN, 0}};
    const int rc = ::poll(fds, 3, timeout);
    if (rc < 0) {
      if (errno == EINTR) continue;
      m_log->Line("poll failed: " + std::string(std::strerror(errno)));
      break;
    }
    if (fds[1].revents) break;
    // Comings and goings first: they happened before any bytes now waiting.
    if (watch >= 0 && (fds[2].revents & POLLIN)) countClients();
    if (rc == 0) {
      if (!OnSilence(peer) && (m_stopping || !drop())) break;
      continue;
    }
    if (fds[0].revents & POLLIN) {
      std::uint8_t buf[1024];
      const ssize_t n = ::read(m_masterFd, buf, sizeof buf);
      if (n > 0) {
        if (!active) m_log->Line("connect pty");
        active = true;
        if (watch < 0) releaseLine();
        if (!OnBytes(peer, buf, static_cast<std::size_t>(n)) && (m_stopping || !drop())) break;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLIN)) {
      hangUp();
      if (own < 0 && !Pause(20)) break;  // the line cannot be held: fall back to looking now and then
    }
  }
}

void Server::LogSkip(Peer& peer, const std::string& reason, const std::vector<std::uint8_t>& bytes) {
  // Skip only what a rejected candidate already showed.
  const std::size_t covered = std::min(peer.shown, bytes.size());
  peer.shown -= covered;
  if (covered < bytes.size()) {
    m_log->Line("rx skip " + reason + ": " + HexBytes(bytes.data() + covered, bytes.size() - covered));
  }
}

bool Server::OnSilence(Peer& peer) {
  // The held frame start may have had a bad length field: give up only its
  // first byte and read the rest again, so a good frame sent behind it is
  // still taken.
  while (peer.decoder.Pending() > 0 && !m_stopping) {
    const auto events = peer.decoder.Flush();
    if (events.empty()) break;
    const std::vector<std::uint8_t> held = events.front().bytes;
    m_log->Line("rx skip truncated (" + std::to_string(m_opt.partialTimeoutMs) +
                " ms of silence): " + HexBytes(held));
    peer.shown = held.size() - 1;
    if (!OnBytes(peer, held.data() + 1, held.size() - 1)) return false;
  }
  return true;
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
      LogSkip(peer, reason, ev.bytes);
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
    // Nor a block that the program would take by its length field (byte 2 x
    // 10 + byte 3, at most the block's size): 30 and up is more than any answer.
    if (bytes.size() > 2 && bytes[2] < 3) bytes[2] = static_cast<std::uint8_t>(bytes[2] + 3);
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
  if (m_opt.floodBps > 0 && peer.frames == 1 && !bytes.empty()) Flood(peer, bytes);
}

void Server::Flood(Peer& peer, const std::vector<std::uint8_t>& answer) {
  // Copies of the answer, paced in 10 ms steps, as a processor that keeps talking.
  constexpr int kStepMs = 10;
  const std::size_t perStep =
      std::max<std::size_t>(1, static_cast<std::size_t>(m_opt.floodBps) * kStepMs / 1000);
  m_log->Line("flood " + peer.name + " at " + std::to_string(m_opt.floodBps) + " bytes/s");
  std::size_t offset = 0;  // keeps the repeated answers whole across steps
  for (int t = 0; t < m_opt.floodMs; t += kStepMs) {
    std::vector<std::uint8_t> step(perStep);
    for (std::size_t i = 0; i < perStep; ++i) step[i] = answer[(offset + i) % answer.size()];
    offset = (offset + perStep) % answer.size();
    if (!WriteAll(peer, step.data(), step.size()) || !Pause(kStepMs)) return;
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
