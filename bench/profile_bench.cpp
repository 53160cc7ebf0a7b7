#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "model/ModeTable.h"
#include "model/Profile.h"
#include "model/alloc_counter.h"

using namespace panora;

namespace {

CProfile FactoryFresh() {
  CProfile p;
  p.ResetAllSlots();
  p.ResetWorkingForMode(kStartupMode);
  return p;
}

std::vector<std::uint8_t> DefaultBytes() {
  std::vector<std::uint8_t> b;
  EncodeProfile(FactoryFresh(), b);
  return b;
}

std::string TempPath(const char* name) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr ? tmp : "/tmp") + "/panora-bench-" + std::to_string(::getpid()) + name;
}

std::vector<std::uint8_t> WithNames(std::vector<std::uint8_t> names, std::size_t records) {
  std::vector<std::uint8_t> b;
  b.reserve(32 + names.size() + records);
  b.resize(32, 0xFF);
  b.insert(b.end(), names.begin(), names.end());
  b.insert(b.end(), records, 0);
  return b;
}

}  // namespace

static void BM_DecodeDefault(benchmark::State& state) {
  const auto bytes = DefaultBytes();
  CProfile p;
  for (auto _ : state) benchmark::DoNotOptimize(DecodeProfile(bytes, p));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_DecodeDefault);

static void BM_EncodeDefault(benchmark::State& state) {
  const CProfile p = FactoryFresh();
  std::vector<std::uint8_t> out;
  for (auto _ : state) benchmark::DoNotOptimize(EncodeProfile(p, out));
}
BENCHMARK(BM_EncodeDefault);

// Open, read, decode and close default.cfg: what start-up pays.
static void BM_ReadDefaultFile(benchmark::State& state) {
  const std::string path = TempPath("-read.cfg");
  WriteProfile(path, FactoryFresh());
  CProfile p;
  for (auto _ : state)
    if (!ReadProfile(path, p)) state.SkipWithError("read failed");
  ::unlink(path.c_str());
}
BENCHMARK(BM_ReadDefaultFile)->Unit(benchmark::kMicrosecond);

// Temporary file, fsync and rename: what the exit save pays (disk-bound).
static void BM_WriteDefaultFile(benchmark::State& state) {
  const std::string path = TempPath("-write.cfg");
  const CProfile p = FactoryFresh();
  for (auto _ : state)
    if (!WriteProfile(path, p)) state.SkipWithError("write failed");
  ::unlink(path.c_str());
}
BENCHMARK(BM_WriteDefaultFile)->Unit(benchmark::kMicrosecond);

// Hostile files: the bytes allocated by one read, which must stay under 1 MiB.
static void BM_HostileRead(benchmark::State& state) {
  constexpr std::size_t kRecords = 14 * 363;
  std::vector<std::uint8_t> file;
  switch (state.range(0)) {
    case 0:  // a name count of 4 billion
      file = WithNames({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, kRecords);
      break;
    case 1:  // a 4 GiB name
      file = WithNames({1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, kRecords);
      break;
    case 2: {  // as many and as long names as the reader accepts, all of them 3-byte characters in UTF-8
      std::vector<std::uint8_t> names = {0x00, 0x10};  // 4096 names
      const std::size_t each = kMaxNameBytesTotal / kMaxNameCount;
      for (std::size_t i = 0; i < kMaxNameCount; ++i) {
        names.push_back(static_cast<std::uint8_t>(each));
        names.insert(names.end(), each, 0x80);  // the euro sign
      }
      file = WithNames(names, kRecords);
      break;
    }
    case 3: {  // one name past the total the reader accepts
      std::vector<std::uint8_t> names = {3, 0};
      for (int i = 0; i < 3; ++i) {
        names.insert(names.end(), {0xFF, 0x00, 0xFF});
        names.insert(names.end(), 0xFF00, 0x80);
      }
      file = WithNames(names, kRecords);
      break;
    }
  }
  const std::string path = TempPath("-hostile.cfg");
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  if (state.range(0) == 1) ::truncate(path.c_str(), 1LL << 32);  // and 4 GiB long (sparse)
  std::size_t most = 0;
  for (auto _ : state) {
    CProfile p;
    const std::size_t before = test::AllocatedBytes();
    benchmark::DoNotOptimize(ReadProfile(path, p));
    most = std::max(most, test::AllocatedBytes() - before);
  }
  ::unlink(path.c_str());
  state.counters["allocated_bytes"] = static_cast<double>(most);
  if (most > (1u << 20)) state.SkipWithError("a hostile file took more than 1 MiB");
}
BENCHMARK(BM_HostileRead)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
