#include "ui/DialogPlacement.h"

#include <QFontDatabase>
#include <QWidget>

namespace vxk {

void CentreOnParent(QWidget* dialog) {
  const QWidget* parent = dialog->parentWidget();
  if (!parent) return;
  const QRect frame = parent->window()->frameGeometry();
  dialog->move(frame.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
}

QFont NameFont() {
  QFont font(QStringLiteral("Lucida Console"));
  font.setStyleHint(QFont::Monospace);
  if (!QFontDatabase::families().contains(font.family()))
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(15);
  return font;
}

}  // namespace vxk
