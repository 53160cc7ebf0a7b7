// Reads HTTP/1.0 and 1.1 requests from a connection's byte stream, a piece at
// a time, within hard limits: the request line and headers together at most
// kMaxHead bytes, a body at most kMaxBody bytes (refused from its
// Content-Length before a byte of it is read), no chunked bodies. What is
// wrong ends the connection: the parser names the status to answer with and
// reads nothing more.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace panora::remote {

inline constexpr std::size_t kMaxHead = 8192;
inline constexpr std::size_t kMaxBody = 65536;
inline constexpr std::size_t kMaxHeaders = 100;

struct HttpHeader {
  std::string name;  // lower-case
  std::string value;  // without the white space around it
};

struct HttpRequest {
  std::string method;  // GET or POST
  std::string target;  // as sent, starting with '/'
  std::string path;    // the target up to '?'
  int minorVersion = 1;  // HTTP/1.<minorVersion>
  std::vector<HttpHeader> headers;
  std::string body;
  bool keepAlive = true;  // the connection stays open after the answer
  bool expectContinue = false;

  // The first header of that lower-case name, or nullptr.
  const std::string* Header(std::string_view name) const;
  int HeaderCount(std::string_view name) const;
  // Whether a comma-separated header (Connection, Upgrade) holds `token`,
  // ignoring case.
  bool HeaderHasToken(std::string_view name, std::string_view token) const;
};

class CHttpParser {
 public:
  enum class State { Head, Body, Done, Failed };

  // Takes bytes up to the end of one request (or the first fault) and returns
  // how many it took; the rest belongs to the next request.
  std::size_t Feed(const char* data, std::size_t size);
  State GetState() const { return m_state; }
  bool Done() const { return m_state == State::Done; }
  bool Failed() const { return m_state == State::Failed; }
  // Complete once Done; the head alone while the body is read.
  const HttpRequest& Request() const { return m_request; }
  // When Failed: the status to answer (400, 405, 411, 413, 431, 505) and why.
  int ErrorStatus() const { return m_errorStatus; }
  const std::string& ErrorText() const { return m_errorText; }
  // After Done: ready for the next request of the same connection.
  void Next();
  // Bytes held for the request being read: never more than kMaxHead + kMaxBody.
  std::size_t Held() const { return m_head.size() + m_request.body.size(); }

 private:
  void ParseHead();
  bool ParseRequestLine(std::string_view line);
  void Fail(int status, std::string text);

  State m_state = State::Head;
  std::string m_head;
  std::size_t m_headBytes = 0;  // counted against kMaxHead, empty lines before the request too
  std::size_t m_bodyLength = 0;
  HttpRequest m_request;
  int m_errorStatus = 0;
  std::string m_errorText;
};

// Lower-case ASCII copy.
std::string AsciiLower(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string_view TrimSpace(std::string_view s);

}  // namespace panora::remote
