#include "ui/BusyCursor.h"

#include <QApplication>
#include <QCursor>

namespace vxk {

BusyCursor::BusyCursor() {
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

BusyCursor::~BusyCursor() {
  QApplication::restoreOverrideCursor();
}

}  // namespace vxk
