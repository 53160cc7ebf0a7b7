#include "app/dialogs/DlgNet.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <cstdio>

#include "link/PrivateProfile.h"

namespace panora {

namespace {

struct Offer {
  std::string ip, port, note;
};
// Set and read on the user-interface thread only.
Offer& OfferedAddress() {
  static Offer offer;
  return offer;
}

}  // namespace

void CDlgNet::SetOfferedAddress(const std::string& ip, const std::string& port, const std::string& note) {
  OfferedAddress() = ip.empty() ? Offer{} : Offer{ip, port, note};
}

CIpAddressCtrl::CIpAddressCtrl(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("1121"));
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(2, 1, 2, 1);
  row->setSpacing(0);
  static const QRegularExpression kByte(QStringLiteral("25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9]"));
  for (int i = 0; i < 4; ++i) {
    auto* field = new QLineEdit;
    field->setObjectName(QStringLiteral("field%1").arg(i));
    field->setAccessibleName(QStringLiteral("IP Address: field %1").arg(i + 1));
    field->setFrame(false);
    field->setAlignment(Qt::AlignCenter);
    field->setMaxLength(3);
    field->setValidator(new QRegularExpressionValidator(kByte, field));
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 4);
    field->installEventFilter(this);
    connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
      if (text.size() == 3 && i < 3) FocusField(i + 1);
    });
    m_fields[static_cast<std::size_t>(i)] = field;
    if (i > 0) row->addWidget(new QLabel(QStringLiteral(".")));
    row->addWidget(field);
  }
  setFocusProxy(m_fields[0]);
}

void CIpAddressCtrl::FocusField(int i) {
  QLineEdit* f = m_fields[static_cast<std::size_t>(i)];
  f->setFocus(Qt::OtherFocusReason);
  f->selectAll();
}

bool CIpAddressCtrl::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
  int i = 0;
  while (i < 4 && m_fields[static_cast<std::size_t>(i)] != watched) ++i;
  if (i == 4) return QFrame::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  QLineEdit* f = m_fields[static_cast<std::size_t>(i)];
  if (key->key() == Qt::Key_Period || key->key() == Qt::Key_Space) {
    // A dot right after three digits moved on is the same separator, not a
    // request to skip a field: a field that is empty or still wholly
    // selected stays.
    const bool fresh = f->text().isEmpty() || f->selectedText() == f->text();
    if (!fresh && i < 3) FocusField(i + 1);
    return true;
  }
  if (key->key() == Qt::Key_Backspace && f->cursorPosition() == 0 && !f->hasSelectedText() && i > 0) {
    QLineEdit* prev = m_fields[static_cast<std::size_t>(i - 1)];
    prev->setFocus(Qt::OtherFocusReason);
    prev->end(false);
    return true;
  }
  return QFrame::eventFilter(watched, event);
}

void CIpAddressCtrl::SetAddress(std::uint8_t f0, std::uint8_t f1, std::uint8_t f2, std::uint8_t f3) {
  const std::uint8_t v[4] = {f0, f1, f2, f3};
  for (int i = 0; i < 4; ++i) m_fields[static_cast<std::size_t>(i)]->setText(QString::number(v[i]));
}

int CIpAddressCtrl::GetAddress(std::uint8_t& f0, std::uint8_t& f1, std::uint8_t& f2, std::uint8_t& f3) const {
  std::uint8_t* out[4] = {&f0, &f1, &f2, &f3};
  int filled = 0;
  for (int i = 0; i < 4; ++i) {
    const QString t = m_fields[static_cast<std::size_t>(i)]->text();
    // The validator keeps a field within 0..255; the clamp guards text set directly.
    const int v = t.isEmpty() ? 0 : std::min(t.toInt(), 255);
    *out[i] = static_cast<std::uint8_t>(v);
    if (!t.isEmpty()) ++filled;
  }
  return filled;
}

QString CIpAddressCtrl::Text() const {
  std::uint8_t v[4];
  GetAddress(v[0], v[1], v[2], v[3]);
  return QStringLiteral("%1.%2.%3.%4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
}

CDlgNet::CDlgNet(const std::string& settingsPath, QWidget* parent)
    : QDialog(parent), m_strSettingsPath(settingsPath) {
  setObjectName(QStringLiteral("181"));
  setWindowTitle(QStringLiteral("IP SET"));
  auto* grid = new QGridLayout(this);
  auto* lblIp = new QLabel(QStringLiteral("IP Address:"));
  m_ipCtrl = new CIpAddressCtrl;
  m_ipCtrl->setAccessibleName(QStringLiteral("IP Address:"));
  lblIp->setBuddy(m_ipCtrl);
  auto* lblPort = new QLabel(QStringLiteral("IP Port:"));
  m_edPort = new QLineEdit;
  m_edPort->setObjectName(QStringLiteral("1122"));
  m_edPort->setAccessibleName(QStringLiteral("IP Port:"));
  m_edPort->setMaxLength(259);
  lblPort->setBuddy(m_edPort);
  grid->addWidget(lblIp, 0, 0);
  grid->addWidget(m_ipCtrl, 0, 1);
  grid->addWidget(lblPort, 1, 0);
  grid->addWidget(m_edPort, 1, 1);
  m_lblOffer = new QLabel;
  m_lblOffer->setObjectName(QStringLiteral("offer"));
  m_lblOffer->setWordWrap(true);
  m_lblOffer->hide();
  grid->addWidget(m_lblOffer, 2, 0, 1, 2);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &CDlgNet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  grid->addWidget(buttons, 3, 0, 1, 2);
  grid->setSizeConstraint(QLayout::SetFixedSize);
  OnInitDialog();
}

void CDlgNet::OnInitDialog() {
  // The defaults when the file is missing or unreadable.
  const NetSettings s = ReadNetSettings(m_strSettingsPath);
  for (int i = 0; i < 4; ++i) m_byIP[i] = s.ip[i];
  m_strPort = s.port;
  const Offer& offer = OfferedAddress();
  unsigned f[4] = {};
  char tail = 0;
  if (!offer.ip.empty() &&
      std::sscanf(offer.ip.c_str(), "%u.%u.%u.%u%c", &f[0], &f[1], &f[2], &f[3], &tail) == 4 &&
      std::all_of(f, f + 4, [](unsigned v) { return v <= 255; })) {
    for (int i = 0; i < 4; ++i) m_byIP[i] = static_cast<std::uint8_t>(f[i]);
    m_strPort = offer.port;
    m_lblOffer->setText(QString::fromStdString(offer.note));
    m_lblOffer->show();
  }
  UpdateData(false);
}

void CDlgNet::UpdateData(bool fromControls) {
  if (fromControls) {
    m_ipCtrl->GetAddress(m_byIP[0], m_byIP[1], m_byIP[2], m_byIP[3]);
    m_strIP = m_ipCtrl->Text().toStdString();
    m_strPort = m_edPort->text().toStdString();
  } else {
    m_ipCtrl->SetAddress(m_byIP[0], m_byIP[1], m_byIP[2], m_byIP[3]);
    m_edPort->setText(QString::fromStdString(m_strPort));
  }
}

void CDlgNet::accept() {
  UpdateData(true);
  NetSettings s;
  for (int i = 0; i < 4; ++i) s.ip[i] = m_byIP[i];
  s.port = m_strPort;
  // A settings file that cannot be written is not reported: the values
  // still serve this connection.
  WriteNetSettings(m_strSettingsPath, s);
  QDialog::accept();
}

}  // namespace panora
