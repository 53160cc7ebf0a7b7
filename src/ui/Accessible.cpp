#include "ui/Accessible.h"

#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

namespace panora {
namespace {

constexpr char kRoleProperty[] = "panoraAccessibleRole";

QAccessibleInterface* Factory(const QString&, QObject* object) {
  auto* w = qobject_cast<QWidget*>(object);
  if (w == nullptr) return nullptr;
  const QVariant role = w->property(kRoleProperty);
  if (!role.isValid()) return nullptr;
  return new QAccessibleWidget(w, static_cast<QAccessible::Role>(role.toInt()));
}

}  // namespace

void InstallAccessibleFactory() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

void SetAccessibleRole(QWidget* w, QAccessible::Role role, const QString& name) {
  InstallAccessibleFactory();
  w->setProperty(kRoleProperty, static_cast<int>(role));
  w->setAccessibleName(name);
}

}  // namespace panora
