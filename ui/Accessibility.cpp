#include "ui/Accessibility.h"

#include <QAccessible>
#include <QWidget>

namespace vxk {

void Describe(QWidget* control, const QString& name, const QString& description) {
  control->setAccessibleName(name);
  if (!description.isEmpty()) control->setAccessibleDescription(description);
}

QString SpokenName(QWidget* widget) {
  if (!widget->accessibleName().isEmpty()) return widget->accessibleName();
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
  return face ? face->text(QAccessible::Name).trimmed() : QString();
}

QList<QWidget*> UnnamedControls(QWidget* root) {
  QList<QWidget*> all = root->findChildren<QWidget*>();
  all.prepend(root);
  QList<QWidget*> unnamed;
  for (QWidget* w : all) {
    // A widget that hands its focus to another (a scroll area's viewport) is not a stop.
    if (w->focusPolicy() == Qt::NoFocus || w->focusProxy()) continue;
    if (w->window() != root) continue;  // a window it owns, checked on its own
    if (SpokenName(w).isEmpty()) unnamed << w;
  }
  return unnamed;
}

}  // namespace vxk
