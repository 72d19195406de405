#include "ui/FileIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vxk {
namespace {

void DrawFolder(QPainter& p) {
  const QColor edge(176, 128, 24);
  p.setPen(edge);
  p.setBrush(QColor(240, 196, 64));
  QPainterPath tab;
  tab.moveTo(1.5, 3.5);
  tab.lineTo(6.5, 3.5);
  tab.lineTo(8.0, 5.0);
  tab.lineTo(14.5, 5.0);
  tab.lineTo(14.5, 13.5);
  tab.lineTo(1.5, 13.5);
  tab.closeSubpath();
  p.drawPath(tab);
  p.setBrush(QColor(252, 220, 110));
  p.drawRect(QRectF(1.5, 6.5, 13.0, 7.0));
}

void DrawSheet(QPainter& p, const QColor& lines) {
  p.setPen(QColor(110, 110, 110));
  p.setBrush(Qt::white);
  QPainterPath sheet;
  sheet.moveTo(3.5, 1.5);
  sheet.lineTo(10.0, 1.5);
  sheet.lineTo(12.5, 4.0);
  sheet.lineTo(12.5, 14.5);
  sheet.lineTo(3.5, 14.5);
  sheet.closeSubpath();
  p.drawPath(sheet);
  p.setPen(lines);
  for (int y = 5; y <= 12; y += 2) p.drawLine(5, y, 11, y);
}

}  // namespace

QPixmap FileIconPixmap(FileIcon which, int ratio) {
  // Drawn at the screen's own pixels: a scaled display gets sharp edges, not a blown-up bitmap.
  QPixmap pixmap(16 * ratio, 16 * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, false);
  switch (which) {
    case kIconFolder:
      DrawFolder(p);
      break;
    case kIconFile:
      DrawSheet(p, QColor(150, 150, 150));
      break;
    case kIconLuaFile:
      DrawSheet(p, QColor(40, 80, 220));
      break;
    case kIconParent:
      DrawFolder(p);
      p.setPen(QPen(Qt::white, 2));
      p.drawLine(8, 12, 8, 7);
      p.drawLine(5, 9, 8, 6);
      p.drawLine(11, 9, 8, 6);
      break;
  }
  p.end();
  return pixmap;
}

QIcon FileIconImage(FileIcon which) {
  QIcon icon;
  for (int ratio = 1; ratio <= 3; ++ratio) icon.addPixmap(FileIconPixmap(which, ratio));
  return icon;
}

}  // namespace vxk
