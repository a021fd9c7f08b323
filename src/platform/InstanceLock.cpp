#include "platform/InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::platform {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

enum class Outcome { Held, HeldElsewhere, Unusable };

// Takes the lock on the file at path: the file is never rewritten, only held with flock, which
// the system lets go when the holder ends in any way (a crash, a killed session). A file that is
// there already, whoever made it, serves as it is; it only has to be a regular file this user
// can open for reading.
Outcome lockAt(const QByteArray& path, int& fdOut) {
  // A start that finds the file removed or replaced after it opened it looks again; that race
  // is with the holder going away, so a few rounds settle it.
  for (int round = 0; round < 4; ++round) {
    // O_NOFOLLOW: a link planted at the name never leads to another file; O_NONBLOCK: a fifo
    // planted there does not hold the start.
    int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) {
      fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      if (fd < 0 && errno == EEXIST) continue;
      // Readable for every user whatever the umask, so that any user's start can meet it.
      if (fd >= 0) ::fchmod(fd, 0644);
    }
    if (fd < 0) return Outcome::Unusable;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      ::close(fd);
      return Outcome::Unusable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool held = errno == EWOULDBLOCK;
      ::close(fd);
      return held ? Outcome::HeldElsewhere : Outcome::Unusable;
    }
    struct stat named {};
    if (::lstat(path.constData(), &named) == 0 && sameFile(named, opened)) {
      fdOut = fd;
      return Outcome::Held;
    }
    ::close(fd);  // the holder that went removed it meanwhile: take the one there now
  }
  return Outcome::Unusable;
}

}  // namespace

InstanceLock::InstanceLock(const QString& appFolder) {
  QString key = QFileInfo(appFolder).canonicalFilePath();
  if (key.isEmpty()) key = QDir::cleanPath(QFileInfo(appFolder).absoluteFilePath());
  const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  // Not QDir::temp(): TMPDIR differs between starts (or names a folder that is missing), and
  // two starts that look for the lock in different places both run. /tmp is there for all.
  path_ = QDir(QStringLiteral("/tmp")).filePath("corvane-" + QString::fromLatin1(hash) + ".lock");
  // Anyone can make a file of that name in /tmp first (a folder, a link, a file only its owner
  // can read); a start that cannot use it takes a name of its own user instead of never starting.
  userPath_ = QDir(QStringLiteral("/tmp")).filePath(QStringLiteral("corvane-%1-%2.lock")
                                                        .arg(QString::fromLatin1(hash))
                                                        .arg(static_cast<qulonglong>(::geteuid())));
}

InstanceLock::~InstanceLock() {
  if (fd_ < 0) return;
  // Removed while still held, and only when it is this user's own file that the name still
  // leads to; a start that opened it a moment before finds it gone and looks again.
  const QByteArray path = QFile::encodeName(heldPath_);
  struct stat held {}, named {};
  if (::fstat(fd_, &held) == 0 && held.st_uid == ::geteuid() && ::lstat(path.constData(), &named) == 0 &&
      sameFile(held, named))
    ::unlink(path.constData());
  ::close(fd_);
}

bool InstanceLock::tryLock() {
  if (fd_ >= 0) return true;
  for (const QString& candidate : {path_, userPath_}) {
    switch (lockAt(QFile::encodeName(candidate), fd_)) {
      case Outcome::Held:
        heldPath_ = candidate;
        return true;
      case Outcome::HeldElsewhere:
        return false;
      case Outcome::Unusable:
        break;
    }
  }
  // Neither name can be used: starting without the lock is better than never starting.
  return true;
}

}  // namespace corvane::platform
