#pragma once
// A list made wider than its columns leaves blank room beside texts it still cuts (folder
// paths). The column that cuts most takes that room; it never becomes narrower than it was when
// this was set up, and the other columns keep their widths.
class QTreeView;

namespace corvane::handoff {

void giveSpareWidthTo(QTreeView* view, int column);

}  // namespace corvane::handoff
