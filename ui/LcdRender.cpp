#include "ui/LcdRender.h"

#include <algorithm>

namespace vxk {
namespace {

// Fills [x0, x1) x [y0, y1), clipped to the image.
void FillRect(QImage& image, int x0, int y0, int x1, int y1, QRgb colour) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, image.width());
  y1 = std::min(y1, image.height());
  for (int y = y0; y < y1; ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    std::fill(line + x0, line + std::max(x0, x1), colour);
  }
}

int Mix(int pixel, int lcd, int percent) {
  return (pixel * percent + lcd * (100 - percent)) / 100;
}

}  // namespace

QRgb ShadowColour(const LcdLook& look) {
  return qRgb(Mix(qRed(look.pixel), qRed(look.lcd), look.shadow),
              Mix(qGreen(look.pixel), qGreen(look.lcd), look.shadow),
              Mix(qBlue(look.pixel), qBlue(look.lcd), look.shadow));
}

QImage DrawSnapshot(const LcdSnapshot& snapshot, const LcdLook& look) {
  const int w = snapshot.width;
  const int h = snapshot.height;
  const int m = std::max(look.margin, 0);
  const int s = std::clamp(look.scale, 1, 4);
  if (w < 0 || h < 0 || w > kMaxLcdSide || h > kMaxLcdSide) return QImage();
  const int width = (w + 2 * m) * s;
  const int height = (h + 2 * m) * s;
  if (width <= 0 || height <= 0) return QImage();
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(look.bezel);
  FillRect(image, m * s, m * s, (m + w) * s, (m + h) * s, look.lcd);
  const QRgb shadow = ShadowColour(look);
  const bool withShadow = look.shadow > 0 && s > 1;
  const int off = s / 2;
  for (const auto& [x, y] : DecodeLcdPixels(snapshot.pixels, w, h)) {
    const int x0 = (x + m) * s;
    const int y0 = (y + m) * s;
    if (withShadow) FillRect(image, x0 + off, y0 + off, x0 + s + off, y0 + s + off, shadow);
    FillRect(image, x0, y0, x0 + s, y0 + s, look.pixel);
  }
  return image;
}

QString LcdFileName(const QDateTime& when) {
  return QStringLiteral("LCD") + when.toString(QStringLiteral(".yyyy-MM-dd.HHmmss")) +
         QStringLiteral(".png");
}

}  // namespace vxk
