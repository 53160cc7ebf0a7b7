// Accessible names, roles and actions. Standard widgets reach the desktop's
// accessibility interface with their text; a custom-drawn one calls
// SetAccessibleRole once, and screen readers then see it with that role and
// its accessible name.
//
// Buttons of every kind (push, tool, radio, check box, the gradient mode
// buttons) get an interface of our own whose action runs what a click runs.
// Qt's own offers a checkable button only "Toggle", which flips the check
// mark without a click: a quick-mode button that shows the live mode would
// recall nothing, and a layer radio would skip the shift that keeps the four
// layers a permutation.
#pragma once

#include <QAccessible>

class QWidget;

namespace panora {

// Installs the factory that serves SetAccessibleRole and the buttons (once
// per process, after the QApplication, so that it is asked before Qt's own).
void InstallAccessibleFactory();

// Gives `w` a role and a name as a screen reader should announce it.
void SetAccessibleRole(QWidget* w, QAccessible::Role role, const QString& name);

// Whether a click on `w` would reach it now: it is enabled, shown (with
// every widget it lies in, its window included) and no modal dialog blocks
// its window. Accessible actions do nothing otherwise, as the
// mouse would not.
bool ClickReaches(const QWidget* w);

}  // namespace panora
