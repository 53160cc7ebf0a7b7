#include "app/Replies.h"

#include <vector>

#include "app/Connection.h"
#include "app/LinkStatus.h"
#include "link/DeviceLink.h"

namespace panora {

CReplies::CReplies(ReplyHost& host, CConnection& connection) : m_host(host), m_conn(connection) {}

void CReplies::OnDeviceData(const std::uint8_t* data, int length) {
  CDeviceLink& link = m_conn.Link();
  // Wakes the worker, copies the block to g_RxBuf and reads it as the answer
  // to the command noted last.
  const ReplyAction a = link.TakeReply(data, length);
  CLinkStatus* status = m_conn.LinkStatus();
  if (status != nullptr) status->BlockReceived();
  switch (a.kind) {
    case ReplyKind::Position:
      m_nPosX = a.posX;
      m_nPosY = a.posY;
      m_nPosW = a.posW;
      m_nPosH = a.posH;
      OnPositionAnswer();  // opens the dialog before this handler goes on
      break;
    case ReplyKind::PositionFailed: OnPositionAnswer(); break;  // status 3: no dialog
    case ReplyKind::Bezel:
      if (m_fnShowBezel) m_fnShowBezel(ShownBezel(a.bezelH), ShownBezel(a.bezelV));
      break;
    case ReplyKind::Handshake: m_conn.OnHandshakeAnswer(a.handshakeOk); break;
    case ReplyKind::Version:
      // The keepalive's own query stays out of the list.
      if (status == nullptr || !status->TakeKeepaliveAnswer()) m_host.AddInfo(QString::fromStdString(a.VersionText()));
      break;
    case ReplyKind::None: break;
  }
  link.EndReply();
}

void CReplies::OnBatchDone(int job) {
  m_host.BatchDone(job);
  m_conn.Link().m_nJobType = 0;
}

void CReplies::OnPositionAnswer() {
  if (m_conn.Link().m_nReplyStatus != kReplyAnswered) return;
  PositionRequest r;
  r.channel = m_host.CurrentWindow();
  r.x = m_nPosX;
  r.y = m_nPosY;
  r.w = m_nPosW;
  r.h = m_nPosH;
  r.right = m_nPosX + m_nPosW;
  r.bottom = m_nPosY + m_nPosH;
  if (m_fnPositionDialog)
    m_fnPositionDialog(r);
  else
    m_host.OpenPositionDialog(r);
}

// ---- the hand-over seam -------------------------------------------------

bool CReplies::SendDeviceData(const std::uint8_t* data, int length, const std::atomic<bool>* cancel) {
  // A copy: the reader reuses its buffer as soon as this returns.
  std::vector<std::uint8_t> bytes(data, data + (length > 0 ? length : 0));
  return m_conn.Hand().Send([this, bytes] { OnDeviceData(bytes.data(), static_cast<int>(bytes.size())); },
                            cancel);
}

void CReplies::PostBatchDone(int job) {
  m_conn.Hand().Post([this, job] { OnBatchDone(job); });
}

bool CReplies::SendPositionAnswer(const std::atomic<bool>* cancel) {
  return m_conn.Hand().Send([this] { OnPositionAnswer(); }, cancel);
}

bool CReplies::SendNetResult(int result, const std::atomic<bool>* cancel) {
  return m_conn.Hand().Send([this, result] { m_conn.OnNetResult(result); }, cancel);
}

bool CReplies::SendReplyTimeout(const std::atomic<bool>* cancel) {
  return m_conn.Hand().Send([] {}, cancel);  // accepted and ignored
}

}  // namespace panora
