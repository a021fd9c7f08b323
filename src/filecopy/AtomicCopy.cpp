#include "filecopy/AtomicCopy.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace corvane::filecopy {

namespace {

QString errnoText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

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

// A short name of our own: the entry's name plus a suffix could pass the length a name may have.
QByteArray temporaryName() {
  static const QByteArray prefix = ".corvane-copy-" + QByteArray::number(::getpid()) + '-';
  static std::atomic<unsigned> counter{0};
  return prefix + QByteArray::number(counter.fetch_add(1)) + ".tmp";
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
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                      errno == EPERM || errno == ETXTBSY)) {
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
  // Not blocking: a pipe put in the file's place since it was listed must not hang the walk.
  Fd in(::openat(srcDir, name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (in.fd < 0) return failed(errnoText(errno));
  struct stat st {};
  if (::fstat(in.fd, &st) != 0) return failed(errnoText(errno));
  if (!S_ISREG(st.st_mode)) return failed(QStringLiteral("Not a regular file"));
  if (copied) *copied = st;

  const QByteArray temp = temporaryName();
  // Created with the source's permissions (a read-only mode does not stop this descriptor from
  // writing); only what the umask takes away is put back afterwards.
  const mode_t mode = st.st_mode & 0777;
  Fd out(::openat(dstDir, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (out.fd < 0) return failed(errnoText(errno));
  auto discard = [&](CopyResult r, const QString& why) {
    ::close(out.release());
    ::unlinkat(dstDir, temp.constData(), 0);
    if (r == CopyResult::Failed && error) *error = why;
    return r;
  };

  QString why;
  const CopyResult data = copyData(in.fd, out.fd, keepGoing, &why);
  if (data != CopyResult::Copied) return discard(data, why);
  // The times are set after the last write, or that write would move them again.
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(out.fd, times) != 0) return discard(CopyResult::Failed, errnoText(errno));
  if ((mode & currentUmask()) != 0 && ::fchmod(out.fd, mode) != 0) return discard(CopyResult::Failed, errnoText(errno));
  // Some file systems report a failed write only when the file is closed.
  if (::close(out.release()) != 0) {
    const int e = errno;
    ::unlinkat(dstDir, temp.constData(), 0);
    return failed(errnoText(e));
  }
  if (::renameat(dstDir, temp.constData(), dstDir, name.constData()) != 0) {
    const int e = errno;
    ::unlinkat(dstDir, temp.constData(), 0);
    return failed(errnoText(e));
  }
  return CopyResult::Copied;
}

}  // namespace corvane::filecopy
