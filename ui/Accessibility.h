#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace vxk {

// Gives a control the name a screen reader speaks and, where the name alone does not say
// what the control holds, a description. Windows call this once per control at creation.
void Describe(QWidget* control, const QString& name, const QString& description = QString());

// The controls under root (root included) that take keyboard focus but would be announced
// without a name: what a screen-reader user could land on without knowing where they are.
QList<QWidget*> UnnamedControls(QWidget* root);

// The name assistive technology reads for a widget (its accessible name, else what Qt
// derives from its text or buddy label); empty when it has none.
QString SpokenName(QWidget* widget);

}  // namespace vxk
