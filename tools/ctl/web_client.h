// The client half of the running program's remote control, for
// `panora-ctl --app`: one HTTP/1.1 request per connection over a plain
// socket, and the client side of a WebSocket (RFC 6455) for the event
// stream. No TLS: the program serves plain HTTP.
#pragma once

#include <signal.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "remote/WebSocket.h"

namespace panora::ctl {

// The handshake's arithmetic is the server's own.
using remote::Base64;
using remote::Sha1;
using remote::WebSocketAccept;

// Where the program listens: "HOST:PORT", "[v6]:PORT" or just "PORT"
// (then 127.0.0.1, as `panora --control PORT` listens there).
struct AppAddress {
  std::string host;
  int port = 0;
  // The Host header: what the program checks against its own address.
  std::string HostHeader() const;
};
bool ParseAppAddress(const std::string& text, AppAddress& out);

struct HttpResponse {
  int status = 0;
  std::string reason;
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string body;
  // The value of the first header of that (lower-case) name, or "".
  std::string Header(const std::string& name) const;
};

// How an exchange ended; the commands turn these into exit statuses.
enum class Outcome { Ok, NoConnection, NoAnswer };

// One socket and the bytes received on it that nobody has taken yet.
class Connection {
 public:
  explicit Connection(int fd) : m_fd(fd) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool SendAll(const std::string& bytes, int timeoutMs, std::string& error);
  enum class Read { Data, Closed, Failed, TimedOut, Interrupted };
  // Appends what arrives within timeoutMs (-1: no limit) to In(). With a
  // mask, waits with that signal mask, so that a signal blocked otherwise
  // ends the wait (Interrupted) without a race.
  Read ReadMore(int timeoutMs, const sigset_t* waitMask, std::string& error);
  std::string& In() { return m_in; }

 private:
  int m_fd;
  std::string m_in;
};

// Reads the answer's status line and headers, then its body unless it is a
// 101 (whatever follows a switch of protocols stays in conn.In()). The body
// comes by Content-Length, chunked or up to the close; at most 16 MiB.
Outcome ReadResponse(Connection& conn, int timeoutMs, HttpResponse& out, std::string& error);

// One whole frame off the front of the received bytes.
struct WsFrame {
  bool fin = true;
  int opcode = 0;
  std::string payload;
};
enum class Take { Frame, NeedMore, Broken };
// A server's frames come unmasked; anything that breaks the framing rules
// (reserved bits, a masked or oversized frame, a long or fragmented control
// frame) is Broken, with the reason in why.
Take TakeWsFrame(std::string& in, std::size_t maxPayload, WsFrame& frame, std::string& why);
// A client's frame: final, masked with the given key.
std::string MaskedWsFrame(int opcode, const std::string& payload, std::uint32_t maskKey);

namespace ws {
inline constexpr int kContinuation = 0x0, kText = 0x1, kBinary = 0x2, kClose = 0x8, kPing = 0x9, kPong = 0xA;
}

}  // namespace panora::ctl
