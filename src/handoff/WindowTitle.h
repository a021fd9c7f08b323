#pragma once
// A window's title bar shows its title whole only when the window is wide enough for it. The
// window manager draws it in its own font, often bold, beside an icon and three buttons; a
// dialog sized by its controls alone can be narrower ("Choose dest...tion folder...").
#include <QStringList>

class QWidget;

namespace corvane::handoff {

// The width a window needs for each of the titles to show whole in its title bar.
int titleBarWidth(const QWidget* window, const QStringList& titles);

// Makes that width the window's minimum width (never narrowing it); without titles, its own.
void keepTitleWhole(QWidget* window, const QStringList& titles = {});

}  // namespace corvane::handoff
