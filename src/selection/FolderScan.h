#pragma once
// The scan of every fixed drive for new folders: each drive is walked, its folders stored in
// SFolder, and the folders Folder does not hold yet are added to it with their parent's
// flags (all flags 0 on the very first scan, when Folder is empty).
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "selection/FolderTable.h"
#include "selection/NullText.h"

namespace corvane::selection {

// Asks the service to rescan folders and files at full speed: "LastScanStart" (empty, dated
// 90 minutes before now), "FolderScanThrottle" and "FileScanThrottle" ("Full", dated now).
void WriteScanSettings(const QString& statusDb, const QDateTime& now = QDateTime::currentDateTime());

class FolderScan {
 public:
  using CaptionSink = std::function<void(const QString&)>;

  FolderScan(QString filesDb, CaptionSink setCaption);

  // The whole scan over the drive slots (GetDrives); throws store::DBError when the database
  // stays busy or fails.
  void Run(const QStringList& driveNames);

  // Walks one drive ("C:\") and returns its folders: the drive ("C:") first, then every
  // folder in walk order (a folder's sub-folders follow it, each folder's in name order).
  // Names beginning with "." are skipped; names with no Windows form (not UTF-8, holding "\")
  // are skipped with everything below them and counted; links and folders on another mount
  // (a bind mount too) are listed but not entered.
  QStringList ScanDrive(const QString& rootPath);

  // Folder rows before the scan.
  qint64 DBCountFolders();
  // Makes SFolder hold none but the drives about to be scanned ("C:", ...), so that after the
  // scan it holds exactly what the scan found.
  void DBKeepScannedDrives(const QStringList& drives);
  // Makes SFolder hold exactly these folders of their drive (the first entry is the drive, "C:"),
  // each once with both flags 0, writing only what differs from what it holds; with fullBuild,
  // stores them in Folder too (flags 0, only those absent). One transaction.
  void DBInsertAllSFolders(const QStringList& folders, bool fullBuild);
  // The folders of a drive ("C:") in SFolder that Folder lacks, parents before children.
  QStringList DBCompareFolders(const QString& drive);
  // Adds the new folders to Folder, each with its parent's flags (both 0 when the parent has
  // no row), parents first, only those still absent; one transaction.
  void DBUpdateFolders(const QStringList& newFolders);

  // The folders of one drive as they are stored (each "'" doubled), in UTF-8, one after the
  // other: no text object per folder for the many folders of a drive.
  class StoredFolders {
   public:
    void append(QByteArrayView plainPath);  // doubles each "'"
    qsizetype size() const { return static_cast<qsizetype>(ends_.size()); }
    QByteArrayView at(qsizetype i) const {
      const qsizetype from = i == 0 ? 0 : ends_[static_cast<size_t>(i - 1)];
      return QByteArrayView(bytes_.constData() + from, ends_[static_cast<size_t>(i)] - from);
    }

   private:
    QByteArray bytes_;
    std::vector<qsizetype> ends_;
  };

  // Figures of the last Run.
  qint64 foldersFound() const { return foldersFound_; }
  qint64 foldersAdded() const { return foldersAdded_; }
  // Folders left out because their names have no Windows form (with what is below them).
  qint64 namesSkipped() const { return namesSkipped_; }

 private:
  StoredFolders scanDrive(const QString& rootPath);
  void storeScratch(const StoredFolders& folders, bool fullBuild);

  QString filesDb_;
  CaptionSink setCaption_;
  int scanProgressCounter_ = 0;
  qint64 foldersFound_ = 0;
  qint64 foldersAdded_ = 0;
  qint64 namesSkipped_ = 0;
};

}  // namespace corvane::selection
