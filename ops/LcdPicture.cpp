#include "ops/LcdPicture.h"

#include <algorithm>

namespace vxk {
namespace {

int Mix(int pixel, int lcd, int percent) {
  return (pixel * percent + lcd * (100 - percent)) / 100;
}

int Channel(uint32_t colour, int shift) {
  return static_cast<int>((colour >> shift) & 0xFF);
}

// Fills [x0, x1) x [y0, y1), clipped to the picture.
void FillRect(RgbImage& image, int x0, int y0, int x1, int y1, uint32_t colour) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, image.width);
  y1 = std::min(y1, image.height);
  const auto r = static_cast<uint8_t>(Channel(colour, 16));
  const auto g = static_cast<uint8_t>(Channel(colour, 8));
  const auto b = static_cast<uint8_t>(Channel(colour, 0));
  for (int y = y0; y < y1; ++y) {
    uint8_t* p = image.rgb.data() + (static_cast<size_t>(y) * image.width + x0) * 3;
    for (int x = x0; x < x1; ++x) {
      *p++ = r;
      *p++ = g;
      *p++ = b;
    }
  }
}

}  // namespace

uint32_t LcdShadowColour(const LcdPaint& paint) {
  uint32_t out = 0;
  for (int shift : {16, 8, 0}) {
    const int c = Mix(Channel(paint.pixel, shift), Channel(paint.lcd, shift), paint.shadow);
    out |= static_cast<uint32_t>(std::clamp(c, 0, 255)) << shift;
  }
  return out;
}

RgbImage DrawLcdPicture(const LcdSnapshot& snapshot, const LcdPaint& paint) {
  const int w = snapshot.width;
  const int h = snapshot.height;
  const int m = std::clamp(paint.margin, 0, kMaxLcdSide);
  const int s = std::clamp(paint.scale, 1, 4);
  if (w < 0 || h < 0 || w > kMaxLcdSide || h > kMaxLcdSide) return {};
  RgbImage image;
  image.width = (w + 2 * m) * s;
  image.height = (h + 2 * m) * s;
  if (image.IsNull()) return {};
  image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
  FillRect(image, 0, 0, image.width, image.height, paint.bezel);
  FillRect(image, m * s, m * s, (m + w) * s, (m + h) * s, paint.lcd);
  const uint32_t shadow = LcdShadowColour(paint);
  const bool withShadow = paint.shadow > 0 && s > 1;
  const int off = s / 2;
  for (const auto& [x, y] : DecodeLcdPixels(snapshot.pixels, w, h)) {
    const int x0 = (x + m) * s;
    const int y0 = (y + m) * s;
    if (withShadow) FillRect(image, x0 + off, y0 + off, x0 + s + off, y0 + s + off, shadow);
    FillRect(image, x0, y0, x0 + s, y0 + s, paint.pixel);
  }
  return image;
}

}  // namespace vxk
