#include "remote/HttpParser.h"

#include <algorithm>

namespace panora::remote {

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

std::string_view TrimSpace(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

namespace {

bool IsTokenChar(char c) {
  if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), IsTokenChar);
}

// Field values: visible characters, spaces, tabs and bytes above 0x7F.
bool IsFieldValue(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c == '\t' || (c >= 0x20 && c != 0x7F);
  });
}

// Content-Length: digits, or a list of the same digits ("5, 5"); -1 when
// malformed, kMaxBody + 1 for anything larger than a body may be.
long long ContentLength(std::string_view value, long long& length) {
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t comma = value.find(',', start);
    if (comma == std::string_view::npos) comma = value.size();
    const std::string_view item = TrimSpace(value.substr(start, comma - start));
    if (item.empty() || !std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return -1;
    long long v = 0;
    for (char c : item) {
      v = v * 10 + (c - '0');
      if (v > static_cast<long long>(kMaxBody)) {
        v = static_cast<long long>(kMaxBody) + 1;
        break;
      }
    }
    if (length >= 0 && length != v) return -1;
    length = v;
    start = comma + 1;
  }
  return length;
}

}  // namespace

const std::string* HttpRequest::Header(std::string_view name) const {
  for (const HttpHeader& h : headers)
    if (h.name == name) return &h.value;
  return nullptr;
}

int HttpRequest::HeaderCount(std::string_view name) const {
  return static_cast<int>(std::count_if(headers.begin(), headers.end(),
                                        [&](const HttpHeader& h) { return h.name == name; }));
}

bool HttpRequest::HeaderHasToken(std::string_view name, std::string_view token) const {
  for (const HttpHeader& h : headers) {
    if (h.name != name) continue;
    std::string_view v = h.value;
    while (!v.empty()) {
      const std::size_t comma = std::min(v.find(','), v.size());
      if (EqualsNoCase(TrimSpace(v.substr(0, comma)), token)) return true;
      v.remove_prefix(std::min(comma + 1, v.size()));
    }
  }
  return false;
}

void CHttpParser::Fail(int status, std::string text) {
  m_state = State::Failed;
  m_errorStatus = status;
  m_errorText = std::move(text);
}

void CHttpParser::Next() {
  m_state = State::Head;
  m_head.clear();
  m_headBytes = 0;
  m_bodyLength = 0;
  m_request = HttpRequest{};
}

std::size_t CHttpParser::Feed(const char* data, std::size_t size) {
  std::size_t used = 0;
  while (used < size && m_state == State::Head) {
    const char c = data[used++];
    if (++m_headBytes > kMaxHead) {
      Fail(431, "request line and headers over 8 KB");
      return used;
    }
    // Empty lines before a request (left over after a body) are passed over.
    if (m_head.empty() && (c == '\r' || c == '\n')) continue;
    m_head.push_back(c);
    if (c != '\n') continue;
    const std::size_t n = m_head.size();
    if ((n >= 2 && m_head[n - 2] == '\n') || (n >= 3 && m_head[n - 2] == '\r' && m_head[n - 3] == '\n'))
      ParseHead();
  }
  if (m_state == State::Body) {
    const std::size_t take = std::min(size - used, m_bodyLength - m_request.body.size());
    m_request.body.append(data + used, take);
    used += take;
    if (m_request.body.size() == m_bodyLength) m_state = State::Done;
  }
  return used;
}

bool CHttpParser::ParseRequestLine(std::string_view line) {
  const std::size_t sp1 = line.find(' ');
  const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
    Fail(400, "malformed request line");
    return false;
  }
  const std::string_view method = line.substr(0, sp1);
  const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::string_view version = line.substr(sp2 + 1);
  if (!IsToken(method)) {
    Fail(400, "malformed method");
    return false;
  }
  if (target.empty() || target[0] != '/' ||
      !std::all_of(target.begin(), target.end(), [](char c) { return c > 0x20 && c < 0x7F; })) {
    Fail(400, "malformed request target");
    return false;
  }
  if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[5] < '0' || version[5] > '9' ||
      version[6] != '.' || version[7] < '0' || version[7] > '9') {
    Fail(400, "malformed HTTP version");
    return false;
  }
  if (version[5] != '1' || version[7] > '1') {
    Fail(505, "HTTP/1.0 and HTTP/1.1 only");
    return false;
  }
  m_request.method = std::string(method);
  m_request.target = std::string(target);
  m_request.path = std::string(target.substr(0, target.find('?')));
  m_request.minorVersion = version[7] - '0';
  return true;
}

void CHttpParser::ParseHead() {
  std::vector<std::string_view> lines;
  std::string_view rest = m_head;
  while (!rest.empty()) {
    const std::size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    rest.remove_prefix(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find('\r') != std::string_view::npos) return Fail(400, "stray carriage return");
    lines.push_back(line);
  }
  lines.pop_back();  // the empty line that ends the head
  if (!ParseRequestLine(lines[0])) return;
  if (lines.size() - 1 > kMaxHeaders) return Fail(431, "more than 100 headers");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::size_t colon = line.find(':');
    // Folded lines and space before the colon are how requests get smuggled.
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon)))
      return Fail(400, "malformed header line");
    const std::string_view value = TrimSpace(line.substr(colon + 1));
    if (!IsFieldValue(value)) return Fail(400, "control character in a header");
    m_request.headers.push_back({AsciiLower(line.substr(0, colon)), std::string(value)});
  }

  HttpRequest& r = m_request;
  if (r.HeaderCount("host") != 1) return Fail(400, "exactly one Host header is required");
  if (r.Header("transfer-encoding") != nullptr) {
    if (r.Header("content-length") != nullptr) return Fail(400, "Transfer-Encoding with Content-Length");
    return Fail(411, "chunked bodies are not taken: send Content-Length");
  }
  long long length = -1;
  for (const HttpHeader& h : r.headers)
    if (h.name == "content-length" && ContentLength(h.value, length) < 0)
      return Fail(400, "malformed Content-Length");
  if (length > static_cast<long long>(kMaxBody)) return Fail(413, "body over 64 KB");
  if (r.method != "GET" && r.method != "POST") return Fail(405, "GET and POST only");

  const bool close = r.HeaderHasToken("connection", "close");
  r.keepAlive = r.minorVersion == 1 ? !close : (!close && r.HeaderHasToken("connection", "keep-alive"));
  m_bodyLength = length > 0 ? static_cast<std::size_t>(length) : 0;
  r.expectContinue = r.minorVersion == 1 && m_bodyLength > 0 && r.HeaderHasToken("expect", "100-continue");
  m_state = m_bodyLength > 0 ? State::Body : State::Done;
}

}  // namespace panora::remote
