#include <benchmark/benchmark.h>

#include <vector>

#include "link/Frame.h"
#include "link/FrameDecoder.h"

using namespace panora;

static void BM_BuildGeometryFrame(benchmark::State& state) {
  const std::uint8_t payload[8] = {0, 0, 0, 0, 0x07, 0x80, 0x04, 0x38};
  for (auto _ : state) {
    CKezCmd c = BuildFrame(g_TxBuf, payload, 8, 0x30, 1);
    benchmark::DoNotOptimize(c);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BuildGeometryFrame);

static void BM_BuildModeRecall(benchmark::State& state) {
  int mode = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(BuildModeRecall(mode));
    mode = (mode + 1) % kModeCount;
  }
}
BENCHMARK(BM_BuildModeRecall);

// A stream of geometry frames decoded in 64-byte reads.
static void BM_DecodeStream(benchmark::State& state) {
  std::vector<std::uint8_t> stream;
  const std::uint8_t payload[8] = {0, 0, 0, 0, 0x07, 0x80, 0x04, 0x38};
  std::uint8_t f[20];
  BuildFrame(f, payload, 8, 0x30, 1);
  for (int i = 0; i < 100; ++i) stream.insert(stream.end(), f, f + 20);
  for (auto _ : state) {
    FrameDecoder d;
    std::size_t frames = 0;
    for (std::size_t pos = 0; pos < stream.size(); pos += 64) {
      const std::size_t n = std::min<std::size_t>(64, stream.size() - pos);
      frames += d.Feed(stream.data() + pos, n).size();
    }
    benchmark::DoNotOptimize(frames);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_DecodeStream);
