#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

namespace vxk {

// A dark palette like a dark desktop theme's: light text on dark grey.
QPalette DarkPalette();

// Relative luminance contrast of two colours, 1 (none) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// Black or white, whichever reads better on background.
QColor ReadableOn(const QColor& background);

// Paints a text control's background in a fixed colour and gives its default text a colour
// that stays readable there, whatever the desktop's palette (a dark theme's white text on
// a fixed light background would vanish).
void SetFixedBase(QWidget* control, const QColor& background);

}  // namespace vxk
