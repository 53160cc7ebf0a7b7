#include "app/FrameModeHost.h"

#include "app/Dialogs.h"
#include "app/dialogs/DlgMessage.h"
#include "app/MainFrame.h"
#include "layout/Arrange.h"
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

void CFrameModeHost::CountUnsent(const std::uint8_t* bytes, int length) {
  m_frame.Link().CountUnsentFrame(bytes, length);
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
  m_frame.UpdateModeMenuItems();  // the mode pane shows the name
}

void CFrameModeHost::ModeChanged() {
  m_frame.UpdateModeMenuItems();
}

void CFrameModeHost::SelectWindow(int channel) {
  m_frame.Windows().SelectWindow(channel);
}

void CFrameModeHost::HighlightWindow(int channel) {
  m_frame.Windows().HighlightWindow(m_frame.ChannelFrame(channel));
}

std::array<double, 4> CFrameModeHost::Measure(int channel) const {
  const ChannelFractions f = m_frame.Windows().MeasureChannel(channel);
  return {f.x, f.y, f.w, f.h};
}

void CFrameModeHost::Sink() {
  m_frame.Windows().SinkChannels();
}

}  // namespace panora
