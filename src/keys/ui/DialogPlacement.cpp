#include "keys/ui/DialogPlacement.h"

#include <QScreen>
#include <QWidget>

#include "platform/Placement.h"

namespace corvane::keys::ui {

void showCentredOver(QWidget* window, const QWidget* anchor) {
  if (anchor && !window->isVisible()) {
    const QWidget* top = anchor->window();
    // The size it will be shown at: its layout's size unless someone already sized it.
    if (!window->testAttribute(Qt::WA_Resized)) window->adjustSize();
    const QRect available = top->screen() ? top->screen()->availableGeometry() : QRect();
    window->move(platform::centredOver(top->frameGeometry(), window->frameGeometry().size(), available).topLeft());
  }
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace corvane::keys::ui
