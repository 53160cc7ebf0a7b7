#include "app/dialogs/DlgToolNumSet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/DlgMessage.h"
#include "model/ModeController.h"

namespace panora {

CDlgToolNumSet::CDlgToolNumSet(const std::array<int, 8>& assign, int choice, QWidget* parent)
    : QDialog(parent), m_nAssign(assign), m_nChoice(choice) {
  setObjectName(QStringLiteral("171"));
  setWindowTitle(QStringLiteral("Set Shortcut Button"));
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(14, 14, 14, 10);

  auto* pick = new QGroupBox(QStringLiteral("Tool button"));
  auto* pickRow = new QGridLayout(pick);
  auto* usedGroup = new QGroupBox(QStringLiteral("Already in use"));
  auto* usedRow = new QGridLayout(usedGroup);
  m_group = new QButtonGroup(this);
  for (int i = 0; i < 8; ++i) {
    m_radios[i] = new QRadioButton(QString::number(i + 1));
    m_radios[i]->setObjectName(QString::number(1015 + i));
    m_group->addButton(m_radios[i], i);
    pickRow->addWidget(m_radios[i], 0, i);
    m_used[i] = new QCheckBox(QString::number(i + 1));
    m_used[i]->setObjectName(QString::number(1098 + i));
    m_used[i]->setChecked(m_nAssign[i] >= 0);
    m_used[i]->setEnabled(false);  // shows, does not choose
    usedRow->addWidget(m_used[i], 0, i);
  }
  if (m_nChoice >= 0 && m_nChoice < 8) m_radios[m_nChoice]->setChecked(true);
  box->addWidget(pick);
  box->addWidget(usedGroup);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CDlgToolNumSet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  box->addWidget(buttons);
  box->setSizeConstraint(QLayout::SetFixedSize);
}

void CDlgToolNumSet::accept() {
  m_nChoice = m_group->checkedId();
  if (m_nChoice < 0 || m_nChoice > 7) return;
  // A button in use is taken over only when the operator agrees; otherwise
  // the dialog stays open for another choice.
  if (m_nAssign[m_nChoice] >= 0 && !CDlgMessage::Ask(this, QString::fromLatin1(kCoverQuestion),
                                                     QStringLiteral("OK"), QStringLiteral("Cancel")))
    return;
  m_nResult = m_nChoice;
  QDialog::accept();
}

}  // namespace panora
