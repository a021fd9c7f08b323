#include "restore/RestoreQueue.h"

#include <sys/stat.h>

#include "keys/SoapClient.h"
#include "platform/LosslessUtf8.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "platform/Wait.h"
#include "store/Database.h"
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

bool pathIsSafe(const UploadedFileRecord& r) {
  return IsSafeCataloguePath(r.Folder) && IsSafeNamePart(r.FileName) && IsSafeNamePart(r.Extension) &&
         !(r.FileName + r.Extension).isEmpty();
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
  for (const UploadedFileRecord& r : records) {
    if (progress && ready.size() % 1000 == 0) {
      progress(int(ready.size()));
      platform::doEvents();
    }
    if (!pathIsSafe(r)) continue;
    ReadyRow row{store::toStoredText(r.Folder), store::toStoredText(r.FileName), store::toStoredText(r.Extension),
                 sizeOf(r.FileSize), {storedDateOf(r.DateCreated), storedDateOf(r.DateLastModified),
                                      storedDateOf(r.DateUploaded)}};
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
  try {
    store::inTransaction(filesDb, [&](store::DBConnection& c) {
      store::DBCommand cmd = c.Prepare(QStringLiteral("Insert Into tempDFile Values(?,?,?,?,?,?,?,?)"));
      for (const ReadyRow& row : ready) {
        cmd.BindText(2, row.folder);
        cmd.BindText(3, row.fileName);
        cmd.BindText(4, row.extension);
        cmd.BindLong(5, row.size);
        for (int d = 0; d < 3; ++d) cmd.BindValue(6 + d, row.dates[d]);
        cmd.Execute();
      }
    });
  } catch (const store::DBError& e) {
    store::showDatabaseError(e);
    return 0;
  }
  return int(ready.size());
}

QueueProgress QueueCaption(std::function<void(const QString&)> caption) {
  return [caption = std::move(caption)](int rows) {
    if (caption) caption(QStringLiteral("Corvane Queueing files for restore - %1 files...").arg(rows));
  };
}

bool EmptyRestoreQueue(const QString& filesDb) {
  try {
    store::DBDeleteAllTempDFile(filesDb);
    return true;
  } catch (const store::DBError& e) {
    store::showDatabaseError(e);
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

int ValidateRecords(const QString& filesDb, const QString& statusDb, const QList<UploadedFileRecord>& records,
                    ActionView view, const QDateTime& now) {
  int handled = 0;
  store::swallowDbError([&] {
    for (const UploadedFileRecord& r : records) {
      if (view == ActionView::Files && !localFileSize(r)) return;
      DBUpdateFileUploaded(filesDb, r.Folder, r.FileName, r.Extension, QStringLiteral("0"));
      store::DBDeleteHash(filesDb, store::DBSelectFileId(filesDb, r.Folder, r.FileName, r.Extension));
      if (view == ActionView::Files) SignalDownloadAbort(statusDb, now);
      ++handled;
    }
  });
  return handled;
}

int RewriteRecordsForDelete(const QString& filesDb, const QString& statusDb, const QList<UploadedFileRecord>& records,
                            ActionView view, const QDateTime& now) {
  int handled = 0;
  store::swallowDbError([&] {
    for (const UploadedFileRecord& r : records) {
      const auto localSize = localFileSize(r);
      if (!localSize) return;
      store::FileRow row;
      row.folder = r.Folder;
      row.fileName = r.FileName;
      row.extension = r.Extension;
      row.fileSize = view == ActionView::Files ? double(*localSize) : double(sizeOf(r.FileSize));
      row.dateCreated = recordDateFromText(r.DateCreated);
      row.dateLastModified = recordDateFromText(r.DateLastModified);
      row.uploaded = 0;
      store::DBInsertFile(filesDb, row);
      store::DBDeleteHash(filesDb, store::DBSelectFileId(filesDb, r.Folder, r.FileName, r.Extension));
      SignalDownloadAbort(statusDb, now);
      ++handled;
    }
  });
  return handled;
}

QString SendDeleteRequest(const keys::EncryptionSession& session) {
  return keys::SendMessageToServer(session, QString(), QString(), QString(), QString(), QString(),
                                   QStringLiteral("00:00:00"));
}

}  // namespace corvane::restore
