#include "app/Undo.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>

#include "app/Dialogs.h"
#include "app/MainFrame.h"
#include "app/PlacementStatus.h"
#include "layout/Arrange.h"
#include "layout/ChildFrame.h"
#include "layout/DlgFullSet.h"
#include "layout/LayoutArea.h"
#include "layout/TesselView.h"
#include "link/Commands.h"
#include "model/FullSetPayloads.h"
#include "model/ModeController.h"
#include "model/PicturePayloads.h"
#include "panels/DlgBorderSet.h"
#include "panels/DlgMainSet.h"
#include "panels/DlgTestPage.h"

namespace panora {

namespace {

// The Set buttons by dialog id.
constexpr int kResolutionSet = 1009;
constexpr int kInputSet = 1031;
constexpr int kOverlaySet = 1068;
constexpr int kDisplaySet = 1070;
constexpr int kContrastSet = 1064;
constexpr int kBrightnessSet = 1062;
constexpr int kBorderSet = 1063;
constexpr int kBezelSet = CDlgBorderSet::kSetId;

struct Key {
  int setId, target;
};
constexpr Key kPanelKeys[] = {
    {kResolutionSet, 0}, {kInputSet, 0},      {kOverlaySet, 0},    {kDisplaySet, 0},
    {kBorderSet, 0},     {kContrastSet, 0},   {kContrastSet, 1},   {kContrastSet, 2},
    {kContrastSet, 3},   {kContrastSet, 4},   {kBrightnessSet, 0}, {kBrightnessSet, 1},
    {kBrightnessSet, 2}, {kBrightnessSet, 3}, {kBrightnessSet, 4}, {kBezelSet, 0}};

void Put(PanelValue& p, int value) {
  if (p.count < PanelValue::kMax) p.v[static_cast<std::size_t>(p.count++)] = value;
}

void Check(QButtonGroup* group, int id) {
  if (QAbstractButton* b = group->button(id)) b->setChecked(true);
}

// The index of the move or zoom button with this id, or -1.
int MoveZoomIndex(int buttonId) {
  for (std::size_t i = 0; i < kMoveZoomButtons.size(); ++i)
    if (kMoveZoomButtons[i].buttonId == buttonId) return static_cast<int>(i);
  return -1;
}

// A bezel box as a number, -1 when empty, so that undo shows it empty again.
int BezelBox(const QLineEdit* box) {
  return box->text().isEmpty() ? -1 : static_cast<int>(BezelBoxValue(box->text().toStdString()));
}
void SetBezelBox(QLineEdit* box, int value) {
  box->setText(value < 0 ? QString() : QString::number(value));
}

}  // namespace

void CUndo::SetActions(QAction* undo, QAction* redo) {
  m_undoAction = undo;
  m_redoAction = redo;
  UpdateActions();
}

void CUndo::UpdateActions() {
  const bool burst = m_frame.PlacementReady() && m_frame.Placement().BurstPending();
  if (m_undoAction != nullptr) m_undoAction->setEnabled(m_history.CanUndo() || burst);
  if (m_redoAction != nullptr) m_redoAction->setEnabled(m_history.CanRedo());
}

void CUndo::Reset() {
  if (!m_bRestoring) {
    m_history.Clear();
    m_resetBefore.reset();
    m_resetAfter.reset();
  }
  for (int ch = 0; ch < 4; ++ch) m_window[ch] = TakeWindow(ch);
  std::map<std::pair<int, int>, PanelValue> panel;
  for (const Key& k : kPanelKeys) {
    const std::pair<int, int> key{k.setId, k.target};
    // A mode leaves the contrast slider and the bezel boxes as they are, so
    // what they show may be moved or typed without Set: they keep what was
    // last sent or answered. The other panels show what the mode set.
    const auto kept = m_panel.find(key);
    const bool keep = k.setId == kContrastSet || k.setId == kBezelSet;
    panel[key] = keep && kept != m_panel.end() ? kept->second : Capture(k.setId, k.target);
  }
  m_panel = std::move(panel);
  UpdateActions();
}

// ---- windows ----------------------------------------------------------------

WindowValue CUndo::TakeWindow(int channel) const {
  WindowValue v;
  CChildFrame* frame = m_frame.ChannelFrame(channel);
  if (frame == nullptr) return v;
  // Exact places, so that a step taken before the area changed size puts
  // the window back where it was on the output.
  CChannelWindows& windows = m_frame.Windows();
  const ChannelFractions f = windows.MeasureChannel(channel);
  const ChannelFractions rf = windows.RestoreFractions(channel);
  const Rect restore = frame->View()->m_rcRestore;
  v.place = {f.x, f.y, f.w, f.h};
  v.maximized = frame->View()->m_bMaximized;
  v.restore = {restore.left, restore.top, restore.right, restore.bottom};
  v.restorePlace = {rf.x, rf.y, rf.w, rf.h};
  return v;
}

void CUndo::WindowChanged(int channel, bool sized) {
  if (channel < 0 || channel > 3) return;
  WindowValue after = TakeWindow(channel);
  if (sized) after.maximized = 0;  // the sizing clears the flag once this returns
  const WindowValue before = m_window[channel];
  m_window[channel] = after;
  if (m_bApplying || before == after) return;
  HistoryStep s;
  s.kind = HistoryStep::kWindow;
  s.what = channel;
  s.windowBefore = before;
  s.windowAfter = after;
  m_history.Record(s);
  UpdateActions();
}

bool CUndo::PlaceWindow(int channel, const WindowValue& stored) {
  CChildFrame* frame = m_frame.ChannelFrame(channel);
  if (frame == nullptr) return false;
  const WindowValue& v = stored;
  CChannelWindows& windows = m_frame.Windows();
  windows.PlaceChannel(channel, {v.place[0], v.place[1], v.place[2], v.place[3]});
  CTesselView* view = frame->View();
  view->m_bMaximized = v.maximized;
  view->m_rcRestore = Rect{v.restore[0], v.restore[1], v.restore[2], v.restore[3]};
  windows.SetRestore(channel, view->m_rcRestore,
                     {v.restorePlace[0], v.restorePlace[1], v.restorePlace[2], v.restorePlace[3]});
  // As after the operator's own drag: the window is the current one, its
  // geometry goes out, the outline marks it.
  m_frame.m_nCurpod = channel;
  m_frame.LayoutArea()->SetActiveFrame(frame);
  windows.SendWindowGeometry(channel);
  windows.HighlightWindow(frame);
  return true;
}

// ---- panels -------------------------------------------------------------------

PanelValue CUndo::Capture(int setId, int /*target*/) const {
  PanelValue p;
  if (m_mainSet != nullptr) {
    CDlgMainSet& m = *m_mainSet;
    switch (setId) {
      case kResolutionSet:
        Put(p, m.m_chkFullMode->isChecked() ? 1 : 0);
        Put(p, m.m_cbAllOutRes->currentIndex());
        for (QComboBox* cb : m.m_cbOutRes) Put(p, cb->currentIndex());
        return p;
      case kInputSet:
        for (QButtonGroup* g : m.m_grpInSel) Put(p, g->checkedId());
        return p;
      case kOverlaySet:
        Put(p, m.m_grpOverlay->checkedId());
        Put(p, m.m_cbOverlayOut->currentIndex());
        for (QButtonGroup* g : m.m_grpLayerSel) Put(p, g->checkedId());
        return p;
      case kDisplaySet:
        Put(p, m.m_chkDispAll->isChecked() ? 1 : 0);
        for (QCheckBox* c : m.m_chkDispCh) Put(p, c->isChecked() ? 1 : 0);
        for (QCheckBox* c : m.m_chkOutDispCh) Put(p, c->isChecked() ? 1 : 0);
        return p;
      default: break;
    }
  }
  if (m_bezel != nullptr && setId == kBezelSet) {
    Put(p, BezelBox(m_bezel->m_edH));
    Put(p, BezelBox(m_bezel->m_edV));
    return p;
  }
  if (m_testPage != nullptr) {
    CDlgTestPage& t = *m_testPage;
    switch (setId) {
      case kContrastSet: Put(p, t.m_sldContrast->value()); return p;
      case kBrightnessSet: Put(p, t.m_sldBrightness->value()); return p;
      case kBorderSet:
        Put(p, t.m_grpScope->checkedId());
        Put(p, t.m_grpOnOff->checkedId());
        for (QCheckBox* c : t.m_chkBorderCh) Put(p, c->isChecked() ? 1 : 0);
        return p;
      default: break;
    }
  }
  return p;
}

void CUndo::PanelSet(int setId, int target) {
  const int press = MoveZoomIndex(setId);
  if (press >= 0) {
    if (m_bApplying || m_fullSet == nullptr) return;
    HistoryStep s;
    s.kind = HistoryStep::kPress;
    s.what = press;
    s.target = target;
    s.step = StepFromText(m_fullSet->m_edStep[static_cast<std::size_t>(press)]->text().toStdString());
    m_history.Record(s);
    UpdateActions();
    return;
  }
  const PanelValue after = Capture(setId, target);
  PanelValue& now = m_panel[{setId, target}];
  const PanelValue before = now;
  now = after;
  if (m_bApplying || before == after) return;
  HistoryStep s;
  s.kind = HistoryStep::kPanel;
  s.what = setId;
  s.target = target;
  s.panelBefore = before;
  s.panelAfter = after;
  m_history.Record(s);
  UpdateActions();
}

PanelValue CUndo::Current(int setId, int target) const {
  const auto it = m_panel.find({setId, target});
  return it != m_panel.end() ? it->second : PanelValue{};
}

CUndo::Snapshot CUndo::TakeSnapshot() const {
  Snapshot s;
  s.profile = m_frame.m_Profile;
  s.curMod = m_frame.m_nCurMod;
  s.prevMod = m_frame.m_nPrevMod;
  for (int ch = 0; ch < 4; ++ch) s.windows[static_cast<std::size_t>(ch)] = m_frame.Windows().MeasureChannel(ch);
  for (QObject* o : m_frame.LayoutArea()->Client()->children())
    if (auto* frame = qobject_cast<CChildFrame*>(o)) s.stack.push_back(frame->m_nChannel);
  s.curpod = m_frame.m_nCurpod;
  return s;
}

void CUndo::FactoryResetDone(Snapshot before) {
  m_resetBefore = std::move(before);
  m_resetAfter = TakeSnapshot();
  HistoryStep s;
  s.kind = HistoryStep::kReset;
  m_history.Record(s);
  UpdateActions();
}

void CUndo::PutBack(const Snapshot& s, bool undone) {
  // The profile's path stays: the exit save goes where it would have gone.
  const std::string path = m_frame.m_Profile.m_strProfilePath;
  m_frame.m_Profile = s.profile;
  m_frame.m_Profile.m_strProfilePath = path;
  m_bRestoring = true;
  m_frame.ApplyMode(s.curMod);
  m_bRestoring = false;
  m_frame.m_nCurMod = s.curMod;
  m_frame.m_nPrevMod = s.prevMod;
  for (int ch = 0; ch < 4; ++ch) m_frame.Windows().PlaceChannel(ch, s.windows[static_cast<std::size_t>(ch)]);
  // The windows in the order they stood, the current one as it was.
  for (int ch : s.stack)
    if (CChildFrame* frame = m_frame.ChannelFrame(ch)) frame->raise();
  if (CChildFrame* current = m_frame.ChannelFrame(s.curpod)) {
    m_frame.m_nCurpod = s.curpod;
    m_frame.LayoutArea()->SetActiveFrame(current);
  }
  for (int ch = 0; ch < 4; ++ch) m_window[ch] = TakeWindow(ch);
  m_frame.UpdateToolButtonTips();
  m_frame.UpdateModeMenuItems();
  if (undone) {
    // The processor was reset all the same: the set-up waits for it.
    m_frame.Link().AddUnsentUserModes(1);
    m_frame.AddInfo(QStringLiteral("Factory reset undone: Send Set-up and User Modes writes it to the processor"));
  }
}

void CUndo::PanelShown(int setId, int target) {
  m_panel[{setId, target}] = Capture(setId, target);
}

void CUndo::PositionSession(int channel, const std::array<int, 4>& opened, const std::array<int, 4>& sent) {
  if (m_bApplying || channel < 0 || channel > 3 || opened == sent) return;
  HistoryStep s;
  s.kind = HistoryStep::kPosition;
  s.what = channel;
  for (int i = 0; i < 4; ++i) {
    Put(s.panelBefore, opened[static_cast<std::size_t>(i)]);
    Put(s.panelAfter, sent[static_cast<std::size_t>(i)]);
  }
  m_history.Record(s);
  UpdateActions();
}

bool CUndo::SendPosition(int channel, const PanelValue& xywh) {
  if (xywh.count < 4) return false;
  // As the dialog's nudge sends it; the layout's windows stay where they are.
  const auto& v = xywh.v;
  const auto payload = PositionPayload(PositionEdges::FromWindow(v[0], v[1], v[2], v[3]));
  m_frame.SendCommand(cmd::kSetGeometry, static_cast<std::uint8_t>(channel), payload.data(),
                      cmd::kSetGeometryLen, false);
  return true;
}

bool CUndo::Replay(int setId, int target, const PanelValue& p) {
  const auto& v = p.v;
  if (m_bezel != nullptr && setId == kBezelSet) {
    if (p.count < 2) return false;
    SetBezelBox(m_bezel->m_edH, v[0]);
    SetBezelBox(m_bezel->m_edV, v[1]);
    return m_bezel->OnBezelSet();
  }
  if (m_mainSet != nullptr) {
    CDlgMainSet& m = *m_mainSet;
    switch (setId) {
      case kResolutionSet:
        if (p.count < 6) return false;
        // "Full mode" as if clicked (it enables the lists), then the choices.
        m.m_chkFullMode->setChecked(v[0] != 0);
        m.OnFullMode();
        m.m_cbAllOutRes->setCurrentIndex(v[1]);
        for (int o = 0; o < 4; ++o) m.m_cbOutRes[o]->setCurrentIndex(v[2 + o]);
        m.OnResolutionSet();
        return true;
      case kInputSet:
        if (p.count < 4) return false;
        for (int ch = 0; ch < 4; ++ch) Check(m.m_grpInSel[ch], v[ch]);
        m.OnInputSet();
        return true;
      case kOverlaySet:
        if (p.count < 6) return false;
        Check(m.m_grpOverlay, v[0]);
        if (v[0] == 1)
          m.OnOverlayDifferent();
        else
          m.OnOverlayAll();
        m.m_cbOverlayOut->setCurrentIndex(v[1]);
        for (int ch = 0; ch < 4; ++ch) Check(m.m_grpLayerSel[ch], v[2 + ch]);
        m.OnOverlaySet();
        return true;
      case kDisplaySet:
        if (p.count < 21) return false;
        m.m_chkDispAll->setChecked(v[0] != 0);
        m.OnDisplayAll();
        for (int ch = 0; ch < 4; ++ch) m.m_chkDispCh[ch]->setChecked(v[1 + ch] != 0);
        for (int i = 0; i < 16; ++i) m.m_chkOutDispCh[i]->setChecked(v[5 + i] != 0);
        m.OnDisplaySet();
        return true;
      default: break;
    }
  }
  if (m_testPage != nullptr) {
    CDlgTestPage& t = *m_testPage;
    switch (setId) {
      case kContrastSet:
      case kBrightnessSet:
        if (p.count < 1) return false;
        Check(t.m_grpPicChannel, target);
        if (setId == kContrastSet) {
          t.m_sldContrast->setValue(v[0]);
          t.OnContrastSet();
        } else {
          t.m_sldBrightness->setValue(v[0]);
          t.OnBrightnessSet();
        }
        return true;
      case kBorderSet:
        if (p.count < 6) return false;
        Check(t.m_grpScope, v[0]);
        if (v[0] == 1)
          t.OnBorderSingleChannel();
        else
          t.OnBorderAllChannels();
        Check(t.m_grpOnOff, v[1]);
        t.OnBorderOnOff();
        for (int ch = 0; ch < 4; ++ch) t.m_chkBorderCh[ch]->setChecked(v[2 + ch] != 0);
        t.OnBorderSet();
        return true;
      default: break;
    }
  }
  return false;
}

// ---- undo and redo ----------------------------------------------------------

bool CUndo::RespectsBusy(const HistoryStep& s) const {
  // The sends that the operator's own gesture or button refuses while a
  // batch goes out.
  if (s.kind == HistoryStep::kWindow) return m_frame.TransportOpen();
  // The move and zoom buttons, the position dialog and the bezel Set send
  // while a batch goes out, their frames built apart from it.
  if (s.kind != HistoryStep::kPanel) return false;
  return s.what == kResolutionSet || s.what == kOverlaySet || s.what == kBorderSet;
}

bool CUndo::Carry(const HistoryStep& s, bool back) {
  if (RespectsBusy(s) && m_frame.m_bSending.load() == 1) {
    // Refused before anything changes on screen, as the history stays.
    MessageBox(&m_frame, QString::fromLatin1(kBusyText));
    return false;
  }
  m_bApplying = true;
  bool done = false;
  switch (s.kind) {
    case HistoryStep::kWindow:
      done = PlaceWindow(s.what, back ? s.windowBefore : s.windowAfter);
      if (done) m_window[s.what] = TakeWindow(s.what);
      break;
    case HistoryStep::kPanel: done = Replay(s.what, s.target, back ? s.panelBefore : s.panelAfter); break;
    case HistoryStep::kPress:
      // The opposite button (left and right, up and down, in and out stand
      // side by side) with the same step takes a press back.
      if (m_fullSet != nullptr) {
        m_fullSet->Press(back ? s.what ^ 1 : s.what, s.target, s.step);
        done = true;
      }
      break;
    case HistoryStep::kPosition: done = SendPosition(s.what, back ? s.panelBefore : s.panelAfter); break;
    case HistoryStep::kReset:
      if (const std::optional<Snapshot>& snap = back ? m_resetBefore : m_resetAfter) {
        PutBack(*snap, back);
        done = true;
      }
      break;
  }
  m_bApplying = false;
  return done;
}

void CUndo::EndGestures() {
  // An arrow-key burst still open is the latest change: it goes out and
  // becomes a step before anything is taken back.
  CPlacementStatus& placement = m_frame.Placement();
  if (placement.BurstPending()) placement.EndBurst();
}

bool CUndo::Undo() {
  EndGestures();
  const HistoryStep* s = m_history.NextUndo();
  if (s == nullptr || !Carry(*s, true)) return false;
  m_history.CommitUndo();
  UpdateActions();
  return true;
}

bool CUndo::Redo() {
  EndGestures();
  const HistoryStep* s = m_history.NextRedo();
  if (s == nullptr || !Carry(*s, false)) return false;
  m_history.CommitRedo();
  UpdateActions();
  return true;
}

}  // namespace panora
