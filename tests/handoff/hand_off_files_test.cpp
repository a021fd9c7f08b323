#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

#include "handoff/ClsUtils.h"
#include "handoff/FileIcon.h"
#include "handoff/FileTypeName.h"
#include "handoff/SharedLists.h"
#include "store/Settings.h"
#include "support/WriteFaults.h"
#include "support/TestSupport.h"

using namespace corvane;
using handoff::ClsUtils;
using test::readFile;
using test::writeFile;

namespace {

QByteArray details(const char* folder, const char* name, const char* time = "12/8/2026 10:00:00 PM") {
  return QByteArray("<FileDetails><FileName>") + name + "</FileName><FileFolderName>" + folder +
         "</FileFolderName><FileModifiedDate>1/1/2026</FileModifiedDate><FileSize>10</FileSize>"
         "<FileType>Text</FileType><FilePriority>1</FilePriority><UpSuccess>Y</UpSuccess><UpDTime>" +
         time + "</UpDTime></FileDetails>";
}

QStringList allEntries(const QString& root) {
  QStringList out;
  QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) out << QDir(root).relativeFilePath(it.next());
  out.sort();
  return out;
}

}  // namespace

TEST(WriteConfig, WritesExactlyOneLineAndReplacesTheWholeFile) {
  test::TempAppFolder app;
  const QString config = app.file("Logs/Config.txt");
  ASSERT_FALSE(QFile::exists(config));
  ClsUtils utils;
  EXPECT_TRUE(utils.WriteConfig("Help"));
  EXPECT_EQ(readFile(config), QByteArray("Help\r\n"));
  EXPECT_TRUE(utils.WriteConfig("Setup"));
  EXPECT_EQ(readFile(config), QByteArray("Setup\r\n"));
  // Nothing but the file itself is left in the folder (no temporary copies).
  EXPECT_EQ(QDir(app.file("Logs")).entryList(QDir::Files | QDir::Hidden), QStringList{"Config.txt"});
}

// Runs the work as a user the folder's permissions hold back. Root passes every permission
// check, so as root the work runs in a child process that has given its rights up first.
bool runWithoutRootRights(const std::function<bool()>& work) {
  if (geteuid() != 0) return work();
  const pid_t pid = fork();
  if (pid == 0) {
    const bool ok = setgid(65534) == 0 && setuid(65534) == 0 && work();
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(WriteConfig, ALogsFolderThatTakesNoNewFileIsWrittenInPlace) {
  test::TempAppFolder app;
  const QString config = app.file("Logs/Config.txt");
  writeFile(config, "Setup\r\n");
  // Everyone may write Config.txt, nobody may add a file beside it.
  for (const QString& p : {QFileInfo(app.path()).path(), app.path()})
    QFile::setPermissions(p, QFile::permissions(p) | QFile::ExeOther | QFile::ReadOther);
  QFile::setPermissions(app.file("Logs"), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
  QFile::setPermissions(config, QFile::permissions(config) | QFile::WriteOther | QFile::WriteOwner);
  EXPECT_TRUE(runWithoutRootRights([] { return ClsUtils().WriteConfig("Help"); }));
  EXPECT_EQ(readFile(config), QByteArray("Help\r\n"));
  QFile::setPermissions(app.file("Logs"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(WriteConfig, FailureWritesNothingAndSaysSo) {
  test::TempAppFolder app;
  ASSERT_TRUE(QDir(app.file("Logs")).removeRecursively());
  QString error;
  EXPECT_FALSE(ClsUtils().WriteConfig("Help", &error));
  EXPECT_TRUE(error.startsWith(app.file("Logs/Config.txt"))) << qPrintable(error);
  EXPECT_FALSE(QFileInfo::exists(app.file("Logs")));
}

TEST(WriteConfig, AFullDiskKeepsTheOldLineAndTheOldTypeListAndSaysSo) {
  test::SmallDisk disk;
  if (disk.whyNot) GTEST_SKIP() << "no small disk to fill: " << disk.whyNot;
  test::TempAppFolder app(disk.path());
  writeFile(app.file("Logs/Config.txt"), "Setup\r\n");
  const QByteArray types = readFile(app.file("Extensions/TypeLst.xml"));
  disk.fill();
  QString error;
  EXPECT_FALSE(ClsUtils().WriteConfig("Help", &error));
  EXPECT_EQ(error, app.file("Logs/Config.txt") + ": the disk is full");
  EXPECT_EQ(readFile(app.file("Logs/Config.txt")), QByteArray("Setup\r\n"));
  EXPECT_FALSE(ClsUtils().FileType_Details({"", ".txt", ".doc"}));
  EXPECT_EQ(readFile(app.file("Extensions/TypeLst.xml")), types);
  EXPECT_EQ(allEntries(app.file("Logs")), QStringList{"Config.txt"});
  EXPECT_EQ(allEntries(app.file("Extensions")), QStringList{"TypeLst.xml"});
}

TEST(TrayAndStatusFiles, LastTrayLineAndJoinedStatus) {
  test::TempAppFolder app;
  ClsUtils utils;
  EXPECT_EQ(utils.ReadTray(), "");
  EXPECT_EQ(utils.GetStatus(), "Corvane Backup....");
  writeFile(app.file("Logs/Tray.txt"), "first\r\n  last line  \r\n");
  writeFile(app.file("Logs/Status.txt"), " one\r\ntwo\r\n");
  EXPECT_EQ(utils.ReadTray(), "last line");
  EXPECT_EQ(utils.GetStatus(), "one\r\ntwo");
}

TEST(StatusCaption, FollowsTheStatusSetting) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  ClsUtils utils;
  EXPECT_EQ(utils.GetStatusForCaption(app.statusDb()), "Corvane Backup - Status: Active");
  store::DBUpdateSetting(app.statusDb(), "Status", "Corvane Uploading 3 files", QDateTime::currentDateTime());
  EXPECT_EQ(utils.GetStatusForCaption(app.statusDb()), "Corvane Uploading 3 files");
}

TEST(FolderHelpers, UniqueValuesIgnoreCaseAndKeepFirstSpelling) {
  EXPECT_EQ(ClsUtils::UniqueValues({"a", "A", "b"}), (QStringList{"a", "b"}));
  EXPECT_EQ(ClsUtils::UniqueValues({"C:\\Data", "b", "c:\\data", "B", ""}), (QStringList{"C:\\Data", "b", ""}));
}

TEST(FolderHelpers, CreateFolderMakesMissingParentsAndValidPathSeesThem) {
  test::TempAppFolder app;
  const QString deep = app.file("x/y/z");
  ClsUtils utils;
  EXPECT_FALSE(utils.IsValidPath(deep));
  utils.CreateFolder(deep);
  EXPECT_TRUE(utils.IsValidPath(deep));
  utils.CreateFolder(deep);  // existing: nothing happens
  EXPECT_TRUE(QFileInfo(deep).isDir());
  EXPECT_FALSE(utils.IsValidPath(app.file("Files.db")));  // a file is not a folder
  test::ScopedPathMap map(platform::PathMap({{"C:", app.path()}}));
  EXPECT_TRUE(utils.IsValidPath("C:\\x\\y"));
  EXPECT_FALSE(utils.IsValidPath("C:\\x\\missing"));
  EXPECT_FALSE(utils.IsValidPath("Q:\\x"));
}

TEST(MirrorFolders, WindowsFoldersLandUnderTheMirrorRootOnly) {
  const QString root = "/m/TmpCorvane";
  EXPECT_EQ(ClsUtils::mirrorFolderFor(root, "C:\\Data\\Mail"), "/m/TmpCorvane/CDrive/Data/Mail");
  EXPECT_EQ(ClsUtils::mirrorFolderFor(root, "d:\\B\\"), "/m/TmpCorvane/DDrive/B");
  EXPECT_EQ(ClsUtils::mirrorFolderFor(root, "E:\\"), "/m/TmpCorvane/EDrive");
  EXPECT_FALSE(ClsUtils::mirrorFolderFor(root, "C:\\Data\\..\\..\\..\\etc"));
  EXPECT_FALSE(ClsUtils::mirrorFolderFor(root, "C:\\.\\x"));
  EXPECT_FALSE(ClsUtils::mirrorFolderFor(root, "relative\\folder"));
  EXPECT_FALSE(ClsUtils::mirrorFolderFor(root, "/etc"));
  EXPECT_FALSE(ClsUtils::mirrorFolderFor(root, "C:"));
  EXPECT_FALSE(ClsUtils::mirrorFolderFor(root, ""));
}

TEST(MirrorFolders, CreateFolderListRebuildsMirrorAndFillsLists) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  const QString mirror = platform::appPaths().mirrorRootPath;
  writeFile(mirror + "/Old/stale.txt", "x");
  writeFile(app.file("Logs/SuccessLog.xml"),
            "<FileCollection>" + details("C:\\A", "one.txt", "1/2/2026 3:04:05 PM") + details("C:\\A", "two.txt") +
                details("c:\\a", "three.txt") + details("D:\\B", "four.txt") + "</FileCollection>");
  writeFile(app.file("Dir/FolderCollection.xml"),
            "<FolderCollection><SelectedFolders><FolderDetails><FolderPath>C:\\A</FolderPath></FolderDetails>"
            "</SelectedFolders><UnSelectedFolders><FolderDetails><FolderPath>C:\\Skip</FolderPath></FolderDetails>"
            "<FolderDetails><FolderPath>D:\\Tmp</FolderPath></FolderDetails></UnSelectedFolders></FolderCollection>");

  ClsUtils().CreateFolderList();

  EXPECT_EQ(allEntries(mirror), (QStringList{"CDrive", "CDrive/A", "DDrive", "DDrive/B"}));
  const auto& lists = handoff::sharedLists();
  EXPECT_EQ(lists.loggedUploads.records(), 4);
  EXPECT_EQ(lists.loggedUploads.uploadTimeOf("one.txt"), "1/2/2026 3:04:05 PM");
  for (const char* name : {"two.txt", "three.txt", "four.txt"}) EXPECT_TRUE(lists.loggedUploads.uploadTimeOf(name));
  EXPECT_FALSE(lists.loggedUploads.uploadTimeOf("ONE.TXT"));
  EXPECT_EQ(lists.excludedFolders, (QStringList{"C:\\Skip", "D:\\Tmp", ""}));
}

TEST(MirrorFolders, EscapingAndEmptyFoldersNeitherLeakNorHideRealOnes) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  const QString mirror = platform::appPaths().mirrorRootPath;
  // An empty folder first, then escape attempts, then the one real folder (which the old
  // "all but the last distinct value" rule would have dropped).
  writeFile(app.file("Logs/SuccessLog.xml"),
            "<FileCollection>" + details("", "a") + details("C:\\..\\..\\Escaped", "b") + details("Loose\\Dir", "c") +
                details("C:\\Real", "d") + "</FileCollection>");
  const QStringList before = allEntries(app.path());

  ClsUtils().CreateFolderList();

  EXPECT_EQ(allEntries(mirror), (QStringList{"CDrive", "CDrive/Real"}));
  QStringList after = allEntries(app.path());
  for (const QString& e : allEntries(mirror)) after.removeAll("TmpCorvane/" + e);
  after.removeAll("TmpCorvane");
  EXPECT_EQ(after, before);  // nothing appeared anywhere else in the application folder
  EXPECT_FALSE(QFileInfo::exists(QDir(app.path()).filePath("../Escaped")));
  EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("Loose")));
  EXPECT_EQ(handoff::sharedLists().loggedUploads.records(), 4);
}

// Folders whose names sort between a folder and those below it ("B C", "B-x" before "B/D"),
// one nested a thousand deep, and one nested too deep for any file system: the first are made
// with all their parents, the last not at all (not even the part of it that would fit).
TEST(MirrorFolders, NeighbouringDeepAndTooDeepFolders) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  const QString mirror = platform::appPaths().mirrorRootPath;
  QByteArray deep = "C:\\Deep", tooDeep = "C:\\TooDeep";
  for (int i = 0; i < 1000; ++i) deep += "\\d";
  for (int i = 0; i < 5000; ++i) tooDeep += "\\t";
  QByteArray log = "<FileCollection>";
  for (const char* folder : {"C:\\A\\B\\D", "C:\\A\\B C", "C:\\A\\B-x\\Y", "C:\\A\\BC\\D", "C:\\A\\B",
                             "C:\\A\\B\\D\\E", "D:\\Z", "C:\\A0"})
    log += details(folder, "f.txt");
  log += details(deep.constData(), "f.txt") + details(tooDeep.constData(), "f.txt") + "</FileCollection>";
  writeFile(app.file("Logs/SuccessLog.xml"), log);

  ClsUtils().CreateFolderList();
  ClsUtils().CreateFolderList();  // and again, over the folders made the first time

  QStringList entries = allEntries(mirror);
  const qsizetype belowDeep = entries.removeIf([](const QString& e) { return e.startsWith("CDrive/Deep/"); });
  EXPECT_EQ(belowDeep, 1000);
  EXPECT_EQ(entries, (QStringList{"CDrive", "CDrive/A", "CDrive/A/B", "CDrive/A/B C", "CDrive/A/B-x", "CDrive/A/B-x/Y",
                                  "CDrive/A/B/D", "CDrive/A/B/D/E", "CDrive/A/BC", "CDrive/A/BC/D", "CDrive/A0",
                                  "CDrive/Deep", "DDrive", "DDrive/Z"}));
  QString deepest = mirror + "/CDrive/Deep";
  for (int i = 0; i < 1000; ++i) deepest += "/d";
  EXPECT_TRUE(QFileInfo(deepest).isDir());
}

// The log cut short while the service writes it, then whole: the mirror and the lists are made
// from the whole log alone, not deleted for the moment it was cut.
TEST(MirrorFolders, ALogBeingWrittenIsReadAgain) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  const QByteArray whole = "<FileCollection>" + details("C:\\A", "one.txt") + details("C:\\B", "two.txt") + "</FileCollection>";
  writeFile(app.file("Logs/SuccessLog.xml"), whole.left(whole.size() - 20));
  waiter.onSleep = [&](int) { writeFile(app.file("Logs/SuccessLog.xml"), whole); };
  ClsUtils().CreateFolderList();
  EXPECT_EQ(allEntries(platform::appPaths().mirrorRootPath), (QStringList{"CDrive", "CDrive/A", "CDrive/B"}));
  EXPECT_EQ(handoff::sharedLists().loggedUploads.records(), 2);
}

TEST(MirrorFolders, NoLogDeletesTheMirrorAndKeepsTheLists) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  const QString mirror = platform::appPaths().mirrorRootPath;
  writeFile(mirror + "/CDrive/Old/x.txt", "x");
  auto& lists = handoff::sharedLists();
  lists.loggedUploads.clear();
  lists.loggedUploads.add("kept", "1/1/2026");
  lists.excludedFolders = {"C:\\Kept", ""};
  ClsUtils().CreateFolderList();
  EXPECT_FALSE(QFileInfo::exists(mirror));
  EXPECT_EQ(lists.loggedUploads.uploadTimeOf("kept"), "1/1/2026");
  EXPECT_EQ(lists.excludedFolders, (QStringList{"C:\\Kept", ""}));
}

TEST(MirrorFolders, ARebuildKeepsWhatStaysAndClearsTheRest) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  const QString mirror = platform::appPaths().mirrorRootPath;
  writeFile(app.file("Logs/SuccessLog.xml"),
            "<FileCollection>" + details("C:\\A\\B", "one.txt") + details("C:\\A", "two.txt") + "</FileCollection>");
  ClsUtils().CreateFolderList();
  const auto inode = [](const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
  };
  const ino_t made = inode(mirror + "/CDrive/A/B");
  ASSERT_NE(made, ino_t(0));
  // Left behind meanwhile: a file in a kept folder, a folder the log no longer names, a
  // read-only one with a file in it, a name that is not UTF-8.
  writeFile(mirror + "/CDrive/A/stale.txt", "x");
  QDir().mkpath(mirror + "/CDrive/Gone/Deeper");
  writeFile(mirror + "/CDrive/ReadOnly/inside.txt", "x");
  ::chmod(QFile::encodeName(mirror + "/CDrive/ReadOnly").constData(), 0555);
  const QByteArray oddName = QFile::encodeName(mirror + "/CDrive/A/") + "odd\xff";
  ::close(::open(oddName.constData(), O_CREAT | O_WRONLY, 0644));
  writeFile(app.file("Logs/SuccessLog.xml"),
            "<FileCollection>" + details("C:\\A\\B", "one.txt") + details("d:\\New", "two.txt") + "</FileCollection>");
  ClsUtils().CreateFolderList();
  EXPECT_EQ(allEntries(mirror), (QStringList{"CDrive", "CDrive/A", "CDrive/A/B", "DDrive", "DDrive/New"}));
  EXPECT_EQ(inode(mirror + "/CDrive/A/B"), made);  // kept, not made again
}

TEST(MirrorFolders, LinksAreRemovedNeverFollowed) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  QTemporaryDir victim;
  writeFile(victim.filePath("precious.txt"), "keep me");
  writeFile(victim.filePath("CDrive/A/also.txt"), "keep me too");
  const QString mirror = platform::appPaths().mirrorRootPath;
  writeFile(app.file("Logs/SuccessLog.xml"), "<FileCollection>" + details("C:\\A", "one.txt") + "</FileCollection>");

  // The mirror root itself a link to another folder.
  ASSERT_TRUE(QFile::link(victim.path(), mirror));
  ClsUtils().CreateFolderList();
  EXPECT_FALSE(QFileInfo(mirror).isSymLink());
  EXPECT_EQ(allEntries(mirror), (QStringList{"CDrive", "CDrive/A"}));
  EXPECT_EQ(readFile(victim.filePath("precious.txt")), "keep me");
  EXPECT_EQ(readFile(victim.filePath("CDrive/A/also.txt")), "keep me too");

  // Links inside it, where a mirror folder belongs and where none does.
  QDir(mirror).rmdir("CDrive/A");
  ASSERT_TRUE(QFile::link(victim.filePath("CDrive/A"), mirror + "/CDrive/A"));
  ASSERT_TRUE(QFile::link(victim.path(), mirror + "/Elsewhere"));
  ClsUtils().CreateFolderList();
  EXPECT_EQ(allEntries(mirror), (QStringList{"CDrive", "CDrive/A"}));
  EXPECT_FALSE(QFileInfo(mirror + "/CDrive/A").isSymLink());
  EXPECT_EQ(readFile(victim.filePath("CDrive/A/also.txt")), "keep me too");

  // With no log the mirror goes: a link in its place goes as a link.
  QDir(mirror).removeRecursively();
  ASSERT_TRUE(QFile::link(victim.path(), mirror));
  QFile::remove(app.file("Logs/SuccessLog.xml"));
  ClsUtils().CreateFolderList();
  EXPECT_FALSE(QFileInfo::exists(mirror) || QFileInfo(mirror).isSymLink());
  EXPECT_EQ(readFile(victim.filePath("precious.txt")), "keep me");
}

TEST(FileTypeList, SkipsEntryZeroAndEmptyEntries) {
  test::TempAppFolder app;
  ASSERT_TRUE(ClsUtils().FileType_Details({".zero", ".txt", "", ".doc"}));
  const QByteArray xml = readFile(app.file("Extensions/TypeLst.xml"));
  EXPECT_TRUE(xml.contains("<FileTypeList FileCreatedDateTime=\"")) << xml.constData();
  EXPECT_TRUE(xml.contains("<FileType>.txt</FileType>"));
  EXPECT_TRUE(xml.contains("<FileType>.doc</FileType>"));
  EXPECT_FALSE(xml.contains(".zero"));
  EXPECT_EQ(xml.count("<FileType>"), 2);
}

TEST(FileTypeNames, KnownAndUnknownExtensions) {
  test::TempAppFolder app;
  test::ScopedPathMap map(platform::PathMap({{"C:", app.path()}}));
  const QString text = handoff::GetFileTypeName("C:\\nowhere\\notes.txt");
  EXPECT_FALSE(text.isEmpty());
  EXPECT_NE(text, "TXT File");
  EXPECT_EQ(handoff::GetFileTypeName("C:\\nowhere\\data.zzqqx"), "ZZQQX File");
  EXPECT_EQ(handoff::GetFileTypeName(app.file("Dir")), handoff::GetFileTypeName(app.file("Config")));
  EXPECT_LE(handoff::GetFileTypeName("C:\\x\\a." + QString(100, 'q')).size(), 80);
  // A drive that is not mapped never reaches the local file with the same path (a folder here).
  EXPECT_EQ(handoff::GetFileTypeName("Q:" + QString(app.file("Dir")).replace('/', '\\')), "File");
}

TEST(FileIcons, LargeOrSmallThroughTheDriveMapAndNoneOffIt) {
  test::TempAppFolder app;
  writeFile(app.file("Docs/report.txt"), "words");
  test::ScopedPathMap map(platform::PathMap({{"C:", app.path()}}));
  const QPixmap large = handoff::GetFileIcon("C:\\Docs\\report.txt", 2);
  const QPixmap small = handoff::GetFileIcon("C:\\Docs\\report.txt", 1);
  ASSERT_FALSE(large.isNull());
  ASSERT_FALSE(small.isNull());
  EXPECT_EQ(large.width(), 32);
  EXPECT_EQ(small.width(), 16);
  EXPECT_EQ(handoff::GetFileIcon("C:\\Docs\\report.txt", 0).width(), 16);
  // A file no longer there still shows the icon of its kind; a drive off the map shows none,
  // even where the same path exists locally.
  EXPECT_FALSE(handoff::GetFileIcon("C:\\Docs\\gone.txt", 2).isNull());
  EXPECT_TRUE(handoff::GetFileIcon("Q:" + app.file("Docs/report.txt").replace('/', '\\'), 2).isNull());
}
