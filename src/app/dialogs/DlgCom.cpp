#include "app/dialogs/DlgCom.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "app/Dialogs.h"
#include "link/SerialPorts.h"

namespace panora {

namespace {
const QString kDialoutHint = QStringLiteral(
    "A port marked (no permission) needs the group dialout: run "
    "\"sudo adduser $USER dialout\", then log out and in again.");
}  // namespace

CDlgCom::CDlgCom(const std::string& openPort, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("153"));
  setWindowTitle(QStringLiteral("RS232"));
  auto* grid = new QGridLayout(this);
  auto* label = new QLabel(QStringLiteral("COM:"));
  m_cbPort = new QComboBox;
  m_cbPort->setObjectName(QStringLiteral("1057"));
  // Editable: a device the system does not list can be typed.
  m_cbPort->setEditable(true);
  m_cbPort->setInsertPolicy(QComboBox::NoInsert);
  // No completion: a typed "/dev/ttyACM1" must stay itself, not become the
  // listed "/dev/ttyACM10" it begins (device names are case-sensitive too,
  // which the box's matching then is as well).
  m_cbPort->setCompleter(nullptr);
  m_cbPort->lineEdit()->setPlaceholderText(QStringLiteral("device path"));
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
  // Debian gives serial ports to the group dialout: say how to join it.
  m_permissionHint = new QLabel(kDialoutHint);
  m_permissionHint->setObjectName(QStringLiteral("dialoutHint"));
  m_permissionHint->setWordWrap(true);
  m_permissionHint->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_permissionHint->hide();
  grid->addWidget(m_permissionHint, 1, 0, 1, 2);
  grid->addWidget(buttons, 2, 0, 1, 2);
  grid->setSizeConstraint(QLayout::SetFixedSize);
  OnInitDialog(openPort);
}

void CDlgCom::OnInitDialog(const std::string& openPort) {
  // What exists now: a port unplugged since the last time is gone from the list.
  std::vector<bool> noPermission;
  for (const SerialPortEntry& e : ListSerialPortEntries()) {
    m_strPorts.push_back(e.path);
    noPermission.push_back(e.noPermission);
    // Beside the plain name: these survive plugging the adapter in again.
    for (const std::string& id : e.byId) {
      m_strPorts.push_back(id);
      noPermission.push_back(e.noPermission);
    }
  }
  // The port we hold exists even when the system's list does not show it
  // (a device opened by path): list it rather than close it.
  if (!openPort.empty() && std::find(m_strPorts.begin(), m_strPorts.end(), openPort) == m_strPorts.end()) {
    m_strPorts.push_back(openPort);
    noPermission.push_back(false);
  }
  for (std::size_t i = 0; i < m_strPorts.size(); ++i) {
    QString text = QString::fromStdString(m_strPorts[i]);
    // Listed all the same, so that nobody wonders where the port went;
    // choosing it fails with the usual message.
    if (noPermission[i]) text += QStringLiteral(" (no permission)");
    m_cbPort->addItem(text);
    if (noPermission[i]) m_cbPort->setItemData(m_cbPort->count() - 1, kDialoutHint, Qt::ToolTipRole);
  }
  m_permissionHint->setVisible(std::find(noPermission.begin(), noPermission.end(), true) !=
                               noPermission.end());
  int select = m_strPorts.empty() ? -1 : 0;
  if (!openPort.empty()) {
    const auto it = std::find(m_strPorts.begin(), m_strPorts.end(), openPort);
    select = static_cast<int>(it - m_strPorts.begin());
  }
  m_cbPort->setCurrentIndex(select);
}

void CDlgCom::accept() {
  if (TakeChoice()) QDialog::accept();
}

bool CDlgCom::TakeChoice() {
  const QString text = m_cbPort->currentText().trimmed();
  // A listed entry is the device itself, without the marking it may carry;
  // opening it reports what is wrong with it.
  const int index = m_cbPort->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
  if (index >= 0 && index < static_cast<int>(m_strPorts.size())) {
    m_strCom = m_strPorts[static_cast<std::size_t>(index)];
    return true;
  }
  const std::string path = TypedSerialPath(text.toStdString());
  if (path.empty() || std::find(m_strPorts.begin(), m_strPorts.end(), path) != m_strPorts.end()) {
    m_strCom = path;  // empty: nothing chosen, which "RS232" reports itself
    return true;
  }
  // Typed: only a serial device is opened, anything else is named with why.
  const std::string problem = SerialDeviceProblem(path);
  if (!problem.empty()) {
    MessageBox(this, QStringLiteral("%1 can not be used as a serial port: %2. Nothing was opened.")
                         .arg(QString::fromStdString(path), QString::fromStdString(problem)));
    return false;
  }
  m_strCom = path;
  return true;
}

}  // namespace panora
