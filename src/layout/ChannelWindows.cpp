#include "layout/ChannelWindows.h"

#include <QEvent>
#include <QMetaObject>
#include <cstring>

#include "layout/ChildFrame.h"
#include "layout/LayoutArea.h"
#include "layout/QtRect.h"
#include "layout/TesselView.h"
#include "link/Commands.h"
#include "link/Frame.h"

namespace panora {

CChannelWindows::CChannelWindows(WindowsHost& host) : m_host(host) {}

CChannelWindows::~CChannelWindows() = default;

void CChannelWindows::Attach(CLayoutArea* area) {
  m_area = area;
  if (m_area != nullptr) m_area->SetHost(this);
}

CChildFrame* CChannelWindows::OpenChannelWindow() {
  if (m_area == nullptr) return nullptr;
  CChildFrame* frame = m_area->CreateChannelWindow();
  if (frame != nullptr) Sync(frame->m_nChannel);
  return frame;
}

CChildFrame* CChannelWindows::Frame(int channel) const {
  return m_area != nullptr ? m_area->Frame(channel) : nullptr;
}

void CChannelWindows::UpdateLayoutRect() {
  if (m_area == nullptr) return;
  // The area's client region: 2 pixels inside its sunken edge.
  m_rcLayout = m_area->geometry().adjusted(CLayoutArea::kEdge, CLayoutArea::kEdge, -CLayoutArea::kEdge,
                                           -CLayoutArea::kEdge);
  // A bar closed or resized later changes the area; every conversion must
  // use the area as it is, so follow it.
  m_area->removeEventFilter(this);
  m_area->installEventFilter(this);
}

bool CChannelWindows::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_area && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
    const QRect before = m_rcLayout;
    // Windows the operator moved by their pixels are measured at the size
    // they were moved at, before the area takes its new size.
    for (int ch = 0; ch < 4; ++ch) Sync(ch);
    m_rcLayout = m_area->geometry().adjusted(CLayoutArea::kEdge, CLayoutArea::kEdge, -CLayoutArea::kEdge,
                                             -CLayoutArea::kEdge);
    // The area stands for the output picture: the windows keep their exact
    // share of it, so the screen and the processor still agree and nothing
    // needs sending.
    if (before.size() != m_rcLayout.size() && !m_rcLayout.isEmpty())
      for (int ch = 0; ch < 4; ++ch)
        if (Frame(ch) != nullptr) Place(ch, PlaceFractions(m_fractions[ch], LayoutWidth(), LayoutHeight()));
  }
  return QObject::eventFilter(watched, event);
}

void CChannelWindows::Sync(int channel) {
  CChildFrame* frame = Frame(channel);
  if (frame == nullptr) return;
  const Rect r = frame->WindowRect();
  if (r == m_placed[channel]) return;
  m_placed[channel] = r;
  m_fractions[channel] = MeasureFractions(r, LayoutRect());
}

void CChannelWindows::Place(int channel, const Rect& r) {
  CChildFrame* frame = Frame(channel);
  if (frame == nullptr) return;
  // Set first: whoever the move reports to may ask for the fractions, and
  // must not take this placement for a move of the window's own.
  m_placed[channel] = r;
  frame->MoveTo(r);
  m_placed[channel] = frame->WindowRect();
}

void CChannelWindows::Place(int channel, const Rect& r, const ChannelFractions& f) {
  if (Frame(channel) == nullptr) return;
  m_fractions[channel] = f;
  Place(channel, r);
}

void CChannelWindows::PlaceChannel(int channel, const ChannelFractions& f) {
  Place(channel, PlaceFractions(f, LayoutWidth(), LayoutHeight()), f);
}

ChannelFractions CChannelWindows::MeasureChannel(int channel) {
  if (Frame(channel) == nullptr) return {};
  Sync(channel);
  return m_fractions[channel];
}

ChannelFractions CChannelWindows::RestoreFractions(int channel) const {
  return channel >= 0 && channel < 4 ? m_restoreFractions[channel] : ChannelFractions{};
}

void CChannelWindows::SetRestore(int channel, const Rect& rect, const ChannelFractions& f) {
  if (channel < 0 || channel > 3) return;
  m_restoreRect[channel] = rect;
  m_restoreFractions[channel] = f;
}

// ---- the mode's arrangement --------------------------------------------------

void CChannelWindows::ArrangeChannels(int mode, const std::array<CDataPrm, kSlotCount>& records) {
  m_nCurpod = 3;
  const ChannelArrangement a = panora::ArrangeChannels(mode, LayoutWidth(), LayoutHeight(), records);
  if (!a.placed) return;
  for (int ch = 0; ch < 4; ++ch) {
    if (Frame(ch) == nullptr) continue;
    // Each window's exact place is the one the arrangement gives at this
    // size; a stored user mode keeps the fractions it was saved with.
    if (a.exact[ch])
      PlaceChannel(ch, a.fractions[ch]);
    else
      Place(ch, a.frames[ch], MeasureFractions(a.frames[ch], LayoutRect()));
  }
  if (a.sink) SinkChannels();
  if (a.select >= 0) SelectWindow(a.select);
  for (int ch = 0; ch < 4; ++ch) {
    CChildFrame* frame = Frame(ch);
    if (frame == nullptr) continue;
    frame->View()->m_nInput = a.inputs[ch];
    frame->View()->update();
  }
}

void CChannelWindows::SinkChannels() {
  for (int ch = 0; ch < 4; ++ch)
    if (CChildFrame* frame = Frame(ch)) frame->lower();
}

void CChannelWindows::SelectWindow(int channel) {
  CChildFrame* frame = Frame(channel);
  if (frame == nullptr) return;
  frame->raise();
  m_area->SetActiveFrame(frame);
  m_nPrevPod = m_nCurpod;
  m_nCurpod = channel;
  m_host.CurrentWindowChanged();
}

void CChannelWindows::SetCurrentPod(int channel) {
  m_nCurpod = channel;
  m_host.CurrentWindowChanged();
}

bool CChannelWindows::TakeSkipButtonUp() {
  if (m_bSkipButtonUp != 1) return false;
  m_bSkipButtonUp = 0;
  return true;
}

// ---- maximise, restore, outline ------------------------------------------------

void CChannelWindows::MaximizeWindow(int channel) {
  CChildFrame* frame = Frame(channel);
  if (frame == nullptr) return;
  // The view has just taken its restore rectangle from where the window is:
  // keep the window's exact place with it.
  SetRestore(channel, frame->View()->m_rcRestore, MeasureChannel(channel));
  PlaceChannel(channel, ChannelFractions{0, 0, 1, 1});
}

void CChannelWindows::RestoreWindow(int channel, const Rect& r) {
  CChildFrame* frame = Frame(channel);
  if (frame == nullptr) return;
  if (r == m_restoreRect[channel]) {
    // Back to the exact place it had, at the area's size of now.
    const ChannelFractions f = m_restoreFractions[channel];
    if (RestoreAllowed(PlaceFractions(f, LayoutWidth(), LayoutHeight()), ToRect(m_rcLayout)))
      PlaceChannel(channel, f);
    return;
  }
  if (!RestoreAllowed(r, ToRect(m_rcLayout))) return;
  Place(channel, r, MeasureFractions(r, LayoutRect()));
}

void CChannelWindows::HighlightWindow(CChildFrame* frame) {
  if (m_area != nullptr) m_area->HighlightWindow(frame);
}

void CChannelWindows::PostHighlightCurrent() {
  QMetaObject::invokeMethod(
      this, [this] { HighlightWindow(Frame(m_nCurpod)); }, Qt::QueuedConnection);
}

// ---- output pixels and the geometry command ---------------------------------

OutputGeometry CChannelWindows::OutputOf(int channel) {
  return FractionsToOutput(MeasureChannel(channel), OutputResolution(m_host.OutputResolutionIndex(channel)));
}

OutputGeometry CChannelWindows::WindowToOutput(int channel, const Rect& client) {
  return panora::WindowToOutput(client, ToRect(m_rcLayout),
                                OutputResolution(m_host.OutputResolutionIndex(channel)));
}

void CChannelWindows::SendGeometry(int channel) {
  if (LayoutWidth() <= 0 || LayoutHeight() <= 0) return;
  m_host.SendGeometryFrame(channel, GeometryPayload(OutputOf(channel)));
}

void CChannelWindows::SendWindowGeometry(int channel) {
  if (Frame(channel) == nullptr) return;
  SendGeometry(channel);
  m_host.WindowChanged(channel, false);
}

void CChannelWindows::SendSizedGeometry(int channel, const Rect& screen) {
  if (Frame(channel) == nullptr || m_area == nullptr) return;
  // The rectangle the sizing ended with, in layout coordinates.
  const QPoint origin = m_area->Client()->mapFromGlobal(QPoint(screen.left, screen.top));
  const Rect r = screen.Offset(origin.x() - screen.left, origin.y() - screen.top);
  Place(channel, r, MeasureFractions(r, LayoutRect()));
  SendGeometry(channel);
  m_host.WindowChanged(channel, true);
}

void CChannelWindows::RefreshOutput() {
  constexpr int kFrameBytes = cmd::kSetGeometryLen + kFrameOverhead;
  std::uint8_t frames[4 * kFrameBytes];
  for (int ch = 0; ch < 4; ++ch) {
    if (Frame(ch) == nullptr) return;
    const std::array<std::uint8_t, 8> payload = GeometryPayload(OutputOf(ch));
    BuildFrame(frames + ch * kFrameBytes, payload.data(), static_cast<int>(payload.size()), cmd::kSetGeometry,
               static_cast<std::uint8_t>(ch));
  }
  m_host.SendGeometryBatch(frames, kFrameBytes, 4);
}

}  // namespace panora
