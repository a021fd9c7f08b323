#include "selection/ui/BusyControls.h"

#include <QApplication>

namespace corvane::selection {

BusyControls::BusyControls(std::initializer_list<QWidget*> controls) : focus_(QApplication::focusWidget()) {
  for (QWidget* w : controls) {
    if (!w) continue;
    controls_.push_back(w);
    w->setEnabled(false);
  }
  movedTo_ = QApplication::focusWidget();
}

void BusyControls::release() {
  if (released_) return;
  released_ = true;
  for (const QPointer<QWidget>& w : controls_)
    if (w) w->setEnabled(true);
  if (!focus_ || focus_ == movedTo_ || QApplication::focusWidget() != movedTo_.data()) return;
  if (focus_->isEnabled() && focus_->isVisible()) focus_->setFocus(Qt::OtherFocusReason);
}

}  // namespace corvane::selection
