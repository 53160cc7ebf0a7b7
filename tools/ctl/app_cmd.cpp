#include "ctl/app_cmd.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>

#include "ctl/cli.h"
#include "ctl/link_io.h"
#include "ctl/web_client.h"

namespace panora::ctl {

namespace {

using namespace exit_status;
using Json = nlohmann::ordered_json;

constexpr int kConnectMs = 3000;
constexpr std::size_t kMaxMessage = 1 << 20;
// A ping on a quiet event stream, well inside the 30 s after which the
// program may close a connection that says nothing.
constexpr int kKeepaliveMs = 15000;
constexpr int kCloseWaitMs = 1000;

volatile sig_atomic_t g_stop = 0;
void OnStop(int) {
  g_stop = 1;
}

struct Target {
  AppAddress address;
  std::string token;  // from PANORA_CONTROL_TOKEN, never from the command line
  int timeoutMs = 0;
};

std::unique_ptr<Connection> Connect(const AppAddress& address) {
  std::string error;
  const int fd = ConnectTcp(address.host, address.port, kConnectMs, error);
  if (fd < 0) {
    std::fprintf(stderr, "panora-ctl: %s\n", error.c_str());
    return nullptr;
  }
  return std::make_unique<Connection>(fd);
}

std::string Head(const std::string& method, const std::string& path, const Target& t) {
  std::string head = method + " " + path + " HTTP/1.1\r\nHost: " + t.address.HostHeader() +
                     "\r\nUser-Agent: panora-ctl\r\nAccept: application/json\r\n";
  if (!t.token.empty()) head += "Authorization: Bearer " + t.token + "\r\n";
  return head;
}

int NoAnswer(const std::string& error) {
  std::fprintf(stderr, "panora-ctl: %s\n", error.c_str());
  return kExitNoAnswer;
}

// The program's own words for a refusal: the "error" of its JSON body.
int HttpError(const HttpResponse& r) {
  std::string text;
  const Json body = Json::parse(r.body, nullptr, false);
  if (body.is_object() && body.contains("error") && body["error"].is_string()) text = body["error"];
  if (text.empty()) text = r.body.empty() ? r.reason : r.body.substr(0, 500);
  std::fprintf(stderr, "panora-ctl: %d %s: %s\n", r.status, r.reason.c_str(), text.c_str());
  return kExitHttpError;
}

// Sends `request` and reads the answer into `r`: kExitOk, or the exit status
// of what went wrong (told on stderr), a refusal's included.
int Ask(Connection& conn, const std::string& request, const Target& t, HttpResponse& r) {
  std::string error;
  if (!conn.SendAll(request, t.timeoutMs, error)) return NoAnswer(error);
  switch (ReadResponse(conn, t.timeoutMs, r, error)) {
    case Outcome::Ok: break;
    case Outcome::NoConnection: std::fprintf(stderr, "panora-ctl: %s\n", error.c_str()); return kExitConnect;
    case Outcome::NoAnswer: return NoAnswer(error);
  }
  return r.status >= 400 ? HttpError(r) : kExitOk;
}

int Exchange(const Target& t, const std::string& method, const std::string& path, const std::string& body) {
  auto conn = Connect(t.address);
  if (!conn) return kExitConnect;
  std::string request = Head(method, path, t);
  if (method == "POST") {
    request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  }
  request += "Connection: close\r\n\r\n" + body;
  HttpResponse r;
  if (const int status = Ask(*conn, request, t, r); status != kExitOk) return status;
  if (r.status < 200 || r.status > 299)
    return NoAnswer("an answer the API does not give: " + std::to_string(r.status) + " " + r.reason);
  std::fputs(r.body.c_str(), stdout);
  if (r.body.empty() || r.body.back() != '\n') std::fputc('\n', stdout);
  return kExitOk;
}

// A header value must be a token to go into Sec-WebSocket-Protocol.
bool IsHeaderToken(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("!#$%&'*+-.^_`|~", c)) return false;
  return true;
}

class EventStream {
 public:
  EventStream(Connection& conn) : m_conn(conn), m_rng(std::random_device{}()) {}

  bool Send(int opcode, const std::string& payload) {
    std::string error;
    return m_conn.SendAll(MaskedWsFrame(opcode, payload, static_cast<std::uint32_t>(m_rng())), 1000, error);
  }

  // Prints every text message as one line until the stream ends or a
  // signal asks to stop. Returns the exit status.
  int Run(const sigset_t& waitMask) {
    std::string message, why, error;
    bool inMessage = false, isText = false;
    for (;;) {
      WsFrame f;
      Take take;
      while ((take = TakeWsFrame(m_conn.In(), kMaxMessage, f, why)) == Take::Frame) {
        if (f.opcode == ws::kPing) {
          Send(ws::kPong, f.payload);
        } else if (f.opcode == ws::kClose) {
          Send(ws::kClose, f.payload.substr(0, 2));
          std::string code;
          if (f.payload.size() >= 2)
            code = " (" +
                   std::to_string((static_cast<std::uint8_t>(f.payload[0]) << 8) |
                                  static_cast<std::uint8_t>(f.payload[1])) +
                   (f.payload.size() > 2 ? " " + f.payload.substr(2) : "") + ")";
          std::fprintf(stderr, "panora-ctl: the program closed the event stream%s\n", code.c_str());
          return kExitConnect;
        } else if (f.opcode != ws::kPong) {
          if ((f.opcode == ws::kContinuation) != inMessage) {
            why = inMessage ? "a new message before the last one ended" : "a continuation of no message";
            take = Take::Broken;
            break;
          }
          if (!inMessage) {
            message.clear();
            isText = f.opcode == ws::kText;
          }
          message += f.payload;
          inMessage = !f.fin;
          if (message.size() > kMaxMessage) {
            why = "a message of more than " + std::to_string(kMaxMessage) + " bytes";
            take = Take::Broken;
            break;
          }
          if (f.fin && isText) {
            message += '\n';
            std::fputs(message.c_str(), stdout);
            std::fflush(stdout);
          }
        }
      }
      if (take == Take::Broken) {
        Send(ws::kClose, std::string("\x03\xEA", 2));  // 1002: protocol error
        std::fprintf(stderr, "panora-ctl: the event stream breaks the WebSocket rules: %s\n", why.c_str());
        return kExitNoAnswer;
      }
      switch (m_conn.ReadMore(kKeepaliveMs, &waitMask, error)) {
        case Connection::Read::Data: break;
        case Connection::Read::TimedOut: Send(ws::kPing, ""); break;
        case Connection::Read::Interrupted:
          if (g_stop) return Close();
          break;
        case Connection::Read::Closed:
          std::fprintf(stderr, "panora-ctl: the program closed the event stream\n");
          return kExitConnect;
        case Connection::Read::Failed:
          std::fprintf(stderr, "panora-ctl: %s\n", error.c_str());
          return kExitConnect;
      }
    }
  }

 private:
  // Asked to stop: the closing handshake, briefly; the program may be gone.
  int Close() {
    if (!Send(ws::kClose, std::string("\x03\xE8", 2))) return kExitOk;  // 1000: normal
    std::string error, why;
    WsFrame f;
    for (int i = 0; i < 64; ++i) {
      while (TakeWsFrame(m_conn.In(), kMaxMessage, f, why) == Take::Frame)
        if (f.opcode == ws::kClose) return kExitOk;
      if (m_conn.ReadMore(kCloseWaitMs, nullptr, error) != Connection::Read::Data) break;
    }
    return kExitOk;
  }

  Connection& m_conn;
  std::mt19937 m_rng;
};

int Events(const Target& t) {
  auto conn = Connect(t.address);
  if (!conn) return kExitConnect;
  std::random_device rd;
  std::uint8_t nonce[16];
  for (auto& b : nonce) b = static_cast<std::uint8_t>(rd());
  const std::string key = Base64(nonce, sizeof nonce);
  std::string request = Head("GET", "/api/v1/events", t) +
                        "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                        "Sec-WebSocket-Key: " +
                        key + "\r\n";
  // The header is what this client sends the token in; the sub-protocol is
  // how a browser can (it cannot set headers on a WebSocket).
  if (IsHeaderToken(t.token)) request += "Sec-WebSocket-Protocol: bearer." + t.token + "\r\n";
  request += "\r\n";
  HttpResponse r;
  if (const int status = Ask(*conn, request, t, r); status != kExitOk) return status;
  std::string upgrade = r.Header("upgrade");
  for (auto& c : upgrade) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (r.status != 101 || upgrade != "websocket")
    return NoAnswer("the program did not open the event stream: " + std::to_string(r.status) + " " +
                    r.reason);
  if (r.Header("sec-websocket-accept") != WebSocketAccept(key))
    return NoAnswer("the program's answer does not accept this client's WebSocket key");

  // SIGINT and SIGTERM are let through only while waiting for data, so
  // that the stop request cannot slip in between a check and the wait.
  sigset_t stopSignals, waitMask;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);
  struct sigaction sa {};
  sa.sa_handler = OnStop;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  return EventStream(*conn).Run(waitMask);
}

bool ParseSigned(const std::string& s, long lo, long hi, long& out) {
  long v = 0;
  if (!s.empty() && s[0] == '-') {
    if (!ParseNumber(s.c_str() + 1, 1, -lo, v)) return false;
    v = -v;
  } else if (!ParseNumber(s.c_str(), lo > 0 ? lo : 0, hi, v)) {
    return false;
  }
  out = v;
  return true;
}

bool IsPath(const std::string& p) {
  if (p.empty() || p[0] != '/') return false;
  for (const char c : p)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return false;
  return true;
}

}  // namespace

bool IsAppCommand(const std::string& c) {
  return c == "state" || c == "mode" || c == "window" || c == "events" || c == "get" || c == "post";
}

int RunAppCommand(const std::string& address, int timeoutMs, const std::string& command,
                  const std::vector<std::string>& args, std::string& usageError) {
  Target t;
  t.timeoutMs = timeoutMs;
  if (!ParseAppAddress(address, t.address)) {
    usageError = "--app needs HOST:PORT or PORT";
    return kExitUsage;
  }
  if (const char* token = std::getenv("PANORA_CONTROL_TOKEN")) t.token = token;
  for (const char c : t.token) {
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) {
      usageError = "PANORA_CONTROL_TOKEN holds a control character";
      return kExitUsage;
    }
  }
  const auto wants = [&](std::size_t n, const char* what) {
    if (args.size() == n) return true;
    usageError = command + " takes " + what;
    return false;
  };

  if (command == "state") {
    if (!wants(0, "no arguments")) return kExitUsage;
    return Exchange(t, "GET", "/api/v1/state", "");
  }
  if (command == "events") {
    if (!wants(0, "no arguments")) return kExitUsage;
    return Events(t);
  }
  if (command == "mode") {
    long mode = 0;
    if (!wants(1, "one MODE") || !ParseNumber(args[0].c_str(), 0, 33, mode)) {
      usageError = "MODE must be one number 0..33";
      return kExitUsage;
    }
    return Exchange(t, "POST", "/api/v1/mode", Json{{"mode", mode}}.dump());
  }
  if (command == "window") {
    long v[5] = {};
    // The program judges a place against the output; here only what a
    // 16-bit geometry value can hold.
    const long lo[5] = {1, -65535, -65535, 1, 1}, hi[5] = {4, 65535, 65535, 65535, 65535};
    bool ok = wants(5, "CH X Y W H");
    for (std::size_t i = 0; ok && i < 5; ++i) ok = ParseSigned(args[i], lo[i], hi[i], v[i]);
    if (!ok) {
      usageError = "window takes CH (1..4) X Y W H (output pixels, W and H 1..65535)";
      return kExitUsage;
    }
    return Exchange(t, "POST", "/api/v1/windows/" + std::to_string(v[0]),
                    Json{{"x", v[1]}, {"y", v[2]}, {"w", v[3]}, {"h", v[4]}}.dump());
  }
  // get PATH, post PATH JSON: every other route, as written.
  const bool post = command == "post";
  if (!wants(post ? 2 : 1, post ? "PATH JSON" : "PATH")) return kExitUsage;
  if (!IsPath(args[0])) {
    usageError = "PATH must start with / and hold no blanks";
    return kExitUsage;
  }
  if (post && Json::parse(args[1], nullptr, false).is_discarded()) {
    usageError = "not JSON: " + args[1];
    return kExitUsage;
  }
  return Exchange(t, post ? "POST" : "GET", args[0], post ? args[1] : "");
}

}  // namespace panora::ctl
