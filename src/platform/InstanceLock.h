#pragma once
#include <QString>
#include <memory>

class QLockFile;

namespace corvane::platform {

// One running copy per application folder. The lock lives in /tmp, whatever the environment
// says, so every start meets it there and a refused second copy leaves nothing behind in the
// application folder.
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
  std::unique_ptr<QLockFile> lock_;
};

}  // namespace corvane::platform
