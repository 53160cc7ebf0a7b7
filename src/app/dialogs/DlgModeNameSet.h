// Asks for one mode name. A name a profile cannot hold (over 16 characters,
// or a character outside Windows-1252) is refused here, with the reason, so
// that it can never make a later save fail.
#pragma once

#include <QDialog>

class QLineEdit;

namespace panora {

class CDlgModeNameSet : public QDialog {
  Q_OBJECT
 public:
  explicit CDlgModeNameSet(const QString& name, QWidget* parent = nullptr);

  QString m_strName;
  QLineEdit* NameEdit() const { return m_edit; }

 public slots:
  void accept() override;

 private:
  QLineEdit* m_edit;
};

}  // namespace panora
