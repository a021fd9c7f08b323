#include "restore/RestoreCatalogue.h"

#include <QLocale>
#include <cmath>

#include "keys/KeysTable.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "platform/Wait.h"
#include "store/Database.h"
#include "store/Settings.h"

namespace corvane::restore {

using store::DBConnection;
using store::DBError;
using store::DBRecordset;

namespace {

constexpr const char* kRecordDate = "yyyy-MM-dd HH-mm-ss";

UploadedFileRecord recordFromRow(const DBRecordset& rs, qsizetype index) {
  UploadedFileRecord r;
  r.Index = double(index);
  r.Folder = store::fromStoredText(rs.Text("Folder"));
  r.FileName = store::fromStoredText(rs.Text("FileName"));
  r.Extension = store::fromStoredText(rs.Text("Extension"));
  r.FileSize = rs.Text("Filesize");
  r.DateCreated = recordDateText(rs.Date("DateCreated"));
  r.DateLastModified = recordDateText(rs.Date("DateLastModified"));
  r.DateUploaded = recordDateText(rs.Date("DateUploaded"));
  return r;
}

// Runs a read of the uploaded rows; rows replace the records only when there are any.
int readRecords(const QString& dbdName, const QString& sql, const QVariantList& params, UploadedFileRecords& records) {
  int count = 0;
  store::swallowDbError([&] {
    store::withBusyRetry([&] {
      DBConnection c;
      c.Open(dbdName);
      DBRecordset rs = c.Query(sql, params);
      if (rs.RowCount() < 1) return;
      UploadedFileRecords fresh;
      fresh.reserve(rs.RowCount() + 1);
      for (qsizetype i = 0; !rs.AtEnd(); rs.MoveNext(), ++i) fresh.push_back(recordFromRow(rs, i));
      fresh.push_back(UploadedFileRecord());
      count = rs.RowCount();
      records = std::move(fresh);
    });
  });
  return count;
}

QString grouped(qint64 whole) {
  QString digits = QString::number(whole);
  for (qsizetype i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, ',');
  return digits;
}

double round4(double v) { return std::round(v * 10000.0) / 10000.0; }

void resetUploaded(DBConnection& c) {
  c.Execute(QStringLiteral("Update File Set Uploaded = ? WHERE uploaded = ?"), {0, 1});
}

// Copies every File row of sourceDb into destDb as uploaded and unfiltered, in one
// transaction. With resetFirst the uploaded rows of destDb are marked not uploaded inside that
// same transaction, so a copy that fails leaves destDb exactly as it was.
bool copyFileEntries(const QString& sourceDb, const QString& destDb, const ProgressFn& caption, bool resetFirst) {
  if (caption) caption(QStringLiteral("Corvane Restoring Directory..."));
  bool resetFailed = false;
  const bool ok = store::swallowDbError([&] {
    store::withBusyRetry([&] {
      resetFailed = false;
      DBConnection src;
      src.Open(sourceDb);
      DBConnection dst;
      dst.Open(destDb);
      DBRecordset rs = src.Query(QStringLiteral("Select * From File ORDER BY FileName"));
      if (rs.RowCount() < 1 && !resetFirst) return;
      dst.BeginTransaction();
      if (resetFirst) {
        try {
          resetUploaded(dst);
        } catch (const DBError&) {
          resetFailed = true;
          throw;
        }
      }
      store::DBCommand cmd = dst.Prepare(QStringLiteral("Insert Into File Values(?,?,?,?,?,?,?,?,?,?)"));
      for (int i = 0; !rs.AtEnd(); ++i) {
        // The stored text is kept as it stands: quote pairs undone and doubled again.
        cmd.BindText(2, store::toStoredText(store::fromStoredText(rs.Text("Folder"))));
        cmd.BindText(3, store::toStoredText(store::fromStoredText(rs.Text("FileName"))));
        cmd.BindText(4, store::toStoredText(store::fromStoredText(rs.Text("Extension"))));
        cmd.BindFixed(5, rs.Number("FileSize"));
        cmd.BindDate(6, rs.Date("DateCreated"));
        cmd.BindDate(7, rs.Date("DateLastModified"));
        cmd.BindDate(8, rs.Date("DateLastModified"));
        cmd.BindBoolean(9, true);
        cmd.BindBoolean(10, false);
        cmd.Execute();
        rs.MoveNext();
        if (i % 100 == 0) {
          if (caption) caption(QStringLiteral("Corvane - Restoring Directory - %1 files...").arg(i));
          platform::doEvents();
        }
      }
      dst.Commit();
    });
  });
  if (!ok)
    platform::showMessage(resetFailed ? QStringLiteral("Could not delete all uploaded file entries...")
                                      : QStringLiteral("Restore directory failed..."));
  return ok;
}

}  // namespace

QString recordDateText(const QDateTime& d) { return d.isValid() ? d.toString(kRecordDate) : QString(); }

QDateTime recordDateFromText(const QString& text) {
  const qsizetype blank = text.indexOf(' ');
  if (blank < 0) return QDateTime();
  QString datePart = text.left(blank);
  QString timePart = text.mid(blank + 1);
  datePart.replace('-', '/');
  timePart.replace('-', ':');
  return QDateTime::fromString(datePart + ' ' + timePart, QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

int DBSelectAllUploadedFiles(const QString& dbdName, UploadedFileRecords& records) {
  return readRecords(dbdName, QStringLiteral("Select * From File WHERE Uploaded = 1 ORDER BY DateLastModified DESC"),
                     {}, records);
}

int DBSelectUploadedFiles(const QString& dbdName, const QString& folder, UploadedFileRecords& records) {
  return readRecords(dbdName,
                     QStringLiteral("Select * From File WHERE Uploaded = 1 AND Folder = ? ORDER BY DateLastModified DESC"),
                     {store::toStoredText(folder)}, records);
}

std::optional<QStringList> DBSelectDrives(const QString& dbdName) {
  std::optional<QStringList> drives;
  store::swallowDbError([&] {
    store::withBusyRetry([&] {
      DBConnection c;
      c.Open(dbdName);
      DBRecordset rs = c.Query(QStringLiteral("Select distinct substr(Folder, 1, 1) AS Letter From File"));
      QStringList found;
      for (; !rs.AtEnd() && found.size() < 21; rs.MoveNext()) found << rs.Text("Letter") + ':';
      drives = found;
    });
  });
  return drives;
}

bool DBUpdateAllUploadedFiles(const QString& filesDb) {
  const bool ok = store::swallowDbError([&] {
    store::withBusyRetry([&] {
      DBConnection c;
      c.Open(filesDb);
      c.BeginTransaction();
      resetUploaded(c);
      c.Commit();
    });
  });
  if (!ok) platform::showMessage(QStringLiteral("Could not delete all uploaded file entries..."));
  return ok;
}

bool DBInsertFileEntries(const QString& sourceDb, const QString& destDb, const ProgressFn& caption) {
  return copyFileEntries(sourceDb, destDb, caption, false);
}

bool DBWriteBackCatalogue(const QString& sourceDb, const QString& filesDb, const ProgressFn& caption) {
  return copyFileEntries(sourceDb, filesDb, caption, true);
}

void DBUpdateFileUploaded(const QString& filesDb, const QString& folder, const QString& fileName,
                          const QString& extension, const QString& uploaded) {
  store::withBusyRetry([&] {
    DBConnection c;
    c.Open(filesDb);
    c.BeginTransaction();
    c.Execute(QStringLiteral("Update file SET Uploaded = ? WHERE Folder = ? AND Filename = ? AND Extension = ?"),
              {uploaded.trimmed().toInt(), store::toStoredText(folder), store::toStoredText(fileName),
               store::toStoredText(extension)});
    c.Commit();
  });
}

QString StatsLine(double fileCount, double totalBytes) {
  QString unit = QStringLiteral(" KBytes");
  double value = totalBytes;
  if (value > 0) value = round4(value / 1024.0);
  if (value > 1024 && value < 1048576) {
    value = round4(value / 1024.0);
    unit = QStringLiteral(" MBytes");
  }
  if (value > 1048576) {
    value = round4(value / 1048576.0);
    unit = QStringLiteral(" GBytes");
  }
  const qint64 tenths = std::llround(value * 10.0);
  const qint64 whole = tenths / 10;
  const QString text = (whole == 0 ? QString() : grouped(whole)) + '.' + QString::number(std::llabs(tenths % 10));
  return QString::number(qint64(fileCount)) + QStringLiteral(" Files, ") + text + unit;
}

bool MatchesPrefix(const QString& value, const QString& prefix) {
  return value.left(prefix.size()).toLower() == prefix.toLower();
}

bool IsThisComputer(const QString& statusDb) {
  return store::settingValue(statusDb, QStringLiteral("Identity")) ==
         store::settingValue(statusDb, QStringLiteral("DIdentity"));
}

std::optional<QString> CatalogueDatabase(const QString& statusDb, const QString& filesDb, const QString& appFolder,
                                         const QString& machineName, const QString& suffix) {
  if (IsThisComputer(statusDb)) return filesDb;
  if (!keys::IsSafeMachineName(machineName)) return std::nullopt;
  return platform::joinPath(appFolder, machineName + suffix);
}

QStringList FolderLevels(const QString& pathWithBackslash) {
  QStringList parts = pathWithBackslash.split('\\');
  if (!parts.isEmpty() && parts.last().isEmpty()) parts.removeLast();
  return parts;
}

bool IsSafeNamePart(const QString& part) {
  return !part.contains('\\') && !part.contains('/') && part != QLatin1String("..") && part != QLatin1String(".") &&
         !part.contains(QChar(0));
}

bool IsSafeCataloguePath(const QString& folder) {
  if (!platform::isWindowsDrivePath(folder)) return false;
  const QStringList pieces = folder.mid(2).split('\\', Qt::SkipEmptyParts);
  for (const QString& p : pieces)
    if (p == QLatin1String(".") || p == QLatin1String("..") || p.contains('/') || p.contains(QChar(0))) return false;
  return true;
}

}  // namespace corvane::restore
