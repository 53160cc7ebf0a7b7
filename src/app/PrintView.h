// Printing a channel window: its picture and labels as the view draws them,
// scaled to the page with their proportions kept. The print dialog and the
// preview go through the dialog facade.
#pragma once

class QWidget;

namespace panora {

class CTesselView;

// The standard print commands for `view` (nothing when it is null).
void PrintWithDialog(QWidget* parent, CTesselView* view);
void PrintDirect(QWidget* parent, CTesselView* view);
void PrintPreview(QWidget* parent, CTesselView* view);

}  // namespace panora
