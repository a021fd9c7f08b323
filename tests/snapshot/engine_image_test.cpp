// Full and differential images made by the real engine on small trees, read back with
// libarchive and with tar; and the failures that must leave no image behind.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "EngineFixture.h"
#include "snapshot/StatusBlock.h"
#include "support/TestSupport.h"

using namespace corvane::test;
using corvane::snapshot::StatusBlock;

namespace {

void setMtime(const QString& path, qint64 seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// The source drive every image test starts from.
void makeTree(const EngineWorld& w) {
  writeFile(w.c("docs/report.txt"), "first report");
  writeFile(w.c("docs/keep.txt"), "unchanged");
  writeFile(w.c("docs/old.txt"), "to be deleted");
  writeFile(w.c("docs/touched.txt"), "same content");
  writeFile(w.c("music/song.bin"), QByteArray(200000, 'm'));
  writeFile(w.c("odd names/a\\b and\nbreak.txt"), "odd");
  QDir().mkpath(w.c("empty"));
  ASSERT_EQ(symlink("../docs/report.txt", QFile::encodeName(w.c("music/link")).constData()), 0);
  ASSERT_EQ(chmod(QFile::encodeName(w.c("docs/keep.txt")).constData(), 0600), 0);
  for (const char* f : {"docs/report.txt", "docs/keep.txt", "docs/old.txt", "docs/touched.txt", "music/song.bin"})
    setMtime(w.c(f), 1600000000);
  // An earlier image in the image folder, on the same drive as the sources in the second test.
  writeFile(w.imageFile("unrelated.txt"), "not mine");
}

bool noPartialFiles(const EngineWorld& w) {
  return QDir(w.imageFolder()).entryList({"*.part"}, QDir::Files | QDir::Hidden).isEmpty();
}

}  // namespace

TEST(EngineImages, FullThenDifferentialHoldEverythingThenOnlyTheChanges) {
  EngineWorld w;
  makeTree(w);
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  EXPECT_TRUE(noPartialFiles(w));
  EXPECT_EQ(w.status().statusCode, 0);
  EXPECT_EQ(w.status().inProgress, 0);

  auto full = readImage(w.imageFile("$DISK.sna"));
  for (const char* p : {"C", "C/docs", "C/docs/report.txt", "C/docs/keep.txt", "C/docs/old.txt", "C/music/song.bin",
                        "C/music/link", "C/empty", "C/odd names/a\\b and\nbreak.txt"})
    EXPECT_EQ(full.count(p), 1u) << p;
  EXPECT_EQ(full["C/docs/report.txt"].content, "first report");
  EXPECT_EQ(full["C/docs/report.txt"].mtime, 1600000000);
  EXPECT_EQ(full["C/docs/keep.txt"].mode, 0600u);
  EXPECT_EQ(full["C/music/song.bin"].content, std::string(200000, 'm'));
  EXPECT_EQ(full["C/music/link"].type, 'l');
  EXPECT_EQ(full["C/music/link"].link, "../docs/report.txt");
  EXPECT_EQ(full["C/empty"].type, 'd');
  EXPECT_EQ(full.count("CorvaneDeleted.txt"), 0u);
  EXPECT_TRUE(QFile::exists(w.imageFile("$DISK.hsh")));

  // A change (the same size, a new time), a touch without change, a deletion, a new file.
  writeFile(w.c("docs/report.txt"), "other report");
  writeFile(w.c("docs/touched.txt"), "same content");
  QFile::remove(w.c("docs/old.txt"));
  writeFile(w.c("music/new.txt"), "new");
  ASSERT_EQ(w.run(EngineWorld::diffLine()), 0);
  EXPECT_TRUE(noPartialFiles(w));

  auto diff = readImage(w.imageFile("$DISK_Diff.sna"));
  EXPECT_EQ(diff["C/docs/report.txt"].content, "other report");
  EXPECT_EQ(diff["C/music/new.txt"].content, "new");
  for (const char* p : {"C/docs/keep.txt", "C/docs/touched.txt", "C/music/song.bin", "C/music/link", "C/empty"})
    EXPECT_EQ(diff.count(p), 0u) << p;
  EXPECT_EQ(diff["CorvaneDeleted.txt"].content, "C/docs/old.txt\n");

  // The differential's own list knows the whole drive as it is now.
  const QByteArray list = readFile(w.imageFile("$DISK_Diff.hsh"));
  EXPECT_TRUE(list.contains(" C/docs/keep.txt\n"));
  EXPECT_TRUE(list.contains(" C/music/new.txt\n"));
  EXPECT_FALSE(list.contains("old.txt"));
}

TEST(EngineImages, AnImageReadsBackWithTarAndNeverHoldsTheImageFolder) {
  if (QStandardPaths::findExecutable("tar").isEmpty() || QStandardPaths::findExecutable("zstd").isEmpty())
    GTEST_SKIP() << "tar and zstd are not installed";
  EngineWorld w;
  makeTree(w);
  // The image folder lies on a source drive: C: and E: are one folder here.
  const QStringList sameDrive = {"C:", "C:\\CorvaneImage\\$DISK.sna", "-L4", "-W"};
  QDir().mkpath(w.c("CorvaneImage"));
  writeFile(w.c("CorvaneImage/earlier.sna"), "an earlier image");
  ASSERT_EQ(w.run(sameDrive), 0);

  QTemporaryDir out;
  QProcess tar;
  tar.start("tar", {"--zstd", "-xf", w.c("CorvaneImage/$DISK.sna"), "-C", out.path()});
  ASSERT_TRUE(tar.waitForFinished(30000));
  ASSERT_EQ(tar.exitCode(), 0) << tar.readAllStandardError().constData();
  EXPECT_EQ(readFile(out.path() + "/C/docs/report.txt"), "first report");
  EXPECT_EQ(readFile(out.path() + "/C/odd names/a\\b and\nbreak.txt"), "odd");
  EXPECT_EQ(QFileInfo(out.path() + "/C/docs/report.txt").lastModified().toSecsSinceEpoch(), 1600000000);
  EXPECT_EQ(QFileInfo(out.path() + "/C/docs/keep.txt").permissions() & 0x0fff,
            QFileInfo(w.c("docs/keep.txt")).permissions() & 0x0fff);
  EXPECT_EQ(QFileInfo(out.path() + "/C/music/link").symLinkTarget(), QFileInfo(out.path() + "/C/docs/report.txt").absoluteFilePath());
  EXPECT_FALSE(QFileInfo::exists(out.path() + "/C/CorvaneImage"));
}

TEST(EngineImages, AFullDestinationFailsWithItsCodeAndKeepsTheEarlierImage) {
  EngineWorld w;
  makeTree(w);
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  const QByteArray earlier = readFile(w.imageFile("$DISK.sna"));
  const QByteArray earlierList = readFile(w.imageFile("$DISK.hsh"));

  // Content that does not compress, more of it than the destination takes.
  QByteArray noise(300000, '\0');
  quint32 x = 12345;
  for (char& ch : noise) ch = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  writeFile(w.c("docs/noise.bin"), noise);
  EXPECT_EQ(w.run(EngineWorld::fullLine(), {"CORVANE_ENGINE_WRITE_LIMIT=100000"}), corvane::snapshot::kDestinationFull);
  EXPECT_EQ(w.status().statusCode, corvane::snapshot::kDestinationFull);
  EXPECT_EQ(w.status().inProgress, 0);
  EXPECT_TRUE(noPartialFiles(w));
  EXPECT_EQ(readFile(w.imageFile("$DISK.sna")), earlier);
  EXPECT_EQ(readFile(w.imageFile("$DISK.hsh")), earlierList);
}

TEST(EngineImages, ADifferentialWithoutAUsableHashListSaysWhichAndWritesNothing) {
  EngineWorld w;
  makeTree(w);
  EXPECT_EQ(w.run(EngineWorld::diffLine()), corvane::snapshot::kHashListMissing);
  EXPECT_EQ(w.status().statusCode, corvane::snapshot::kHashListMissing);

  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  QByteArray list = readFile(w.imageFile("$DISK.hsh"));
  list.chop(1);  // the last line loses its line break: a list cut short
  writeFile(w.imageFile("$DISK.hsh"), list);
  EXPECT_EQ(w.run(EngineWorld::diffLine()), corvane::snapshot::kHashListDamaged);
  EXPECT_FALSE(QFile::exists(w.imageFile("$DISK_Diff.sna")));
  EXPECT_FALSE(QFile::exists(w.imageFile("$DISK_Diff.hsh")));
  EXPECT_TRUE(noPartialFiles(w));

  EXPECT_EQ(w.run({"C:", "E:\\CorvaneImage\\$DISK.sna", "-L99"}), corvane::snapshot::kBadCommandLine);
  EXPECT_EQ(w.run({"Q:", "E:\\CorvaneImage\\$DISK.sna"}), corvane::snapshot::kSourceMissing);
  EXPECT_EQ(w.run({"C:", "E:\\NoFolder\\$DISK.sna"}), corvane::snapshot::kDestinationUnwritable);
}

TEST(EngineImages, AFileThatCannotBeReadFailsTheImageInsteadOfLeavingItOut) {
  EngineWorld w;
  makeTree(w);
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  const QByteArray earlier = readFile(w.imageFile("$DISK.sna"));
  ASSERT_EQ(chmod(QFile::encodeName(w.c("docs/keep.txt")).constData(), 0), 0);
  // Root reads any file; the engine is then run without that power.
  const bool asRoot = geteuid() == 0;
  const auto dropReadPower = [] {
    prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
  };
  const int code = w.run(EngineWorld::fullLine(), {}, asRoot ? std::function<void()>(dropReadPower) : std::function<void()>());
  chmod(QFile::encodeName(w.c("docs/keep.txt")).constData(), 0600);
  if (asRoot && code == 0) GTEST_SKIP() << "cannot run the engine without root's read power here";
  EXPECT_EQ(code, corvane::snapshot::kSourceUnreadable);
  EXPECT_EQ(w.status().statusCode, corvane::snapshot::kSourceUnreadable);
  EXPECT_EQ(readFile(w.imageFile("$DISK.sna")), earlier);
  EXPECT_TRUE(noPartialFiles(w));
}
