// One connection of the remote control, without the socket: bytes from the
// peer in, bytes to send out. Requests are answered one by one in the order
// they came (pipelined ones too); each gets exactly one response, and a
// request that cannot be read gets its error response and ends the
// connection: nothing after it is read. An accepted upgrade on
// /api/v1/events turns the connection into an events WebSocket.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "remote/ApiHost.h"
#include "remote/HttpParser.h"
#include "remote/HttpSecurity.h"
#include "remote/WebSocket.h"

namespace panora::remote {

class CHttpSession {
 public:
  // Both must outlive the session; the config may change between requests.
  CHttpSession(ApiHost& host, const ServerConfig& config) : m_host(host), m_config(config) {}

  void Feed(std::string_view bytes);
  // What is to be sent, taken once.
  std::string TakeOutput();
  // Send what is queued, then close; nothing more is read.
  bool Closing() const { return m_closing; }
  bool IsEventClient() const { return m_webSocket; }
  // Responses made so far, 100 Continue not counted.
  std::uint64_t Answered() const { return m_answered; }
  // Bytes held for a request not yet complete.
  std::size_t Held() const { return m_parser.Held(); }

  // An events client: a ping (its pong shows it is alive), or the end of
  // the conversation with a close frame.
  void Ping();
  void GoAway();

 private:
  void FeedWebSocket(std::string_view& bytes);
  void Answer(const HttpRequest& request);

  ApiHost& m_host;
  const ServerConfig& m_config;
  CHttpParser m_parser;
  CWsReader m_ws;
  std::string m_out;
  bool m_continueSent = false;
  bool m_closing = false;
  bool m_webSocket = false;
  std::uint64_t m_answered = 0;
};

}  // namespace panora::remote
