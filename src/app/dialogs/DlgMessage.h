// The confirmation box of the mode commands: a text and two buttons whose
// captions the caller chooses. Enter is the first button; Escape and the
// close box the second.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace panora {

class CDlgMessage : public QDialog {
  Q_OBJECT
 public:
  explicit CDlgMessage(const QString& text, const QString& ok = QStringLiteral("OK"),
                       const QString& cancel = QStringLiteral("Cancel"), QWidget* parent = nullptr);

  // Runs the box through the dialog facade; true when the first button was chosen.
  static bool Ask(QWidget* parent, const QString& text, const QString& ok, const QString& cancel);

  QString m_strText;
  QString m_strOk;
  QString m_strCancel;
  QLabel* TextLabel() const { return m_text; }
  QPushButton* OkButton() const { return m_ok; }
  QPushButton* CancelButton() const { return m_cancel; }

 private:
  QLabel* m_text;
  QPushButton* m_ok;
  QPushButton* m_cancel;
};

}  // namespace panora
