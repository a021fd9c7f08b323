#include "restore/RestoreQueue.h"

#include <sys/stat.h>

#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <unordered_set>

#include "keys/SoapClient.h"
#include "platform/LosslessUtf8.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "platform/Wait.h"
#include "store/Database.h"
#include "store/DatabaseJob.h"
#include "store/DatabaseTrouble.h"
#include "store/Settings.h"

namespace corvane::restore {

namespace {

qint64 sizeOf(const QString& text) {
  bool ok = false;
  const qint64 v = text.trimmed().toLongLong(&ok);
  if (ok) return v;
  const double d = text.trimmed().toDouble(&ok);
  return ok ? qint64(d) : -1;
}

// A file of the queue by its stored texts.
QString fileKey(const QString& folder, const QString& name, const QString& extension) {
  return folder + QChar(0) + name + QChar(0) + extension;
}

bool pathIsSafe(const UploadedFileRecord& r) {
  return IsSafeCataloguePath(r.Folder) && IsSafeNamePart(r.FileName) && IsSafeNamePart(r.Extension) &&
         !(r.FileName + r.Extension).isEmpty();
}

// A database failure of the queue or the marking, told: the service keeping Files.db past the
// bounded wait in plain words (what was done, and to try again), any other as the store tells it.
void tellFailure(const store::DBError& e, const QString& whatWasDone) {
  if (e.isBusy())
    platform::showMessage(store::busyDatabaseText(e.path(), whatWasDone));
  else
    store::showDatabaseError(e);
}

}  // namespace

std::optional<store::TempDFileRow> TempDFileRowOf(const UploadedFileRecord& r) {
  if (!pathIsSafe(r)) return std::nullopt;
  store::TempDFileRow row;
  row.folder = r.Folder;
  row.fileName = r.FileName;
  row.extension = r.Extension;
  row.fileSize = sizeOf(r.FileSize);
  row.dateCreated = recordDateFromText(r.DateCreated);
  row.dateLastModified = recordDateFromText(r.DateLastModified);
  row.dateUploaded = recordDateFromText(r.DateUploaded);
  return row;
}

namespace {

// A queue row as bound: texts in their stored form, dates as stored text (or, for a record
// date that is not in the plain form, the date read back the full way).
struct ReadyRow {
  QString folder, fileName, extension;
  qint64 size = 0;
  QVariant dates[3];
};

// "yyyy-MM-dd HH-mm-ss" of a real day and time becomes the stored "yyyy-MM-dd HH:mm:ss" by its
// two hyphens alone: twenty thousand files are queued without a date-and-time reading each.
QVariant storedDateOf(const QString& recordDate) {
  if (recordDate.size() == 19 && recordDate[13] == u'-' && recordDate[16] == u'-') {
    QString stored = recordDate;
    stored[13] = stored[16] = u':';
    if (store::isPlainStoredDate(stored)) return stored;
  }
  const QDateTime d = recordDateFromText(recordDate);
  return d.isValid() ? QVariant(store::dateToText(d)) : QVariant();
}

}  // namespace

int QueueRecords(const QString& filesDb, const QList<UploadedFileRecord>& records, const QueueProgress& progress) {
  QVector<ReadyRow> ready;
  ready.reserve(records.size());
  std::unordered_set<QString> chosen;
  chosen.reserve(records.size());
  for (const UploadedFileRecord& r : records) {
    if (progress && ready.size() % 1000 == 0) {
      progress(int(ready.size()));
      platform::doEvents();
    }
    if (!pathIsSafe(r)) continue;
    ReadyRow row{store::toStoredText(r.Folder), store::toStoredText(r.FileName), store::toStoredText(r.Extension),
                 sizeOf(r.FileSize), {storedDateOf(r.DateCreated), storedDateOf(r.DateLastModified),
                                      storedDateOf(r.DateUploaded)}};
    // The same file chosen twice (ticked, and added by its path) is queued once.
    if (!chosen.insert(fileKey(row.folder, row.fileName, row.extension)).second) continue;
    ready.push_back(std::move(row));
  }
  if (progress) progress(int(ready.size()));
  if (ready.isEmpty()) return 0;
  // SQLite would take the queue into a Files.db with a damaged page elsewhere without a word:
  // one not looked through in this run is looked through first (a damaged one takes no rows).
  store::checkDatabasesAside({filesDb}, [] {
    platform::doEvents();
    return true;
  });
  int written = 0;
  try {
    // The file chooser's whole list ticked is some 200,000 rows, about a second of writing: on a
    // thread of their own, the window painting. So are the rows freed (a tenth of a second).
    store::runWhilePainting([&](store::JobContext& job) {
      std::unordered_set<QString>().swap(chosen);
      job.inTransaction(filesDb, [&](store::DBConnection& c) {
        written = 0;
        // A file queued already (a path added by hand is queued at once; Restore All does not
        // empty the queue first) is not queued again.
        std::unordered_set<QString> queued;
        c.ForEachRow(QStringLiteral("Select Folder, FileName, Extension From tempDFile"), {},
                     [&](const store::DBRow& r) {
                       queued.insert(fileKey(r.TextKeepingBytes(0), r.TextKeepingBytes(1), r.TextKeepingBytes(2)));
                       return true;
                     });
        store::DBCommand cmd = c.Prepare(QStringLiteral("Insert Into tempDFile Values(?,?,?,?,?,?,?,?)"));
        for (const ReadyRow& row : ready) {
          if (!queued.empty() && queued.count(fileKey(row.folder, row.fileName, row.extension))) continue;
          cmd.BindText(2, row.folder);
          cmd.BindText(3, row.fileName);
          cmd.BindText(4, row.extension);
          cmd.BindLong(5, row.size);
          for (int d = 0; d < 3; ++d) cmd.BindValue(6 + d, row.dates[d]);
          cmd.Execute();
          ++written;
        }
      });
      QVector<ReadyRow>().swap(ready);
    });
  } catch (const store::DBError& e) {
    tellFailure(e, QStringLiteral("nothing was queued for restore"));
    return 0;
  }
  return written;
}

void RestoreChoice::append(const RestoreChoice& other) {
  // Shared, not copied, where nothing was chosen yet: a copy of 200,000 records would hold the
  // window.
  if (files.isEmpty())
    files = other.files;
  else
    files += other.files;
  anythingTicked = anythingTicked || other.anythingTicked;
  foldersWithoutFiles += other.foldersWithoutFiles;
  catalogueBusy = catalogueBusy || other.catalogueBusy;
  if (damagedCatalogue.isEmpty()) damagedCatalogue = other.damagedCatalogue;
}

RestoreChoice FilesOfFolders(const QString& catalogue, const QStringList& folders) {
  RestoreChoice choice;
  choice.anythingTicked = !folders.isEmpty();
  // A ticked folder can hold 20,000 files, and a few of them take a second to read: they are read
  // on a thread of their own while the window paints.
  store::runWhilePainting([&](store::JobContext& job) {
    UploadedFileRecords records = freshRecords();
    for (qsizetype f = 0; f < folders.size() && !job.stopped() && !store::isKnownDamaged(catalogue); ++f) {
      bool busy = false;
      const int n = DBSelectUploadedFiles(catalogue, folders[f], records, &busy);
      if (busy) choice.catalogueBusy = true;
      else if (n == 0) choice.foldersWithoutFiles << folders[f];
      for (int i = 0; i < n; ++i) choice.files << records[i];
    }
  });
  // Rows read before a read met a damaged page are no sound part of a restore either.
  if (!folders.isEmpty() && store::isKnownDamaged(catalogue)) {
    choice = RestoreChoice();
    choice.anythingTicked = true;
    choice.damagedCatalogue = catalogue;
  }
  return choice;
}

RestoreChoice UnlessDamaged(RestoreChoice choice, const QString& catalogue) {
  if (choice.files.isEmpty() || catalogue.isEmpty() || !store::isKnownDamaged(catalogue)) return choice;
  RestoreChoice refused;
  refused.anythingTicked = true;
  refused.damagedCatalogue = catalogue;
  return refused;
}

QString NothingToRestoreText(const RestoreChoice& choice, bool nothingTickedIsAReason) {
  if (!choice.damagedCatalogue.isEmpty())
    return QStringLiteral("Nothing was queued for restore: the catalogue %1 is damaged, so the files ticked in it "
                          "cannot be read from it.")
        .arg(QFileInfo(choice.damagedCatalogue).fileName());
  // A part of the choice that could not be read would make a restore of less than was ticked.
  if (choice.catalogueBusy)
    return QStringLiteral("Nothing was queued for restore: the backup service is using the file list just now.\n\n"
                          "Please try again in a moment.");
  if (!choice.files.isEmpty()) return QString();
  if (!choice.foldersWithoutFiles.isEmpty()) {
    constexpr qsizetype kListed = 10;
    QStringList lines;
    for (qsizetype i = 0; i < choice.foldersWithoutFiles.size() && i < kListed; ++i)
      lines << QStringLiteral("    ") + platform::shownText(choice.foldersWithoutFiles[i]);
    if (choice.foldersWithoutFiles.size() > kListed)
      lines << QStringLiteral("    ... and %1 more").arg(choice.foldersWithoutFiles.size() - kListed);
    return QStringLiteral("Nothing was queued for restore: the ticked folders hold no files of their own.\n\n") +
           lines.join(QLatin1Char('\n')) +
           QStringLiteral("\n\nA ticked folder restores only the files lying directly in it. Tick the sub-folders "
                          "that hold the files, then restore again.");
  }
  if (choice.anythingTicked || nothingTickedIsAReason)
    return QStringLiteral("Nothing was queued for restore: no file or folder is ticked.");
  return QString();
}

QueueProgress QueueCaption(std::function<void(const QString&)> caption) {
  return [caption = std::move(caption)](int rows) {
    if (caption) caption(QStringLiteral("Corvane Queueing files for restore - %1 files...").arg(rows));
  };
}

bool EmptyRestoreQueue(const QString& filesDb) {
  try {
    // A queue of 200,000 rows takes a tenth of a second to delete: off the window's thread.
    store::runWhilePainting([&](store::JobContext& job) {
      job.inTransaction(filesDb, [](store::DBConnection& c) { store::DBDeleteAllTempDFile(c); });
    });
    return true;
  } catch (const store::DBError& e) {
    tellFailure(e, QStringLiteral("the restore queue was not emptied"));
    return false;
  }
}

void SignalDownloadAbort(const QString& statusDb, const QDateTime& now) {
  const QString name = QStringLiteral("DownloadAbort");
  if (!store::DBSettingExists(statusDb, name)) store::DBInsertSetting(statusDb, name, QStringLiteral("0"), now);
  store::DBUpdateSetting(statusDb, name, QStringLiteral("1"), now);
}

std::optional<QString> LocalPathOf(const UploadedFileRecord& r) {
  if (!pathIsSafe(r)) return std::nullopt;
  return platform::pathMap().toNative(r.Folder + '\\' + r.FileName + r.Extension);
}

namespace {

// The size of the record's file on this computer, nullopt when there is no such file. The
// path reaches the file system as the name's stored bytes, which need not be UTF-8.
std::optional<qint64> localFileSize(const UploadedFileRecord& r) {
  const auto path = LocalPathOf(r);
  struct stat st {};
  if (!path || ::stat(platform::toUtf8Lossless(*path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
    return std::nullopt;
  return qint64(st.st_size);
}

}  // namespace

namespace {

// Rows of a verify or a delete written per transaction: a few thousand hold Files.db a small part
// of a second, and a failure loses at most the rows of its own transaction.
constexpr int kMarkedPerTransaction = 2000;

// Runs step(connection, i) for the records 0, 1, ... in order on Files.db, kMarkedPerTransaction to
// a transaction, on a thread of its own with the window painting (a verify of 20,000 files took
// a connection and two commits per file on the window's thread, over twenty seconds frozen);
// progress is told the records done. A step that returns false ends the run before that record;
// a database failure ends it too, its transaction rolled back (and is told).
MarkResult markInTransactions(const QString& filesDb, qsizetype count,
                       const std::function<bool(store::DBConnection&, qsizetype)>& step, const QueueProgress& progress) {
  std::atomic<qsizetype> done{0};
  qsizetype told = -1;
  qsizetype committed = 0;
  bool failed = false;
  // A database that stays busy past the bound (the service holding it), or fails, ends the run
  // with the files marked so far, and the user is told: nothing marked must not pass for done.
  try {
    store::runAnswering(
        [&](store::JobContext& job) {
          bool stopped = false;
          while (committed < count && !stopped) {
            const qsizetype end = std::min(count, committed + kMarkedPerTransaction);
            qsizetype reached = committed;
            job.inTransaction(filesDb, [&](store::DBConnection& c) {
              reached = committed;
              stopped = false;
              for (; reached < end; ++reached) {
                if (!step(c, reached)) {
                  stopped = true;
                  break;
                }
                done = reached + 1;
              }
            });
            committed = reached;
          }
        },
        [&] {
          if (progress && done / 1000 != told / 1000) progress(int(told = done));
          platform::paintPending();
          return true;
        },
        10, true);
  } catch (const store::DBError& e) {
    tellFailure(e, QStringLiteral("%1 of %2 files were marked").arg(committed).arg(count));
    failed = true;
  }
  if (progress) progress(int(committed));
  return {int(committed), committed < count && !failed};
}

}  // namespace

MarkResult ValidateRecords(const QString& filesDb, const QString& statusDb, const QList<UploadedFileRecord>& records,
                           ActionView view, const QDateTime& now, const QueueProgress& progress) {
  const MarkResult marked = markInTransactions(
      filesDb, records.size(),
      [&](store::DBConnection& c, qsizetype i) {
        const UploadedFileRecord& r = records[i];
        if (view == ActionView::Files && !localFileSize(r)) return false;
        DBUpdateFileUploaded(c, r.Folder, r.FileName, r.Extension, QStringLiteral("0"));
        store::DBDeleteHashes(c, {store::DBSelectFileId(c, r.Folder, r.FileName, r.Extension)});
        return true;
      },
      progress);
  // Each file of the list view tells the service to stop restoring; once for all says the same.
  if (view == ActionView::Files && marked.handled > 0) store::swallowDbError([&] { SignalDownloadAbort(statusDb, now); });
  return marked;
}

MarkResult RewriteRecordsForDelete(const QString& filesDb, const QString& statusDb,
                                   const QList<UploadedFileRecord>& records, ActionView view, const QDateTime& now,
                                   const QueueProgress& progress) {
  const MarkResult marked = markInTransactions(
      filesDb, records.size(),
      [&](store::DBConnection& c, qsizetype i) {
        const UploadedFileRecord& r = records[i];
        const auto localSize = localFileSize(r);
        if (!localSize) return false;
        store::FileRow row;
        row.folder = r.Folder;
        row.fileName = r.FileName;
        row.extension = r.Extension;
        row.fileSize = view == ActionView::Files ? double(*localSize) : double(sizeOf(r.FileSize));
        row.dateCreated = recordDateFromText(r.DateCreated);
        row.dateLastModified = recordDateFromText(r.DateLastModified);
        row.uploaded = 0;
        store::DBInsertFile(c, row);
        store::DBDeleteHashes(c, {store::DBSelectFileId(c, r.Folder, r.FileName, r.Extension)});
        return true;
      },
      progress);
  if (marked.handled > 0) store::swallowDbError([&] { SignalDownloadAbort(statusDb, now); });
  return marked;
}

QString SendDeleteRequest(const keys::EncryptionSession& session) {
  return keys::SendMessageToServer(session, QString(), QString(), QString(), QString(), QString(),
                                   QStringLiteral("00:00:00"));
}

}  // namespace corvane::restore
