#include "restore/RestoreCatalogue.h"

#include <QHash>
#include <QLocale>
#include <cmath>
#include <cstring>

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
using store::DBRow;

namespace {

constexpr const char* kRecordDate = "yyyy-MM-dd HH-mm-ss";

// Catalogues hold hundreds of thousands of rows, so the record texts are made straight from the
// stored bytes where the stored form allows: a plain stored date only changes its two colons, a
// text without a quote has no pair to undo. Every other value takes the full reading.
class RecordReader {
 public:
  explicit RecordReader(const DBRow& row)
      : folder_(row.Column(QStringLiteral("Folder"))),
        name_(row.Column(QStringLiteral("FileName"))),
        ext_(row.Column(QStringLiteral("Extension"))),
        size_(row.Column(QStringLiteral("Filesize"))),
        created_(row.Column(QStringLiteral("DateCreated"))),
        modified_(row.Column(QStringLiteral("DateLastModified"))),
        uploaded_(row.Column(QStringLiteral("DateUploaded"))) {}

  UploadedFileRecord read(const DBRow& row, qsizetype index) {
    UploadedFileRecord r;
    r.Index = double(index);
    // Many files share a folder: they share its text too.
    const QString folder = plainText(row, folder_);
    const auto known = folders_.constFind(folder);
    r.Folder = known != folders_.constEnd() ? *known : *folders_.insert(folder, folder);
    r.FileName = plainText(row, name_);
    r.Extension = plainText(row, ext_);
    r.FileSize = row.Text(size_);
    r.DateCreated = dateText(row, created_);
    r.DateLastModified = dateText(row, modified_);
    r.DateUploaded = dateText(row, uploaded_);
    if (r.DateUploaded == r.DateLastModified) r.DateUploaded = r.DateLastModified;
    return r;
  }

 private:
  static QString plainText(const DBRow& row, int c) {
    const QByteArrayView t = row.Utf8(c);
    if (t.isEmpty()) return store::fromStoredText(row.Text(c));
    const QString s = QString::fromUtf8(t);
    return t.contains('\'') ? store::fromStoredText(s) : s;
  }
  static QString dateText(const DBRow& row, int c) {
    const QByteArrayView t = row.Utf8(c);
    if (!store::isPlainStoredDate(t)) return recordDateText(row.Date(c));
    char text[19];
    std::memcpy(text, t.data(), sizeof text);
    text[13] = text[16] = '-';
    return QString::fromLatin1(text, sizeof text);
  }

  int folder_, name_, ext_, size_, created_, modified_, uploaded_;
  QHash<QString, QString> folders_;
};

constexpr qint64 kRowsPerStep = 5000;

// Runs a read of the uploaded rows; rows replace the records only when there are any and the
// read was not stopped.
int readRecords(const QString& dbdName, const QString& sql, const QVariantList& params, UploadedFileRecords& records,
                const ReadProgress& progress) {
  int count = 0;
  store::swallowDbError([&] {
    store::withBusyRetry([&] {
      DBConnection c;
      c.Open(dbdName);
      UploadedFileRecords fresh;
      std::optional<RecordReader> reader;
      bool stopped = false;
      c.ForEachRow(sql, params, [&](const store::DBRow& row) {
        if (!reader) reader.emplace(row);
        fresh.push_back(reader->read(row, fresh.size()));
        if (progress && fresh.size() % kRowsPerStep == 0 && !progress(fresh.size())) stopped = true;
        return !stopped;
      });
      if (stopped || fresh.isEmpty()) return;
      fresh.push_back(UploadedFileRecord());
      count = int(fresh.size() - 1);
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

int DBSelectAllUploadedFiles(const QString& dbdName, UploadedFileRecords& records, const ReadProgress& progress) {
  return readRecords(dbdName, QStringLiteral("Select * From File WHERE Uploaded = 1 ORDER BY DateLastModified DESC"),
                     {}, records, progress);
}

int DBSelectUploadedFiles(const QString& dbdName, const QString& folder, UploadedFileRecords& records) {
  return readRecords(dbdName,
                     QStringLiteral("Select * From File WHERE Uploaded = 1 AND Folder = ? ORDER BY DateLastModified DESC"),
                     {store::toStoredText(folder)}, records, {});
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
