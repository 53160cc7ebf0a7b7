// libFuzzer target: received blocks as the program takes them. The input
// names the command noted last and then cuts the rest into blocks of any
// size (empty, short, longer than the receive buffer). Each block goes
// through the device link's TakeReply, as the frame's handler calls it, and
// through ParseReply on an exact copy (with the tail TakeReply kept of a
// piece of a burst), so a read past the block is caught. Then a valid
// answer frame of the noted command is put after the block: whatever came
// before it, that frame decides, also when the block fills the receive
// buffer up to the middle of the answer and its rest comes in the next one.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/Frame.h"
#include "link/FrameDecoder.h"
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

bool SameReading(const ReplyAction& a, const ReplyAction& b) {
  return a.accepted == b.accepted && a.kind == b.kind && a.posX == b.posX && a.posY == b.posY &&
         a.posW == b.posW && a.posH == b.posH && a.bezelH == b.bezelH && a.bezelV == b.bezelV &&
         a.handshakeOk == b.handshakeOk && a.version[0] == b.version[0] && a.version[1] == b.version[1] &&
         a.version[2] == b.version[2];
}

// The block followed by an answer frame of `curCmd` whose data are the
// block's first bytes: read as that frame alone would be, as long as the
// decoder finds it whole at the end (noise may happen to form a longer
// valid frame that swallows it).
void CheckAnswerAfter(const std::vector<std::uint8_t>& block, int curCmd) {
  if (curCmd < 0 || curCmd > 255) return;
  std::uint8_t data[9] = {};
  const std::size_t n = std::min<std::size_t>(block.size(), sizeof data);
  std::copy(block.begin(), block.begin() + static_cast<long>(n), data);
  std::vector<std::uint8_t> frame(n + kFrameOverhead);
  BuildFrame(frame.data(), data, static_cast<int>(n), static_cast<std::uint8_t>(curCmd), data[0] & 1);
  std::vector<std::uint8_t> joined = block;
  joined.insert(joined.end(), frame.begin(), frame.end());
  if (joined.size() > static_cast<std::size_t>(kRxBufSize)) return;
  FrameDecoder decoder;
  const auto events = decoder.Feed(joined.data(), joined.size());
  if (events.empty() || !events.back().isFrame || events.back().bytes != frame) return;
  const ReplyAction alone = ParseReply(frame.data(), static_cast<int>(frame.size()), curCmd);
  if (!SameReading(ParseReply(joined.data(), static_cast<int>(joined.size()), curCmd), alone)) std::abort();
}

// The block stretched to a full receive buffer that ends in the first
// `split` bytes of an answer frame, and the rest of the frame as the next
// block: read as that frame alone, as long as the first block holds no frame
// and the frame is found whole at the end of the two.
void CheckAnswerAcrossBlocks(const std::vector<std::uint8_t>& block, int curCmd) {
  if (curCmd < 0 || curCmd > 255 || block.empty()) return;
  const std::uint8_t data[4] = {block[0], static_cast<std::uint8_t>(block.size()), 0, 1};
  std::vector<std::uint8_t> frame(sizeof data + kFrameOverhead);
  BuildFrame(frame.data(), data, sizeof data, static_cast<std::uint8_t>(curCmd), 0);
  const std::size_t split = 1 + block.back() % (frame.size() - 1);
  std::vector<std::uint8_t> piece;
  while (piece.size() < static_cast<std::size_t>(kRxBufSize) - split)
    piece.push_back(block[piece.size() % block.size()]);
  piece.insert(piece.end(), frame.begin(), frame.begin() + static_cast<long>(split));
  const std::vector<std::uint8_t> rest(frame.begin() + static_cast<long>(split), frame.end());
  const ReplyAction first = ParseReply(piece.data(), kRxBufSize, curCmd);
  if (!first.burstPiece) return;
  if (first.accepted) std::abort();
  std::vector<std::uint8_t> joined(piece.end() - kReplyCarryBytes, piece.end());
  joined.insert(joined.end(), rest.begin(), rest.end());
  FrameDecoder decoder;
  const auto events = decoder.Feed(joined.data(), joined.size());
  if (events.empty() || !events.back().isFrame || events.back().bytes != frame) return;
  const ReplyAction alone = ParseReply(frame.data(), static_cast<int>(frame.size()), curCmd);
  const ReplyAction read = ParseReply(piece.data() + kRxBufSize - kReplyCarryBytes, kReplyCarryBytes,
                                      rest.data(), static_cast<int>(rest.size()), curCmd);
  if (!SameReading(read, alone)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CRsCom rs(nullptr, {});
  static CNetLink net({});
  static CDeviceLink link(rs, net, nullptr, LinkHooks{});
  static const int kNoted[] = {cmd::kQueryPosition, cmd::kBezel, cmd::kHandshake, cmd::kVersion, 0x00, 0x4F};
  // What the link keeps of a piece of a burst, as the program reads it.
  static std::vector<std::uint8_t> carried;
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
        ParseReply(carried.data(), static_cast<int>(carried.size()), exact.empty() ? nullptr : exact.data(),
                   static_cast<int>(n), curCmd);
    Check(direct, curCmd);
    const ReplyAction taken = link.TakeReply(block, static_cast<int>(n));
    Check(taken, curCmd);
    link.EndReply();
    // The buffer copy reads the same bytes as the block (up to its limit).
    if (n <= static_cast<std::size_t>(kRxBufSize) && !SameReading(taken, direct)) std::abort();
    // Only a full buffer without a frame lends its tail to the next block.
    if (taken.burstPiece && (n < static_cast<std::size_t>(kRxBufSize) || taken.accepted)) std::abort();
    carried.clear();
    if (taken.burstPiece) carried.assign(block + kRxBufSize - kReplyCarryBytes, block + kRxBufSize);
    CheckAnswerAfter(exact, curCmd);
    CheckAnswerAcrossBlocks(exact, curCmd);
  }
  return 0;
}
