#pragma once
// Fixed facts of the main window that the frame and its pages share: tab numbers and
// captions, and what the setting "Activity" does to the Start/Pause menus.
#include <QString>
#include <optional>

namespace corvane::shell {

enum Tab : int {
  TabFileExtension = 0,
  TabBackup = 1,
  TabScheduler = 2,
  TabLog = 3,
  TabStatus = 4,
  TabRestoreFiles = 5,
  TabOldImaging = 6,
  TabRestore = 7,
  TabImaging = 8,
  TabCount = 9,
};

QString tabCaption(int tab);  // "" for a number outside 0..8

struct MenuState {
  bool startEnabled;  // mStart "Resume Corvane"
  bool stopEnabled;   // mStop "Pause Corvane"
};

// "Start": resume disabled, pause enabled; "Pause": the other way round; anything else
// leaves the menus as they are (nullopt).
std::optional<MenuState> menusForActivity(const QString& activity);

// Ticks of the status timer run 0..150; the restore queue is counted on ticks that are a
// multiple of 10, the extension list refreshed when the count has reached 150.
inline constexpr int kTickWrap = 150;
inline constexpr int kQueueCheckEvery = 10;
inline constexpr int kStatusIntervalMs = 1000;

}  // namespace corvane::shell
