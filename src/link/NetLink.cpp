#include "link/NetLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "link/TimedLock.h"

namespace panora {

using Clock = std::chrono::steady_clock;

namespace {

// Whether the socket's send buffer takes `bytes` more without a new block
// failing for lack of room (the system's own test allocates while the
// queued bytes are below the buffer's size). True when the system does not say.
bool Room(int fd, int bytes) {
  std::uint32_t info[SK_MEMINFO_VARS] = {};
  socklen_t len = sizeof info;
  if (::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, info, &len) != 0 ||
      len <= SK_MEMINFO_WMEM_QUEUED * sizeof info[0])
    return true;
  // A send larger than a quarter of the buffer cannot be promised whole anyway.
  const std::uint64_t need =
      std::min<std::uint64_t>(static_cast<std::uint64_t>(bytes), info[SK_MEMINFO_SNDBUF] / 4);
  return info[SK_MEMINFO_WMEM_QUEUED] + need < info[SK_MEMINFO_SNDBUF];
}

}  // namespace

// One connect in progress; Close, a newer Connect or shut-down wake it
// through its event descriptor so that nobody waits for a system time-out.
struct CNetLink::Attempt {
  int efd = -1;
  std::atomic<bool> cancelled{false};
  void Cancel() {
    cancelled.store(true);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t r = ::write(efd, &one, sizeof one);
  }
};

struct CNetLink::Connector {
  std::thread thread;
  std::atomic<bool> done{false};
  HandOver* window = nullptr;
};

CNetLink::CNetLink(DataFn onData, MessageFn showMessage)
    : m_onData(std::move(onData)), m_showMessage(std::move(showMessage)) {}

CNetLink::~CNetLink() {
  Shutdown();
}

std::uint32_t CNetLink::ParseAddress(const std::string& text) {
  const std::string head = text.substr(0, kMaxAddress);
  return ::inet_addr(head.c_str());  // INADDR_NONE (all ones) when not an address
}

long CNetLink::ParsePort(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 65535) return -1;  // no such port: refused rather than wrapped
  }
  return value;
}

void CNetLink::SetNetAddress(const std::string& ip, const std::string& port) {
  std::lock_guard lock(m_addrMutex);
  m_strNetIP = ip;
  m_strNetPort = port;
}

std::string CNetLink::NetIP() const {
  std::lock_guard lock(m_addrMutex);
  return m_strNetIP;
}

std::string CNetLink::NetPort() const {
  std::lock_guard lock(m_addrMutex);
  return m_strNetPort;
}

void CNetLink::SetLostHandler(std::function<void()> onLost) {
  m_onLost = std::move(onLost);
}

void CNetLink::SetSendFailedHandler(std::function<void()> onFailed) {
  m_onSendFailed = std::move(onFailed);
}

void CNetLink::ReportLost(HandOver* window, unsigned generation) {
  if (window == nullptr || !m_onLost) return;
  unsigned expected = m_lostReported.load();
  do {
    if (expected == generation) return;  // told already
  } while (!m_lostReported.compare_exchange_weak(expected, generation));
  auto onLost = m_onLost;
  auto current = m_generation;
  window->Post([onLost, current, generation] {
    if (current->load() == generation) onLost();
  });
}

void CNetLink::CancelAttemptsLocked() {
  for (const auto& a : m_attempts) a->Cancel();
}

void CNetLink::CloseLocked() {
  m_generation->fetch_add(1);  // a loss report still on its way is stale
  if (m_recv.joinable()) {
    m_bRun.store(0);
    m_stopRecv.store(true);
    // Shutting the socket down releases a receive that is waiting.
    if (m_sock >= 0) ::shutdown(m_sock, SHUT_RDWR);
    if (HandOver* window = m_window.load()) window->WakeWaiters();
    m_recv.join();
  }
  if (m_sock >= 0) {
    ::close(m_sock);
    m_sock = -1;
  }
  m_bConnected.store(false);
}

void CNetLink::StopWaiting() {
  m_sendAborts.fetch_add(1);
}

void CNetLink::Close() {
  // A worker's send waiting for room gives the lock up within one slice,
  // and sends that come meanwhile do not take it again.
  m_closing.fetch_add(1);
  StopWaiting();
  std::lock_guard lock(m_mutex);
  m_closing.fetch_sub(1);
  ++m_nCloseGen;
  CancelAttemptsLocked();
  CloseLocked();
}

int CNetLink::Connect(const std::string& address, const std::string& port, HandOver* window) {
  std::uint64_t gen;
  {
    std::lock_guard lock(m_mutex);
    gen = m_nCloseGen;
  }
  return ConnectSince(address, port, window, gen);
}

int CNetLink::ConnectSince(const std::string& address, const std::string& port, HandOver* window,
                           std::uint64_t gen) {
  if (m_shutdown.load()) return 0;
  auto attempt = std::make_shared<Attempt>();
  attempt->efd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (attempt->efd < 0) return 0;
  {
    std::lock_guard lock(m_mutex);
    // A Close or Shutdown that came before this attempt could register has
    // already cancelled it.
    if (m_shutdown.load() || gen != m_nCloseGen) {
      ::close(attempt->efd);
      return 0;
    }
    CancelAttemptsLocked();  // an older attempt gives way to this one
    CloseLocked();
    m_window = window;
    m_attempts.push_back(attempt);
  }

  bool ok = false;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const long portNumber = ParsePort(port);
  if (fd >= 0) {
    const int sendBuffer = kSendBufferBytes;  // set before the connect, as buffer sizes must be
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  }
  if (fd >= 0 && portNumber >= 0) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(portNumber));
    peer.sin_addr.s_addr = ParseAddress(address);
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (rc == 0) {
      ok = true;
    } else if (errno == EINPROGRESS) {
      // No time-out of our own: the system ends an attempt that gets no
      // answer; only a cancel ends it earlier.
      pollfd p[2] = {{fd, POLLOUT, 0}, {attempt->efd, POLLIN, 0}};
      do {
        rc = ::poll(p, 2, -1);
      } while (rc < 0 && errno == EINTR);
      if (rc > 0 && (p[1].revents & POLLIN) == 0) {
        int err = 0;
        socklen_t len = sizeof err;
        ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
      }
    }
  }

  std::lock_guard lock(m_mutex);
  m_attempts.erase(std::remove(m_attempts.begin(), m_attempts.end(), attempt), m_attempts.end());
  ::close(attempt->efd);
  if (!ok || attempt->cancelled.load() || m_shutdown.load()) {
    if (fd >= 0) ::close(fd);
    return 0;
  }
  // Blocking from now on for the receive thread's recv; sends do not block
  // but wait for room themselves, each with its own bound.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  m_sock = fd;
  m_uiStuck.store(false);
  m_bRun.store(1);
  m_bEnded.store(0);
  m_stopRecv.store(false);
  try {
    const unsigned generation = m_generation->fetch_add(1) + 1;
    m_recv = std::thread([this, fd, window, generation] { ReceiveThread(fd, window, generation); });
  } catch (const std::system_error&) {
    ::close(fd);
    m_sock = -1;
    m_bRun.store(0);
    if (m_showMessage) {
      if (window != nullptr && !window->IsUiThread()) {
        auto show = m_showMessage;
        window->Post([show] { show("Not CreateThread"); });
      } else {
        m_showMessage("Not CreateThread");
      }
    }
    return 0;
  }
  m_bConnected.store(true);
  std::lock_guard addrLock(m_addrMutex);
  m_strNetIP = address;
  m_strNetPort = port;
  return 1;
}

void CNetLink::ReceiveThread(int fd, HandOver* window, unsigned generation) {
  const DataFn onData = m_onData;
  bool lost = false;
  std::uint8_t buf[kBlockSize];
  while (m_bRun.load()) {
    const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
    if (r < 0 && errno == EINTR) continue;
    // An error, or the peer closed the connection: the thread ends, and the
    // link still counts as connected until the operator closes it.
    if (r <= 0) {
      lost = !m_stopRecv.load();
      break;
    }
    if (TrafficHook* hook = m_traffic.load())
      hook->OnTraffic(TrafficDir::Received, buf, static_cast<int>(r), TrafficClock::now());
    if (window == nullptr || !onData) continue;
    std::vector<std::uint8_t> block(buf, buf + r);
    const bool handed = window->Send(
        [onData, block = std::move(block)] { onData(block.data(), static_cast<int>(block.size())); },
        &m_stopRecv);
    if (!handed) break;
  }
  if (lost) ReportLost(window, generation);
  m_bEnded.store(1);
}

int CNetLink::Send(const std::uint8_t* bytes, int length) {
  if (bytes == nullptr || length <= 0) return -1;
  HandOver* const window = m_window.load();
  const bool fromUi = window != nullptr && window->IsUiThread();
  const bool stuck = fromUi && m_uiStuck.load();
  const unsigned aborts = m_sendAborts.load();
  if (m_closing.load() > 0 || m_shutdown.load()) return -1;
  auto deadline = Clock::now() + std::chrono::milliseconds(fromUi ? kUiSendBoundMs : kSendBoundMs);
  std::unique_lock lock(m_mutex, std::defer_lock);
  // A worker's send waiting for room holds the lock: the user-interface
  // thread then finds no room either.
  const bool locked = stuck ? lock.try_lock() : LockBy(lock, deadline);
  if (locked && m_sock < 0) return -1;
  // Logged before it leaves, so that its answer cannot be logged first.
  TrafficHook* const hook = m_traffic.load();
  if (hook != nullptr) hook->OnTraffic(TrafficDir::Sent, bytes, length, TrafficClock::now());
  int sent = 0, err = 0;
  auto writable = [this] {
    pollfd p{m_sock, POLLOUT, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLOUT) != 0;
  };
  // After a send that found no room, the next ones of the user-interface
  // thread fail at once instead of each waiting its bound.
  bool ok = locked && (!stuck || writable());
  while (ok && sent < length) {
    // Sent only when the whole rest fits: the system takes a part of it
    // when its buffer fills in between, and that part cannot be taken back.
    if (!Room(m_sock, length - sent)) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || m_sendAborts.load() != aborts || m_closing.load() > 0) break;
      pollfd p{m_sock, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kWaitSliceMs)));
      continue;
    }
    const ssize_t r =
        ::send(m_sock, bytes + sent, static_cast<std::size_t>(length - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (r > 0) {
      // Part of a frame is on its way: the rest must follow, or the
      // processor reads the next frame's start as this one's tail.
      if (sent == 0 && r < length)
        deadline = std::max(deadline, Clock::now() + std::chrono::milliseconds(kSendBoundMs));
      sent += static_cast<int>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      err = errno;
      break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || m_sendAborts.load() != aborts || m_closing.load() > 0) break;
    pollfd p{m_sock, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kWaitSliceMs)));
  }
  if (sent == length) {
    m_uiStuck.store(false);
    return sent;
  }
  if (hook != nullptr) hook->OnTraffic(TrafficDir::Unsent, bytes, length, TrafficClock::now());
  if (fromUi) m_uiStuck.store(true);
  // A broken connection is lost; a send that found no room only failed.
  if (err == EPIPE || err == ECONNRESET || err == ENOTCONN || err == ESHUTDOWN)
    ReportLost(window, m_generation->load());
  if (window != nullptr && m_onSendFailed) window->Post(m_onSendFailed);
  return sent > 0 ? sent : -1;
}

void CNetLink::StartConnector(HandOver* window, std::function<void(int)> onResult) {
  std::lock_guard lock(m_mutex);
  if (m_shutdown.load()) return;
  // Connectors that have reported are joined here, the rest at shut-down.
  for (auto it = m_connectors.begin(); it != m_connectors.end();) {
    if ((*it)->done.load()) {
      (*it)->thread.join();
      it = m_connectors.erase(it);
    } else {
      ++it;
    }
  }
  auto connector = std::make_unique<Connector>();
  Connector* c = connector.get();
  c->window = window;
  std::string ip, port;
  {
    std::lock_guard addrLock(m_addrMutex);
    ip = m_strNetIP;
    port = m_strNetPort;
  }
  try {
    c->thread = std::thread([this, c, window, onResult, ip = std::move(ip), port = std::move(port),
                             gen = m_nCloseGen] {
      const int result = ConnectSince(ip, port, window, gen);
      if (window != nullptr && onResult) window->Send([onResult, result] { onResult(result); }, &m_shutdown);
      c->done.store(true);
    });
  } catch (const std::system_error&) {
    // No thread for the attempt: it failed, and says so as one that ran would.
    if (window != nullptr && onResult) window->Post([onResult] { onResult(0); });
    return;
  }
  m_connectors.push_back(std::move(connector));
}

void CNetLink::Shutdown() {
  m_shutdown.store(true);
  StopWaiting();
  std::vector<std::unique_ptr<Connector>> connectors;
  {
    std::lock_guard lock(m_mutex);
    ++m_nCloseGen;
    CancelAttemptsLocked();
    connectors.swap(m_connectors);
  }
  for (auto& c : connectors) {
    if (c->window != nullptr) c->window->WakeWaiters();
    c->thread.join();
  }
  Close();
}

}  // namespace panora
