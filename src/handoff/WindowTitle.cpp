#include "handoff/WindowTitle.h"

#include <QFontMetrics>
#include <QWidget>
#include <algorithm>

namespace corvane::handoff {

namespace {
constexpr int kTitleBarControlsWidth = 120;  // the icon, the three buttons and the margins
}  // namespace

int titleBarWidth(const QWidget* window, const QStringList& titles) {
  QFont titleFont = window->font();
  titleFont.setBold(true);
  const QFontMetrics metrics(titleFont);
  int widest = 0;
  for (const QString& title : titles) widest = std::max(widest, metrics.horizontalAdvance(title));
  return widest + kTitleBarControlsWidth;
}

void keepTitleWhole(QWidget* window, const QStringList& titles) {
  const int needed = titleBarWidth(window, titles.isEmpty() ? QStringList{window->windowTitle()} : titles);
  if (window->minimumWidth() < needed) window->setMinimumWidth(needed);
}

}  // namespace corvane::handoff
