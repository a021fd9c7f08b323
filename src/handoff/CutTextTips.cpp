#include "handoff/CutTextTips.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>

namespace corvane::handoff {

namespace {

class CutTextTips final : public QObject {
 public:
  explicit CutTextTips(QAbstractItemView* view) : QObject(view), view_(view) {}

  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::ToolTip) return false;
    const auto* help = static_cast<QHelpEvent*>(e);
    const QModelIndex index = view_->indexAt(help->pos());
    // A tip of the model's own is the view's to show.
    if (!index.isValid() || index.data(Qt::ToolTipRole).isValid()) return false;
    const QString text = index.data(Qt::DisplayRole).toString();
    // The cell's part inside the viewport: a tree's only column can reach past its right edge.
    const QRect shown = view_->visualRect(index).intersected(view_->viewport()->rect());
    if (!text.isEmpty() && view_->sizeHintForIndex(index).width() > shown.width())
      QToolTip::showText(help->globalPos(), text, view_->viewport(), shown);
    else
      QToolTip::hideText();
    return true;
  }

 private:
  QAbstractItemView* view_;
};

}  // namespace

void showCutTextsAsTips(QAbstractItemView* view) { view->viewport()->installEventFilter(new CutTextTips(view)); }

}  // namespace corvane::handoff
