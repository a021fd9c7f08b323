#include "handoff/SpareWidth.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>
#include <algorithm>

namespace corvane::handoff {

namespace {

class SpareWidth final : public QObject {
 public:
  SpareWidth(QTreeView* view, int column) : QObject(view), view_(view), column_(column), least_(view->columnWidth(column)) {}

  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Resize) {
      int others = 0;
      for (int c = 0; c < view_->header()->count(); ++c)
        if (c != column_ && !view_->isColumnHidden(c)) others += view_->columnWidth(c);
      view_->setColumnWidth(column_, std::max(least_, view_->viewport()->width() - others));
    }
    return false;
  }

 private:
  QTreeView* view_;
  int column_;
  int least_;
};

}  // namespace

void giveSpareWidthTo(QTreeView* view, int column) {
  view->header()->setStretchLastSection(false);
  view->viewport()->installEventFilter(new SpareWidth(view, column));
}

}  // namespace corvane::handoff
