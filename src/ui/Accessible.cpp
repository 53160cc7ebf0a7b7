#include "ui/Accessible.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QKeySequence>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVariant>
#include <QWidget>

namespace panora {
namespace {

constexpr char kRoleProperty[] = "panoraAccessibleRole";

// "&Set" reads "Set"; "&&" is one ampersand.
QString StripAmpersands(const QString& text) {
  QString s;
  s.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'&') {
      s += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == u'&') {
      s += u'&';
      ++i;
    }
  }
  return s;
}

bool HasMenu(const QAbstractButton* b) {
  if (const auto* pb = qobject_cast<const QPushButton*>(b)) return pb->menu() != nullptr;
  if (const auto* tb = qobject_cast<const QToolButton*>(b)) return tb->menu() != nullptr;
  return false;
}

// A button as screen readers see it: named by its text, checked while it is,
// and one action, "Press" (with "Toggle" as a second name on a checkable
// one), that clicks it, so its handlers run as for the mouse. The click is
// synchronous: the handlers have run when the action returns.
class ButtonAccessible final : public QAccessibleWidget {
 public:
  ButtonAccessible(QAbstractButton* b, QAccessible::Role fixedRole)
      : QAccessibleWidget(b, QAccessible::Button), m_fixedRole(fixedRole) {}

  QAccessible::Role role() const override {
    if (m_fixedRole != QAccessible::NoRole) return m_fixedRole;
    const QAbstractButton* b = Button();
    if (qobject_cast<const QRadioButton*>(b) != nullptr) return QAccessible::RadioButton;
    if (qobject_cast<const QCheckBox*>(b) != nullptr) return QAccessible::CheckBox;
    if (b->isCheckable()) return b->autoExclusive() ? QAccessible::RadioButton : QAccessible::CheckBox;
    return QAccessible::Button;
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    const QAbstractButton* b = Button();
    s.checkable = b->isCheckable();
    s.checked = b->isChecked();
    if (const auto* cb = qobject_cast<const QCheckBox*>(b))
      s.checkStateMixed = cb->checkState() == Qt::PartiallyChecked;
    s.pressed = b->isDown();
    if (const auto* pb = qobject_cast<const QPushButton*>(b)) s.defaultButton = pb->isDefault();
    return s;
  }

  QString text(QAccessible::Text t) const override {
    QString s;
    if (t == QAccessible::Name) {
      s = widget()->accessibleName();
      if (s.isEmpty()) s = StripAmpersands(Button()->text());
    } else if (t == QAccessible::Accelerator) {
      s = QKeySequence::mnemonic(Button()->text()).toString(QKeySequence::NativeText);
    }
    return s.isEmpty() ? QAccessibleWidget::text(t) : s;
  }

  QStringList actionNames() const override {
    // A hidden button (on a page not shown, a box the panel keeps out of
    // sight) is out of the mouse's reach, and so out of any action's.
    if (!widget()->isVisible()) return {};
    QStringList names;
    if (widget()->isEnabled()) {
      names << pressAction();
      if (Button()->isCheckable()) names << toggleAction();
    }
    return names + QAccessibleWidget::actionNames();
  }

  void doAction(const QString& name) override {
    if (name != pressAction() && name != toggleAction()) return QAccessibleWidget::doAction(name);
    if (ClickReaches(widget())) Button()->click();
  }

  QStringList keyBindingsForAction(const QString& name) const override {
    if (name != pressAction() || Button()->shortcut().isEmpty())
      return QAccessibleWidget::keyBindingsForAction(name);
    return {Button()->shortcut().toString(QKeySequence::NativeText)};
  }

 private:
  QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
  QAccessible::Role m_fixedRole;
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
  auto* w = qobject_cast<QWidget*>(object);
  if (w == nullptr) return nullptr;
  const QVariant role = w->property(kRoleProperty);
  const auto fixedRole = role.isValid() ? static_cast<QAccessible::Role>(role.toInt()) : QAccessible::NoRole;
  // A button with a menu keeps Qt's interface, whose action opens the menu.
  if (auto* b = qobject_cast<QAbstractButton*>(w); b != nullptr && !HasMenu(b))
    return new ButtonAccessible(b, fixedRole);
  if (!role.isValid()) return nullptr;
  return new QAccessibleWidget(w, fixedRole);
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

bool ClickReaches(const QWidget* w) {
  if (w == nullptr || !w->isEnabled() || !w->isVisible()) return false;
  const QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr) return true;
  // Inside the modal dialog (or a window it opened) the mouse works.
  for (const QWidget* p = w; p != nullptr; p = p->parentWidget())
    if (p == modal) return true;
  // A window-modal dialog blocks only the windows it belongs to.
  if (modal->windowModality() == Qt::WindowModal) {
    for (const QWidget* p = modal->parentWidget(); p != nullptr; p = p->parentWidget())
      if (p->window() == w->window()) return false;
    return true;
  }
  return false;
}

}  // namespace panora
