// Finds command frames in a byte stream. A read may hold part of a frame or
// several frames; bytes that are not a valid frame are reported as skipped,
// with the reason, and the decoder resynchronises on the next start bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace panora {

enum class SkipReason {
  Garbage,      // no frame starts here
  BadLength,    // start bytes with a length that no frame can have
  BadChecksum,  // a whole candidate frame whose checksum does not match
  BadTrailer,   // a whole candidate frame without "END" where it should be
  Truncated,    // an unfinished frame dropped by Flush
};

std::string_view SkipReasonText(SkipReason reason);

struct DecoderEvent {
  bool isFrame = false;
  SkipReason reason = SkipReason::Garbage;  // meaningful when !isFrame
  // A frame: its whole bytes. A skip: the bytes given up.
  std::vector<std::uint8_t> bytes;
  // For BadChecksum and BadTrailer: the rejected candidate frame, so that a
  // log can show what arrived; its bytes after the first two are scanned again.
  std::vector<std::uint8_t> candidate;

  std::uint8_t Command() const { return bytes.size() > 4 ? bytes[4] : 0; }
  std::uint8_t SubCode() const { return bytes.size() > 5 ? bytes[5] : 0; }
  // Payload of a frame (empty for a skip).
  const std::uint8_t* Payload() const { return bytes.data() + 8; }
  std::size_t PayloadSize() const { return isFrame ? bytes.size() - 12 : 0; }
};

class FrameDecoder {
 public:
  // Largest frame accepted: the transmit buffer's size.
  static constexpr std::size_t kMaxFrame = 1024;

  // Appends bytes and returns the frames and skips they complete, in stream order.
  std::vector<DecoderEvent> Feed(const std::uint8_t* data, std::size_t count);
  // Gives up a partial frame held back for more bytes (end of a connection).
  std::vector<DecoderEvent> Flush();
  void Reset() { m_buf.clear(); }
  std::size_t Pending() const { return m_buf.size(); }

 private:
  void Emit(std::vector<DecoderEvent>& out, SkipReason reason, std::size_t count);
  std::vector<std::uint8_t> m_buf;
};

}  // namespace panora
