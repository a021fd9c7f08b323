#pragma once
// Column widths of the status and log lists: the design's width, widened where the header's
// caption would not show whole with the sort arrow that a click puts beside it.
#include <QHeaderView>
#include <algorithm>

#include "shell/Twips.h"

namespace corvane::status {

inline int headerWidth(QHeaderView* header, int section, int widthTwips) {
  const bool shown = header->isSortIndicatorShown();
  header->setSortIndicatorShown(true);  // the size the header asks for then includes the arrow
  const int needed = header->sectionSizeHint(section);
  header->setSortIndicatorShown(shown);
  return std::max(widthTwips / shell::kTwipsPerPixel, needed);  // twips cut to whole pixels
}

}  // namespace corvane::status
