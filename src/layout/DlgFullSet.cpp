#include "layout/DlgFullSet.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <string>

#include "model/FullSetPayloads.h"
#include "panels/PanelHost.h"
#include "panels/PanelWidgets.h"

namespace panora {

using panel::Grid;

CDlgFullSet::CDlgFullSet(PanelHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
  setObjectName(QStringLiteral("CDlgFullSet"));
  setAccessibleName(QStringLiteral("Full-mode move and zoom"));
  panel::UseDialogFont(this);

  auto* col = new QVBoxLayout(this);
  col->setContentsMargins(4, 4, 4, 4);
  col->setSpacing(6);

  auto* spec = new QGroupBox(QStringLiteral("Spec"));
  auto* specLay = new QVBoxLayout(spec);
  specLay->setContentsMargins(6, 4, 6, 6);
  auto* note = new QLabel(QStringLiteral("This block setting  is avilable only in FULL mode"));
  note->setWordWrap(true);
  specLay->addWidget(note);
  col->addWidget(spec);

  auto* chanBox = new QGroupBox(QStringLiteral("Select Channl"));
  auto* chanLay = new QHBoxLayout(chanBox);
  chanLay->setContentsMargins(6, 4, 6, 6);
  m_grpChannel = new QButtonGroup(this);
  for (int ch = 0; ch < 4; ++ch) {
    auto* rb = new QRadioButton(QStringLiteral("Ch%1").arg(ch + 1));
    rb->setObjectName(QString::number(1015 + ch));
    m_grpChannel->addButton(rb, ch);
    chanLay->addWidget(rb);
  }
  col->addWidget(chanBox);

  // MOVE holds the first four buttons, ZOOM the last four, two to a row,
  // each with its step box to its right.
  QGroupBox* boxes[2] = {new QGroupBox(QStringLiteral("MOVE")), new QGroupBox(QStringLiteral("ZOOM"))};
  QGridLayout* grids[2] = {Grid(boxes[0]), Grid(boxes[1])};
  const auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
  for (int i = 0; i < 8; ++i) {
    const MoveZoomButton& b = kMoveZoomButtons[static_cast<std::size_t>(i)];
    const QString label = QString::fromLatin1(b.label);
    auto* btn = new QPushButton(label);
    btn->setObjectName(QString::number(b.buttonId));
    auto* step = new QLineEdit;
    step->setObjectName(QString::number(b.stepId));
    step->setValidator(digits);
    step->setAlignment(Qt::AlignCenter);
    step->setFixedWidth(step->fontMetrics().horizontalAdvance(QLatin1Char('0')) + 14);
    // The box has no text of its own; a screen reader names it by its button.
    step->setAccessibleName(label + QStringLiteral(" step"));
    connect(btn, &QPushButton::clicked, this, [this, i] { OnMoveZoom(i); });
    m_btnMoveZoom[static_cast<std::size_t>(i)] = btn;
    m_edStep[static_cast<std::size_t>(i)] = step;
    const int within = i % 4;
    QGridLayout* grid = grids[i / 4];
    grid->addWidget(btn, within / 2, within % 2 * 2);
    grid->addWidget(step, within / 2, within % 2 * 2 + 1);
  }
  for (QGroupBox* box : boxes) col->addWidget(box);
  col->addStretch(1);

  // Page initialisation: one digit per box, "2" to start with.
  for (QLineEdit* step : m_edStep) {
    step->setMaxLength(1);
    step->setText(QStringLiteral("2"));
  }
  UpdateData(false);
}

void CDlgFullSet::UpdateData(bool fromControls) {
  if (fromControls) {
    const int checked = m_grpChannel->checkedId();
    if (checked >= 0) m_nChannel = checked;
  } else if (QAbstractButton* b = m_grpChannel->button(m_nChannel)) {
    b->setChecked(true);
  }
}

void CDlgFullSet::OnMoveZoom(int index) {
  if (index < 0 || index >= static_cast<int>(m_edStep.size())) return;
  UpdateData(true);
  const auto frame =
      BuildMoveZoom(index, m_nChannel, m_edStep[static_cast<std::size_t>(index)]->text().toStdString());
  if (!frame) {
    m_host.Message("Please input number 1-9");
    return;
  }
  m_host.SendCommand(frame->command, frame->subCode, frame->payload.data(),
                     static_cast<int>(frame->payload.size()), false);
  m_host.RecordStep(kMoveZoomButtons[static_cast<std::size_t>(index)].buttonId, m_nChannel);
}

void CDlgFullSet::Press(int index, int channel, int step) {
  const auto frame = BuildMoveZoom(index, channel, std::to_string(step));
  if (!frame) return;
  m_nChannel = channel;
  UpdateData(false);
  m_host.SendCommand(frame->command, frame->subCode, frame->payload.data(),
                     static_cast<int>(frame->payload.size()), false);
}

void CDlgFullSet::EnableFullModeButtons(bool on) {
  for (QPushButton* b : m_btnMoveZoom) b->setEnabled(on);
}

}  // namespace panora
