#include "layout/LayoutArea.h"

#include "layout/ChildFrame.h"
#include "ui/Accessible.h"

namespace panora {

CLayoutArea::CLayoutArea(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("layoutArea"));
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(kEdge);
  m_client = new QWidget(this);
  m_client->setObjectName(QStringLiteral("layoutClient"));
  m_client->setAutoFillBackground(true);
  QPalette pal = m_client->palette();
  pal.setColor(QPalette::Window, QColor(128, 128, 128));  // the application workspace grey
  m_client->setPalette(pal);
  SetAccessibleRole(m_client, QAccessible::Client, QStringLiteral("Layout"));
}

void CLayoutArea::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  m_client->setGeometry(contentsRect());
}

CChildFrame* CLayoutArea::CreateChannelWindow() {
  if (m_nFrames >= static_cast<int>(m_frames.size())) return nullptr;
  auto* frame = new CChildFrame(m_client);
  const int step = 26;
  frame->move(m_nFrames * step, m_nFrames * step);
  frame->show();
  m_frames[m_nFrames++] = frame;
  m_pActive = frame;  // the newest window is the active one
  return frame;
}

CLayoutArea* CLayoutArea::Of(QWidget* widget) {
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget())
    if (auto* area = qobject_cast<CLayoutArea*>(w)) return area;
  return nullptr;
}

void CLayoutArea::HighlightWindow(CChildFrame* frame) {
  for (int i = 0; i < m_nFrames; ++i) m_frames[i]->repaint();
  if (frame == nullptr) return;
  frame->SetOutlinePending();
  frame->repaint();
}

CChildFrame* CLayoutArea::Frame(int channel) const {
  return channel >= 0 && channel < m_nFrames ? m_frames[channel] : nullptr;
}

}  // namespace panora
