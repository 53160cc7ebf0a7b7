// libFuzzer target: any byte sequence, fed in pieces the input itself chooses,
// yields frames and skips that together account for every byte.
#include <cstdint>
#include <cstdlib>

#include "link/FrameDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  panora::FrameDecoder d;
  const std::size_t step = 1 + data[0] % 64;
  std::size_t seen = 0;
  for (std::size_t pos = 1; pos < size; pos += step) {
    const std::size_t n = pos + step <= size ? step : size - pos;
    for (const auto& e : d.Feed(data + pos, n)) {
      if (e.isFrame && (e.bytes.size() < 12 || e.bytes[0] != 0x7D || e.bytes[1] != 0x3A)) std::abort();
      seen += e.bytes.size();
    }
    if (d.Pending() > panora::FrameDecoder::kMaxFrame + 64) std::abort();
  }
  for (const auto& e : d.Flush()) seen += e.bytes.size();
  if (seen != size - 1) std::abort();
  return 0;
}
