// The device link's own cost on loopback: a sender's call, the time until a
// frame is fully received on the other side, a round trip to the real
// simulator, and a worker batch of four against a simulator that answers at once.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <limits.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/link/LinkTestSupport.h"
#include "../tests/sim/SimProcess.h"
#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/NetLink.h"
#include "link/RsCom.h"
#include "model/SetupFrames.h"

using namespace panora;
using Clock = std::chrono::steady_clock;

namespace {

std::string SimBinary() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "panora-sim";
  std::string dir(self, static_cast<std::size_t>(n));
  dir = dir.substr(0, dir.rfind('/'));
  return dir + "/../bin/panora-sim";
}

double Median(std::vector<double>& v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// The frame's side: transports and device link, with a counter of blocks.
struct Side {
  test::LoopHandOver ui;
  std::atomic<int> blocks{0};
  std::atomic<int> batches{0};
  std::atomic<int> setups{0};
  std::atomic<int> answered{0};
  CRsCom rs{&ui, [this](const std::uint8_t* b, int n) { OnData(b, n); }};
  CNetLink net{[this](const std::uint8_t* b, int n) { OnData(b, n); }};
  CDeviceLink link{rs, net, &ui,
                   LinkHooks{{}, {}, [this](int) { batches.fetch_add(1); }, {}, {}, {},
                             [this](const SetupOutcome& o) {
                               answered.store(o.answered);
                               setups.fetch_add(1);
                             }}};
  void OnData(const std::uint8_t* b, int n) {
    link.TakeReply(b, n);
    link.EndReply();
    blocks.fetch_add(1);
  }
  ~Side() {
    link.Shutdown();
    net.Shutdown();
  }
};

const std::uint8_t kGeometry[8] = {0, 0, 0, 0, 3, 0xC0, 2, 0x1C};

// A sender's call (build, note, one send) into a connected socket.
void BM_SenderCall(benchmark::State& state) {
  test::Listener l;
  Side side;
  if (side.net.Connect("127.0.0.1", l.PortText(), &side.ui) != 1) return state.SkipWithError("connect");
  const int peer = l.Accept();
  std::atomic<bool> stop{false};
  std::thread drain([&] {
    std::uint8_t buf[4096];
    while (!stop.load() && ::recv(peer, buf, sizeof buf, 0) > 0) {
    }
  });
  for (auto _ : state) side.link.SendCommand(cmd::kSetGeometry, 1, kGeometry, 8);
  stop = true;
  ::shutdown(peer, SHUT_RDWR);
  drain.join();
  ::close(peer);
}
BENCHMARK(BM_SenderCall);

// The link's own socket: the descriptor connected to the listener's port.
int SocketConnectedTo(int port) {
  DIR* d = ::opendir("/proc/self/fd");
  if (!d) return -1;
  int found = -1;
  while (dirent* e = ::readdir(d)) {
    const int fd = std::atoi(e->d_name);
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (fd > 2 && ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0 &&
        peer.sin_family == AF_INET && ntohs(peer.sin_port) == port) {
      found = fd;
      break;
    }
  }
  ::closedir(d);
  return found;
}

// The sender's call beside a raw send() of the same 20 bytes on the same
// socket, alternating, so both see the same socket and machine state.
void BM_SenderVsRawWrite(benchmark::State& state) {
  test::Listener l;
  Side side;
  if (side.net.Connect("127.0.0.1", l.PortText(), &side.ui) != 1) return state.SkipWithError("connect");
  const int peer = l.Accept();
  const int fd = SocketConnectedTo(l.port);
  if (fd < 0) return state.SkipWithError("the link's socket not found");
  std::atomic<bool> stop{false};
  std::thread drain([&] {
    std::uint8_t buf[4096];
    while (!stop.load() && ::recv(peer, buf, sizeof buf, 0) > 0) {
    }
  });
  std::uint8_t frame[20];
  BuildFrame(frame, kGeometry, 8, cmd::kSetGeometry, 1);
  std::vector<double> sender, raw;
  for (auto _ : state) {
    auto t0 = Clock::now();
    side.link.SendCommand(cmd::kSetGeometry, 1, kGeometry, 8);
    auto t1 = Clock::now();
    benchmark::DoNotOptimize(::send(fd, frame, sizeof frame, MSG_NOSIGNAL));
    auto t2 = Clock::now();
    sender.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    raw.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
  }
  stop = true;
  ::shutdown(peer, SHUT_RDWR);
  drain.join();
  ::close(peer);
  const double s = Median(sender), r = Median(raw);
  state.counters["sender_us"] = s;
  state.counters["raw_send_us"] = r;
  state.counters["sender_per_raw"] = r > 0 ? s / r : 0;
}
BENCHMARK(BM_SenderVsRawWrite);

// From a sender's call to the 20-byte frame fully read by the receiving end.
void BM_SendUntilReceived(benchmark::State& state) {
  test::Listener l;
  Side side;
  if (side.net.Connect("127.0.0.1", l.PortText(), &side.ui) != 1) return state.SkipWithError("connect");
  const int peer = l.Accept();
  std::vector<double> samples;
  for (auto _ : state) {
    const auto start = Clock::now();
    side.link.SendCommand(cmd::kSetGeometry, 1, kGeometry, 8);
    std::uint8_t buf[64];
    std::size_t have = 0;
    while (have < 20) {
      const ssize_t r = ::recv(peer, buf + have, sizeof buf - have, 0);
      if (r <= 0) break;
      have += static_cast<std::size_t>(r);
    }
    samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  state.counters["median_us"] = Median(samples);
  ::close(peer);
}
BENCHMARK(BM_SendUntilReceived);

// A handshake to the real simulator until its answer has been handed to the
// user-interface thread and read.
void BM_RoundTripToSimulator(benchmark::State& state) {
  test::SimProcess sim({"--tcp", "127.0.0.1:0"}, SimBinary());
  if (!sim.Ok()) return state.SkipWithError(sim.Error().c_str());
  Side side;
  if (side.net.Connect("127.0.0.1", std::to_string(sim.Port()), &side.ui) != 1)
    return state.SkipWithError("connect");
  std::vector<double> samples;
  for (auto _ : state) {
    const int before = side.blocks.load();
    const auto start = Clock::now();
    side.link.SendCommand(cmd::kHandshake, 0);
    while (side.blocks.load() == before) {
    }
    samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  state.counters["median_us"] = Median(samples);
}
BENCHMARK(BM_RoundTripToSimulator);

// A worker batch of four geometry frames against a simulator that answers at once.
void BM_WorkerBatchOfFour(benchmark::State& state) {
  test::SimProcess sim({"--tcp", "127.0.0.1:0"}, SimBinary());
  if (!sim.Ok()) return state.SkipWithError(sim.Error().c_str());
  Side side;
  if (side.net.Connect("127.0.0.1", std::to_string(sim.Port()), &side.ui) != 1)
    return state.SkipWithError("connect");
  std::vector<double> samples;
  for (auto _ : state) {
    const int before = side.batches.load();
    const auto start = Clock::now();
    for (int ch = 0; ch < 4; ++ch)
      BuildFrame(g_TxBuf + ch * 20, kGeometry, 8, cmd::kSetGeometry, static_cast<std::uint8_t>(ch));
    side.link.m_nJobType = kJobGeometry;
    side.link.StartSendWorker();
    while (side.batches.load() == before) {
    }
    samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  state.counters["median_ms"] = Median(samples);
}
BENCHMARK(BM_WorkerBatchOfFour)->Unit(benchmark::kMillisecond);

// Send Set-up against the real simulator: the whole batch (every frame
// waiting for its answer) beside the frames' time on a 115200-baud line and
// the simulator's own answer time (one round trip per frame, measured on the
// same link first). Target: at most 1.2 x the wire time plus the answers.
void RunSetup(benchmark::State& state, Side& side) {
  CDataPrm record;
  record.ResetSlot(kWorkingSlot);
  SessionPicture picture;
  picture.NoteContrast(4, 150);
  picture.NoteBrightness(4, 600);
  picture.NoteBezel(10, 12);
  const std::vector<FrameBytes> frames = SetupFrames(17, record, PlacesOf(record), &picture);
  double wireMs = 0;
  for (const FrameBytes& f : frames) wireMs += static_cast<double>(f.size()) * 10 / 115200 * 1000;
  std::vector<double> rounds;
  for (int i = 0; i < 50; ++i) {
    const int before = side.blocks.load();
    const auto start = Clock::now();
    side.link.SendCommand(cmd::kHandshake, 0);
    while (side.blocks.load() == before) std::this_thread::yield();
    rounds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const double answerMs = Median(rounds) * static_cast<double>(frames.size());
  std::vector<double> samples;
  for (auto _ : state) {
    const int before = side.setups.load();
    const auto start = Clock::now();
    if (!side.link.StartSetupBatch(frames)) return state.SkipWithError("the batch did not start");
    while (side.setups.load() == before) std::this_thread::yield();
    samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (side.answered.load() != static_cast<int>(frames.size())) return state.SkipWithError("frames unanswered");
  }
  const double batchMs = Median(samples);
  state.counters["frames"] = static_cast<double>(frames.size());
  state.counters["batch_ms"] = batchMs;
  state.counters["wire_ms"] = wireMs;
  state.counters["answer_ms"] = answerMs;
  state.counters["target_ms"] = 1.2 * wireMs + answerMs;
}

void BM_SendSetupTcp(benchmark::State& state) {
  test::SimProcess sim({"--tcp", "127.0.0.1:0"}, SimBinary());
  if (!sim.Ok()) return state.SkipWithError(sim.Error().c_str());
  Side side;
  if (side.net.Connect("127.0.0.1", std::to_string(sim.Port()), &side.ui) != 1)
    return state.SkipWithError("connect");
  RunSetup(state, side);
}
BENCHMARK(BM_SendSetupTcp)->Unit(benchmark::kMillisecond);

void BM_SendSetupPty(benchmark::State& state) {
  const std::string tty = "/tmp/panora-bench-" + std::to_string(::getpid()) + ".tty";
  test::SimProcess sim({"--pty", tty}, SimBinary());
  if (!sim.Ok()) return state.SkipWithError(sim.Error().c_str());
  Side side;
  if (!side.rs.OpenPort(tty, &side.ui)) return state.SkipWithError("cannot open the pty");
  RunSetup(state, side);
  side.rs.ClosePort();
}
BENCHMARK(BM_SendSetupPty)->Unit(benchmark::kMillisecond);

}  // namespace
