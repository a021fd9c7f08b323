#pragma once
// Shared fixtures: a fresh application folder from share/ in a temporary directory, a waiter
// that never sleeps, and a message-box recorder.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <thread>
#include <memory>

#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "platform/Wait.h"

namespace corvane::test {

// The share/ folder of the source tree (CORVANE_SHARE_DIR).
QString shareDir();

// A complete application folder (Files.db, Status.db, Config, Logs, Extensions, Dir) in a
// temporary directory; it becomes the process-wide application folder while it lives.
class TempAppFolder {
 public:
  TempAppFolder();
  // Laid out in parent/app instead (on a disk the test made, for one); removed with parent.
  explicit TempAppFolder(const QString& parent);
  ~TempAppFolder();
  const QString& path() const { return path_; }
  QString filesDb() const;
  QString statusDb() const;
  QString file(const QString& relative) const;  // path inside the folder

 private:
  QTemporaryDir dir_;
  QString path_;
  platform::AppPaths previous_;
};

// Counts waits instead of sleeping; an optional hook runs at each wait (to release a lock,
// to advance a fake clock ...), on the thread that waits. windowSleeps and windowSleptMs count
// only the waits of the thread that made the waiter (the window's), not a worker's retries.
class FakeWaiter : public platform::Waiter {
 public:
  FakeWaiter();
  ~FakeWaiter() override;
  void sleep(int ms) override;
  void processEvents() override;
  void sleepPainting(int ms) override;  // counted as a sleep, and in paintingSleeps
  void paintPending() override {
    ++paints;
    if (onPaint) onPaint();
  }
  int sleeps = 0;
  int paintingSleeps = 0;
  int paints = 0;
  long long sleptMs = 0;
  int eventPumps = 0;
  int windowSleeps = 0;
  long long windowSleptMs = 0;
  std::function<void(int)> onSleep;
  std::function<void()> onEvents;  // stands for a handler that runs while events are let in
  std::function<void()> onPaint;   // stands for a timer that fires while the window only paints
  bool pumpRealEvents = true;  // still let Qt deliver queued events

 private:
  std::thread::id window_ = std::this_thread::get_id();
};

// Records every message box and answers with a preset result.
class RecordingMessages : public platform::MessageBoxes {
 public:
  RecordingMessages();
  ~RecordingMessages() override;
  platform::MsgResult show(const QString& text, const QString& title, platform::MsgButtons buttons,
                           platform::MsgIcon icon) override;
  QStringList texts;
  QStringList titles;
  std::function<void()> onShow;  // runs while the box would be up (what the window shows behind it)
  platform::MsgResult answer = platform::MsgResult::Ok;
  bool answerSet = false;
  void answerWith(platform::MsgResult r) { answer = r; answerSet = true; }
};

// The whole file, or "<missing>" when it cannot be read.
QByteArray readFile(const QString& path);
// Writes the file anew (its folder made first); a failed open or short write fails the test.
void writeFile(const QString& path, const QByteArray& content);

// Overwrites with zeros a page in the middle of a table's (or index's) leaf pages, as a disk
// or a copy cut short damages a file: the page number, 0 when SQLite cannot list the pages
// (no dbstat table) or the table has none.
int zeroPageOf(const QString& db, const QString& table);

// Sets a row of the Settings table of a Status.db, adding it when it is missing (dated now).
void setSetting(const QString& statusDb, const QString& name, const QString& value);

// Maps drive letters to temporary folders for the test's lifetime.
class ScopedPathMap {
 public:
  explicit ScopedPathMap(const platform::PathMap& map);
  ~ScopedPathMap();
 private:
  platform::PathMap previous_;
};

}  // namespace corvane::test
