#include "sim/engine/Server.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "sim/engine/Posix.h"
#include "sim/engine/PtyLine.h"
#include "sim/engine/Session.h"
#include "sim/engine/SharedEngine.h"
#include "sim/engine/SimLog.h"
#include "sim/engine/StopSignal.h"

namespace panora::sim {

struct Server::Parts {
  explicit Parts(const ServerOptions& opt)
      : engine(opt.engine, opt.statePath, log), context{opt, log, engine, stop}, pty(context) {}

  SimLog log;
  StopSignal stop;
  SharedEngine engine;
  ServingContext context;
  PtyLine pty;
};

struct Server::Client {
  std::thread thread;
  std::atomic<bool> done{false};
};

Server::Server(ServerOptions options) : m_opt(std::move(options)), m_parts(std::make_unique<Parts>(m_opt)) {}

Server::~Server() {
  Stop();
}

std::string Server::PtySlaveName() const {
  return m_parts->pty.SlaveName();
}

State Server::GetState() const {
  return m_parts->engine.GetState();
}

std::string Server::StateJson() const {
  return m_parts->engine.StateJson();
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
  Parts& p = *m_parts;
  auto fail = [&](std::string why) {
    error = std::move(why);
    CloseAll();
    return false;
  };

  std::string why;
  if (!p.stop.Open(why)) return fail(why);
  p.log.Close();
  if (!m_opt.logPath.empty() && !p.log.Open(m_opt.logPath, m_opt.logMaxBytes, why)) return fail(why);
  if (m_opt.useTcp && !Listen(why)) return fail(why);
  if (!m_opt.ptyPath.empty()) {
    // Links that killed simulators left beside ours go first.
    const auto slash = m_opt.ptyPath.rfind('/');
    RemoveStalePtyLinks(slash == std::string::npos ? "." : slash == 0 ? "/" : m_opt.ptyPath.substr(0, slash));
    if (!p.pty.Open(why)) return fail(why);
  }

  p.engine.WriteStateFile();
  try {
    if (m_listenFd >= 0) {
      p.log.Line("listening on tcp " + m_opt.tcpHost + ":" + std::to_string(m_tcpPort));
      m_tcpThread = std::thread([this] { AcceptLoop(); });
    }
    if (p.pty.IsOpen()) {
      p.log.Line("listening on pty " + m_opt.ptyPath + " -> " + PtySlaveName());
      m_ptyThread = std::thread([this] { m_parts->pty.Run(); });
    }
  } catch (const std::system_error& e) {
    // No thread to be had fails the start as a missing descriptor does:
    // whatever began ends, and the pty link goes.
    p.stop.Raise();
    if (m_tcpThread.joinable()) m_tcpThread.join();
    return fail(std::string("cannot start a thread: ") + e.what());
  }
  m_started = true;
  return true;
}

bool Server::Listen(std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* res = nullptr;
  const std::string port = std::to_string(m_opt.tcpPort);
  const int rc =
      ::getaddrinfo(m_opt.tcpHost.empty() ? nullptr : m_opt.tcpHost.c_str(), port.c_str(), &hints, &res);
  if (rc != 0) {
    error = "cannot resolve " + m_opt.tcpHost + ": " + ::gai_strerror(rc);
    return false;
  }
  error = "no address for " + m_opt.tcpHost;
  for (addrinfo* ai = res; ai; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      error = ErrnoText("socket");
      continue;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, 8) != 0) {
      error = ErrnoText("cannot listen on " + m_opt.tcpHost + ":" + port);
      ::close(fd);
      continue;
    }
    m_listenFd = fd;
    break;
  }
  ::freeaddrinfo(res);
  if (m_listenFd < 0) return false;
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  m_tcpPort = addr.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port)
                                         : ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  return true;
}

void Server::Stop() {
  std::lock_guard stopLock(m_stopMutex);
  if (!m_started) return;
  m_parts->stop.Raise();
  if (m_tcpThread.joinable()) m_tcpThread.join();
  JoinClients(true);
  if (m_ptyThread.joinable()) m_ptyThread.join();
  CloseAll();
  m_parts->log.Line("stopped");
  m_started = false;
}

// With no serving thread running.
void Server::CloseAll() {
  CloseFd(m_listenFd);
  m_parts->pty.Close();
  m_parts->stop.Close();
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
  SimLog& log = m_parts->log;
  while (!m_parts->stop.Raised()) {
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_parts->stop.Fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      log.Line("poll failed: " + std::string(std::strerror(errno)));
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
      log.Line("refused " + name + ": " + std::to_string(m_clients.size()) + " clients already connected");
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
      log.Line("refused " + name + ": no thread for it");
      ::close(fd);
      continue;
    }
    m_clients.push_back(std::move(client));
  }
}

void Server::ServeClient(int fd, const std::string& name) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // so --split really arrives in two
  const StopSignal& stop = m_parts->stop;
  Session session(m_parts->context, fd, true, name);
  m_parts->log.Line("connect " + name);
  bool open = true;
  while (open && !stop.Raised()) {
    pollfd cf[2] = {{fd, POLLIN, 0}, {stop.Fd(), POLLIN, 0}};
    const int rc = ::poll(cf, 2, session.WaitMs());
    if (rc < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (rc == 0) {
      open = session.OnSilence();
      continue;
    }
    if (cf[1].revents) break;
    std::uint8_t buf[1024];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    open = session.OnBytes(buf, static_cast<std::size_t>(n));
  }
  session.FlushSkips();
  ::close(fd);
  m_parts->log.Line((open || stop.Raised() ? "disconnect " : "dropped ") + name);
}

}  // namespace panora::sim
