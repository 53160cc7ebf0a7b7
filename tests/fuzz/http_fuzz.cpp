// libFuzzer target: one remote-control connection (CHttpSession) fed the
// input as a client's bytes. Byte 0 chooses the server (bit 0: a token is
// needed) and whether the connection first became an events WebSocket (bit
// 1), byte 1 the size of the pieces the rest arrives in. Beyond not failing:
// - the same bytes in pieces or whole give the same answers and calls;
// - no more is held than a head and a body may be;
// - every request read gets exactly one well-formed response, and a fault
//   ends the connection with nothing said or done after it;
// - the program is called for exactly the requests answered with its own
//   reply, and never without the token or, for a change, without JSON;
// - an events connection sends only whole frames, a close frame last.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "remote/ApiRouter.h"
#include "remote/HttpSession.h"
#include "remote/RecordingHost.h"

using namespace panora::remote;
using panora::test::RecordingHost;

namespace {

constexpr std::string_view kToken = "fuzz-token-0123";
constexpr std::string_view kHostReply = R"({"ok":"host"})";

#define CHECK(cond) \
  if (!(cond)) std::abort()

struct Run {
  std::string out;
  std::vector<std::string> calls;
  std::uint64_t answered = 0;
  bool closing = false;
};

Run Drive(const std::string& prefix, std::string_view input, std::size_t piece, const ServerConfig& config) {
  RecordingHost host;
  host.reply.body = kHostReply;
  CHttpSession s(host, config);
  Run r;
  s.Feed(prefix);
  r.out += s.TakeOutput();
  for (std::size_t at = 0; at < input.size(); at += piece) {
    const bool closedBefore = s.Closing();
    const std::size_t callsBefore = host.calls.size();
    s.Feed(input.substr(at, piece));
    CHECK(s.Held() <= kMaxHead + kMaxBody);
    const std::string more = s.TakeOutput();
    // Nothing is read, answered or done after the connection is to close.
    if (closedBefore) CHECK(more.empty() && host.calls.size() == callsBefore);
    r.out += more;
  }
  r.calls = host.calls;
  r.answered = s.Answered();
  r.closing = s.Closing();
  return r;
}

std::string WithoutContinue(std::string out) {
  static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
  for (std::size_t at; (at = out.find(kContinue)) != std::string::npos;) out.erase(at, kContinue.size());
  return out;
}

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
  return AsciiLower(hay).find(AsciiLower(needle)) != std::string::npos;
}

// Server frames: unmasked, whole, and nothing after a close; whether one came.
bool CheckFrames(std::string_view f) {
  bool close = false;
  while (!f.empty()) {
    CHECK(f.size() >= 2);
    const auto b0 = static_cast<std::uint8_t>(f[0]);
    const auto b1 = static_cast<std::uint8_t>(f[1]);
    CHECK(b0 == (0x80 | kWsPong) || b0 == (0x80 | kWsClose));
    CHECK(b1 <= 125);  // pongs echo at most 125 bytes; a close carries a code
    CHECK(f.size() >= 2u + b1);
    close = b0 == (0x80 | kWsClose);
    if (close) CHECK(f.size() == 2u + b1);
    f.remove_prefix(2u + b1);
  }
  return close;
}

// Splits the output into responses and checks each; returns the final ones.
std::uint64_t CheckResponses(std::string_view out, const Run& run, std::size_t& fromHost) {
  std::uint64_t finals = 0;
  bool closed = false;
  while (!out.empty()) {
    CHECK(!closed);
    const std::size_t end = out.find("\r\n\r\n");
    CHECK(end != std::string_view::npos && out.substr(0, 9) == "HTTP/1.1 ");
    const std::string_view head = out.substr(0, end + 4);
    const int status = std::stoi(std::string(out.substr(9, 3)));
    out.remove_prefix(head.size());
    if (status == 100) continue;
    ++finals;
    if (status == 101) {
      CHECK(CheckFrames(out) == run.closing);
      return finals;  // an events connection ends with a close frame, not an HTTP close
    }
    static constexpr int kKnown[] = {200, 400, 401, 403, 404, 405, 411, 413, 415, 426, 431, 505};
    CHECK(std::find(std::begin(kKnown), std::end(kKnown), status) != std::end(kKnown));
    const std::size_t cl = head.find("\r\nContent-Length: ");
    CHECK(cl != std::string_view::npos);
    const std::size_t length = std::stoul(std::string(head.substr(cl + 18)));
    CHECK(out.size() >= length);
    const std::string_view body = out.substr(0, length);
    if (body == kHostReply || body == R"({"mode":17})") ++fromHost;
    if (status != 200) CHECK(body.substr(0, 10) == "{\"error\":\"");
    out.remove_prefix(length);
    closed = head.find("\r\nConnection: close\r\n") != std::string_view::npos;
  }
  CHECK(closed == run.closing);
  return finals;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  ServerConfig config;
  config.hostNames = {"127.0.0.1", "localhost", "[::1]"};
  config.port = 8080;
  config.page = "<!doctype html>";
  if (data[0] & 1) config.token = kToken;
  std::string prefix;
  if (data[0] & 2)
    prefix = "GET /api/v1/events HTTP/1.1\r\nHost: localhost:8080\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
             "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
             "Authorization: Bearer " + std::string(kToken) + "\r\n\r\n";
  const std::string_view input(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t piece = 1 + data[1] % 61;

  const Run whole = Drive(prefix, input, input.size() + 1, config);
  const Run pieces = Drive(prefix, input, piece, config);
  // A body that is not there yet is asked for with 100 Continue; one that came with its head is not.
  CHECK(WithoutContinue(whole.out) == WithoutContinue(pieces.out) && whole.calls == pieces.calls &&
        whole.answered == pieces.answered && whole.closing == pieces.closing);

  std::size_t fromHost = 0;
  CHECK(CheckResponses(whole.out, whole, fromHost) == whole.answered);
  CHECK(fromHost == whole.calls.size());
  if (!whole.calls.empty() && !config.token.empty()) CHECK(input.find(kToken) != std::string_view::npos);
  for (const std::string& call : whole.calls)
    if (call != "state") CHECK(ContainsNoCase(input, "application/json"));
  return 0;
}
