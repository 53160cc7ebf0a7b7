#include "app/DlgCom.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <algorithm>

#include "link/SerialPorts.h"

namespace panora {

CDlgCom::CDlgCom(const std::string& openPort, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("153"));
  setWindowTitle(QStringLiteral("RS232"));
  auto* grid = new QGridLayout(this);
  auto* label = new QLabel(QStringLiteral("COM:"));
  m_cbPort = new QComboBox;
  m_cbPort->setObjectName(QStringLiteral("1057"));
  m_cbPort->setAccessibleName(QStringLiteral("COM:"));
  // Device paths are longer than the classic port names.
  m_cbPort->setMinimumContentsLength(16);
  m_cbPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  label->setBuddy(m_cbPort);
  grid->addWidget(label, 0, 0);
  grid->addWidget(m_cbPort, 0, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &CDlgCom::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  grid->addWidget(buttons, 1, 0, 1, 2);
  grid->setSizeConstraint(QLayout::SetFixedSize);
  OnInitDialog(openPort);
}

void CDlgCom::OnInitDialog(const std::string& openPort) {
  m_strPorts = ListSerialPorts();
  // The port we hold exists even when the system's list does not show it
  // (a device opened by path): list it rather than close it.
  if (!openPort.empty() && std::find(m_strPorts.begin(), m_strPorts.end(), openPort) == m_strPorts.end())
    m_strPorts.push_back(openPort);
  for (const std::string& p : m_strPorts) m_cbPort->addItem(QString::fromStdString(p));
  int select = m_strPorts.empty() ? -1 : 0;
  if (!openPort.empty()) {
    const auto it = std::find(m_strPorts.begin(), m_strPorts.end(), openPort);
    select = static_cast<int>(it - m_strPorts.begin());
  }
  m_cbPort->setCurrentIndex(select);
}

void CDlgCom::accept() {
  m_strCom = m_cbPort->currentText().trimmed().toStdString();
  QDialog::accept();
}

}  // namespace panora
