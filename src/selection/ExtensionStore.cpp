#include "selection/ExtensionStore.h"

#include "store/Database.h"

namespace corvane::selection {

using store::DBConnection;
using store::DBRecordset;
using store::RetryPolicy;
using store::withBusyRetry;

namespace {

constexpr RetryPolicy kWriteRetry{50, 3000};
constexpr RetryPolicy kReadRetry{100, 3000};

ExtRow readRow(const DBRecordset& rs) {
  ExtRow r;
  r.Extension = rs.Text("Extension");
  r.ExtName = rs.Text("ExtName");
  r.ExtBu = rs.Boolean("ExtBu");
  r.TotalFiles = rs.Long("TotalFiles");
  r.TotalSize = rs.Number("TotalSize");
  r.TotalFilesNU = rs.Long("TotalFilesNU");
  return r;
}

QVector<ExtRow> selectRows(const QString& filesDb, const QString& sql, RetryPolicy policy) {
  return store::onDatabase(
      filesDb,
      [&](DBConnection& c) {
        DBRecordset rs = c.Query(sql);
        QVector<ExtRow> rows;
        rows.reserve(rs.RowCount());
        for (; !rs.AtEnd(); rs.MoveNext()) rows.append(readRow(rs));
        return rows;
      },
      policy);
}

// The File table keeps its extensions without the dot, lower or mixed case, each "'" doubled.
QString fileTableExtension(const QString& extension) {
  QString e = extension;
  if (e.startsWith(QLatin1Char('.'))) e.remove(0, 1);
  return store::toStoredText(e.toLower());
}

qint64 countQuery(const QString& filesDb, const QString& sql, const QString& extension, const QString& column) {
  return store::onDatabase(
      filesDb,
      [&](DBConnection& c) {
        DBRecordset rs = c.Query(sql, {fileTableExtension(extension)});
        return rs.RowCount() >= 1 ? rs.Long(column) : qint64{0};
      },
      kWriteRetry);
}

}  // namespace

QVector<ExtRow> DBSelectAllExt(const QString& filesDb) {
  return selectRows(filesDb, QStringLiteral("Select * From Ext ORDER by Extension"), kReadRetry);
}

QVector<ExtRow> DBSelectAllCheckedExt(const QString& filesDb) {
  return selectRows(filesDb, QStringLiteral("Select * From Ext WHERE ExtBu = 1 ORDER by Extension"), kWriteRetry);
}

std::optional<ExtRow> DBSelectExt(const QString& filesDb, const QString& extension) {
  return store::onDatabase(
      filesDb,
      [&](DBConnection& c) -> std::optional<ExtRow> {
        DBRecordset rs = c.Query(QStringLiteral("Select * From Ext WHERE Extension = ?"), {extension});
        if (rs.RowCount() < 1) return std::nullopt;
        return readRow(rs);
      },
      kWriteRetry);
}

void DBInsertExtNew(const QString& filesDb, const QString& extension, const QString& extName, bool extBu) {
  store::inTransaction(
      filesDb,
      [&](DBConnection& c) {
        c.Execute(QStringLiteral("INSERT INTO Ext (Extension,ExtName,ExtBU,TotalFiles,TotalSize,TotalFilesNU) "
                                 "Values(?, ?, ?, '', '', '')"),
                  {extension, extName, extBu ? 1 : 0});
      },
      kWriteRetry);
}

void DBUpdateExt(const QString& filesDb, const QString& extension, const QString& extName, bool extBu) {
  store::inTransaction(
      filesDb,
      [&](DBConnection& c) {
        DBRecordset rs = c.QueryForUpdate(QStringLiteral("Ext"), QStringLiteral("WHERE Extension = ?"), {extension});
        if (rs.RowCount() >= 1) {
          rs.SetField(QStringLiteral("ExtName"), extName);
          rs.SetField(QStringLiteral("ExtBu"), extBu ? 1 : 0);
          if (extBu) {
            rs.SetField(QStringLiteral("TotalFiles"), QString());
            rs.SetField(QStringLiteral("TotalSize"), QString());
            rs.SetField(QStringLiteral("TotalFilesNU"), QString());
          }
          rs.Update();
        }
      },
      kWriteRetry);
}

void DBUpdateExts(const QString& filesDb, const QString& extension, qint64 totalFiles, double totalSize,
                  qint64 totalFilesNotUploaded) {
  store::inTransaction(
      filesDb,
      [&](DBConnection& c) {
        DBRecordset rs = c.QueryForUpdate(QStringLiteral("Ext"), QStringLiteral("WHERE Extension = ?"), {extension});
        if (rs.RowCount() >= 1) {
          rs.SetField(QStringLiteral("TotalFiles"), totalFiles);
          rs.SetField(QStringLiteral("TotalSize"), totalSize);
          rs.SetField(QStringLiteral("TotalFilesNU"), totalFilesNotUploaded);
          rs.Update();
        }
      },
      kWriteRetry);
}

void DBClearExtStatistics(const QString& filesDb) {
  store::inTransaction(
      filesDb,
      [&](DBConnection& c) {
        c.Execute(QStringLiteral("Update Ext SET TotalFiles = '', TotalSize = '', TotalFilesNU = ''"));
      },
      kWriteRetry);
}

qint64 DBCountExtensions(const QString& filesDb, const QString& extension) {
  return countQuery(filesDb,
                    QStringLiteral("Select count(*) FROM File a, Folder b WHERE lower(a.Extension) = ? "
                                   "AND a.folder = b.folders AND a.Filtered = 0 AND b.bu = 1"),
                    extension, QStringLiteral("Count(*)"));
}

double DBAggregateSizes(const QString& filesDb, const QString& extension) {
  return store::onDatabase(
      filesDb,
      [&](DBConnection& c) {
        DBRecordset rs = c.Query(QStringLiteral("Select Total(a.FileSize) as TotalSize From File a, Folder b "
                                                "WHERE lower(a.Extension) = ? AND a.folder = b.folders "
                                                "AND b.bu = 1 AND a.Filtered = 0"),
                                 {fileTableExtension(extension)});
        return rs.RowCount() >= 1 ? rs.Number(QStringLiteral("TotalSize")) : 0.0;
      },
      kWriteRetry);
}

qint64 DBCountExtensionsNotUploaded(const QString& filesDb, const QString& extension) {
  return countQuery(filesDb,
                    QStringLiteral("Select Count(*) from File a, Folder b WHERE lower(a.Extension) = ? "
                                   "AND a.folder = b.folders AND b.bu = 1 AND Uploaded = 0 AND Filtered = 0"),
                    extension, QStringLiteral("Count(*)"));
}

}  // namespace corvane::selection
