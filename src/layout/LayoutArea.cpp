#include "layout/LayoutArea.h"

#include <QEvent>
#include <QPainter>
#include <QRegion>
#include <QStringList>
#include <algorithm>

#include "layout/ChildFrame.h"
#include "layout/TesselView.h"
#include "ui/Accessible.h"

namespace panora {

namespace {

QString CoveredLabelText(const CChildFrame& frame) {
  return QStringLiteral("CH%1 In%2 (covered)").arg(frame.m_nChannel + 1).arg(frame.View()->m_nInput + 1);
}

// Where a covered window's label goes: at its bottom-left corner, else
// stacked upward, else in a column further right, on the first place that
// no label placed before overlaps. Inside the window where there is room,
// else anywhere in the layout (`bounds`).
QRect PlaceLabel(const QRect& window, QSize size, const std::vector<QRect>& placed, const QRect& bounds) {
  auto free = [&](const QRect& r) {
    return std::none_of(placed.begin(), placed.end(), [&](const QRect& p) { return p.intersects(r); });
  };
  const QRect first(window.left() + 6, window.bottom() - size.height() - 3, size.width(), size.height());
  for (const QRect& room : {window, bounds}) {
    for (QRect column = first; column.right() <= room.right(); column.translate(size.width() + 6, 0))
      for (QRect r = column; r.top() >= room.top(); r.translate(0, -(size.height() + 2)))
        if (free(r)) return r;
  }
  return first;
}

}  // namespace

// Above the four windows, invisible to the mouse: the dashed outline and
// label of each window that the others hide completely.
class CLayoutArea::CoverOverlay final : public QWidget {
 public:
  explicit CoverOverlay(CLayoutArea& area, QWidget* client) : QWidget(client), m_area(area) {
    setObjectName(QStringLiteral("coverOverlay"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
  }

 public:
  // Takes the covered windows anew; screen readers hear them by name.
  void Follow() {
    const std::vector<int> covered = m_area.CoveredChannels();
    const bool changed = covered != m_covered;
    if (changed) {
      m_covered = covered;
      QStringList names;
      for (int ch : covered) names << QStringLiteral("CH%1").arg(ch + 1);
      SetAccessibleRole(
          this, QAccessible::StaticText,
          names.isEmpty() ? QString() : QStringLiteral("Covered: %1").arg(names.join(QStringLiteral(", "))));
    }
    // The overlay spans the whole layout: repainting it repaints every
    // window beneath, which a move with nothing covered does not need.
    if (changed || !covered.empty()) update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (m_covered.empty()) return;
    QPainter p(this);
    p.setFont(CTesselView::LabelFont());
    const auto labels = m_area.CoveredLabels();
    for (const auto& [ch, text] : labels) {
      const QRect r = m_area.Frame(ch)->geometry();
      // White under black dashes: visible on any picture.
      p.setPen(QPen(Qt::white, 2));
      p.drawRect(r.adjusted(1, 1, -2, -2));
      p.setPen(QPen(Qt::black, 2, Qt::DashLine));
      p.drawRect(r.adjusted(1, 1, -2, -2));
    }
    // The labels after all outlines, so that no outline crosses one.
    for (const auto& [ch, text] : labels) {
      p.fillRect(text, Qt::white);
      p.setPen(Qt::black);
      p.drawText(text, Qt::AlignCenter, CoveredLabelText(*m_area.Frame(ch)));
    }
  }

 private:
  CLayoutArea& m_area;
  std::vector<int> m_covered;
};

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
  m_overlay = new CoverOverlay(*this, m_client);
}

void CLayoutArea::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  m_client->setGeometry(contentsRect());
  m_overlay->setGeometry(m_client->rect());
}

bool CLayoutArea::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ZOrderChange:
      // A window raised above the overlay: the overlay goes back on top.
      if (watched != m_overlay) m_overlay->raise();
      m_overlay->Follow();
      break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide: m_overlay->Follow(); break;
    default: break;
  }
  return QFrame::eventFilter(watched, event);
}

std::vector<int> CLayoutArea::CoveredChannels() const {
  std::vector<int> covered;
  // The client's children in stacking order, lowest first.
  std::vector<const CChildFrame*> stack;
  for (const QObject* o : m_client->children())
    if (auto* frame = qobject_cast<const CChildFrame*>(o); frame != nullptr && frame->isVisible())
      stack.push_back(frame);
  for (std::size_t i = 0; i < stack.size(); ++i) {
    QRegion rest(stack[i]->geometry());
    for (std::size_t j = i + 1; j < stack.size() && !rest.isEmpty(); ++j) rest -= stack[j]->geometry();
    if (rest.isEmpty()) covered.push_back(stack[i]->m_nChannel);
  }
  std::sort(covered.begin(), covered.end());
  return covered;
}

std::vector<std::pair<int, QRect>> CLayoutArea::CoveredLabels() const {
  std::vector<std::pair<int, QRect>> labels;
  std::vector<QRect> placed;
  const QFontMetrics fm(CTesselView::LabelFont());
  for (int ch : CoveredChannels()) {
    const CChildFrame* frame = Frame(ch);
    const QSize size(fm.horizontalAdvance(CoveredLabelText(*frame)) + 6, fm.height() + 2);
    placed.push_back(PlaceLabel(frame->geometry(), size, placed, m_client->rect()));
    labels.emplace_back(ch, placed.back());
  }
  return labels;
}

CChildFrame* CLayoutArea::CreateChannelWindow() {
  if (m_nFrames >= static_cast<int>(m_frames.size())) return nullptr;
  auto* frame = new CChildFrame(m_client);
  const int step = 26;
  frame->move(m_nFrames * step, m_nFrames * step);
  frame->show();
  frame->installEventFilter(this);
  m_overlay->raise();
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
