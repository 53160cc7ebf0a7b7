// The serial transport's costs that no unit test may time: how long a close
// on the user-interface thread waits while a worker's write is stuck on a
// line that takes nothing, and how often an idle open port wakes the process.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "../tests/link/LinkTestSupport.h"
#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/Frame.h"
#include "link/NetLink.h"
#include "link/RsCom.h"

using namespace panora;
using Clock = std::chrono::steady_clock;

namespace {

// ClosePort on the user-interface thread while a worker is inside WritePort
// on a line whose far end reads nothing (the output queue is full).
void BM_CloseBehindABlockedWrite(benchmark::State& state) {
  for (auto _ : state) {
    test::LoopHandOver ui;
    CRsCom com{&ui, [](const std::uint8_t*, int) {}};
    test::Pty pty;
    int opened = 0;
    ui.RunAndWait([&] { opened = com.OpenPort(pty.slave); });
    if (opened != 1) return state.SkipWithError("open");
    std::atomic<bool> stop{false};
    std::atomic<long long> lastWriteStart{0};
    std::thread worker([&] {
      std::vector<std::uint8_t> frame(1000, 0x55);
      while (!stop.load() && com.IsOpen()) {
        lastWriteStart = Clock::now().time_since_epoch().count();
        com.WritePort(static_cast<int>(frame.size()), frame.data());
      }
    });
    // Let the queue fill, then close while a write has been waiting a while.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    double ms = 0;
    ui.RunAndWait([&] {
      const auto start = Clock::now();
      com.ClosePort();
      ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    });
    stop = true;
    worker.join();
    state.SetIterationTime(ms / 1000.0);
  }
}
BENCHMARK(BM_CloseBehindABlockedWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The device link's shut-down (as at exit, on the user-interface thread)
// while a reply-wait worker's write waits on a line that takes nothing.
void BM_ShutdownBehindABlockedWorkerWrite(benchmark::State& state) {
  for (auto _ : state) {
    test::LoopHandOver ui;
    CRsCom com{&ui, [](const std::uint8_t*, int) {}};
    CNetLink net{[](const std::uint8_t*, int) {}};
    CDeviceLink link{com, net, &ui, LinkHooks{}};
    test::Pty pty;
    int opened = 0;
    ui.RunAndWait([&] { opened = com.OpenPort(pty.slave); });
    if (opened != 1) return state.SkipWithError("open");
    // Fill the line until nothing more fits (through a second descriptor:
    // a write of the port itself would discard the queue when it fails).
    const int side = ::open(pty.slave.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    std::vector<std::uint8_t> filler(1000, 0x55);
    while (::write(side, filler.data(), filler.size()) > 0) {
    }
    ::close(side);
    ui.RunAndWait([&] {
      const std::uint8_t xywh[8] = {0, 0, 0, 0, 3, 0xC0, 2, 0x1C};
      for (int ch = 0; ch < 4; ++ch)
        BuildFrame(g_TxBuf + ch * 20, xywh, 8, cmd::kSetGeometry, static_cast<std::uint8_t>(ch));
      link.m_nJobType = kJobGeometry;
      link.StartSendWorker();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the worker waits in its write
    double ms = 0;
    ui.RunAndWait([&] {
      const auto start = Clock::now();
      link.Shutdown();
      net.Shutdown();
      com.ClosePort();
      ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    });
    state.SetIterationTime(ms / 1000.0);
  }
}
BENCHMARK(BM_ShutdownBehindABlockedWorkerWrite)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// Wake-ups per second of the whole process while one serial port is open and idle.
void BM_IdlePortWakeups(benchmark::State& state) {
  test::LoopHandOver ui;
  CRsCom com{&ui, [](const std::uint8_t*, int) {}};
  test::Pty pty;
  int opened = 0;
  ui.RunAndWait([&] { opened = com.OpenPort(pty.slave); });
  if (opened != 1) return state.SkipWithError("open");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  double perSecond = 0;
  for (auto _ : state) {
    const long long before = test::ContextSwitches();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // The sleep of this thread itself is one wake-up.
    perSecond = static_cast<double>(test::ContextSwitches() - before - 1) / seconds;
  }
  state.counters["wakeups_per_s"] = perSecond;
  ui.RunAndWait([&] { com.ClosePort(); });
}
BENCHMARK(BM_IdlePortWakeups)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
