// The walk that brings a destination tree up to date with a source tree.
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "filecopy/FolderCopier.h"
#include "filecopy/TreeHelpers.h"
#include "support/TestSupport.h"

using namespace corvane::filecopy;
using namespace corvane::test::filecopy;

namespace {

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
  for (const QString rel : {".git", "linked", "loop", "n/f.txt"}) EXPECT_FALSE(QFileInfo::exists(t.dst(rel))) << qPrintable(rel);
  // Depth first, the files of a folder before its sub-folders.
  EXPECT_EQ(copied, (QStringList{s(".profile"), s("a.txt"), s(nested), s("sub/deeper/c.txt")}));
  EXPECT_TRUE(failed.isEmpty()) << qPrintable(failed.join('\n'));

  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_TRUE(copied.isEmpty()) << qPrintable(copied.join('\n'));
  EXPECT_EQ(checked.size(), 4);
}

TEST_F(FolderCopierTest, ReplacesOnlyCopiesOlderByMoreThanOneSecond) {
  const QDateTime when = baseTime();
  const QList<QPair<QString, QDateTime>> copies = {{"same", when},           {"onesec", when.addSecs(-1)},
                                                   {"justover", when.addMSecs(-1001)}, {"newer", when.addDays(1)},
                                                   {"sub/twosec", when.addSecs(-2)}};
  for (const auto& [rel, copyTime] : copies) {
    writeFile(s(rel), "new", when);
    writeFile(t.dst(rel), "old", copyTime);
  }
  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(copied, (QStringList{s("justover"), s("sub/twosec")}));
  EXPECT_EQ(checked.size(), 5);
  for (const QString rel : {"same", "onesec", "newer"}) EXPECT_EQ(readFile(t.dst(rel)), QByteArray("old")) << qPrintable(rel);
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

  EXPECT_EQ(run(t.src(), t.dst()), CopyOutcome::Finished);
  EXPECT_EQ(failed, (QStringList{s("folder.txt"), s("pipe"), s("pipe2"), s("blocked/f.txt")}));
  EXPECT_EQ(copied, (QStringList{s("ok.txt"), s("later/g.txt")}));
  EXPECT_EQ(readFile(t.dst("blocked")), QByteArray("a file where a folder must be"));
  EXPECT_EQ(readFile(t.dst("pipe2")), QByteArray("newer copy"));
  EXPECT_FALSE(QFileInfo::exists(t.dst("pipe")));
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
  const QList<QPair<QString, QString>> refused = {
      {"", t.dst()},           {"   ", t.dst()},          {t.src(), ""},
      {t.root() + "/missing", t.dst()}, {s("a.txt"), t.dst()}, {t.src(), t.src()},
      {s(""), t.src() + "/./"}, {t.src(), s("backup/deeper")}, {t.src(), t.root() + "/srclink/backup"}};
  for (const auto& [source, destination] : refused) {
    EXPECT_EQ(run(source, destination), CopyOutcome::Refused) << qPrintable(source) << " -> " << qPrintable(destination);
  }
  EXPECT_EQ(messages.texts.size(), refused.size());
  EXPECT_FALSE(QFileInfo::exists(t.dst()));
  EXPECT_FALSE(QFileInfo::exists(s("backup")));
  // A sibling whose name merely begins with the source's is outside it; so is a parent.
  EXPECT_TRUE(FolderCopier::refusalReason(t.src(), t.src() + "2").isEmpty());
  EXPECT_TRUE(FolderCopier::refusalReason(t.src(), t.root()).isEmpty());
}

}  // namespace
