#include "panels/DlgBorderSet.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <string>

#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/Frame.h"
#include "model/PicturePayloads.h"
#include "panels/PanelHost.h"
#include "panels/PanelWidgets.h"

namespace panora {

using panel::Named;

CDlgBorderSet::CDlgBorderSet(PanelHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
  setObjectName(QStringLiteral("CDlgBorderSet"));
  panel::UseDialogFont(this);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(6);

  auto* spec = new QGroupBox(QStringLiteral("Spec"));
  auto* specLayout = new QVBoxLayout(spec);
  specLayout->setContentsMargins(6, 4, 6, 6);
  auto* note = new QLabel(QString::fromLatin1(kNote));
  note->setWordWrap(true);
  specLayout->addWidget(note);
  column->addWidget(spec);

  auto* sizes = new QGroupBox(QStringLiteral("bezel size"));
  auto* grid = panel::Grid(sizes);
  auto digits = [this](int id, const QString& label, int row, QGridLayout* g) {
    auto* box = Named(new QLineEdit, id);
    box->setMaxLength(3);
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), box));
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 10);
    auto* lbl = new QLabel(label);
    lbl->setBuddy(box);
    g->addWidget(lbl, row, 0);
    g->addWidget(box, row, 1);
    g->addWidget(new QLabel(QStringLiteral("0-48")), row, 2);
    return box;
  };
  m_edH = digits(1133, QStringLiteral("H-Bezel:"), 0, grid);
  m_edV = digits(1098, QStringLiteral("V-Bezel:"), 1, grid);
  m_btnGet = Named(new QPushButton(QStringLiteral("Get")), 1134);
  m_btnGet->setAccessibleName(QStringLiteral("Bezel Get"));
  m_btnSet = Named(new QPushButton(QStringLiteral("Set")), kSetId);
  m_btnSet->setAccessibleName(QStringLiteral("Bezel Set"));
  grid->addWidget(m_btnGet, 2, 0, 1, 2);
  grid->addWidget(m_btnSet, 2, 2, 1, 2);
  grid->setColumnStretch(3, 1);
  column->addWidget(sizes);
  column->addStretch(1);

  connect(m_btnGet, &QPushButton::clicked, this, &CDlgBorderSet::OnBezelGet);
  connect(m_btnSet, &QPushButton::clicked, this, &CDlgBorderSet::OnBezelSet);
  // Until an answer comes, "Set" has nothing it could stand for.
  m_btnSet->setEnabled(false);
}

void CDlgBorderSet::OnBezelGet() {
  // The query waits for its answer on the reply-wait worker, which sends a
  // copy of its own; while another batch goes out it is refused with the
  // busy box, as the worker serves one exchange at a time.
  std::uint8_t frame[kFrameOverhead];
  BuildFrame(frame, nullptr, 0, cmd::kBezel, cmd::kSubBezelQuery);
  m_host.StartBatch(kJobBezel, frame, kFrameOverhead, 1);
}

void CDlgBorderSet::ShowBezel(int h, int v) {
  m_edH->setText(QString::number(h));
  m_edV->setText(QString::number(v));
  if (m_host.CurrentMode() <= 7) m_btnSet->setEnabled(true);
  m_host.NoteShown(kSetId, 0);
}

bool CDlgBorderSet::OnBezelSet() {
  const int h = BezelBoxValue(m_edH->text().toStdString());
  const int v = BezelBoxValue(m_edV->text().toStdString());
  // A size the processor cannot take is refused whole rather than sent as
  // some other size.
  if (const std::string refusal = BezelOutOfRange(h, v); !refusal.empty()) {
    m_host.Message(refusal);
    return false;
  }
  const auto payload = BezelSetPayload(h, v);
  m_host.SendCommand(cmd::kBezel, cmd::kSubBezelSet, payload.data(), static_cast<int>(payload.size()), false);
  m_host.RecordStep(kSetId, 0);
  return true;
}

void CDlgBorderSet::RefreshBezelEnabling(const ModeRefreshContext& c) {
  m_btnGet->setEnabled(c.mode >= 0 && c.mode <= 7);
  m_btnSet->setEnabled(false);
}

}  // namespace panora
