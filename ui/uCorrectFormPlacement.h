#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include "ui/ToolSettings.h"

class QWidget;

namespace vxk {

// Window geometry here is the frame's left and top with the window's own width and height, in
// logical pixels of the primary screen.

// The window in the middle of the screen, halves truncated toward zero.
QPoint CentredPosition(QSize window, QSize screen);

// A stored placement over the current one: a left or top at or past 8 pixels short of the
// screen's edge becomes 32 short of it; negative positions and sizes of 0 or less are
// ignored. positionStored is set when a left was applied.
QRect ApplyPlacement(QRect current, const Placement& stored, QSize screen,
                     bool* positionStored = nullptr);

// A window sticking out past the right (bottom) edge moves its left (top) to the middle of
// the screen; the left and top edges are not looked at.
QRect CorrectedPlacement(QRect current, QSize screen);

// The primary screen's size, or 0 x 0 without one.
QSize PrimaryScreenSize();
// Where the window is, as the helpers above see it.
QRect WindowPlacement(const QWidget* window);
void SetWindowPlacement(QWidget* window, const QRect& placement);
void CorrectFormPlacement(QWidget* window);
// Whether the window system tells programs where their windows are (Wayland does not).
bool PositionsKnown();

}  // namespace vxk
