#include <QFile>
#include <gtest/gtest.h>

#include "store/Database.h"
#include "store/FileTables.h"
#include "support/TestSupport.h"

using namespace corvane;
using namespace corvane::store;

namespace {

FileRow fileRow(const QString& folder, const QString& name, const QString& ext, double size, int uploaded = 1) {
  FileRow r;
  r.folder = folder;
  r.fileName = name;
  r.extension = ext;
  r.fileSize = size;
  r.dateCreated = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5));
  r.dateLastModified = QDateTime(QDate(2021, 6, 7), QTime(8, 9, 10));
  r.dateUploaded = QDateTime(QDate(2022, 1, 1), QTime(0, 0, 0));
  r.uploaded = uploaded;
  r.filtered = true;
  return r;
}

class FileTables : public ::testing::Test {
 protected:
  test::TempAppFolder app;
  test::FakeWaiter waiter;  // the procedures' pauses for the service cost nothing here
};

TEST_F(FileTables, InsertStoresFixedUploadDateUnfilteredAndUploadedOnlyForOne) {
  DBInsertFile(app.filesDb(), fileRow("C:\\Data", "report.", "doc", 1234, 1));
  DBInsertFile(app.filesDb(), fileRow("C:\\Data", "notes.", "txt", 10, -1));
  DBConnection c;
  c.Open(app.filesDb());
  DBRecordset rs = c.Query("Select * From File ORDER BY FileName");
  ASSERT_EQ(rs.RowCount(), 2);
  EXPECT_EQ(rs.Text("FileName"), "notes.");
  EXPECT_FALSE(rs.Boolean("Uploaded"));
  rs.MoveNext();
  EXPECT_EQ(rs.Text("Folder"), "C:\\Data");
  EXPECT_EQ(rs.Long("Filesize"), 1234);
  EXPECT_EQ(rs.Text("DateCreated"), "2020-01-02 03:04:05");
  EXPECT_EQ(rs.Text("DateUploaded"), "2000-01-01 00:00:00");
  EXPECT_TRUE(rs.Boolean("Uploaded"));
  EXPECT_FALSE(rs.Boolean("Filtered"));
}

TEST_F(FileTables, InsertOfTheSameFileReplacesTheRowWithANewId) {
  DBInsertFile(app.filesDb(), fileRow("C:\\Data", "report.", "doc", 1));
  const qint64 first = DBSelectFileId(app.filesDb(), "C:\\Data", "report.", "doc");
  DBInsertFile(app.filesDb(), fileRow("C:\\Data", "report.", "doc", 2, 0));
  const qint64 second = DBSelectFileId(app.filesDb(), "C:\\Data", "report.", "doc");
  EXPECT_NE(first, second);
  DBConnection c;
  c.Open(app.filesDb());
  DBRecordset rs = c.Query("Select * From File");
  ASSERT_EQ(rs.RowCount(), 1);
  EXPECT_EQ(rs.Long("Filesize"), 2);
  EXPECT_FALSE(rs.Boolean("Uploaded"));
}

TEST_F(FileTables, ApostrophesAreStoredDoubledAndFoundByPlainText) {
  DBInsertFile(app.filesDb(), fileRow("C:\\O'Brien", "it's.", "d'oc", 5));
  DBConnection c;
  c.Open(app.filesDb());
  EXPECT_EQ(c.Query("Select Folder From File").Text("Folder"), "C:\\O''Brien");
  EXPECT_GT(DBSelectFileId(app.filesDb(), "C:\\O'Brien", "it's.", "d'oc"), 0);
  EXPECT_EQ(DBSelectFileIds(app.filesDb(), "C:\\O'Brien").size(), 1);
  double size = 0;
  DBSelectFileSize(app.filesDb(), "it's.", "d'oc", size);
  EXPECT_EQ(size, 5);

  TempDFileRow q;
  q.folder = "D:\\Bob's Files";
  q.fileName = "a'b.";
  q.extension = "txt";
  DBInsertTempDFile(app.filesDb(), q);
  EXPECT_EQ(c.Query("Select * From tempDFile WHERE Folder = ?", {toStoredText(q.folder)}).RowCount(), 1);
}

TEST_F(FileTables, FileSizeSumsEveryFolderOnTopOfThePassedValueOrIsZero) {
  DBInsertFile(app.filesDb(), fileRow("C:\\A", "same.", "bin", 100));
  DBInsertFile(app.filesDb(), fileRow("D:\\B", "same.", "bin", 23));
  double size = 1000;
  DBSelectFileSize(app.filesDb(), "same.", "bin", size);
  EXPECT_EQ(size, 1123);
  double none = 77;
  DBSelectFileSize(app.filesDb(), "other.", "bin", none);
  EXPECT_EQ(none, 0);
}

TEST_F(FileTables, UpdateFilesMarksOneFolder) {
  DBInsertFile(app.filesDb(), fileRow("C:\\CorvaneImage", "img.", "sna", 1, 1));
  DBInsertFile(app.filesDb(), fileRow("C:\\Other", "x.", "sna", 1, 1));
  DBUpdateFiles(app.filesDb(), "C:\\CorvaneImage", 0);
  DBConnection c;
  c.Open(app.filesDb());
  EXPECT_EQ(c.Query("Select * From File WHERE Uploaded = 1").Text("Folder"), "C:\\Other");
  EXPECT_EQ(waiter.sleptMs, 250);
}

TEST_F(FileTables, DeleteHashWorksWhetherFileIdIsTypedOrNot) {
  DBConnection c;
  c.Open(app.filesDb());
  c.Execute("Insert Into Hash (FileId, Hash) Values (7, 'a'), (7, 'b'), (8, 'c')");
  DBDeleteHash(app.filesDb(), 7);
  EXPECT_EQ(c.Query("Select * From Hash").RowCount(), 1);

  // A Hash table made without a column type keeps numbers as numbers and text as text.
  c.Execute("DROP TABLE Hash");
  c.Execute("CREATE TABLE Hash (HashID INTEGER PRIMARY KEY AUTOINCREMENT, FileId, Hash TEXT)");
  c.Execute("Insert Into Hash (FileId, Hash) Values (7, 'num'), ('7', 'text'), (8, 'other')");
  DBDeleteHash(app.filesDb(), 7);
  DBRecordset rs = c.Query("Select Hash From Hash");
  ASSERT_EQ(rs.RowCount(), 1);
  EXPECT_EQ(rs.Text("Hash"), "other");
}

TEST_F(FileTables, DeleteHashesCoversEveryFileOfAFolderWithoutALimit) {
  DeleteHashes(app.filesDb(), "C:\\Empty");  // no rows: nothing to do, no error
  const int files = 100050;
  DBConnection c;
  c.Open(app.filesDb());
  c.BeginTransaction();
  DBCommand f = c.Prepare("Insert Into File (Folder, FileName, Extension) Values (?, ?, 'x')");
  DBCommand h = c.Prepare("Insert Into Hash (FileId, Hash) Values (?, 'h')");
  for (int i = 0; i < files; ++i) {
    f.BindText(1, "C:\\Big");
    f.BindText(2, QString::number(i) + ".");
    f.Execute();
    h.BindLong(1, c.LastInsertRowId());
    h.Execute();
  }
  c.Execute("Insert Into Hash (FileId, Hash) Values (999999, 'keep')");
  c.Commit();
  EXPECT_EQ(DBSelectFileIds(app.filesDb(), "C:\\Big").size(), files);
  DeleteHashes(app.filesDb(), "C:\\Big");
  EXPECT_EQ(c.Query("Select count(*) AS n From Hash").Long("n"), 1);
}

TEST_F(FileTables, RestoreQueueHoldsLargeSizesAndCounts) {
  EXPECT_EQ(DBCountTempDFiles(app.filesDb()), 0);
  TempDFileRow big;
  big.folder = "C:\\Video";
  big.fileName = "film.";
  big.extension = "mkv";
  big.fileSize = 5LL * 1024 * 1024 * 1024;
  big.dateLastModified = QDateTime(QDate(2024, 2, 29), QTime(12, 0, 0));
  DBInsertTempDFile(app.filesDb(), big);
  DBInsertTempDFile(app.filesDb(), big);
  EXPECT_EQ(DBCountTempDFiles(app.filesDb()), 2);
  DBConnection c;
  c.Open(app.filesDb());
  EXPECT_EQ(c.Query("Select FileSize From tempDFile").Long("FileSize"), big.fileSize);
  DBDeleteAllTempDFile(app.filesDb());
  EXPECT_EQ(DBCountTempDFiles(app.filesDb()), 0);
}

TEST_F(FileTables, DownloadCatalogueTableIsCreatedExactlyAndInsertsSwallowErrors) {
  const QString catalogue = app.file("PCFiles.db");
  {
    DBConnection c;
    c.Create(catalogue);
    c.Execute(fileTableCreateStatement());
    for (const QString& s : fileTableIndexStatements()) c.Execute(s);
    EXPECT_EQ(c.Query("Select sql From sqlite_master WHERE name = 'File'").Text("sql"),
              "CREATE TABLE File (FileID INTEGER Primary Key AUTOINCREMENT, Folder TEXT, FileName TEXT, "
              "Extension TEXT, Filesize INTEGER, DateCreated DATE, DateLastModified DATE, DateUploaded DATE, "
              "Uploaded BOOLEAN, Filtered BOOLEAN, CONSTRAINT [FileMatch] UNIQUE(Folder,FileName,Extension) ON "
              "CONFLICT Replace)");
    EXPECT_EQ(c.Query("Select count(*) AS n From sqlite_master WHERE type = 'index' AND name LIKE 'idx_%'").Long("n"), 5);
  }
  EXPECT_TRUE(DBInsertDownloadFile(catalogue, fileRow("C:\\x", "a.", "b", 1)));
  EXPECT_FALSE(DBInsertDownloadFile(app.file("Missing.db"), fileRow("C:\\x", "a.", "b", 1)));
  EXPECT_FALSE(QFile::exists(app.file("Missing.db")));
}

}  // namespace
