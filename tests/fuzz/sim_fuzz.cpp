// libFuzzer target: the simulator's frame handler as a client connection
// drives it. Bytes go through the connection's FrameDecoder and every frame
// found through Engine::Process on one engine, as the server does; the
// state file's JSON is made after every change. Inputs starting with an odd
// byte are read instead as frames to build (command, sub-code, payload
// length, payload), so that valid checksums reach every command handler.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "link/Frame.h"
#include "link/FrameDecoder.h"
#include "sim/engine/Engine.h"

using namespace panora;

namespace {

void Apply(sim::Engine& engine, const std::vector<std::uint8_t>& frame) {
  const sim::Outcome out = engine.Process(frame);
  if (out.changed) (void)engine.StateJson();
  if (out.applied && !out.problem.empty()) std::abort();
  if (out.answer.empty()) return;
  // An answer is one whole frame.
  FrameDecoder d;
  const auto events = d.Feed(out.answer.data(), out.answer.size());
  if (events.size() != 1 || !events[0].isFrame || events[0].bytes != out.answer) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  sim::Engine engine;
  FuzzInput in{data + 1, size - 1};
  if (data[0] & 1) {
    std::vector<std::uint8_t> frame;
    while (!in.Empty()) {
      const std::uint8_t command = in.Byte(), sub = in.Byte();
      const std::uint8_t* payload = nullptr;
      const int n = static_cast<int>(in.Take(in.Byte(), payload));
      frame.assign(static_cast<std::size_t>(n) + 12, 0);
      BuildFrame(frame.data(), payload, n, command, sub);
      Apply(engine, frame);
    }
    return 0;
  }
  FrameDecoder decoder;
  const std::size_t step = 1 + data[0] % 97;
  while (!in.Empty()) {
    const std::uint8_t* piece = nullptr;
    const std::size_t n = in.Take(step, piece);
    for (const auto& ev : decoder.Feed(piece, n))
      if (ev.isFrame) Apply(engine, ev.bytes);
  }
  return 0;
}
