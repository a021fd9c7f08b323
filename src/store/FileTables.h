#pragma once
// The File, Hash and tempDFile tables of Files.db (and of the download catalogues).
// Text columns of File and tempDFile hold the stored form: each "'" doubled. Callers pass
// plain text; these procedures double it for writes and lookups alike.
#include <QDateTime>
#include <QString>
#include <QVector>

#include "store/Database.h"

namespace corvane::store {

// The exact statements a download catalogue's File table is made with.
QString fileTableCreateStatement();
QStringList fileTableIndexStatements();

struct FileRow {
  QString folder, fileName, extension;  // plain text (not doubled)
  double fileSize = 0;
  QDateTime dateCreated, dateLastModified, dateUploaded;
  int uploaded = 0;  // stored true exactly when 1
  bool filtered = false;
};

// "Insert Into File Values(?,...)" into Files.db: DateUploaded is always 2000-01-01 00:00:00 and
// Filtered false; a row with the same folder, name and extension is replaced.
// Retries while busy; throws DBError otherwise.
void DBInsertFile(const QString& filesDb, const FileRow& row);
// The same insert on an open connection, inside the caller's transaction.
void DBInsertFile(DBConnection& c, const FileRow& row);
// The same insert into another database; a database error is swallowed (returns false).
bool DBInsertDownloadFile(const QString& dbdName, const FileRow& row);

// Sets Uploaded of every File row of the folder; then gives the service a moment (250 ms).
void DBUpdateFiles(const QString& filesDb, const QString& folder, int uploaded);

// FileSize := 0 when no row has the name and extension (any folder); else the sizes of all
// such rows are added to the FileSize passed in.
void DBSelectFileSize(const QString& filesDb, const QString& fileName, const QString& extension, double& fileSize);

// FileId of the row, 0 when none (or on a database error).
qint64 DBSelectFileId(const QString& filesDb, const QString& folder, const QString& fileName,
                      const QString& extension);
qint64 DBSelectFileId(DBConnection& c, const QString& folder, const QString& fileName, const QString& extension);

// Every FileId of the folder's rows (no limit on their number); then waits 100 ms.
QVector<qint64> DBSelectFileIds(const QString& filesDb, const QString& folder);

// Deletes the Hash rows of every file of the folder, so the service checks them again.
void DeleteHashes(const QString& filesDb, const QString& folder);
// Deletes a file's Hash rows, whether FileId is stored as a number or as text.
void DBDeleteHash(const QString& filesDb, qint64 fileId);
// The same for several files on an open connection, inside the caller's transaction.
void DBDeleteHashes(DBConnection& c, const QVector<qint64>& fileIds);

struct TempDFileRow {
  QString folder, fileName, extension;  // plain text
  qint64 fileSize = 0;
  QDateTime dateCreated, dateLastModified, dateUploaded;
};

void DBInsertTempDFile(const QString& filesDb, const TempDFileRow& row);
void DBDeleteAllTempDFile(const QString& filesDb);
void DBDeleteAllTempDFile(DBConnection& c);
// Rows in the restore queue. A busy database is waited for as the policy says, then thrown.
int DBCountTempDFiles(const QString& filesDb, RetryPolicy policy = RetryPolicy{50, 3000});

}  // namespace corvane::store
