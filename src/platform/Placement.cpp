#include "platform/Placement.h"

#include <algorithm>

namespace corvane::platform {

QRect centredOver(const QRect& anchorFrame, const QSize& size, const QRect& available) {
  QRect r(QPoint(0, 0), size);
  r.moveCenter(anchorFrame.center());
  if (available.isEmpty()) return r;
  // Right and bottom first, so a window larger than the screen keeps its top-left corner (and
  // title bar) in view.
  r.moveLeft(std::max(available.left(), std::min(r.left(), available.right() + 1 - r.width())));
  r.moveTop(std::max(available.top(), std::min(r.top(), available.bottom() + 1 - r.height())));
  return r;
}

}  // namespace corvane::platform
