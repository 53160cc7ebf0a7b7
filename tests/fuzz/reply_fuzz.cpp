// libFuzzer target: received blocks as the program takes them. The input
// names the command noted last and then cuts the rest into blocks of any
// size (empty, short, longer than the receive buffer). Each block goes
// through the device link's TakeReply, as the frame's handler calls it, and
// through ParseReply on an exact copy, so a read past the block is caught.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/NetLink.h"
#include "link/RsCom.h"

using namespace panora;

namespace {

void Check(const ReplyAction& a, int curCmd) {
  if (!a.accepted && a.kind != ReplyKind::None && a.kind != ReplyKind::PositionFailed) std::abort();
  if (a.kind == ReplyKind::PositionFailed && curCmd != cmd::kQueryPosition) std::abort();
  for (int v : {a.posX, a.posY, a.posW, a.posH})
    if (v < 0 || v > 65535) std::abort();
  for (int v : {a.bezelH, a.bezelV, a.version[0], a.version[1], a.version[2]})
    if (v < 0 || v > 255) std::abort();
  if (ShownBezel(a.bezelH) < 0 || ShownBezel(a.bezelH) > 48) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CRsCom rs(nullptr, {});
  static CNetLink net({});
  static CDeviceLink link(rs, net, nullptr, LinkHooks{});
  static const int kNoted[] = {cmd::kQueryPosition, cmd::kBezel, cmd::kHandshake, cmd::kVersion, 0x00, 0x4F};
  FuzzInput in{data, size};
  while (!in.Empty()) {
    const std::uint8_t head = in.Byte();
    // Either a new command is noted (as a sender does before its frame goes
    // out) or the next block arrives for the one noted before.
    if (head & 0x80) {
      const int noted = (head & 0x40) ? in.Byte() : kNoted[head % 6];
      link.NoteCommand(noted, in.Byte());
      continue;
    }
    // Block sizes 0..127, or up to 2047 (beyond the 1024-byte buffer).
    std::size_t n = head & 0x7F;
    if (head & 0x40) n = (static_cast<std::size_t>(head & 0x0F) << 7) | (in.Byte() & 0x7F);
    const std::uint8_t* block = nullptr;
    n = in.Take(n, block);
    const int curCmd = link.m_nCurCmd.load();
    const std::vector<std::uint8_t> exact(block, block + n);
    const ReplyAction direct =
        ParseReply(exact.empty() ? nullptr : exact.data(), static_cast<int>(n), curCmd);
    Check(direct, curCmd);
    const ReplyAction taken = link.TakeReply(block, static_cast<int>(n));
    Check(taken, curCmd);
    link.EndReply();
    // The buffer copy reads the same bytes as the block (up to its limit).
    if (n <= static_cast<std::size_t>(kRxBufSize) &&
        (taken.accepted != direct.accepted || taken.kind != direct.kind || taken.posX != direct.posX ||
         taken.posH != direct.posH || taken.bezelV != direct.bezelV || taken.version[2] != direct.version[2]))
      std::abort();
  }
  return 0;
}
