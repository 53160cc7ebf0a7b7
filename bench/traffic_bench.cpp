// What the traffic hook costs a frame: logged into the ring with nobody
// watching (the monitor hidden, the case that must stay under 1 us), with a
// watcher whose notice is already pending (the monitor shown, a burst), and
// from two threads at once. The formatting the monitor does when it shows a
// line is measured apart: it runs only for lines shown.
#include <benchmark/benchmark.h>

#include <atomic>
#include <vector>

#include "link/Commands.h"
#include "link/Frame.h"
#include "link/Traffic.h"

using namespace panora;

namespace {

std::vector<std::uint8_t> GeometryFrame() {
  std::uint8_t buf[32];
  const std::uint8_t payload[8] = {0, 92, 0, 23, 3, 192, 2, 28};
  const CKezCmd f = BuildFrame(buf, payload, 8, cmd::kSetGeometry, 1);
  return {f.Data(), f.Data() + f.TotalLength()};
}

TrafficLog& SharedLog() {
  static TrafficLog log;
  return log;
}

void BM_HookHidden(benchmark::State& state) {
  const auto frame = GeometryFrame();
  TrafficLog& log = SharedLog();
  for (auto _ : state) {
    log.OnTraffic(TrafficDir::Sent, frame.data(), static_cast<int>(frame.size()), TrafficClock::now());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HookHidden);
// Two threads logging at once, as a reader thread and the sender do.
BENCHMARK(BM_HookHidden)->Threads(2);

void BM_HookShown(benchmark::State& state) {
  const auto frame = GeometryFrame();
  TrafficLog log;
  std::atomic<int> notices{0};
  log.SetWatcher([&] { notices.fetch_add(1); });
  for (auto _ : state) {
    log.OnTraffic(TrafficDir::Received, frame.data(), static_cast<int>(frame.size()), TrafficClock::now());
  }
  state.counters["notices"] = notices.load();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HookShown);

void BM_FormatLine(benchmark::State& state) {
  TrafficRecord r;
  r.bytes = GeometryFrame();
  r.when = TrafficClock::now();
  for (auto _ : state) {
    TrafficLine line = FormatTraffic(r);
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_FormatLine);

}  // namespace
