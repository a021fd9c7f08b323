#include "selection/FolderScan.h"

#include <QHash>

#include "platform/FolderWalk.h"
#include "platform/PathMap.h"
#include "platform/Wait.h"
#include "selection/BackupDrives.h"
#include "store/Database.h"
#include "store/Settings.h"

namespace corvane::selection {

using store::DBCommand;
using store::DBConnection;
using store::RetryPolicy;

namespace {

constexpr int kCaptionEvery = 250;  // folders found between two progress captions
constexpr RetryPolicy kScanWriteRetry{100, 3000};
constexpr qint64 kFound = -1;  // no row id

// The rows of one drive ("C:") in the stored form: the drive's own row and every path below it.
QVariantList driveRange(const QString& drive) {
  const QString stored = store::toStoredText(drive);
  return {stored, prefixEnd(stored)};
}

}  // namespace

void WriteScanSettings(const QString& statusDb, const QDateTime& now) {
  store::DBUpdateSetting(statusDb, QStringLiteral("LastScanStart"), QString(), now.addSecs(-90 * 60));
  store::DBUpdateSetting(statusDb, QStringLiteral("FolderScanThrottle"), QStringLiteral("Full"), now);
  store::DBUpdateSetting(statusDb, QStringLiteral("FileScanThrottle"), QStringLiteral("Full"), now);
}

FolderScan::FolderScan(QString filesDb, CaptionSink setCaption)
    : filesDb_(std::move(filesDb)), setCaption_(std::move(setCaption)) {}

void FolderScan::Run(const QStringList& driveNames) {
  foldersFound_ = foldersAdded_ = namesSkipped_ = 0;
  scanProgressCounter_ = 0;
  setCaption_(QStringLiteral("Corvane Checking folders..."));
  const qint64 foldersInDb = DBCountFolders();
  QStringList drives;
  for (int slot = 0; slot < kShownDriveSlots && slot < driveNames.size(); ++slot)
    if (!driveNames[slot].isEmpty()) drives << driveNames[slot].left(2);
  DBKeepScannedDrives(drives);
  for (int slot = 0; slot < kShownDriveSlots && slot < driveNames.size(); ++slot) {
    const QString root = driveNames[slot];
    if (root.isEmpty()) continue;
    const QStringList scanned = ScanDrive(root);
    foldersFound_ += scanned.size();
    setCaption_(QStringLiteral("Corvane Checking ") + root.left(2) + QStringLiteral(" for new folders... ") +
                QString::number(scanned.size()) + QStringLiteral(" updating database..."));
    platform::doEvents();
    if (foldersInDb > 0) {
      DBInsertAllSFolders(scanned, false);
      DBUpdateFolders(DBCompareFolders(root.left(2)));
    } else {
      DBInsertAllSFolders(scanned, true);
    }
    platform::doEvents();
  }
}

QStringList FolderScan::ScanDrive(const QString& rootPath) {
  QStringList out;
  const QString drive = rootPath.left(2);
  out.push_back(drive);
  const std::optional<QString> native = platform::pathMap().toNative(drive + '\\');
  if (!native) return out;
  platform::FolderWalk walk([](QByteArrayView name) { return !name.startsWith('.'); },  // also "." and ".."
                            [&](const QString& path) { found(path, out); });
  walk.run(*native, drive);  // a drive that cannot be searched is skipped
  namesSkipped_ += walk.skippedNames();
  return out;
}

void FolderScan::found(const QString& path, QStringList& out) {
  out.push_back(path);
  if (++scanProgressCounter_ >= kCaptionEvery) {
    setCaption_(QStringLiteral("Corvane Checking ") + path.left(3) + QStringLiteral(" for new folders... ") +
                QString::number(out.size()));
    platform::waitMs(0);
    scanProgressCounter_ = 0;
    platform::doEvents();
  }
}

qint64 FolderScan::DBCountFolders() {
  return store::onDatabase(filesDb_, [&](DBConnection& db) {
    store::DBRecordset rs = db.Query(QStringLiteral("Select count(*) AS FoldersInDb From Folder"));
    return rs.RowCount() > 0 ? rs.Long("FoldersInDb") : qint64(0);
  });
}

void FolderScan::DBKeepScannedDrives(const QStringList& drives) {
  QStringList kept;
  QVariantList params;
  for (const QString& d : drives) {
    kept << QStringLiteral("(Folders >= ? AND Folders < ?)");
    params << driveRange(d);
  }
  const QString outside = kept.isEmpty() ? QStringLiteral("1") : QStringLiteral("NOT (") + kept.join(" OR ") + ')';
  store::inTransaction(filesDb_, [&](DBConnection& db) {
    if (params.isEmpty())
      db.Execute(QStringLiteral("Delete from SFolder"));
    else
      db.Execute(QStringLiteral("Delete from SFolder WHERE ") + outside, params);
  });
}

void FolderScan::DBInsertAllSFolders(const QStringList& folders, bool fullBuild) {
  if (folders.isEmpty()) return;
  // A rescan finds nearly the same folders as the last one: SFolder keeps the rows it holds and
  // only what differs is written, so the write lock the service waits for is short.
  std::vector<QByteArray> stored;
  stored.reserve(folders.size());
  for (const QString& f : folders) stored.push_back(store::toStoredText(f).toUtf8());
  store::onDatabase(
      filesDb_,
      [&](DBConnection& db) {
        db.BeginTransaction();
        db.Execute(QStringLiteral("Update SFolder SET Bu = 0, BuAll = 0 WHERE Bu IS NOT 0 OR BuAll IS NOT 0"));
        QHash<QByteArray, qint64> held;  // stored path -> row id (kFound once found again)
        QVector<qint64> gone;
        DBCommand read = db.Prepare(QStringLiteral("Select SFolderID, Folders From SFolder WHERE Folders >= ? AND Folders < ?"));
        const QVariantList range = driveRange(folders.first().left(2));
        read.BindValue(1, range[0]);
        read.BindValue(2, range[1]);
        held.reserve(static_cast<qsizetype>(stored.size()));
        while (read.Step()) {
          const QByteArray path = read.Row().Utf8(1).toByteArray();
          if (held.contains(path))
            gone.push_back(read.Row().Long(0));  // a second row of the same folder
          else
            held.insert(path, read.Row().Long(0));
        }
        DBCommand toScratch = db.Prepare(QStringLiteral("Insert Into SFolder (Folders, Bu, BuAll) Values(?,0,0)"));
        for (const QByteArray& s : stored) {
          const auto it = held.find(s);
          if (it == held.end()) {
            toScratch.BindUtf8(1, s);
            toScratch.Execute();
            held.insert(s, kFound);  // a folder listed twice is stored once
          } else {
            it.value() = kFound;
          }
        }
        for (auto it = held.cbegin(); it != held.cend(); ++it)
          if (it.value() != kFound) gone.push_back(it.value());  // no longer on the drive
        if (!gone.isEmpty()) {
          DBCommand remove = db.Prepare(QStringLiteral("Delete from SFolder WHERE SFolderID = ?"));
          for (qint64 id : gone) {
            remove.BindLong(1, id);
            remove.Execute();
          }
        }
        if (fullBuild) {
          DBCommand toFolder =
              db.Prepare(QStringLiteral("Insert Into Folder (Folders, Bu, BuAll) Select ?, 0, 0 "
                                        "Where Not Exists (Select 1 From Folder Where Folders = ?)"));
          for (const QByteArray& s : stored) {
            toFolder.BindUtf8(1, s);
            toFolder.BindUtf8(2, s);
            toFolder.Execute();
          }
        }
        db.Commit();  // a failure before this rolls the whole drive back, so a retry adds nothing twice
      },
      kScanWriteRetry);
}

QStringList FolderScan::DBCompareFolders(const QString& drive) {
  // Only the drive just walked: SFolder may still hold the last scan's rows of the drives after it.
  return store::onDatabase(filesDb_, [&](DBConnection& db) {
    DBCommand rows = db.Prepare(QStringLiteral("Select Folders From SFolder WHERE Folders >= ? AND Folders < ? "
                                               "except select Folders from Folder ORDER BY Folders"));
    const QVariantList range = driveRange(drive);
    rows.BindValue(1, range[0]);
    rows.BindValue(2, range[1]);
    QStringList out;
    while (rows.Step()) out.push_back(store::fromStoredText(rows.Row().Text(0)));
    return out;
  });
}

void FolderScan::DBUpdateFolders(const QStringList& newFolders) {
  if (newFolders.isEmpty()) return;
  const qint64 added = store::inTransaction(filesDb_, [&](DBConnection& db) {
    qint64 n = 0;
    DBCommand parentFlags = db.Prepare(QStringLiteral("Select Bu, BuAll From Folder WHERE Folders = ?"));
    DBCommand insert = db.Prepare(QStringLiteral("Insert Into Folder (Folders, Bu, BuAll) Select ?, ?, ? "
                                                 "Where Not Exists (Select 1 From Folder Where Folders = ?)"));
    for (const QString& folder : newFolders) {
      if (folder.isEmpty()) continue;
      FolderFlags flags;  // a folder whose parent has no row starts with both flags 0
      const qsizetype cut = folder.lastIndexOf('\\');
      if (cut > 0) {
        parentFlags.BindText(1, store::toStoredText(folder.left(cut)));
        if (parentFlags.Step()) {
          flags = {parentFlags.Row().Boolean(0), parentFlags.Row().Boolean(1)};
          parentFlags.Reset();
        }
      }
      const QString stored = store::toStoredText(folder);
      insert.BindText(1, stored);
      insert.BindBoolean(2, flags.Bu);
      insert.BindBoolean(3, flags.BuAll);
      insert.BindText(4, stored);
      n += insert.Execute();
    }
    return n;
  });
  foldersAdded_ += added;
}

}  // namespace corvane::selection
