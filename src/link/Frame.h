// The command frame every instruction to the processor travels in:
//   '}' ':' L/255 L%255 command sub-code 0 0 payload checksum "END"
// with L = payload length + 4. There is no escaping.
#pragma once

#include <cstddef>
#include <cstdint>

namespace panora {

inline constexpr std::uint8_t kFrameStart0 = 0x7D;                    // '}'
inline constexpr std::uint8_t kFrameStart1 = 0x3A;                    // ':'
inline constexpr std::uint8_t kFrameTrailer[3] = {0x45, 0x4E, 0x44};  // "END"
inline constexpr int kFrameHeaderSize = 8;
inline constexpr int kFrameOverhead = 12;  // header, checksum and trailer
inline constexpr int kTxBufSize = 1024;
inline constexpr int kMaxPayload = kTxBufSize - kFrameOverhead;
inline constexpr int kModeCount = 34;

// Describes one built frame; it does not own the bytes.
class CKezCmd {
 public:
  CKezCmd() = default;
  CKezCmd(std::uint8_t* data, int total, int counted) : m_pData(data), m_nTotal(total), m_nCounted(counted) {}
  virtual ~CKezCmd() = default;

  std::uint8_t* Data() const { return m_pData; }
  int TotalLength() const { return m_nTotal; }      // n + 12
  int CountedLength() const { return m_nCounted; }  // n + 4
  std::uint8_t Command() const { return m_pData ? m_pData[4] : 0; }
  std::uint8_t SubCode() const { return m_pData ? m_pData[5] : 0; }

 private:
  std::uint8_t* m_pData = nullptr;
  int m_nTotal = 0;
  int m_nCounted = 0;
};

// Process-wide transmit buffer: frames are built and sent from here.
extern std::uint8_t g_TxBuf[kTxBufSize];

// Sums the L bytes from byte 4 modulo 256 and stores the sum at byte L + 4.
void FrameChecksum(std::uint8_t* frame, int counted);

// Writes a whole frame into buffer (which must hold n + 12 bytes) and
// describes it. A null payload with n > 0 leaves the payload bytes as they are.
CKezCmd BuildFrame(std::uint8_t* buffer, const std::uint8_t* payload, int n, std::uint8_t command,
                   std::uint8_t subCode);

// The command byte and sub-code that recall a mode (0..33).
struct ModeRecallCode {
  std::uint8_t command;
  std::uint8_t subCode;
};
// Returns false for an index outside 0..33 (the code is then left zero).
bool ModeRecallBytes(int mode, ModeRecallCode& out);

// Builds the twelve-byte recall frame of mode 0..33 into buffer (g_TxBuf by
// default). An index outside 0..33 builds nothing and returns an empty
// descriptor, so that no undefined frame reaches the processor.
CKezCmd BuildModeRecall(int mode, std::uint8_t* buffer = g_TxBuf);

}  // namespace panora
