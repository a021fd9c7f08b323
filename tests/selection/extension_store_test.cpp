#include <gtest/gtest.h>

#include <memory>

#include "selection/ExtensionStore.h"
#include "selection/SmallImageFilter.h"
#include "store/Database.h"
#include "support/TestSupport.h"

namespace corvane::selection {
namespace {

using store::DBConnection;
using store::DBError;

void addFolder(const QString& db, const QString& folder, bool bu, bool buAll) {
  DBConnection c;
  c.Open(db);
  c.Execute("Insert Into Folder (Folders, Bu, BuAll) Values (?, ?, ?)", {store::toStoredText(folder), bu ? 1 : 0, buAll ? 1 : 0});
}

void addFile(const QString& db, const QString& folder, const QString& name, const QString& ext, qint64 size,
             bool uploaded = false, bool filtered = false) {
  DBConnection c;
  c.Open(db);
  c.Execute("Insert Into File (Folder, FileName, Extension, Filesize, Uploaded, Filtered) Values (?, ?, ?, ?, ?, ?)",
            {store::toStoredText(folder), store::toStoredText(name), store::toStoredText(ext), size, uploaded ? 1 : 0,
             filtered ? 1 : 0});
}

qint64 filteredOf(const QString& db, const QString& name) {
  DBConnection c;
  c.Open(db);
  auto rs = c.Query("Select Filtered From File WHERE FileName = ?", {name});
  return rs.Long("Filtered");
}

// Only files of folders ticked for "Folder/File Backup" (Bu) count, not filtered ones, not
// those of folders ticked only for full backup (BuAll); the extension is matched in any case.
TEST(ExtensionStatistics, CountOnlyUnfilteredFilesOfBuFolders) {
  test::TempAppFolder app;
  const QString db = app.filesDb();
  addFolder(db, "C:\\Docs", true, false);
  addFolder(db, "C:\\All", false, true);
  addFolder(db, "C:\\Off", false, false);
  addFile(db, "C:\\Docs", "a.", "doc", 1000, true);
  addFile(db, "C:\\Docs", "b.", "DOC", 2000);
  addFile(db, "C:\\Docs", "c.", "doc", 4000, false, true);  // filtered
  addFile(db, "C:\\Docs", "d.", "docx", 8000);               // another type
  addFile(db, "C:\\All", "e.", "doc", 16000);                // BuAll only
  addFile(db, "C:\\Off", "f.", "doc", 32000);

  EXPECT_EQ(DBCountExtensions(db, ".doc"), 2);
  EXPECT_DOUBLE_EQ(DBAggregateSizes(db, ".doc"), 3000.0);
  EXPECT_EQ(DBCountExtensionsNotUploaded(db, ".doc"), 1);
  EXPECT_EQ(DBCountExtensions(db, ".DOC"), 2);
  EXPECT_EQ(DBCountExtensions(db, ".xls"), 0);
  EXPECT_DOUBLE_EQ(DBAggregateSizes(db, ".xls"), 0.0);
}

// The figures as the statements with lower(a.Extension) give them.
ExtStatistics lowerFormFigures(const QString& db, const QString& ext) {
  DBConnection c;
  c.Open(db);
  const QString where = " FROM File a, Folder b WHERE lower(a.Extension) = ? AND a.folder = b.folders AND b.bu = 1 "
                        "AND a.Filtered = 0";
  ExtStatistics s;
  s.TotalFiles = c.Query("Select count(*) AS n" + where, {ext}).Long("n");
  s.TotalSize = c.Query("Select Total(a.FileSize) AS n" + where, {ext}).Number("n");
  s.TotalFilesNU = c.Query("Select count(*) AS n" + where + " AND Uploaded = 0", {ext}).Long("n");
  return s;
}

// Every letter-case form is counted exactly as lower() counted it, through the index or (for an
// extension too long to list its forms, or a database without the index) without it; the one
// pass gives the figures of the three statements.
TEST(ExtensionStatistics, TheIndexedFormGivesTheFiguresOfTheLowerForm) {
  test::TempAppFolder app;
  const QString db = app.filesDb();
  addFolder(db, "C:\\Docs", true, false);
  addFolder(db, "C:\\Off", false, false);
  const QStringList spellings{"jpg", "JPG", "jPg", "Jpeg", "jpg2", "jp", "verylongextname", "VeryLongExtName",
                              "\u00e9x", "\u00c9X", "\u00e9X"};
  {
    DBConnection c;
    c.Open(db);
    c.BeginTransaction();
    int n = 0;
    for (const QString& e : spellings)
      for (int k = 0; k < 3; ++k, ++n)
        c.Execute("Insert Into File (Folder, FileName, Extension, Filesize, Uploaded, Filtered) Values (?, ?, ?, ?, ?, ?)",
                  {n % 4 ? "C:\\Docs" : "C:\\Off", QString("f%1.").arg(n), e, 100 + n, n % 2, n % 5 == 0 ? 1 : 0});
    c.Commit();
  }
  const QStringList types{".jpg", ".JPEG", ".verylongextname", ".\u00e9x", ".jp", ".none"};
  const auto check = [&] {
    for (const QString& t : types) {
      const ExtStatistics want = lowerFormFigures(db, t.mid(1).toLower());
      const ExtStatistics got = DBExtensionStatistics(db, t);
      EXPECT_EQ(got.TotalFiles, want.TotalFiles) << t.toStdString();
      EXPECT_DOUBLE_EQ(got.TotalSize, want.TotalSize) << t.toStdString();
      EXPECT_EQ(got.TotalFilesNU, want.TotalFilesNU) << t.toStdString();
      EXPECT_EQ(DBCountExtensions(db, t), want.TotalFiles) << t.toStdString();
      EXPECT_DOUBLE_EQ(DBAggregateSizes(db, t), want.TotalSize) << t.toStdString();
      EXPECT_EQ(DBCountExtensionsNotUploaded(db, t), want.TotalFilesNU) << t.toStdString();
    }
  };
  check();
  EXPECT_EQ(DBExtensionStatistics(db, ".jpg").TotalFiles, 5);  // 9 files less the filtered and C:\Off ones
  EXPECT_EQ(DBExtensionStatistics(db, ".verylongextname").TotalFiles, 5);
  {
    DBConnection c;
    c.Open(db);
    c.Execute("DROP INDEX idx_Extension");
  }
  check();
  // An index of that name that cannot answer the statement: only the filtered rows.
  {
    DBConnection c;
    c.Open(db);
    c.Execute("CREATE INDEX idx_Extension ON File (Extension) WHERE Filtered = 1");
  }
  check();
  DBUpdateSmallImageFiles(db, 1);
  EXPECT_EQ(DBCountExtensions(db, ".jpg"), 0);  // every jpg here is small
}

// Files of a folder whose name holds an apostrophe are joined through the stored form.
TEST(ExtensionStatistics, ApostrophesInFolderAndExtensionAreMatched) {
  test::TempAppFolder app;
  const QString db = app.filesDb();
  addFolder(db, "C:\\O'Brien", true, false);
  addFile(db, "C:\\O'Brien", "x.", "a'b", 500);
  addFile(db, "C:\\O'Brien", "y.", "doc", 700);
  EXPECT_EQ(DBCountExtensions(db, ".a'b"), 1);
  EXPECT_DOUBLE_EQ(DBAggregateSizes(db, ".a'b"), 500.0);
  EXPECT_EQ(DBCountExtensions(db, ".doc"), 1);
  // A value built to break a literal matches nothing and changes nothing.
  EXPECT_EQ(DBCountExtensions(db, ".x' OR '1'='1"), 0);
}

TEST(ExtTable, RowsWithApostrophesAreStoredReadAndUpdatedAsGiven) {
  test::TempAppFolder app;
  const QString db = app.filesDb();
  DBInsertExtNew(db, ".a'b", "Quote's Type", true);
  DBInsertExtNew(db, ".doc", "Word", false);
  DBInsertExtNew(db, ".x' OR '1'='1", "", true);

  const auto row = DBSelectExt(db, ".a'b");
  ASSERT_TRUE(row.has_value());
  EXPECT_EQ(row->ExtName, "Quote's Type");
  EXPECT_TRUE(row->ExtBu);
  EXPECT_FALSE(row->statisticsCached());

  DBUpdateExt(db, ".x' OR '1'='1", "", false);
  EXPECT_TRUE(DBSelectExt(db, ".a'b")->ExtBu);  // the odd value touched only its own row
  EXPECT_FALSE(DBSelectExt(db, ".x' OR '1'='1")->ExtBu);
  EXPECT_FALSE(DBSelectExt(db, ".zzz").has_value());

  const QVector<ExtRow> all = DBSelectAllExt(db);
  ASSERT_EQ(all.size(), 3);
  EXPECT_EQ(all[0].Extension, ".a'b");
  EXPECT_EQ(all[1].Extension, ".doc");
  const QVector<ExtRow> ticked = DBSelectAllCheckedExt(db);
  ASSERT_EQ(ticked.size(), 1);
  EXPECT_EQ(ticked[0].Extension, ".a'b");
}

// Ticking a type off and on again changes its tick and name only; its cached figures stay.
TEST(ExtTable, TickingATypeAgainKeepsItsCachedStatistics) {
  test::TempAppFolder app;
  const QString db = app.filesDb();
  DBInsertExtNew(db, ".doc", "Word", true);
  DBUpdateExts(db, ".doc", 3, 3072, 1);
  EXPECT_EQ(DBSelectExt(db, ".doc")->TotalFiles, 3);
  DBUpdateExt(db, ".doc", "Word", false);
  EXPECT_FALSE(DBSelectExt(db, ".doc")->ExtBu);
  DBUpdateExt(db, ".doc", "Word Document", true);
  const ExtRow row = *DBSelectExt(db, ".doc");
  EXPECT_TRUE(row.ExtBu);
  EXPECT_EQ(row.ExtName, "Word Document");
  EXPECT_EQ(row.TotalFiles, 3);
  EXPECT_DOUBLE_EQ(row.TotalSize, 3072);
  EXPECT_EQ(row.TotalFilesNU, 1);
}

// Images of the four kinds below 20480 bytes are marked, in every folder; 20480 bytes and more,
// and other kinds, are left alone; switching off unmarks them again.
TEST(SmallImageFilter, MarksOnlyImagesBelowTheLimit) {
  test::TempAppFolder app;
  const QString db = app.filesDb();
  addFolder(db, "C:\\Pics", true, false);
  addFile(db, "C:\\Pics", "small.", "JPG", 10000);
  addFile(db, "C:\\Pics", "edge.", "jpg", 20479);
  addFile(db, "C:\\Pics", "limit.", "jpg", 20480);
  addFile(db, "C:\\Pics", "big.", "jpg", 30000);
  addFile(db, "C:\\Pics", "g.", "gif", 100);
  addFile(db, "C:\\Pics", "b.", "Bmp", 100);
  addFile(db, "C:\\Pics", "j.", "jpeg", 100);
  addFile(db, "C:\\Pics", "p.", "png", 100);
  addFile(db, "D:\\Else", "other.", "jpg", 5);

  DBUpdateSmallImageFiles(db, 1);
  for (const char* n : {"small.", "edge.", "g.", "b.", "j.", "other."}) EXPECT_EQ(filteredOf(db, n), 1) << n;
  for (const char* n : {"limit.", "big.", "p."}) EXPECT_EQ(filteredOf(db, n), 0) << n;
  EXPECT_EQ(DBCountExtensions(db, ".jpg"), 2);  // limit. and big.
  EXPECT_DOUBLE_EQ(DBAggregateSizes(db, ".jpg"), 50480.0);

  DBUpdateSmallImageFiles(db, 0);
  for (const char* n : {"small.", "edge.", "g.", "b.", "j.", "other."}) EXPECT_EQ(filteredOf(db, n), 0) << n;
  EXPECT_EQ(DBCountExtensions(db, ".jpg"), 4);
}

// The service holds the write lock: the write gives up after a bounded number of waits and
// reports the busy database; nothing is half written.
TEST(ExtTable, ABusyDatabaseEndsInAnErrorAfterBoundedWaits) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  const QString db = app.filesDb();
  DBConnection holder;
  holder.Open(db);
  holder.BeginTransaction();
  holder.Execute("Insert Into Folder (Folders, Bu, BuAll) Values ('C:', 0, 0)");
  try {
    DBInsertExtNew(db, ".doc", "Word", true);
    FAIL() << "the insert should have failed";
  } catch (const DBError& e) {
    EXPECT_TRUE(e.isBusy());
  }
  EXPECT_GT(waiter.sleeps, 0);
  EXPECT_LE(waiter.sleptMs, store::RetryPolicy{}.budgetMs);
  const int sleepsBefore = waiter.sleeps;
  EXPECT_THROW(DBUpdateSmallImageFiles(db, 1), DBError);
  EXPECT_GT(waiter.sleeps, sleepsBefore);
  holder.Rollback();
  EXPECT_FALSE(DBSelectExt(db, ".doc").has_value());
}

}  // namespace
}  // namespace corvane::selection
