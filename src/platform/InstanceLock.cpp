#include "platform/InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace corvane::platform {

InstanceLock::InstanceLock(const QString& appFolder) {
  QString key = QFileInfo(appFolder).canonicalFilePath();
  if (key.isEmpty()) key = QDir::cleanPath(QFileInfo(appFolder).absoluteFilePath());
  const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  // Not QDir::temp(): TMPDIR differs between starts (or names a folder that is missing), and
  // two starts that look for the lock in different places both run. /tmp is there for all.
  path_ = QDir(QStringLiteral("/tmp")).filePath("corvane-" + QString::fromLatin1(hash) + ".lock");
  lock_ = std::make_unique<QLockFile>(path_);
  lock_->setStaleLockTime(0);  // a lock is stale only when its process is gone
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryLock() { return lock_->tryLock(0); }

}  // namespace corvane::platform
