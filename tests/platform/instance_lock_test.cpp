#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/InstanceLock.h"

using corvane::platform::InstanceLock;

TEST(InstanceLock, OneHolderPerApplicationFolderAndNoTraceInIt) {
  QTemporaryDir app, other;
  const QStringList before = QDir(app.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
  {
    InstanceLock first(app.path());
    ASSERT_TRUE(first.tryLock());
    InstanceLock second(app.path() + "/");  // the same folder, written differently
    EXPECT_FALSE(second.tryLock());
    InstanceLock elsewhere(other.path());
    EXPECT_TRUE(elsewhere.tryLock());
    EXPECT_FALSE(first.lockFilePath().startsWith(app.path()));
  }
  EXPECT_EQ(QDir(app.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
  InstanceLock again(app.path());
  EXPECT_TRUE(again.tryLock());  // released when the holder went
}

// A copy that crashed leaves its lock file behind; the next start must not be refused by it.
TEST(InstanceLock, ALockLeftByACrashedCopyIsTakenOver) {
  QTemporaryDir app;
  InstanceLock probe(app.path());
  QFile leftover(probe.lockFilePath());
  ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
  // pid of no process (above any pid_max), this program's name, this machine
  leftover.write("2147480000\n" + QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + "\n" +
                 QSysInfo::machineHostName().toUtf8() + "\n");
  leftover.close();
  InstanceLock next(app.path());
  EXPECT_TRUE(next.tryLock());
}

// Each start must look for the lock in the same place, whatever its environment names as the
// temporary folder (here one that does not exist).
TEST(InstanceLock, AStartWithAMissingTemporaryFolderStillMeetsTheLock) {
  QTemporaryDir app;
  InstanceLock first(app.path());
  ASSERT_TRUE(first.tryLock());
  const QByteArray previous = qgetenv("TMPDIR");
  qputenv("TMPDIR", app.path().toLocal8Bit() + "/no-such-folder");
  InstanceLock second(app.path());
  const bool secondHolds = second.tryLock();
  if (previous.isEmpty()) qunsetenv("TMPDIR");
  else qputenv("TMPDIR", previous);
  EXPECT_FALSE(secondHolds);
  EXPECT_EQ(second.lockFilePath(), first.lockFilePath());
}

// Any user can make the lock's name in /tmp first (it follows from the application folder):
// a folder or a link there must neither keep the program from starting nor lead the lock to
// another file; one copy per folder still holds.
TEST(InstanceLock, ANamePlantedInTmpNeitherBlocksTheStartNorLeadsElsewhere) {
  QTemporaryDir app, other;
  const QString name = InstanceLock(app.path()).lockFilePath();
  const QString victim = other.filePath("victim");
  {
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("victim");
  }
  for (const bool planted : {true, false}) {
    if (planted) ASSERT_TRUE(QDir().mkdir(name));
    else ASSERT_TRUE(QFile::link(victim, name));
    {
      InstanceLock first(app.path());
      EXPECT_TRUE(first.tryLock());
      InstanceLock second(app.path());
      EXPECT_FALSE(second.tryLock());
    }
    EXPECT_TRUE(planted ? QDir().rmdir(name) : QFile::remove(name));
  }
  EXPECT_EQ(QFile(victim).size(), 6);
  EXPECT_TRUE(QFile(victim).permissions() & QFile::WriteOwner);
}
