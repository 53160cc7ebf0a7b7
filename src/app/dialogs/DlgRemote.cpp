#include "app/dialogs/DlgRemote.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/Dialogs.h"

namespace panora {

namespace {
bool IsLoopback(const QString& address) {
  const QHostAddress a(address);
  return !a.isNull() && a.isLoopback();
}
}  // namespace

CDlgRemote::CDlgRemote(const RemoteSettings& s, bool envToken, const std::string& url, QWidget* parent)
    : QDialog(parent), m_running(QString::fromStdString(url)) {
  setObjectName(QStringLiteral("remoteDialog"));
  setWindowTitle(QStringLiteral("Remote Control"));
  auto* col = new QVBoxLayout(this);
  m_enabled = new QCheckBox(QStringLiteral("Serve the remote control"));
  m_enabled->setChecked(s.enabled);
  col->addWidget(m_enabled);
  auto* form = new QFormLayout;
  m_address = new QLineEdit(QString::fromStdString(s.address));
  m_address->setObjectName(QStringLiteral("remoteAddress"));
  m_port = new QSpinBox;
  m_port->setObjectName(QStringLiteral("remotePort"));
  m_port->setRange(1, 65535);
  m_port->setValue(s.port >= 1 && s.port <= 65535 ? s.port : 8080);
  m_token = new QLineEdit(QString::fromStdString(s.token));
  m_token->setObjectName(QStringLiteral("remoteToken"));
  m_token->setEchoMode(QLineEdit::PasswordEchoOnEdit);  // a password: not shown to whoever looks on
  auto* generate = new QPushButton(QStringLiteral("Generate"));
  generate->setObjectName(QStringLiteral("remoteGenerate"));
  connect(generate, &QPushButton::clicked, this, [this] {
    m_token->setText(NewToken());
    m_token->setEchoMode(QLineEdit::Normal);  // a new one is shown once, to be copied
  });
  auto* tokenRow = new QHBoxLayout;
  tokenRow->addWidget(m_token, 1);
  tokenRow->addWidget(generate);
  form->addRow(QStringLiteral("Address:"), m_address);
  form->addRow(QStringLiteral("Port:"), m_port);
  form->addRow(QStringLiteral("Token:"), tokenRow);
  col->addLayout(form);
  auto* note = new QLabel(envToken ? QStringLiteral("PANORA_CONTROL_TOKEN is set: its token is the one in force.")
                                   : QStringLiteral("Any address but the loopback one needs a token."));
  note->setWordWrap(true);
  col->addWidget(note);
  m_url = new QLabel;
  m_url->setObjectName(QStringLiteral("remoteUrl"));
  m_url->setTextInteractionFlags(Qt::TextSelectableByMouse);
  col->addWidget(m_url);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  col->addWidget(buttons);
  connect(m_address, &QLineEdit::textChanged, this, &CDlgRemote::ShowUrl);
  connect(m_port, &QSpinBox::valueChanged, this, &CDlgRemote::ShowUrl);
  connect(m_enabled, &QCheckBox::toggled, this, &CDlgRemote::ShowUrl);
  ShowUrl();
}

QString CDlgRemote::NewToken() {
  QString t;
  for (int i = 0; i < 4; ++i) t += QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
  return t;
}

void CDlgRemote::ShowUrl() {
  const QHostAddress a(m_address->text().trimmed());
  const QString host = a.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]").arg(a.toString())
                                                                      : m_address->text().trimmed();
  const QString url = QStringLiteral("http://%1:%2/").arg(host).arg(m_port->value());
  m_url->setText(!m_enabled->isChecked() ? QStringLiteral("Off")
                 : url == m_running      ? QStringLiteral("Open %1 (serving now)").arg(url)
                                         : QStringLiteral("Open %1").arg(url));
}

RemoteSettings CDlgRemote::Settings() const {
  RemoteSettings s;
  s.enabled = m_enabled->isChecked();
  s.address = m_address->text().trimmed().toStdString();
  s.port = m_port->value();
  s.token = m_token->text().trimmed().toStdString();
  return s;
}

void CDlgRemote::accept() {
  const QString address = m_address->text().trimmed();
  if (QHostAddress(address).isNull()) {
    MessageBox(this, QStringLiteral("'%1' is not an IP address: give one such as 127.0.0.1").arg(address));
    return;
  }
  if (m_enabled->isChecked() && !IsLoopback(address) && m_token->text().trimmed().isEmpty() &&
      qEnvironmentVariableIsEmpty("PANORA_CONTROL_TOKEN")) {
    MessageBox(this, QStringLiteral("An address other than the loopback one needs a token: generate one."));
    return;
  }
  QDialog::accept();
}

}  // namespace panora
