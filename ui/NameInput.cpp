#include "ui/NameInput.h"

#include <QDialog>
#include <QKeyEvent>
#include <QWidget>

namespace vxk {

const QString InvalidNameChars = QStringLiteral("/\\+!?*;:\"'\t");

bool IsRefusedKey(int key, const QString& text) {
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab) return true;
  for (const QChar c : text) {
    if (InvalidNameChars.contains(c)) return true;
  }
  return false;
}

bool IsAcceptableName(const QString& name) {
  for (const QChar c : name) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) return false;
  }
  return true;
}

NameKeyFilter::NameKeyFilter(QObject* parent, bool escapeRejects)
    : QObject(parent), escapeRejects_(escapeRejects) {}

bool NameKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (escapeRejects_ && key->key() == Qt::Key_Escape) {
      if (auto* widget = qobject_cast<QWidget*>(watched)) {
        if (auto* dialog = qobject_cast<QDialog*>(widget->window())) dialog->reject();
      }
      return true;
    }
    if (IsRefusedKey(key->key(), key->text())) return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace vxk
