#include "filecopy/FolderCopier.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "filecopy/AtomicCopy.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "platform/RunAside.h"
#include "platform/WholeFile.h"
#include "platform/Wait.h"

namespace corvane::filecopy {

namespace {

const QString kWindowTitle = QStringLiteral("File Copy Utility");

QString withTrailingSlash(const QString& path) {
  return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

// Canonical form of a path that may not exist yet: the nearest existing ancestor is resolved
// (links included) and the missing rest appended.
QString resolvedPath(const QString& path) {
  QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  QStringList missing;
  while (!QFileInfo::exists(existing)) {
    const QFileInfo info(existing);
    const QString parent = info.path();
    if (parent == existing) break;
    missing.prepend(info.fileName());
    existing = parent;
  }
  QString resolved = QFileInfo(existing).canonicalFilePath();
  if (resolved.isEmpty()) resolved = existing;
  for (const QString& piece : missing) resolved = withTrailingSlash(resolved) + piece;
  return QDir::cleanPath(resolved);
}

bool isSameOrInside(const QString& path, const QString& folder) {
  return path == folder || path.startsWith(withTrailingSlash(folder));
}

qint64 msOf(const struct timespec& t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; }

// The mount a descriptor lies on, so that a walk stays on its own even where a folder is bound
// onto another of the same device; 0 when the system cannot tell.
quint64 mountOf(int fd) {
#ifdef STATX_MNT_ID
  struct statx sx {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) == 0 && (sx.stx_mask & STATX_MNT_ID)) return sx.stx_mnt_id;
#endif
  return 0;
}

// How often a file that changes while it is copied is read before it is listed as failed.
constexpr int kChangedFileAttempts = 3;

// Syncs the file system of the folder descriptor while the window keeps painting (many
// copies can take seconds to reach a slow disk). 0, or the errno of the failure.
int syncPainting(int folder) {
  int error = 0;
  platform::runAside([&](const std::atomic<bool>&) { error = ::syncfs(folder) == 0 ? 0 : errno; },
                     [] {
                       platform::keepResponsive();
                       return true;
                     },
                     20);
  return error;
}

struct Entry {
  QByteArray name;
  unsigned char type;  // DT_* of the listing
};

// The folder's entries in name order (bytes), "." and ".." left out; 0, or the errno when it
// cannot be read.
int listFolder(int dirFd, std::vector<Entry>& out) {
  const int copy = ::dup(dirFd);
  if (copy < 0) return errno;
  DIR* dir = ::fdopendir(copy);
  if (!dir) {
    const int e = errno;
    ::close(copy);
    return e;
  }
  errno = 0;
  while (const dirent* d = ::readdir(dir)) {
    if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
    out.push_back({QByteArray(d->d_name), d->d_type});
  }
  const int e = errno;
  ::closedir(dir);
  std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return e;
}

QString notRegularText() { return QStringLiteral("Not a regular file"); }

// The mode a folder is made with while its contents are copied: no wider than the source's or
// than the umask allows, never writable by others or carrying special bits before the end, always
// the owner's to fill. A folder a killed copy left keeps it (the next copy finds it there and
// leaves its mode alone), so it must not shut out those the source lets in.
mode_t makingMode(const struct stat& source, mode_t umask) { return (source.st_mode & 0755 & ~umask) | 0700; }

// Makes the folder and its missing parents, as mkdir -p does: 0, or the errno of the first level
// that could not be made (so that a copy's failure names the cause: no right, no room).
int makePath(const QString& path) {
  QString level;
  for (const QString& piece : QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    level += QLatin1Char('/') + piece;
    const QByteArray native = QFile::encodeName(level);
    if (::mkdir(native.constData(), 0777) == 0) continue;
    if (errno != EEXIST) return errno;
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  }
  return 0;
}

}  // namespace

// One folder of the walk: the source folder open, and the matching destination folder, opened
// (or made) only when a file needs it.
struct FolderCopier::Level {
  Level* parent = nullptr;
  QByteArray name;  // within the parent (empty at the top)
  QString display;  // as shown, ending in its separator
  QString native;   // for the progress caption
  int source = -1;
  struct stat sourceStat {};
  int destination = -1;
  bool destinationMissing = false;  // known not to exist (so neither do the files in it)
  int destinationError = 0;         // why the destination folder could not be made or opened
  bool created = false;             // the destination folder was made by this walk
  bool changed = false;             // an entry of the destination folder was added or replaced
  bool swept = false;               // leftovers of a killed earlier copy were looked for
  ~Level() {
    if (source >= 0) ::close(source);
    if (destination >= 0) ::close(destination);
  }
};

TypedFolder resolveTypedFolder(const QString& text) {
  TypedFolder f;
  const QString t = text.trimmed();
  if (platform::isWindowsDrivePath(t)) {
    f.separator = QLatin1Char('\\');
    QString shown = t;
    shown.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (!shown.endsWith(QLatin1Char('\\'))) shown += QLatin1Char('\\');
    f.display = shown;
    if (const auto native = platform::pathMap().toNative(t)) f.native = QDir::cleanPath(*native);
    return f;
  }
  f.separator = QLatin1Char('/');
  if (t.isEmpty()) return f;
  f.native = QDir::cleanPath(QFileInfo(t).absoluteFilePath());
  f.display = withTrailingSlash(f.native);
  return f;
}

QString scannedCaption(qint64 count, const QString& folder) {
  QString drive;
  if (const auto windows = platform::pathMap().toWindows(folder)) {
    drive = windows->left(3);
    if (drive.size() == 2) drive += QLatin1Char('\\');
  } else {
    drive = QStorageInfo(folder).rootPath();
    if (drive.isEmpty()) drive = folder.left(3);
  }
  return QStringLiteral("Corvane Scanned ") + QLocale(QLocale::English, QLocale::UnitedStates).toString(count) +
         QStringLiteral(" Files on drive ") + drive;
}

bool isNewerByMoreThanOneSecond(qint64 sourceMs, qint64 copyMs) { return sourceMs > copyMs + 1000; }

FolderCopier::FolderCopier(CopyObserver observer) : observer_(std::move(observer)) {}

QString FolderCopier::refusalReason(const QString& sourceText, const QString& destinationText) {
  const QString sourceTyped = sourceText.trimmed();
  const QString destinationTyped = destinationText.trimmed();
  if (sourceTyped.isEmpty()) return QStringLiteral("Please enter the source folder.");
  if (destinationTyped.isEmpty()) return QStringLiteral("Please enter the destination folder.");
  const TypedFolder source = resolveTypedFolder(sourceTyped);
  const TypedFolder destination = resolveTypedFolder(destinationTyped);
  if (source.native.isEmpty() || !QFileInfo(source.native).isDir())
    return QStringLiteral("The source folder does not exist: ") + sourceTyped;
  if (destination.native.isEmpty())
    return QStringLiteral("The destination folder is not on a known drive: ") + destinationTyped;
  if (isSameOrInside(resolvedPath(destination.native), resolvedPath(source.native)))
    return QStringLiteral("The destination folder must not be the source folder or lie inside it.");
  return {};
}

CopyOutcome FolderCopier::run(const QString& sourceText, const QString& destinationText) {
  if (running_) return CopyOutcome::Busy;
  const QString reason = refusalReason(sourceText, destinationText);
  if (!reason.isEmpty()) {
    platform::showMessage(reason, kWindowTitle, platform::MsgButtons::Ok, platform::MsgIcon::Warning);
    return CopyOutcome::Refused;
  }
  source_ = resolveTypedFolder(sourceText);
  destination_ = resolveTypedFolder(destinationText);
  stopRequested_ = false;
  aborted_ = false;
  stoppedEarly_ = false;
  wroteAnything_ = false;
  filesSeen_ = filesCopied_ = filesFailed_ = 0;
  umask_ = platform::currentUmask();

  running_ = true;
  Level top;
  top.display = source_.display;
  top.native = withTrailingSlash(source_.native);
  top.source = ::open(QFile::encodeName(source_.native).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (top.source < 0 || ::fstat(top.source, &top.sourceStat) != 0) {
    scanError(top.display, errno);
  } else {
    sourceDevice_ = top.sourceStat.st_dev;
    sourceMount_ = mountOf(top.source);
    // A folder that cannot be made shows up as failed copies of its files.
    top.created = !QFileInfo::exists(destination_.native);
    const int made = makePath(destination_.native);
    top.destination = ::open(QFile::encodeName(destination_.native).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top.destination < 0) top.destinationError = made ? made : errno;
    top.destinationMissing = top.destination < 0;
    if (top.created && top.destination >= 0) ::fchmod(top.destination, makingMode(top.sourceStat, umask_));
    copyFolderTree(top);
    finishFolder(top);
  }
  // One sync for the whole copy instead of one per file: every renamed copy is on the disk
  // before the walk says it is done, or the failure is listed.
  if (wroteAnything_ && top.destination >= 0) {
    if (const int e = syncPainting(top.destination))
      fail(destination_.display, QStringLiteral("not all copies reached the disk: ") + errnoText(e));
  }
  running_ = false;
  return stoppedEarly_ ? CopyOutcome::Stopped : CopyOutcome::Finished;
}

void FolderCopier::copyFolderTree(Level& level) {
  std::vector<Entry> entries;
  if (const int e = listFolder(level.source, entries)) {
    scanError(level.display, e);
    return;
  }
  std::vector<QByteArray> folders;
  for (Entry& e : entries) {
    if (e.type == DT_UNKNOWN) {
      struct stat st {};
      if (::fstatat(level.source, e.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        e.type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
    }
    if (e.type == DT_DIR) {
      if (!e.name.startsWith('.')) folders.push_back(e.name);
      continue;
    }
    if (e.type == DT_LNK) {
      // A link to a folder is never entered; a link to a file is copied as the file.
      struct stat target {};
      if (::fstatat(level.source, e.name.constData(), &target, 0) == 0 && S_ISDIR(target.st_mode)) continue;
    }
    if (aborted_) {
      stoppedEarly_ = true;
      return;
    }
    copyOneFile(level, e.name);
  }

  for (const QByteArray& name : folders) {
    if (stopRequested_) {
      stoppedEarly_ = true;
      return;
    }
    Level child;
    child.parent = &level;
    child.name = name;
    child.display = level.display + QFile::decodeName(name) + source_.separator;
    child.native = level.native + QFile::decodeName(name) + QLatin1Char('/');
    child.source = ::openat(level.source, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child.source < 0 || ::fstat(child.source, &child.sourceStat) != 0) {
      scanError(child.display, errno);
      continue;
    }
    // Another disk, a system folder such as /proc, or a folder bound onto this one: not walked.
    if (child.sourceStat.st_dev != sourceDevice_) continue;
    if (sourceMount_ != 0 && mountOf(child.source) != sourceMount_) continue;
    child.destinationMissing = level.destinationMissing;
    if (!child.destinationMissing && level.destination >= 0) {
      child.destination =
          ::openat(level.destination, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      // Missing is made when a file needs it; anything else in the way fails that file.
      child.destinationMissing = child.destination < 0 && errno == ENOENT;
      if (child.destination < 0 && !child.destinationMissing) child.destinationError = errno;
    }
    copyFolderTree(child);
    finishFolder(child);
  }
}

void FolderCopier::finishFolder(Level& level) {
  if (level.destination < 0 || !(level.created || level.changed)) return;
  // As cp -a does, once the folder's contents are in place (each of them moved its time): the
  // source folder's times, and for a folder made here its permissions.
  const struct timespec times[2] = {level.sourceStat.st_atim, level.sourceStat.st_mtim};
  ::futimens(level.destination, times);
  struct stat made {};
  if (level.created && ::fstat(level.destination, &made) == 0)
    ::fchmod(level.destination, keptMode(level.sourceStat, made));
}

int FolderCopier::destinationFolder(Level& level, int* error) {
  if (level.destination >= 0) return level.destination;
  if (!level.parent || !level.destinationMissing) {
    *error = level.destinationError ? level.destinationError : ENOTDIR;
    return -1;
  }
  const int parent = destinationFolder(*level.parent, error);
  if (parent < 0) return -1;
  // It takes the source's mode in full at the end.
  const bool made = ::mkdirat(parent, level.name.constData(), makingMode(level.sourceStat, umask_)) == 0;
  if (!made && errno != EEXIST) {
    *error = errno;
    return -1;
  }
  level.destination = ::openat(parent, level.name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (level.destination < 0) {
    *error = errno;
    return -1;
  }
  level.destinationMissing = false;
  level.created = made;
  level.parent->changed = true;
  return level.destination;
}

void FolderCopier::copyOneFile(Level& level, const QByteArray& name) {
  ++filesSeen_;
  const QString shown = level.display + QFile::decodeName(name);
  auto keepGoing = [this] {
    platform::keepResponsive();
    return !aborted_;
  };
  QString why;
  auto copy = [&](int destination) {
    if (!level.swept) {
      platform::removeLeftoverTemporaries(destination);
      level.swept = true;
    }
    for (int attempt = 1;; ++attempt) {
      const CopyResult r = copyEntry(level.source, name, destination, keepGoing, &why);
      if (r == CopyResult::Interrupted) stoppedEarly_ = true;
      if (r == CopyResult::Changed) why = QStringLiteral("it kept changing while it was copied");
      // A file that is being written to is read again; one that never holds still fails.
      if (r != CopyResult::Changed || attempt == kChangedFileAttempts) return r == CopyResult::Copied;
    }
  };

  bool copied = false;
  struct stat target {};
  const bool exists = !level.destinationMissing && level.destination >= 0 &&
                      ::fstatat(level.destination, name.constData(), &target, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists) {
    struct stat source {};
    // The source may be a link to a file: its file's time counts.
    if (!S_ISREG(target.st_mode)) {
      fail(shown, S_ISDIR(target.st_mode) ? QStringLiteral("a folder of that name is in the way") : notRegularText());
    } else if (::fstatat(level.source, name.constData(), &source, 0) != 0) {
      fail(shown, errnoText(errno));
    } else if (!S_ISREG(source.st_mode)) {
      fail(shown, notRegularText());
    } else if (isNewerByMoreThanOneSecond(msOf(source.st_mtim), msOf(target.st_mtim))) {
      if (copy(level.destination))
        copied = true;
      else if (!aborted_)
        fail(shown, why);
    }
    report(observer_.fileChecked, shown);
  } else {
    int folderError = 0;
    const int destination = destinationFolder(level, &folderError);
    if (destination < 0)
      fail(shown, QStringLiteral("its folder cannot be made: ") + errnoText(folderError));
    else if (copy(destination))
      copied = true;
    else if (!aborted_)
      fail(shown, why);
  }
  if (copied) {
    ++filesCopied_;
    wroteAnything_ = true;
    level.changed = true;
    report(observer_.fileCopied, shown);
  }
  platform::keepResponsive();

  if (filesSeen_ % 1000 == 0) {
    report(observer_.progress, scannedCaption(filesSeen_, level.native));
    platform::keepResponsive();
  }
}

void FolderCopier::report(const std::function<void(const QString&)>& callback, const QString& text) const {
  if (callback) callback(text);
}

void FolderCopier::fail(const QString& path, const QString& reason) {
  ++filesFailed_;
  report(observer_.fileFailed, reason.isEmpty() ? path : path + QStringLiteral(" (") + reason + QLatin1Char(')'));
}

void FolderCopier::scanError(const QString& folder, int errorNumber) {
  // The walk of this folder ends here; its parents go on.
  const QString why = errnoText(errorNumber);
  platform::showMessage(QStringLiteral("Error in File Scan routine - ") + why + QStringLiteral(": ") + folder,
                        kWindowTitle, platform::MsgButtons::Ok, platform::MsgIcon::Warning);
  fail(folder, why);
}

}  // namespace corvane::filecopy
