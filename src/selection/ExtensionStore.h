#pragma once
// The Ext table of Files.db (one row per file type: its tick and cached statistics) and the
// statistics of a type computed from the File and Folder tables. Every procedure opens its own
// connection, retries a bounded while when the database is busy, and throws store::DBError
// otherwise.
#include <QString>
#include <QVector>
#include <optional>

#include "store/Database.h"

namespace corvane::selection {

struct ExtRow {
  QString Extension;
  QString ExtName;
  bool ExtBu = false;
  qint64 TotalFiles = 0;
  double TotalSize = 0;
  qint64 TotalFilesNU = 0;
  // Empty or zero in all three: not computed yet.
  bool statisticsCached() const { return TotalFiles != 0 || TotalSize != 0 || TotalFilesNU != 0; }
};

// Every Ext row, ordered by extension.
QVector<ExtRow> DBSelectAllExt(const QString& filesDb);
// The ticked rows (ExtBu = 1), ordered by extension.
QVector<ExtRow> DBSelectAllCheckedExt(const QString& filesDb, store::RetryPolicy policy = {});
// The row of one extension (compared exactly), or none.
std::optional<ExtRow> DBSelectExt(const QString& filesDb, const QString& extension, store::RetryPolicy policy = {});
// A new row with empty statistics.
void DBInsertExtNew(const QString& filesDb, const QString& extension, const QString& extName, bool extBu);
// Sets name and tick of the row (its cached statistics stay).
void DBUpdateExt(const QString& filesDb, const QString& extension, const QString& extName, bool extBu);
// Stores the statistics of a type (waiting on a busy database as the policy says).
void DBUpdateExts(const QString& filesDb, const QString& extension, qint64 totalFiles, double totalSize,
                  qint64 totalFilesNotUploaded, store::RetryPolicy policy = {});

// Statistics of one type ("." + extension, any case) over the files of folders with Bu = 1 that
// are not filtered. Folders ticked for full backup (BuAll) do not count.
qint64 DBCountExtensions(const QString& filesDb, const QString& extension);
double DBAggregateSizes(const QString& filesDb, const QString& extension);
qint64 DBCountExtensionsNotUploaded(const QString& filesDb, const QString& extension);

// The same three figures in one pass over the type's files.
struct ExtStatistics {
  qint64 TotalFiles = 0;
  double TotalSize = 0;
  qint64 TotalFilesNU = 0;
  bool operator==(const ExtStatistics&) const = default;
};
ExtStatistics DBExtensionStatistics(const QString& filesDb, const QString& extension, store::RetryPolicy policy = {});

// The same as DBUpdateExts, through a connection the caller holds (inside its transaction):
// the figures of several types stored in one transaction.
void DBUpdateExts(store::DBConnection& db, const QString& extension, const ExtStatistics& figures);

// The statistics of one type after another through one connection, each giving the figures of
// DBExtensionStatistics. The ticked folders (Bu = 1) are read once, into a table of the
// connection's own, so that a file of the type costs one look-up there instead of two in
// Folder (its index, then its row). Where Folder holds a ticked path twice (the statements
// count such a file once per row) each type is counted against Folder itself.
class TypeStatistics {
 public:
  explicit TypeStatistics(store::DBConnection& db);
  ~TypeStatistics();
  TypeStatistics(const TypeStatistics&) = delete;
  TypeStatistics& operator=(const TypeStatistics&) = delete;
  ExtStatistics operator()(const QString& extension);

 private:
  store::DBConnection& db_;
  bool ownTable_ = false;
};

}  // namespace corvane::selection
