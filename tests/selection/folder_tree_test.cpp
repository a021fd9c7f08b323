#include <QDir>

#include "folder_fixture.h"
#include "selection/BackupDrives.h"
#include "selection/FolderExclusions.h"
#include "selection/FolderTable.h"

using namespace corvane;
using namespace corvane::selection;
using corvane::test::FolderFixture;

namespace {

QStringList keys(const QVector<ChildNode>& nodes) {
  QStringList out;
  for (const ChildNode& n : nodes) out << n.key;
  return out;
}

class FolderTreeTest : public FolderFixture {};

TEST_F(FolderTreeTest, ChildrenAreFoundOnceWithTheirOwnFlagsWhateverTheSortOrder) {
  // "C:\a b" and "C:\aB" sort between "C:\a" and "C:\a\x"; the deeper row carries other flags.
  addFolders({{"C:", false, false},
              {"C:\\a", false, true},
              {"C:\\a b", true, false},
              {"C:\\aB", false, false},
              {"C:\\a\\x", true, false},
              {"C:\\a\\x\\y", false, false},
              {"C:\\z\\deep", true, true},  // C:\z itself has no row
              {"D:\\a", true, true}});
  FolderChildren rows(filesDb());
  const QVector<ChildNode> top = rows.SelectChildNodes("C:\\");
  EXPECT_EQ(keys(top), (QStringList{"C:\\a", "C:\\a b", "C:\\aB", "C:\\z"}));
  EXPECT_EQ(top[0].text, "a");
  EXPECT_EQ(top[0].flags, (FolderFlags{false, true}));  // its own row, not C:\a\x's
  EXPECT_EQ(top[1].flags, (FolderFlags{true, false}));
  EXPECT_EQ(top[3].flags, FolderFlags{});  // no row of its own: unticked, nothing carried over

  EXPECT_EQ(keys(rows.SelectChildNodes("C:\\a")), QStringList{"C:\\a\\x"});
  EXPECT_EQ(keys(rows.SelectChildNodes("C:\\a\\x\\")), QStringList{"C:\\a\\x\\y"});
  EXPECT_TRUE(rows.SelectChildNodes("C:\\aB").isEmpty());

  // Another drive through the same reader, then what the service changed meanwhile.
  EXPECT_EQ(keys(rows.SelectChildNodes("D:\\")), QStringList{"D:\\a"});
  addFolders({{"C:\\a\\new", true, false}});
  const QVector<ChildNode> inA = rows.SelectChildNodes("C:\\a\\");
  EXPECT_EQ(keys(inA), (QStringList{"C:\\a\\new", "C:\\a\\x"}));
  EXPECT_EQ(inA[0].flags, (FolderFlags{true, false}));
}

TEST_F(FolderTreeTest, SubtreeUpdateTouchesTheFolderAndItsSubFoldersOnly) {
  addFolders({{"C:"}, {"C:\\Data"}, {"C:\\Data\\x"}, {"C:\\Data\\x\\y"}, {"C:\\Database"}, {"C:\\Data b"},
              {"C:\\a_b"}, {"C:\\aXb\\c"}, {"D:"}, {"D:\\Data"}});
  EXPECT_EQ(DBUpdateBusandBusAll(filesDb(), "C:\\Data\\", {true, false}), 3);
  auto t = folderTable();
  EXPECT_EQ(t["C:\\Data"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\Data\\x\\y"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\Database"], qMakePair(false, false));
  EXPECT_EQ(t["C:\\Data b"], qMakePair(false, false));

  // "_" in a name is no wildcard here.
  EXPECT_EQ(DBUpdateBusandBusAll(filesDb(), "C:\\a_b", {false, true}), 1);
  EXPECT_EQ(folderTable()["C:\\aXb\\c"], qMakePair(false, false));

  // A drive takes the whole drive and nothing of another.
  EXPECT_EQ(DBUpdateBusandBusAll(filesDb(), "C:", {false, true}), 8);
  t = folderTable();
  EXPECT_EQ(t["C:\\Database"], qMakePair(false, true));
  EXPECT_EQ(t["D:\\Data"], qMakePair(false, false));

  // One folder alone; a folder without a row gets none.
  EXPECT_EQ(DBUpdateBuandBuAll(filesDb(), "D:\\Data", {true, false}), 1);
  EXPECT_EQ(DBUpdateBuandBuAll(filesDb(), "D:\\Nothing", {true, false}), 0);
  t = folderTable();
  EXPECT_EQ(t["D:\\Data"], qMakePair(true, false));
  EXPECT_EQ(t["D:"], qMakePair(false, false));
  EXPECT_FALSE(t.contains("D:\\Nothing"));
}

TEST_F(FolderTreeTest, ApostrophesAreStoredDoubledAndFoundBound) {
  addFolders({{"C:"}, {"C:\\a'b"}, {"C:\\a'b\\it's"}, {"C:\\x' OR '1'='1"}});
  EXPECT_EQ(storedFolder("C:\\a'b"), "C:\\a''b");

  EXPECT_EQ(DBSelectFolder(filesDb(), "C:\\a'b"), (FolderFlags{false, false}));
  EXPECT_EQ(DBUpdateBusandBusAll(filesDb(), "C:\\a'b", {true, false}), 2);
  EXPECT_EQ(DBSelectFolder(filesDb(), "C:\\a'b\\it's\\"), (FolderFlags{true, false}));
  EXPECT_EQ(DBSelectFolder(filesDb(), "C:\\x' OR '1'='1"), (FolderFlags{false, false}));
  EXPECT_FALSE(DBSelectFolder(filesDb(), "C:\\missing").has_value());

  FolderChildren rows(filesDb());
  EXPECT_EQ(keys(rows.SelectChildNodes("C:\\")), (QStringList{"C:\\a'b", "C:\\x' OR '1'='1"}));
  const QVector<ChildNode> inner = rows.SelectChildNodes("C:\\a'b");
  ASSERT_EQ(inner.size(), 1);
  EXPECT_EQ(inner[0].text, "it's");
  EXPECT_TRUE(inner[0].flags.Bu);
}

TEST_F(FolderTreeTest, ExclusionsClearFlagsOfMatchingPathsOnly) {
  addFolders({{"C:", true, false},
              {"C:\\Temp", true, false},
              {"C:\\Users\\x\\AppData\\Local\\TEMP", false, true},
              {"C:\\Temporary", true, false},
              {"C:\\Data", true, false},
              {"C:\\O'Brien", false, true}});
  // An empty table changes nothing.
  EXPECT_EQ(ExcludeFolders(filesDb()), 0);
  EXPECT_EQ(folderTable()["C:\\Temp"], qMakePair(true, false));

  addExclude("temp");
  addExclude("");  // would match every folder if taken literally
  addExclude("O'Brien");
  EXPECT_EQ(DBSelectExclude(filesDb()), (QStringList{"temp", "", "O'Brien"}));
  ExcludeFolders(filesDb());
  const auto t = folderTable();
  EXPECT_EQ(t["C:\\Temp"], qMakePair(false, false));
  EXPECT_EQ(t["C:\\Users\\x\\AppData\\Local\\TEMP"], qMakePair(false, false));
  EXPECT_EQ(t["C:\\Temporary"], qMakePair(false, false));
  EXPECT_EQ(t["C:\\O'Brien"], qMakePair(false, false));
  EXPECT_EQ(t["C:"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\Data"], qMakePair(true, false));
}

// An entry is the database's LIKE pattern: "_" stands for any one character and "%" for any
// run of them, so entries holding them clear more than their literal text.
TEST_F(FolderTreeTest, PercentAndUnderscoreInAnExclusionAreWildcards) {
  addFolders({{"C:\\Temp", true, false},
              {"C:\\Tamp", true, false},
              {"C:\\Tmp", true, false},
              {"C:\\Users\\x\\Cache", false, true},
              {"C:\\Users\\y", true, true},
              {"C:\\Docs", true, false}});
  addExclude("T_mp");
  addExclude("Users%Cache");
  EXPECT_EQ(ExcludeFolders(filesDb()), 3);
  const auto t = folderTable();
  EXPECT_EQ(t["C:\\Temp"], qMakePair(false, false));
  EXPECT_EQ(t["C:\\Tamp"], qMakePair(false, false));
  EXPECT_EQ(t["C:\\Tmp"], qMakePair(true, false));  // "_" is one character, not none
  EXPECT_EQ(t["C:\\Users\\x\\Cache"], qMakePair(false, false));
  EXPECT_EQ(t["C:\\Users\\y"], qMakePair(true, true));
  EXPECT_EQ(t["C:\\Docs"], qMakePair(true, false));
}

TEST_F(FolderTreeTest, DrivesFillFreshSlotsFromTheMap) {
  // A mapped folder that does not exist is no drive; positions follow the map's order.
  const QString e = drives_.path() + "/e";
  QDir().mkpath(e);
  const QString spec = "C:=" + c_ + ";D:=" + drives_.path() + "/missing;E:=" + e;
  QStringList first;
  {
    corvane::test::ScopedDrives drives(spec);
    first = GetDrives();
  }
  ASSERT_EQ(first.size(), kDriveSlots);
  EXPECT_EQ(first[0], "C:\\");
  EXPECT_EQ(first[1], "E:\\");
  for (int i = 2; i < kDriveSlots; ++i) EXPECT_TRUE(first[i].isEmpty()) << i;

  // A later call with fewer drives keeps nothing of the earlier one.
  corvane::test::ScopedDrives only("D:=" + d_);
  const QStringList second = GetDrives();
  EXPECT_EQ(second[0], "D:\\");
  EXPECT_EQ(second.count(QString()), kDriveSlots - 1);

  // 25 drives: the slots stop at 21.
  QStringList many;
  for (int i = 0; i < 25; ++i) {
    const QString dir = drives_.path() + "/m" + QString::number(i);
    QDir().mkpath(dir);
    many << QString(QChar('A' + i)) + ":=" + dir;
  }
  corvane::test::ScopedDrives lots(many.join(';'));
  const QStringList full = GetDrives();
  EXPECT_EQ(full.size(), kDriveSlots);
  EXPECT_EQ(full[20], "U:\\");
}

TEST_F(FolderTreeTest, DownloadTreeListsUploadedFoldersOfACatalogue) {
  const QString catalogue = drives_.path() + "/OtherFiles.db";
  QFile::copy(filesDb(), catalogue);
  {
    store::DBConnection db;
    db.Open(catalogue);
    const auto add = [&](const QString& folder, const QString& name, bool uploaded) {
      db.Execute("INSERT INTO File (Folder, FileName, Extension, Filesize, Uploaded, Filtered) VALUES (?,?,?,?,?,0)",
                 {store::toStoredText(folder), name, "txt", 1, uploaded});
    };
    add("C:\\Docs", "a.", true);
    add("C:\\Docs", "b.", true);
    add("C:\\Docs\\Bob's", "c.", true);
    add("C:\\Pending", "d.", false);
    add("D:\\Docs", "e.", true);
  }
  DownloadNodes dl;
  int count = -1;
  QString ret;
  dl.DBSelectDLNodes("C:", count, catalogue, ret);
  EXPECT_EQ(ret, "OK");
  EXPECT_EQ(count, 2);
  QStringList got = dl.DLRawNodeNames.mid(0, count);
  got.sort();
  EXPECT_EQ(got, (QStringList{"C:\\Docs\\", "C:\\Docs\\Bob's\\"}));

  // A narrower read overwrites from the start and leaves later entries alone.
  dl.DBSelectDLNodes("C:\\Docs\\Bob's", count, catalogue, ret);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(dl.DLRawNodeNames.size(), 2);
  EXPECT_EQ(dl.DLRawNodeNames[0], "C:\\Docs\\Bob's\\");

  // No rows: nothing changes.
  dl.DBSelectDLNodes("C:\\Pending", count, catalogue, ret);
  EXPECT_TRUE(ret.isEmpty());
  EXPECT_EQ(count, 1);

  dl.DLNodeNames << "x";
  dl.ClearDLNodeArrays();
  EXPECT_TRUE(dl.DLRawNodeNames.isEmpty());
  EXPECT_TRUE(dl.DLNodeNames.isEmpty());

  // A missing catalogue reports its error and leaves the outputs.
  dl.DBSelectDLNodes("C:", count, drives_.path() + "/none.db", ret);
  EXPECT_FALSE(ret.isEmpty());
  EXPECT_NE(ret, "OK");
  EXPECT_EQ(count, 1);
}

}  // namespace
