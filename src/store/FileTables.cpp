#include "store/FileTables.h"

#include <QStringList>

#include "platform/Wait.h"
#include "store/Database.h"
#include "store/DatabaseJob.h"

namespace corvane::store {

namespace {
constexpr RetryPolicy k50{50, 3000};
constexpr RetryPolicy k100{100, 3000};

void insertFile(DBConnection& c, const FileRow& row) {
  c.TransactionSwitch = false;
  c.BeginTransaction();
  DBInsertFile(c, row);
  c.Commit();
  c.TransactionSwitch = true;
}
}  // namespace

void DBInsertFile(DBConnection& c, const FileRow& row) {
  DBCommand cmd = c.Prepare("Insert Into File Values(?,?,?,?,?,?,?,?,?,?)");
  cmd.BindText(2, toStoredText(row.folder));
  cmd.BindText(3, toStoredText(row.fileName));
  cmd.BindText(4, toStoredText(row.extension));
  cmd.BindFixed(5, row.fileSize);
  cmd.BindDate(6, row.dateCreated);
  cmd.BindDate(7, row.dateLastModified);
  cmd.BindDate(8, QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0)));
  cmd.BindBoolean(9, row.uploaded == 1);
  cmd.BindBoolean(10, false);
  cmd.Execute();
}

QString fileTableCreateStatement() {
  return QStringLiteral(
             "Create Table File (FileID INTEGER Primary Key AUTOINCREMENT, ") +
         "Folder TEXT, " + "FileName TEXT, " + "Extension TEXT, " + "Filesize INTEGER, " +
         "DateCreated DATE, " + "DateLastModified DATE, " + "DateUploaded DATE, " + "Uploaded BOOLEAN, " +
         "Filtered BOOLEAN, " + "CONSTRAINT [FileMatch] UNIQUE(Folder,FileName,Extension) ON CONFLICT Replace)";
}

QStringList fileTableIndexStatements() {
  return {"CREATE INDEX idx_Folder ON File (Folder)", "CREATE INDEX idx_DateLastModified ON File (DateLastModified DESC)",
          "CREATE INDEX idx_Extension ON File (Extension)", "CREATE INDEX idx_Uploaded ON File (Uploaded)",
          "CREATE INDEX idx_Filtered ON File (Filtered)"};
}

void DBInsertFile(const QString& filesDb, const FileRow& row) {
  onDatabase(filesDb, [&](DBConnection& c) { insertFile(c, row); }, k50);
}

bool DBInsertDownloadFile(const QString& dbdName, const FileRow& row) {
  return swallowDbError([&] {
    DBConnection c;
    c.Open(dbdName);
    insertFile(c, row);
  });
}

// The image folder's files and their hash rows (a row per block of a file of many gigabytes) are
// marked and read off the window's thread, and the waits between the steps keep it painting.
void DBUpdateFiles(const QString& filesDb, const QString& folder, int uploaded) {
  runWhilePainting([&](JobContext& job) {
    job.onDatabase(
        filesDb,
        [&](DBConnection& c) {
          c.Execute("Update file SET Uploaded = ? WHERE folder = ?", {uploaded, toStoredText(folder)});
        },
        k100);
  });
  platform::waitPaintingMs(250);
}

void DBSelectFileSize(const QString& filesDb, const QString& fileName, const QString& extension, double& fileSize) {
  const double passedIn = fileSize;
  double total = 0;
  int rows = 0;
  onDatabase(
      filesDb,
      [&](DBConnection& c) {
        DBRecordset rs = c.Query("Select filename, filesize from file Where filename = ? AND extension = ?",
                                 {toStoredText(fileName), toStoredText(extension)});
        double sum = 0;  // a retry starts again from nothing
        for (int i = 1; i <= rs.RowCount(); ++i, rs.MoveNext()) sum += rs.Number("FileSize");
        total = sum;
        rows = rs.RowCount();
      },
      k100);
  fileSize = rows == 0 ? 0 : passedIn + total;
}

qint64 DBSelectFileId(const QString& filesDb, const QString& folder, const QString& fileName,
                      const QString& extension) {
  qint64 id = 0;
  swallowDbError([&] {
    DBConnection c;
    c.Open(filesDb);
    id = DBSelectFileId(c, folder, fileName, extension);
  });
  return id;
}

qint64 DBSelectFileId(DBConnection& c, const QString& folder, const QString& fileName, const QString& extension) {
  DBRecordset rs = c.Query("Select * from file Where folder = ? AND filename = ? and Extension = ?",
                           {toStoredText(folder), toStoredText(fileName), toStoredText(extension)});
  return rs.RowCount() >= 1 ? rs.Long("FileId") : 0;
}

QVector<qint64> DBSelectFileIds(const QString& filesDb, const QString& folder) {
  QVector<qint64> ids;
  runWhilePainting([&](JobContext& job) {
    job.onDatabase(
        filesDb,
        [&](DBConnection& c) {
          DBRecordset rs = c.Query("Select FileId from file Where folder = ?", {toStoredText(folder)});
          QVector<qint64> found;
          found.reserve(rs.RowCount());
          for (int i = 1; i <= rs.RowCount(); ++i, rs.MoveNext()) found.push_back(rs.Long("FileId"));
          ids = std::move(found);
        },
        k100);
  });
  platform::waitPaintingMs(100);
  return ids;
}

namespace {
// Deletes the Hash rows of the given files in one transaction. FileId is matched as a number
// and as text, so rows stored either way (the column may have been made without a type) go.
void deleteHashRows(const QString& filesDb, const QVector<qint64>& fileIds) {
  if (fileIds.isEmpty()) return;
  runWhilePainting([&](JobContext& job) {
    job.inTransaction(filesDb, [&](DBConnection& c) { DBDeleteHashes(c, fileIds); }, k50);
  });
}
}  // namespace

void DBDeleteHashes(DBConnection& c, const QVector<qint64>& fileIds) {
  DBCommand cmd = c.Prepare("Delete from Hash WHERE FileId = ? OR FileId = ?");
  for (qint64 id : fileIds) {
    cmd.BindLong(1, id);
    cmd.BindText(2, QString::number(id));
    cmd.Execute();
  }
}

void DeleteHashes(const QString& filesDb, const QString& folder) {
  deleteHashRows(filesDb, DBSelectFileIds(filesDb, folder));
}

void DBDeleteHash(const QString& filesDb, qint64 fileId) { deleteHashRows(filesDb, {fileId}); }

void DBInsertTempDFile(const QString& filesDb, const TempDFileRow& row) {
  inTransaction(
      filesDb,
      [&](DBConnection& c) {
        DBCommand cmd = c.Prepare("Insert Into tempDFile Values(?,?,?,?,?,?,?,?)");
        cmd.BindText(2, toStoredText(row.folder));
        cmd.BindText(3, toStoredText(row.fileName));
        cmd.BindText(4, toStoredText(row.extension));
        cmd.BindLong(5, row.fileSize);
        cmd.BindDate(6, row.dateCreated);
        cmd.BindDate(7, row.dateLastModified);
        cmd.BindDate(8, row.dateUploaded);
        cmd.Execute();
      },
      k50);
}

void DBDeleteAllTempDFile(const QString& filesDb) {
  inTransaction(filesDb, [](DBConnection& c) { DBDeleteAllTempDFile(c); }, k50);
}

void DBDeleteAllTempDFile(DBConnection& c) { c.Execute("Delete from tempDFile"); }

int DBCountTempDFiles(const QString& filesDb, RetryPolicy policy) {
  return static_cast<int>(onDatabase(
      filesDb, [](DBConnection& c) { return c.Query("Select count(*) AS n From TempDFile").Long("n"); }, policy));
}

}  // namespace corvane::store
