#include "remote/HttpSession.h"

#include "remote/ApiRouter.h"

namespace panora::remote {

std::string CHttpSession::TakeOutput() {
  std::string out;
  out.swap(m_out);
  return out;
}

void CHttpSession::Answer(const HttpRequest& request) {
  HttpResponse response = Respond(request, m_config, m_host);
  // A refused upgrade ends the connection: the client meant to leave HTTP.
  if (!request.keepAlive || (!response.upgrade && request.HeaderHasToken("upgrade", "websocket")))
    response.close = true;
  m_out += SerializeResponse(response, request.minorVersion == 0 && !response.close);
  ++m_answered;
  if (response.close) m_closing = true;
  if (response.upgrade) m_webSocket = true;
}

void CHttpSession::Feed(std::string_view bytes) {
  while (!bytes.empty() && !m_closing) {
    if (m_webSocket) {
      FeedWebSocket(bytes);
      continue;
    }
    bytes.remove_prefix(m_parser.Feed(bytes.data(), bytes.size()));
    if (m_parser.Failed()) {
      HttpResponse r = ErrorResponse(m_parser.ErrorStatus(), m_parser.ErrorText());
      r.close = true;
      m_out += SerializeResponse(r);
      ++m_answered;
      m_closing = true;
      return;
    }
    if (m_parser.GetState() == CHttpParser::State::Body && m_parser.Request().expectContinue && !m_continueSent) {
      m_out += "HTTP/1.1 100 Continue\r\n\r\n";
      m_continueSent = true;
    }
    if (!m_parser.Done()) continue;  // all taken: wait for more
    Answer(m_parser.Request());
    m_parser.Next();
    m_continueSent = false;
  }
}

void CHttpSession::FeedWebSocket(std::string_view& bytes) {
  bytes.remove_prefix(m_ws.Feed(bytes.data(), bytes.size()));
  if (m_ws.GetState() == CWsReader::State::Failed) {
    const int code = m_ws.CloseCode();
    const char payload[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    m_out += EncodeWsFrame(kWsClose, std::string_view(payload, 2));
    m_closing = true;
    return;
  }
  if (m_ws.GetState() != CWsReader::State::Frame) return;
  switch (m_ws.Opcode()) {
    case kWsPing: m_out += EncodeWsFrame(kWsPong, m_ws.Payload()); break;
    case kWsClose:
      // Answer with the client's status code, the way it came.
      m_out += EncodeWsFrame(kWsClose, std::string_view(m_ws.Payload()).substr(0, m_ws.Payload().size() >= 2 ? 2 : 0));
      m_closing = true;
      break;
    default: break;  // pongs and the client's messages carry nothing for us
  }
  m_ws.Next();
}

void CHttpSession::Ping() {
  if (m_webSocket && !m_closing) m_out += EncodeWsFrame(kWsPing, {});
}

void CHttpSession::GoAway() {
  if (m_webSocket && !m_closing) {
    m_out += EncodeWsFrame(kWsClose, std::string_view("\x03\xE9", 2));  // 1001 going away
  }
  m_closing = true;
}

}  // namespace panora::remote
