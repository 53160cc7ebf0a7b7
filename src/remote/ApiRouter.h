// One HTTP request in, one response out: the security checks first, then
// the route, the method, the content type and the body's fields, and only a
// request that passed them all reaches the program (ApiHost). A refused
// request names the field and the allowed range in {"error": "..."}.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "remote/ApiHost.h"
#include "remote/HttpParser.h"
#include "remote/HttpSecurity.h"

namespace panora::remote {

struct HttpResponse {
  int status = 200;
  std::string contentType = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;  // beyond the usual ones
  std::string body;
  bool close = false;    // the connection ends after this response
  bool upgrade = false;  // 101: the connection becomes an events WebSocket
};

std::string_view StatusText(int status);
// {"error": message} as JSON text.
std::string ErrorBody(std::string_view message);
HttpResponse ErrorResponse(int status, std::string_view message);
// Status line, headers and body; `http10KeepAlive` adds the header an
// HTTP/1.0 client needs to keep the connection.
std::string SerializeResponse(const HttpResponse& response, bool http10KeepAlive = false);

HttpResponse Respond(const HttpRequest& request, const ServerConfig& config, ApiHost& host);

}  // namespace panora::remote
