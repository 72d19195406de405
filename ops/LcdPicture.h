#pragma once

#include <cstdint>

#include "ops/LcdSnapshot.h"
#include "ops/PngWriter.h"

namespace vxk {

// How a snapshot is drawn: bezel width in LCD pixels, picture pixels per LCD pixel (1..4),
// colours as 0xRRGGBB (higher bits ignored), and the shadow's strength in percent (0 = none).
struct LcdPaint {
  int margin = 6;
  int scale = 2;
  uint32_t bezel = 0xB8F080;
  uint32_t lcd = 0xA8E080;
  uint32_t pixel = 0x000000;
  int shadow = 15;
};

// The colour a shadow takes over the unlit LCD: the pixel colour mixed into the LCD colour by
// the shadow's percentage, channel by channel.
uint32_t LcdShadowColour(const LcdPaint& paint);

// The snapshot as a picture of (width + 2 margin) x scale by (height + 2 margin) x scale
// pixels: bezel, the LCD area, and each lit pixel with its shadow below and to the right
// drawn first. Every square is clipped to the picture (the bits of a last page below the
// height reach past it at small margins). An empty picture when a side is out of range or the
// picture has no pixels.
RgbImage DrawLcdPicture(const LcdSnapshot& snapshot, const LcdPaint& paint);

}  // namespace vxk
