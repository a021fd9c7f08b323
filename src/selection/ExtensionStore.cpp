#include "selection/ExtensionStore.h"

#include "selection/ExtensionMatch.h"
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

// The statistics statement over the files of one type: `figures` are the result columns,
// `folders` the table the files' folders are looked up in ("Folder b" or the ticked folders
// read once).
QString statisticsSql(const QString& figures, const ExtensionMatch& match, const QString& indexHint,
                      const QString& uploaded, const QString& folders = QStringLiteral("Folder b"),
                      const QString& ticked = QStringLiteral(" AND b.bu = 1")) {
  return QStringLiteral("Select %1 FROM File a%2, %3 WHERE %4 AND a.folder = b.folders%5 AND a.Filtered = 0%6")
      .arg(figures, indexHint, folders, match.condition, ticked, uploaded);
}

// The three figures of a type in one pass over its files.
const QString kAllFigures =
    QStringLiteral("count(*) AS Files, Total(a.FileSize) AS TotalSize, Total(a.Uploaded = 0) AS NotUploaded");

ExtStatistics readFigures(const DBRecordset& rs) {
  ExtStatistics s;
  if (rs.RowCount() >= 1) {
    s.TotalFiles = rs.Long(QStringLiteral("Files"));
    s.TotalSize = rs.Number(QStringLiteral("TotalSize"));
    s.TotalFilesNU = static_cast<qint64>(rs.Number(QStringLiteral("NotUploaded")));
  }
  return s;
}

ExtStatistics typeFigures(DBConnection& c, const QString& extension, const QString& folders, const QString& ticked) {
  const ExtensionMatch match = extensionMatch(QStringLiteral("a.Extension"), {fileTableExtension(extension)});
  return withExtensionIndex(match.indexed, [&](const QString& hint) {
    return readFigures(c.Query(statisticsSql(kAllFigures, match, hint, QString(), folders, ticked), match.params));
  });
}

const QString kTickedFolders = QStringLiteral("temp.CorvaneTickedFolders");

// One figure of a type's statistics (a single-column result), 0 when there is no row.
double figure(const QString& filesDb, const QString& extension, const QString& column, bool notUploaded) {
  const ExtensionMatch match = extensionMatch(QStringLiteral("a.Extension"), {fileTableExtension(extension)});
  return store::onDatabase(
      filesDb,
      [&](DBConnection& c) {
        return withExtensionIndex(match.indexed, [&](const QString& hint) {
          DBRecordset rs = c.Query(
              statisticsSql(column, match, hint, notUploaded ? QStringLiteral(" AND a.Uploaded = 0") : QString()),
              match.params);
          return rs.RowCount() >= 1 ? rs.Number(QStringLiteral("Figure")) : 0.0;
        });
      },
      kWriteRetry);
}

}  // namespace

QVector<ExtRow> DBSelectAllExt(const QString& filesDb) {
  return selectRows(filesDb, QStringLiteral("Select * From Ext ORDER by Extension"), kReadRetry);
}

QVector<ExtRow> DBSelectAllCheckedExt(const QString& filesDb, RetryPolicy policy) {
  return selectRows(filesDb, QStringLiteral("Select * From Ext WHERE ExtBu = 1 ORDER by Extension"), policy);
}

std::optional<ExtRow> DBSelectExt(const QString& filesDb, const QString& extension, RetryPolicy policy) {
  return store::onDatabase(
      filesDb,
      [&](DBConnection& c) -> std::optional<ExtRow> {
        DBRecordset rs = c.Query(QStringLiteral("Select * From Ext WHERE Extension = ?"), {extension});
        if (rs.RowCount() < 1) return std::nullopt;
        return readRow(rs);
      },
      policy);
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
          rs.Update();
        }
      },
      kWriteRetry);
}

void DBUpdateExts(const QString& filesDb, const QString& extension, qint64 totalFiles, double totalSize,
                  qint64 totalFilesNotUploaded, RetryPolicy policy) {
  store::inTransaction(
      filesDb,
      [&](DBConnection& c) { DBUpdateExts(c, extension, {totalFiles, totalSize, totalFilesNotUploaded}); }, policy);
}

qint64 DBCountExtensions(const QString& filesDb, const QString& extension) {
  return static_cast<qint64>(figure(filesDb, extension, QStringLiteral("count(*) AS Figure"), false));
}

double DBAggregateSizes(const QString& filesDb, const QString& extension) {
  return figure(filesDb, extension, QStringLiteral("Total(a.FileSize) AS Figure"), false);
}

qint64 DBCountExtensionsNotUploaded(const QString& filesDb, const QString& extension) {
  return static_cast<qint64>(figure(filesDb, extension, QStringLiteral("count(*) AS Figure"), true));
}

ExtStatistics DBExtensionStatistics(const QString& filesDb, const QString& extension, RetryPolicy policy) {
  return store::onDatabase(
      filesDb,
      [&](DBConnection& c) { return typeFigures(c, extension, QStringLiteral("Folder b"), QStringLiteral(" AND b.bu = 1")); },
      policy);
}

void DBUpdateExts(DBConnection& db, const QString& extension, const ExtStatistics& figures) {
  DBRecordset rs = db.QueryForUpdate(QStringLiteral("Ext"), QStringLiteral("WHERE Extension = ?"), {extension});
  if (rs.RowCount() < 1) return;
  rs.SetField(QStringLiteral("TotalFiles"), figures.TotalFiles);
  rs.SetField(QStringLiteral("TotalSize"), figures.TotalSize);
  rs.SetField(QStringLiteral("TotalFilesNU"), figures.TotalFilesNU);
  rs.Update();
}

TypeStatistics::TypeStatistics(DBConnection& db) : db_(db) {
  // The table lives in memory with the connection; one read of Folder fills it, in one read
  // transaction with the count it is checked against.
  db_.Execute(QStringLiteral("PRAGMA temp_store = MEMORY"));
  db_.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + kTickedFolders);
  db_.Execute(QStringLiteral("CREATE TABLE ") + kTickedFolders + QStringLiteral(" (Folders TEXT PRIMARY KEY) WITHOUT ROWID"));
  db_.Execute(QStringLiteral("BEGIN"));
  try {
    const QString ticked = QStringLiteral(" FROM Folder WHERE bu = 1 AND Folders IS NOT NULL");
    const int kept = db_.Execute(QStringLiteral("INSERT OR IGNORE INTO ") + kTickedFolders +
                                     QStringLiteral(" SELECT Folders") + ticked,
                                 {});
    const qint64 rows = db_.Query(QStringLiteral("SELECT count(*) AS n") + ticked).Long(QStringLiteral("n"));
    db_.Execute(QStringLiteral("COMMIT"));
    ownTable_ = kept == rows;
  } catch (const store::DBError&) {
    if (db_.InTransaction()) db_.Execute(QStringLiteral("ROLLBACK"));
    throw;
  }
  if (!ownTable_) db_.Execute(QStringLiteral("DROP TABLE ") + kTickedFolders);
}

TypeStatistics::~TypeStatistics() {
  if (!ownTable_) return;
  try {
    db_.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + kTickedFolders);
  } catch (const store::DBError&) {
    // it goes with the connection
  }
}

ExtStatistics TypeStatistics::operator()(const QString& extension) {
  if (!ownTable_) return typeFigures(db_, extension, QStringLiteral("Folder b"), QStringLiteral(" AND b.bu = 1"));
  return typeFigures(db_, extension, kTickedFolders + QStringLiteral(" b"), QString());
}

}  // namespace corvane::selection
