#include "selection/FolderScan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <string>
#include <vector>

#include "platform/Drives.h"
#include "platform/PathMap.h"
#include "platform/Wait.h"
#include "selection/BackupDrives.h"
#include "store/Database.h"
#include "store/Settings.h"

namespace corvane::selection {

using store::DBConnection;
using store::RetryPolicy;
using store::withBusyRetry;

namespace {
constexpr int kCaptionEvery = 250;  // folders found between two progress captions
}

void WriteScanSettings(const QString& statusDb, const QDateTime& now) {
  store::DBUpdateSetting(statusDb, QStringLiteral("LastScanStart"), QString(), now.addSecs(-90 * 60));
  store::DBUpdateSetting(statusDb, QStringLiteral("FolderScanThrottle"), QStringLiteral("Full"), now);
  store::DBUpdateSetting(statusDb, QStringLiteral("FileScanThrottle"), QStringLiteral("Full"), now);
}

FolderScan::FolderScan(QString filesDb, CaptionSink setCaption)
    : filesDb_(std::move(filesDb)), setCaption_(std::move(setCaption)) {}

void FolderScan::Run(const QStringList& driveNames) {
  foldersFound_ = foldersAdded_ = 0;
  scanProgressCounter_ = 0;
  setCaption_(QStringLiteral("Corvane Checking folders..."));
  const qint64 foldersInDb = DBCountFolders();
  DBDeleteAll(QStringLiteral("SFolder"));
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
      DBUpdateFolders(DBCompareFolders());
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
  walk(QFile::encodeName(*native), drive, out);
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

void FolderScan::walk(const QByteArray& nativeDir, const QString& windowsDir, QStringList& out) {
  // The entries are read and the directory closed before descending, so a deep tree never
  // holds more than one directory open.
  struct Entry {
    std::string name;
    unsigned char type;
  };
  std::vector<Entry> entries;
  if (DIR* d = opendir(nativeDir.constData())) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;  // also "." and ".."
      if (e->d_type != DT_DIR && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
      entries.push_back({e->d_name, e->d_type});
    }
    closedir(d);
  } else {
    return;  // a folder that cannot be searched is skipped
  }

  const QByteArray prefix = nativeDir.endsWith('/') ? nativeDir : nativeDir + '/';
  for (const Entry& e : entries) {
    const QByteArray child = prefix + QByteArray(e.name.data(), static_cast<qsizetype>(e.name.size()));
    bool link = e.type == DT_LNK;
    if (e.type == DT_UNKNOWN) {
      struct stat st {};
      if (lstat(child.constData(), &st) != 0) continue;
      if (S_ISLNK(st.st_mode))
        link = true;
      else if (!S_ISDIR(st.st_mode))
        continue;
    }
    if (link) {
      // A link is listed when it leads to a folder, and never entered.
      struct stat target {};
      if (stat(child.constData(), &target) != 0 || !S_ISDIR(target.st_mode)) continue;
    }
    const QString name =
        TrimAtNull(QFile::decodeName(QByteArray(e.name.data(), static_cast<qsizetype>(e.name.size()))));
    if (name.isEmpty() || name.contains('\\')) continue;  // cannot be written in the Windows form
    const QString path = windowsDir + '\\' + name;
    found(path, out);
    if (link) continue;
    if (!platform::sameFileSystem(QFile::decodeName(nativeDir), QFile::decodeName(child))) continue;
    walk(child, path, out);
  }
}

qint64 FolderScan::DBCountFolders() {
  return store::onDatabase(filesDb_, [&](DBConnection& db) {
    store::DBRecordset rs = db.Query(QStringLiteral("Select count(*) AS FoldersInDb From Folder"));
    return rs.RowCount() > 0 ? rs.Long("FoldersInDb") : qint64(0);
  });
}

void FolderScan::DBDeleteAll(const QString& tableName) {
  // Table names cannot be bound; only the scan's own scratch table is ever emptied here.
  if (tableName.compare(QStringLiteral("SFolder"), Qt::CaseInsensitive) != 0)
    throw store::DBError(QStringLiteral("DBDeleteAll refuses table ") + tableName, 0);
  store::inTransaction(filesDb_, [&](DBConnection& db) { db.Execute(QStringLiteral("Delete from SFolder")); });
}

void FolderScan::DBInsertAllSFolders(const QStringList& folders, bool fullBuild) {
  store::onDatabase(
      filesDb_,
      [&](DBConnection& db) {
        db.BeginTransaction();
        store::DBCommand toScratch =
            db.Prepare(QStringLiteral("Insert Into SFolder (Folders, Bu, BuAll) Values(?,?,?)"));
        std::optional<store::DBCommand> toFolder;
        if (fullBuild)
          toFolder.emplace(
              db.Prepare(QStringLiteral("Insert Into Folder (Folders, Bu, BuAll) Select ?, ?, ? "
                                        "Where Not Exists (Select 1 From Folder Where Folders = ?)")));
        for (const QString& f : folders) {
          const QString stored = store::toStoredText(f);
          toScratch.BindText(1, stored);
          toScratch.BindBoolean(2, false);
          toScratch.BindBoolean(3, false);
          toScratch.Execute();
          if (toFolder) {
            toFolder->BindText(1, stored);
            toFolder->BindBoolean(2, false);
            toFolder->BindBoolean(3, false);
            toFolder->BindText(4, stored);
            toFolder->Execute();
          }
        }
        db.Commit();  // a failure before this rolls the whole drive back, so a retry adds nothing twice
      },
      RetryPolicy{100, 3000});
}

QStringList FolderScan::DBCompareFolders() {
  return store::onDatabase(filesDb_, [&](DBConnection& db) {
    store::DBRecordset rs =
        db.Query(QStringLiteral("Select Folders From SFolder except select Folders from Folder ORDER BY Folders"));
    QStringList out;
    for (; !rs.AtEnd(); rs.MoveNext()) out.push_back(store::fromStoredText(rs.Text("Folders")));
    return out;
  });
}

void FolderScan::DBUpdateFolders(const QStringList& newFolders) {
  if (newFolders.isEmpty()) return;
  const qint64 added = store::inTransaction(filesDb_, [&](DBConnection& db) {
    qint64 n = 0;
    for (const QString& folder : newFolders) {
      if (folder.isEmpty()) continue;
      FolderFlags flags;  // a folder whose parent has no row starts with both flags 0
      const qsizetype cut = folder.lastIndexOf('\\');
      if (cut > 0) {
        store::DBRecordset p = db.Query(QStringLiteral("Select Bu, BuAll From Folder WHERE Folders = ?"),
                                        {store::toStoredText(folder.left(cut))});
        if (p.RowCount() > 0) flags = {p.Boolean("Bu"), p.Boolean("BuAll")};
      }
      const QString stored = store::toStoredText(folder);
      n += db.Execute(QStringLiteral("Insert Into Folder (Folders, Bu, BuAll) Select ?, ?, ? "
                                     "Where Not Exists (Select 1 From Folder Where Folders = ?)"),
                      {stored, flags.Bu, flags.BuAll, stored});
    }
    return n;
  });
  foldersAdded_ += added;
}

}  // namespace corvane::selection
