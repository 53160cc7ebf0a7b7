// Test helpers that run the real executables: panora-sim in the background
// (its TCP port and pty read from its stdout) and short-lived tools such as
// panora-ctl. Header-only, so that any test area can include it.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/Frame.h"

namespace panora::test {

// A whole command frame, as the program would build it.
inline std::vector<std::uint8_t> MakeFrame(std::uint8_t cmd, std::uint8_t sub,
                                           std::vector<std::uint8_t> payload = {}) {
  std::vector<std::uint8_t> f(payload.size() + kFrameOverhead);
  BuildFrame(f.data(), payload.data(), static_cast<int>(payload.size()), cmd, sub);
  return f;
}

#ifdef PANORA_BIN_DIR
inline std::string BinPath(const std::string& name) {
  return std::string(PANORA_BIN_DIR) + "/" + name;
}
#endif

// Exit code, or 128 + signal number when the process was killed.
inline int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Waits for pid up to timeoutMs; returns the decoded status or -1 if it still runs.
inline int WaitPid(pid_t pid, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return DecodeStatus(status);
    if (r < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Starts argv[0] with the given arguments; stdout/stderr go to the pipes
// given (or /dev/null when -1). Returns the pid, or -1.
inline pid_t Spawn(const std::vector<std::string>& argv, int outFd, int errFd) {
  std::vector<char*> cargv;
  for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int devNull = ::open("/dev/null", O_RDWR);
  ::dup2(devNull, 0);
  ::dup2(outFd >= 0 ? outFd : devNull, 1);
  ::dup2(errFd >= 0 ? errFd : devNull, 2);
  // The child must not inherit the test's blocked signals.
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execv(cargv[0], cargv.data());
  ::_exit(127);
}

struct RunResult {
  int status = -1;  // exit code, 128 + signal, or -1 when it had to be killed
  std::string out, err;
  double seconds = 0;
};

// Runs a program to its end (killing it after timeoutMs) and collects its output.
inline RunResult RunProgram(const std::vector<std::string>& argv, int timeoutMs = 10000) {
  RunResult r;
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return r;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = Spawn(argv, outPipe[1], errPipe[1]);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  const auto deadline = start + std::chrono::milliseconds(timeoutMs);
  bool outOpen = true, errOpen = true, killed = false;
  while (outOpen || errOpen) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      killed = true;
      break;
    }
    pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0}, {errOpen ? errPipe[0] : -1, POLLIN, 0}};
    if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (!fds[i].revents) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
      } else {
        (i == 0 ? outOpen : errOpen) = false;
      }
    }
  }
  ::close(outPipe[0]);
  ::close(errPipe[0]);
  const int status = WaitPid(pid, killed ? 2000 : timeoutMs);
  r.status = killed ? -1 : status;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

// A temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "panora-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) m_path = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// panora-sim running in the background. The constructor waits for its
// "listening on ..." lines; the destructor ends it (SIGTERM, then SIGKILL).
class SimProcess {
 public:
  // args are the options after the program name, e.g. {"--tcp", "127.0.0.1:0", "--silent"}.
  explicit SimProcess(std::vector<std::string> args, std::string binary = DefaultBinary()) {
    const bool wantPty = std::find(args.begin(), args.end(), "--pty") != args.end();
    const bool wantTcp = !wantPty || std::find(args.begin(), args.end(), "--tcp") != args.end();
    std::vector<std::string> argv{std::move(binary)};
    argv.insert(argv.end(), args.begin(), args.end());
    int outPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
      m_error = "pipe failed";
      return;
    }
    m_pid = Spawn(argv, outPipe[1], -1);
    ::close(outPipe[1]);

    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto haveAll = [&] { return (!wantTcp || m_port > 0) && (!wantPty || !m_ptyDevice.empty()); };
    while (!haveAll()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{outPipe[0], POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
        m_error = "no \"listening on\" line in time; stdout: " + text;
        break;
      }
      char buf[512];
      const ssize_t n = ::read(outPipe[0], buf, sizeof buf);
      if (n <= 0) {
        m_error = "panora-sim ended early; stdout: " + text;
        break;
      }
      text.append(buf, static_cast<std::size_t>(n));
      std::size_t eol;
      while ((eol = text.find('\n')) != std::string::npos) {
        const std::string line = text.substr(0, eol);
        text.erase(0, eol + 1);
        if (line.rfind("listening on tcp ", 0) == 0) {
          m_port = std::atoi(line.c_str() + line.rfind(':') + 1);
        } else if (line.rfind("listening on pty ", 0) == 0) {
          const auto arrow = line.find(" -> ");
          if (arrow != std::string::npos) m_ptyDevice = line.substr(arrow + 4);
        }
      }
    }
    ::close(outPipe[0]);
  }

  ~SimProcess() {
    if (m_pid > 0 && Terminate(SIGTERM, 3000) < 0) {
      ::kill(m_pid, SIGKILL);
      WaitPid(m_pid, 3000);
    }
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  static std::string DefaultBinary() {
#ifdef PANORA_BIN_DIR
    return BinPath("panora-sim");
#else
    return "panora-sim";
#endif
  }

  bool Ok() const {
    return m_error.empty() && m_pid > 0;
  }
  const std::string& Error() const {
    return m_error;
  }
  int Port() const {
    return m_port;
  }
  std::string TcpAddress() const {
    return "127.0.0.1:" + std::to_string(m_port);
  }
  const std::string& PtyDevice() const {
    return m_ptyDevice;
  }  // "/dev/pts/N"
  pid_t Pid() const {
    return m_pid;
  }

  // Sends sig and waits up to timeoutMs; returns the exit status, or -1 if it
  // still runs. After a status has been returned the process is gone.
  int Terminate(int sig = SIGTERM, int timeoutMs = 3000) {
    if (m_pid <= 0) return m_status;
    ::kill(m_pid, sig);
    const int status = WaitPid(m_pid, timeoutMs);
    if (status >= 0) {
      m_pid = -1;
      m_status = status;
    }
    return status;
  }

 private:
  pid_t m_pid = -1;
  int m_status = -1;
  int m_port = 0;
  std::string m_ptyDevice;
  std::string m_error;
};

// What the thread tid of process pid waits in, from /proc/PID/task/TID/syscall:
// empty when it is blocked in a call that has no time-out (poll or ppoll
// without one, sigwait, a futex wait without one), so that nothing but an
// event can wake it; otherwise a description. Only x86-64 and AArch64 are known.
inline std::string UntimedWait(pid_t pid, const std::string& tid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + tid + "/syscall");
  std::string line;
  std::getline(in, line);
  std::istringstream fields(line);
  long nr = -1;
  fields >> nr;
  std::uint64_t arg[6] = {};
  for (auto& a : arg) fields >> std::hex >> a;
  if (nr < 0) return "thread " + tid + " is " + (line.empty() ? "gone" : line);
  const auto msTimeout = static_cast<std::int32_t>(arg[2] & 0xFFFFFFFFu);
#if defined(__x86_64__)
  constexpr long kPoll = 7, kPpoll = 271, kSigTimedWait = 128, kFutex = 202;
#elif defined(__aarch64__)
  constexpr long kPoll = -2, kPpoll = 73, kSigTimedWait = 137, kFutex = 98;
#else
  constexpr long kPoll = -2, kPpoll = -2, kSigTimedWait = -2, kFutex = -2;
#endif
  if (nr == kPoll && msTimeout < 0) return "";
  if ((nr == kPpoll || nr == kSigTimedWait) && arg[2] == 0) return "";
  if (nr == kFutex && arg[3] == 0) return "";
  return "thread " + tid + " waits in: " + line;
}

// Samples every thread of pid (or those whose name starts with namePrefix)
// a few times, once none is running any more (up to 2 s); empty when each was
// blocked without a time-out every time.
inline std::string WakeableThreads(pid_t pid, const std::string& namePrefix = "", int samples = 6) {
  auto sample = [&](bool& running) {
    std::string why;
    int matched = 0;
    running = false;
    const std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(taskDir, ec)) {
      const std::string tid = e.path().filename().string();
      std::string comm;
      std::getline(std::ifstream(e.path() / "comm"), comm);
      if (comm.rfind(namePrefix, 0) != 0) continue;
      ++matched;
      const std::string w = UntimedWait(pid, tid);
      if (w.find("running") != std::string::npos) running = true;
      if (!w.empty()) why += comm + ": " + w + "\n";
    }
    if (matched == 0) why = "no thread named " + namePrefix + "*";
    return why;
  };
  bool running = true;
  const auto settle = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (running && std::chrono::steady_clock::now() < settle) {
    sample(running);
    if (running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::string why;
  for (int s = 0; s < samples && why.empty(); ++s) {
    if (s) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    why = sample(running);
  }
  return why;
}

// A raw TCP client for feeding bytes the tools would never send.
class RawClient {
 public:
  explicit RawClient(int port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(m_fd);
      m_fd = -1;
    }
  }
  ~RawClient() { Close(); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Ok() const { return m_fd >= 0; }
  void Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }
  bool Send(const std::vector<std::uint8_t>& bytes) {
    return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Reads until want bytes arrived, the peer closed, or timeoutMs passed.
  std::vector<std::uint8_t> Receive(std::size_t want, int timeoutMs, bool* closed = nullptr) {
    std::vector<std::uint8_t> got;
    if (closed) *closed = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{m_fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buf[1024];
      const ssize_t n = ::recv(m_fd, buf, std::min(sizeof buf, want - got.size()), 0);
      if (n <= 0) {
        if (closed) *closed = true;
        break;
      }
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }

 private:
  int m_fd = -1;
};

}  // namespace panora::test
