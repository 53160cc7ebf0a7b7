// Who may use the remote control, decided from a request's head before
// anything runs. A page of another site open in the operator's browser must
// get nothing done, even on loopback:
// - Host must name the listening address (DNS rebinding: a foreign name
//   that resolves to this machine still carries its own name);
// - an Origin, when sent, must be the server's own;
// - a state-changing request must be application/json, which a foreign page
//   cannot send without the browser asking first (and nothing answers that);
// - with a token, every request needs `Authorization: Bearer <token>`; the
//   events WebSocket may carry it as the subprotocol `bearer.<token>`
//   instead, since a browser cannot set headers on a WebSocket. The page
//   itself (GET /) needs no token: it holds no data and asks for the token.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "remote/HttpParser.h"

namespace panora::remote {

// What a server instance accepts.
struct ServerConfig {
  // Names of the listening address that Host and Origin may carry:
  // lower-case, IPv6 addresses in brackets ("127.0.0.1", "localhost", "[::1]").
  std::vector<std::string> hostNames;
  int port = 8080;
  std::string token;  // empty: no token needed
  std::string page;   // what GET / serves
};

// The subprotocol the page asks for beside its bearer entry; the server
// answers with it (a browser drops a handshake that answers with none).
inline constexpr std::string_view kEventsProtocol = "panora.v1";
inline constexpr std::string_view kBearerProtocolPrefix = "bearer.";

bool HostAllowed(std::string_view host, const ServerConfig& config);
bool OriginAllowed(std::string_view origin, const ServerConfig& config);
// application/json, with or without parameters.
bool IsJsonContentType(std::string_view contentType);
// Compares in time that depends on the expected value's length alone.
bool ConstantTimeEquals(std::string_view given, std::string_view expected);
// A token that fits both an Authorization header and a WebSocket
// subprotocol: 1 to 256 of A-Z a-z 0-9 - . _ ~
bool ValidToken(std::string_view token);

enum class Access { Granted, Missing, Wrong };
// The token check of one request; `protocolAllowed`: the WebSocket's
// subprotocol may carry it.
Access CheckToken(const HttpRequest& request, std::string_view token, bool protocolAllowed);

// The entries of all Sec-WebSocket-Protocol headers, in order.
std::vector<std::string> OfferedProtocols(const HttpRequest& request);

}  // namespace panora::remote
