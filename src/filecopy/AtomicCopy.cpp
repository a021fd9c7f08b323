#include "filecopy/AtomicCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace corvane::filecopy {

QString errnoText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

namespace {

// Closes a descriptor on every way out.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  int release() {
    const int f = fd;
    fd = -1;
    return f;
  }
};

std::atomic<bool> g_unnamed{true};

// A short name of our own: the entry's name plus a suffix could pass the length a name may have.
QByteArray temporaryName() {
  static const QByteArray prefix = ".corvane-copy-" + QByteArray::number(::getpid()) + '-';
  static std::atomic<unsigned> counter{0};
  return prefix + QByteArray::number(counter.fetch_add(1)) + ".tmp";
}

// An unnamed file is given its name through its descriptor's entry in /proc.
QByteArray procPath(int fd) { return "/proc/self/fd/" + QByteArray::number(fd); }

bool unnamedAllowed() {
  static const bool procThere = ::access("/proc/self/fd", X_OK) == 0;
  return procThere && g_unnamed.load();
}

// The file the data is written to, in the target's folder: without a name where the file
// system makes such files, otherwise under a new name of our own (a name left by a program
// killed part-way is passed over, a few times at most).
struct Temporary {
  Fd fd{-1};
  QByteArray name;  // empty while the file has no name
};

bool openTemporary(int dir, mode_t mode, Temporary& t) {
  if (unnamedAllowed()) {
    t.fd.fd = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (t.fd.fd >= 0) return true;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    t.name = temporaryName();
    t.fd.fd = ::openat(dir, t.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (t.fd.fd >= 0 || errno != EEXIST) break;
  }
  return t.fd.fd >= 0;
}

// Ends a temporary file that is not wanted: an unnamed one goes with its descriptor.
void discardTemporary(int dir, Temporary& t) {
  ::close(t.fd.release());
  if (!t.name.isEmpty()) ::unlinkat(dir, t.name.constData(), 0);
}

// Puts the written file in the target's place. A missing target is the file's own name at
// once; an existing one is replaced by a rename, so that it is never missing in between.
// Returns 0 or the errno of the failure (the temporary file is then gone).
int publishTemporary(int dir, Temporary& t, const QByteArray& target) {
  if (t.name.isEmpty()) {
    if (::linkat(AT_FDCWD, procPath(t.fd.fd).constData(), dir, target.constData(), AT_SYMLINK_FOLLOW) == 0)
      return ::close(t.fd.release()) == 0 ? 0 : errno;
    // An existing target: the file takes a name of our own and replaces it below.
    for (int attempt = 0; attempt < 100 && t.name.isEmpty() && errno == EEXIST; ++attempt) {
      const QByteArray name = temporaryName();
      if (::linkat(AT_FDCWD, procPath(t.fd.fd).constData(), dir, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        t.name = name;
    }
    if (t.name.isEmpty()) {
      const int e = errno;
      discardTemporary(dir, t);
      return e;
    }
  }
  // Some file systems report a failed write only when the file is closed.
  if (::close(t.fd.release()) != 0 || ::renameat(dir, t.name.constData(), dir, target.constData()) != 0) {
    const int e = errno;
    ::unlinkat(dir, t.name.constData(), 0);
    return e;
  }
  return 0;
}

bool sameContentState(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The process's umask, read once. The system tells it without changing it; failing that, the
// widest mask is assumed, so that the permissions are always put back.
mode_t currentUmask() {
  static const mode_t mask = [] {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
      for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("Umask:")) {
          bool ok = false;
          const uint m = line.mid(6).trimmed().toUInt(&ok, 8);
          if (ok) return mode_t(m);
        }
    return mode_t(0777);
  }();
  return mask;
}

// The data of in onto out, in chunks. The kernel copies in place where it can (and shares the
// blocks on file systems that allow it); elsewhere the bytes pass through a buffer.
CopyResult copyData(int in, int out, const std::function<bool()>& keepGoing, QString* error) {
  bool kernelCopy = true;
  QByteArray buffer;
  for (;;) {
    qint64 done = 0;
    while (done < kCopyChunkBytes) {
      ssize_t n;
      if (kernelCopy) {
        n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(kCopyChunkBytes - done), 0);
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EPERM ||
                      errno == ETXTBSY)) {
          kernelCopy = false;  // offsets are unchanged after a refusal: go on with plain reads
          continue;
        }
      } else {
        if (buffer.isEmpty()) buffer.resize(1024 * 1024);
        n = ::read(in, buffer.data(), static_cast<size_t>(buffer.size()));
        for (ssize_t written = 0; n > 0 && written < n;) {
          const ssize_t w = ::write(out, buffer.constData() + written, static_cast<size_t>(n - written));
          if (w < 0 && errno == EINTR) continue;
          if (w < 0) {
            n = -1;
            break;
          }
          written += w;
        }
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        if (error) *error = errnoText(errno);
        return CopyResult::Failed;
      }
      if (n == 0) return CopyResult::Copied;
      done += n;
    }
    if (keepGoing && !keepGoing()) return CopyResult::Interrupted;
  }
}

}  // namespace

CopyResult copyEntry(int srcDir, const QByteArray& name, int dstDir, const std::function<bool()>& keepGoing,
                     QString* error, struct stat* copied) {
  auto failed = [error](const QString& why) {
    if (error) *error = why;
    return CopyResult::Failed;
  };
  struct stat st {};
  if (::fstatat(srcDir, name.constData(), &st, 0) != 0) return failed(errnoText(errno));
  if (!S_ISREG(st.st_mode)) return failed(QStringLiteral("Not a regular file"));
  // Not blocking: a pipe put in the file's place since it was looked at must not hang the walk.
  Fd in(::openat(srcDir, name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (in.fd < 0) return failed(errnoText(errno));
  if (::fstat(in.fd, &st) != 0) return failed(errnoText(errno));
  if (!S_ISREG(st.st_mode)) return failed(QStringLiteral("Not a regular file"));
  if (copied) *copied = st;

  // Created with the source's permissions (a read-only mode does not stop this descriptor from
  // writing); only what the umask takes away is put back afterwards.
  const mode_t mode = st.st_mode & 0777;
  Temporary out;
  if (!openTemporary(dstDir, mode, out)) return failed(errnoText(errno));
  auto discard = [&](CopyResult r, const QString& why) {
    discardTemporary(dstDir, out);
    if (r == CopyResult::Failed && error) *error = why;
    return r;
  };

  QString why;
  const CopyResult data = copyData(in.fd, out.fd.fd, keepGoing, &why);
  if (data != CopyResult::Copied) return discard(data, why);
  // A file written to meanwhile may have been read half old, half new.
  struct stat after {};
  if (::fstat(in.fd, &after) != 0) return discard(CopyResult::Failed, errnoText(errno));
  if (!sameContentState(st, after)) return discard(CopyResult::Changed, QString());
  // The times are set after the last write, or that write would move them again.
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(out.fd.fd, times) != 0) return discard(CopyResult::Failed, errnoText(errno));
  if ((mode & currentUmask()) != 0 && ::fchmod(out.fd.fd, mode) != 0)
    return discard(CopyResult::Failed, errnoText(errno));
  if (const int e = publishTemporary(dstDir, out, name)) return failed(errnoText(e));
  return CopyResult::Copied;
}

void setUnnamedTemporaries(bool allowed) { g_unnamed.store(allowed); }

}  // namespace corvane::filecopy
