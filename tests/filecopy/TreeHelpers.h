#pragma once
// Small helpers that build source and destination trees in a temporary folder.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

#include "platform/Wait.h"

#include "support/TestSupport.h"

namespace corvane::test::filecopy {

// A fixed point in time well in the past, so that files written now are clearly newer.
inline QDateTime baseTime() { return QDateTime(QDate(2021, 3, 14), QTime(9, 26, 53), Qt::UTC); }

inline void setModified(const QString& path, const QDateTime& when) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite)) << qPrintable(path);
  ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime)) << qPrintable(path);
}

inline void writeFile(const QString& path, const QByteArray& content, const QDateTime& when = baseTime()) {
  test::writeFile(path, content);
  setModified(path, when);
}

using test::readFile;

inline qint64 modifiedMs(const QString& path) { return QFileInfo(path).lastModified().toMSecsSinceEpoch(); }

// Runs a hook at every "process pending events" of the walk, as a user's click would arrive.
class HookWaiter : public platform::Waiter {
 public:
  HookWaiter() { platform::setWaiter(this); }
  ~HookWaiter() override { platform::setWaiter(nullptr); }
  void sleep(int) override {}
  void processEvents() override {
    if (hook) hook(++pumps);
  }
  int pumps = 0;
  std::function<void(int)> hook;
};

// A temporary folder with "src" and "dst" in it (only "src" exists at first).
struct Trees {
  QTemporaryDir dir;
  QString root() const { return dir.path(); }
  QString src(const QString& rel = {}) const { return dir.path() + "/src" + (rel.isEmpty() ? "" : "/" + rel); }
  QString dst(const QString& rel = {}) const { return dir.path() + "/dst" + (rel.isEmpty() ? "" : "/" + rel); }
  Trees() { QDir().mkpath(src()); }
};

}  // namespace corvane::test::filecopy
