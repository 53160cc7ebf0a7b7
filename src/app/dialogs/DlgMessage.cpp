#include "app/dialogs/DlgMessage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Dialogs.h"

namespace panora {

CDlgMessage::CDlgMessage(const QString& text, const QString& ok, const QString& cancel, QWidget* parent)
    : QDialog(parent), m_strText(text), m_strOk(ok), m_strCancel(cancel) {
  setObjectName(QStringLiteral("172"));
  setWindowTitle(QStringLiteral("Dailog"));
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(18, 18, 18, 12);
  box->setSpacing(16);
  m_text = new QLabel(text);
  m_text->setObjectName(QStringLiteral("1099"));
  m_text->setTextFormat(Qt::PlainText);
  m_text->setWordWrap(true);
  m_text->setMinimumWidth(400);
  box->addWidget(m_text);
  auto* row = new QHBoxLayout;
  row->addStretch();
  m_ok = new QPushButton(ok);
  m_ok->setObjectName(QStringLiteral("1149"));
  // Enter presses the first button, or whichever button has the focus: a
  // "No" the operator tabbed to must not answer "Yes".
  m_ok->setAutoDefault(true);
  m_ok->setDefault(true);
  m_cancel = new QPushButton(cancel);
  m_cancel->setObjectName(QStringLiteral("1150"));
  m_cancel->setAutoDefault(true);
  row->addWidget(m_ok);
  row->addWidget(m_cancel);
  row->addStretch();
  box->addLayout(row);
  box->setSizeConstraint(QLayout::SetFixedSize);
  connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
  m_ok->setFocus();
}

bool CDlgMessage::Ask(QWidget* parent, const QString& text, const QString& ok, const QString& cancel) {
  CDlgMessage dlg(text, ok, cancel, parent);
  return Dialogs().Exec(dlg) == kIdOk;
}

}  // namespace panora
