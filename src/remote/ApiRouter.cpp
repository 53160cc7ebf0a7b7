#include "remote/ApiRouter.h"

#include <algorithm>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "remote/WebSocket.h"

namespace panora::remote {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kChannels[4] = {"CH1", "CH2", "CH3", "CH4"};
constexpr std::string_view kOutputs[4] = {"Out1", "Out2", "Out3", "Out4"};
constexpr int kMaxCoordinate = 65535;

std::string Quoted(std::string_view name) {
  // A client's field name goes back in a message: short is enough.
  if (name.size() > 40) return "\"" + std::string(name.substr(0, 40)) + "...\"";
  return "\"" + std::string(name) + "\"";
}

// A refused body: the message of the 400.
struct BodyError {
  std::string text;
};

// The body as one JSON object in which every name occurs once (a repeated
// name would mean one thing here and another to the next reader).
std::optional<Json> ParseObject(const std::string& body, std::string& error) {
  std::vector<std::set<std::string>> names;
  std::string repeated;
  auto note = [&](int, Json::parse_event_t event, Json& parsed) {
    if (event == Json::parse_event_t::object_start) {
      names.emplace_back();
    } else if (event == Json::parse_event_t::object_end) {
      if (!names.empty()) names.pop_back();
    } else if (event == Json::parse_event_t::key && parsed.is_string() && !names.empty()) {
      const auto& key = parsed.get_ref<const std::string&>();
      if (!names.back().insert(key).second && repeated.empty()) repeated = key;
    }
    return true;
  };
  Json j = Json::parse(body.begin(), body.end(), note, false);
  if (j.is_discarded()) {
    error = "body: not valid JSON";
    return std::nullopt;
  }
  if (!j.is_object()) {
    error = "body: a JSON object is required";
    return std::nullopt;
  }
  if (!repeated.empty()) {
    error = "field " + Quoted(repeated) + " given twice";
    return std::nullopt;
  }
  return j;
}

void OnlyFields(const Json& j, std::initializer_list<std::string_view> allowed, std::string_view allowedText) {
  for (auto it = j.begin(); it != j.end(); ++it)
    if (std::find(allowed.begin(), allowed.end(), it.key()) == allowed.end())
      throw BodyError{"unknown field " + Quoted(it.key()) + " (allowed: " + std::string(allowedText) + ")"};
}

int IntIn(const Json& v, std::string_view name, long long lo, long long hi) {
  const std::string range = std::to_string(lo) + ".." + std::to_string(hi);
  if (v.is_number_integer()) {
    if (v.is_number_unsigned()) {
      const auto u = v.get<std::uint64_t>();
      if (u <= static_cast<std::uint64_t>(hi) && static_cast<long long>(u) >= lo) return static_cast<int>(u);
    } else {
      const auto s = v.get<std::int64_t>();
      if (s >= lo && s <= hi) return static_cast<int>(s);
    }
  }
  throw BodyError{Quoted(name) + " must be an integer " + range};
}

const Json& Required(const Json& j, std::string_view name, std::string_view what) {
  const auto it = j.find(name);
  if (it == j.end()) throw BodyError{Quoted(name) + " is required: " + std::string(what)};
  return *it;
}

int IndexOf(const std::string_view (&names)[4], std::string_view name) {
  for (int i = 0; i < 4; ++i)
    if (names[i] == name) return i;
  return -1;
}

// {"CH1": .., } or {"Out1": .., } keys of a value: which one, or throws.
int Key(const std::string_view (&names)[4], const std::string& key, std::string_view allowedText) {
  const int i = IndexOf(names, key);
  if (i < 0) throw BodyError{"unknown field " + Quoted(key) + " (allowed: " + std::string(allowedText) + ")"};
  return i;
}

std::array<bool, 4> ChannelSet(const Json& v, std::string_view name) {
  const std::string what = Quoted(name) + " must be a list of distinct channels \"CH1\"..\"CH4\"";
  if (!v.is_array()) throw BodyError{what};
  std::array<bool, 4> shown{};
  for (const Json& item : v) {
    const int i = item.is_string() ? IndexOf(kChannels, item.get_ref<const std::string&>()) : -1;
    if (i < 0 || shown[static_cast<std::size_t>(i)]) throw BodyError{what};
    shown[static_cast<std::size_t>(i)] = true;
  }
  return shown;
}

// {"all": V} or {"Out1": V, ...}: the one or the other, at least one.
template <class Read>
void AllOrOutputs(const Json& j, Read read) {
  const bool all = j.contains("all");
  if (all && j.size() > 1) throw BodyError{"give \"all\" or \"Out1\"..\"Out4\", not both"};
  if (j.empty()) throw BodyError{"give \"all\" or one of \"Out1\"..\"Out4\""};
  if (all) {
    read(-1, j["all"], "all");
    return;
  }
  for (auto it = j.begin(); it != j.end(); ++it)
    read(Key(kOutputs, it.key(), "all, Out1..Out4"), it.value(), it.key());
}

ApiResult Dispatch(const std::string& path, const std::string& body, ApiHost& host) {
  std::string error;
  std::optional<Json> parsed;
  if (path == "/api/v1/setup/send" && TrimSpace(body).empty()) {
    parsed = Json::object();
  } else {
    parsed = ParseObject(body, error);
    if (!parsed) throw BodyError{error};
  }
  const Json& j = *parsed;

  if (path == "/api/v1/mode") {
    OnlyFields(j, {"mode"}, "mode");
    return host.RecallMode(IntIn(Required(j, "mode", "an integer 0..33"), "mode", 0, 33));
  }
  if (path.starts_with("/api/v1/windows/")) {
    const int channel = path.back() - '0';  // the route matched one digit 1..4
    OnlyFields(j, {"x", "y", "w", "h"}, "x, y, w, h");
    const int x = IntIn(Required(j, "x", "an integer 0..65534"), "x", 0, kMaxCoordinate - 1);
    const int y = IntIn(Required(j, "y", "an integer 0..65534"), "y", 0, kMaxCoordinate - 1);
    const int w = IntIn(Required(j, "w", "an integer 1..65535"), "w", 1, kMaxCoordinate);
    const int h = IntIn(Required(j, "h", "an integer 1..65535"), "h", 1, kMaxCoordinate);
    if (x + w > kMaxCoordinate) throw BodyError{"\"x\" + \"w\" must be at most 65535"};
    if (y + h > kMaxCoordinate) throw BodyError{"\"y\" + \"h\" must be at most 65535"};
    return host.SetWindow(channel, x, y, w, h);
  }
  if (path == "/api/v1/inputs") {
    std::array<std::optional<int>, 4> inputs{};
    for (auto it = j.begin(); it != j.end(); ++it)
      inputs[static_cast<std::size_t>(Key(kChannels, it.key(), "CH1..CH4"))] = IntIn(it.value(), it.key(), 1, 4);
    if (j.empty()) throw BodyError{"give the input 1..4 of at least one of \"CH1\"..\"CH4\""};
    return host.SetInputs(inputs);
  }
  if (path == "/api/v1/layers") {
    OnlyFields(j, {"output", "layers"}, "output, layers");
    LayersRequest request;
    if (const auto out = j.find("output"); out != j.end() && !(out->is_string() && *out == "all")) {
      if (!out->is_number_integer()) throw BodyError{"\"output\" must be 1..4 or \"all\""};
      request.output = IntIn(*out, "output", 1, 4);
    }
    const Json& layers = Required(j, "layers", "an object {\"CH1\"..\"CH4\": 1..4}");
    if (!layers.is_object()) throw BodyError{"\"layers\" must be an object {\"CH1\"..\"CH4\": 1..4}"};
    std::array<bool, 4> given{}, used{};
    for (auto it = layers.begin(); it != layers.end(); ++it) {
      const auto ch = static_cast<std::size_t>(Key(kChannels, it.key(), "CH1..CH4"));
      const int layer = IntIn(it.value(), it.key(), 1, 4);
      request.layers[ch] = layer;
      given[ch] = true;
      if (used[static_cast<std::size_t>(layer - 1)])
        throw BodyError{"\"layers\" must be a permutation of 1..4: layer " + std::to_string(layer) + " given twice"};
      used[static_cast<std::size_t>(layer - 1)] = true;
    }
    if (!std::all_of(given.begin(), given.end(), [](bool b) { return b; }))
      throw BodyError{"\"layers\" must give the layer 1..4 of each of \"CH1\"..\"CH4\""};
    return host.SetLayers(request);
  }
  if (path == "/api/v1/display") {
    DisplayRequest request;
    AllOrOutputs(j, [&](int out, const Json& v, std::string_view name) {
      if (out < 0)
        request.all = ChannelSet(v, name);
      else
        request.outputs[static_cast<std::size_t>(out)] = ChannelSet(v, name);
    });
    return host.SetDisplay(request);
  }
  if (path == "/api/v1/resolution") {
    ResolutionRequest request;
    AllOrOutputs(j, [&](int out, const Json& v, std::string_view name) {
      if (out < 0)
        request.all = IntIn(v, name, 1, 6);
      else
        request.outputs[static_cast<std::size_t>(out)] = IntIn(v, name, 1, 6);
    });
    return host.SetResolution(request);
  }
  // /api/v1/setup/send
  OnlyFields(j, {"userModes"}, "userModes");
  bool withUserModes = false;
  if (const auto it = j.find("userModes"); it != j.end()) {
    if (!it->is_boolean()) throw BodyError{"\"userModes\" must be true or false"};
    withUserModes = it->get<bool>();
  }
  return host.SendSetup(withUserModes);
}

// The routes and the method each takes; an empty method: no such route.
std::string_view RouteMethod(std::string_view path) {
  if (path == "/" || path == "/api/v1/state" || path == "/api/v1/events") return "GET";
  if (path == "/api/v1/mode" || path == "/api/v1/inputs" || path == "/api/v1/layers" || path == "/api/v1/display" ||
      path == "/api/v1/resolution" || path == "/api/v1/setup/send")
    return "POST";
  constexpr std::string_view kWindows = "/api/v1/windows/";
  if (path.size() == kWindows.size() + 1 && path.starts_with(kWindows) && path.back() >= '1' && path.back() <= '4')
    return "POST";
  return {};
}

HttpResponse Page(const ServerConfig& config) {
  if (config.page.empty()) return ErrorResponse(404, "no page is built in");
  HttpResponse r;
  r.contentType = "text/html; charset=utf-8";
  r.body = config.page;
  // Another site must not show the remote in a frame and steer taps onto it.
  r.headers = {{"X-Frame-Options", "DENY"},
               {"Content-Security-Policy", "frame-ancestors 'none'"},
               {"Referrer-Policy", "no-referrer"}};
  return r;
}

HttpResponse Upgrade(const HttpRequest& request) {
  const UpgradeCheck check = CheckUpgrade(request);
  if (check.status != 101) {
    HttpResponse r = ErrorResponse(check.status, check.error);
    if (check.status == 426) r.headers = {{"Upgrade", "websocket"}, {"Sec-WebSocket-Version", "13"}};
    return r;
  }
  HttpResponse r;
  r.status = 101;
  r.contentType.clear();
  r.upgrade = true;
  r.headers = {{"Upgrade", "websocket"}, {"Connection", "Upgrade"}, {"Sec-WebSocket-Accept", check.accept}};
  // A client that offered subprotocols needs one of them back.
  const std::vector<std::string> offered = OfferedProtocols(request);
  if (std::find(offered.begin(), offered.end(), kEventsProtocol) != offered.end()) {
    r.headers.emplace_back("Sec-WebSocket-Protocol", kEventsProtocol);
  } else {
    for (const std::string& p : offered)
      if (EqualsNoCase(std::string_view(p).substr(0, kBearerProtocolPrefix.size()), kBearerProtocolPrefix)) {
        r.headers.emplace_back("Sec-WebSocket-Protocol", p);
        break;
      }
  }
  return r;
}

}  // namespace

std::string_view StatusText(int status) {
  switch (status) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 415: return "Unsupported Media Type";
    case 426: return "Upgrade Required";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Status";
  }
}

std::string ErrorBody(std::string_view message) {
  return Json{{"error", message}}.dump(-1, ' ', false, Json::error_handler_t::replace);
}

HttpResponse ErrorResponse(int status, std::string_view message) {
  HttpResponse r;
  r.status = status;
  r.body = ErrorBody(message);
  return r;
}

std::string SerializeResponse(const HttpResponse& response, bool http10KeepAlive) {
  std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + std::string(StatusText(response.status)) +
                    "\r\n";
  auto header = [&](std::string_view name, std::string_view value) {
    out.append(name).append(": ").append(value).append("\r\n");
  };
  if (!response.upgrade) {
    header("Content-Type", response.contentType);
    header("Content-Length", std::to_string(response.body.size()));
    header("Cache-Control", "no-store");
    header("X-Content-Type-Options", "nosniff");
    if (response.close)
      header("Connection", "close");
    else if (http10KeepAlive)
      header("Connection", "keep-alive");
  }
  for (const auto& [name, value] : response.headers) header(name, value);
  out += "\r\n";
  if (!response.upgrade) out += response.body;
  return out;
}

HttpResponse Respond(const HttpRequest& request, const ServerConfig& config, ApiHost& host) {
  const std::string* hostHeader = request.Header("host");
  if (hostHeader == nullptr) return ErrorResponse(400, "a Host header is required");
  if (!HostAllowed(*hostHeader, config)) return ErrorResponse(403, "Host is not this server's address");
  if (const std::string* origin = request.Header("origin");
      origin != nullptr && (request.HeaderCount("origin") != 1 || !OriginAllowed(*origin, config)))
    return ErrorResponse(403, "Origin is not this server's own");

  const std::string& path = request.path;
  const bool page = path == "/" && request.method == "GET";
  if (!page) {
    const Access access = CheckToken(request, config.token, path == "/api/v1/events");
    if (access != Access::Granted) {
      HttpResponse r = ErrorResponse(
          401, access == Access::Missing ? "a token is required: Authorization: Bearer <token>" : "wrong token");
      r.headers.emplace_back("WWW-Authenticate", "Bearer realm=\"panora\"");
      return r;
    }
  }
  const std::string_view method = RouteMethod(path);
  if (method.empty()) return ErrorResponse(404, "no such route");
  if (method != request.method) {
    HttpResponse r = ErrorResponse(405, std::string(method) + " only");
    r.headers.emplace_back("Allow", method);
    return r;
  }
  if (page) return Page(config);
  if (path == "/api/v1/events") return Upgrade(request);
  if (path == "/api/v1/state") {
    HttpResponse r;
    r.body = host.StateJson();
    return r;
  }
  const std::string* type = request.Header("content-type");
  if (type == nullptr || request.HeaderCount("content-type") != 1 || !IsJsonContentType(*type))
    return ErrorResponse(415, "Content-Type must be application/json");
  try {
    const ApiResult result = Dispatch(path, request.body, host);
    HttpResponse r;
    r.status = result.status;
    r.body = result.body;
    return r;
  } catch (const BodyError& e) {
    return ErrorResponse(400, e.text);
  }
}

}  // namespace panora::remote
