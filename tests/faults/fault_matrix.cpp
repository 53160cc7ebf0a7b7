// The fault matrix: the real panora (offscreen) against panora-sim, over TCP
// and over a pty, with each fault a broken processor or cable can show. For
// each: no crash, SIGTERM ends it within 1 s and writes a profile that
// panora-ctl accepts, CPU under 5 % once idle, the user-interface thread
// never blocked over 100 ms (the raw gaps of the program's own probe,
// PANORA_UI_PROBE, and the start-up connect's own time), no worker batch
// over 4.5 s, memory bounded and not growing. Prints a table; the exit
// status is the result. Two cases run at a time. Loopback only.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/Frame.h"
#include "sim/SimProcess.h"

namespace {

using namespace panora::test;
using Clock = std::chrono::steady_clock;

// Limits.
constexpr long kMaxUiStallMs = 100;
constexpr long kMaxBatchMs = 4500;
constexpr double kMaxIdleCpu = 5.0;
constexpr long kMaxRssKb = 300 * 1024;
// RSS at the end of the idle check against a sample once the first round
// of actions has warmed the program up (3 s: before it the first boxes,
// modes and moves add about 4 MB that stays). The traffic after it (the
// flood throughout, 1,000 moves at 6.5 s) must not make it grow: what
// memory a fault leaves unreachable the sanitizer runs find, what it keeps
// reachable shows here.
constexpr long kMaxRssGrowthKb = 4 * 1024;
constexpr int kRssFromMs = 3000, kRssEveryMs = 250;
// A peer that never reads must have met a full buffer: over TCP the
// program's send queue holds at least this much (and at most what its
// bounded send buffer allows).
constexpr long kMinStuckBytes = 8 * 1024, kMaxStuckBytes = 256 * 1024;
constexpr int kTermMs = 1000;

// Times from panora's start. The actions are timed from the probe's start,
// which comes a little later.
// The moves at 6.5 s come after the batches, so that the user-interface
// thread sends while a slow or silent peer's fault is still on, and after
// the memory baseline.
constexpr char kActions[] =
    "1200:refresh 1600:quick1 2000:drag300 2600:refresh 4000:quick3 4200:drag50 4500:refresh 6500:drag1000";
constexpr int kPeerCloseMs = 3500;  // the "closed" faults end the peer here
constexpr int kIdleFromMs = 9400;   // the last batch has ended by now
constexpr int kIdleForMs = 1000;

enum class Peer { Sim, SimClosed, Deaf };

struct Case {
  std::string fault;
  bool pty = false;
  std::vector<std::string> simArgs;
  Peer peer = Peer::Sim;
  int handshake = 0;  // serial: 1 must connect, -1 must report no answer, 0 either
};

struct Row {
  std::string fault, transport;
  long uiGapMs = -1, uiStallMs = -1, uiStallAtMs = -1, batchMs = -1;
  int peerFrames = -1;    // frames the simulator read
  int machineStalls = 0;  // stalls over the limit during a pause of the whole machine
  int batches = 0, boxes = 0;
  double cpu = -1;
  long rssKb = -1, hwmKb = -1;
  double termMs = -1;
  long startConnectMs = -1;  // the start-up connect's time on the UI thread
  long growthKb = 0;         // RSS growth from the first sample to the end
  long stuckBytes = -1;      // never reads: what the program could not send (tcp: its Send-Q)
  long peerQueued = -1;      // never reads: what waits unread at the peer
  std::vector<std::string> failures;
  std::string log;
};

std::map<std::string, std::string> ReadProbe(const std::string& path) {
  std::map<std::string, std::string> v;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) v[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return v;
}

// utime + stime in clock ticks.
long CpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string s;
  std::getline(in, s);
  const auto close = s.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(s.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return utime + stime;
}

long StatusKb(pid_t pid, const char* key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key) + 1);
  return -1;
}

void SleepUntil(Clock::time_point t) {
  std::this_thread::sleep_until(t);
}

std::string Tail(const std::string& path, std::size_t bytes = 1500) {
  const std::string s = ReadFile(path);
  return s.size() > bytes ? s.substr(s.size() - bytes) : s;
}

// The program's send queue (bytes not yet taken by the peer) on the
// connection to a loopback port, from the system's socket table.
long SendQueueTo(int port) {
  std::ifstream in("/proc/net/tcp");
  std::string line;
  std::getline(in, line);
  char portHex[8];
  std::snprintf(portHex, sizeof portHex, ":%04X", port);
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::string sl, local, remote, st, queues;
    f >> sl >> local >> remote >> st >> queues;
    if (remote.size() > 5 && remote.compare(remote.size() - 5, 5, portHex) == 0 && st == "01")
      return std::strtol(queues.substr(0, queues.find(':')).c_str(), nullptr, 16);
  }
  return -1;
}

// A peer that takes the connection and never reads: a TCP listener with the
// smallest receive buffer, or a pty that answers the handshake as the
// processor does and then never reads again, so that the writer meets a
// full line.
class DeafPeer {
 public:
  explicit DeafPeer(bool pty) {
    if (pty) {
      m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
        m_target = ::ptsname(m_master);
      m_accept = std::thread([this] { AnswerHandshake(); });
      return;
    }
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 1;  // the kernel's minimum
    ::setsockopt(m_listen, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 4) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    m_target = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    m_accept = std::thread([this] {
      pollfd p{m_listen, POLLIN, 0};
      while (!m_stop.load())
        if (::poll(&p, 1, 50) > 0) {
          const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
          if (fd >= 0) m_accepted.push_back(fd);
        }
    });
  }
  ~DeafPeer() {
    m_stop.store(true);
    if (m_accept.joinable()) m_accept.join();
    for (int fd : m_accepted) ::close(fd);
    if (m_listen >= 0) ::close(m_listen);
    if (m_master >= 0) ::close(m_master);
  }
  const std::string& Target() const { return m_target; }
  // Bytes sent to us that wait unread.
  long Queued() const {
    int n = -1;
    if (m_master >= 0) ::ioctl(m_master, FIONREAD, &n);
    for (int fd : m_accepted) {
      int one = 0;
      if (::ioctl(fd, FIONREAD, &one) == 0) n = std::max(n, 0) + one;
    }
    return n;
  }
  // What the program could not send yet: over TCP its send queue.
  long Stuck() const {
    if (m_listen < 0) return -1;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0) return -1;
    return SendQueueTo(ntohs(a.sin_port));
  }

 private:
  // Reads the handshake frame (12 bytes), answers it accepted, and stops.
  void AnswerHandshake() {
    std::uint8_t got[64];
    int have = 0;
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (!m_stop.load() && have < panora::kFrameOverhead && Clock::now() < until) {
      pollfd p{m_master, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const ssize_t r = ::read(m_master, got + have, sizeof got - static_cast<std::size_t>(have));
      if (r > 0) have += static_cast<int>(r);
    }
    if (have < panora::kFrameOverhead) return;
    std::uint8_t answer[panora::kFrameOverhead + 1];
    const std::uint8_t ok = 0;
    panora::BuildFrame(answer, &ok, 1, got[4], got[5]);
    [[maybe_unused]] const ssize_t w = ::write(m_master, answer, sizeof answer);
  }

  int m_listen = -1, m_master = -1;
  std::string m_target;
  std::atomic<bool> m_stop{false};
  std::thread m_accept;
  std::vector<int> m_accepted;
};

// The machine's own pauses (other processes, swapping), seen by a thread of
// ours that wakes every 5 ms: a stall of the program that falls inside one
// is the machine's, not the program's.
class MachinePauses {
 public:
  MachinePauses() {
    m_thread = std::thread([this] {
      long last = NowMs();
      while (!m_stop.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const long now = NowMs();
        if (now - last > 50) {
          std::lock_guard lock(m_mutex);
          m_pauses.push_back({last, now});
        }
        last = now;
      }
    });
  }
  ~MachinePauses() {
    m_stop.store(true);
    m_thread.join();
  }
  static long NowMs() {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
  }
  // Whether the stall [from, from + length], less the machine's pauses
  // within it, stays within `limit`.
  bool Explains(long from, long length, long limit) {
    std::lock_guard lock(m_mutex);
    long paused = 0;
    for (const auto& [a, b] : m_pauses)
      paused += std::max(0L, std::min(b, from + length) - std::max(a, from));
    return length - paused <= limit;
  }

 private:
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::vector<std::pair<long, long>> m_pauses;
  std::thread m_thread;
};

MachinePauses* g_pauses = nullptr;

Row RunCase(const Case& c, const std::string& bin) {
  Row row;
  row.fault = c.fault;
  row.transport = c.pty ? "pty" : "tcp";
  auto fail = [&row](const std::string& why) { row.failures.push_back(why); };
  TempDir dir;

  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<DeafPeer> deaf;
  std::string connect;
  if (c.peer == Peer::Deaf) {
    deaf = std::make_unique<DeafPeer>(c.pty);
    if (deaf->Target().empty()) {
      fail("no deaf peer");
      return row;
    }
    connect = (c.pty ? "serial:" : "tcp:") + deaf->Target();
  } else {
    std::vector<std::string> args = c.simArgs;
    if (c.pty) {
      args.insert(args.end(), {"--pty", dir.File("tty")});
    } else {
      args.insert(args.end(), {"--tcp", "127.0.0.1:0"});
    }
    args.insert(args.end(), {"--log", dir.File("sim.log")});
    sim = std::make_unique<SimProcess>(args, bin + "/panora-sim");
    if (!sim->Ok()) {
      fail("simulator: " + sim->Error());
      return row;
    }
    connect = c.pty ? "serial:" + sim->PtyDevice() : "tcp:" + sim->TcpAddress();
  }

  const std::string probe = dir.File("probe.txt");
  const std::string out = dir.File("panora.out");
  const std::string profile = dir.Path() + "/VideoLib/default.cfg";
  ::mkdir((dir.Path() + "/locks").c_str(), 0700);
  const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("PANORA_HOME", dir.Path().c_str(), 1);
    ::setenv("PANORA_LOCK_DIR", (dir.Path() + "/locks").c_str(), 1);
    ::setenv("PANORA_UI_PROBE", probe.c_str(), 1);
    // A peer that never reads gets enough to fill every buffer on the way.
    const std::string actions = std::string(kActions) + (c.peer == Peer::Deaf ? " 6000:drag5000" : "");
    ::setenv("PANORA_UI_ACTIONS", actions.c_str(), 1);
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, 0);
    ::dup2(outFd, 1);
    ::dup2(outFd, 2);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const std::string panora = bin + "/panora";
    ::execl(panora.c_str(), panora.c_str(), "--connect", connect.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(outFd);
  auto at = [&start](int ms) { return start + std::chrono::milliseconds(ms); };
  auto alive = [&](const char* when) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      fail(std::string("ended ") + when + " (status " + std::to_string(DecodeStatus(status)) + ")");
      return false;
    }
    return true;
  };

  // RSS every kRssEveryMs from kRssFromMs on, while waiting.
  std::vector<long> rss;
  int nextSample = kRssFromMs;
  auto waitUntil = [&](int ms) {
    for (; nextSample <= ms; nextSample += kRssEveryMs) {
      SleepUntil(at(nextSample));
      if (const long kb = StatusKb(pid, "VmRSS:"); kb > 0) rss.push_back(kb);
    }
    SleepUntil(at(ms));
  };

  bool running = true;
  if (c.peer == Peer::SimClosed) {
    waitUntil(kPeerCloseMs);
    // The line goes away under the program: a pulled adapter, a peer gone.
    sim->Terminate(SIGKILL, 2000);
  }
  waitUntil(kIdleFromMs);
  running = alive("before the idle check");
  if (deaf) {
    row.stuckBytes = deaf->Stuck();
    row.peerQueued = deaf->Queued();
  }
  if (running) {
    const long t0 = CpuTicks(pid);
    const auto m0 = Clock::now();
    waitUntil(kIdleFromMs + kIdleForMs);
    const long t1 = CpuTicks(pid);
    const double secs = std::chrono::duration<double>(Clock::now() - m0).count();
    row.cpu = 100.0 * static_cast<double>(t1 - t0) / static_cast<double>(::sysconf(_SC_CLK_TCK)) / secs;
    row.rssKb = StatusKb(pid, "VmRSS:");
    row.hwmKb = StatusKb(pid, "VmHWM:");
    if (!rss.empty() && row.rssKb > 0) row.growthKb = row.rssKb - rss.front();
    running = alive("during the idle check");
  }
  if (running) {
    const auto term = Clock::now();
    ::kill(pid, SIGTERM);
    const int status = WaitPid(pid, kTermMs);
    row.termMs = std::chrono::duration<double, std::milli>(Clock::now() - term).count();
    if (status < 0) {
      fail("still running 1 s after SIGTERM");
      ::kill(pid, SIGKILL);
      WaitPid(pid, 3000);
    } else if (status != 0) {
      fail("exit status " + std::to_string(status) + " after SIGTERM");
    }
    std::error_code ec;
    if (!std::filesystem::exists(profile, ec) || std::filesystem::file_size(profile, ec) == 0) {
      fail("no profile written at exit");
    } else if (const RunResult check = RunProgram({bin + "/panora-ctl", "profile", "check", profile});
               check.status != 0) {
      fail("panora-ctl profile check: status " + std::to_string(check.status) + " " + check.err);
    }
  } else {
    WaitPid(pid, 100);
  }

  auto p = ReadProbe(probe);
  if (sim) {
    // Proof that traffic flowed while the fault was on.
    const std::string text = ReadFile(dir.File("sim.log"));
    if (c.fault == "flood" && text.find(" flood ") == std::string::npos) fail("the simulator never flooded");
    std::istringstream log(text);
    row.peerFrames = 0;
    for (std::string line; std::getline(log, line);)
      if ((line.find(" rx ") != std::string::npos || line.rfind("rx ", 0) == 0) &&
          line.find("rx skip") == std::string::npos)
        ++row.peerFrames;
  }
  if (p.count("ui_worst_gap_ms")) {
    row.uiGapMs = std::atol(p.at("ui_worst_gap_ms").c_str());
    row.uiStallMs = std::atol(p["ui_worst_stall_ms"].c_str());
    row.uiStallAtMs = std::atol(p["ui_worst_stall_at_ms"].c_str());
    row.batchMs = std::atol(p.at("batch_worst_ms").c_str());
    row.batches = std::atoi(p.at("batches").c_str());
    row.boxes = std::atoi(p.at("boxes").c_str());
  } else {
    fail("no probe report");
  }
  const bool unanswered = p["box_texts"].find("Connect Unsuccess") != std::string::npos;
  if (c.handshake > 0 && unanswered) fail("the handshake was answered but timed out");
  if (c.handshake < 0 && !unanswered) fail("no handshake time-out reported");
  const std::string info = p["info_texts"], status = p["link_status"];
  if (c.fault == "refused handshake") {
    // Serial: the refusal is listed and the pane says so. No handshake goes
    // over the network: the link is up once the socket is.
    if (c.pty && (info.find("Connection error!") == std::string::npos ||
                  status.find("handshake refused") == std::string::npos))
      fail("refusal not shown (list: " + info + "; pane: " + status + ")");
    if (!c.pty && (info.find("Connect NET success!") == std::string::npos ||
                   info.find("Connection error!") != std::string::npos))
      fail("network link not shown up (list: " + info + ")");
  }
  if (c.peer == Peer::Deaf) {
    // The writer really met a full buffer, and said so.
    if (!c.pty && (row.stuckBytes < kMinStuckBytes || row.stuckBytes > kMaxStuckBytes))
      fail("send queue " + std::to_string(row.stuckBytes) +
           " bytes: the buffer was not filled, or is unbounded");
    if (!c.pty && p["box_texts"].find("Net Send failure!") == std::string::npos)
      fail("no send failure shown");
    if (c.pty && status.find("send failed") == std::string::npos)
      fail("no write failure (pane: " + status + ")");
  }
  if (p.count("start_connect_ms")) row.startConnectMs = std::atol(p["start_connect_ms"].c_str());
  if (row.startConnectMs < 0) fail("no start-up connect measured");
  if (row.startConnectMs > kMaxUiStallMs)
    fail("the start-up connect held the UI thread " + std::to_string(row.startConnectMs) + " ms");
  if (row.growthKb > kMaxRssGrowthKb) fail("RSS grew " + std::to_string(row.growthKb) + " kB");
  // Stalls over the limit that the machine explains are reported, not failed.
  int ours = 0, machine = 0;
  std::istringstream stalls(p["long_stalls"]);
  for (std::string item; stalls >> item;) {
    const auto colon = item.find(':');
    if (colon == std::string::npos) continue;
    const long from = std::atol(item.c_str()), length = std::atol(item.c_str() + colon + 1);
    if (length <= kMaxUiStallMs) continue;
    (g_pauses->Explains(from, length, kMaxUiStallMs) ? machine : ours)++;
  }
  row.machineStalls = machine;
  if (ours > 0) fail("UI thread blocked " + std::to_string(row.uiStallMs) + " ms");
  if (row.batchMs > kMaxBatchMs) fail("a batch ran " + std::to_string(row.batchMs) + " ms");
  if (row.cpu > kMaxIdleCpu) fail("idle CPU " + std::to_string(row.cpu) + " %");
  if (row.hwmKb > kMaxRssKb) fail("peak RSS " + std::to_string(row.hwmKb) + " kB");
  if (!row.failures.empty()) row.log = Tail(out);
  if (sim) sim->Terminate(SIGTERM, 3000);
  return row;
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (const bool pty : {false, true}) {
    const int ok = pty ? 1 : 0, late = pty ? -1 : 0;
    cases.push_back({"none", pty, {}, Peer::Sim, ok});
    cases.push_back({"silent", pty, {"--silent"}, Peer::Sim, late});
    cases.push_back({"refused handshake", pty, {"--refuse"}, Peer::Sim});
    cases.push_back({"garbage", pty, {"--garbage"}, Peer::Sim});
    cases.push_back({"split replies", pty, {"--split"}, Peer::Sim, ok});
    cases.push_back({"drop after 3", pty, {"--drop-after", "3"}, Peer::Sim});
    // A full serial line; over TCP the same as a 10 Mbit/s line would carry.
    cases.push_back({"flood", pty, {"--flood", pty ? "11520" : "1000000"}, Peer::Sim, ok});
    cases.push_back({pty ? "pty closed" : "peer closed", pty, {}, Peer::SimClosed});
    cases.push_back({"delay 900 ms", pty, {"--delay", "900"}, Peer::Sim, ok});
    cases.push_back({"delay 1100 ms", pty, {"--delay", "1100"}, Peer::Sim, late});
    cases.push_back({"never reads", pty, {}, Peer::Deaf, ok});
  }
  return cases;
}

std::string Fixed(double v, int decimals) {
  if (v < 0) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string Signed(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%+.1f", v);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  std::string bin = PANORA_BIN_DIR;
  std::string only;  // a fault name to run alone
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--bin" && i + 1 < argc) {
      bin = argv[++i];
    } else if (a == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else {
      std::fprintf(stderr, "usage: fault_matrix [--bin DIR] [--only FAULT]\n");
      return 2;
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<Case> cases;
  for (const Case& c : Cases())
    if (only.empty() || c.fault == only) cases.push_back(c);

  std::vector<Row> rows(cases.size());
  std::atomic<std::size_t> next{0};
  std::mutex printMutex;
  auto worker = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < cases.size();) {
      rows[i] = RunCase(cases[i], bin);
      std::lock_guard lock(printMutex);
      std::fprintf(stderr, "%-18s %-4s %s\n", rows[i].fault.c_str(), rows[i].transport.c_str(),
                   rows[i].failures.empty() ? "ok" : "FAIL");
    }
  };
  MachinePauses pauses;
  g_pauses = &pauses;
  std::thread a(worker), b(worker);
  a.join();
  b.join();

  int failed = 0;
  std::printf(
      "| fault | transport | frames to peer | worst UI stall (at) | longest tick gap | start connect | worst "
      "batch "
      "(seen) | boxes | idle CPU | RSS (peak) | RSS growth | unsent / unread at peer | SIGTERM to exit | "
      "result "
      "|\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Row& r : rows) {
    std::string result = r.failures.empty() ? "pass" : "FAIL";
    if (r.machineStalls > 0)
      result += " (" + std::to_string(r.machineStalls) + " stall(s) while the whole machine paused)";
    for (const auto& f : r.failures) result += "; " + f;
    const std::string frames = r.peerFrames < 0 ? "-" : std::to_string(r.peerFrames);
    const std::string queues = r.peerQueued < 0 && r.stuckBytes < 0
                                   ? "-"
                                   : (r.stuckBytes < 0 ? "-" : std::to_string(r.stuckBytes)) + " / " +
                                         (r.peerQueued < 0 ? "-" : std::to_string(r.peerQueued)) + " B";
    std::printf(
        "| %s | %s | %s | %ld ms (%s s) | %ld ms | %ld ms | %ld ms (%d) | %d | %s %% | %s MB (%s) | %s MB | "
        "%s | "
        "%s ms | %s |\n",
        r.fault.c_str(), r.transport.c_str(), frames.c_str(), r.uiStallMs,
        Fixed(r.uiStallAtMs / 1000.0, 1).c_str(), r.uiGapMs, r.startConnectMs, r.batchMs, r.batches, r.boxes,
        Fixed(r.cpu, 1).c_str(), Fixed(r.rssKb / 1024.0, 0).c_str(), Fixed(r.hwmKb / 1024.0, 0).c_str(),
        Signed(r.growthKb / 1024.0).c_str(), queues.c_str(), Fixed(r.termMs, 0).c_str(), result.c_str());
    if (!r.failures.empty()) ++failed;
  }
  for (const Row& r : rows)
    if (!r.failures.empty())
      std::printf("\n--- %s over %s: panora's output ends with:\n%s\n", r.fault.c_str(), r.transport.c_str(),
                  r.log.c_str());
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}
