#pragma once
// Brings a destination folder tree up to date with a source folder tree: every file that is
// missing under the destination, or whose copy there is more than one second older, is
// copied to the same relative place. Nothing is ever deleted.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

namespace corvane::filecopy {

// What the walk reports while it runs; every member may be left empty.
struct CopyObserver {
  std::function<void(const QString& path)> fileChecked;  // an existing copy was compared
  std::function<void(const QString& path)> fileCopied;   // a file was written to the destination
  std::function<void(const QString& path)> fileFailed;   // a file, or a folder that could not be read
  std::function<void(const QString& caption)> progress;  // every 1000 files seen
};

enum class CopyOutcome {
  Refused,   // the folders were not acceptable; a message was shown and nothing was touched
  Busy,      // a walk of this copier is already running
  Finished,  // the whole tree was walked
  Stopped,   // a stop request ended the walk early
};

class FolderCopier {
 public:
  explicit FolderCopier(CopyObserver observer = {});

  // Why the two folder texts cannot start a copy, or an empty text when they can: a box is
  // empty, the source is not an existing folder, or the destination is the source or lies
  // inside it (links resolved).
  static QString refusalReason(const QString& sourceText, const QString& destinationText);

  // Walks the source tree depth first, the files of a folder before its sub-folders. Folders
  // whose names begin with "." and links to folders are not entered. Refusals are shown
  // through platform::showMessage. Lets the window system process pending events after
  // every file.
  CopyOutcome run(const QString& sourceText, const QString& destinationText);

  // Honoured before the walk enters its next sub-folder: the files of the current folder
  // are still all processed.
  void requestStop() { stopRequested_ = true; }
  // Ends the walk after the file in hand (used when the program closes).
  void abort() {
    stopRequested_ = true;
    aborted_ = true;
  }

  bool isRunning() const { return running_; }
  qint64 filesSeen() const { return filesSeen_; }
  qint64 filesCopied() const { return filesCopied_; }
  qint64 filesFailed() const { return filesFailed_; }

 private:
  void copyFolderTree(const QString& folder);
  void copyFolderFiles(const QString& folder, const QStringList& fileNames);
  void copyOneFile(const QString& folder, const QString& name);
  void report(const std::function<void(const QString&)>& callback, const QString& text) const;
  void fail(const QString& path);

  CopyObserver observer_;
  QString source_;       // absolute, ends in "/"
  QString destination_;  // absolute, ends in "/"
  bool stopRequested_ = false;
  bool aborted_ = false;
  bool stoppedEarly_ = false;  // a stop request actually cut the walk short
  bool running_ = false;
  qint64 filesSeen_ = 0;
  qint64 filesCopied_ = 0;
  qint64 filesFailed_ = 0;
};

// The path with a final "/" (unchanged when it already ends in one).
QString withTrailingSlash(const QString& path);

// The progress caption for a count of files seen in a folder: "Corvane Scanned 1,000 Files on
// drive C:\" (the folder's drive in the stored form, or its mount point when it has none).
QString scannedCaption(qint64 count, const QString& folder);

// True when the source time is later than the copy's time plus one second.
bool isNewerByMoreThanOneSecond(const QDateTime& sourceTime, const QDateTime& copyTime);

// Copies a regular file onto target (replacing it only once the new copy is complete) and
// gives the copy the source's modification time and permissions. Anything that is not a
// regular file (pipe, socket, device) is refused without being opened. On failure the target
// is left as it was and error says why.
bool copyFileKeepingTime(const QString& from, const QString& to, QString* error = nullptr);

}  // namespace corvane::filecopy
