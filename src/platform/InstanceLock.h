#pragma once
#include <QString>

namespace corvane::platform {

// One running copy per application folder. The lock lives in /tmp, whatever the environment
// says, so every start meets it there and a refused second copy leaves nothing behind in the
// application folder. It is a file held with flock, so a copy that ends in any way (a crash, a
// session killed at logout) lets go of it, for every user of the computer.
class InstanceLock {
 public:
  explicit InstanceLock(const QString& appFolder);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // True when this process now holds the lock; false when another copy holds it.
  bool tryLock();
  QString lockFilePath() const { return path_; }

 private:
  QString path_;
  QString userPath_;  // this user's own name, when path_ cannot be used
  QString heldPath_;
  int fd_ = -1;
};

}  // namespace corvane::platform
