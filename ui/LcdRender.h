#pragma once

#include <QDateTime>
#include <QImage>
#include <QRgb>
#include <QString>

#include "ops/LcdSnapshot.h"

namespace vxk {

// How a snapshot is drawn: bezel width in LCD pixels, screen pixels per LCD pixel (1..4),
// colours, and the shadow's strength in percent (0 = none).
struct LcdLook {
  int margin = 6;
  int scale = 2;
  QRgb bezel = qRgb(184, 240, 128);
  QRgb lcd = qRgb(168, 224, 128);
  QRgb pixel = qRgb(0, 0, 0);
  int shadow = 15;
};

// The colour a shadow takes over the unlit LCD: the pixel colour mixed into the LCD colour by
// the shadow's percentage, channel by channel.
QRgb ShadowColour(const LcdLook& look);

// The snapshot as a bitmap of (width + 2 margin) x scale by (height + 2 margin) x scale
// pixels: bezel, the LCD area, and each lit pixel with its shadow below and to the right
// drawn first. Every square is clipped to the bitmap (the bits of a last page below the
// height reach past it at small margins). A null image when either side is 0.
QImage DrawSnapshot(const LcdSnapshot& snapshot, const LcdLook& look);

// "LCD.yyyy-mm-dd.hhnnss.png" for the time given (24-hour clock).
QString LcdFileName(const QDateTime& when);

}  // namespace vxk
