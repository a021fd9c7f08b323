#pragma once
// Brings a destination folder tree up to date with a source folder tree: every file that is
// missing under the destination, or whose copy there is more than one second older, is
// copied to the same relative place. Nothing is ever deleted.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <sys/types.h>

namespace corvane::filecopy {

// What the walk reports while it runs; every member may be left empty. Paths are shown in the
// form the source was given in ("C:\Data\a.txt" or "/srv/c/Data/a.txt").
struct CopyObserver {
  std::function<void(const QString& path)> fileChecked;  // an existing copy was compared
  std::function<void(const QString& path)> fileCopied;   // a file was written to the destination
  // A file that failed, or a folder that could not be read, with why: "C:\Data\a.txt (reason)".
  std::function<void(const QString& line)> fileFailed;
  std::function<void(const QString& caption)> progress;  // every 1000 files seen
};

enum class CopyOutcome {
  Refused,   // the folders were not acceptable; a message was shown and nothing was touched
  Busy,      // a walk of this copier is already running
  Finished,  // the whole tree was walked
  Stopped,   // a stop request ended the walk early
};

// A folder as typed: the Windows form through the drive map ("C:\Data"), or a native path.
// native is empty when a Windows-form path names no mapped drive (or holds "." or "..").
struct TypedFolder {
  QString native;   // absolute and clean, without a final "/" (except for "/")
  QString display;  // the typed form, ending in its separator, for the paths shown
  QChar separator;  // '\' for the Windows form, '/' otherwise
};
TypedFolder resolveTypedFolder(const QString& text);

class FolderCopier {
 public:
  explicit FolderCopier(CopyObserver observer = {});

  // Why the two folder texts cannot start a copy, or an empty text when they can: a box is
  // empty, the source is not an existing folder, or the destination is the source or lies
  // inside it (links resolved).
  static QString refusalReason(const QString& sourceText, const QString& destinationText);

  // Walks the source tree depth first, the files of a folder before its sub-folders. Folders
  // whose names begin with ".", links to folders and other mounted file systems are not
  // entered. Names are taken as the bytes they are, whatever their encoding. Refusals, and each
  // folder that cannot be read ("Error in File Scan routine - "), are shown through
  // platform::showMessage. Copied folders keep the source folders' times, and those made here
  // its permissions, as cp -a does. Lets the window system process pending events after
  // every file (and during a large one). The destination is synced once, at the end.
  CopyOutcome run(const QString& sourceText, const QString& destinationText);

  // Honoured before the walk enters its next sub-folder: the files of the current folder
  // are still all processed.
  void requestStop() { stopRequested_ = true; }
  // Ends the walk within the file in hand, whose old copy stays as it was (used when the
  // program closes).
  void abort() {
    stopRequested_ = true;
    aborted_ = true;
  }

  bool isRunning() const { return running_; }
  qint64 filesSeen() const { return filesSeen_; }
  qint64 filesCopied() const { return filesCopied_; }
  qint64 filesFailed() const { return filesFailed_; }

 private:
  struct Level;
  void copyFolderTree(Level& level);
  void copyOneFile(Level& level, const QByteArray& name);
  int destinationFolder(Level& level, int* error);
  void finishFolder(Level& level);
  void report(const std::function<void(const QString&)>& callback, const QString& text) const;
  void fail(const QString& path, const QString& reason);
  void scanError(const QString& folder, int errorNumber);

  CopyObserver observer_;
  TypedFolder source_;
  TypedFolder destination_;
  dev_t sourceDevice_ = 0;
  quint64 sourceMount_ = 0;  // 0: the mount could not be told, the device alone decides
  bool stopRequested_ = false;
  bool aborted_ = false;
  bool stoppedEarly_ = false;
  bool running_ = false;
  bool wroteAnything_ = false;
  mode_t umask_ = 022;  // the process's, read once per copy
  qint64 filesSeen_ = 0;
  qint64 filesCopied_ = 0;
  qint64 filesFailed_ = 0;
};

// The progress caption for a count of files seen in a folder: "Corvane Scanned 1,000 Files on
// drive C:\" (the folder's drive in the stored form, or its mount point when it has none).
QString scannedCaption(qint64 count, const QString& folder);

// True when the source time is later than the copy's time plus one second (milliseconds since
// the epoch).
bool isNewerByMoreThanOneSecond(qint64 sourceMs, qint64 copyMs);

}  // namespace corvane::filecopy
