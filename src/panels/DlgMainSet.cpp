#include "panels/DlgMainSet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstdint>

#include "app/LstInforBox.h"
#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/Frame.h"
#include "model/MainSetPayloads.h"
#include "panels/PanelWidgets.h"

namespace panora {

namespace {

using panel::Named;

QGridLayout* MainGrid(QGroupBox* box) {
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(4, 2, 4, 2);
  grid->setHorizontalSpacing(3);
  grid->setVerticalSpacing(1);
  return grid;
}

// A row of radio buttons "<prefix>1".."<prefix>4" as one group with ids 0..3.
QButtonGroup* MainRadioRow(QGridLayout* grid, int row, const QString& label, const QString& prefix, int firstId,
                       QWidget* owner) {
  auto* group = new QButtonGroup(owner);
  auto* lbl = new QLabel(label);
  grid->addWidget(lbl, row, 0);
  for (int i = 0; i < 4; ++i) {
    auto* rb = Named(new QRadioButton(prefix + QString::number(i + 1)), firstId + i);
    group->addButton(rb, i);
    grid->addWidget(rb, row, i + 1);
  }
  lbl->setBuddy(group->button(0));
  return group;
}

constexpr const char* kBusyText = "please wait second, sending data have not finished";

}  // namespace

CDlgMainSet::CDlgMainSet(PanelHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
  setObjectName(QStringLiteral("139"));
  // The panel was laid out for a narrow 8-point dialog font; Arial (or its
  // metric twin) keeps the five groups within the window's width.
  QFont f(QStringLiteral("Arial"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSize(8);
  setFont(f);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(2, 0, 2, 2);
  row->setSpacing(4);
  row->addWidget(BuildResolutionGroup());
  row->addWidget(BuildInputGroup());
  row->addWidget(BuildOverlayGroup());
  row->addWidget(BuildDisplayGroup());
  row->addWidget(BuildInformationGroup(), 1);
  OnInitDialog();
}

QGroupBox* CDlgMainSet::BuildResolutionGroup() {
  auto* box = new QGroupBox(QStringLiteral("Resolution"));
  auto* grid = MainGrid(box);
  auto makeCombo = [this](int id) {
    auto* cb = Named(new QComboBox, id);
    for (const ResolutionEntry& r : kResolutionTable) cb->addItem(QString::fromLatin1(r.text));
    return cb;
  };
  m_cbAllOutRes = makeCombo(1003);
  m_cbAllOutRes->view()->setMinimumWidth(120);
  auto* allLbl = new QLabel(QStringLiteral("All Outs:"));
  allLbl->setBuddy(m_cbAllOutRes);
  grid->addWidget(allLbl, 0, 0);
  grid->addWidget(m_cbAllOutRes, 0, 1);
  m_chkFullMode = Named(new QCheckBox(QStringLiteral("Full mode")), 1004);
  connect(m_chkFullMode, &QCheckBox::clicked, this, &CDlgMainSet::OnFullMode);
  grid->addWidget(m_chkFullMode, 0, 2);
  for (int o = 0; o < 4; ++o) {
    m_cbOutRes[o] = makeCombo(1005 + o);
    auto* lbl = new QLabel(QStringLiteral("Out%1:").arg(o + 1));
    lbl->setBuddy(m_cbOutRes[o]);
    grid->addWidget(lbl, 1 + o, 0);
    grid->addWidget(m_cbOutRes[o], 1 + o, 1);
  }
  m_btnResolutionSet = Named(new QPushButton(QStringLiteral("Set")), 1009);
  m_btnResolutionSet->setAccessibleName(QStringLiteral("Resolution Set"));
  connect(m_btnResolutionSet, &QPushButton::clicked, this, &CDlgMainSet::OnResolutionSet);
  grid->addWidget(m_btnResolutionSet, 4, 2, Qt::AlignBottom);
  grid->setRowStretch(5, 1);
  return box;
}

QGroupBox* CDlgMainSet::BuildInputGroup() {
  auto* box = new QGroupBox(QStringLiteral("Channel input selection"));
  auto* grid = MainGrid(box);
  for (int ch = 0; ch < 4; ++ch)
    m_grpInSel[ch] =
        MainRadioRow(grid, ch, QStringLiteral("CH%1:").arg(ch + 1), QStringLiteral("In"), 1015 + 4 * ch, this);
  m_btnInputSet = Named(new QPushButton(QStringLiteral("Set")), 1031);
  m_btnInputSet->setAccessibleName(QStringLiteral("Channel input Set"));
  connect(m_btnInputSet, &QPushButton::clicked, this, &CDlgMainSet::OnInputSet);
  grid->addWidget(m_btnInputSet, 4, 3, 1, 2, Qt::AlignRight);
  grid->setRowStretch(5, 1);
  return box;
}

QGroupBox* CDlgMainSet::BuildOverlayGroup() {
  auto* box = new QGroupBox(QStringLiteral("Overlay"));
  auto* grid = MainGrid(box);
  m_grpOverlay = new QButtonGroup(this);
  auto* all = Named(new QRadioButton(QStringLiteral("All")), 1032);
  auto* diff = Named(new QRadioButton(QStringLiteral("Different")), 1033);
  m_grpOverlay->addButton(all, 0);
  m_grpOverlay->addButton(diff, 1);
  connect(all, &QRadioButton::clicked, this, &CDlgMainSet::OnOverlayAll);
  connect(diff, &QRadioButton::clicked, this, &CDlgMainSet::OnOverlayDifferent);
  m_cbOverlayOut = Named(new QComboBox, 1034);
  m_cbOverlayOut->setAccessibleName(QStringLiteral("Overlay output"));
  for (int o = 0; o < 4; ++o) m_cbOverlayOut->addItem(QStringLiteral("Out%1").arg(o + 1));
  // The operator's choice only, not a selection made by the panel itself.
  connect(m_cbOverlayOut, &QComboBox::activated, this, &CDlgMainSet::OnOverlayOutChanged);
  grid->addWidget(all, 0, 1);
  grid->addWidget(diff, 0, 2, 1, 2);
  grid->addWidget(m_cbOverlayOut, 0, 4);
  for (int ch = 0; ch < 4; ++ch) {
    m_grpLayerSel[ch] =
        MainRadioRow(grid, ch + 1, QStringLiteral("CH%1:").arg(ch + 1), QStringLiteral("L"), 1130 + 4 * ch, this);
    connect(m_grpLayerSel[ch], &QButtonGroup::idClicked, this,
            [this, ch](int layer) { OnLayerClicked(1130 + 4 * ch + layer); });
  }
  m_btnOverlaySet = Named(new QPushButton(QStringLiteral("Set")), 1068);
  m_btnOverlaySet->setAccessibleName(QStringLiteral("Overlay Set"));
  connect(m_btnOverlaySet, &QPushButton::clicked, this, &CDlgMainSet::OnOverlaySet);
  grid->addWidget(m_btnOverlaySet, 5, 3, 1, 2, Qt::AlignRight);
  grid->setRowStretch(6, 1);
  return box;
}

QGroupBox* CDlgMainSet::BuildDisplayGroup() {
  auto* box = new QGroupBox(QStringLiteral("Output display"));
  auto* grid = MainGrid(box);
  for (int ch = 0; ch < 4; ++ch) {
    m_chkDispCh[ch] = Named(new QCheckBox(QStringLiteral("Ch%1").arg(ch + 1)), 1071 + ch);
    grid->addWidget(m_chkDispCh[ch], 0, ch);
  }
  // Kept hidden: they hold check states that the display group reads and sets.
  m_chkDispAll = Named(new QCheckBox(QStringLiteral("All"), box), 1041);
  m_chkDispAll->hide();
  connect(m_chkDispAll, &QCheckBox::clicked, this, &CDlgMainSet::OnDisplayAll);
  for (int o = 0; o < 4; ++o) {
    auto* rowLabel = new QLabel(QStringLiteral("Out%1:").arg(o + 1), box);
    rowLabel->hide();
    for (int ch = 0; ch < 4; ++ch) {
      auto* c = Named(new QCheckBox(QStringLiteral("Ch%1").arg(ch + 1), box), 1090 + 4 * o + ch);
      c->setAccessibleName(QStringLiteral("Out%1 Ch%2").arg(o + 1).arg(ch + 1));
      c->hide();
      m_chkOutDispCh[4 * o + ch] = c;
    }
  }
  m_btnRefreshOutput = Named(new QPushButton(QStringLiteral("Refresh output")), 1056);
  connect(m_btnRefreshOutput, &QPushButton::clicked, this, &CDlgMainSet::OnRefreshOutput);
  grid->addWidget(m_btnRefreshOutput, 1, 0, 1, 3);
  m_btnDisplaySet = Named(new QPushButton(QStringLiteral("Set")), 1070);
  m_btnDisplaySet->setAccessibleName(QStringLiteral("Output display Set"));
  connect(m_btnDisplaySet, &QPushButton::clicked, this, &CDlgMainSet::OnDisplaySet);
  m_btnDisplaySet->setMinimumWidth(m_btnDisplaySet->fontMetrics().horizontalAdvance(QStringLiteral("Set")) +
                                   16);
  m_btnDisplaySet->setMaximumWidth(60);
  grid->addWidget(m_btnDisplaySet, 1, 3);
  m_lblRefreshNote =
      Named(new QLabel(QStringLiteral(
                "Note:If the output image is out of sync when compares with the adjusting image, "
                "please press this button to sync the image.")),
            1152);
  m_lblRefreshNote->setWordWrap(true);
  m_lblRefreshNote->setMaximumWidth(170);
  m_lblRefreshNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  grid->addWidget(m_lblRefreshNote, 2, 0, 1, 4);
  grid->setRowStretch(2, 1);
  return box;
}

QGroupBox* CDlgMainSet::BuildInformationGroup() {
  auto* box = new QGroupBox(QStringLiteral("Information"));
  auto* lay = new QVBoxLayout(box);
  lay->setContentsMargins(6, 4, 6, 6);
  m_lstInfo = new CLstInforBox(box);
  m_lstInfo->setMinimumWidth(120);
  lay->addWidget(m_lstInfo);
  return box;
}

void CDlgMainSet::OnInitDialog() {
  for (QComboBox* cb : {m_cbAllOutRes, m_cbOutRes[0], m_cbOutRes[1], m_cbOutRes[2], m_cbOutRes[3]})
    cb->setCurrentIndex(0);
  m_cbOverlayOut->setCurrentIndex(0);
  for (QCheckBox* c : m_chkDispCh) {
    c->setEnabled(true);
    c->setChecked(true);
  }
  for (QCheckBox* c : m_chkOutDispCh) {
    c->setEnabled(false);
    c->setChecked(true);
  }
  m_chkDispAll->setChecked(true);
  UpdateData(false);
}

void CDlgMainSet::UpdateData(bool fromControls) {
  if (fromControls) {
    Layers shown{};
    for (int ch = 0; ch < 4; ++ch) {
      m_nInSel[ch] = m_grpInSel[ch]->checkedId();
      shown[ch] = m_grpLayerSel[ch]->checkedId();
    }
    m_nOverlay = m_grpOverlay->checkedId();
    // The layer radios are taken only as a whole order. Radios checked
    // without the layer click (which shifts the others) can put two channels
    // on one layer; the order the panel holds stands then, and is shown again.
    if (IsLayerPermutation(shown)) {
      m_nLayerSel = shown;
    } else {
      for (int ch = 0; ch < 4; ++ch)
        if (QAbstractButton* b = m_grpLayerSel[ch]->button(m_nLayerSel[ch])) b->setChecked(true);
    }
    return;
  }
  for (int ch = 0; ch < 4; ++ch) {
    if (QAbstractButton* b = m_grpInSel[ch]->button(m_nInSel[ch])) b->setChecked(true);
    if (QAbstractButton* b = m_grpLayerSel[ch]->button(m_nLayerSel[ch])) b->setChecked(true);
  }
  if (QAbstractButton* b = m_grpOverlay->button(m_nOverlay)) b->setChecked(true);
}

int CDlgMainSet::GetOutputResolution(int out) {
  if (out < 0 || out > 3) return 0;
  UpdateData(true);
  const QComboBox* list = m_chkFullMode->isChecked() ? m_cbOutRes[out] : m_cbAllOutRes;
  return static_cast<std::uint8_t>(list->currentIndex());
}

// ---- following the mode ----------------------------------------------------

void CDlgMainSet::EnableFullMode() {
  m_cbAllOutRes->setEnabled(true);
  m_chkFullMode->setEnabled(true);
  for (QComboBox* cb : m_cbOutRes) cb->setEnabled(false);
}

void CDlgMainSet::DisableFullMode() {
  m_cbAllOutRes->setEnabled(true);
  m_chkFullMode->setChecked(false);
  m_chkFullMode->setEnabled(false);
  for (QComboBox* cb : m_cbOutRes) cb->setEnabled(false);
}

void CDlgMainSet::RefreshResolution(const ModeRefreshContext& c) {
  if (c.mode < 0 || c.mode > 33) return;
  const bool full = (c.mode >= 8 && c.mode <= 12) || (c.mode >= 21 && c.mode <= 25);
  if (full)
    EnableFullMode();
  else
    DisableFullMode();
  if (c.mode >= 21 && c.slot != nullptr) {
    // A user mode shows what its slot holds; in the PIP and POP user modes
    // the greyed box may carry a check mark.
    m_chkFullMode->setChecked(c.slot->m_bPerOutRes != 0);
    m_cbAllOutRes->setCurrentIndex(c.slot->m_nAllOutRes);
    for (int o = 0; o < 4; ++o) m_cbOutRes[o]->setCurrentIndex(c.slot->m_nOutRes[o]);
    return;
  }
  m_chkFullMode->setChecked(false);
  m_cbAllOutRes->setCurrentIndex(0);
  for (QComboBox* cb : m_cbOutRes) cb->setCurrentIndex(0);
}

void CDlgMainSet::RefreshInput(const ModeRefreshContext& c) {
  if (c.mode < 0 || c.mode > 33) return;
  m_nInSel = c.inputs;
  const bool on = c.mode >= 8;
  for (QButtonGroup* g : m_grpInSel)
    for (QAbstractButton* b : g->buttons()) b->setEnabled(on);
  m_btnInputSet->setEnabled(on);
  UpdateData(false);
}

void CDlgMainSet::RefreshOverlay(const ModeRefreshContext& c) {
  if (c.mode < 0 || c.mode > 33) return;
  m_nOverlay = 0;
  m_cbOverlayOut->setCurrentIndex(0);
  m_nLayerSel = {3, 2, 1, 0};  // CH1 on L4 down to CH4 on L1
  bool groupOn = false;
  bool outputOn = false;
  if (c.mode >= 13 && c.mode <= 20) {
    groupOn = true;
  } else if (c.mode >= 26 && c.slot != nullptr) {
    groupOn = true;
    m_nOverlay = c.slot->m_nOverlayMode;
    const int out = m_nOverlay == 1 ? c.slot->m_nOverlayOut : 0;
    outputOn = m_nOverlay == 1;
    if (outputOn) m_cbOverlayOut->setCurrentIndex(out);
    m_nLayerSel = LayersOnOutput(*c.slot, out);
  }
  for (QAbstractButton* b : m_grpOverlay->buttons()) b->setEnabled(groupOn);
  m_cbOverlayOut->setEnabled(outputOn);
  m_bOverlayGroupOn = groupOn;
  ShowOverlaySetState();
  for (QButtonGroup* g : m_grpLayerSel)
    for (QAbstractButton* b : g->buttons()) b->setEnabled(groupOn);
  UpdateData(false);
}

void CDlgMainSet::RefreshOutputDisplay(const ModeRefreshContext& c) {
  if (c.mode < 0 || c.mode > 33) return;
  const bool pip = (c.mode >= 13 && c.mode <= 20) || c.mode >= 26;
  // The refresh button and its note belong to the modes with windows of their own.
  m_lblRefreshNote->setVisible(pip);
  m_btnRefreshOutput->setVisible(pip);
  m_btnDisplaySet->setEnabled(pip);
  m_chkDispAll->setEnabled(pip);
  if (!pip) {
    for (QCheckBox* b : m_chkDispCh) b->setEnabled(false);
    for (QCheckBox* b : m_chkOutDispCh) b->setEnabled(false);
    return;
  }
  if (c.mode <= 20 || c.slot == nullptr) {
    m_chkDispAll->setChecked(true);
    for (QCheckBox* b : m_chkDispCh) {
      b->setEnabled(true);
      b->setChecked(true);
    }
    for (QCheckBox* b : m_chkOutDispCh) {
      b->setEnabled(false);
      b->setChecked(true);
    }
    return;
  }
  const bool all = c.slot->m_bDispAll != 0;
  m_chkDispAll->setChecked(all);
  for (int ch = 0; ch < 4; ++ch) {
    m_chkDispCh[ch]->setEnabled(all);
    m_chkDispCh[ch]->setChecked(c.slot->m_bDispCh[ch] != 0);
  }
  for (int o = 0; o < 4; ++o)
    for (int ch = 0; ch < 4; ++ch) {
      QCheckBox* b = m_chkOutDispCh[4 * o + ch];
      b->setEnabled(!all);
      if (!all) b->setChecked(c.slot->m_bOutDispCh[o][ch] != 0);
    }
}

void CDlgMainSet::RefreshForMode(const ModeRefreshContext& c) {
  ModeRefresh* self = this;
  RunModeRefresh(std::span<ModeRefresh* const>(&self, 1), c);
}

// ---- the handlers -------------------------------------------------------------

void CDlgMainSet::OnResolutionSet() {
  UpdateData(true);
  std::array<int, 4> outs{};
  for (int o = 0; o < 4; ++o) outs[o] = m_cbOutRes[o]->currentIndex();
  // The record takes the choice even when the busy send path refuses it.
  const Payload4 p =
      ResolutionSet(m_host.WorkingRecord(), m_chkFullMode->isChecked(), m_cbAllOutRes->currentIndex(), outs);
  if (m_host.SendCommand(cmd::kResolution, cmd::kSubSet, p.data(), cmd::kResolutionLen, true))
    m_host.RecordStep(1009, 0);
}

void CDlgMainSet::OnFullMode() {
  UpdateData(true);
  if (m_chkFullMode->isChecked()) {
    const int s = m_cbAllOutRes->currentIndex();
    m_cbAllOutRes->setEnabled(false);
    for (QComboBox* cb : m_cbOutRes) {
      cb->setEnabled(true);
      cb->setCurrentIndex(s);
    }
  } else {
    m_cbAllOutRes->setEnabled(true);
    for (QComboBox* cb : m_cbOutRes) cb->setEnabled(false);
  }
  UpdateData(false);
}

void CDlgMainSet::OnInputSet() {
  UpdateData(true);
  const Payload4 p = InputSet(m_host.WorkingRecord(), m_nInSel);
  if (m_fnShowInputs) m_fnShowInputs(m_nInSel);
  m_host.SendCommand(cmd::kInputSelect, cmd::kSubSet, p.data(), cmd::kFourByteLen, false);
  m_host.RecordStep(1031, 0);
}

void CDlgMainSet::OnLayerClicked(int id) {
  // The members as they stand: the clicked radio has already taken its check.
  LayerClickById(m_nLayerSel, id);
  UpdateData(false);
}

void CDlgMainSet::OnOverlayAll() {
  UpdateData(true);
  m_cbOverlayOut->setEnabled(false);
}

void CDlgMainSet::OnOverlayDifferent() {
  UpdateData(true);
  m_cbOverlayOut->setEnabled(true);
}

void CDlgMainSet::OnOverlayOutChanged() {
  UpdateData(true);
  if (m_nOverlay != 1) return;
  m_nLayerSel = LayersOnOutput(m_host.WorkingRecord(), m_cbOverlayOut->currentIndex());
  UpdateData(false);
}

void CDlgMainSet::OnOverlaySet() {
  UpdateData(true);
  const OverlayPayloads p =
      OverlaySet(m_host.WorkingRecord(), m_nOverlay, m_cbOverlayOut->currentIndex(), m_nLayerSel);
  if (m_host.Sending()) {
    m_host.Message(kBusyText);
    return;
  }
  m_host.RecordStep(1068, 0);
  if (p.count == 1) {
    m_host.SendCommand(cmd::kOverlay, cmd::kSubSet, p.payload[0].data(), cmd::kOverlayLen, true);
    return;
  }
  if (p.count != 4) return;
  // Four frames back to back for the worker, which sends, notes and waits
  // for each; the button stays grey until it reports the end.
  constexpr int kFrameBytes = cmd::kOverlayLen + kFrameOverhead;
  std::array<std::uint8_t, 4 * kFrameBytes> frames{};
  for (int o = 0; o < 4; ++o)
    BuildFrame(frames.data() + o * kFrameBytes, p.payload[o].data(), cmd::kOverlayLen, cmd::kOverlay,
               cmd::kSubSet);
  m_bOverlayBatch = true;
  ShowOverlaySetState();
  if (!m_host.StartBatch(kJobOverlay, frames.data(), kFrameBytes, 4)) OnBatchDone(kJobOverlay);
}

void CDlgMainSet::OnBatchDone(int job) {
  if (job != kJobOverlay) return;
  m_bOverlayBatch = false;
  ShowOverlaySetState();
}

void CDlgMainSet::ShowOverlaySetState() {
  m_btnOverlaySet->setEnabled(m_bOverlayGroupOn && !m_bOverlayBatch);
}

void CDlgMainSet::OnDisplayAll() {
  UpdateData(true);
  if (m_chkDispAll->isChecked()) {
    for (QCheckBox* b : m_chkDispCh) b->setEnabled(true);
    for (QCheckBox* b : m_chkOutDispCh) b->setEnabled(false);
  } else {
    std::array<bool, 4> noted{};
    for (int ch = 0; ch < 4; ++ch) {
      noted[ch] = m_chkDispCh[ch]->isChecked();
      m_chkDispCh[ch]->setEnabled(false);
    }
    for (int o = 0; o < 4; ++o)
      for (int ch = 0; ch < 4; ++ch) {
        m_chkOutDispCh[4 * o + ch]->setEnabled(true);
        m_chkOutDispCh[4 * o + ch]->setChecked(noted[ch]);
      }
  }
  UpdateData(false);
}

void CDlgMainSet::OnDisplaySet() {
  UpdateData(true);
  ChannelBoxes channels{};
  std::array<ChannelBoxes, 4> rows{};
  for (int ch = 0; ch < 4; ++ch) {
    channels[ch] = m_chkDispCh[ch]->isChecked();
    for (int o = 0; o < 4; ++o) rows[o][ch] = m_chkOutDispCh[4 * o + ch]->isChecked();
  }
  const Payload4 p = DisplaySet(m_host.WorkingRecord(), m_chkDispAll->isChecked(), channels, rows);
  m_host.SendCommand(cmd::kOutputDisplay, cmd::kSubSet, p.data(), cmd::kFourByteLen, false);
  m_host.RecordStep(1070, 0);
}

void CDlgMainSet::OnRefreshOutput() {
  if (m_fnRefreshOutput) m_fnRefreshOutput();
}

void CDlgMainSet::AddInfo(const QString& text) {
  m_lstInfo->AddLine(text);
}

void CDlgMainSet::ShowInfo(const QString& text) {
  m_lstInfo->clear();
  m_lstInfo->AddLine(text);
}

}  // namespace panora
