#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "store/AppFolderLayout.h"
#include "store/Database.h"
#include "store/DatabasePaths.h"
#include "store/Settings.h"

namespace corvane::test {

QString shareDir() {
  const QByteArray env = qgetenv("CORVANE_SHARE_DIR");
  if (!env.isEmpty()) return QString::fromLocal8Bit(env);
  return QStringLiteral(CORVANE_SOURCE_SHARE_DIR);
}

TempAppFolder::TempAppFolder() : TempAppFolder(QString()) {}

TempAppFolder::TempAppFolder(const QString& parent) : previous_(platform::appPaths()) {
  path_ = QDir(parent.isEmpty() ? dir_.path() : parent).filePath("app");
  QString error;
  if (!store::layOutAppFolder(path_, shareDir(), &error))
    qFatal("cannot lay out a test application folder: %s", qPrintable(error));
  platform::setAppPaths(platform::AppPaths::forFolder(path_));
}

TempAppFolder::~TempAppFolder() { platform::setAppPaths(previous_); }

QString TempAppFolder::filesDb() const { return store::DatabasePaths::forAppFolder(path_).filesDb; }
QString TempAppFolder::statusDb() const { return store::DatabasePaths::forAppFolder(path_).statusDb; }
QString TempAppFolder::file(const QString& relative) const { return QDir(path_).filePath(relative); }

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

int zeroPageOf(const QString& db, const QString& table) {
  int page = 0;
  qint64 pageSize = 0;
  try {
    store::DBConnection c;
    c.Open(db);
    QList<qint64> pages;
    for (auto rs = c.Query("SELECT pageno FROM dbstat WHERE name = ? AND pagetype = 'leaf' ORDER BY pageno", {table});
         !rs.AtEnd(); rs.MoveNext())
      pages << rs.Long("pageno");
    if (pages.isEmpty()) return 0;
    page = int(pages[pages.size() / 2]);
    pageSize = c.Query("PRAGMA page_size").Long("page_size");
  } catch (const store::DBError&) {
    return 0;
  }
  QFile f(db);
  if (!f.open(QIODevice::ReadWrite) || !f.seek((page - 1) * pageSize) ||
      f.write(QByteArray(int(pageSize), '\0')) != pageSize)
    return 0;
  return page;
}

void setSetting(const QString& statusDb, const QString& name, const QString& value) {
  store::writeSettings(statusDb, {{name, value}}, QDateTime::currentDateTime());
}

void writeFile(const QString& path, const QByteArray& content) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
  ASSERT_EQ(f.write(content), content.size()) << qPrintable(path);
}

FakeWaiter::FakeWaiter() { platform::setWaiter(this); }
FakeWaiter::~FakeWaiter() { platform::setWaiter(nullptr); }
void FakeWaiter::sleep(int ms) {
  ++sleeps;
  sleptMs += ms;
  if (std::this_thread::get_id() == window_) {
    ++windowSleeps;
    windowSleptMs += ms;
  }
  if (onSleep) onSleep(ms);
}
void FakeWaiter::sleepPainting(int ms) {
  ++paintingSleeps;
  sleep(ms);
}
void FakeWaiter::processEvents() {
  ++eventPumps;
  if (onEvents) onEvents();
  if (pumpRealEvents && QCoreApplication::instance()) QCoreApplication::processEvents();
}

RecordingMessages::RecordingMessages() { platform::setMessageBoxes(this); }
RecordingMessages::~RecordingMessages() { platform::setMessageBoxes(nullptr); }
platform::MsgResult RecordingMessages::show(const QString& text, const QString& title, platform::MsgButtons buttons,
                                            platform::MsgIcon) {
  texts << text;
  titles << title;
  if (onShow) onShow();
  if (answerSet) return answer;
  return (buttons == platform::MsgButtons::YesNo || buttons == platform::MsgButtons::YesNoCancel)
             ? platform::MsgResult::Yes
             : platform::MsgResult::Ok;
}

ScopedPathMap::ScopedPathMap(const platform::PathMap& map) : previous_(platform::pathMap()) { platform::setPathMap(map); }
ScopedPathMap::~ScopedPathMap() { platform::setPathMap(previous_); }

}  // namespace corvane::test
