// The About box: the icon, the program's name and version, a link to the
// program's documentation, and OK.
#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;

namespace panora {

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  // The documentation the link opens: README.md beside the executable or in
  // its share/doc folder, else the one of the source tree it was built from.
  static QUrl DocumentationUrl();

  QLabel* Link() const { return m_link; }

 private:
  QLabel* m_link;
};

}  // namespace panora
