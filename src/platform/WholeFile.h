#pragma once
// The one way this program writes a file: the data goes into a new file in the target's folder
// that has no name while it is written (where the file system makes such files; elsewhere a
// name of our own, ".corvane-tmp-..."), every write and the sync are checked, and only the
// whole file then takes the target's name, replacing the old one in one step. A full disk, a
// failed write or a killed program leave the old file as it was and no half file anywhere.
//
// Qt's QSaveFile is not used: its commit() ignores a failed flush of what it still buffers, so a
// short file on a full disk is "saved" empty.
#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace corvane::platform {

struct WholeFileOptions {
  // Permission bits of the new file (special bits included); unset: those of the file it
  // replaces, or 0666 less the umask for a new one. The file is never readable by others
  // while it is written.
  std::optional<mode_t> mode;
  // The data is synced to the disk before the file takes its name. Off only where the caller
  // syncs the whole file system itself once many files are written.
  bool sync = true;
  // Where the folder takes no new file (no right to add one) but the old file may be written,
  // the old file is rewritten in place instead (the service's command file lives in a folder
  // the installation may lock).
  bool rewriteInPlace = false;
  // Named temporary files that a killed run of ours left in the folder are removed first.
  // The copy tool does this itself, once per folder of its walk.
  bool removeLeftovers = true;
  // Earlier versions of the program wrote this very target through a temporary file beside it
  // ("<target>.XXXXXX", mkstemp's and Qt's names), which a killed run left behind (holding a key
  // or a password in the clear, some of them). Those go with ours, before the write. Only for
  // the targets that those versions wrote, in the folders they wrote them into.
  bool earlierTemporaries = false;
};

class WholeFileWriter {
 public:
  explicit WholeFileWriter(const QString& path, WholeFileOptions options = {});
  // The entry `name` of an open folder.
  WholeFileWriter(int folderFd, const QByteArray& name, WholeFileOptions options = {});
  ~WholeFileWriter();  // anything not committed is thrown away
  WholeFileWriter(const WholeFileWriter&) = delete;
  WholeFileWriter& operator=(const WholeFileWriter&) = delete;

  bool open();
  bool write(const char* data, qsizetype size);
  bool write(const QByteArray& data) { return write(data.constData(), data.size()); }
  // The open file, for callers that write or set times through system calls themselves; they
  // report a failure with fail().
  int handle() const { return fd_; }
  bool fail(int errorNumber);  // always false
  // Changes the permission bits the file will have (before commit).
  void setMode(mode_t mode) { mode_ = mode; }
  // Syncs, gives the file its name and closes it. False when anything failed; the old file is
  // then as it was and nothing of the new one is left.
  bool commit();
  void discard();

  int error() const { return error_; }  // errno of the first failure, 0 when none
  bool diskFull() const;
  // Why it failed, for a user: "the disk is full" or the system's text.
  QString reason() const;
  // The target and why it failed: "/app/Logs/Config.txt: the disk is full".
  QString errorString() const;

 private:
  bool openFolder();
  bool openInPlace();

  WholeFileOptions options_;
  QString shownPath_;
  int folder_ = -1;
  bool ownFolder_ = false;
  QByteArray name_;
  QByteArray tempName_;  // empty while the file has no name
  int fd_ = -1;
  bool inPlace_ = false;
  qint64 written_ = 0;
  mode_t mode_ = 0600;
  int error_ = 0;
};

// The whole of data as the new content of path. False on failure, with *error saying why
// (WholeFileWriter::errorString).
bool writeWholeFile(const QString& path, const QByteArray& data, const WholeFileOptions& options = {},
                    QString* error = nullptr);

// Puts the file `from` in the place of `to` in one rename: `to` is the old file or the new one at
// every moment, never missing. Both lie on one file system. False with *error on failure.
bool replaceFile(const QString& from, const QString& to, QString* error = nullptr);

// True for the errno values of a full disk (no space, quota used up).
bool isDiskFull(int errorNumber);
// A failed write's cause as a user reads it: "the disk is full", or the system's text.
QString writeErrorText(int errorNumber);

// Removes the named temporary files of ours in the folder whose writer is gone (killed part-way):
// exactly our names, regular files of this user only, never through a link. With a target name,
// also the temporaries earlier versions left beside that target: exactly the target's name, a
// dot and six letters or digits, and only a file as mkstemp made it (mode 0600, one link).
void removeLeftoverTemporaries(int folderFd, const QByteArray& earlierTarget = {});

// The process's umask, read without changing it.
mode_t currentUmask();

// Whether temporary files are made without a name where the file system allows it (the
// default); tests turn it off to exercise the named temporary files other file systems get.
void setUnnamedTemporaries(bool allowed);

// Called with the target's path right before a written file takes its name (tests pick the
// moment of a kill with it); nullptr removes it.
void setBeforeNamingHook(std::function<void(const QString& path)> hook);

// Makes the folder and every missing parent. Each folder made here gets at most `mode`, less
// what the umask takes from group and others, whatever the umask (folders that hold keys are
// made 0700: under a umask of 0 too). Folders that exist are left as they are. False with
// *error on failure.
bool makeFolders(const QString& path, mode_t mode, QString* error = nullptr);

}  // namespace corvane::platform
