#include "link/Frame.h"

#include <cstring>

#include "link/Commands.h"

namespace panora {

std::uint8_t g_TxBuf[kTxBufSize];

void FrameChecksum(std::uint8_t* frame, int counted) {
  unsigned sum = 0;
  for (int i = 0; i < counted; ++i) sum += frame[4 + i];
  frame[counted + 4] = static_cast<std::uint8_t>(sum & 0xFF);
}

CKezCmd BuildFrame(std::uint8_t* buffer, const std::uint8_t* payload, int n, std::uint8_t command,
                   std::uint8_t subCode) {
  const int counted = n + 4;
  buffer[0] = kFrameStart0;
  buffer[1] = kFrameStart1;
  buffer[2] = static_cast<std::uint8_t>(counted / 255);  // 255, not 256
  buffer[3] = static_cast<std::uint8_t>(counted % 255);
  buffer[4] = command;
  buffer[5] = subCode;
  buffer[6] = 0;
  buffer[7] = 0;
  if (payload != nullptr && n > 0)
    std::memmove(buffer + kFrameHeaderSize, payload, static_cast<std::size_t>(n));
  FrameChecksum(buffer, counted);
  std::memcpy(buffer + counted + 5, kFrameTrailer, sizeof kFrameTrailer);
  return CKezCmd(buffer, n + kFrameOverhead, counted);
}

namespace {
// Mode groups in index order: first index, count, command byte, first sub-code.
struct RecallGroup {
  int first;
  int count;
  std::uint8_t command;
  std::uint8_t subCode;
};
constexpr RecallGroup kRecallGroups[] = {
    {0, 4, cmd::kRecallZoomOut, cmd::kSubRecallFourTimes},   // "4Times-Default"
    {4, 4, cmd::kRecallZoomOut, cmd::kSubRecallThreeTimes},  // "3Times-Default"
    {8, 5, cmd::kRecallFull, cmd::kSubRecallDefault},        // "Full-Default"
    {13, 5, cmd::kRecallPip, cmd::kSubRecallDefault},        // "PIP-Default"
    {18, 3, cmd::kRecallPop, cmd::kSubRecallDefault},        // "POP-Default"
    {21, 5, cmd::kRecallFull, cmd::kSubRecallUser},          // "Full-User"
    {26, 5, cmd::kRecallPip, cmd::kSubRecallUser},           // "PIP-User"
    {31, 3, cmd::kRecallPop, cmd::kSubRecallUser},           // "POP-User"
};
}  // namespace

bool ModeRecallBytes(int mode, ModeRecallCode& out) {
  out = {0, 0};
  for (const auto& g : kRecallGroups) {
    if (mode >= g.first && mode < g.first + g.count) {
      out.command = g.command;
      out.subCode = static_cast<std::uint8_t>(g.subCode + (mode - g.first));
      return true;
    }
  }
  return false;
}

CKezCmd BuildModeRecall(int mode, std::uint8_t* buffer) {
  ModeRecallCode code;
  if (!ModeRecallBytes(mode, code)) return CKezCmd();
  return BuildFrame(buffer, nullptr, 0, code.command, code.subCode);
}

}  // namespace panora
