#include "app/Dialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace panora {
namespace {

class DesktopDialogs final : public IDialogs {
 public:
  int MessageBox(QWidget* parent, const QString& text, int type) override {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("Panora"));
    box.setText(text);
    switch (type & 0xF0) {
      case kMbIconError: box.setIcon(QMessageBox::Critical); break;
      case kMbIconQuestion: box.setIcon(QMessageBox::Question); break;
      case kMbIconWarning: box.setIcon(QMessageBox::Warning); break;
      case kMbIconInfo: box.setIcon(QMessageBox::Information); break;
      default: break;
    }
    switch (type & 0x0F) {
      case kMbOkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
      case kMbYesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
      case kMbYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
      default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    switch (box.exec()) {
      case QMessageBox::Yes: return kIdYes;
      case QMessageBox::No: return kIdNo;
      case QMessageBox::Cancel: return kIdCancel;
      default: return kIdOk;
    }
  }

  int Exec(QDialog& dialog) override { return dialog.exec() == QDialog::Accepted ? kIdOk : kIdCancel; }

  QString OpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                       const QString& filter) override {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
  }
  QString SaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                       const QString& filter) override {
    return SaveFileNameAndFilter(parent, caption, dir, filter, nullptr);
  }
  QString SaveFileNameAndFilter(QWidget* parent, const QString& caption, const QString& dir,
                                const QString& filter, QString* chosenFilter) override {
    // The suffix is added before the dialog checks the name, so a name typed
    // without ".cfg" is asked about too when that file exists. It follows
    // the filter chosen.
    QFileDialog dlg(parent, caption, dir, filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(FilterSuffix(filter));
    QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg,
                     [&dlg](const QString& chosen) { dlg.setDefaultSuffix(FilterSuffix(chosen)); });
    const bool ok = dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty();
    if (chosenFilter != nullptr) *chosenFilter = ok ? dlg.selectedNameFilter() : QString();
    return ok ? dlg.selectedFiles().first() : QString();
  }
};

DesktopDialogs g_desktop;
IDialogs* g_current = &g_desktop;

}  // namespace

QString FilterSuffix(const QString& filter) {
  const qsizetype star = filter.indexOf(QStringLiteral("*."));
  if (star < 0) return {};
  qsizetype end = star + 2;
  while (end < filter.size() && filter[end].isLetterOrNumber()) ++end;
  return filter.mid(star + 2, end - star - 2);
}

IDialogs& Dialogs() {
  return *g_current;
}
void SetDialogs(IDialogs* dialogs) {
  g_current = dialogs != nullptr ? dialogs : &g_desktop;
}

}  // namespace panora
