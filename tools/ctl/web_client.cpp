#include "ctl/web_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace panora::ctl {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr std::size_t kMaxBody = 16 * 1024 * 1024;

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Digits only, no sign; false past max.
bool ParseCount(const std::string& s, int base, std::size_t max, std::size_t& out) {
  if (s.empty()) return false;
  std::size_t v = 0;
  for (const char c : s) {
    const int d = std::isdigit(static_cast<unsigned char>(c))                  ? c - '0'
                  : base == 16 && std::isxdigit(static_cast<unsigned char>(c)) ? std::tolower(c) - 'a' + 10
                                                                               : -1;
    if (d < 0) return false;
    v = v * static_cast<std::size_t>(base) + static_cast<std::size_t>(d);
    if (v > max) return false;
  }
  out = v;
  return true;
}

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Reads until In() holds at least `want` bytes (or, with want 0, until the
// peer closes). Ok, or why not.
Outcome Fill(Connection& conn, std::size_t want, Clock::time_point deadline, std::string& error) {
  while (want == 0 || conn.In().size() < want) {
    switch (conn.ReadMore(MsLeft(deadline), nullptr, error)) {
      case Connection::Read::Data: break;
      case Connection::Read::Closed:
        if (want == 0) return Outcome::Ok;
        error = "the program closed the connection before its answer was complete";
        return Outcome::NoAnswer;
      case Connection::Read::TimedOut: error = "no whole answer in time"; return Outcome::NoAnswer;
      default: return Outcome::NoConnection;
    }
    if (conn.In().size() > kMaxBody + kMaxHead) {
      error = "the answer is larger than 16 MiB";
      return Outcome::NoAnswer;
    }
  }
  return Outcome::Ok;
}

// A chunked body: size line, data, CRLF, ..., a zero size, trailers, CRLF.
Outcome ReadChunked(Connection& conn, Clock::time_point deadline, std::string& body, std::string& error) {
  std::string& in = conn.In();
  for (;;) {
    std::size_t eol;
    while ((eol = in.find("\r\n")) == std::string::npos) {
      if (const auto r = Fill(conn, in.size() + 1, deadline, error); r != Outcome::Ok) return r;
    }
    std::size_t size = 0;
    if (!ParseCount(Trim(in.substr(0, in.find_first_of(";\r"))), 16, kMaxBody, size) ||
        body.size() + size > kMaxBody) {
      error = "a chunk size that cannot be read: " + in.substr(0, std::min<std::size_t>(eol, 40));
      return Outcome::NoAnswer;
    }
    in.erase(0, eol + 2);
    if (size == 0) {
      // Trailers, if any, up to the empty line.
      for (;;) {
        while ((eol = in.find("\r\n")) == std::string::npos) {
          if (const auto r = Fill(conn, in.size() + 1, deadline, error); r != Outcome::Ok) return r;
        }
        in.erase(0, eol + 2);
        if (eol == 0) return Outcome::Ok;
      }
    }
    if (const auto r = Fill(conn, size + 2, deadline, error); r != Outcome::Ok) return r;
    body.append(in, 0, size);
    in.erase(0, size + 2);
  }
}

}  // namespace

std::string AppAddress::HostHeader() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool ParseAppAddress(const std::string& text, AppAddress& out) {
  const auto colon = text.rfind(':');
  std::string host = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
  const std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  std::size_t p = 0;
  // A bare IPv6 address ("::1") has colons but no brackets: refused, as its
  // port could not be told from it.
  if (host.empty() || (colon != std::string::npos && text[0] != '[' && host.find(':') != std::string::npos) ||
      host.find_first_of(" \t\r\n/[]@") != std::string::npos || !ParseCount(port, 10, 65535, p) || p == 0)
    return false;
  out.host = host;
  out.port = static_cast<int>(p);
  return true;
}

std::string HttpResponse::Header(const std::string& name) const {
  for (const auto& [n, v] : headers)
    if (n == name) return v;
  return "";
}

Connection::~Connection() {
  if (m_fd >= 0) ::close(m_fd);
}

bool Connection::SendAll(const std::string& bytes, int timeoutMs, std::string& error) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t done = 0;
  while (done < bytes.size()) {
    pollfd p{m_fd, POLLOUT, 0};
    const int rc = ::poll(&p, 1, MsLeft(deadline));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) {
      error = "cannot send: the program does not take data";
      return false;
    }
    const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      error = std::string("cannot send: ") + std::strerror(errno);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

Connection::Read Connection::ReadMore(int timeoutMs, const sigset_t* waitMask, std::string& error) {
  for (;;) {
    pollfd p{m_fd, POLLIN, 0};
    timespec ts{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    const int rc = ::ppoll(&p, 1, timeoutMs < 0 ? nullptr : &ts, waitMask);
    if (rc < 0) {
      if (errno == EINTR) {
        if (waitMask) return Read::Interrupted;
        continue;
      }
      error = std::string("poll: ") + std::strerror(errno);
      return Read::Failed;
    }
    if (rc == 0) return Read::TimedOut;
    char buf[16384];
    const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      error = std::string("the connection failed: ") + std::strerror(errno);
      return Read::Failed;
    }
    if (n == 0) return Read::Closed;
    m_in.append(buf, static_cast<std::size_t>(n));
    return Read::Data;
  }
}

Outcome ReadResponse(Connection& conn, int timeoutMs, HttpResponse& out, std::string& error) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string& in = conn.In();
  std::size_t end;
  while ((end = in.find("\r\n\r\n")) == std::string::npos) {
    if (in.size() > kMaxHead) {
      error = "the answer's header is larger than 64 KiB";
      return Outcome::NoAnswer;
    }
    switch (conn.ReadMore(MsLeft(deadline), nullptr, error)) {
      case Connection::Read::Data: break;
      case Connection::Read::TimedOut:
        error = "no answer within " + std::to_string(timeoutMs) + " ms";
        return Outcome::NoAnswer;
      case Connection::Read::Closed:
        error = in.empty() ? "the program closed the connection without an answer"
                           : "the program's answer is no HTTP answer";
        return Outcome::NoAnswer;
      default: return Outcome::NoConnection;
    }
  }
  const std::string head = in.substr(0, end);
  in.erase(0, end + 4);

  std::size_t eol = head.find("\r\n");
  const std::string statusLine = head.substr(0, eol);
  std::size_t code = 0;
  if (statusLine.compare(0, 7, "HTTP/1.") != 0 || statusLine.size() < 12 || statusLine[8] != ' ' ||
      !ParseCount(statusLine.substr(9, 3), 10, 999, code) || code < 100 ||
      (statusLine.size() > 12 && statusLine[12] != ' ')) {
    error = "the program's answer is no HTTP answer: " + statusLine.substr(0, 60);
    return Outcome::NoAnswer;
  }
  out.status = static_cast<int>(code);
  out.reason = statusLine.size() > 13 ? statusLine.substr(13) : "";
  out.headers.clear();
  out.body.clear();
  while (eol != std::string::npos) {
    const std::size_t start = eol + 2;
    eol = head.find("\r\n", start);
    const std::string line = head.substr(start, eol == std::string::npos ? std::string::npos : eol - start);
    const auto colon = line.find(':');
    if (colon == std::string::npos || colon == 0) {
      error = "a header line that cannot be read: " + line.substr(0, 60);
      return Outcome::NoAnswer;
    }
    out.headers.emplace_back(Lower(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
  if (out.status == 101 || out.status == 204 || out.status == 304 || out.status < 200) return Outcome::Ok;

  if (Lower(out.Header("transfer-encoding")).find("chunked") != std::string::npos)
    return ReadChunked(conn, deadline, out.body, error);
  const std::string length = out.Header("content-length");
  std::size_t count = 0;
  if (!length.empty()) {
    if (!ParseCount(length, 10, kMaxBody, count)) {
      error = "a Content-Length that cannot be taken: " + length.substr(0, 30);
      return Outcome::NoAnswer;
    }
    if (const auto r = Fill(conn, count, deadline, error); r != Outcome::Ok) return r;
  } else {
    if (const auto r = Fill(conn, 0, deadline, error); r != Outcome::Ok) return r;
    count = in.size();
  }
  out.body = in.substr(0, count);
  in.erase(0, count);
  return Outcome::Ok;
}

Take TakeWsFrame(std::string& in, std::size_t maxPayload, WsFrame& frame, std::string& why) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(in[i]); };
  if (in.size() < 2) return Take::NeedMore;
  const bool fin = byte(0) & 0x80;
  const int opcode = byte(0) & 0x0F;
  if (byte(0) & 0x70) {
    why = "a frame with reserved bits set";
    return Take::Broken;
  }
  if (byte(1) & 0x80) {
    why = "a masked frame from the server";
    return Take::Broken;
  }
  std::size_t head = 2;
  std::uint64_t length = byte(1) & 0x7F;
  if (length == 126) {
    head = 4;
    if (in.size() < head) return Take::NeedMore;
    length = (std::uint64_t{byte(2)} << 8) | byte(3);
  } else if (length == 127) {
    head = 10;
    if (in.size() < head) return Take::NeedMore;
    length = 0;
    for (std::size_t i = 2; i < 10; ++i) length = (length << 8) | byte(i);
  }
  const bool control = opcode >= 0x8;
  if ((opcode > ws::kBinary && opcode < ws::kClose) || opcode > ws::kPong) {
    why = "a frame of unknown kind " + std::to_string(opcode);
    return Take::Broken;
  }
  if (control && (!fin || length > 125)) {
    why = "a fragmented or long control frame";
    return Take::Broken;
  }
  if (length > maxPayload) {
    why = "a frame of " + std::to_string(length) + " bytes, more than " + std::to_string(maxPayload);
    return Take::Broken;
  }
  if (in.size() < head + length) return Take::NeedMore;
  frame.fin = fin;
  frame.opcode = opcode;
  frame.payload = in.substr(head, static_cast<std::size_t>(length));
  in.erase(0, head + static_cast<std::size_t>(length));
  return Take::Frame;
}

std::string MaskedWsFrame(int opcode, const std::string& payload, std::uint32_t maskKey) {
  std::string f;
  f += static_cast<char>(0x80 | opcode);
  const std::size_t n = payload.size();
  if (n < 126) {
    f += static_cast<char>(0x80 | n);
  } else if (n < 65536) {
    f += static_cast<char>(0x80 | 126);
    f += static_cast<char>(n >> 8);
    f += static_cast<char>(n & 0xFF);
  } else {
    f += static_cast<char>(0x80 | 127);
    for (int i = 7; i >= 0; --i) f += static_cast<char>((std::uint64_t{n} >> (8 * i)) & 0xFF);
  }
  const char mask[4] = {static_cast<char>(maskKey >> 24), static_cast<char>(maskKey >> 16),
                        static_cast<char>(maskKey >> 8), static_cast<char>(maskKey)};
  f.append(mask, 4);
  for (std::size_t i = 0; i < n; ++i) f += static_cast<char>(payload[i] ^ mask[i % 4]);
  return f;
}

}  // namespace panora::ctl
