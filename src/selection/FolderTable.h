#pragma once
// The Folder table of Files.db: one row per folder with the two backup flags, the folder
// rows of one drive as the backup tree reads them, and the folder list of the download tree.
// Folder paths keep the Windows form ("C:\Data", a drive root is "C:") and are stored with
// each "'" doubled; every value reaches SQL bound.
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>
#include <optional>

#include "store/Database.h"

namespace corvane::selection {

// Bu: the folder's own files of the ticked extensions; BuAll: every file of the folder.
struct FolderFlags {
  bool Bu = false;
  bool BuAll = false;
  bool operator==(const FolderFlags&) const = default;
};

// The backup mode lives in the caption of btnBackupMode.
inline const QString kFolderFileCaption = QStringLiteral("Folder/File Backup");
inline const QString kFullFolderCaption = QStringLiteral("Full Folder Backup");

// True when the caption selects BuAll ("Full Folder Backup"); anything else selects Bu.
inline bool isFullFolderMode(const QString& caption) { return caption == kFullFolderCaption; }
// The flag the mode shows and edits.
inline bool modeFlag(const QString& caption, const FolderFlags& f) {
  return isFullFolderMode(caption) ? f.BuAll : f.Bu;
}
// The flags a tick writes: the mode's flag follows the tick, the other one is cleared.
inline FolderFlags flagsForTick(const QString& caption, bool ticked) {
  return isFullFolderMode(caption) ? FolderFlags{false, ticked} : FolderFlags{ticked, false};
}

// "C:\Data\" -> "C:\Data", "C:\" -> "C:".
QString withoutTrailingBackslash(const QString& path);

// The flags of one folder's row; nullopt when the folder has no row. Retries while busy.
std::optional<FolderFlags> DBSelectFolder(const QString& filesDb, const QString& folder,
                                          store::RetryPolicy policy = {100, 3000});

// Sets the flags of the folder's row (every row of that name); no row, nothing is written.
// Returns the number of rows changed. The second form writes through a connection the caller
// holds (inside its transaction).
int DBUpdateBuandBuAll(const QString& filesDb, const QString& folder, const FolderFlags& flags);
int DBUpdateBuandBuAll(store::DBConnection& db, const QString& folder, const FolderFlags& flags);

// Sets the flags of the folder and of every folder below it (for "C:" the whole drive), in
// one transaction. Returns the number of rows changed.
int DBUpdateBusandBusAll(const QString& filesDb, const QString& folder, const FolderFlags& flags);
int DBUpdateBusandBusAll(store::DBConnection& db, const QString& folder, const FolderFlags& flags);

// Reads the flags of one folder after another through one statement prepared on the caller's
// connection.
class FolderFlagReader {
 public:
  explicit FolderFlagReader(store::DBConnection& db);
  // The flags of the folder's first row ("C:", "C:\Data"), nullopt when it has none.
  std::optional<FolderFlags> operator()(const QString& folder);

 private:
  store::DBCommand read_;
};

// One direct child of a tree node: key "C:\Data", text "Data", the child's own flags (both
// false when the child has no row of its own).
struct ChildNode {
  QString key;
  QString text;
  FolderFlags flags;
};

// Reads the direct children of tree nodes from Folder, a node at a time, through one
// connection for all the nodes read by one object (one expansion of the tree). Each read asks
// the index for the node's rows only, so a node costs what lies below it, not the whole drive.
class FolderChildren {
 public:
  explicit FolderChildren(QString filesDb, store::RetryPolicy policy = {});
  ~FolderChildren();
  FolderChildren(const FolderChildren&) = delete;
  FolderChildren& operator=(const FolderChildren&) = delete;

  // The direct children of a node key ("C:\", "C:\Data", with or without the trailing
  // backslash), each once, in the order of their first row, with the child's own flags (both
  // false when the child has no row of its own). Retries a bounded while when busy; throws
  // store::DBError otherwise.
  QVector<ChildNode> SelectChildNodes(const QString& key);

 private:
  struct Reader;
  QString filesDb_;
  store::RetryPolicy policy_;
  std::unique_ptr<Reader> reader_;
};

// The flags of each of the folders ("C:", "C:\Data") that has a row (the first row of a name
// counts); folders without a row are left out. One connection for all.
QHash<QString, FolderFlags> DBSelectFolderFlags(const QString& filesDb, const QStringList& folders,
                                                store::RetryPolicy policy = {});

// The smallest text above every text that begins with prefix (which ends in an ASCII
// character), so that "x >= prefix AND x < prefixEnd(prefix)" picks, through an index, the
// texts that begin with prefix.
QString prefixEnd(const QString& prefix);

// The folder list of the download tree (read from a catalogue database). Entries past the
// count of the last read keep what they held; callers empty the lists first.
class DownloadNodes {
 public:
  QStringList DLRawNodeNames;  // "C:\Data\" ... (plain form, backslash appended)
  QStringList DLNodeNames;     // filled by the restore tree

  void ClearDLNodeArrays();
  // Distinct folders of uploaded files of the catalogue DBDName whose path begins with
  // DLNodename. strReturn "OK" with rows; "" with none (nothing changes); the error text on a
  // failure (outputs as they stand).
  void DBSelectDLNodes(const QString& DLNodename, int& DLRawNodeCount, const QString& DBDName, QString& strReturn);
  // The same on an open connection (the restore tree's job reads on connections of its own).
  void DBSelectDLNodes(store::DBConnection& db, const QString& DLNodename, int& DLRawNodeCount, QString& strReturn);
};

}  // namespace corvane::selection
