// Round trips to a running panora-sim: one frame out, one answer frame back,
// over TCP and over its pty. The program waits at most 1000 ms for an answer;
// these show how far below that the simulator stays.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "link/Frame.h"
#include "link/FrameDecoder.h"

extern char** environ;

namespace {

using namespace panora;

// panora-sim from the same build (bench/ and bin/ are siblings), started once.
class Sim {
 public:
  Sim() {
    const auto bin =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" / "panora-sim";
    m_tty = (std::filesystem::temp_directory_path() / ("panora-bench-tty-" + std::to_string(::getpid())))
                .string();
    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    std::string b = bin.string();
    std::vector<std::string> args{b, "--tcp", "127.0.0.1:0", "--pty", m_tty};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, b.c_str(), &fa, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    std::string text;
    char buf[256];
    pollfd p{out[0], POLLIN, 0};
    while (text.find("listening on pty") == std::string::npos && ::poll(&p, 1, 5000) > 0) {
      const ssize_t n = ::read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    const auto at = text.find("listening on tcp ");
    if (at != std::string::npos) m_port = std::atoi(text.c_str() + text.find(':', at + 17) + 1);
  }
  ~Sim() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGTERM);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  int Port() const { return m_port; }
  const std::string& Tty() const { return m_tty; }

 private:
  pid_t m_pid = -1;
  int m_port = 0;
  std::string m_tty;
};

Sim& TheSim() {
  static Sim sim;
  return sim;
}

// Sends the frame and reads until the decoder has the answer.
bool RoundTrip(int fd, const std::uint8_t* frame, int len, FrameDecoder& decoder) {
  if (::write(fd, frame, static_cast<std::size_t>(len)) != len) return false;
  std::uint8_t buf[256];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 1000) <= 0) return false;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) continue;
    for (const auto& ev : decoder.Feed(buf, static_cast<std::size_t>(n))) {
      if (ev.isFrame) return true;
    }
  }
}

void RunRoundTrips(benchmark::State& state, int fd) {
  std::uint8_t frame[20];
  const std::uint8_t geometry[8] = {0, 0, 0, 0, 0x07, 0x80, 0x04, 0x38};
  BuildFrame(frame, geometry, 8, 0x30, 1);
  FrameDecoder decoder;
  for (auto _ : state) {
    if (!RoundTrip(fd, frame, 20, decoder)) {
      state.SkipWithError("no answer");
      break;
    }
  }
}

void BM_SimRoundTripTcp(benchmark::State& state) {
  if (TheSim().Port() == 0) {
    state.SkipWithError("panora-sim did not start");
    return;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(TheSim().Port()));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    state.SkipWithError("cannot connect");
  } else {
    RunRoundTrips(state, fd);
  }
  ::close(fd);
}
BENCHMARK(BM_SimRoundTripTcp)->Unit(benchmark::kMicrosecond);

void BM_SimRoundTripPty(benchmark::State& state) {
  const int fd = ::open(TheSim().Tty().c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) {
    state.SkipWithError("cannot open the pty");
    return;
  }
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  RunRoundTrips(state, fd);
  ::close(fd);
}
BENCHMARK(BM_SimRoundTripPty)->Unit(benchmark::kMicrosecond);

}  // namespace
