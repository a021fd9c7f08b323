#include <QDir>
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
