#include "app/PrintView.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

#include "app/Dialogs.h"
#include "layout/ChildFrame.h"
#include "layout/TesselView.h"

namespace panora {

namespace {

// The view's own drawing, scaled to the page with its proportions kept.
void PrintView(CTesselView* view, QPrinter* printer) {
  if (view == nullptr) return;
  QPainter p;
  if (!p.begin(printer)) return;
  const QRect page = p.viewport();
  const QSize size =
      view->size().isEmpty() ? QSize(CChildFrame::kInitialWidth, CChildFrame::kInitialHeight) : view->size();
  const double scale = std::min(static_cast<double>(page.width()) / size.width(),
                                static_cast<double>(page.height()) / size.height());
  p.scale(scale, scale);
  view->Draw(p, size);
  p.end();
}

}  // namespace

void PrintWithDialog(QWidget* parent, CTesselView* view) {
  if (view == nullptr) return;
  QPrinter printer;
  QPrintDialog dlg(&printer, parent);
  dlg.setObjectName(QStringLiteral("printDialog"));
  if (Dialogs().Exec(dlg) != kIdOk) return;
  PrintView(view, &printer);
}

void PrintDirect(QWidget* parent, CTesselView* view) {
  if (view == nullptr) return;
  if (QPrinterInfo::defaultPrinter().isNull()) {
    MessageBox(parent, QStringLiteral("No printer is set up on this computer."), kMbOk | kMbIconWarning);
    return;
  }
  QPrinter printer;
  PrintView(view, &printer);
}

void PrintPreview(QWidget* parent, CTesselView* view) {
  if (view == nullptr) return;
  QPrinter printer;
  QPrintPreviewDialog dlg(&printer, parent);
  dlg.setObjectName(QStringLiteral("printPreview"));
  QObject::connect(&dlg, &QPrintPreviewDialog::paintRequested, &dlg, [view](QPrinter* p) { PrintView(view, p); });
  Dialogs().Exec(dlg);
}

}  // namespace panora
