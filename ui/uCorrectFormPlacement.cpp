#include "ui/uCorrectFormPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vxk {

QPoint CentredPosition(QSize window, QSize screen) {
  return QPoint((screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2);
}

QRect ApplyPlacement(QRect current, const Placement& stored, QSize screen, bool* positionStored) {
  int x = stored.x;
  if (x >= 0) {
    if (x >= screen.width() - 8) x = screen.width() - 32;
    if (positionStored) *positionStored = true;
    current.moveLeft(x);
  }
  int y = stored.y;
  if (y >= 0) {
    if (y >= screen.height() - 8) y = screen.height() - 32;
    current.moveTop(y);
  }
  if (stored.w > 0) current.setWidth(stored.w);
  if (stored.h > 0) current.setHeight(stored.h);
  return current;
}

QRect CorrectedPlacement(QRect current, QSize screen) {
  if (screen.width() < current.left() + current.width()) current.moveLeft(screen.width() / 2);
  if (screen.height() < current.top() + current.height()) current.moveTop(screen.height() / 2);
  return current;
}

QSize PrimaryScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize();
}

QRect WindowPlacement(const QWidget* window) {
  return QRect(window->frameGeometry().topLeft(), window->size());
}

void SetWindowPlacement(QWidget* window, const QRect& placement) {
  window->resize(placement.size());
  window->move(placement.topLeft());
}

void CorrectFormPlacement(QWidget* window) {
  SetWindowPlacement(window, CorrectedPlacement(WindowPlacement(window), PrimaryScreenSize()));
}

bool PositionsKnown() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace vxk
