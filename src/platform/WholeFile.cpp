#include "platform/WholeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace corvane::platform {

namespace {

std::atomic<bool> g_unnamed{true};

std::mutex g_hookMutex;
std::function<void(const QString&)> g_beforeNaming;

const QByteArray kTempPrefix = QByteArrayLiteral(".corvane-tmp-");

// A short name of our own: the target's name plus a suffix could pass the length a name may
// have. The writer holds a lock on the file while it lives, which is how a later run tells a
// leftover from a file still being written.
QByteArray temporaryName() {
  static std::atomic<unsigned> counter{0};
  return kTempPrefix + QByteArray::number(::getpid()) + '-' + QByteArray::number(counter.fetch_add(1));
}

bool isTemporaryName(const char* name) {
  if (std::strncmp(name, kTempPrefix.constData(), size_t(kTempPrefix.size())) != 0) return false;
  const char* p = name + kTempPrefix.size();
  int dashes = 0, digits = 0;
  for (; *p; ++p) {
    if (*p == '-' && digits > 0 && dashes == 0) {
      ++dashes;
      digits = 0;
    } else if (*p >= '0' && *p <= '9') {
      ++digits;
    } else {
      return false;
    }
  }
  return dashes == 1 && digits > 0;
}

// "<target>.XXXXXX": the pattern of mkstemp (letters and digits) and of Qt's QSaveFile and
// QTemporaryFile (letters only), which earlier versions wrote through.
bool isEarlierTemporaryName(const char* name, const QByteArray& target) {
  if (target.isEmpty() || std::strncmp(name, target.constData(), size_t(target.size())) != 0) return false;
  const char* p = name + target.size();
  if (*p++ != '.') return false;
  for (int i = 0; i < 6; ++i, ++p)
    if (!((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9'))) return false;
  return *p == '\0';
}

// An unnamed file is given its name through its descriptor's entry in /proc.
QByteArray procPath(int fd) { return "/proc/self/fd/" + QByteArray::number(fd); }

bool unnamedAllowed() {
  static const bool procThere = ::access("/proc/self/fd", X_OK) == 0;
  return procThere && g_unnamed.load();
}

// No right to add a file to the folder (as opposed to no room, or no such folder).
bool isRefused(int e) { return e == EACCES || e == EPERM; }

void runBeforeNamingHook(const QString& path) {
  std::function<void(const QString&)> hook;
  {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    hook = g_beforeNaming;
  }
  if (hook) hook(path);
}

}  // namespace

bool isDiskFull(int errorNumber) { return errorNumber == ENOSPC || errorNumber == EDQUOT; }

QString writeErrorText(int errorNumber) {
  if (isDiskFull(errorNumber)) return QStringLiteral("the disk is full");
  return QString::fromLocal8Bit(std::strerror(errorNumber));
}

mode_t currentUmask() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (status.open(QIODevice::ReadOnly))
    for (const QByteArray& line : status.readAll().split('\n'))
      if (line.startsWith("Umask:")) {
        bool ok = false;
        const uint m = line.mid(6).trimmed().toUInt(&ok, 8);
        if (ok) return mode_t(m);
      }
  return mode_t(022);
}

void setUnnamedTemporaries(bool allowed) { g_unnamed.store(allowed); }

void setBeforeNamingHook(std::function<void(const QString& path)> hook) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_beforeNaming = std::move(hook);
}

void removeLeftoverTemporaries(int folderFd, const QByteArray& earlierTarget) {
  const int copy = ::dup(folderFd);
  if (copy < 0) return;
  DIR* dir = ::fdopendir(copy);
  if (!dir) {
    ::close(copy);
    return;
  }
  const uid_t me = ::geteuid();
  while (const dirent* d = ::readdir(dir)) {
    const bool ours = isTemporaryName(d->d_name);
    if (!ours && !isEarlierTemporaryName(d->d_name, earlierTarget)) continue;
    struct stat st {};
    // Only a regular file of this user is opened at all (opening a device can act on it).
    if (::fstatat(folderFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_uid != me)
      continue;
    // A user's own file can have such a name ("Config.txt.backup"): one that is not exactly as
    // mkstemp made it (0600: mode bits given since rule it out) or that has another name too (a
    // hard link) is not taken for ours.
    if (!ours && ((st.st_mode & 07777) != 0600 || st.st_nlink != 1)) continue;
    const int fd = ::openat(folderFd, d->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened {};
    // The lock is free only when the writer that made the file is gone.
    if (::fstat(fd, &opened) == 0 && opened.st_ino == st.st_ino && opened.st_dev == st.st_dev &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlinkat(folderFd, d->d_name, 0);  // unlink never follows a link
    ::close(fd);
  }
  ::closedir(dir);
}

WholeFileWriter::WholeFileWriter(const QString& path, WholeFileOptions options)
    : options_(options), shownPath_(QDir::toNativeSeparators(path)), name_(QFile::encodeName(QFileInfo(path).fileName())) {}

WholeFileWriter::WholeFileWriter(int folderFd, const QByteArray& name, WholeFileOptions options)
    : options_(options), shownPath_(QFile::decodeName(name)), folder_(folderFd), name_(name) {}

WholeFileWriter::~WholeFileWriter() {
  discard();
  if (ownFolder_ && folder_ >= 0) ::close(folder_);
}

bool WholeFileWriter::fail(int errorNumber) {
  if (error_ == 0) error_ = errorNumber != 0 ? errorNumber : EIO;
  return false;
}

bool WholeFileWriter::diskFull() const { return isDiskFull(error_); }

QString WholeFileWriter::reason() const { return error_ ? writeErrorText(error_) : QString(); }

QString WholeFileWriter::errorString() const { return shownPath_ + QStringLiteral(": ") + reason(); }

bool WholeFileWriter::openFolder() {
  if (folder_ >= 0) return true;
  folder_ = ::open(QFile::encodeName(QFileInfo(shownPath_).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) return fail(errno);
  ownFolder_ = true;
  return true;
}

bool WholeFileWriter::open() {
  if (fd_ >= 0) return true;
  if (name_.isEmpty()) return fail(EISDIR);
  if (!openFolder()) return false;
  if (options_.removeLeftovers) removeLeftoverTemporaries(folder_, options_.earlierTemporaries ? name_ : QByteArray());

  struct stat old {};
  const bool oldIsFile = ::fstatat(folder_, name_.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
  mode_ = options_.mode ? *options_.mode : oldIsFile ? (old.st_mode & 07777) : (0666 & ~currentUmask());

  // Created 0600: whatever it will hold, nobody else reads it while it is written.
  int e = 0;
  if (unnamedAllowed()) {
    fd_ = ::openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      ::flock(fd_, LOCK_EX);
      return true;
    }
    e = errno;
  }
  if (!isRefused(e)) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      const QByteArray name = temporaryName();
      fd_ = ::openat(folder_, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd_ >= 0) {
        tempName_ = name;
        ::flock(fd_, LOCK_EX);
        return true;
      }
      e = errno;
      if (e != EEXIST) break;
    }
  }
  if (isRefused(e) && options_.rewriteInPlace && oldIsFile) return openInPlace();
  return fail(e);
}

bool WholeFileWriter::openInPlace() {
  fd_ = ::openat(folder_, name_.constData(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return fail(errno);
  inPlace_ = true;
  return true;
}

bool WholeFileWriter::write(const char* data, qsizetype size) {
  if (fd_ < 0) return fail(EBADF);
  if (error_) return false;
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size_t(size));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(n < 0 ? errno : EIO);
    data += n;
    size -= n;
    written_ += n;
  }
  return true;
}

bool WholeFileWriter::commit() {
  if (fd_ < 0) return fail(EBADF);
  auto failed = [this](int e) {
    fail(e);
    discard();
    return false;
  };
  if (error_) return failed(error_);

  if (inPlace_) {
    if (::ftruncate(fd_, written_) != 0) return failed(errno);
    if (options_.sync && ::fsync(fd_) != 0) return failed(errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    return closed == 0 || fail(errno);
  }

  if (::fchmod(fd_, mode_) != 0) return failed(errno);
  if (options_.sync && ::fsync(fd_) != 0) return failed(errno);
  runBeforeNamingHook(shownPath_);

  if (tempName_.isEmpty()) {
    if (::linkat(AT_FDCWD, procPath(fd_).constData(), folder_, name_.constData(), AT_SYMLINK_FOLLOW) == 0) {
      const int closed = ::close(fd_);
      fd_ = -1;
      if (closed != 0) {
        const int e = errno;
        ::unlinkat(folder_, name_.constData(), 0);  // there was no file of that name before
        return fail(e);
      }
      return !options_.sync || ::fsync(folder_) == 0 || fail(errno);
    }
    // An old file is in the way: the new one takes a name of our own and replaces it below.
    for (int attempt = 0; attempt < 100 && tempName_.isEmpty() && errno == EEXIST; ++attempt) {
      const QByteArray name = temporaryName();
      if (::linkat(AT_FDCWD, procPath(fd_).constData(), folder_, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        tempName_ = name;
    }
    if (tempName_.isEmpty()) return failed(errno);
  }
  // Synced, the file is renamed while its lock is held, so no other run takes it for a
  // leftover. Unsynced, it is closed first: some file systems report a failed write only then.
  if (!options_.sync) {
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) return failed(errno);
  }
  if (::renameat(folder_, tempName_.constData(), folder_, name_.constData()) != 0) return failed(errno);
  tempName_.clear();
  if (fd_ >= 0) {
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) return fail(errno);
  }
  return !options_.sync || ::fsync(folder_) == 0 || fail(errno);
}

void WholeFileWriter::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tempName_.isEmpty() && folder_ >= 0) ::unlinkat(folder_, tempName_.constData(), 0);
  tempName_.clear();
}

bool writeWholeFile(const QString& path, const QByteArray& data, const WholeFileOptions& options, QString* error) {
  WholeFileWriter out(path, options);
  if (out.open() && out.write(data) && out.commit()) return true;
  if (error) *error = out.errorString();
  return false;
}

bool replaceFile(const QString& from, const QString& to, QString* error) {
  if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
    if (error) *error = QDir::toNativeSeparators(to) + QStringLiteral(": ") + writeErrorText(errno);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const int folder = ::open(QFile::encodeName(QFileInfo(to).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

bool makeFolders(const QString& path, mode_t mode, QString* error) {
  const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  const QStringList pieces = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  // Never wider than the mode, narrower where the umask says so, but always open to its owner.
  const mode_t wanted = (mode & ~currentUmask()) | (mode & 0700);
  auto failed = [error](const QString& level, int e) {
    if (error) *error = QDir::toNativeSeparators(level) + QStringLiteral(": ") + writeErrorText(e);
    return false;
  };
  QString level;
  for (const QString& piece : pieces) {
    level += QLatin1Char('/') + piece;
    const QByteArray native = QFile::encodeName(level);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) continue;
      return failed(level, ENOTDIR);
    }
    // Made with no more than the mode allows (a umask of 0 opens nothing), then given its
    // owner's rights should the umask have taken them.
    if (::mkdir(native.constData(), mode) != 0) {
      const int e = errno;
      if (e == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
      return failed(level, e);
    }
    if (::stat(native.constData(), &st) != 0) return failed(level, errno);
    if ((st.st_mode & 07777) != wanted && ::chmod(native.constData(), wanted) != 0) return failed(level, errno);
  }
  return true;
}

}  // namespace corvane::platform
