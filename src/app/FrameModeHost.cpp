#include "app/FrameModeHost.h"

#include "app/Dialogs.h"
#include "app/DlgMessage.h"
#include "app/MainFrame.h"
#include "layout/ChildFrame.h"
#include "layout/TesselView.h"

namespace panora {

void CFrameModeHost::UnmaximizeViews() {
  for (int ch = 0; ch < 4; ++ch)
    if (CChildFrame* frame = m_frame.ChannelFrame(ch)) frame->View()->m_bMaximized = 0;
}

void CFrameModeHost::ApplyMode(int mode) {
  m_frame.ApplyMode(mode);
}

bool CFrameModeHost::Sending() const {
  return m_frame.m_bSending.load() == 1;
}

void CFrameModeHost::NoteCommand(int command, int subCode) {
  m_frame.NoteCommand(command, subCode);
}

void CFrameModeHost::SendFrame(const std::uint8_t* bytes, int length) {
  m_frame.SendFrame(bytes, length);
}

void CFrameModeHost::ShowMessage(const std::string& text) {
  MessageBox(&m_frame, QString::fromStdString(text));
}

bool CFrameModeHost::Confirm(const std::string& text, const std::string& yes, const std::string& no) {
  return CDlgMessage::Ask(&m_frame, QString::fromStdString(text), QString::fromStdString(yes),
                          QString::fromStdString(no));
}

void CFrameModeHost::ModeNamesChanged() {
  m_frame.UpdateToolButtonTips();
}

std::array<double, 4> CFrameModeHost::Measure(int channel) const {
  // Fractions of the layout area; layout coordinates start at its corner.
  const CChildFrame* frame = m_frame.ChannelFrame(channel);
  const double w = m_frame.m_rcLayout.width(), h = m_frame.m_rcLayout.height();
  if (frame == nullptr || w <= 0 || h <= 0) return {0, 0, 0, 0};
  const Rect r = frame->WindowRect();
  return {r.left / w, r.top / h, (r.right - r.left) / w, (r.bottom - r.top) / h};
}

void CFrameModeHost::Sink() {
  // Each to the bottom in turn: CH1 ends above CH2 above CH3 above CH4.
  for (int ch = 0; ch < 4; ++ch)
    if (CChildFrame* frame = m_frame.ChannelFrame(ch)) frame->lower();
}

}  // namespace panora
