#include "app/dialogs/DlgModeNameSet.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Dialogs.h"
#include "model/ModeController.h"

namespace panora {

CDlgModeNameSet::CDlgModeNameSet(const QString& name, QWidget* parent) : QDialog(parent), m_strName(name) {
  setObjectName(QStringLiteral("170"));
  setWindowTitle(QStringLiteral("Set Name"));
  auto* form = new QFormLayout(this);
  form->setContentsMargins(16, 16, 16, 12);
  m_edit = new QLineEdit(name);
  m_edit->setObjectName(QStringLiteral("1097"));
  m_edit->setMaxLength(kModeNameMaxChars);
  m_edit->setMinimumWidth(180);
  m_edit->selectAll();
  auto* label = new QLabel(QStringLiteral("Mode name:"));
  label->setBuddy(m_edit);
  m_edit->setAccessibleName(label->text());
  form->addRow(label, m_edit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CDlgModeNameSet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
  form->setSizeConstraint(QLayout::SetFixedSize);
}

void CDlgModeNameSet::accept() {
  const std::string why = ModeController::CheckModeName(m_edit->text().toStdString());
  if (!why.empty()) {
    // The operator corrects the name; the dialog stays open.
    MessageBox(this, QString::fromStdString(why), kMbOk | kMbIconWarning);
    m_edit->setFocus();
    return;
  }
  m_strName = m_edit->text();
  QDialog::accept();
}

}  // namespace panora
