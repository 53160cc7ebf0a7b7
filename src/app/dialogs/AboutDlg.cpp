#include "app/dialogs/AboutDlg.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace panora {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(QStringLiteral("About Panora"));
  auto* grid = new QGridLayout(this);
  auto* icon = new QLabel;
  icon->setPixmap(QIcon(QStringLiteral(":/res/panora64.png")).pixmap(32, 32));
  icon->setAccessibleName(QStringLiteral("Panora icon"));
  grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  auto* version = new QLabel(QStringLiteral("Panora, Version %1").arg(QStringLiteral(PANORA_VERSION)));
  grid->addWidget(version, 0, 1);
  m_link = new QLabel;
  m_link->setObjectName(QStringLiteral("1100"));
  m_link->setTextFormat(Qt::RichText);
  m_link->setText(QStringLiteral("<a href=\"%1\">Welcome to Panora</a>").arg(DocumentationUrl().toString()));
  m_link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  m_link->setAccessibleName(QStringLiteral("Welcome to Panora"));
  connect(m_link, &QLabel::linkActivated, this,
          [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
  grid->addWidget(m_link, 1, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  grid->addWidget(buttons, 2, 0, 1, 2);
  grid->setContentsMargins(14, 14, 14, 10);
  grid->setHorizontalSpacing(14);
  grid->setSizeConstraint(QLayout::SetFixedSize);
}

QUrl CAboutDlg::DocumentationUrl() {
  const QDir exe(QCoreApplication::applicationDirPath());
  for (const QString& candidate : {exe.filePath(QStringLiteral("README.md")),
                                   exe.filePath(QStringLiteral("../share/doc/panora/README.md"))}) {
    if (QFileInfo::exists(candidate)) return QUrl::fromLocalFile(QFileInfo(candidate).absoluteFilePath());
  }
  return QUrl::fromLocalFile(QStringLiteral(PANORA_SOURCE_README));
}

}  // namespace panora
