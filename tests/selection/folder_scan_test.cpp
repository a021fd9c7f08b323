#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "folder_fixture.h"
#include "selection/BackupDrives.h"
#include "selection/FolderScan.h"
#include "store/Settings.h"

using namespace corvane;
using namespace corvane::selection;
using corvane::test::FolderFixture;

namespace {

class FolderScanTest : public FolderFixture {
 protected:
  FolderScan scanner() {
    return FolderScan(filesDb(), [this](const QString& t) { captions << t; });
  }
  void run() {
    FolderScan s = scanner();
    s.Run(GetDrives());
    added = s.foldersAdded();
  }
  QStringList captions;
  qint64 added = 0;
};

TEST_F(FolderScanTest, FirstScanStoresEveryFolderOnceWithoutFlags) {
  mk(c_, {"a/x/deep", "a b", "aB", ".cache/inner", "with'quote/in"});
  mk(d_, {"Docs"});
  QFile f(c_ + "/a/file.txt");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  ASSERT_TRUE(QFile::link(c_ + "/a", c_ + "/link"));             // a link to a folder: listed, not entered
  ASSERT_TRUE(QFile::link(c_ + "/a/file.txt", c_ + "/flink"));   // a link to a file: ignored
  ASSERT_TRUE(QFile::link(c_ + "/gone", c_ + "/dangling"));       // leads nowhere: ignored
  ASSERT_TRUE(QDir().mkpath(c_ + "/bad\\name/sub"));             // cannot be written in the Windows form

  run();
  const auto t = folderTable();
  const QStringList expected{"C:",          "C:\\a",          "C:\\a\\x",  "C:\\a\\x\\deep", "C:\\a b",
                             "C:\\aB",      "C:\\with'quote", "C:\\with'quote\\in", "C:\\link",
                             "D:",          "D:\\Docs"};
  QStringList got = t.keys();
  QStringList want = expected;
  got.sort();
  want.sort();
  EXPECT_EQ(got, want);
  for (auto it = t.cbegin(); it != t.cend(); ++it) EXPECT_EQ(it.value(), qMakePair(false, false)) << it.key().toStdString();
  EXPECT_EQ(storedFolder("C:\\with'quote"), "C:\\with''quote");
  EXPECT_EQ(folderTable("SFolder").size(), expected.size());
  // The window paints while the folders are stored (the write lock held, clicks queued).
  EXPECT_GE(waiter_.paints, expected.size());
  EXPECT_EQ(captions.value(0), "Corvane Checking folders...");
  EXPECT_TRUE(captions.contains("Corvane Checking C: for new folders... 9 updating database..."));
  EXPECT_TRUE(captions.contains("Corvane Checking D: for new folders... 2 updating database..."));
}

TEST_F(FolderScanTest, RescanAddsNewFoldersWithTheirParentsFlagsAndNothingTwice) {
  mk(c_, {"Data/x", "Other"});
  run();
  ASSERT_EQ(folderTable().size(), 5);
  {
    store::DBConnection db;
    db.Open(filesDb());
    db.Execute("UPDATE Folder SET Bu = 1, BuAll = 0 WHERE Folders = 'C:\\Data'");
    db.Execute("UPDATE Folder SET Bu = 0, BuAll = 1 WHERE Folders = 'C:\\Data\\x'");
  }
  mk(c_, {"Data/New/Sub", "Data/x/x", "Other/Fresh"});
  mk(d_, {"Later"});
  waiter_.paints = 0;
  run();
  EXPECT_GE(waiter_.paints, 5 + 10);  // each new folder and each folder found
  auto t = folderTable();
  EXPECT_EQ(added, 5);
  EXPECT_EQ(t.size(), 10);
  EXPECT_EQ(t["C:\\Data\\New"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\Data\\New\\Sub"], qMakePair(true, false));  // from its parent, itself new
  EXPECT_EQ(t["C:\\Data\\x\\x"], qMakePair(false, true));      // C:\Data\x, not C:\Data
  EXPECT_EQ(t["C:\\Other\\Fresh"], qMakePair(false, false));
  EXPECT_EQ(t["D:\\Later"], qMakePair(false, false));

  // A third scan over an unchanged disk adds nothing.
  run();
  EXPECT_EQ(added, 0);
  EXPECT_EQ(folderTable().size(), 10);
  EXPECT_EQ(folderTable("SFolder").size(), 10);  // emptied at the start of each scan

  // After a scan SFolder holds exactly the folders found, each once with no flags: not a
  // folder deleted since, not a second row, not a drive no longer mapped.
  ASSERT_TRUE(QDir(c_ + "/Other/Fresh").removeRecursively());
  {
    store::DBConnection db;
    db.Open(filesDb());
    db.Execute("INSERT INTO SFolder (Folders, Bu, BuAll) VALUES ('C:\\Data', 0, 0), ('E:\\Gone', 0, 0)");
    db.Execute("UPDATE SFolder SET Bu = 1 WHERE Folders = 'D:\\Later'");
  }
  run();
  const auto scratch = folderTable("SFolder");  // a second row would be a failure here
  EXPECT_EQ(scratch.size(), 9);
  EXPECT_FALSE(scratch.contains("C:\\Other\\Fresh"));
  EXPECT_FALSE(scratch.contains("E:\\Gone"));
  EXPECT_EQ(scratch["D:\\Later"], qMakePair(false, false));
  EXPECT_EQ(folderTable().size(), 10);  // Folder keeps what the scan no longer finds
}

// Names that are not UTF-8 have no Windows form: decoding would turn both into "x" and the same
// replacement character, one row for two folders. They are left out, with what is below them,
// and counted; a name in UTF-8 beyond ASCII is kept as it is.
TEST_F(FolderScanTest, NamesWithoutAWindowsFormAreSkippedAndCountedNeverMerged) {
  for (const QByteArray& name : {QByteArray("x\xff"), QByteArray("x\xfe")}) {
    const QByteArray dir = QFile::encodeName(c_) + "/" + name;
    ASSERT_EQ(mkdir(dir.constData(), 0755), 0);
    ASSERT_EQ(mkdir((dir + "/inner").constData(), 0755), 0);
  }
  mk(c_, {"x", QString::fromUtf8("caf\xc3\xa9/sub")});
  run();
  FolderScan s = scanner();
  const QStringList found = s.ScanDrive("C:\\");
  EXPECT_EQ(s.namesSkipped(), 2);
  QStringList want{"C:", "C:\\caf\u00e9", "C:\\caf\u00e9\\sub", "C:\\x"};
  EXPECT_EQ(found, want);
  QStringList stored = folderTable().keys();
  stored.sort();
  EXPECT_EQ(stored, (QStringList{"C:", "C:\\caf\u00e9", "C:\\caf\u00e9\\sub", "C:\\x", "D:"}));
  // The temporary folder's own removal cannot name them.
  for (const QByteArray& name : {QByteArray("x\xff"), QByteArray("x\xfe")}) {
    const QByteArray dir = QFile::encodeName(c_) + "/" + name;
    EXPECT_EQ(rmdir((dir + "/inner").constData()), 0);
    EXPECT_EQ(rmdir(dir.constData()), 0);
  }
}

// A tree far deeper than the folders the walk keeps open at once, and deeper than the longest
// path the system opens, is walked to its bottom, and the walk comes back up to the folders it
// let go on the way down: each level has a second sub-folder, listed after the deeper ones.
TEST_F(FolderScanTest, AVeryDeepTreeIsWalkedWhole) {
  constexpr int kLevels = 110;  // about 4,600 bytes of path
  const auto levelName = [](int i) { return QString("d%1-").arg(i, 3, 10, QChar('0')) + QString(36, 'x'); };
  int fd = open(QFile::encodeName(c_).constData(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < kLevels; ++i) {
    ASSERT_EQ(mkdirat(fd, "zz", 0755), 0) << i;
    const QByteArray name = levelName(i).toUtf8();
    ASSERT_EQ(mkdirat(fd, name.constData(), 0755), 0) << i;
    const int next = openat(fd, name.constData(), O_RDONLY | O_DIRECTORY);
    close(fd);
    ASSERT_GE(next, 0) << i;
    fd = next;
  }
  close(fd);
  // Fewer descriptors than levels.
  const int openNow = static_cast<int>(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  struct rlimit low = old;
  low.rlim_cur = std::min<rlim_t>(old.rlim_cur, openNow + kLevels - 20);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  FolderScan s = scanner();
  const QStringList found = s.ScanDrive("C:\\");
  setrlimit(RLIMIT_NOFILE, &old);

  ASSERT_EQ(found.size(), 2 * kLevels + 1);
  QString deepest = "C:";
  for (int i = 0; i < kLevels; ++i) {
    deepest += "\\" + levelName(i);
    EXPECT_EQ(found[i + 1], deepest) << i;
  }
  // Then, from the bottom up, the second sub-folder of each level.
  EXPECT_EQ(found[kLevels + 1], deepest.left(deepest.lastIndexOf('\\')) + "\\zz");
  EXPECT_EQ(found.last(), "C:\\zz");

  // Too deep for the temporary folder's own removal: each level is taken up to the top, then
  // removed there.
  const int top = open(QFile::encodeName(c_).constData(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(top, 0);
  QByteArray level = levelName(0).toUtf8();
  for (int i = 0; i < kLevels; ++i) {
    const QByteArray below = "n" + QByteArray::number(i + 1);
    if (i + 1 < kLevels) {
      ASSERT_EQ(unlinkat(top, level + "/zz", AT_REMOVEDIR), 0) << i;
      ASSERT_EQ(renameat(top, level + "/" + levelName(i + 1).toUtf8(), top, below), 0) << i;
    }
    ASSERT_EQ(unlinkat(top, level, AT_REMOVEDIR), 0) << i;
    level = below;
  }
  unlinkat(top, "zz", AT_REMOVEDIR);
  close(top);
}

// A folder bound onto another place of the same disk is another mount: listed, not walked into
// (its folders would otherwise be stored twice, under two paths).
TEST_F(FolderScanTest, ABindMountOfTheSameDiskIsListedButNotEntered) {
  mk(c_, {"data/deep", "mnt"});
  const QByteArray source = QFile::encodeName(c_ + "/data");
  const QByteArray target = QFile::encodeName(c_ + "/mnt");
  if (mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "a bind mount cannot be made here (" << std::strerror(errno) << "); it needs root";
  struct Unmount {
    QByteArray at;
    ~Unmount() { umount2(at.constData(), MNT_DETACH); }
  } unmount{target};
  FolderScan s = scanner();
  EXPECT_EQ(s.ScanDrive("C:\\"), (QStringList{"C:", "C:\\data", "C:\\data\\deep", "C:\\mnt"}));
}

// The scan walks drive slots 0 to 19 only: a drive in slot 20 is neither walked nor stored.
TEST_F(FolderScanTest, ADriveInSlot20IsNotScanned) {
  QStringList map;
  for (int i = 0; i < 21; ++i) {
    const QString dir = drives_.path() + "/s" + QString::number(i);
    mk(dir, {"f"});
    map << QString(QChar('A' + i)) + ":=" + dir;
  }
  test::ScopedDrives drives(map.join(';'));
  ASSERT_EQ(GetDrives().value(20), "U:\\");
  run();
  const auto t = folderTable();
  EXPECT_EQ(t.size(), 40);  // A: to T:, each with its folder f
  EXPECT_TRUE(t.contains("T:\\f"));
  EXPECT_FALSE(t.contains("U:"));
  EXPECT_FALSE(t.contains("U:\\f"));
}

TEST_F(FolderScanTest, ANewFolderWhoseParentHasNoRowStartsWithoutFlags) {
  addFolders({{"C:", true, true}, {"C:\\Ticked", true, false}});
  FolderScan s = scanner();
  // The ticked folder comes first; the orphan's parent has no row.
  s.DBUpdateFolders({"C:\\Ticked\\n", "C:\\NoRow\\orphan", "C:\\Top"});
  const auto t = folderTable();
  EXPECT_EQ(t["C:\\Ticked\\n"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\NoRow\\orphan"], qMakePair(false, false));
  EXPECT_EQ(t["C:\\Top"], qMakePair(true, true));  // parent is the drive row
  EXPECT_EQ(s.foldersAdded(), 3);
  // Running the same list again inserts nothing.
  s.DBUpdateFolders({"C:\\Ticked\\n", "C:\\Top"});
  EXPECT_EQ(folderTable().size(), 5);
}

TEST_F(FolderScanTest, ARetryAfterABusyCommitDuplicatesNothing) {
  mk(c_, {"a/b", "c"});
  // Another connection reads inside a transaction, so the scan's commit finds the file busy
  // until the first wait releases it.
  auto locker = std::make_unique<store::DBConnection>();
  locker->Open(filesDb());
  locker->BeginTransaction();
  locker->Query("SELECT count(*) FROM Folder");
  waiter_.onSleep = [&](int) { locker.reset(); };

  FolderScan s = scanner();
  s.DBInsertAllSFolders(s.ScanDrive("C:\\"), true);
  EXPECT_GE(waiter_.sleeps, 1);
  EXPECT_EQ(folderTable().size(), 4);
  EXPECT_EQ(folderTable("SFolder").size(), 4);

  // The same for the insert of new folders.
  locker = std::make_unique<store::DBConnection>();
  locker->Open(filesDb());
  locker->BeginTransaction();
  locker->Query("SELECT count(*) FROM Folder");
  const int before = waiter_.sleeps;
  s.DBUpdateFolders({"C:\\a\\n1", "C:\\a\\n1\\n2"});
  EXPECT_GT(waiter_.sleeps, before);
  EXPECT_EQ(folderTable().size(), 6);
}

TEST_F(FolderScanTest, AFileThatStaysLockedEndsTheScanWithAnErrorAfterBoundedWaits) {
  mk(c_, {"a"});
  store::DBConnection locker;
  locker.Open(filesDb());
  locker.BeginTransaction();
  locker.Execute("INSERT INTO Exclude (Folders) VALUES ('x')");  // holds the write lock
  FolderScan s = scanner();
  EXPECT_THROW(s.Run(GetDrives()), store::DBError);
  EXPECT_GT(waiter_.sleeps, 0);
  EXPECT_LE(waiter_.sleptMs, 10000);
}

TEST_F(FolderScanTest, ProgressCaptionEvery250Folders) {
  QStringList many;
  for (int i = 0; i < 600; ++i) many << QString("f%1").arg(i, 3, 10, QChar('0'));
  mk(c_, many);
  FolderScan s = scanner();
  const QStringList found = s.ScanDrive("C:\\");
  EXPECT_EQ(found.size(), 601);
  EXPECT_EQ(found.first(), "C:");
  EXPECT_EQ(captions, (QStringList{"Corvane Checking C:\\ for new folders... 251",
                                   "Corvane Checking C:\\ for new folders... 501"}));
  EXPECT_GE(waiter_.eventPumps, 2);
}

TEST_F(FolderScanTest, SettingsAskTheServiceForAFullRescan) {
  const QDateTime now(QDate(2026, 3, 4), QTime(12, 0, 0));
  WriteScanSettings(statusDb(), now);
  QString v;
  QDateTime d;
  store::DBSelectSetting(statusDb(), "LastScanStart", v, d);
  EXPECT_EQ(v, "");
  EXPECT_EQ(d, now.addSecs(-90 * 60));
  store::DBSelectSetting(statusDb(), "FolderScanThrottle", v, d);
  EXPECT_EQ(v, "Full");
  EXPECT_EQ(d, now);
  store::DBSelectSetting(statusDb(), "FileScanThrottle", v, d);
  EXPECT_EQ(v, "Full");
  EXPECT_EQ(TrimAtNull(QString("ab") + QChar(0) + "cd"), "ab");
  EXPECT_EQ(TrimAtNull("abc"), "abc");
}

}  // namespace
