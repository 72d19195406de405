#include "ui/TermEdit.h"

#include <QKeyEvent>
#include <QScrollBar>

namespace vxk {

TermEdit::TermEdit(QWidget* parent) : QPlainTextEdit(parent) {
  // A pane that shows its end (the prompt) keeps showing it when its range changes (a smaller
  // pane holds fewer lines); one scrolled up stays where it is.
  QScrollBar* bar = verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this,
          [this, bar](int value) { followEnd_ = value >= bar->maximum(); });
  connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
    if (followEnd_) bar->setValue(maximum);
  });
}

bool TermEdit::event(QEvent* e) {
  // Leave Ctrl+C, Ctrl+V and the like to the window's actions instead of the control's own
  // copy and paste.
  if (e->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
      e->ignore();
      return false;
    }
  }
  return QPlainTextEdit::event(e);
}

void TermEdit::keyPressEvent(QKeyEvent* e) {
  // Tab and Ctrl+Tab go to the device; Shift+Tab is the keyboard's way out of the pane.
  if (e->key() == Qt::Key_Backtab) {
    QWidget::focusNextPrevChild(false);
    return;
  }
  if (e->key() == Qt::Key_Delete) {
    QPlainTextEdit::keyPressEvent(e);
    return;
  }
  QString text = e->text();
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) text = QStringLiteral("\r");
  if (e->key() == Qt::Key_Backspace) text = QString(QChar(8));
  if (e->key() == Qt::Key_Escape) text = QString(QChar(27));
  if (e->key() == Qt::Key_Tab) text = QString(QChar(9));
  if (text.size() == 1 && onKey_ && onKey_(text.at(0))) return;
  // Keys that are no character (arrows, page keys) only move around the pane.
  if (text.size() == 1 && text.at(0) != QChar(8) && text.at(0).unicode() >= 32) return;
  QPlainTextEdit::keyPressEvent(e);
}

void TermEdit::insertFromMimeData(const QMimeData*) {
  // Pasted text goes to the device through the Paste action, never straight into the pane.
}

}  // namespace vxk
