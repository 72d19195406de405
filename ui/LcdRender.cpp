#include "ui/LcdRender.h"

#include <cstring>

#include "ops/LcdPicture.h"

namespace vxk {
namespace {

LcdPaint PaintOf(const LcdLook& look) {
  LcdPaint paint;
  paint.margin = look.margin;
  paint.scale = look.scale;
  paint.bezel = look.bezel & 0xFFFFFFu;
  paint.lcd = look.lcd & 0xFFFFFFu;
  paint.pixel = look.pixel & 0xFFFFFFu;
  paint.shadow = look.shadow;
  return paint;
}

}  // namespace

QRgb ShadowColour(const LcdLook& look) {
  return qRgb(0, 0, 0) | LcdShadowColour(PaintOf(look));
}

QImage DrawSnapshot(const LcdSnapshot& snapshot, const LcdLook& look) {
  // Drawn by the core, so the window and the command-line program make the same picture.
  const RgbImage picture = DrawLcdPicture(snapshot, PaintOf(look));
  if (picture.IsNull()) return QImage();
  QImage image(picture.width, picture.height, QImage::Format_RGB888);
  const size_t stride = static_cast<size_t>(picture.width) * 3;
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(image.scanLine(y), picture.rgb.data() + stride * static_cast<size_t>(y), stride);
  }
  return image.convertToFormat(QImage::Format_RGB32);
}

QString LcdFileName(const QDateTime& when) {
  return QStringLiteral("LCD") + when.toString(QStringLiteral(".yyyy-MM-dd.HHmmss")) +
         QStringLiteral(".png");
}

}  // namespace vxk
