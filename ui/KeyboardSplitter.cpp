#include "ui/KeyboardSplitter.h"

#include <QKeyEvent>
#include <QPainter>
#include <QSplitterHandle>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "ui/Accessibility.h"

namespace vxk {
namespace {

class KeyboardHandle : public QSplitterHandle {
 public:
  KeyboardHandle(Qt::Orientation orientation, QSplitter* parent)
      : QSplitterHandle(orientation, parent) {
    setFocusPolicy(Qt::TabFocus);
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    const bool across = orientation() == Qt::Horizontal;
    int delta = 0;
    switch (e->key()) {
      case Qt::Key_Left:
        delta = across ? -KeyboardSplitter::kStep : 0;
        break;
      case Qt::Key_Right:
        delta = across ? KeyboardSplitter::kStep : 0;
        break;
      case Qt::Key_Up:
        delta = across ? 0 : -KeyboardSplitter::kStep;
        break;
      case Qt::Key_Down:
        delta = across ? 0 : KeyboardSplitter::kStep;
        break;
      default:
        break;
    }
    if (delta == 0) {
      QSplitterHandle::keyPressEvent(e);
      return;
    }
    const int pos = across ? x() : y();
    moveSplitter(closestLegalPosition(pos + delta));
    e->accept();
  }

  void focusInEvent(QFocusEvent* e) override {
    QSplitterHandle::focusInEvent(e);
    update();
  }
  void focusOutEvent(QFocusEvent* e) override {
    QSplitterHandle::focusOutEvent(e);
    update();
  }

  void paintEvent(QPaintEvent* e) override {
    QSplitterHandle::paintEvent(e);
    if (!hasFocus()) return;
    // A handle is only a few pixels wide: show the focus as a filled bar.
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Highlight));
  }
};

}  // namespace

KeyboardSplitter::KeyboardSplitter(Qt::Orientation orientation, const QString& accessibleName,
                                   QWidget* parent)
    : QSplitter(orientation, parent), name_(accessibleName) {}

QSplitterHandle* KeyboardSplitter::createHandle() {
  auto* handle = new KeyboardHandle(orientation(), this);
  Describe(handle, name_,
           orientation() == Qt::Horizontal ? QStringLiteral("Left and Right move it")
                                           : QStringLiteral("Up and Down move it"));
  return handle;
}

}  // namespace vxk
