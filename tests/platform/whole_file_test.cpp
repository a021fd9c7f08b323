// The whole-file writer where the file system gives no unnamed files: its named temporary files.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "platform/WholeFile.h"
#include "support/TestSupport.h"
#include "support/WriteFaults.h"

using namespace corvane;

namespace {

struct NamedTemporaries {
  NamedTemporaries() { platform::setUnnamedTemporaries(false); }
  ~NamedTemporaries() { platform::setUnnamedTemporaries(true); }
};

QStringList entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

}  // namespace

// A write into the same folder removes the leftovers of killed writers, never the file of a
// writer still at work.
TEST(WholeFile, AWriterStillAtWorkKeepsItsTemporaryFile) {
  NamedTemporaries named;
  QTemporaryDir dir;
  platform::WholeFileWriter first(dir.filePath("first.txt"));
  ASSERT_TRUE(first.open());
  ASSERT_TRUE(first.write("first, written slowly"));
  ASSERT_EQ(entries(dir.path()).size(), 1);
  ASSERT_TRUE(platform::writeWholeFile(dir.filePath("second.txt"), "second"));
  ASSERT_TRUE(first.commit()) << qPrintable(first.errorString());
  EXPECT_EQ(test::readFile(dir.filePath("first.txt")), QByteArray("first, written slowly"));
  EXPECT_EQ(entries(dir.path()), (QStringList{"first.txt", "second.txt"}));
}

TEST(WholeFile, ANamedTemporaryFileGoesWhenTheDiskIsFull) {
  NamedTemporaries named;
  test::SmallDisk disk;
  if (disk.whyNot) GTEST_SKIP() << "no small disk to fill: " << disk.whyNot;
  test::writeFile(disk.path() + "/list.xml", "old");
  disk.fill();
  platform::WholeFileWriter out(disk.path() + "/list.xml");
  ASSERT_TRUE(out.open());
  EXPECT_FALSE(out.write(QByteArray(8192, 'n')) && out.commit());
  EXPECT_TRUE(out.diskFull());
  out.discard();
  EXPECT_EQ(test::readFile(disk.path() + "/list.xml"), QByteArray("old"));
  EXPECT_EQ(entries(disk.path()), (QStringList{".filler", "list.xml"}));
}
