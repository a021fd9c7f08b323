#include "restore/RestoreCatalogue.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLocale>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "keys/KeysTable.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "platform/Wait.h"
#include "store/Database.h"
#include "store/DatabaseJob.h"
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
  // Names keep any bytes that are no UTF-8: the queue and the look-ups bind them back as they
  // were stored.
  static QString plainText(const DBRow& row, int c) {
    const QString s = row.TextKeepingBytes(c);
    return s.contains('\'') ? store::fromStoredText(s) : s;
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
// How long the window waits for work on another thread before it answers its events again.
constexpr int kWaitForWorkMs = 40;

// Runs a read of the uploaded rows; rows replace the records only when there are any and the
// read was not stopped.
// stop, when given, ends the read at once when it is raised (from another thread).
int readRecords(const QString& dbdName, const QString& sql, const QVariantList& params, UploadedFileRecords& records,
                const ReadProgress& progress, const std::atomic<bool>* stop = nullptr, bool* busy = nullptr) {
  int count = 0;
  if (busy) *busy = false;
  // A catalogue that cannot be read leaves the records as they were, without a word (no
  // shared error text is touched: this may run on a thread of its own).
  try {
    store::withBusyRetry([&] {
      if (stop && *stop) return;
      DBConnection c;
      c.Open(dbdName);
      if (stop) c.InterruptWhen(stop);
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
  } catch (const DBError& e) {
    if (busy) *busy = e.isBusy();
  }
  return count;
}

QString grouped(qint64 whole) {
  QString digits = QString::number(whole);
  for (qsizetype i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, ',');
  return digits;
}

double round4(double v) { return std::round(v * 10000.0) / 10000.0; }

// Marks uploaded rows not uploaded: all of them, or those whose key lies in a range.
void resetUploaded(DBConnection& c) {
  c.Execute(QStringLiteral("Update File Set Uploaded = ? WHERE uploaded = ?"), {0, 1});
}
void resetUploaded(DBConnection& c, qint64 fromKey, qint64 toKey) {
  c.Execute(QStringLiteral("Update File Set Uploaded = ? WHERE uploaded = ? AND FileID >= ? AND FileID <= ?"),
            {0, 1, fromKey, toKey});
}

// A catalogue row made ready to be written: texts in their stored form (quote pairs undone and
// doubled again, so a lone quote is doubled as well), the size as the fixed-point number read,
// the dates as stored text (a plain stored date as it stands, any other form read and written
// back the full way, an unreadable one as no date).
struct CopyRow {
  QByteArray folder, fileName, extension;
  double size = 0;
  QVariant created, modified;
};

// The texts keep their stored bytes: a name that is not valid UTF-8 (written in another code
// page) must reach Files.db as it came, not as replacement characters, which would make two
// such files one row. A quote is one byte in UTF-8 and in every code page, so pairs are undone
// and made again on the bytes: a run of n quotes becomes n rounded up to an even number.
QByteArray storedAgain(const DBRow& row, int c) {
  const QByteArrayView view = row.Utf8(c);
  const QByteArray t = view.isEmpty() ? row.Text(c).toUtf8() : view.toByteArray();
  if (!t.contains('\'')) return t;
  QByteArray out;
  out.reserve(t.size() + 8);
  for (qsizetype i = 0; i < t.size();) {
    if (t[i] != '\'') {
      out.append(t[i++]);
      continue;
    }
    qsizetype run = 0;
    while (i < t.size() && t[i] == '\'') ++run, ++i;
    out.append(QByteArray(run + run % 2, '\''));
  }
  return out;
}

QVariant storedDate(const DBRow& row, int c) {
  const QByteArrayView t = row.Utf8(c);
  if (store::isPlainStoredDate(t)) return QString::fromLatin1(t.data(), t.size());
  const QDateTime d = row.Date(c);
  return d.isValid() ? QVariant(store::dateToText(d)) : QVariant();
}

// The source rows in the order the copy writes them (this part holds no lock on the
// destination).
QVector<CopyRow> readCopyRows(const QString& sourceDb) {
  QVector<CopyRow> rows;
  store::withBusyRetry([&] {
    rows.clear();
    DBConnection src;
    src.Open(sourceDb);
    int folder = -1, name = -1, ext = -1, size = -1, created = -1, modified = -1;
    src.ForEachRow(QStringLiteral("Select * From File ORDER BY FileName"), {}, [&](const DBRow& row) {
      if (folder < 0) {
        folder = row.Column(QStringLiteral("Folder"));
        name = row.Column(QStringLiteral("FileName"));
        ext = row.Column(QStringLiteral("Extension"));
        size = row.Column(QStringLiteral("FileSize"));
        created = row.Column(QStringLiteral("DateCreated"));
        modified = row.Column(QStringLiteral("DateLastModified"));
      }
      rows.push_back({storedAgain(row, folder), storedAgain(row, name), storedAgain(row, ext), row.Number(size),
                      storedDate(row, created), storedDate(row, modified)});
      return true;
    });
  });
  return rows;
}

// Each transaction holds the service off Files.db: it is given about as many rows as the one
// before wrote in kTransactionMs (the first gets kFirstTransactionRows), so that the lock is let
// go about every fifth of a second whatever the machine, the catalogue or the skew of its
// folders. Rows cost more in a small transaction (each touches pages all over the six indexes,
// which every commit writes twice, to the journal and to the file), so the transactions are
// made as long as that bound allows.
constexpr qsizetype kFirstTransactionRows = 4000;
constexpr qsizetype kMinTransactionRows = 500;
constexpr qsizetype kMaxTransactionRows = 200000;
constexpr double kTransactionMs = 220;
constexpr int kPauseBetweenTransactionsMs = 20;  // room for the service's own writes

class TransactionSizer {
 public:
  qsizetype rows() const { return rows_; }
  void took(qsizetype rows, qint64 ns) {
    const double perRowMs = double(std::max<qint64>(ns, 1)) / 1e6 / double(std::max<qsizetype>(rows, 1));
    rows_ = std::clamp(qsizetype(kTransactionMs / perRowMs), kMinTransactionRows, kMaxTransactionRows);
  }

 private:
  qsizetype rows_ = kFirstTransactionRows;
};

// One transaction on the connection, begun again from the start while the database is busy;
// returns how long the attempt that went through took.
qint64 timedTransaction(DBConnection& dst, const std::function<void()>& work) {
  qint64 took = 0;
  store::withBusyRetry([&] {
    QElapsedTimer clock;
    clock.start();
    dst.BeginTransaction();
    try {
      work();
      dst.Commit();
    } catch (const DBError&) {
      dst.Rollback();
      throw;
    }
    took = clock.nsecsElapsed();
  });
  return took;
}

// The copy and the marking of copyFileEntries, run on a thread of its own: `written` counts the
// copied rows as they go in. `markingFailed` tells, when a DBError is thrown, whether the marking
// threw it.
void writeCopy(const QString& sourceDb, const QString& destDb, bool resetFirst, std::atomic<qint64>& written,
               bool& markingFailed) {
  markingFailed = false;
  const QVector<CopyRow> rows = readCopyRows(sourceDb);
  DBConnection dst;
  store::withBusyRetry([&] { dst.Open(destDb); });
  // A catalogue's worth of index pages stays in memory across the transactions.
  dst.Execute(QStringLiteral("PRAGMA cache_size = -65536"));
  std::optional<qint64> lastOldKey;
  TransactionSizer sizer;
  for (qsizetype start = 0; start < rows.size();) {
    if (start > 0) platform::waitMs(kPauseBetweenTransactionsMs);
    const qsizetype end = std::min(rows.size(), start + sizer.rows());
    const qint64 took = timedTransaction(dst, [&] {
      if (!lastOldKey) lastOldKey = dst.Query(QStringLiteral("Select max(FileID) AS n From File")).Long(QStringLiteral("n"));
      store::DBCommand cmd = dst.Prepare(QStringLiteral("Insert Into File Values(?,?,?,?,?,?,?,?,?,?)"));
      for (qsizetype i = start; i < end; ++i) {
        const CopyRow& r = rows[i];
        cmd.BindUtf8(2, r.folder);
        cmd.BindUtf8(3, r.fileName);
        cmd.BindUtf8(4, r.extension);
        cmd.BindFixed(5, r.size);
        cmd.BindValue(6, r.created);
        cmd.BindValue(7, r.modified);
        cmd.BindValue(8, r.modified);
        cmd.BindBoolean(9, true);
        cmd.BindBoolean(10, false);
        cmd.Execute();
        written.store(i + 1, std::memory_order_relaxed);
      }
    });
    sizer.took(end - start, took);
    start = end;
  }
  if (!resetFirst) return;
  markingFailed = true;
  // The rows to mark, found first; then marked in key ranges, a transaction of a fifth of a
  // second each (a Files.db of a million uploaded rows against a small catalogue marks most).
  std::vector<qint64> keys;
  store::withBusyRetry([&] {
    keys.clear();
    const QString sql = lastOldKey ? QStringLiteral("Select FileID From File WHERE uploaded = ? AND FileID <= ? ORDER BY FileID")
                                   : QStringLiteral("Select FileID From File WHERE uploaded = ? ORDER BY FileID");
    dst.ForEachRow(sql, lastOldKey ? QVariantList{1, *lastOldKey} : QVariantList{1}, [&](const DBRow& row) {
      keys.push_back(row.Long(0));
      return true;
    });
  });
  TransactionSizer markSizer;
  for (size_t first = 0; first < keys.size();) {
    if (first > 0) platform::waitMs(kPauseBetweenTransactionsMs);
    const size_t last = std::min(keys.size(), first + size_t(markSizer.rows())) - 1;
    const qint64 took = timedTransaction(dst, [&] { resetUploaded(dst, keys[first], keys[last]); });
    markSizer.took(qsizetype(last - first + 1), took);
    first = last + 1;
  }
  markingFailed = false;
}

// Copies every File row of sourceDb into destDb as uploaded and unfiltered, DateUploaded =
// DateLastModified, in the source's FileName order (so new keys are given in that order).
//
// With resetFirst every other row of destDb that was uploaded ends not uploaded, as if all had
// been marked so before the copy. To keep the service's waits short the copy is written in
// transactions of a fifth of a second with a pause between them, and the marking comes last:
// it touches only the rows that were there before the copy (their keys are at most the largest
// key found then), since every copied row has a new, larger key. So the service never sees its
// uploaded files marked not uploaded, only catalogue rows arriving; a copy that fails leaves the
// rows written so far, which hold the server's own figures, and no row marked.
//
// The work runs on a thread of its own with its own connections; this thread shows the captions
// (one for every hundredth row, as they are written) and keeps the window answering meanwhile.
bool copyFileEntries(const QString& sourceDb, const QString& destDb, const ProgressFn& caption, bool resetFirst) {
  if (caption) caption(QStringLiteral("Corvane Restoring Directory..."));
  std::atomic<qint64> written{0};  // rows of the copy written so far
  qint64 shown = 0;                // the next row whose caption is due (every hundredth, from 0)
  const auto showCaptions = [&] {
    if (!caption) return;
    for (const qint64 n = written; shown < n; shown += 100)
      caption(QStringLiteral("Corvane - Restoring Directory - %1 files...").arg(shown));
  };
  bool resetFailed = false;
  const bool ok = store::swallowDbError([&] {
    try {
      store::runAnswering([&](store::JobContext&) { writeCopy(sourceDb, destDb, resetFirst, written, resetFailed); },
                          [&] {
                            showCaptions();
                            platform::doEvents();
                            return true;
                          },
                          kWaitForWorkMs);
    } catch (const DBError&) {
      showCaptions();
      throw;
    }
    showCaptions();
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

namespace {
const QString kAllUploaded = QStringLiteral("Select * From File WHERE Uploaded = 1 ORDER BY DateLastModified DESC");
}

int DBSelectAllUploadedFiles(const QString& dbdName, UploadedFileRecords& records, const ReadProgress& progress) {
  return readRecords(dbdName, kAllUploaded, {}, records, progress);
}

int DBSelectAllUploadedFilesAside(const QString& dbdName, UploadedFileRecords& records, const ReadProgress& waiting,
                                  bool* busy) {
  if (busy) *busy = false;
  bool stayedBusy = false;
  UploadedFileRecords fresh = records;
  std::atomic<qint64> rowsRead{0};
  bool givenUp = false;
  int count = 0;
  try {
    count = store::runAnswering(
        [&](store::JobContext& job) {
          const std::atomic<bool>& stop = job.stopFlag();
          return readRecords(
              dbdName, kAllUploaded, {}, fresh,
              [&](qint64 rows) {
                rowsRead = rows;
                return !stop;
              },
              &stop, &stayedBusy);
        },
        [&] {
          givenUp = !waiting(rowsRead);
          return !givenUp;
        },
        kWaitForWorkMs);
  } catch (const DBError&) {
    if (!givenUp) throw;
  }
  if (givenUp) return 0;
  if (busy) *busy = stayedBusy;
  records = std::move(fresh);
  return count;
}

int DBSelectUploadedFiles(const QString& dbdName, const QString& folder, UploadedFileRecords& records, bool* busy) {
  return readRecords(dbdName,
                     QStringLiteral("Select * From File WHERE Uploaded = 1 AND Folder = ? ORDER BY DateLastModified DESC"),
                     {store::toStoredText(folder)}, records, {}, nullptr, busy);
}

std::optional<QStringList> DBSelectDrives(const QString& dbdName) {
  std::optional<QStringList> drives;
  store::swallowDbError([&] {
    store::withBusyRetry([&] {
      DBConnection c;
      c.Open(dbdName);
      drives = DBSelectDrives(c);
    });
  });
  return drives;
}

QStringList DBSelectDrives(DBConnection& c) {
  DBRecordset rs = c.Query(QStringLiteral("Select distinct substr(Folder, 1, 1) AS Letter From File"));
  QStringList found;
  for (; !rs.AtEnd() && found.size() < 21; rs.MoveNext()) found << rs.Text("Letter") + ':';
  return found;
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
    DBUpdateFileUploaded(c, folder, fileName, extension, uploaded);
    c.Commit();
  });
}

void DBUpdateFileUploaded(DBConnection& c, const QString& folder, const QString& fileName, const QString& extension,
                          const QString& uploaded) {
  c.Execute(QStringLiteral("Update file SET Uploaded = ? WHERE Folder = ? AND Filename = ? AND Extension = ?"),
            {uploaded.trimmed().toInt(), store::toStoredText(folder), store::toStoredText(fileName),
             store::toStoredText(extension)});
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
  // A filter key runs this over every file of the catalogue: texts in plain ASCII (nearly all)
  // are compared in place; any other takes Unicode's lower case, as the filters always have.
  const qsizetype n = prefix.size();
  bool ascii = true;
  for (qsizetype i = 0; i < n && ascii; ++i)
    ascii = prefix[i].unicode() < 0x80 && (i >= value.size() || value[i].unicode() < 0x80);
  if (!ascii) return value.left(n).toLower() == prefix.toLower();
  if (value.size() < n) return false;
  const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
  for (qsizetype i = 0; i < n; ++i)
    if (lower(value[i].unicode()) != lower(prefix[i].unicode())) return false;
  return true;
}

bool ThisComputerChosen(const QString& statusDb, store::RetryPolicy policy) {
  return store::readSetting(statusDb, QStringLiteral("Identity"), policy).value_or(QString()) ==
         store::readSetting(statusDb, QStringLiteral("DIdentity"), policy).value_or(QString());
}

bool IsThisComputer(const QString& statusDb, store::RetryPolicy policy) {
  try {
    return ThisComputerChosen(statusDb, policy);
  } catch (const DBError&) {
    return false;
  }
}

std::optional<QString> CatalogueDatabase(const QString& statusDb, const QString& filesDb, const QString& appFolder,
                                         const QString& machineName, const QString& suffix, store::RetryPolicy policy) {
  if (ThisComputerChosen(statusDb, policy)) return filesDb;
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
