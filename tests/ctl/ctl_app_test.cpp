// panora-ctl --app: the running program's remote control from a shell,
// against a loopback peer that plays the program's HTTP and WebSocket side.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CtlTestSupport.h"
#include "ctl/web_client.h"

namespace {

using namespace panora::test;

// ---- the running program's remote control (--app) ----------------------

using panora::ctl::WebSocketAccept;

void SendText(int fd, const std::string& s) {
  ::send(fd, s.data(), s.size(), MSG_NOSIGNAL);
}

std::string Answer(int status, const std::string& body, const std::string& extra = "") {
  return "HTTP/1.1 " + std::to_string(status) + " Whatever\r\nContent-Type: application/json\r\n" + extra +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A server frame (unmasked), FIN set unless told otherwise.
std::string ServerFrame(int opcode, const std::string& payload, bool fin = true) {
  std::string f(1, static_cast<char>((fin ? 0x80 : 0) | opcode));
  if (payload.size() < 126) {
    f += static_cast<char>(payload.size());
  } else {
    f += '\x7E';
    f += static_cast<char>(payload.size() >> 8);
    f += static_cast<char>(payload.size() & 0xFF);
  }
  return f + payload;
}

struct HttpRequest {
  std::string line, head, body;
  bool Has(const std::string& headerLine) const {
    return head.find(headerLine + "\r\n") != std::string::npos;
  }
};

// Plays the program's side of one connection: reads the request, then runs
// the script on the socket. The request is there for checks once the
// client has finished.
class FakeApp {
 public:
  using Script = std::function<void(int fd, const HttpRequest&)>;
  explicit FakeApp(Script script)
      : m_thread([this, script = std::move(script)] {
          const int fd = ::accept(m_listener.fd, nullptr, nullptr);
          if (fd < 0) return;
          std::string in;
          char buf[4096];
          ssize_t n;
          while (in.find("\r\n\r\n") == std::string::npos && (n = ::recv(fd, buf, sizeof buf, 0)) > 0)
            in.append(buf, static_cast<std::size_t>(n));
          const auto end = in.find("\r\n\r\n");
          if (end != std::string::npos) {
            m_request.line = in.substr(0, in.find("\r\n"));
            m_request.head = in.substr(0, end + 2);
            m_request.body = in.substr(end + 4);
            const auto cl = m_request.head.find("Content-Length: ");
            const std::size_t want = cl == std::string::npos ? 0 : std::stoul(m_request.head.substr(cl + 16));
            while (m_request.body.size() < want && (n = ::recv(fd, buf, sizeof buf, 0)) > 0)
              m_request.body.append(buf, static_cast<std::size_t>(n));
            script(fd, m_request);
          }
          ::close(fd);
        }) {}
  ~FakeApp() {
    ::shutdown(m_listener.fd, SHUT_RDWR);
    m_thread.join();
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(m_listener.port); }
  int Port() const { return m_listener.port; }
  // Only after the client is done.
  const HttpRequest& Request() const { return m_request; }

 private:
  Listener m_listener;
  HttpRequest m_request;
  std::thread m_thread;
};

FakeApp::Script Answers(const std::string& bytes) {
  return [bytes](int fd, const HttpRequest&) { SendText(fd, bytes); };
}

// Opens the WebSocket the way the program would, then runs `then`.
FakeApp::Script Upgrades(std::function<void(int fd)> then) {
  return [then = std::move(then)](int fd, const HttpRequest& r) {
    const auto k = r.head.find("Sec-WebSocket-Key: ");
    const std::string key = k == std::string::npos ? "" : r.head.substr(k + 19, 24);
    SendText(fd,
             "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
             "Sec-WebSocket-Accept: " +
                 WebSocketAccept(key) + "\r\n\r\n");
    then(fd);
  };
}

bool RecvExactly(int fd, std::string& out, std::size_t n) {
  out.resize(n);
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::recv(fd, out.data() + got, n - got, 0);
    if (r <= 0) return false;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

// One frame from the client; its mask bit must be set. Opcode -1 when none came.
struct ClientFrame {
  int opcode = -1;
  bool masked = false;
  std::string payload;
};
ClientFrame ReadClientFrame(int fd) {
  ClientFrame f;
  std::string h, mask;
  if (!RecvExactly(fd, h, 2)) return f;
  f.masked = h[1] & 0x80;
  const std::size_t n = h[1] & 0x7F;  // the client's control frames are short
  if (!RecvExactly(fd, mask, f.masked ? 4 : 0) || !RecvExactly(fd, f.payload, n)) return f;
  for (std::size_t i = 0; f.masked && i < n; ++i)
    f.payload[i] = static_cast<char>(f.payload[i] ^ mask[i % 4]);
  f.opcode = h[0] & 0x0F;
  return f;
}

// PANORA_CONTROL_TOKEN for one scope.
struct TokenEnv {
  explicit TokenEnv(const char* token) { ::setenv("PANORA_CONTROL_TOKEN", token, 1); }
  ~TokenEnv() { ::unsetenv("PANORA_CONTROL_TOKEN"); }
};

TEST(CtlApp, TheWebSocketArithmeticIsRfc6455s) {
  EXPECT_EQ(WebSocketAccept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
  // SHA-1 of 3 bytes and of 56, where the length no longer fits the block.
  const auto hex = [](const std::array<std::uint8_t, 20>& d) {
    std::string s;
    for (const auto b : d) s += "0123456789abcdef"[b >> 4], s += "0123456789abcdef"[b & 15];
    return s;
  };
  EXPECT_EQ(hex(panora::ctl::Sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(hex(panora::ctl::Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  const std::uint8_t f[] = {'f', 'o', 'o'};
  EXPECT_EQ(panora::ctl::Base64(f, 1), "Zg==");
  EXPECT_EQ(panora::ctl::Base64(f, 2), "Zm8=");
  EXPECT_EQ(panora::ctl::Base64(f, 3), "Zm9v");
}

TEST(CtlApp, CommandsSendTheirRequestAndPrintTheAnswer) {
  struct Case {
    std::vector<std::string> args;
    std::string line, body;
  };
  const Case cases[] = {
      {{"state"}, "GET /api/v1/state HTTP/1.1", ""},
      {{"mode", "8"}, "POST /api/v1/mode HTTP/1.1", R"({"mode":8})"},
      {{"mode", "0x21"}, "POST /api/v1/mode HTTP/1.1", R"({"mode":33})"},
      {{"window", "2", "100", "50", "960", "540"},
       "POST /api/v1/windows/2 HTTP/1.1",
       R"({"x":100,"y":50,"w":960,"h":540})"},
      {{"window", "4", "-20", "-1", "1", "65535"},
       "POST /api/v1/windows/4 HTTP/1.1",
       R"({"x":-20,"y":-1,"w":1,"h":65535})"},
      {{"post", "/api/v1/inputs", R"({"CH2": 3})"}, "POST /api/v1/inputs HTTP/1.1", R"({"CH2": 3})"},
      {{"get", "/api/v1/state?x=1"}, "GET /api/v1/state?x=1 HTTP/1.1", ""},
  };
  for (const auto& c : cases) {
    FakeApp app(Answers(Answer(200, R"({"ok":true,"mode":8})")));
    std::vector<std::string> args{"--app", app.Address()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = Ctl(args);
    EXPECT_EQ(r.status, 0) << c.line << r.err;
    EXPECT_EQ(r.out, "{\"ok\":true,\"mode\":8}\n");
    EXPECT_EQ(r.err, "");
    const auto& q = app.Request();
    EXPECT_EQ(q.line, c.line);
    EXPECT_EQ(q.body, c.body);
    EXPECT_TRUE(q.Has("Host: " + app.Address())) << q.head;  // the program checks it
    EXPECT_TRUE(q.Has("Connection: close")) << q.head;
    EXPECT_EQ(q.Has("Content-Type: application/json"), !c.body.empty()) << q.head;
    EXPECT_EQ(q.head.find("Authorization"), std::string::npos) << q.head;
  }
  // PORT alone is 127.0.0.1's, and the token comes from the environment.
  TokenEnv token("s3cr3t-Tok_en");
  FakeApp app(Answers(Answer(200, "{\"ok\":true}\n")));
  const auto r = Ctl({"--app", std::to_string(app.Port()), "mode", "17"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "{\"ok\":true}\n");
  EXPECT_TRUE(app.Request().Has("Authorization: Bearer s3cr3t-Tok_en")) << app.Request().head;
}

TEST(CtlApp, AnAnswerIsReadHoweverItsBodyComes) {
  const std::string chunked =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=y\r\n{\"mod\r\n"
      "A\r\ne\":17,\"a\":\r\n2\r\n1}\r\n0\r\nX-Trailer: 1\r\n\r\n";
  const std::string untilClose = "HTTP/1.0 200 OK\r\n\r\n{\"mode\":17,\"a\":1}";
  for (const auto& answer : {chunked, untilClose}) {
    FakeApp app([&](int fd, const HttpRequest&) {
      // Byte by byte, so that every piece of the reading meets a boundary.
      for (const char c : answer) SendText(fd, std::string(1, c));
    });
    const auto r = Ctl({"--app", app.Address(), "state"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"mode\":17,\"a\":1}\n") << answer;
  }
}

TEST(CtlApp, ARefusalPrintsTheProgramsTextAndGivesStatus5) {
  const std::pair<std::string, std::string> cases[] = {
      {Answer(409, R"({"error":"please wait second, sending data have not finished"})"),
       "409 Whatever: please wait second, sending data have not finished"},
      {Answer(503, R"({"error":"no link to the processor: applied on screen, not sent","applied":true})"),
       "503 Whatever: no link to the processor: applied on screen, not sent"},
      {Answer(400, R"({"error":"mode: 0..33"})"), "mode: 0..33"},
      {"HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n", "401 Unauthorized: Unauthorized"},
      {"HTTP/1.1 413 Too Large\r\nContent-Length: 9\r\n\r\nnot json!", "413 Too Large: not json!"},
  };
  for (const auto& [answer, text] : cases) {
    FakeApp app(Answers(answer));
    const auto r = Ctl({"--app", app.Address(), "mode", "8"});
    EXPECT_EQ(r.status, 5) << answer;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
  }
}

TEST(CtlApp, NoProgramOrNoHttpAnswerGivesStatus1Or3) {
  int port = 0;
  {
    Listener gone;
    port = gone.port;
  }
  auto r = Ctl({"--app", "127.0.0.1:" + std::to_string(port), "state"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot connect"), std::string::npos) << r.err;

  const std::pair<std::string, std::string> cases[] = {
      {"", "closed the connection without an answer"},
      {"SSH-2.0-OpenSSH\r\n\r\n", "no HTTP answer"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n{\"mode\"", "before its answer was complete"},
      {"HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", "Content-Length"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", "chunk size"},
      {"HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n", "302 Found"},
  };
  for (const auto& [answer, text] : cases) {
    FakeApp app(Answers(answer));
    r = Ctl({"--app", app.Address(), "state"});
    EXPECT_EQ(r.status, 3) << answer;
    EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
  }
  // A program that takes the request and says nothing: --timeout bounds it.
  FakeApp silent([](int fd, const HttpRequest&) {
    char buf[64];
    while (::recv(fd, buf, sizeof buf, 0) > 0) {
    }
  });
  r = Ctl({"--timeout", "200", "--app", silent.Address(), "state"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("no answer within 200 ms"), std::string::npos) << r.err;
  EXPECT_LT(r.seconds, 0.9);
}

TEST(CtlApp, BadArgumentsGiveUsageAndStatus2) {
  const std::vector<std::vector<std::string>> cases = {
      {"--app", "127.0.0.1:8080", "mode", "34"},
      {"--app", "127.0.0.1:8080", "mode", "-1"},
      {"--app", "127.0.0.1:8080", "mode"},
      {"--app", "127.0.0.1:8080", "window", "0", "0", "0", "10", "10"},
      {"--app", "127.0.0.1:8080", "window", "5", "0", "0", "10", "10"},
      {"--app", "127.0.0.1:8080", "window", "1", "0", "0", "-10", "10"},
      {"--app", "127.0.0.1:8080", "window", "1", "0", "0", "10", "0"},
      {"--app", "127.0.0.1:8080", "window", "1", "0", "0", "10"},
      {"--app", "127.0.0.1:8080", "window", "1", "0", "0", "10", "1x"},
      {"--app", "127.0.0.1:8080", "state", "extra"},
      {"--app", "127.0.0.1:8080", "events", "extra"},
      {"--app", "127.0.0.1:8080", "post", "/api/v1/mode", "{mode: 8}"},
      {"--app", "127.0.0.1:8080", "post", "api/v1/mode", "{}"},
      {"--app", "127.0.0.1:8080", "get", "/api/v1/state HTTP/1.0\r\nX: y"},
      {"--app", "127.0.0.1:8080", "recall", "8"},
      {"--app", "127.0.0.1:", "state"},
      {"--app", "::1:8080", "state"},
      {"--app", "127.0.0.1:70000", "state"},
      {"--app", "127.0.0.1:8080", "--tcp", "127.0.0.1:4001", "state"},
      {"mode", "8"},
      {"--tcp", "127.0.0.1:4001", "state"},
  };
  ExpectUsageErrors(cases);
  // A token that would split the header is refused before anything is sent.
  TokenEnv token("abc\r\nX-Evil: 1");
  const auto r = Ctl({"--app", "127.0.0.1:8080", "state"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("PANORA_CONTROL_TOKEN"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("abc"), std::string::npos) << "the token is never printed: " << r.err;
}

TEST(CtlApp, EventsPrintsEachMessageAnswersPingsAndEndsWithTheProgramsClose) {
  TokenEnv token("tok3n");
  ClientFrame pong, close;
  const std::string longEvent =
      R"({"event":"settings","what":"names","pad":")" + std::string(300, 'x') + "\"}";
  FakeApp app(Upgrades([&](int fd) {
    SendText(fd, ServerFrame(0x1, R"({"event":"mode","mode":8,"modeName":"Full-Default 1"})") +
                     ServerFrame(0x1, R"({"event":"win)", false) + ServerFrame(0x9, "mid") +
                     ServerFrame(0x0, R"(dow","channel":2})") + ServerFrame(0x2, "binary, not printed") +
                     ServerFrame(0x1, longEvent));
    if (ReadClientFrame(fd).opcode != 0xA) return;  // the pong to "mid"
    SendText(fd, ServerFrame(0x9, "hi"));
    pong = ReadClientFrame(fd);
    SendText(fd, ServerFrame(0x8,
                             "\x03\xE9"
                             "bye"));  // 1001: going away
    close = ReadClientFrame(fd);
  }));
  const auto r = Ctl({"--app", app.Address(), "events"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, R"({"event":"mode","mode":8,"modeName":"Full-Default 1"})"
                   "\n"
                   R"({"event":"window","channel":2})"
                   "\n" +
                       longEvent + "\n");
  EXPECT_NE(r.err.find("the program closed the event stream (1001 bye)"), std::string::npos) << r.err;
  EXPECT_EQ(pong.opcode, 0xA);
  EXPECT_TRUE(pong.masked);
  EXPECT_EQ(pong.payload, "hi");
  EXPECT_EQ(close.opcode, 0x8);
  EXPECT_TRUE(close.masked);
  EXPECT_EQ(close.payload, "\x03\xE9");
  const auto& q = app.Request();
  EXPECT_EQ(q.line, "GET /api/v1/events HTTP/1.1");
  for (const char* h : {"Upgrade: websocket", "Connection: Upgrade", "Sec-WebSocket-Version: 13",
                        "Authorization: Bearer tok3n", "Sec-WebSocket-Protocol: bearer.tok3n"})
    EXPECT_TRUE(q.Has(h)) << h << "\n" << q.head;
}

TEST(CtlApp, EventsEndsCleanlyOnSigint) {
  ClientFrame close;
  FakeApp app(Upgrades([&](int fd) {
    SendText(fd, ServerFrame(0x1, R"({"event":"link","state":"connected"})"));
    close = ReadClientFrame(fd);
    SendText(fd, ServerFrame(0x8, close.payload));
  }));
  int out[2];
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  const pid_t pid =
      panora::test::Spawn({BinPath("panora-ctl"), "--app", app.Address(), "events"}, out[1], -1);
  ::close(out[1]);
  std::string line;
  char c;
  while (line.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1) line += c;
  EXPECT_EQ(line, "{\"event\":\"link\",\"state\":\"connected\"}\n");  // flushed at once, not at exit
  ::kill(pid, SIGINT);
  EXPECT_EQ(panora::test::WaitPid(pid, 5000), 0);
  ::close(out[0]);
  EXPECT_EQ(close.opcode, 0x8);
  EXPECT_TRUE(close.masked);
  EXPECT_EQ(close.payload, std::string("\x03\xE8", 2));  // 1000: normal closure
}

TEST(CtlApp, EventsRefusesAStreamThatIsNotOne) {
  const std::pair<FakeApp::Script, std::string> cases[] = {
      {Answers("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
               "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n"),
       "does not accept this client's WebSocket key"},
      {Answers(Answer(200, "{}")), "did not open the event stream: 200"},
      {Upgrades([](int fd) {
         SendText(fd,
                  "\x81\x85"
                  "abcd"
                  "12345");
       }),
       "a masked frame from the server"},
      {Upgrades([](int fd) { SendText(fd, ServerFrame(0x0, "tail")); }), "a continuation of no message"},
      {Upgrades([](int fd) { SendText(fd, ServerFrame(0x1, "a", false) + ServerFrame(0x1, "b")); }),
       "a new message before the last one ended"},
      {Upgrades([](int fd) { SendText(fd, ServerFrame(0x9, std::string(126, 'p'))); }), "long control frame"},
      {Upgrades([](int fd) { SendText(fd, "\xC1\x01x"); }), "reserved bits"},
      {Upgrades([](int fd) { SendText(fd, std::string("\x81\x7F\x00\x00\x00\x00\x00\x10\x00\x01", 10)); }),
       "more than 1048576"},
  };
  for (const auto& [script, text] : cases) {
    FakeApp app(script);
    const auto r = Ctl({"--app", app.Address(), "events"});
    EXPECT_EQ(r.status, 3) << text << r.err;
    EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
  }
  FakeApp refused(Answers(Answer(401, R"({"error":"a token is needed: Authorization: Bearer <token>"})")));
  const auto r = Ctl({"--app", refused.Address(), "events"});
  EXPECT_EQ(r.status, 5);
  EXPECT_NE(r.err.find("a token is needed"), std::string::npos) << r.err;
}

}  // namespace
