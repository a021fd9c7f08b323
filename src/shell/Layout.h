#pragma once
// The layout rules of the main window as a pure function over rectangles in twips
// (1440 to the inch). Every rule sets one property of one control from properties of
// others as they stand at that moment, in a fixed order.
#include <QHash>
#include <QString>

#include "shell/Twips.h"

namespace corvane::shell {

struct TwipsRect {
  double left = 0, top = 0, width = 0, height = 0;
};

// Controls by name (objectName). Controls that are absent are left out; a rule that
// sets or reads an absent control is skipped.
using ControlRects = QHash<QString, TwipsRect>;

struct LayoutInput {
  double windowWidth = 0, windowHeight = 0;  // the window's size now
  double loadWidth = 0, loadHeight = 0;      // its size when it loaded
  double innerWidth = 0, innerHeight = 0;    // its client area
  double twipsPerPixelX = kTwipsPerPixel, twipsPerPixelY = kTwipsPerPixel;
  QString backupModeCaption;                 // caption of btnBackupMode ("" when absent)
};

// Applies the rules to rects. Returns false (and changes nothing) when the window is
// narrower or lower than at load. A width or height that a rule would make negative is 0.
bool layOutMainWindow(const LayoutInput& in, ControlRects& rects);

}  // namespace corvane::shell
