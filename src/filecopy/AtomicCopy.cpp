#include "filecopy/AtomicCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/WholeFile.h"

namespace corvane::filecopy {

QString errnoText(int e) { return platform::writeErrorText(e); }

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

bool sameContentState(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
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

  // The copy has no name until it is whole; it takes the source's permissions at the end.
  platform::WholeFileWriter out(dstDir, name,
                                platform::WholeFileOptions{.mode = st.st_mode & 0777, .sync = false, .removeLeftovers = false});
  if (!out.open()) return failed(out.reason());

  QString why;
  const CopyResult data = copyData(in.fd, out.handle(), keepGoing, &why);
  if (data != CopyResult::Copied) return data == CopyResult::Failed ? failed(why) : data;
  // A file written to meanwhile may have been read half old, half new.
  struct stat after {};
  if (::fstat(in.fd, &after) != 0) return failed(errnoText(errno));
  if (!sameContentState(st, after)) return CopyResult::Changed;
  // The times are set after the last write, or that write would move them again.
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(out.handle(), times) != 0) return failed(errnoText(errno));
  struct stat made {};
  if (::fstat(out.handle(), &made) != 0) return failed(errnoText(errno));
  out.setMode(keptMode(st, made));
  if (!out.commit()) return failed(out.reason());
  return CopyResult::Copied;
}

mode_t keptMode(const struct stat& source, const struct stat& copy) {
  mode_t mode = source.st_mode & 07777;
  // As cp -a does: a copy that could not keep the source's owner (or group) does not keep the
  // bits that run a program as that owner (or group).
  if (copy.st_uid != source.st_uid) mode &= ~mode_t(S_ISUID);
  if (copy.st_gid != source.st_gid) mode &= ~mode_t(S_ISGID);
  return mode;
}

}  // namespace corvane::filecopy
