#include "shell/FrameRules.h"

namespace corvane::shell {

QString tabCaption(int tab) {
  static const char* const kCaptions[TabCount] = {"File Extension", "Backup", "Scheduler", "Log", "Status",
                                                  "Restore Files", "Old Imaging", "Restore", "Imaging"};
  return tab >= 0 && tab < TabCount ? QString::fromLatin1(kCaptions[tab]) : QString();
}

std::optional<MenuState> menusForActivity(const QString& activity) {
  if (activity == QLatin1String("Start")) return MenuState{false, true};
  if (activity == QLatin1String("Pause")) return MenuState{true, false};
  return std::nullopt;
}

}  // namespace corvane::shell
