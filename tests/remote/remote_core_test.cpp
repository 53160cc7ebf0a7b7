// The remote control's request handling without sockets: the parser's
// limits, who may do what, the fields' validation, the WebSocket frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "remote/ApiRouter.h"
#include "remote/HttpParser.h"
#include "remote/HttpSecurity.h"
#include "remote/HttpSession.h"
#include "remote/WebSocket.h"
#include "remote/RecordingHost.h"

using namespace panora::remote;
using panora::test::RecordingHost;

namespace {

const std::string kHost = "Host: 127.0.0.1:8080\r\n";
const std::string kToken = "s3cret-Token_1";

ServerConfig Config(std::string token = {}) {
  ServerConfig c;
  c.hostNames = {"127.0.0.1", "localhost", "[::1]"};
  c.port = 8080;
  c.token = std::move(token);
  c.page = "<!doctype html><title>remote</title>";
  return c;
}

std::string Post(const std::string& path, const std::string& body, const std::string& extra = {}) {
  return "POST " + path + " HTTP/1.1\r\n" + kHost + "Content-Type: application/json\r\n" + extra +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct Response {
  int status = 0;
  std::string head;
  std::string body;
};

// Splits what a session sent into responses; stops after a 101.
std::vector<Response> Responses(const std::string& out) {
  std::vector<Response> list;
  std::size_t at = 0;
  while (at < out.size()) {
    const std::size_t end = out.find("\r\n\r\n", at);
    if (end == std::string::npos || out.compare(at, 9, "HTTP/1.1 ") != 0) break;
    Response r;
    r.head = out.substr(at, end + 4 - at);
    r.status = std::stoi(out.substr(at + 9, 3));
    at = end + 4;
    const std::size_t cl = r.head.find("Content-Length: ");
    if (cl != std::string::npos) {
      const std::size_t n = std::stoul(r.head.substr(cl + 16));
      r.body = out.substr(at, n);
      at += n;
    }
    list.push_back(r);
    if (r.status == 101) break;
  }
  return list;
}

// Feeds `text` to a fresh session, in pieces of `piece` bytes.
std::vector<Response> Exchange(const std::string& text, RecordingHost& host, const ServerConfig& config,
                               std::size_t piece = 1 << 20, bool* closing = nullptr) {
  CHttpSession s(host, config);
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += piece) {
    s.Feed(std::string_view(text).substr(i, piece));
    out += s.TakeOutput();
  }
  if (closing != nullptr) *closing = s.Closing();
  return Responses(out);
}

// The body's text with its quotes unescaped, to read as the client would.
std::string Unescaped(std::string body) {
  for (std::size_t at; (at = body.find("\\\"")) != std::string::npos;) body.erase(at, 1);
  return body;
}

int StatusOf(const std::string& text, RecordingHost& host, const ServerConfig& config) {
  const auto r = Exchange(text, host, config);
  return r.empty() ? 0 : r[0].status;
}

}  // namespace

TEST(HttpParser, ReadsPipelinedRequestsTheSameInAnyPieces) {
  const std::string text = "\r\nGET /api/v1/state?x=1 HTTP/1.1\r\nHost: a\r\nX-Thing:  spaced value \t\r\n\r\n" +
                           Post("/api/v1/mode", R"({"mode":8})");
  for (std::size_t piece : {std::size_t{1}, std::size_t{7}, text.size()}) {
    CHttpParser p;
    std::vector<HttpRequest> got;
    for (std::size_t i = 0; i < text.size();) {
      const std::size_t n = std::min(piece, text.size() - i);
      std::size_t used = 0;
      while (used < n) {
        used += p.Feed(text.data() + i + used, n - used);
        ASSERT_FALSE(p.Failed()) << p.ErrorText();
        if (p.Done()) {
          got.push_back(p.Request());
          p.Next();
        }
      }
      i += n;
    }
    ASSERT_EQ(got.size(), 2u) << piece;
    EXPECT_EQ(got[0].path, "/api/v1/state");
    EXPECT_EQ(got[0].target, "/api/v1/state?x=1");
    EXPECT_EQ(*got[0].Header("x-thing"), "spaced value");
    EXPECT_EQ(got[1].method, "POST");
    EXPECT_EQ(got[1].body, R"({"mode":8})");
  }
}

TEST(HttpParser, LimitsHoldBeforeAnythingIsBuffered) {
  // A head one byte over 8 KB: refused on that byte, with no more held.
  std::string big = "GET / HTTP/1.1\r\n" + kHost + "X-Pad: " + std::string(kMaxHead, 'a');
  CHttpParser p;
  std::size_t used = 0;
  while (used < big.size() && !p.Failed()) {
    used += p.Feed(big.data() + used, 100);
    EXPECT_LE(p.Held(), kMaxHead);
  }
  EXPECT_EQ(p.ErrorStatus(), 431);
  EXPECT_EQ(used, kMaxHead + 1);

  // A body over 64 KB is refused from its Content-Length: not a byte of it is taken.
  const std::string head = "POST /api/v1/mode HTTP/1.1\r\n" + kHost + "Content-Length: 65537\r\n\r\n";
  const std::string text = head + "{}";
  CHttpParser q;
  EXPECT_EQ(q.Feed(text.data(), text.size()), head.size());
  EXPECT_EQ(q.ErrorStatus(), 413);
  // 64 KB exactly is taken, and held as the body.
  const std::string fits = "POST /x HTTP/1.1\r\n" + kHost + "Content-Length: 65536\r\n\r\n" + std::string(kMaxBody, 'b');
  CHttpParser r;
  EXPECT_EQ(r.Feed(fits.data(), fits.size()), fits.size());
  EXPECT_TRUE(r.Done());
  EXPECT_EQ(r.Request().body.size(), kMaxBody);
  EXPECT_EQ(r.Feed("x", 1), 0u);  // the next request waits for Next()
}

TEST(HttpParser, RefusesWhatItCannotFrame) {
  std::string manyHeaders;
  for (int i = 0; i < 101; ++i) manyHeaders += "X-" + std::to_string(i) + ": 1\r\n";
  const struct {
    std::string text;
    int status;
  } cases[] = {
      {"POST /a HTTP/1.1\r\n" + kHost + "Transfer-Encoding: chunked\r\n\r\n", 411},
      {"POST /a HTTP/1.1\r\n" + kHost + "Transfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n", 400},
      {"POST /a HTTP/1.1\r\n" + kHost + "Content-Length: 5\r\nContent-Length: 6\r\n\r\n", 400},
      {"POST /a HTTP/1.1\r\n" + kHost + "Content-Length: 5, 6\r\n\r\n", 400},
      {"POST /a HTTP/1.1\r\n" + kHost + "Content-Length: -1\r\n\r\n", 400},
      {"POST /a HTTP/1.1\r\n" + kHost + "Content-Length: 99999999999999999999999\r\n\r\n", 413},
      {"PUT /a HTTP/1.1\r\n" + kHost + "\r\n", 405},
      {"OPTIONS /a HTTP/1.1\r\n" + kHost + "\r\n", 405},
      {"GET /a HTTP/2.0\r\n" + kHost + "\r\n", 505},
      {"GET /a HTTP/1.1 extra\r\n" + kHost + "\r\n", 400},
      {"GET http://evil/a HTTP/1.1\r\n" + kHost + "\r\n", 400},
      {std::string("\x16\x03\x01\x02\x00\x01\xfc\x03\x03\n\n", 11), 400},  // TLS on the plain port
      {"GET /a HTTP/1.1\r\n" + kHost + " folded: line\r\n\r\n", 400},
      {"GET /a HTTP/1.1\r\n" + kHost + "X-Bad : space\r\n\r\n", 400},
      {"GET /a HTTP/1.1\r\n" + kHost + "X-Bad: nul\x01\r\n\r\n", 400},
      {"GET /a HTTP/1.1\r\n" + kHost + "X-Bad: bare\rcr\r\n\r\n", 400},
      {"GET /a HTTP/1.1\r\n\r\n", 400},
      {"GET /a HTTP/1.0\r\n\r\n", 400},
      {"GET /a HTTP/1.1\r\n" + kHost + kHost + "\r\n", 400},
      {"GET /a HTTP/1.1\r\n" + kHost + manyHeaders + "\r\n", 431},
  };
  for (const auto& c : cases) {
    CHttpParser p;
    p.Feed(c.text.data(), c.text.size());
    EXPECT_TRUE(p.Failed()) << c.text;
    EXPECT_EQ(p.ErrorStatus(), c.status) << c.text << ": " << p.ErrorText();
  }
}

TEST(HttpParser, KeepAliveAndContinueFollowTheVersion) {
  const struct {
    std::string head;
    bool keepAlive;
  } cases[] = {
      {"GET / HTTP/1.1\r\n" + kHost, true},
      {"GET / HTTP/1.1\r\n" + kHost + "Connection: Keep-Alive, CLOSE\r\n", false},
      {"GET / HTTP/1.0\r\n" + kHost, false},
      {"GET / HTTP/1.0\r\n" + kHost + "Connection: keep-alive\r\n", true},
  };
  for (const auto& c : cases) {
    CHttpParser p;
    const std::string text = c.head + "\r\n";
    p.Feed(text.data(), text.size());
    ASSERT_TRUE(p.Done()) << c.head;
    EXPECT_EQ(p.Request().keepAlive, c.keepAlive) << c.head;
  }
  RecordingHost host;
  const ServerConfig config = Config();
  CHttpSession s(host, config);
  s.Feed("POST /api/v1/mode HTTP/1.1\r\n" + kHost +
         "Content-Type: application/json\r\nExpect: 100-continue\r\nContent-Length: 10\r\n\r\n");
  EXPECT_EQ(s.TakeOutput(), "HTTP/1.1 100 Continue\r\n\r\n");
  s.Feed(R"({"mode":3})");
  EXPECT_EQ(Responses(s.TakeOutput())[0].status, 200);
  EXPECT_EQ(host.calls, std::vector<std::string>{"mode 3"});
}

TEST(HttpSecurity, HostAndOriginMustNameThisServer) {
  const ServerConfig c = Config();
  for (const char* ok : {"127.0.0.1:8080", "localhost:8080", "LocalHost:8080", "[::1]:8080"})
    EXPECT_TRUE(HostAllowed(ok, c)) << ok;
  // DNS rebinding arrives with the attacker's name; other ports are other servers.
  for (const char* bad : {"evil.example:8080", "127.0.0.1", "127.0.0.1:80", "127.0.0.1:8080x", "localhost.:8080",
                          "[::1]", "::1:8080", "127.0.0.1:", "", ":8080", "127.0.0.1:08080x", "[::1:8080"})
    EXPECT_FALSE(HostAllowed(bad, c)) << bad;
  ServerConfig port80 = c;
  port80.port = 80;
  EXPECT_TRUE(HostAllowed("localhost", port80));

  EXPECT_TRUE(OriginAllowed("http://localhost:8080", c));
  EXPECT_TRUE(OriginAllowed("HTTP://[::1]:8080", c));
  for (const char* bad : {"null", "http://evil.example:8080", "https://localhost:8080", "http://localhost:8080/",
                          "http://localhost:9090", "http://", "localhost:8080"})
    EXPECT_FALSE(OriginAllowed(bad, c)) << bad;
}

TEST(HttpSecurity, TokenAndContentType) {
  auto request = [](std::vector<HttpHeader> headers) {
    HttpRequest r;
    r.headers = std::move(headers);
    return r;
  };
  EXPECT_EQ(CheckToken(request({}), "", false), Access::Granted);
  EXPECT_EQ(CheckToken(request({}), kToken, false), Access::Missing);
  EXPECT_EQ(CheckToken(request({{"authorization", "Bearer " + kToken}}), kToken, false), Access::Granted);
  EXPECT_EQ(CheckToken(request({{"authorization", "bearer   " + kToken}}), kToken, false), Access::Granted);
  EXPECT_EQ(CheckToken(request({{"authorization", "Bearer " + kToken + "x"}}), kToken, false), Access::Wrong);
  EXPECT_EQ(CheckToken(request({{"authorization", "Bearer s3cret"}}), kToken, false), Access::Wrong);
  EXPECT_EQ(CheckToken(request({{"authorization", "Basic " + kToken}}), kToken, false), Access::Wrong);
  EXPECT_EQ(CheckToken(request({{"authorization", "Bearer " + kToken}, {"authorization", "Bearer x"}}), kToken, false),
            Access::Wrong);
  // The subprotocol carries it on the events WebSocket only.
  const HttpRequest ws = request({{"sec-websocket-protocol", "panora.v1, bearer." + kToken}});
  EXPECT_EQ(CheckToken(ws, kToken, true), Access::Granted);
  EXPECT_EQ(CheckToken(ws, kToken, false), Access::Missing);
  EXPECT_EQ(CheckToken(request({{"sec-websocket-protocol", "bearer.nope"}}), kToken, true), Access::Wrong);

  EXPECT_TRUE(ConstantTimeEquals("abc", "abc"));
  EXPECT_FALSE(ConstantTimeEquals("abcd", "abc"));
  EXPECT_FALSE(ConstantTimeEquals("ab", "abc"));
  EXPECT_FALSE(ConstantTimeEquals("", "abc"));
  EXPECT_TRUE(ValidToken(kToken));
  for (const std::string& bad : {std::string(), std::string("with space"), std::string("a,b"), std::string(257, 'a')})
    EXPECT_FALSE(ValidToken(bad)) << bad;

  EXPECT_TRUE(IsJsonContentType("application/json"));
  EXPECT_TRUE(IsJsonContentType("Application/JSON; charset=utf-8"));
  for (const char* bad : {"text/plain", "application/x-www-form-urlencoded", "multipart/form-data; boundary=x",
                          "application/jsonp", "application/json-patch+json", ""})
    EXPECT_FALSE(IsJsonContentType(bad)) << bad;
}

TEST(ApiRouter, RefusalsComeBeforeTheHost) {
  RecordingHost host;
  const ServerConfig c = Config(kToken);
  const std::string auth = "Authorization: Bearer " + kToken + "\r\n";
  const std::string mode = R"({"mode":8})";
  const struct {
    std::string text;
    int status;
  } cases[] = {
      {"GET /api/v1/state HTTP/1.1\r\n" + kHost + "\r\n", 401},
      {"GET /api/v1/state HTTP/1.1\r\n" + kHost + "Authorization: Bearer wrong\r\n\r\n", 401},
      {"GET /nothing HTTP/1.1\r\n" + kHost + "\r\n", 401},  // no token, no list of routes
      {"GET /api/v1/state HTTP/1.1\r\nHost: evil.example:8080\r\n" + auth + "\r\n", 403},
      {"GET /api/v1/state HTTP/1.1\r\n" + kHost + "Origin: http://evil.example\r\n" + auth + "\r\n", 403},
      {"GET / HTTP/1.1\r\nHost: rebound.example:8080\r\n\r\n", 403},
      {Post("/api/v1/mode", mode, "Origin: null\r\n" + auth), 403},
      {"POST /api/v1/mode HTTP/1.1\r\n" + kHost + auth + "Content-Type: text/plain\r\nContent-Length: 10\r\n\r\n" + mode,
       415},
      {"POST /api/v1/mode HTTP/1.1\r\n" + kHost + auth + "Content-Length: 10\r\n\r\n" + mode, 415},
      {"POST /api/v1/setup/send HTTP/1.1\r\n" + kHost + auth + "\r\n", 415},
      {Post("/api/v1/nothing", mode, auth), 404},
      {Post("/api/v1/windows/5", mode, auth), 404},
      {Post("/api/v1/mode/", mode, auth), 404},
      {"GET /api/v1/mode HTTP/1.1\r\n" + kHost + auth + "\r\n", 405},
      {Post("/api/v1/state", mode, auth), 405},
      {Post("/api/v1/events", "", auth), 405},
      {"GET /api/v1/events HTTP/1.1\r\n" + kHost + auth + "\r\n", 426},
      {Post("/api/v1/mode", R"({"mode":8})", "Authorization: Bearer " + kToken + "\r\n" + "Origin: http://localhost:8080\r\n"),
       200},
  };
  for (const auto& k : cases) {
    host.calls.clear();
    EXPECT_EQ(StatusOf(k.text, host, c), k.status) << k.text;
    if (k.status != 200) {
      EXPECT_TRUE(host.calls.empty()) << k.text;
    }
  }
  // The page loads without a token (it asks for one) and carries no data.
  const auto page = Exchange("GET / HTTP/1.1\r\n" + kHost + "\r\n", host, c);
  EXPECT_EQ(page[0].status, 200);
  EXPECT_EQ(page[0].body, c.page);
  EXPECT_NE(page[0].head.find("X-Frame-Options: DENY"), std::string::npos);
  EXPECT_NE(Exchange("GET /api/v1/state HTTP/1.1\r\n" + kHost + "\r\n", host, c)[0].head.find("WWW-Authenticate: Bearer"),
            std::string::npos);
}

TEST(ApiRouter, ValidationNamesTheFieldAndTheRange) {
  RecordingHost host;
  const ServerConfig c = Config();
  const struct {
    std::string path, body, error;
  } cases[] = {
      {"/api/v1/mode", "", "body: not valid JSON"},
      {"/api/v1/mode", "[8]", "body: a JSON object is required"},
      {"/api/v1/mode", R"({"mode":8,"mode":9})", "field \"mode\" given twice"},
      {"/api/v1/mode", "{}", "\"mode\" is required: an integer 0..33"},
      {"/api/v1/mode", R"({"mode":34})", "\"mode\" must be an integer 0..33"},
      {"/api/v1/mode", R"({"mode":-1})", "\"mode\" must be an integer 0..33"},
      {"/api/v1/mode", R"({"mode":8.0})", "\"mode\" must be an integer 0..33"},
      {"/api/v1/mode", R"({"mode":"8"})", "\"mode\" must be an integer 0..33"},
      {"/api/v1/mode", R"({"mode":18446744073709551616})", "\"mode\" must be an integer 0..33"},
      {"/api/v1/mode", R"({"mode":8,"extra":1})", "unknown field \"extra\" (allowed: mode)"},
      {"/api/v1/windows/2", R"({"x":0,"y":0,"w":0,"h":10})", "\"w\" must be an integer 1..65535"},
      {"/api/v1/windows/2", R"({"x":-5,"y":0,"w":10,"h":10})", "\"x\" must be an integer 0..65534"},
      {"/api/v1/windows/2", R"({"x":0,"y":0,"w":10})", "\"h\" is required: an integer 1..65535"},
      {"/api/v1/windows/2", R"({"x":65000,"y":0,"w":1000,"h":10})", "\"x\" + \"w\" must be at most 65535"},
      {"/api/v1/windows/2", R"({"x":0,"y":65535,"w":1,"h":1})", "\"y\" must be an integer 0..65534"},
      {"/api/v1/inputs", "{}", "at least one of \"CH1\"..\"CH4\""},
      {"/api/v1/inputs", R"({"CH5":1})", "unknown field \"CH5\" (allowed: CH1..CH4)"},
      {"/api/v1/inputs", R"({"CH2":5})", "\"CH2\" must be an integer 1..4"},
      {"/api/v1/layers", R"({"layers":{"CH1":1,"CH2":1,"CH3":3,"CH4":4}})", "permutation of 1..4: layer 1 given twice"},
      {"/api/v1/layers", R"({"layers":{"CH1":1,"CH2":2,"CH3":3}})", "must give the layer 1..4 of each"},
      {"/api/v1/layers", R"({"output":0,"layers":{}})", "\"output\" must be an integer 1..4"},
      {"/api/v1/layers", R"({"output":"one","layers":{}})", "\"output\" must be 1..4 or \"all\""},
      {"/api/v1/layers", R"({"output":"all"})", "\"layers\" is required"},
      {"/api/v1/display", R"({"all":["CH1","CH1"]})", "\"all\" must be a list of distinct channels"},
      {"/api/v1/display", R"({"all":["CH1"],"Out2":[]})", "give \"all\" or \"Out1\"..\"Out4\", not both"},
      {"/api/v1/display", R"({"Out5":["CH1"]})", "unknown field \"Out5\""},
      {"/api/v1/display", "{}", "give \"all\" or one of"},
      {"/api/v1/resolution", R"({"Out3":7})", "\"Out3\" must be an integer 1..6"},
      {"/api/v1/resolution", R"({"all":0})", "\"all\" must be an integer 1..6"},
      {"/api/v1/setup/send", R"({"userModes":1})", "\"userModes\" must be true or false"},
  };
  for (const auto& k : cases) {
    const auto r = Exchange(Post(k.path, k.body), host, c);
    ASSERT_EQ(r.size(), 1u) << k.body;
    EXPECT_EQ(r[0].status, 400) << k.path << " " << k.body;
    EXPECT_NE(Unescaped(r[0].body).find(k.error), std::string::npos) << k.body << " -> " << r[0].body;
  }
  EXPECT_TRUE(host.calls.empty());
}

TEST(ApiRouter, AcceptedRequestsReachTheHostOnceWithItsAnswer) {
  RecordingHost host;
  const ServerConfig c = Config();
  const struct {
    std::string path, body, call;
  } cases[] = {
      {"/api/v1/mode", R"({"mode":33})", "mode 33"},
      {"/api/v1/windows/4", R"({"x":0,"y":10,"w":65535,"h":100})", "window 4 0 10 65535 100"},
      {"/api/v1/inputs", R"({"CH2":3,"CH4":1})", "inputs - 3 - 1"},
      {"/api/v1/layers", R"({"layers":{"CH1":4,"CH2":3,"CH3":2,"CH4":1}})", "layers all 4 3 2 1"},
      {"/api/v1/layers", R"({"output":2,"layers":{"CH1":1,"CH2":2,"CH3":3,"CH4":4}})", "layers 2 1 2 3 4"},
      {"/api/v1/display", R"({"all":["CH3","CH1"]})", "display all 13"},
      {"/api/v1/display", R"({"Out1":[],"Out4":["CH4"]})", "display out1 none out4 4"},
      {"/api/v1/resolution", R"({"all":6})", "resolution all 6 - - - -"},
      {"/api/v1/resolution", R"({"Out2":1})", "resolution - 1 - -"},
      {"/api/v1/setup/send", "", "setup"},
      {"/api/v1/setup/send", R"({"userModes":true})", "setup user"},
  };
  for (const auto& k : cases) {
    host.calls.clear();
    const auto r = Exchange(Post(k.path, k.body), host, c);
    EXPECT_EQ(r.at(0).status, 200) << k.body << r[0].body;
    EXPECT_EQ(host.calls, std::vector<std::string>{k.call});
  }
  // The program's own refusals go out as it gave them.
  host.reply = {409, R"({"error":"please wait second, sending data have not finished"})"};
  auto r = Exchange(Post("/api/v1/mode", R"({"mode":1})"), host, c);
  EXPECT_EQ(r[0].status, 409);
  EXPECT_EQ(r[0].body, host.reply.body);
  host.reply = {503, R"({"error":"no link"})"};
  EXPECT_EQ(Exchange(Post("/api/v1/mode", R"({"mode":1})"), host, c)[0].status, 503);
  const auto state = Exchange("GET /api/v1/state HTTP/1.1\r\n" + kHost + "\r\n", host, c);
  EXPECT_EQ(state[0].body, R"({"mode":17})");
}

TEST(WebSocket, HandshakeDigest) {
  auto hex = [](const std::array<std::uint8_t, 20>& d) {
    std::string s;
    for (auto b : d) s += "0123456789abcdef"[b >> 4], s += "0123456789abcdef"[b & 15];
    return s;
  };
  EXPECT_EQ(hex(Sha1("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(hex(Sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(hex(Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(hex(Sha1(std::string(1000, 'a'))), "291e9a6c66994949b57ba5e650361e98fc36b1ba");
  EXPECT_EQ(WebSocketAccept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

namespace {

std::string Upgrade(const std::string& extra = {}) {
  return "GET /api/v1/events HTTP/1.1\r\n" + kHost +
         "Upgrade: websocket\r\nConnection: keep-alive, Upgrade\r\nSec-WebSocket-Version: 13\r\n"
         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n" +
         extra + "\r\n";
}

// A client frame, masked as clients must.
std::string ClientFrame(std::uint8_t first, const std::string& payload, bool masked = true) {
  std::string f(1, static_cast<char>(first));
  const char mask[4] = {0x11, 0x22, 0x33, 0x44};
  if (payload.size() < 126) {
    f += static_cast<char>((masked ? 0x80 : 0) | payload.size());
  } else {
    f += static_cast<char>((masked ? 0x80 : 0) | 127);
    for (int i = 7; i >= 0; --i) f += static_cast<char>((payload.size() >> (8 * i)) & 0xFF);
  }
  if (masked) f.append(mask, 4);
  for (std::size_t i = 0; i < payload.size(); ++i) f += masked ? static_cast<char>(payload[i] ^ mask[i % 4]) : payload[i];
  return f;
}

// What follows the 101 response.
std::string AfterHandshake(const std::string& out) { return out.substr(out.find("\r\n\r\n") + 4); }

}  // namespace

TEST(WebSocket, UpgradeAnswersPingsAndEndsOnBadFrames) {
  RecordingHost host;
  const ServerConfig c = Config(kToken);
  // The page's way: the token as a subprotocol beside ours, which is answered.
  {
    CHttpSession s(host, c);
    s.Feed(Upgrade("Sec-WebSocket-Protocol: panora.v1, bearer." + kToken + "\r\n") +
           ClientFrame(0x89, "hi") + ClientFrame(0x81, "ignored") + ClientFrame(0x88, "\x03\xE8"));
    const std::string out = s.TakeOutput();
    const auto r = Responses(out);
    ASSERT_EQ(r.at(0).status, 101);
    EXPECT_NE(r[0].head.find("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"), std::string::npos);
    EXPECT_NE(r[0].head.find("Sec-WebSocket-Protocol: panora.v1\r\n"), std::string::npos);
    EXPECT_EQ(AfterHandshake(out), EncodeWsFrame(kWsPong, "hi") + EncodeWsFrame(kWsClose, "\x03\xE8"));
    EXPECT_TRUE(s.IsEventClient());
    EXPECT_TRUE(s.Closing());
  }
  const std::string auth = "Authorization: Bearer " + kToken + "\r\n";
  const struct {
    std::string frames;
    std::string close;  // the close frame's status code
  } bad[] = {
      {ClientFrame(0x89, "x", false), "\x03\xEA"},                        // not masked
      {ClientFrame(0xC1, "x"), "\x03\xEA"},                               // an extension bit
      {ClientFrame(0x09, "x"), "\x03\xEA"},                               // a fragmented ping
      {ClientFrame(0x80, "x"), "\x03\xEA"},                               // a continuation of nothing
      {ClientFrame(0x01, "a") + ClientFrame(0x81, "b"), "\x03\xEA"},      // a new message inside one
      {ClientFrame(0x83, "x"), "\x03\xEA"},                               // an unknown opcode
      {ClientFrame(0x82, std::string(kMaxWsPayload + 1, 'z')), "\x03\xF1"},  // too big
  };
  for (const auto& b : bad) {
    CHttpSession s(host, c);
    s.Feed(Upgrade(auth) + b.frames);
    EXPECT_EQ(AfterHandshake(s.TakeOutput()), EncodeWsFrame(kWsClose, b.close)) << b.frames.size();
    EXPECT_TRUE(s.Closing());
  }
  // A fragmented message is taken (and dropped), and pings still answered.
  CHttpSession s(host, c);
  s.Feed(Upgrade(auth) + ClientFrame(0x01, "a") + ClientFrame(0x89, "") + ClientFrame(0x80, "b"));
  EXPECT_EQ(AfterHandshake(s.TakeOutput()), EncodeWsFrame(kWsPong, ""));
  EXPECT_FALSE(s.Closing());

  for (const auto& [extra, status] : std::vector<std::pair<std::string, int>>{
           {"Sec-WebSocket-Version: 8\r\n", 426},
           {"Sec-WebSocket-Key: short==\r\n", 400},
           {"Sec-WebSocket-Protocol: bearer.wrong\r\n", 401}}) {
    std::string text = Upgrade(extra);
    if (extra.starts_with("Sec-WebSocket-Version"))
      text.replace(text.find("Sec-WebSocket-Version: 13\r\n"), 27, "");
    if (extra.starts_with("Sec-WebSocket-Key"))
      text.replace(text.find("Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"), 45, "");
    if (status != 401) text.insert(text.size() - 2, auth);
    bool closing = false;
    EXPECT_EQ(Exchange(text, host, c, text.size(), &closing).at(0).status, status) << extra;
    EXPECT_TRUE(closing) << "a refused upgrade ends the connection";
  }
  EXPECT_TRUE(host.calls.empty());
}

TEST(HttpSession, AnswersInOrderAndGarbageEndsOnlyWhatFollows) {
  RecordingHost host;
  const ServerConfig c = Config();
  const std::string text = Post("/api/v1/mode", R"({"mode":1})") + "GET /api/v1/state HTTP/1.1\r\n" + kHost + "\r\n" +
                           Post("/api/v1/mode", R"({"mode":99})") + Post("/api/v1/mode", R"({"mode":2})") +
                           "BAD REQUEST LINE\r\n\r\n" + Post("/api/v1/mode", R"({"mode":3})");
  for (std::size_t piece : {std::size_t{1}, std::size_t{13}, text.size()}) {
    host.calls.clear();
    bool closing = false;
    const auto r = Exchange(text, host, c, piece, &closing);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].status, 200);
    EXPECT_EQ(r[1].body, R"({"mode":17})");
    EXPECT_EQ(r[2].status, 400);
    EXPECT_EQ(r[3].status, 200);
    EXPECT_EQ(r[4].status, 400);
    EXPECT_NE(r[4].head.find("Connection: close"), std::string::npos);
    EXPECT_TRUE(closing);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"mode 1", "state", "mode 2"}));
  }
  // HTTP/1.0 keeps the connection only when asked, and is told so.
  const auto r10 = Exchange("GET /api/v1/state HTTP/1.0\r\n" + kHost + "Connection: keep-alive\r\n\r\n", host, c);
  EXPECT_NE(r10[0].head.find("Connection: keep-alive"), std::string::npos);
}
