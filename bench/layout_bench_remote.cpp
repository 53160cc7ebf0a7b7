// The remote control as a show-control tool uses it, in the layout
// benchmark's program: a mode recall over HTTP against the button's, and
// events to 20 WebSocket clients.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../tests/link/LinkTestSupport.h"
#include "app/MainFrame.h"
#include "app/RemoteControl.h"
#include "app/TesselApp.h"
#include "ctl/web_client.h"
#include "layout/ChildFrame.h"
#include "layout/LayoutArea.h"
#include "layout/TesselView.h"
#include "link/Frame.h"
#include "model/ModeTable.h"

#include "layout_bench.h"

using namespace panora;
using namespace panora::bench;
using Clock = std::chrono::steady_clock;

namespace {

// ---- the remote control ----------------------------------------------------
// Its recall beside the button's, both timed from their first step (the
// client's first byte written; the handler's call) to the recall frame's
// arrival at the peer; and one event to 20 WebSocket clients.

// Wall-clock nanoseconds: the clock the kernel stamps received data with.
std::int64_t WallNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// When data arrived: the kernel's receive stamp where the socket asked for
// one (SO_TIMESTAMPNS), so that how soon a reader woke up does not count;
// else when it was read.
struct Arrival {
  std::int64_t ns = 0;
  bool stamped = false;
};

// Receives what is there, at most max bytes, without waiting; the arrival
// is that of the last byte. What recv returns (-1 with EAGAIN: nothing).
ssize_t RecvStamped(int fd, std::string& out, std::size_t max, Arrival& at) {
  char buf[16384];
  iovec iov{buf, std::min(max, sizeof buf)};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
  if (n <= 0) return n;
  out.append(buf, static_cast<std::size_t>(n));
  at = {WallNs(), false};
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c))
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
      timespec ts{};
      std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
      const std::int64_t stamp = std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
      if (stamp > 0 && stamp <= at.ns) at = {stamp, true};
    }
  return n;
}

// Reads exactly want bytes off the peer, waiting up to 2 s.
bool ReadFrameAt(int peer, std::size_t want, std::string& bytes, Arrival& at) {
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  bytes.clear();
  while (bytes.size() < want && Clock::now() < deadline) {
    pollfd p{peer, POLLIN, 0};
    if (::poll(&p, 1, 100) < 0 && errno != EINTR) return false;
    if (RecvStamped(peer, bytes, want - bytes.size(), at) == 0) return false;
  }
  return bytes.size() == want;
}

double SampleUs(std::int64_t startNs, const Arrival& at) {
  return static_cast<double>(at.ns - startNs) / 1000.0;
}

// Runs the event loop as the program's own does (asleep until something
// comes) until done() holds. A worker's job ends within seconds, done or
// not, and wakes the loop (see Worker); false past the limit.
bool LoopUntil(const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}


// A thread of its own doing one job at a time while the user-interface
// thread runs its event loop: Start() hands a job over, Done() says it is
// finished (the loop is woken then), Take() gives its result.
template <typename Job, typename Result>
class Worker {
 public:
  explicit Worker(std::function<Result(const Job&)> work)
      : m_work(std::move(work)), m_thread([this] { Run(); }) {}
  ~Worker() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_quit = true;
    }
    m_cv.notify_one();
    m_thread.join();
  }
  void Start(Job job) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_job = std::move(job);
      m_pending = true;
      m_done = false;
    }
    m_cv.notify_one();
  }
  bool Done() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_done;
  }
  Result Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_result;
  }

 private:
  void Run() {
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_quit || m_pending; });
        if (m_quit) return;
        m_pending = false;
        job = m_job;
      }
      Result r = m_work(job);
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_result = std::move(r);
        m_done = true;
      }
      g_loop->wakeUp();  // thread-safe
    }
  }

  std::function<Result(const Job&)> m_work;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  Job m_job{};
  Result m_result{};
  bool m_pending = false, m_done = false, m_quit = false;
  std::thread m_thread;  // last: starts once the rest is there
};

// The remote control on a free loopback port, as `panora --control` starts it.
class RemoteOn {
 public:
  RemoteOn() {
    RemoteOptions options;
    options.address = "127.0.0.1";
    options.port = 0;
    m_ok = g_frame->Remote().Start(options, &m_why);
  }
  ~RemoteOn() {
    g_frame->Remote().Stop();
    QApplication::processEvents();
  }
  bool Ok() const { return m_ok; }
  const std::string& Why() const { return m_why; }
  int Port() const { return g_frame->Remote().Server().Port(); }
  std::string Host() const { return "127.0.0.1:" + std::to_string(Port()); }

 private:
  bool m_ok = false;
  std::string m_why;
};

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const int one = 1;  // a request goes out at once, never held back behind an earlier one
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
  }
  if (fd >= 0) ::close(fd);
  return -1;
}

// A show-control tool on a thread of its own: one keep-alive connection,
// one POST /api/v1/mode per recall, watching the peer for the frame.
class ApiClient {
 public:
  struct Recall {
    int mode = 0;
    std::size_t frameBytes = 0;
  };
  struct Result {
    std::int64_t startNs = 0;  // just before the request's first byte was written
    Arrival frameAt;
    std::string frame;  // what the peer received
    int status = 0;
    std::string error;
  };

  ApiClient(const RemoteOn& remote, int peer)
      : m_host(remote.Host()), m_peer(peer), m_conn(ConnectLoopback(remote.Port())) {}
  Worker<Recall, Result>& Thread() { return m_thread; }

 private:
  Result Send(const Recall& recall) {
    const std::string body = "{\"mode\":" + std::to_string(recall.mode) + "}";
    const std::string request =
        "POST /api/v1/mode HTTP/1.1\r\nHost: " + m_host +
        "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
        body;
    Result r;
    r.startNs = WallNs();
    if (!m_conn.SendAll(request, 2000, r.error)) return r;
    if (!ReadFrameAt(m_peer, recall.frameBytes, r.frame, r.frameAt)) {
      r.error = "the recall frame did not reach the peer";
      return r;
    }
    ctl::HttpResponse response;
    if (ctl::ReadResponse(m_conn, 2000, response, r.error) == ctl::Outcome::Ok) r.status = response.status;
    return r;
  }

  const std::string m_host;
  const int m_peer;
  ctl::Connection m_conn;
  Worker<Recall, Result> m_thread{[this](const Recall& r) { return Send(r); }};
};

// What a recall leaves for later (the windows' moves and repaint) runs now,
// untimed; then nothing but the recall frame may have been sent.
bool SettleAfterRecall(int peer) {
  QCoreApplication::sendPostedEvents();
  QApplication::processEvents();
  pollfd p{peer, POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

void ReportStamped(benchmark::State& state, int stamped, std::size_t samples) {
  // 1: every sample ends at the kernel's arrival stamp, not at a reader's wake-up.
  state.counters["kernel_stamped"] = samples == 0 ? 0 : stamped / static_cast<double>(samples);
}

// The button's recall, timed as the API's is below: from the handler's
// call to the frame's arrival at the peer (no repaint: BM_ModeRecall has it).
void BM_ButtonModeRecallToWire(benchmark::State& state) {
  PeerLink link;
  if (!link.Open()) return state.SkipWithError("no connection to the peer");
  std::vector<double> samples;
  int stamped = 0;
  const char* error = nullptr;
  for (auto _ : state) {
    const int button = NextRecallButton();
    const std::string expected = RecallFrame(kQuickModes[static_cast<std::size_t>(button)]);
    std::string got;
    Arrival at;
    const std::int64_t start = WallNs();
    g_frame->OnQuickMode(button);
    const bool read = ReadFrameAt(link.Fd(), expected.size(), got, at);
    state.SetIterationTime(SampleUs(start, at) / 1e6);
    if (!read || got != expected) {
      error = "the peer did not receive the recall frame";
      break;
    }
    samples.push_back(SampleUs(start, at));
    stamped += at.stamped ? 1 : 0;
    if (!SettleAfterRecall(link.Fd())) {
      error = "more than the recall frame was sent";
      break;
    }
  }
  if (error != nullptr) return state.SkipWithError(error);
  ReportSpread(state, samples);
  ReportStamped(state, stamped, samples.size());
}
BENCHMARK(BM_ButtonModeRecallToWire)->UseManualTime()->Unit(benchmark::kMicrosecond);

// POST /api/v1/mode from a client thread over loopback, while this thread
// runs the event loop: the time holds the request on the wire, the loop's
// wake-up, the HTTP parsing, the route, the button's handler and the frame
// written, up to its arrival at the peer.
void BM_ApiModeRecall(benchmark::State& state) {
  PeerLink link;
  if (!link.Open()) return state.SkipWithError("no connection to the peer");
  RemoteOn remote;
  if (!remote.Ok()) return state.SkipWithError(("the remote control did not start: " + remote.Why()).c_str());
  ApiClient client(remote, link.Fd());
  std::vector<double> samples;
  int stamped = 0;
  std::string error;
  for (auto _ : state) {
    const int mode = kQuickModes[static_cast<std::size_t>(NextRecallButton())];
    const std::string expected = RecallFrame(mode);
    client.Thread().Start({mode, expected.size()});
    if (!LoopUntil([&] { return client.Thread().Done(); })) {
      error = "no answer from the remote control";
      break;
    }
    const ApiClient::Result r = client.Thread().Take();
    state.SetIterationTime(SampleUs(r.startNs, r.frameAt) / 1e6);
    if (!r.error.empty() || r.status != 200 || r.frame != expected || g_frame->m_nCurMod != mode) {
      error = "the recall did not go through: " + std::to_string(r.status) + " " + r.error;
      break;
    }
    samples.push_back(SampleUs(r.startNs, r.frameAt));
    stamped += r.frameAt.stamped ? 1 : 0;
    if (!SettleAfterRecall(link.Fd())) {
      error = "more than the recall frame was sent";
      break;
    }
  }
  if (!error.empty()) return state.SkipWithError(error.c_str());
  ReportSpread(state, samples);
  ReportStamped(state, stamped, samples.size());
}
BENCHMARK(BM_ApiModeRecall)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Clients of the event stream, all read by one thread of their own that
// polls their sockets.
class EventReaders {
 public:
  static constexpr int kClients = 20;

  explicit EventReaders(const RemoteOn& remote) { Open(remote); }
  const std::string& Error() const { return m_error; }

  struct Result {
    Arrival last;             // the last client's copy arrived
    std::int64_t readNs = 0;  // and all were read
    std::string error;
  };
  // Start(message): read until every client has it.
  Worker<std::string, Result>& Thread() { return m_thread; }

 private:
  struct Client {
    explicit Client(int f) : fd(f), conn(f) {}
    int fd;
    ctl::Connection conn;  // owns fd
    std::string key;
    bool got = false;
    Arrival at;
  };

  void Fail(const std::string& why) { m_error = why; }

  // Opens the streams; the event loop runs meanwhile so the server can answer.
  void Open(const RemoteOn& remote) {
    for (int i = 0; i < kClients; ++i) {
      const int fd = ConnectLoopback(remote.Port());
      if (fd < 0) return Fail("cannot connect to the remote control");
      const int on = 1;
      ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
      m_clients.push_back(std::make_unique<Client>(fd));
      std::uint8_t nonce[16];
      for (std::size_t b = 0; b < sizeof nonce; ++b) nonce[b] = static_cast<std::uint8_t>(i * 16 + b);
      m_clients.back()->key = ctl::Base64(nonce, sizeof nonce);
      const std::string request =
          "GET /api/v1/events HTTP/1.1\r\nHost: " + remote.Host() +
          "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
          "Sec-WebSocket-Protocol: panora.v1\r\nSec-WebSocket-Key: " +
          m_clients.back()->key + "\r\n\r\n";
      if (!m_clients.back()->conn.SendAll(request, 2000, m_error)) return;
    }
    // The upgrades are answered on this thread: run the loop until every
    // answer is readable, then check them.
    const auto allAnswered = [this] {
      return std::all_of(m_clients.begin(), m_clients.end(), [](const auto& c) {
        pollfd p{c->fd, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
      });
    };
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!allAnswered()) {
      if (Clock::now() > deadline) return Fail("the event streams did not open");
      QApplication::processEvents();
    }
    for (auto& c : m_clients) {
      ctl::HttpResponse r;
      if (ctl::ReadResponse(c->conn, 2000, r, m_error) != ctl::Outcome::Ok) return;
      if (r.status != 101 || r.Header("sec-websocket-accept") != ctl::WebSocketAccept(c->key))
        return Fail("an event stream was refused: " + std::to_string(r.status));
    }
    if (g_frame->Remote().Server().EventClients() != kClients)
      return Fail("the server counts other event clients");
  }

  Result ReadAll(const std::string& expected) {
    Result r;
    for (auto& c : m_clients) c->got = false;
    int left = kClients;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    std::vector<pollfd> polls;
    while (left > 0) {
      if (Clock::now() > deadline) {
        r.error = std::to_string(left) + " clients did not get the event";
        return r;
      }
      polls.clear();
      for (auto& c : m_clients)
        if (!c->got) polls.push_back({c->fd, POLLIN, 0});
      if (::poll(polls.data(), polls.size(), 100) <= 0) continue;
      for (const pollfd& p : polls) {
        if (p.revents == 0) continue;
        Client& c =
            **std::find_if(m_clients.begin(), m_clients.end(), [&](const auto& x) { return x->fd == p.fd; });
        Arrival at;
        if (RecvStamped(c.fd, c.conn.In(), 16384, at) == 0) {
          r.error = "the server closed an event stream";
          return r;
        }
        ctl::WsFrame f;
        std::string why;
        for (;;) {
          const ctl::Take t = ctl::TakeWsFrame(c.conn.In(), 1 << 20, f, why);
          if (t == ctl::Take::NeedMore) break;
          if (t == ctl::Take::Broken) {
            r.error = "a broken WebSocket frame: " + why;
            return r;
          }
          if (f.opcode == ctl::ws::kPing) {  // a long run: stay a live client
            const std::string pong = ctl::MaskedWsFrame(ctl::ws::kPong, f.payload, 0x5A5A5A5Au);
            c.conn.SendAll(pong, 1000, why);
          } else if (f.opcode == ctl::ws::kText && f.payload == expected && !c.got) {
            c.got = true;
            c.at = at;
            --left;
          }
        }
      }
    }
    r.last = m_clients.front()->at;
    for (auto& c : m_clients)
      if (c->at.ns > r.last.ns) r.last = c->at;
    r.readNs = WallNs();
    return r;
  }

  std::vector<std::unique_ptr<Client>> m_clients;
  std::string m_error;
  Worker<std::string, Result> m_thread{[this](const std::string& expected) { return ReadAll(expected); }};
};

// One mode event broadcast on the user-interface thread (the server queues
// it on each socket; the event loop writes it out), timed to the arrival of
// the last of the 20 copies (median_us, p99_us) and to when one reader
// thread had read them all (read_*).
void BM_EventsTo20Clients(benchmark::State& state) {
  RemoteOn remote;
  if (!remote.Ok()) return state.SkipWithError(("the remote control did not start: " + remote.Why()).c_str());
  EventReaders readers(remote);
  if (!readers.Error().empty()) return state.SkipWithError(readers.Error().c_str());
  // Mode events as the program sends them, two modes alternating.
  const std::array<std::string, 2> events = {R"({"event":"mode","mode":20,"modeName":"POP-Default 3"})",
                                             R"({"event":"mode","mode":17,"modeName":"PIP-Default 5"})"};
  std::vector<double> arrived, read;
  int stamped = 0;
  std::string error;
  for (auto _ : state) {
    const std::string& event = events[arrived.size() % 2];
    readers.Thread().Start(event);
    const std::int64_t start = WallNs();
    g_frame->Remote().Server().Broadcast(event);
    if (!LoopUntil([&] { return readers.Thread().Done(); })) {
      error = "the event did not reach every client";
      break;
    }
    const EventReaders::Result r = readers.Thread().Take();
    if (!r.error.empty()) {
      error = r.error;
      break;
    }
    state.SetIterationTime(SampleUs(start, r.last) / 1e6);
    arrived.push_back(SampleUs(start, r.last));
    read.push_back(static_cast<double>(r.readNs - start) / 1000.0);
    stamped += r.last.stamped ? 1 : 0;
  }
  if (!error.empty()) return state.SkipWithError(error.c_str());
  ReportSpread(state, arrived);
  state.counters["read_median_us"] = Percentile(read, 0.5);
  state.counters["read_p99_us"] = Percentile(read, 0.99);
  ReportStamped(state, stamped, arrived.size());
}
BENCHMARK(BM_EventsTo20Clients)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
