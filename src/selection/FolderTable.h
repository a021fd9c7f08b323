#pragma once
// The Folder table of Files.db: one row per folder with the two backup flags, the folder
// rows of one drive as the backup tree reads them, and the folder list of the download tree.
// Folder paths keep the Windows form ("C:\Data", a drive root is "C:") and are stored with
// each "'" doubled; every value reaches SQL bound.
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

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
std::optional<FolderFlags> DBSelectFolder(const QString& filesDb, const QString& folder);

// Sets the flags of the folder's row (every row of that name); no row, nothing is written.
// Returns the number of rows changed.
int DBUpdateBuandBuAll(const QString& filesDb, const QString& folder, const FolderFlags& flags);

// Sets the flags of the folder and of every folder below it (for "C:" the whole drive), in
// one transaction. Returns the number of rows changed.
int DBUpdateBusandBusAll(const QString& filesDb, const QString& folder, const FolderFlags& flags);

// One Folder row as the tree reads it: the plain path with a backslash appended.
struct RawNode {
  QString name;
  FolderFlags flags;
};

// Every row whose path begins with the node name ("C:" gives the whole drive), ordered by path.
QVector<RawNode> DBSelectNodes(const QString& filesDb, const QString& nodename);

// One direct child of a tree node: key "C:\Data", text "Data", the child's own flags (both
// false when the child has no row of its own).
struct ChildNode {
  QString key;
  QString text;
  FolderFlags flags;
};

// The raw rows of one drive kept between expansions of the tree (the drive in LoadedDrive).
// Any write to Folder must call ClearNodeArrays so the next read sees what is stored.
class FolderRows {
 public:
  explicit FolderRows(QString filesDb = {}) : filesDb_(std::move(filesDb)) {}
  // Another database forgets the rows read from the last one.
  void setFilesDb(const QString& filesDb) {
    if (filesDb == filesDb_) return;
    filesDb_ = filesDb;
    ClearNodeArrays();
  }

  // The direct children of a node key ("C:\", "C:\Data", with or without the trailing
  // backslash), each once, in the order of their first row, with the child's own flags (both
  // false when the child has no row of its own). Reads the drive's rows when the key is on
  // another drive than the one loaded (or nothing is loaded).
  QVector<ChildNode> SelectChildNodes(const QString& key);
  // Reads the rows of a drive ("C:") and makes it the loaded drive.
  void LoadDrive(const QString& drive);
  // Forgets the rows and the loaded drive.
  void ClearNodeArrays();

  const QString& LoadedDrive() const { return loadedDrive_; }
  const QVector<RawNode>& RawNodes() const { return raw_; }
  int RawNodeCount() const { return static_cast<int>(raw_.size()); }

 private:
  QString filesDb_;
  QString loadedDrive_;
  QVector<RawNode> raw_;
  // Children of every folder of the loaded drive, keyed by the parent with its trailing
  // backslash, so that finding a node's children does not pass over the whole drive.
  QHash<QString, QVector<ChildNode>> children_;
};

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
};

}  // namespace corvane::selection
