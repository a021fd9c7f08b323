// The walk that brings a destination tree up to date with a source tree.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "filecopy/AtomicCopy.h"
#include "filecopy/FolderCopier.h"
#include "filecopy/TreeHelpers.h"
#include "support/TestSupport.h"

using namespace corvane::filecopy;
using namespace corvane::test::filecopy;

namespace {

// Files and folders named by raw bytes, which need not be UTF-8.
QByteArray rawPath(const QString& folder, const QByteArray& rel) { return QFile::encodeName(folder) + '/' + rel; }
void writeRaw(const QByteArray& path, const QByteArray& content) {
  std::FILE* f = std::fopen(path.constData(), "wb");
  ASSERT_NE(f, nullptr) << path.constData();
  std::fwrite(content.constData(), 1, size_t(content.size()), f);
  std::fclose(f);
}
QByteArray readRaw(const QByteArray& path) {
  QByteArray out;
  if (std::FILE* f = std::fopen(path.constData(), "rb")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, qsizetype(n));
    std::fclose(f);
  }
  return out;
}
QList<QByteArray> rawNames(const QByteArray& folder) {
  QList<QByteArray> names;
  if (DIR* d = ::opendir(folder.constData())) {
    while (const dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names << QByteArray(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}
// QTemporaryDir cannot remove what it cannot name: the test removes its byte-named entries itself.
void removeTreeRaw(const QByteArray& root) {
  ::nftw(
      root.constData(), [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); }, 16,
      FTW_DEPTH | FTW_PHYS);
}
mode_t modeOf(const QString& path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class FolderCopierTest : public ::testing::Test {
 protected:
  CopyOutcome run(const QString& source, const QString& destination) {
    checked.clear(), copied.clear(), failed.clear(), captions.clear();
    FolderCopier copier(CopyObserver{[this](const QString& p) { checked << p; },
                                     [this](const QString& p) {
                                       copied << p;
                                       if (stopAfterFirstCopy) self->requestStop();
                                     },
                                     [this](const QString& p) { failed << p; },
                                     [this](const QString& c) { captions << c; }});
    self = &copier;
    return copier.run(source, destination);
  }
  QString s(const QString& rel) const { return t.src() + "/" + rel; }

  corvane::test::FakeWaiter waiter;
  corvane::test::RecordingMessages messages;
  Trees t;
  QStringList checked, copied, failed, captions;
  bool stopAfterFirstCopy = false;
  FolderCopier* self = nullptr;
};

TEST_F(FolderCopierTest, CopiesMissingFilesWithTheirTimesOnceAndSkipsHiddenFoldersAndLinks) {
  writeFile(s("a.txt"), "alpha", baseTime());
  writeFile(s(".profile"), "hidden file", baseTime().addSecs(5));
  writeFile(s("sub/deeper/c.txt"), "gamma", baseTime().addDays(-3));
  writeFile(s(".git/config"), "never");
  QTemporaryDir outside;
  ASSERT_TRUE(QFile::link(outside.path(), s("linked")));
  ASSERT_TRUE(QFile::link(t.src(), s("loop")));  // would never end if followed
  // A sub-folder whose path repeats the whole source path: only the leading one is dropped.
  const QString nested = "n" + t.src() + "/f.txt";
  writeFile(s(nested), "deep");
  writeFile(t.dst("c.txt"), "unrelated");  // same name in the destination's top folder

  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  for (const QString rel : {"a.txt", ".profile", "sub/deeper/c.txt"}) {
    EXPECT_EQ(readFile(t.dst(rel)), readFile(s(rel))) << qPrintable(rel);
    EXPECT_EQ(modifiedMs(t.dst(rel)), modifiedMs(s(rel))) << qPrintable(rel);
  }
  EXPECT_EQ(readFile(t.dst(nested)), QByteArray("deep"));
  EXPECT_EQ(readFile(t.dst("c.txt")), QByteArray("unrelated"));
  for (const QString rel : {".git", "linked", "loop", "n/f.txt"})
    EXPECT_FALSE(QFileInfo::exists(t.dst(rel))) << qPrintable(rel);
  // Depth first, the files of a folder before its sub-folders.
  EXPECT_EQ(copied, (QStringList{s(".profile"), s("a.txt"), s(nested), s("sub/deeper/c.txt")}));
  EXPECT_TRUE(failed.isEmpty()) << qPrintable(failed.join('\n'));

  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_TRUE(copied.isEmpty()) << qPrintable(copied.join('\n'));
  EXPECT_EQ(checked.size(), 4);
}

TEST_F(FolderCopierTest, ReplacesOnlyCopiesOlderByMoreThanOneSecond) {
  const QDateTime when = baseTime();
  const QList<QPair<QString, QDateTime>> copies = {{"same", when},
                                                   {"onesec", when.addSecs(-1)},
                                                   {"justover", when.addMSecs(-1001)},
                                                   {"newer", when.addDays(1)},
                                                   {"sub/twosec", when.addSecs(-2)}};
  for (const auto& [rel, copyTime] : copies) {
    writeFile(s(rel), "new", when);
    writeFile(t.dst(rel), "old", copyTime);
  }
  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(copied, (QStringList{s("justover"), s("sub/twosec")}));
  EXPECT_EQ(checked.size(), 5);
  for (const QString rel : {"same", "onesec", "newer"})
    EXPECT_EQ(readFile(t.dst(rel)), QByteArray("old")) << qPrintable(rel);
  EXPECT_EQ(readFile(t.dst("sub/twosec")), QByteArray("new"));
  EXPECT_EQ(modifiedMs(t.dst("sub/twosec")), when.toMSecsSinceEpoch());
}

TEST_F(FolderCopierTest, StopEndsTheWalkBeforeTheNextSubFolderOnly) {
  writeFile(s("a.txt"), "a");
  writeFile(s("b.txt"), "b");
  writeFile(s("sub/c.txt"), "c");
  stopAfterFirstCopy = true;
  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Stopped);
  EXPECT_EQ(copied, (QStringList{s("a.txt"), s("b.txt")}));  // the current folder completes
  EXPECT_FALSE(QFileInfo::exists(t.dst("sub")));

  stopAfterFirstCopy = false;  // the request ended with that walk
  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(copied, QStringList{s("sub/c.txt")});
}

TEST_F(FolderCopierTest, FailuresAreListedNeverReportedAsCopiedAndTheWalkGoesOn) {
  writeFile(s("blocked/f.txt"), "f");
  writeFile(t.dst("blocked"), "a file where a folder must be");
  writeFile(s("folder.txt"), "x");
  QDir().mkpath(t.dst("folder.txt"));  // a folder where a file must be
  ASSERT_EQ(::mkfifo(QFile::encodeName(s("pipe")).constData(), 0600), 0);
  ASSERT_EQ(::mkfifo(QFile::encodeName(s("pipe2")).constData(), 0600), 0);
  writeFile(t.dst("pipe2"), "newer copy", QDateTime::currentDateTimeUtc().addDays(1));
  writeFile(s("later/g.txt"), "g");
  writeFile(s("ok.txt"), "ok");

  // A pipe (like a device, which can act when opened) is looked at, never opened.
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  for (const char* pipe : {"pipe", "pipe2"})
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(s(pipe)).constData(), IN_OPEN), 0);

  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  char events[4096];
  EXPECT_LT(::read(watch, events, sizeof events), 0) << "a pipe was opened";
  ::close(watch);
  EXPECT_EQ(failed, (QStringList{s("folder.txt") + " (a folder of that name is in the way)",
                                 s("pipe") + " (Not a regular file)", s("pipe2") + " (Not a regular file)",
                                 s("blocked/f.txt") + " (its folder cannot be made: Not a directory)"}));
  EXPECT_EQ(copied, (QStringList{s("ok.txt"), s("later/g.txt")}));
  EXPECT_EQ(readFile(t.dst("blocked")), QByteArray("a file where a folder must be"));
  EXPECT_EQ(readFile(t.dst("pipe2")), QByteArray("newer copy"));
  EXPECT_FALSE(QFileInfo::exists(t.dst("pipe")));
}

TEST_F(FolderCopierTest, NamesThatAreNotUtf8AreCopiedUnderTheirExactBytes) {
  // Two names that differ only in a byte that is not UTF-8 must stay two files.
  ASSERT_EQ(::mkdir(rawPath(t.src(), "dir\xff").constData(), 0755), 0);
  writeRaw(rawPath(t.src(), "x\xff.txt"), "first");
  writeRaw(rawPath(t.src(), "x\xfe.txt"), "second");
  writeRaw(rawPath(t.src(), "dir\xff/in\xfe"), "inner");
  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_TRUE(failed.isEmpty()) << qPrintable(failed.join('\n'));
  EXPECT_EQ(copied.size(), 3);
  EXPECT_EQ(rawNames(QFile::encodeName(t.dst())), (QList<QByteArray>{"dir\xff", "x\xfe.txt", "x\xff.txt"}));
  EXPECT_EQ(readRaw(rawPath(t.dst(), "x\xff.txt")), QByteArray("first"));
  EXPECT_EQ(readRaw(rawPath(t.dst(), "x\xfe.txt")), QByteArray("second"));
  EXPECT_EQ(readRaw(rawPath(t.dst(), "dir\xff/in\xfe")), QByteArray("inner"));

  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_TRUE(copied.isEmpty());
  EXPECT_EQ(checked.size(), 3);
  removeTreeRaw(QFile::encodeName(t.src()));
  removeTreeRaw(QFile::encodeName(t.dst()));
}

TEST_F(FolderCopierTest, AReadOnlyCopyIsReplacedAndEveryCopyTakesTheSourcesPermissions) {
  writeFile(s("a.txt"), "new", baseTime());
  writeFile(t.dst("a.txt"), "old", baseTime().addSecs(-10));
  ASSERT_EQ(::chmod(QFile::encodeName(s("a.txt")).constData(), 0640), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(t.dst("a.txt")).constData(), 0444), 0);
  writeFile(s("open.txt"), "o");  // wider than the umask lets a new file be
  ASSERT_EQ(::chmod(QFile::encodeName(s("open.txt")).constData(), 0666), 0);
  writeFile(s("locked.txt"), "l");
  ASSERT_EQ(::chmod(QFile::encodeName(s("locked.txt")).constData(), 0400), 0);
  const mode_t mask = ::umask(022);
  const CopyOutcome outcome = run(t.src(), t.dst());
  ::umask(mask);
  EXPECT_EQ(outcome, CopyOutcome::Finished);
  EXPECT_TRUE(failed.isEmpty()) << qPrintable(failed.join('\n'));
  EXPECT_EQ(readFile(t.dst("a.txt")), QByteArray("new"));
  EXPECT_EQ(modeOf(t.dst("a.txt")), 0640u);
  EXPECT_EQ(modeOf(t.dst("open.txt")), 0666u);
  EXPECT_EQ(modeOf(t.dst("locked.txt")), 0400u);
  EXPECT_EQ(readFile(t.dst("locked.txt")), QByteArray("l"));
}

// As cp -a does: folders keep their times (set once their contents are in) and their modes, and
// the special bits stay where the copy has the source's owner and group.
TEST_F(FolderCopierTest, FoldersKeepTheirTimesAndModesAndSpecialBitsStayWhereTheOwnerDoes) {
  writeFile(s("shared/deeper/f.txt"), "f");
  writeFile(s("run"), "#!/bin/sh\n");
  writeFile(s("theirs"), "#!/bin/sh\n");
  auto chmodTo = [](const QString& path, mode_t mode) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << qPrintable(path);
  };
  chmodTo(s("shared"), 02775);
  chmodTo(s("shared/deeper"), 01750);
  chmodTo(s("run"), 04755);
  chmodTo(s("theirs"), 06755);
  // Someone else's program: its copy is ours and must not run as its owner.
  const bool otherOwner = ::chown(QFile::encodeName(s("theirs")).constData(), 65534, 65534) == 0;
  if (otherOwner) chmodTo(s("theirs"), 06755);  // chown clears the bits
  const QDateTime folderTime = baseTime().addDays(-30);
  for (const QString rel : {"shared/deeper", "shared", ""}) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(folderTime.addSecs(rel.size()).toSecsSinceEpoch()), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(s(rel)).constData(), times, 0), 0);
  }

  const mode_t mask = ::umask(022);
  const CopyOutcome outcome = run(t.src(), t.dst());
  ::umask(mask);
  EXPECT_EQ(outcome, CopyOutcome::Finished);
  EXPECT_TRUE(failed.isEmpty()) << qPrintable(failed.join('\n'));
  for (const QString rel : {"shared/deeper", "shared", ""})
    EXPECT_EQ(modifiedMs(t.dst(rel)), folderTime.addSecs(rel.size()).toMSecsSinceEpoch()) << qPrintable(rel);
  EXPECT_EQ(modeOf(t.dst("shared")), 02775u);
  EXPECT_EQ(modeOf(t.dst("shared/deeper")), 01750u);
  EXPECT_EQ(modeOf(t.dst("run")), 04755u);
  if (otherOwner) {
    EXPECT_EQ(modeOf(t.dst("theirs")), 0755u);
  }
}

// Both kinds of temporary file: without a name (where the file system makes them) and named.
class TemporaryKinds : public FolderCopierTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override { setUnnamedTemporaries(GetParam()); }
  void TearDown() override { setUnnamedTemporaries(true); }
  QStringList destinationEntries() const {
    return QDir(t.dst()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }
};
INSTANTIATE_TEST_SUITE_P(FolderCopier, TemporaryKinds, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

TEST_P(TemporaryKinds, AnInterruptedCopyLeavesTheOldCopyAndNoTemporaryFile) {
  // Large enough to be copied in more than one piece, so the program can end in between.
  QByteArray big(kCopyChunkBytes + 4096, 'n');
  writeFile(s("big.bin"), big, baseTime());
  writeFile(t.dst("big.bin"), "old copy", baseTime().addDays(-1));
  writeFile(s("later.txt"), "later");
  HookWaiter hooks;
  FolderCopier copier(CopyObserver{nullptr, [this](const QString& p) { copied << p; },
                                   [this](const QString& p) { failed << p; }, nullptr});
  QStringList whileWritten;
  hooks.hook = [&](int pump) {
    if (pump == 1) whileWritten = destinationEntries();
    copier.abort();
  };
  EXPECT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Stopped);
  // Without a name, a copy that is being written leaves nothing even when the program is killed.
  EXPECT_EQ(whileWritten.size(), GetParam() ? 1 : 2) << qPrintable(whileWritten.join(' '));
  EXPECT_TRUE(copied.isEmpty());
  EXPECT_TRUE(failed.isEmpty());  // ended on purpose, not failed
  EXPECT_EQ(readFile(t.dst("big.bin")), QByteArray("old copy"));
  EXPECT_EQ(destinationEntries(), QStringList{"big.bin"});

  // The next walk completes it, and the new file beside it.
  hooks.hook = nullptr;
  EXPECT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(readFile(t.dst("big.bin")), big);
  EXPECT_EQ(modifiedMs(t.dst("big.bin")), baseTime().toMSecsSinceEpoch());
  EXPECT_EQ(readFile(t.dst("later.txt")), QByteArray("later"));
  EXPECT_EQ(destinationEntries(), (QStringList{"big.bin", "later.txt"}));
}

TEST_P(TemporaryKinds, AFileWrittenToWhileItIsCopiedIsReadAgainOrListedAndNeverCopiedHalfNew) {
  // Written to between two pieces of its copy: its copy would hold old and new parts.
  const QString big = s("big.bin");
  writeFile(big, QByteArray(kCopyChunkBytes + 4096, 'o'), baseTime());
  writeFile(t.dst("big.bin"), "old copy", baseTime().addDays(-1));
  int writes = 0, writesWanted = 1;
  auto writeHead = [&](char c) {
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write(QByteArray(16, c));
  };
  HookWaiter hooks;
  hooks.hook = [&](int) {
    if (writes < writesWanted) writeHead(char('a' + writes++));
  };
  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_TRUE(failed.isEmpty()) << qPrintable(failed.join('\n'));
  EXPECT_EQ(readFile(t.dst("big.bin")), readFile(big));  // read again, whole and new
  EXPECT_EQ(modifiedMs(t.dst("big.bin")), modifiedMs(big));

  // A file that never holds still is listed, and its old copy stays.
  writeFile(t.dst("big.bin"), "old copy", baseTime().addDays(-1));
  writes = 0, writesWanted = 1000;
  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(failed, QStringList{big + " (it kept changing while it was copied)"});
  EXPECT_TRUE(copied.isEmpty());
  EXPECT_EQ(readFile(t.dst("big.bin")), QByteArray("old copy"));
  EXPECT_EQ(destinationEntries(), QStringList{"big.bin"});
}

TEST_F(FolderCopierTest, CaptionEveryThousandFilesNamesTheDrive) {
  corvane::test::ScopedPathMap map(corvane::platform::PathMap({{"C:", t.root()}}));
  for (int i = 0; i < 1001; ++i) writeFile(s(QStringLiteral("many/f%1").arg(i)), "x");
  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(captions, QStringList{"Corvane Scanned 1,000 Files on drive C:\\"});
  EXPECT_EQ(scannedCaption(1234567, s("")), QString("Corvane Scanned 1,234,567 Files on drive C:\\"));
}

TEST_F(FolderCopierTest, RefusesUnusableFoldersWithAMessage) {
  writeFile(s("a.txt"), "a");
  ASSERT_TRUE(QFile::link(t.src(), t.root() + "/srclink"));
  const QList<QPair<QString, QString>> refused = {{"", t.dst()},
                                                  {"   ", t.dst()},
                                                  {t.src(), ""},
                                                  {t.root() + "/missing", t.dst()},
                                                  {s("a.txt"), t.dst()},
                                                  {t.src(), t.src()},
                                                  {s(""), t.src() + "/./"},
                                                  {t.src(), s("backup/deeper")},
                                                  {t.src(), t.root() + "/srclink/backup"}};
  for (const auto& [source, destination] : refused) {
    EXPECT_EQ(run(source, destination), CopyOutcome::Refused)
        << qPrintable(source) << " -> " << qPrintable(destination);
  }
  EXPECT_EQ(messages.texts.size(), refused.size());
  EXPECT_FALSE(QFileInfo::exists(t.dst()));
  EXPECT_FALSE(QFileInfo::exists(s("backup")));
  // A sibling whose name merely begins with the source's is outside it; so is a parent.
  EXPECT_TRUE(FolderCopier::refusalReason(t.src(), t.src() + "2").isEmpty());
  EXPECT_TRUE(FolderCopier::refusalReason(t.src(), t.root()).isEmpty());
}

// A disk whose writes are taken into memory but fail on their way to the disk: an ext4 file
// system on a loop device backed by a file on a tmpfs too small for it.
class FailingDisk {
 public:
  explicit FailingDisk(const QString& root)
      : backing_(QFile::encodeName(root + "/backing")), disk_(QFile::encodeName(root + "/disk")) {
    whyNot = make();
  }
  ~FailingDisk() {
    if (diskMounted_) ::umount2(disk_.constData(), MNT_DETACH);
    if (!device_.isEmpty()) command("losetup", {"-d", QString::fromUtf8(device_)});
    if (backingMounted_) ::umount2(backing_.constData(), MNT_DETACH);
  }
  QString folder() const { return QFile::decodeName(disk_); }
  const char* whyNot = nullptr;  // set when the disk could not be made

 private:
  const char* make() {
    if (::geteuid() != 0) return "it needs root";
    ::mkdir(backing_.constData(), 0700);
    ::mkdir(disk_.constData(), 0700);
    if (::mount("tmpfs", backing_.constData(), "tmpfs", 0, "size=8m") != 0) return "no tmpfs can be mounted";
    backingMounted_ = true;
    const QByteArray image = backing_ + "/image";
    const int fd = ::open(image.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const bool sized = fd >= 0 && ::ftruncate(fd, 64 << 20) == 0;
    if (fd >= 0) ::close(fd);
    if (!sized) return "no image file";
    device_ = command("losetup", {"-f", "--show", QFile::decodeName(image)}).trimmed();
    if (device_.isEmpty()) return "no loop device";
    if (command("mkfs.ext4", {"-q", "-F", QString::fromUtf8(device_)}).isNull()) return "mkfs.ext4 failed";
    if (::mount(device_.constData(), disk_.constData(), "ext4", 0, nullptr) != 0) return "ext4 cannot be mounted";
    diskMounted_ = true;
    return nullptr;
  }
  // The command's output, or a null array when it cannot run or fails.
  static QByteArray command(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return QByteArray();
    const QByteArray out = p.readAllStandardOutput();
    return out.isNull() ? QByteArray("") : out;
  }
  QByteArray backing_, disk_, device_;
  bool backingMounted_ = false, diskMounted_ = false;
};

TEST_F(FolderCopierTest, CopiesThatNeverReachTheDiskAreListed) {
  FailingDisk disk(t.root());
  if (disk.whyNot) GTEST_SKIP() << "a failing disk cannot be made here: " << disk.whyNot;
  for (int i = 0; i < 3; ++i) writeFile(s(QStringLiteral("f%1").arg(i)), QByteArray(8 << 20, char('a' + i)));
  const QString destination = disk.folder() + "/copy";
  EXPECT_EQ(run(t.src(), destination), CopyOutcome::Finished);
  ASSERT_FALSE(failed.isEmpty());
  EXPECT_TRUE(failed.last().startsWith(destination + "/ (not all copies reached the disk: "))
      << qPrintable(failed.join('\n'));
}

}  // namespace
