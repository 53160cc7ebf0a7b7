#include "panels/DlgTestPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "link/Commands.h"
#include "model/PicturePayloads.h"
#include "panels/PanelHost.h"
#include "panels/PanelWidgets.h"

namespace panora {

using panel::Named;

namespace {

// One track bar group: the bar over its value box and the two buttons.
QGroupBox* TrackGroup(const QString& title, int barId, int boxId, int setId, int resetId, QSlider*& bar,
                      QLineEdit*& box, QPushButton*& set, QPushButton*& reset) {
  auto* group = new QGroupBox(title);
  auto* grid = panel::Grid(group);
  bar = Named(new QSlider(Qt::Horizontal), barId);
  bar->setTickPosition(QSlider::NoTicks);
  bar->setAccessibleName(title);
  box = Named(new QLineEdit, boxId);
  box->setReadOnly(true);
  box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 10);
  box->setAccessibleName(title + QStringLiteral(" value"));
  set = Named(new QPushButton(QStringLiteral("Set")), setId);
  set->setAccessibleName(title + QStringLiteral(" Set"));
  reset = Named(new QPushButton(QStringLiteral("Reset")), resetId);
  reset->setAccessibleName(title + QStringLiteral(" Reset"));
  grid->addWidget(bar, 0, 0, 1, 3);
  grid->addWidget(box, 1, 0);
  grid->addWidget(set, 1, 1);
  grid->addWidget(reset, 1, 2);
  return group;
}

}  // namespace

CDlgTestPage::CDlgTestPage(PanelHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
  setObjectName(QStringLiteral("CDlgTestPage"));
  panel::UseDialogFont(this);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(6);

  // The target of contrast and brightness.
  // Two rows: five labelled radios do not fit the bar's width in one.
  auto* channels = new QGridLayout;
  channels->setHorizontalSpacing(6);
  channels->setVerticalSpacing(2);
  m_grpPicChannel = new QButtonGroup(this);
  const char* names[] = {"CH1", "CH2", "CH3", "CH4", "All"};
  for (int i = 0; i < 5; ++i) {
    auto* rb = Named(new QRadioButton(QString::fromLatin1(names[i])), 1015 + i);
    m_grpPicChannel->addButton(rb, i);
    channels->addWidget(rb, i / 3, i % 3);
  }
  column->addLayout(channels);

  column->addWidget(TrackGroup(QStringLiteral("Contrast"), 1124, 1047, 1064, 1065, m_sldContrast,
                               m_edContrast, m_btnContrastSet, m_btnContrastReset));
  column->addWidget(TrackGroup(QStringLiteral("Brightness"), 1123, 1050, 1062, 1066, m_sldBrightness,
                               m_edBrightness, m_btnBrightnessSet, m_btnBrightnessReset));

  auto* border = new QGroupBox(QStringLiteral("Border"));
  auto* grid = panel::Grid(border);
  m_grpScope = new QButtonGroup(this);
  auto* all = Named(new QRadioButton(QStringLiteral("ALL channels")), 1054);
  auto* single = Named(new QRadioButton(QStringLiteral("Single channel")), 1057);
  m_grpScope->addButton(all, 0);
  m_grpScope->addButton(single, 1);
  grid->addWidget(all, 0, 0, 1, 2);
  grid->addWidget(single, 0, 2, 1, 2);
  m_grpOnOff = new QButtonGroup(this);
  auto* off = Named(new QRadioButton(QStringLiteral("OFF")), 1055);
  auto* on = Named(new QRadioButton(QStringLiteral("ON")), 1046);
  m_grpOnOff->addButton(off, 0);
  m_grpOnOff->addButton(on, 1);
  grid->addWidget(off, 1, 0);
  grid->addWidget(on, 1, 1);
  for (int ch = 0; ch < 4; ++ch) {
    m_chkBorderCh[ch] = Named(new QCheckBox(QStringLiteral("Ch%1").arg(ch + 1)), 1058 + ch);
    grid->addWidget(m_chkBorderCh[ch], 2, ch);
  }
  m_btnBorderSet = Named(new QPushButton(QStringLiteral("Set")), 1063);
  m_btnBorderSet->setAccessibleName(QStringLiteral("Border Set"));
  grid->addWidget(m_btnBorderSet, 3, 2, 1, 2);
  column->addWidget(border);
  column->addStretch(1);

  connect(m_sldContrast, &QSlider::valueChanged, this, [this] { OnHScroll(m_sldContrast); });
  connect(m_sldBrightness, &QSlider::valueChanged, this, [this] { OnHScroll(m_sldBrightness); });
  connect(m_btnContrastSet, &QPushButton::clicked, this, &CDlgTestPage::OnContrastSet);
  connect(m_btnContrastReset, &QPushButton::clicked, this, &CDlgTestPage::OnContrastReset);
  connect(m_btnBrightnessSet, &QPushButton::clicked, this, &CDlgTestPage::OnBrightnessSet);
  connect(m_btnBrightnessReset, &QPushButton::clicked, this, &CDlgTestPage::OnBrightnessReset);
  connect(all, &QRadioButton::clicked, this, &CDlgTestPage::OnBorderAllChannels);
  connect(single, &QRadioButton::clicked, this, &CDlgTestPage::OnBorderSingleChannel);
  connect(off, &QRadioButton::clicked, this, &CDlgTestPage::OnBorderOnOff);
  connect(on, &QRadioButton::clicked, this, &CDlgTestPage::OnBorderOnOff);
  connect(m_btnBorderSet, &QPushButton::clicked, this, &CDlgTestPage::OnBorderSet);
  OnInitDialog();
}

void CDlgTestPage::OnInitDialog() {
  // The radios first: moving a bar takes the radios' choices in.
  UpdateData(false);
  m_sldContrast->setRange(0, 399);
  m_sldContrast->setPageStep(1);
  m_sldContrast->setValue(kContrastStart);
  m_edContrast->setText(QString::number(kContrastStart));
  m_sldBrightness->setRange(0, 1023);
  m_sldBrightness->setPageStep(1);
  m_sldBrightness->setValue(kBrightnessStart);
  m_edBrightness->setText(QString::number(kBrightnessStart));
  EnableChannelBoxes(false);
}

void CDlgTestPage::UpdateData(bool fromControls) {
  if (fromControls) {
    m_nPicChannel = m_grpPicChannel->checkedId();
    m_nScope = m_grpScope->checkedId();
    m_nOnOff = m_grpOnOff->checkedId();
  } else {
    panel::ShowRadio(m_grpPicChannel, m_nPicChannel);
    panel::ShowRadio(m_grpScope, m_nScope);
    panel::ShowRadio(m_grpOnOff, m_nOnOff);
  }
}

void CDlgTestPage::OnHScroll(QSlider* slider) {
  UpdateData(true);
  // The box follows the bar at once; nothing goes out before "Set".
  if (slider == m_sldBrightness) m_edBrightness->setText(QString::number(slider->value()));
  if (slider == m_sldContrast) m_edContrast->setText(QString::number(slider->value()));
  UpdateData(false);
}

void CDlgTestPage::SendContrast(int value) {
  const auto payload = ContrastPayload(value);
  m_host.SendCommand(cmd::kContrast, PictureSubCode(m_nPicChannel), payload.data(),
                     static_cast<int>(payload.size()), false);
  m_host.RecordStep(kContrastSetId, m_nPicChannel);
}

void CDlgTestPage::SendBrightness(int value) {
  const auto payload = BrightnessPayload(value);
  m_host.SendCommand(cmd::kBrightness, PictureSubCode(m_nPicChannel), payload.data(),
                     static_cast<int>(payload.size()), false);
  m_host.RecordStep(kBrightnessSetId, m_nPicChannel);
}

void CDlgTestPage::OnContrastSet() {
  UpdateData(true);
  SendContrast(m_sldContrast->value());
}

void CDlgTestPage::OnContrastReset() {
  UpdateData(true);
  m_sldContrast->setValue(kContrastStart);
  m_edContrast->setText(QString::number(kContrastStart));
  UpdateData(false);
  SendContrast(kContrastStart);
}

void CDlgTestPage::OnBrightnessSet() {
  UpdateData(true);
  SendBrightness(m_sldBrightness->value());
}

void CDlgTestPage::OnBrightnessReset() {
  UpdateData(true);
  m_sldBrightness->setValue(kBrightnessStart);
  m_edBrightness->setText(QString::number(kBrightnessStart));
  UpdateData(false);
  SendBrightness(kBrightnessStart);
}

void CDlgTestPage::EnableOnOff(bool on) {
  for (QAbstractButton* b : m_grpOnOff->buttons()) b->setEnabled(on);
}

void CDlgTestPage::EnableChannelBoxes(bool on) {
  for (QCheckBox* c : m_chkBorderCh) c->setEnabled(on);
}

void CDlgTestPage::OnBorderAllChannels() {
  UpdateData(true);
  EnableOnOff(true);
  EnableChannelBoxes(false);
}

void CDlgTestPage::OnBorderSingleChannel() {
  UpdateData(true);
  EnableOnOff(false);
  EnableChannelBoxes(true);
}

void CDlgTestPage::OnBorderOnOff() {
  UpdateData(true);
}

void CDlgTestPage::OnBorderSet() {
  UpdateData(true);
  std::array<bool, 4> checked{};
  for (int ch = 0; ch < 4; ++ch) checked[ch] = m_chkBorderCh[ch]->isChecked();
  const auto payload = BorderPayload(m_nScope, m_nOnOff, checked);
  // Refused while a batch goes out: the box is shown and the record keeps
  // its borders. Without a connection nothing goes out, yet the record
  // follows the panel.
  if (!m_host.SendCommand(cmd::kBorder, cmd::kSubSet, payload.data(), static_cast<int>(payload.size()), true))
    return;
  StoreBorder(m_host.WorkingRecord(), m_nScope, m_nOnOff, payload);
  m_host.RecordStep(1063, 0);
}

void CDlgTestPage::ResetBrightness(const ModeRefreshContext&) {
  m_sldBrightness->setValue(kBrightnessStart);
  m_edBrightness->setText(QString::number(kBrightnessStart));
  UpdateData(false);
}

void CDlgTestPage::RefreshBorderGroup(const ModeRefreshContext& c) {
  m_nScope = 0;
  m_nOnOff = 0;
  for (QCheckBox* box : m_chkBorderCh) box->setChecked(false);
  EnableOnOff(true);
  EnableChannelBoxes(false);
  m_btnBorderSet->setEnabled(true);
  const int mode = c.mode;
  if ((mode >= 0 && mode <= 12) || (mode >= 21 && mode <= 25)) {
    m_btnBorderSet->setEnabled(false);
    return;
  }
  // A stored PIP or POP user mode brings its own borders.
  if (mode < 26 || mode > 33 || c.slot == nullptr || c.slot->m_bSaved != 1) return;
  m_nScope = c.slot->m_nBorderScope;
  m_nOnOff = c.slot->m_nBorderAll;
  if (m_nScope != 1) return;
  EnableOnOff(false);
  EnableChannelBoxes(true);
  for (int ch = 0; ch < 4; ++ch) m_chkBorderCh[ch]->setChecked(c.slot->m_nBorderCh[ch] == 1);
}

}  // namespace panora
