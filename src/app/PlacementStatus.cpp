#include "app/PlacementStatus.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>

#include "app/MainFrame.h"
#include "app/Undo.h"
#include "layout/ChildFrame.h"
#include "layout/LayoutArea.h"
#include "layout/QtRect.h"
#include "model/Paths.h"

namespace panora {

namespace {

QString PreferencesPath() {
  return QString::fromStdString(DataFolder() + "/preferences.ini");
}
const QString kSnapKey = QStringLiteral("Layout/SnapToEdges");

}  // namespace

CPlacementStatus::CPlacementStatus(CMainFrame& frame, QStatusBar* bar)
    : QObject(&frame),
      m_frame(frame),
      m_pane(new QLabel),
      m_snapAction(new QAction(QStringLiteral("Snap to Edges"), &frame)) {
  m_pane->setObjectName(QStringLiteral("placementPane"));
  m_pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_pane->setMinimumWidth(m_pane->fontMetrics().horizontalAdvance(Text(3, {-1920, -1200, 1920, 1200})) + 8);
  m_pane->setAccessibleDescription(QStringLiteral("Window position and size in output pixels"));
  bar->addPermanentWidget(m_pane);

  m_bSnap = QSettings(PreferencesPath(), QSettings::IniFormat).value(kSnapKey, false).toBool();
  m_snapAction->setObjectName(QStringLiteral("snapToEdges"));
  m_snapAction->setCheckable(true);
  m_snapAction->setChecked(m_bSnap);
  m_snapAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
  connect(m_snapAction, &QAction::toggled, this, &CPlacementStatus::SetSnap);

  m_burstEnd.setSingleShot(true);
  m_burstEnd.setInterval(kBurstEndMs);
  connect(&m_burstEnd, &QTimer::timeout, this, &CPlacementStatus::EndBurst);

  // The layout takes the keyboard focus from a click in any of its windows.
  CLayoutArea* area = frame.LayoutArea();
  area->Client()->setFocusPolicy(Qt::StrongFocus);
  area->Client()->installEventFilter(this);
}

void CPlacementStatus::WatchFrame(CChildFrame* frame) {
  if (frame != nullptr) frame->installEventFilter(this);
}

void CPlacementStatus::WatchSettings(QWidget* mainSettings) {
  // The output resolution chosen in the main settings changes the pixels.
  for (QComboBox* box : mainSettings->findChildren<QComboBox*>()) {
    const int id = box->objectName().toInt();
    if (id == 1003) m_allRes = box;
    if (id >= 1005 && id <= 1008) m_outRes[id - 1005] = box;
    if (id == 1003 || (id >= 1005 && id <= 1008))
      connect(box, &QComboBox::currentIndexChanged, this, &CPlacementStatus::Refresh);
  }
  m_perOutput = mainSettings->findChild<QCheckBox*>(QStringLiteral("1004"));
  if (m_perOutput != nullptr) connect(m_perOutput, &QCheckBox::toggled, this, &CPlacementStatus::Refresh);
  Refresh();
}

int CPlacementStatus::ResolutionOf(int channel) const {
  // The lists as the geometry command reads them, without the panel's
  // exchange of its controls, which is not ours to run at any moment.
  const QComboBox* list = m_perOutput != nullptr && m_perOutput->isChecked() ? m_outRes[channel] : m_allRes;
  return list != nullptr ? list->currentIndex() : 0;
}

QString CPlacementStatus::Text(int channel, const OutputGeometry& g) {
  return QStringLiteral("CH%1: X %2 Y %3 W %4 H %5").arg(channel + 1).arg(g.x).arg(g.y).arg(g.w).arg(g.h);
}

CChildFrame* CPlacementStatus::ShownFrame() const {
  for (int ch = 0; ch < 4; ++ch)
    if (CChildFrame* f = m_frame.ChannelFrame(ch); f != nullptr && (f->m_bDragging || f->IsSizing()))
      return f;
  return m_frame.ChannelFrame(m_frame.m_nCurpod);
}

void CPlacementStatus::Refresh() {
  CChildFrame* f = ShownFrame();
  QString text;
  if (f != nullptr) {
    // What the geometry command would send for the window as it stands.
    text = Text(f->m_nChannel, FractionsToOutput(m_frame.Windows().MeasureChannel(f->m_nChannel),
                                                 OutputResolution(ResolutionOf(f->m_nChannel))));
  }
  if (m_pane->text() != text) m_pane->setText(text);
}

void CPlacementStatus::SetSnap(bool on) {
  if (m_snapAction->isChecked() != on) m_snapAction->setChecked(on);  // comes back here through toggled
  if (m_bSnap == on) return;
  m_bSnap = on;
  QSettings settings(PreferencesPath(), QSettings::IniFormat);
  settings.setValue(kSnapKey, on);
}

void CPlacementStatus::Nudge(int dx, int dy) {
  // Another window became current since the last key: that burst is over.
  if (m_nBurstChannel >= 0 && m_nBurstChannel != m_frame.m_nCurpod) EndBurst();
  CChildFrame* f = m_frame.ChannelFrame(m_frame.m_nCurpod);
  if (f == nullptr || f->m_bDragging || f->IsSizing()) return;
  if (m_nBurstChannel < 0) {
    m_nBurstChannel = m_frame.m_nCurpod;
    m_rcBurstStart = f->WindowRect();
    m_frame.Undo().UpdateActions();
  }
  const QWidget* client = f->parentWidget();
  const Rect r = DragStep(f->WindowRect(), dx, dy, client->width(), client->height());
  f->move(r.left, r.top);
  m_burstEnd.stop();  // restarted when the key goes up
}

void CPlacementStatus::EndBurst() {
  m_burstEnd.stop();
  const int channel = m_nBurstChannel;
  m_nBurstChannel = -1;
  CChildFrame* f = m_frame.ChannelFrame(channel);
  if (f == nullptr) return;
  if (f->WindowRect() != m_rcBurstStart) m_frame.Windows().SendWindowGeometry(channel);
  m_frame.Windows().HighlightWindow(f);
  m_frame.Undo().UpdateActions();
}

void CPlacementStatus::DropBurst() {
  m_burstEnd.stop();
  m_nBurstChannel = -1;
  m_frame.Undo().UpdateActions();
}

bool CPlacementStatus::KeyEvent(QEvent* event) {
  auto* key = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
  if (mods != Qt::NoModifier && mods != Qt::ShiftModifier) return false;
  int dx = 0, dy = 0;
  switch (key->key()) {
    case Qt::Key_Left: dx = -1; break;
    case Qt::Key_Right: dx = 1; break;
    case Qt::Key_Up: dy = -1; break;
    case Qt::Key_Down: dy = 1; break;
    default: return false;
  }
  if (event->type() == QEvent::KeyPress) {
    const int step = mods == Qt::ShiftModifier ? kBigStep : 1;
    Nudge(dx * step, dy * step);
  } else if (m_nBurstChannel >= 0) {
    // Auto-repeat sends a release before each repeated press: the burst
    // ends only when no press follows soon.
    m_burstEnd.start();
  }
  return true;
}

bool CPlacementStatus::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      if (watched == m_frame.LayoutArea()->Client() && KeyEvent(event)) return true;
      break;
    case QEvent::FocusOut:
      // Keys elsewhere no longer extend the burst.
      if (watched == m_frame.LayoutArea()->Client() && m_nBurstChannel >= 0) EndBurst();
      break;
    case QEvent::Move:
    case QEvent::Resize:
      if (watched != m_frame.LayoutArea()->Client()) Refresh();
      break;
    default: break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace panora
