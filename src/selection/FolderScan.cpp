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

// Storing a drive's folders holds the write lock for a second or more at real scale: the window
// keeps painting meanwhile, but takes no clicks, which would meet that lock.
void paint() { platform::paintPending(); }

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

void FolderScan::StoredFolders::append(QByteArrayView plainPath) {
  if (plainPath.indexOf('\'') < 0) {
    bytes_.append(plainPath);
  } else {
    for (const char c : plainPath) {
      bytes_.append(c);
      if (c == '\'') bytes_.append(c);
    }
  }
  ends_.push_back(bytes_.size());
}

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
    const StoredFolders scanned = scanDrive(root);
    foldersFound_ += scanned.size();
    setCaption_(QStringLiteral("Corvane Checking ") + root.left(2) + QStringLiteral(" for new folders... ") +
                QString::number(scanned.size()) + QStringLiteral(" updating database..."));
    platform::doEvents();
    if (foldersInDb > 0) {
      storeScratch(scanned, false);
      DBUpdateFolders(DBCompareFolders(root.left(2)));
    } else {
      storeScratch(scanned, true);
    }
    platform::doEvents();
  }
}

QStringList FolderScan::ScanDrive(const QString& rootPath) {
  const StoredFolders scanned = scanDrive(rootPath);
  QStringList out;
  out.reserve(scanned.size());
  for (qsizetype i = 0; i < scanned.size(); ++i) out.push_back(store::fromStoredText(QString::fromUtf8(scanned.at(i))));
  return out;
}

FolderScan::StoredFolders FolderScan::scanDrive(const QString& rootPath) {
  StoredFolders out;
  const QString drive = rootPath.left(2);
  out.append(drive.toUtf8());
  const std::optional<QString> native = platform::pathMap().toNative(drive + '\\');
  if (!native) return out;
  platform::FolderWalk walk([](QByteArrayView name) { return !name.startsWith('.'); },  // also "." and ".."
                            [&](QByteArrayView path) {
                              out.append(path);
                              if (++scanProgressCounter_ < kCaptionEvery) return;
                              setCaption_(QStringLiteral("Corvane Checking ") + QString::fromUtf8(path.first(3)) +
                                          QStringLiteral(" for new folders... ") + QString::number(out.size()));
                              platform::waitMs(0);
                              scanProgressCounter_ = 0;
                              platform::doEvents();
                            });
  walk.run(*native, drive);  // a drive that cannot be searched is skipped
  namesSkipped_ += walk.skippedNames();
  return out;
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
  StoredFolders stored;
  for (const QString& f : folders) stored.append(f.toUtf8());
  storeScratch(stored, fullBuild);
}

void FolderScan::storeScratch(const StoredFolders& folders, bool fullBuild) {
  if (folders.size() == 0) return;
  // A rescan finds nearly the same folders as the last one: SFolder keeps the rows it holds and
  // only what differs is written, so the write lock the service waits for is short.
  QHash<QByteArrayView, qsizetype> found;  // stored path -> position in folders
  found.reserve(folders.size());
  for (qsizetype i = 0; i < folders.size(); ++i) found.insert(folders.at(i), i);
  store::onDatabase(
      filesDb_,
      [&](DBConnection& db) {
        db.BeginTransaction();
        db.Execute(QStringLiteral("Update SFolder SET Bu = 0, BuAll = 0 WHERE Bu IS NOT 0 OR BuAll IS NOT 0"));
        std::vector<bool> held(static_cast<size_t>(folders.size()), false);
        QVector<qint64> gone;  // rows of folders no longer found, and second rows of one folder
        DBCommand read = db.Prepare(QStringLiteral("Select SFolderID, Folders From SFolder WHERE Folders >= ? AND Folders < ?"));
        const QVariantList range = driveRange(QString::fromUtf8(folders.at(0).first(2)));
        read.BindValue(1, range[0]);
        read.BindValue(2, range[1]);
        while (read.Step()) {
          paint();
          const auto it = found.constFind(read.Row().Utf8(1));
          if (it != found.constEnd() && !held[static_cast<size_t>(*it)])
            held[static_cast<size_t>(*it)] = true;
          else
            gone.push_back(read.Row().Long(0));
        }
        DBCommand toScratch = db.Prepare(QStringLiteral("Insert Into SFolder (Folders, Bu, BuAll) Values(?,0,0)"));
        for (qsizetype i = 0; i < folders.size(); ++i) {
          paint();
          if (held[static_cast<size_t>(i)] || found.value(folders.at(i)) != i) continue;  // a folder listed twice is stored once
          toScratch.BindUtf8(1, folders.at(i));
          toScratch.Execute();
        }
        if (!gone.isEmpty()) {
          DBCommand remove = db.Prepare(QStringLiteral("Delete from SFolder WHERE SFolderID = ?"));
          for (qint64 id : gone) {
            paint();
            remove.BindLong(1, id);
            remove.Execute();
          }
        }
        if (fullBuild) {
          DBCommand toFolder =
              db.Prepare(QStringLiteral("Insert Into Folder (Folders, Bu, BuAll) Select ?, 0, 0 "
                                        "Where Not Exists (Select 1 From Folder Where Folders = ?)"));
          for (qsizetype i = 0; i < folders.size(); ++i) {
            paint();
            toFolder.BindUtf8(1, folders.at(i));
            toFolder.BindUtf8(2, folders.at(i));
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
    while (rows.Step()) {
      paint();
      out.push_back(store::fromStoredText(rows.Row().Text(0)));
    }
    return out;
  });
}

void FolderScan::DBUpdateFolders(const QStringList& newFolders) {
  if (newFolders.isEmpty()) return;
  const qint64 added = store::inTransaction(filesDb_, [&](DBConnection& db) {
    qint64 n = 0;
    FolderFlagReader parentFlags(db);
    DBCommand insert = db.Prepare(QStringLiteral("Insert Into Folder (Folders, Bu, BuAll) Select ?, ?, ? "
                                                 "Where Not Exists (Select 1 From Folder Where Folders = ?)"));
    for (const QString& folder : newFolders) {
      paint();
      if (folder.isEmpty()) continue;
      // A folder whose parent has no row starts with both flags 0.
      const qsizetype cut = folder.lastIndexOf('\\');
      const FolderFlags flags = cut > 0 ? parentFlags(folder.left(cut)).value_or(FolderFlags{}) : FolderFlags{};
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
