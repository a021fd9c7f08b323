#pragma once
#include <QRect>
#include <QSize>

namespace corvane::platform {

// Where a window of the given size goes so that it stands centred over another window's frame
// (a dialog over the main window), moved back inside the screen's available area when the
// other window stands near an edge. An empty available area is not looked at.
QRect centredOver(const QRect& anchorFrame, const QSize& size, const QRect& available);

}  // namespace corvane::platform
