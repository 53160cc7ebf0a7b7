#include "layout/DlgPostSet.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/Commands.h"
#include "panels/PanelHost.h"

namespace panora {

namespace {

// The picture between "-" and "+": a window outline with the row's edge drawn
// heavy, so each row shows which edge it moves.
QPixmap EdgePicture(Edge edge) {
  QPixmap pm(28, 20);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  const QRect r(4, 3, 19, 13);
  p.setPen(QPen(QColor(150, 150, 150), 1));
  p.setBrush(QColor(225, 232, 245));
  p.drawRect(r);
  p.setPen(QPen(QColor(20, 60, 160), 3, Qt::SolidLine, Qt::FlatCap));
  switch (edge) {
    case Edge::Left: p.drawLine(r.topLeft(), r.bottomLeft()); break;
    case Edge::Right: p.drawLine(r.topRight() + QPoint(1, 0), r.bottomRight() + QPoint(1, 1)); break;
    case Edge::Top: p.drawLine(r.topLeft(), r.topRight() + QPoint(1, 0)); break;
    case Edge::Bottom: p.drawLine(r.bottomLeft() + QPoint(0, 1), r.bottomRight() + QPoint(1, 1)); break;
  }
  return pm;
}

QLineEdit* ReadOnlyBox(int id, const QString& name) {
  auto* e = new QLineEdit;
  e->setObjectName(QString::number(id));
  e->setReadOnly(true);
  e->setAccessibleName(name);
  e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
  return e;
}

}  // namespace

CDlgPostSet::CDlgPostSet(PanelHost& host, QWidget* parent) : QDialog(parent), m_host(host) {
  setObjectName(QStringLiteral("176"));
  setWindowTitle(QStringLiteral("."));
  auto* col = new QVBoxLayout(this);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  auto* chLbl = new QLabel(QStringLiteral("Channel:"));
  m_edChannel = ReadOnlyBox(1097, QStringLiteral("Channel:"));
  chLbl->setBuddy(m_edChannel);
  m_btnGet = new QPushButton(QStringLiteral("Get channel position"));
  m_btnGet->setObjectName(QStringLiteral("1120"));
  m_btnGet->setAutoDefault(false);
  grid->addWidget(chLbl, 0, 0);
  grid->addWidget(m_edChannel, 0, 1);
  grid->addWidget(m_btnGet, 0, 2, 1, 3);

  struct Row {
    const char* label;
    int boxId;
    QLineEdit** box;
    Edge edge;
    int minusId, plusId;
  };
  const Row rows[] = {{"Left:", 1111, &m_edLeft, Edge::Left, 1108, 1109},
                      {"Right:", 1112, &m_edRight, Edge::Right, 1110, 1113},
                      {"Top:", 1118, &m_edTop, Edge::Top, 1115, 1114},
                      {"Bottom:", 1119, &m_edBottom, Edge::Bottom, 1117, 1116}};
  for (int i = 0; i < 4; ++i) {
    const Row& row = rows[i];
    const QString label = QString::fromLatin1(row.label);
    auto* lbl = new QLabel(label);
    *row.box = ReadOnlyBox(row.boxId, label);
    lbl->setBuddy(*row.box);
    const QString edgeName = label.chopped(1);
    auto* minus = new QPushButton(QStringLiteral("-"));
    minus->setObjectName(QString::number(row.minusId));
    minus->setAccessibleName(edgeName + QStringLiteral(" -"));
    auto* plus = new QPushButton(QStringLiteral("+"));
    plus->setObjectName(QString::number(row.plusId));
    plus->setAccessibleName(edgeName + QStringLiteral(" +"));
    for (QPushButton* b : {minus, plus}) {
      b->setAutoDefault(false);
      b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("+")) + 24);
    }
    auto* pic = new QLabel;
    pic->setPixmap(EdgePicture(row.edge));
    pic->setAlignment(Qt::AlignCenter);
    pic->setAccessibleName(edgeName + QStringLiteral(" edge"));
    const Edge edge = row.edge;
    connect(minus, &QPushButton::clicked, this, [this, edge] { OnNudge(edge, -1); });
    connect(plus, &QPushButton::clicked, this, [this, edge] { OnNudge(edge, 1); });
    grid->addWidget(lbl, i + 1, 0);
    grid->addWidget(*row.box, i + 1, 1);
    grid->addWidget(minus, i + 1, 2);
    grid->addWidget(pic, i + 1, 3);
    grid->addWidget(plus, i + 1, 4);
  }
  grid->setColumnStretch(5, 1);
  col->addLayout(grid);

  auto* buttons = new QHBoxLayout;
  auto* save = new QPushButton(QStringLiteral("Save"));
  save->setObjectName(QStringLiteral("1"));
  save->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"));
  cancel->setObjectName(QStringLiteral("2"));
  cancel->setAutoDefault(false);
  connect(save, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addStretch(1);
  buttons->addWidget(save);
  buttons->addWidget(cancel);
  col->addLayout(buttons);
  Refresh();
}

void CDlgPostSet::Open(int channel, int x, int y, int w, int h) {
  m_nChannel = channel;
  m_nX = x;
  m_nY = y;
  m_nW = w;
  m_nH = h;
  const PositionEdges e = PositionEdges::FromWindow(x, y, w, h);
  m_nLeft = e.left;
  m_nRight = e.right;
  m_nTop = e.top;
  m_nBottom = e.bottom;
  Refresh();
}

void CDlgPostSet::OnNudge(Edge edge, int delta) {
  PositionEdges e{m_nLeft, m_nRight, m_nTop, m_nBottom};
  if (!NudgeEdge(e, edge, delta)) return;
  m_nLeft = e.left;
  m_nRight = e.right;
  m_nTop = e.top;
  m_nBottom = e.bottom;
  Send();
}

void CDlgPostSet::Send() {
  const PositionEdges e{m_nLeft, m_nRight, m_nTop, m_nBottom};
  m_nX = e.X();
  m_nY = e.Y();
  m_nW = e.W();
  m_nH = e.H();
  m_byData = PositionPayload(e);
  // Nothing without a transport; the edge still changes on screen.
  m_host.SendCommand(cmd::kSetGeometry, static_cast<std::uint8_t>(m_nChannel), m_byData.data(),
                     cmd::kSetGeometryLen, false);
  Refresh();
}

void CDlgPostSet::Refresh() {
  m_edChannel->setText(QString::number(m_nChannel + 1));
  m_edLeft->setText(QString::number(m_nLeft));
  m_edRight->setText(QString::number(m_nRight));
  m_edTop->setText(QString::number(m_nTop));
  m_edBottom->setText(QString::number(m_nBottom));
}

}  // namespace panora
