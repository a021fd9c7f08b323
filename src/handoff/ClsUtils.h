#pragma once
// Small services for the main window and the status page: the command file Config.txt read
// by the service's tray side, the caption from the setting "Status", the mirror folders under
// MirrorRootPath rebuilt from the upload log, and the folder helpers.
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "platform/AppFolder.h"
#include "store/Database.h"

namespace corvane::handoff {

class ClsUtils {
 public:
  ClsUtils();  // the process-wide application folder values
  explicit ClsUtils(const platform::AppPaths& paths);

  // The folder exists. A Windows-form path ("C:\Data") goes through the drive map first;
  // anything else is taken as a native path.
  bool IsValidPath(const QString& sFolderName) const;

  // Makes MirrorRootPath hold exactly one empty folder per folder of the upload log (C:\Data\Mail
  // -> MirrorRootPath/CDrive/Data/Mail) and their parents, nothing else, and fills the logged
  // uploads and ExcludedFolders (SharedLists). When SuccessLog.xml has no root element the
  // mirror is deleted and the lists stay; when FolderCollection.xml has none, ExcludedFolders
  // stays. Folders already in place are kept rather than deleted and made again, and nothing
  // is ever deleted through a symbolic link: a link in the mirror's place is removed itself.
  //
  // `progress` is called with the log's bytes read so far and its size, and (with 1, 1) every
  // few tens of milliseconds while the folders are removed and made on a thread of their own;
  // returning false while the log is read stops there (false is returned, the mirror and the
  // lists are as they were). Without a progress everything runs on the calling thread.
  using Progress = std::function<bool(qint64 done, qint64 total)>;
  bool CreateFolderList(const Progress& progress = {});

  // Distinct values, first spelling kept, compared without regard to letter case.
  static QStringList UniqueValues(const QStringList& origArray);

  // Creates the native folder and every missing parent, top down; a step that fails is
  // skipped (the folder is then simply missing).
  void CreateFolder(const QString& folderName) const;

  // Writes TypeLst.xml: one FileType element per non-empty entry from index 1 on. False when it
  // could not be written whole (the old list is then as it was).
  bool FileType_Details(const QStringList& extensions) const;

  // The value of the setting "Status" ("" when there is no row). A busy database is waited
  // for as the policy says, then thrown (DBError), as is any other database error.
  QString GetStatusForCaption(const QString& statusDb,
                              store::RetryPolicy policy = store::RetryPolicy{100, 3000}) const;

  // Replaces Logs/Config.txt with strConfig + CR LF. Written whole before it takes the file's
  // place, so the tray side sees the old line or the new one; where Logs takes no new file but
  // Config.txt is writable, the file is rewritten in place instead. Returns false on failure
  // (no message; *error says why, a full disk named as such), the old line then kept.
  bool WriteConfig(const QString& strConfig, QString* error = nullptr) const;

  // The last line of Logs/Tray.txt, trimmed; "" when the file is missing.
  QString ReadTray() const;
  // Every line of Logs/Status.txt joined with CR LF, trimmed; "Corvane Backup...." when missing.
  QString GetStatus() const;

  // The mirror folder of a Windows-form folder, or nullopt when the folder has no drive
  // prefix ("X:\") or a piece "." or ".." (it could land outside the mirror root).
  static std::optional<QString> mirrorFolderFor(const QString& mirrorRoot, const QString& windowsFolder);

  const platform::AppPaths& paths() const { return paths_; }

 private:
  platform::AppPaths paths_;
};

// Logs/SuccessLog.xml under the given logs folder; in the development tree the piece
// "ExeSource/CorvaneUI/" is not where the service writes it, so it is removed.
QString successLogPath(const QString& logsFolder);

}  // namespace corvane::handoff
