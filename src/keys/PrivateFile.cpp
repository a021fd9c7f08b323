#include "keys/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace corvane::keys {

namespace {

bool writeAll(int fd, const QByteArray& data) {
  const char* p = data.constData();
  qsizetype left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= n;
  }
  return true;
}

// Written beside the target and renamed over it, with the mode set before the rename.
bool writeReplacing(const QString& path, const QByteArray& data, mode_t mode) {
  const QByteArray target = QFile::encodeName(path);
  QByteArray temp = target + ".XXXXXX";
  // mkostemp creates the file 0600 whatever the umask says.
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = writeAll(fd, data) && (mode == 0600 || ::fchmod(fd, mode) == 0) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temp.constData(), target.constData()) != 0) {
    ::unlink(temp.constData());
    return false;
  }
  return true;
}

}  // namespace

bool WritePrivateFile(const QString& path, const QByteArray& data) { return writeReplacing(path, data, 0600); }

bool WritePublicFile(const QString& path, const QByteArray& data) { return writeReplacing(path, data, 0644); }

}  // namespace corvane::keys
