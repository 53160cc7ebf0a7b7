#include "remote/HttpSecurity.h"

#include <algorithm>

namespace panora::remote {

namespace {

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool HostAllowed(std::string_view host, const ServerConfig& config) {
  std::string_view name = host;
  std::string_view port;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    name = host.substr(0, close + 1);
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port = rest.substr(1);
      if (port.empty()) return false;
    }
  } else if (const std::size_t colon = host.find(':'); colon != std::string_view::npos) {
    name = host.substr(0, colon);
    port = host.substr(colon + 1);
    if (port.empty()) return false;
  }
  if (name.empty()) return false;
  if (port.empty()) {
    if (config.port != 80) return false;
  } else if (!AllDigits(port) || port.size() > 5 || std::stoi(std::string(port)) != config.port) {
    return false;
  }
  const std::string lower = AsciiLower(name);
  return std::find(config.hostNames.begin(), config.hostNames.end(), lower) != config.hostNames.end();
}

bool OriginAllowed(std::string_view origin, const ServerConfig& config) {
  constexpr std::string_view kScheme = "http://";
  if (origin.size() <= kScheme.size() || !EqualsNoCase(origin.substr(0, kScheme.size()), kScheme)) return false;
  return HostAllowed(origin.substr(kScheme.size()), config);
}

bool IsJsonContentType(std::string_view contentType) {
  const std::string_view media = TrimSpace(contentType.substr(0, contentType.find(';')));
  return EqualsNoCase(media, "application/json");
}

bool ConstantTimeEquals(std::string_view given, std::string_view expected) {
  unsigned diff = given.size() == expected.size() ? 0U : 1U;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const char g = i < given.size() ? given[i] : '\0';
    diff |= static_cast<unsigned char>(g ^ expected[i]);
  }
  return diff == 0;
}

bool ValidToken(std::string_view token) {
  return !token.empty() && token.size() <= 256 && std::all_of(token.begin(), token.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '.' || c == '_' || c == '~';
  });
}

std::vector<std::string> OfferedProtocols(const HttpRequest& request) {
  std::vector<std::string> out;
  for (const HttpHeader& h : request.headers) {
    if (h.name != "sec-websocket-protocol") continue;
    std::string_view v = h.value;
    while (!v.empty()) {
      const std::size_t comma = std::min(v.find(','), v.size());
      const std::string_view item = TrimSpace(v.substr(0, comma));
      if (!item.empty()) out.emplace_back(item);
      v.remove_prefix(std::min(comma + 1, v.size()));
    }
  }
  return out;
}

Access CheckToken(const HttpRequest& request, std::string_view token, bool protocolAllowed) {
  if (token.empty()) return Access::Granted;
  std::vector<std::string_view> given;
  for (const HttpHeader& h : request.headers) {
    if (h.name != "authorization") continue;
    constexpr std::string_view kScheme = "bearer ";
    if (h.value.size() <= kScheme.size() || !EqualsNoCase(std::string_view(h.value).substr(0, kScheme.size()), kScheme))
      return Access::Wrong;
    given.push_back(TrimSpace(std::string_view(h.value).substr(kScheme.size())));
  }
  std::vector<std::string> offered;
  if (protocolAllowed) offered = OfferedProtocols(request);
  for (const std::string& p : offered)
    if (p.size() > kBearerProtocolPrefix.size() && EqualsNoCase(p.substr(0, kBearerProtocolPrefix.size()), kBearerProtocolPrefix))
      given.push_back(std::string_view(p).substr(kBearerProtocolPrefix.size()));
  if (given.empty()) return Access::Missing;
  // Two tokens in one request are one too many to judge.
  if (given.size() > 1) return Access::Wrong;
  return ConstantTimeEquals(given[0], token) ? Access::Granted : Access::Wrong;
}

}  // namespace panora::remote
