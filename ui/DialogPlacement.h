#pragma once

#include <QFont>

class QWidget;

namespace vxk {

// Moves a dialog to the middle of the window it belongs to.
void CentreOnParent(QWidget* dialog);
// The fixed font of the name boxes: Lucida Console where installed, 15 pixels high.
QFont NameFont();

}  // namespace vxk
