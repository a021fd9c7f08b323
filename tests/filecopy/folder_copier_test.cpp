// The walk that brings a destination tree up to date with a source tree.
#include <QDir>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "filecopy/FolderCopier.h"
#include "filecopy/TreeHelpers.h"
#include "support/TestSupport.h"

using namespace corvane::filecopy;
using namespace corvane::test::filecopy;
using corvane::test::FakeWaiter;
using corvane::test::RecordingMessages;

namespace {

// Records everything the walk reports.
struct Recorder {
  QStringList checked, copied, failed, captions;
  CopyObserver observer() {
    return CopyObserver{[this](const QString& p) { checked << p; }, [this](const QString& p) { copied << p; },
                        [this](const QString& p) { failed << p; }, [this](const QString& c) { captions << c; }};
  }
};

class FolderCopierTest : public ::testing::Test {
 protected:
  FakeWaiter waiter;
  RecordingMessages messages;
  Trees t;
  Recorder rec;
};

TEST_F(FolderCopierTest, FirstRunCopiesTheTreeWithTimesButNotHiddenFolders) {
  writeFile(t.src("a.txt"), "alpha", baseTime());
  writeFile(t.src(".profile"), "hidden file", baseTime().addSecs(5));
  writeFile(t.src("sub/b.txt"), "beta", baseTime().addSecs(60));
  writeFile(t.src("sub/deeper/c.txt"), "gamma", baseTime().addDays(-3));
  writeFile(t.src(".git/config"), "never", baseTime());
  writeFile(t.src("sub/.cache/x"), "never", baseTime());
  QDir().mkpath(t.src("emptyfolder"));
  // A file of the same name in the destination's top folder belongs to nobody in the source.
  writeFile(t.dst("b.txt"), "unrelated", baseTime());

  FolderCopier copier(rec.observer());
  EXPECT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Finished);

  for (const QString rel : {"a.txt", ".profile", "sub/b.txt", "sub/deeper/c.txt"}) {
    EXPECT_EQ(readFile(t.dst(rel)), readFile(t.src(rel))) << qPrintable(rel);
    EXPECT_EQ(modifiedMs(t.dst(rel)), modifiedMs(t.src(rel))) << qPrintable(rel);
  }
  EXPECT_FALSE(QFileInfo::exists(t.dst(".git")));
  EXPECT_FALSE(QFileInfo::exists(t.dst("sub/.cache")));
  EXPECT_EQ(readFile(t.dst("b.txt")), QByteArray("unrelated"));
  EXPECT_TRUE(rec.failed.isEmpty()) << qPrintable(rec.failed.join('\n'));
  EXPECT_TRUE(rec.checked.isEmpty());  // nothing existed to compare
  // Depth first, the files of a folder before its sub-folders.
  EXPECT_EQ(rec.copied, (QStringList{t.src() + "/.profile", t.src() + "/a.txt", t.src() + "/sub/b.txt",
                                     t.src() + "/sub/deeper/c.txt"}));
  EXPECT_EQ(copier.filesSeen(), 4);
  EXPECT_EQ(copier.filesCopied(), 4);
  EXPECT_GT(waiter.eventPumps, 3);
}

TEST_F(FolderCopierTest, CopiesOnlyWhenTheSourceIsNewerByMoreThanOneSecond) {
  const QDateTime when = baseTime();
  writeFile(t.src("same.txt"), "new", when);
  writeFile(t.dst("same.txt"), "old", when);
  writeFile(t.src("onesec.txt"), "new", when);
  writeFile(t.dst("onesec.txt"), "old", when.addSecs(-1));
  writeFile(t.src("twosec.txt"), "new", when);
  writeFile(t.dst("twosec.txt"), "old", when.addSecs(-2));
  writeFile(t.src("justover.txt"), "new", when);
  writeFile(t.dst("justover.txt"), "old", when.addMSecs(-1001));
  writeFile(t.src("older.txt"), "new", when);
  writeFile(t.dst("older.txt"), "kept", when.addDays(1));
  writeFile(t.src("sub/deep.txt"), "new", when);
  writeFile(t.dst("sub/deep.txt"), "old", when.addSecs(-10));

  FolderCopier copier(rec.observer());
  EXPECT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Finished);

  EXPECT_EQ(readFile(t.dst("same.txt")), QByteArray("old"));
  EXPECT_EQ(readFile(t.dst("onesec.txt")), QByteArray("old"));
  EXPECT_EQ(readFile(t.dst("older.txt")), QByteArray("kept"));
  EXPECT_EQ(readFile(t.dst("twosec.txt")), QByteArray("new"));
  EXPECT_EQ(readFile(t.dst("justover.txt")), QByteArray("new"));
  EXPECT_EQ(readFile(t.dst("sub/deep.txt")), QByteArray("new"));
  EXPECT_EQ(modifiedMs(t.dst("twosec.txt")), when.toMSecsSinceEpoch());
  EXPECT_EQ(rec.copied, (QStringList{t.src() + "/justover.txt", t.src() + "/twosec.txt", t.src() + "/sub/deep.txt"}));
  EXPECT_EQ(rec.checked.size(), 6);  // every existing copy is compared, copied or not
  EXPECT_TRUE(rec.failed.isEmpty());
}

TEST_F(FolderCopierTest, SecondRunCopiesNothing) {
  writeFile(t.src("a.txt"), "alpha");
  writeFile(t.src("sub/b.txt"), "beta", QDateTime::currentDateTimeUtc().addSecs(-30));
  FolderCopier copier(rec.observer());
  ASSERT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Finished);
  ASSERT_EQ(rec.copied.size(), 2);

  rec = Recorder{};
  FolderCopier again(rec.observer());
  EXPECT_EQ(again.run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_TRUE(rec.copied.isEmpty()) << qPrintable(rec.copied.join('\n'));
  EXPECT_EQ(rec.checked.size(), 2);
  EXPECT_EQ(again.filesCopied(), 0);
}

TEST_F(FolderCopierTest, SourcePrefixIsRemovedOnceFromTheFolderPath) {
  // A sub-folder path that repeats the whole source path inside itself.
  const QString nested = "a" + t.src();
  writeFile(t.src(nested + "/f.txt"), "deep");
  FolderCopier copier(rec.observer());
  EXPECT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(readFile(t.dst(nested + "/f.txt")), QByteArray("deep"));
  EXPECT_FALSE(QFileInfo::exists(t.dst("a/f.txt")));
}

TEST_F(FolderCopierTest, StopIsHonouredBeforeTheNextSubFolder) {
  writeFile(t.src("a.txt"), "a");
  writeFile(t.src("b.txt"), "b");
  writeFile(t.src("sub/c.txt"), "c");
  FolderCopier* self = nullptr;
  CopyObserver observer = rec.observer();
  observer.fileCopied = [&](const QString& p) {
    rec.copied << p;
    self->requestStop();  // after the very first file
  };
  FolderCopier copier(observer);
  self = &copier;
  EXPECT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Stopped);
  // The current folder's files complete; no sub-folder is entered.
  EXPECT_EQ(rec.copied, (QStringList{t.src() + "/a.txt", t.src() + "/b.txt"}));
  EXPECT_FALSE(QFileInfo::exists(t.dst("sub")));

  // The stop request belongs to that walk only: the next one goes all the way.
  rec = Recorder{};
  FolderCopier next(rec.observer());
  EXPECT_EQ(next.run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(rec.copied, QStringList{t.src() + "/sub/c.txt"});
}

TEST_F(FolderCopierTest, AbortEndsTheWalkAfterTheFileInHand) {
  writeFile(t.src("a.txt"), "a");
  writeFile(t.src("b.txt"), "b");
  writeFile(t.src("sub/c.txt"), "c");
  FolderCopier* self = nullptr;
  CopyObserver observer = rec.observer();
  observer.fileCopied = [&](const QString& p) {
    rec.copied << p;
    self->abort();
  };
  FolderCopier copier(observer);
  self = &copier;
  EXPECT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Stopped);
  EXPECT_EQ(rec.copied, QStringList{t.src() + "/a.txt"});
  EXPECT_FALSE(QFileInfo::exists(t.dst("b.txt")));
  EXPECT_FALSE(copier.isRunning());
}

TEST_F(FolderCopierTest, FailuresAreListedAndTheWalkGoesOn) {
  writeFile(t.src("blocked/f.txt"), "f");
  writeFile(t.dst("blocked"), "a file where a folder must be");
  writeFile(t.src("folder.txt"), "x");
  QDir().mkpath(t.dst("folder.txt"));  // a folder where a file must be
  ASSERT_EQ(::mkfifo(QFile::encodeName(t.src("pipe")).constData(), 0600), 0);
  ASSERT_EQ(::mkfifo(QFile::encodeName(t.src("pipe2")).constData(), 0600), 0);
  writeFile(t.dst("pipe2"), "a newer copy of a pipe", QDateTime::currentDateTimeUtc().addDays(1));
  writeFile(t.src("later/g.txt"), "g");
  writeFile(t.src("ok.txt"), "ok");

  FolderCopier copier(rec.observer());
  EXPECT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(rec.failed, (QStringList{t.src() + "/folder.txt", t.src() + "/pipe", t.src() + "/pipe2",
                                     t.src() + "/blocked/f.txt"}));
  // Failed files are never reported as copied.
  EXPECT_EQ(rec.copied, (QStringList{t.src() + "/ok.txt", t.src() + "/later/g.txt"}));
  EXPECT_EQ(readFile(t.dst("blocked")), QByteArray("a file where a folder must be"));
  EXPECT_TRUE(QFileInfo(t.dst("folder.txt")).isDir());
  EXPECT_FALSE(QFileInfo::exists(t.dst("pipe")));
  EXPECT_EQ(readFile(t.dst("later/g.txt")), QByteArray("g"));
  EXPECT_EQ(copier.filesFailed(), 4);
  EXPECT_EQ(readFile(t.dst("pipe2")), QByteArray("a newer copy of a pipe"));
}

TEST_F(FolderCopierTest, LinksToFoldersAreNotEntered) {
  QTemporaryDir outside;
  writeFile(outside.path() + "/secret.txt", "elsewhere");
  ASSERT_TRUE(QFile::link(outside.path(), t.src("linked")));
  ASSERT_TRUE(QFile::link(t.src(), t.src("loop")));  // would never end if followed
  writeFile(t.src("real.txt"), "real");
  FolderCopier copier(rec.observer());
  EXPECT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_FALSE(QFileInfo::exists(t.dst("linked")));
  EXPECT_FALSE(QFileInfo::exists(t.dst("loop")));
  EXPECT_EQ(rec.copied, QStringList{t.src() + "/real.txt"});
}

TEST_F(FolderCopierTest, CaptionEveryThousandFilesNamesTheDrive) {
  corvane::test::ScopedPathMap map(corvane::platform::PathMap({{"C:", t.root()}}));
  for (int i = 0; i < 1001; ++i) writeFile(t.src(QStringLiteral("many/f%1").arg(i, 4, 10, QChar('0'))), "x");
  FolderCopier copier(rec.observer());
  EXPECT_EQ(copier.run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(rec.captions, QStringList{"Corvane Scanned 1,000 Files on drive C:\\"});
  EXPECT_EQ(copier.filesCopied(), 1001);

  EXPECT_EQ(scannedCaption(1234567, t.src() + "/"), QString("Corvane Scanned 1,234,567 Files on drive C:\\"));
}

TEST_F(FolderCopierTest, RefusesUnusableFoldersWithAMessage) {
  writeFile(t.src("a.txt"), "a");
  ASSERT_TRUE(QFile::link(t.src(), t.root() + "/srclink"));
  struct Case {
    QString source, destination;
  };
  const QList<Case> refused = {
      {"", t.dst()},
      {"   ", t.dst()},
      {t.src(), ""},
      {t.root() + "/missing", t.dst()},
      {t.src("a.txt"), t.dst()},  // a file is not a folder
      {t.src(), t.src()},
      {t.src() + "/", t.src() + "/./"},
      {t.src(), t.src("backup")},
      {t.src(), t.src("backup/deeper")},
      {t.src(), t.root() + "/srclink/backup"},  // inside the source through a link
  };
  for (const Case& c : refused) {
    messages.texts.clear();
    FolderCopier copier(rec.observer());
    EXPECT_EQ(copier.run(c.source, c.destination), CopyOutcome::Refused)
        << qPrintable(c.source) << " -> " << qPrintable(c.destination);
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_FALSE(FolderCopier::refusalReason(c.source, c.destination).isEmpty());
  }
  EXPECT_FALSE(QFileInfo::exists(t.dst()));
  EXPECT_FALSE(QFileInfo::exists(t.src("backup")));
  EXPECT_TRUE(rec.copied.isEmpty());

  // A sibling whose name merely starts with the source's name is outside it, and the source
  // may lie inside the destination.
  EXPECT_TRUE(FolderCopier::refusalReason(t.src(), t.src() + "2").isEmpty());
  EXPECT_TRUE(FolderCopier::refusalReason(t.src(), t.root()).isEmpty());
}

TEST(CopyFileKeepingTime, ReplacesTheTargetWithTheSourceTimeAndMode) {
  Trees t;
  writeFile(t.src("script.sh"), "#!/bin/sh\necho hi\n", baseTime());
  QFile::setPermissions(t.src("script.sh"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  writeFile(t.dst("script.sh"), "a much longer old content that must not survive at its end", baseTime().addDays(-1));
  QString error;
  ASSERT_TRUE(copyFileKeepingTime(t.src("script.sh"), t.dst("script.sh"), &error)) << qPrintable(error);
  EXPECT_EQ(readFile(t.dst("script.sh")), readFile(t.src("script.sh")));
  EXPECT_EQ(modifiedMs(t.dst("script.sh")), baseTime().toMSecsSinceEpoch());
  EXPECT_TRUE(QFileInfo(t.dst("script.sh")).permissions() & QFile::ExeOwner);
  EXPECT_EQ(QDir(t.root() + "/dst").entryList(QDir::Files | QDir::Hidden).size(), 1);  // no leftovers

  EXPECT_FALSE(copyFileKeepingTime(t.src("absent"), t.dst("absent"), &error));
  EXPECT_FALSE(QFileInfo::exists(t.dst("absent")));
}

TEST(CopyTimes, NewerByMoreThanOneSecond) {
  const QDateTime copy = baseTime();
  EXPECT_FALSE(isNewerByMoreThanOneSecond(copy, copy));
  EXPECT_FALSE(isNewerByMoreThanOneSecond(copy.addSecs(1), copy));
  EXPECT_TRUE(isNewerByMoreThanOneSecond(copy.addMSecs(1001), copy));
  EXPECT_FALSE(isNewerByMoreThanOneSecond(copy.addSecs(-5), copy));
}

}  // namespace
