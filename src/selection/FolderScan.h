#pragma once
// The scan of every fixed drive for new folders: each drive is walked, its folders stored in
// SFolder, and the folders Folder does not hold yet are added to it with their parent's
// flags (all flags 0 on the very first scan, when Folder is empty).
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

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
  // folder in walk order (a folder's sub-folders follow it). Names beginning with "." or
  // holding "\" are skipped; links and folders on another mount are listed but not entered.
  QStringList ScanDrive(const QString& rootPath);

  // Folder rows before the scan.
  qint64 DBCountFolders();
  // Empties SFolder (the only table the scan clears).
  void DBDeleteAll(const QString& tableName);
  // Stores the folders in SFolder, and in Folder too (flags 0, only those absent) when
  // fullBuild; one transaction.
  void DBInsertAllSFolders(const QStringList& folders, bool fullBuild);
  // The folders of SFolder that Folder lacks, parents before children.
  QStringList DBCompareFolders();
  // Adds the new folders to Folder, each with its parent's flags (both 0 when the parent has
  // no row), parents first, only those still absent; one transaction.
  void DBUpdateFolders(const QStringList& newFolders);

  // Figures of the last Run.
  qint64 foldersFound() const { return foldersFound_; }
  qint64 foldersAdded() const { return foldersAdded_; }

 private:
  void walk(const QByteArray& nativeDir, const QString& windowsDir, QStringList& out);
  void found(const QString& path, QStringList& out);

  QString filesDb_;
  CaptionSink setCaption_;
  int scanProgressCounter_ = 0;
  qint64 foldersFound_ = 0;
  qint64 foldersAdded_ = 0;
};

}  // namespace corvane::selection
