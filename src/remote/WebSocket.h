// The server side of a WebSocket (RFC 6455), as small as the events feed
// needs: the opening handshake, text frames out, pings answered, a close
// echoed. Messages from the client carry nothing the server uses: they are
// read within limits and dropped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "remote/HttpParser.h"

namespace panora::remote {

std::array<std::uint8_t, 20> Sha1(std::string_view data);
std::string Base64(const std::uint8_t* data, std::size_t size);
// Sec-WebSocket-Accept for a Sec-WebSocket-Key.
std::string WebSocketAccept(std::string_view key);

struct UpgradeCheck {
  int status = 101;    // 101, or 400/426 with `error`
  std::string error;
  std::string accept;  // Sec-WebSocket-Accept
};
// Whether a GET is a well-formed version 13 opening handshake.
UpgradeCheck CheckUpgrade(const HttpRequest& request);

enum WsOpcode : std::uint8_t {
  kWsContinuation = 0x0,
  kWsText = 0x1,
  kWsBinary = 0x2,
  kWsClose = 0x8,
  kWsPing = 0x9,
  kWsPong = 0xA,
};
inline constexpr std::size_t kMaxWsPayload = 65536;

// One unmasked frame from the server, FIN set.
std::string EncodeWsFrame(WsOpcode opcode, std::string_view payload);

// Reads the client's frames one at a time. Faults fail the connection with
// a close code: 1002 protocol error, 1009 frame too big.
class CWsReader {
 public:
  enum class State { Reading, Frame, Failed };
  // Takes bytes up to the end of one frame; returns how many it took.
  std::size_t Feed(const char* data, std::size_t size);
  State GetState() const { return m_state; }
  // When Frame: its opcode and (for control frames) its unmasked payload;
  // data frames' payloads are dropped as they arrive.
  WsOpcode Opcode() const { return m_opcode; }
  const std::string& Payload() const { return m_payload; }
  int CloseCode() const { return m_closeCode; }
  void Next();

 private:
  void HeaderDone();
  void Fail(int code) {
    m_state = State::Failed;
    m_closeCode = code;
  }

  State m_state = State::Reading;
  std::uint8_t m_header[14] = {};
  std::size_t m_headerHave = 0;
  std::size_t m_headerNeed = 2;
  bool m_headerDone = false;
  WsOpcode m_opcode = kWsText;
  std::uint64_t m_length = 0;
  std::uint64_t m_read = 0;
  std::array<std::uint8_t, 4> m_mask{};
  std::string m_payload;
  bool m_inMessage = false;  // a fragmented data message is open
  int m_closeCode = 0;
};

}  // namespace panora::remote
