// Shared by the device-link tests: a real event-loop thread standing in for
// the user-interface thread, pseudo-terminals and loopback TCP listeners.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/HandOver.h"

namespace panora::test {

// A user-interface thread of our own: one event loop running queued calls.
class LoopHandOver : public HandOver {
 public:
  LoopHandOver() : m_thread([this] { Loop(); }) {}
  ~LoopHandOver() override {
    RunOnLoop([this] { m_quit = true; });
    m_thread.join();
  }
  void RunOnLoop(std::function<void()> fn) { Dispatch(std::move(fn)); }
  // Runs fn on the loop and waits for it.
  void RunAndWait(std::function<void()> fn) {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    RunOnLoop([&] {
      fn();
      std::lock_guard<std::mutex> lock(m);
      done = true;
      cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return done; });
  }
  std::thread::id LoopId() const { return m_thread.get_id(); }

 protected:
  void Dispatch(std::function<void()> call) override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_queue.push_back(std::move(call));
    }
    m_cv.notify_one();
  }
  bool OnUiThread() const override { return std::this_thread::get_id() == m_thread.get_id(); }

 private:
  void Loop() {
    while (!m_quit) {
      std::function<void()> call;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_queue.empty(); });
        call = std::move(m_queue.front());
        m_queue.pop_front();
      }
      call();
    }
  }
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::function<void()>> m_queue;
  bool m_quit = false;
  std::thread m_thread;
};

// Collects what the user-interface thread was given, and waits for it.
class Recorder {
 public:
  void Add(const std::uint8_t* bytes, int count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blocks.emplace_back(bytes, bytes + count);
    m_cv.notify_all();
  }
  void Note(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notes.push_back(text);
    m_cv.notify_all();
  }
  std::vector<std::vector<std::uint8_t>> Blocks() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks;
  }
  std::vector<std::string> Notes() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_notes;
  }
  std::size_t TotalBytes() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::size_t n = 0;
    for (const auto& b : m_blocks) n += b.size();
    return n;
  }
  // Waits until pred() holds (under the recorder's lock) or the time is up.
  bool WaitFor(const std::function<bool()>& pred,
               std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, timeout, pred);
  }
  std::size_t BlockCountLocked() const { return m_blocks.size(); }
  std::size_t NoteCountLocked() const { return m_notes.size(); }
  std::size_t TotalBytesLocked() const {
    std::size_t n = 0;
    for (const auto& b : m_blocks) n += b.size();
    return n;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::vector<std::vector<std::uint8_t>> m_blocks;
  std::vector<std::string> m_notes;
};

// A pseudo-terminal: the master side is the far end, the slave's path is
// what the serial transport opens.
struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
    slave = ::ptsname(master);
  }
  ~Pty() { CloseMaster(); }
  void CloseMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  void Write(const std::vector<std::uint8_t>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t r = ::write(master, bytes.data() + done, bytes.size() - done);
      if (r <= 0) return;
      done += static_cast<std::size_t>(r);
    }
  }
  // Reads what arrives within the time (until want bytes are there).
  std::vector<std::uint8_t> Read(std::size_t want, std::chrono::milliseconds timeout) const {
    std::vector<std::uint8_t> out;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (out.size() < want) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
              .count();
      if (left <= 0) break;
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      std::uint8_t buf[4096];
      const ssize_t r = ::read(master, buf, sizeof buf);
      if (r <= 0) break;
      out.insert(out.end(), buf, buf + r);
    }
    return out;
  }
};

// A pseudo-terminal whose line another program holds (open and locked), as a
// port in use elsewhere is.
struct BusyPty : Pty {
  int holder = -1;
  BusyPty() {
    holder = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    if (holder >= 0 && ::flock(holder, LOCK_EX | LOCK_NB) != 0) {
      ::close(holder);
      holder = -1;
    }
  }
  ~BusyPty() {
    if (holder >= 0) ::close(holder);
  }
  bool Held() const { return holder >= 0; }
};

// A loopback TCP listener on a free port.
struct Listener {
  int fd = -1;
  int port = 0;
  explicit Listener(int backlog = 4) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, backlog);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
  }
  ~Listener() {
    if (fd >= 0) ::close(fd);
  }
  // Accepts one client (or -1 after the time-out).
  int Accept(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return -1;
    return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
  }
  std::string PortText() const { return std::to_string(port); }
};

inline std::vector<std::uint8_t> ReadSocket(int fd, std::size_t want, std::chrono::milliseconds timeout) {
  std::vector<std::uint8_t> out;
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (out.size() < want) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    std::uint8_t buf[4096];
    const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
    if (r <= 0) break;
    out.insert(out.end(), buf, buf + r);
  }
  return out;
}

// CPU time (user + system) of this process so far, in milliseconds.
inline double ProcessCpuMs() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// Context switches (voluntary and not) of every thread of this process so
// far: each one is a wake-up.
inline long long ContextSwitches() {
  long long total = 0;
  DIR* dir = ::opendir("/proc/self/task");
  if (dir == nullptr) return 0;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string path = std::string("/proc/self/task/") + e->d_name + "/status";
    FILE* f = std::fopen(path.c_str(), "re");
    if (f == nullptr) continue;
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr) {
      long long n = 0;
      if (std::sscanf(line, "voluntary_ctxt_switches: %lld", &n) == 1 ||
          std::sscanf(line, "nonvoluntary_ctxt_switches: %lld", &n) == 1)
        total += n;
    }
    std::fclose(f);
  }
  ::closedir(dir);
  return total;
}

// While it lives, this process can open at most `spare` more descriptors:
// its soft limit stands just above the `spare` lowest free numbers.
class FileLimit {
 public:
  explicit FileLimit(int spare) {
    ::getrlimit(RLIMIT_NOFILE, &m_old);
    rlimit low = m_old;
    int fd = 0;
    for (int free = 0;; ++fd) {
      if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
      if (free++ == spare) break;
    }
    low.rlim_cur = static_cast<rlim_t>(fd);
    m_ok = ::setrlimit(RLIMIT_NOFILE, &low) == 0;
  }
  ~FileLimit() { ::setrlimit(RLIMIT_NOFILE, &m_old); }
  FileLimit(const FileLimit&) = delete;
  FileLimit& operator=(const FileLimit&) = delete;
  bool Ok() const { return m_ok; }

 private:
  rlimit m_old{};
  bool m_ok = false;
};

// Calls `send` (true when the frame went whole) up to `maxCalls` times or
// until `stopAfter` were refused, timing the refused ones.
struct RefusedSends {
  int whole = 0, refused = 0;
  std::chrono::steady_clock::duration total{}, longest{};
};
template <typename Send>
RefusedSends TimeRefusedSends(int maxCalls, int stopAfter, Send send) {
  RefusedSends r;
  for (int i = 0; i < maxCalls && r.refused < stopAfter; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (send()) {
      ++r.whole;
      continue;
    }
    ++r.refused;
    const auto took = std::chrono::steady_clock::now() - start;
    r.total += took;
    r.longest = std::max(r.longest, took);
  }
  return r;
}

}  // namespace panora::test
