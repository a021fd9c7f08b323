#pragma once
class QWidget;

namespace corvane::keys::ui {

// Shows a window that has no owner centred over another one (the main window, through any of
// its widgets) and brings it to the front. Already on screen, it stays where the user put it;
// without an anchor it is simply shown.
void showCentredOver(QWidget* window, const QWidget* anchor);

}  // namespace corvane::keys::ui
