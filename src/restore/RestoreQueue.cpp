#include "restore/RestoreQueue.h"

#include <QFileInfo>

#include "keys/SoapClient.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "store/Database.h"
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

int QueueRecords(const QString& filesDb, const QList<UploadedFileRecord>& records) {
  int written = 0;
  store::swallowDbError([&] {
    for (const UploadedFileRecord& r : records) {
      const auto row = TempDFileRowOf(r);
      if (!row) continue;
      store::DBInsertTempDFile(filesDb, *row);
      ++written;
    }
  });
  return written;
}

bool EmptyRestoreQueue(const QString& filesDb) {
  try {
    store::DBDeleteAllTempDFile(filesDb);
    return true;
  } catch (const store::DBError& e) {
    platform::showMessage(e.description());
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

int ValidateRecords(const QString& filesDb, const QString& statusDb, const QList<UploadedFileRecord>& records,
                    ActionView view, const QDateTime& now) {
  int handled = 0;
  store::swallowDbError([&] {
    for (const UploadedFileRecord& r : records) {
      if (view == ActionView::Files) {
        const auto path = LocalPathOf(r);
        if (!path || !QFileInfo(*path).isFile()) return;
      }
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
      const auto path = LocalPathOf(r);
      if (!path) return;
      const QFileInfo local(*path);
      if (!local.isFile()) return;
      store::FileRow row;
      row.folder = r.Folder;
      row.fileName = r.FileName;
      row.extension = r.Extension;
      row.fileSize = view == ActionView::Files ? double(local.size()) : double(sizeOf(r.FileSize));
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
