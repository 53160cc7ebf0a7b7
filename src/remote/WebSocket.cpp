#include "remote/WebSocket.h"

#include <algorithm>

namespace panora::remote {

namespace {

std::uint32_t Rotl(std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

void Sha1Block(std::array<std::uint32_t, 5>& h, const std::uint8_t* block) {
  std::uint32_t w[80];
  for (int i = 0; i < 16; ++i)
    w[i] = (std::uint32_t{block[4 * i]} << 24) | (std::uint32_t{block[4 * i + 1]} << 16) |
           (std::uint32_t{block[4 * i + 2]} << 8) | std::uint32_t{block[4 * i + 3]};
  for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const std::uint32_t t = Rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = t;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
}

constexpr std::string_view kBase64Chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool ValidKey(std::string_view key) {
  // 16 random bytes in base64: 22 characters and "==".
  return key.size() == 24 && key.substr(22) == "==" &&
         std::all_of(key.begin(), key.begin() + 22,
                     [](char c) { return kBase64Chars.find(c) != std::string_view::npos; });
}

bool IsKnownOpcode(unsigned op) {
  return op == kWsContinuation || op == kWsText || op == kWsBinary || op == kWsClose || op == kWsPing ||
         op == kWsPong;
}

}  // namespace

std::array<std::uint8_t, 20> Sha1(std::string_view data) {
  std::array<std::uint32_t, 5> h{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
  std::size_t left = data.size();
  for (; left >= 64; left -= 64, p += 64) Sha1Block(h, p);
  std::uint8_t tail[128] = {};
  std::copy(p, p + left, tail);
  tail[left] = 0x80;
  const std::size_t tailSize = left < 56 ? 64 : 128;
  const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  for (int i = 0; i < 8; ++i) tail[tailSize - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Sha1Block(h, tail);
  if (tailSize == 128) Sha1Block(h, tail + 64);
  std::array<std::uint8_t, 20> out{};
  for (int i = 0; i < 20; ++i) out[i] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
  return out;
}

std::string Base64(const std::uint8_t* data, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < size; i += 3) {
    const std::uint32_t v = (std::uint32_t{data[i]} << 16) | (i + 1 < size ? std::uint32_t{data[i + 1]} << 8 : 0) |
                            (i + 2 < size ? std::uint32_t{data[i + 2]} : 0);
    out.push_back(kBase64Chars[(v >> 18) & 63]);
    out.push_back(kBase64Chars[(v >> 12) & 63]);
    out.push_back(i + 1 < size ? kBase64Chars[(v >> 6) & 63] : '=');
    out.push_back(i + 2 < size ? kBase64Chars[v & 63] : '=');
  }
  return out;
}

std::string WebSocketAccept(std::string_view key) {
  const auto digest = Sha1(std::string(key) + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11");
  return Base64(digest.data(), digest.size());
}

UpgradeCheck CheckUpgrade(const HttpRequest& request) {
  UpgradeCheck r;
  auto refuse = [&](int status, std::string error) {
    r.status = status;
    r.error = std::move(error);
    return r;
  };
  if (!request.HeaderHasToken("upgrade", "websocket"))
    return refuse(426, "/api/v1/events is a WebSocket: send Upgrade: websocket");
  if (request.minorVersion != 1) return refuse(400, "a WebSocket needs HTTP/1.1");
  if (!request.HeaderHasToken("connection", "upgrade")) return refuse(400, "Connection: Upgrade is missing");
  const std::string* version = request.Header("sec-websocket-version");
  if (request.HeaderCount("sec-websocket-version") != 1 || *version != "13")
    return refuse(426, "Sec-WebSocket-Version 13 only");
  const std::string* key = request.Header("sec-websocket-key");
  if (request.HeaderCount("sec-websocket-key") != 1 || !ValidKey(*key))
    return refuse(400, "Sec-WebSocket-Key must be 16 bytes in base64");
  if (!request.body.empty()) return refuse(400, "an opening handshake has no body");
  r.accept = WebSocketAccept(*key);
  return r;
}

std::string EncodeWsFrame(WsOpcode opcode, std::string_view payload) {
  std::string f;
  f.reserve(payload.size() + 10);
  f.push_back(static_cast<char>(0x80 | opcode));
  const std::uint64_t n = payload.size();
  if (n <= 125) {
    f.push_back(static_cast<char>(n));
  } else if (n <= 0xFFFF) {
    f.push_back(static_cast<char>(126));
    f.push_back(static_cast<char>(n >> 8));
    f.push_back(static_cast<char>(n & 0xFF));
  } else {
    f.push_back(static_cast<char>(127));
    for (int i = 7; i >= 0; --i) f.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  }
  f.append(payload);
  return f;
}

void CWsReader::Next() {
  m_state = State::Reading;
  m_headerHave = 0;
  m_headerNeed = 2;
  m_headerDone = false;
  m_length = 0;
  m_read = 0;
  m_payload.clear();
}

void CWsReader::HeaderDone() {
  m_headerDone = true;
  const std::uint8_t b0 = m_header[0];
  const std::uint8_t len7 = m_header[1] & 0x7F;
  std::size_t at = 2;
  if (len7 == 126) {
    m_length = (std::uint64_t{m_header[2]} << 8) | m_header[3];
    at = 4;
  } else if (len7 == 127) {
    m_length = 0;
    for (int i = 0; i < 8; ++i) m_length = (m_length << 8) | m_header[2 + i];
    at = 10;
    if (m_length >> 63) return Fail(1002);
  } else {
    m_length = len7;
  }
  if (m_length > kMaxWsPayload) return Fail(1009);
  std::copy(m_header + at, m_header + at + 4, m_mask.begin());
  m_opcode = static_cast<WsOpcode>(b0 & 0x0F);
  const bool fin = (b0 & 0x80) != 0;
  if (m_opcode == kWsContinuation || m_opcode == kWsText || m_opcode == kWsBinary) {
    // A continuation needs an open message; a new message needs none open.
    if ((m_opcode == kWsContinuation) != m_inMessage) return Fail(1002);
    m_inMessage = !fin;
  }
  if (m_length == 0) m_state = State::Frame;
}

std::size_t CWsReader::Feed(const char* data, std::size_t size) {
  std::size_t used = 0;
  while (used < size && m_state == State::Reading) {
    if (!m_headerDone) {
      m_header[m_headerHave++] = static_cast<std::uint8_t>(data[used++]);
      if (m_headerHave == 2) {
        const std::uint8_t b0 = m_header[0];
        const std::uint8_t b1 = m_header[1];
        const unsigned op = b0 & 0x0F;
        const bool control = (op & 0x8) != 0;
        // No extension was agreed, every client frame is masked, and
        // control frames come whole and short.
        if ((b0 & 0x70) != 0 || !IsKnownOpcode(op) || (b1 & 0x80) == 0 ||
            (control && ((b0 & 0x80) == 0 || (b1 & 0x7F) > 125))) {
          Fail(1002);
          break;
        }
        const unsigned len7 = b1 & 0x7F;
        m_headerNeed = 2 + (len7 == 126 ? 2 : len7 == 127 ? 8 : 0) + 4;
      }
      if (m_headerHave == m_headerNeed) HeaderDone();
      continue;
    }
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(size - used, m_length - m_read));
    if ((m_opcode & 0x8) != 0) {
      for (std::size_t i = 0; i < take; ++i)
        m_payload.push_back(static_cast<char>(static_cast<std::uint8_t>(data[used + i]) ^ m_mask[(m_read + i) % 4]));
    }
    used += take;
    m_read += take;
    if (m_read == m_length) m_state = State::Frame;
  }
  return used;
}

}  // namespace panora::remote
