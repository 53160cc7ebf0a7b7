// Accessible names and roles for the widgets that draw themselves. Standard
// widgets already reach the desktop's accessibility interface with their text;
// a custom-drawn one calls SetAccessibleRole once, and screen readers then see
// it with that role and its accessible name.
#pragma once

#include <QAccessible>

class QWidget;

namespace panora {

// Installs the factory that serves SetAccessibleRole (once per process).
void InstallAccessibleFactory();

// Gives `w` a role and a name as a screen reader should announce it.
void SetAccessibleRole(QWidget* w, QAccessible::Role role, const QString& name);

}  // namespace panora
