#include "ui/FixedColours.h"

#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace vxk {
namespace {

double Channel(double c) {
  return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
  return 0.2126 * Channel(c.redF()) + 0.7152 * Channel(c.greenF()) + 0.0722 * Channel(c.blueF());
}

}  // namespace

QPalette DarkPalette() {
  QPalette dark;
  const QColor back(40, 40, 44), base(30, 30, 32), text(230, 230, 230);
  dark.setColor(QPalette::Window, back);
  dark.setColor(QPalette::WindowText, text);
  dark.setColor(QPalette::Base, base);
  dark.setColor(QPalette::AlternateBase, back);
  dark.setColor(QPalette::Text, text);
  dark.setColor(QPalette::Button, back);
  dark.setColor(QPalette::ButtonText, text);
  dark.setColor(QPalette::ToolTipBase, back);
  dark.setColor(QPalette::ToolTipText, text);
  dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
  dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  dark.setColor(QPalette::Link, QColor(100, 170, 255));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    dark.setColor(QPalette::Disabled, role, QColor(150, 150, 150));
  return dark;
}

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& background) {
  return ContrastRatio(Qt::black, background) >= ContrastRatio(Qt::white, background)
             ? QColor(Qt::black)
             : QColor(Qt::white);
}

void SetFixedBase(QWidget* control, const QColor& background) {
  QPalette palette = control->palette();
  const QColor text = ReadableOn(background);
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Base, background);
    palette.setColor(group, QPalette::Text, text);
  }
  palette.setColor(QPalette::Disabled, QPalette::Base, background);
  palette.setColor(QPalette::Disabled, QPalette::Text,
                   text == Qt::black ? QColor(96, 96, 96) : QColor(160, 160, 160));
  control->setPalette(palette);
}

}  // namespace vxk
