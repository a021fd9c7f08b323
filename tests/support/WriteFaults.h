#pragma once
// Writes that fail in a test as they do on a user's computer: a full disk, a program killed at
// a chosen moment, a folder that cannot be read.
#include <QString>
#include <QTemporaryDir>
#include <functional>

namespace corvane::test {

// A full disk: a small tmpfs mounted on a folder of its own, filled on demand. Mounting needs
// root; without it whyNot says so and the test skips.
class SmallDisk {
 public:
  explicit SmallDisk(qint64 bytes = qint64(4) << 20);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  const char* whyNot = nullptr;  // set when the disk could not be mounted
  const QString& path() const { return path_; }
  // Fills the disk with a file of its own until at most `room` bytes are free.
  void fill(qint64 room = 0);
  // Removes that file again.
  void empty();

 private:
  QTemporaryDir dir_;
  QString path_;
  bool mounted_ = false;
};

// Takes away this thread's right to pass over file permissions (root's), so that a folder with
// no read permission cannot be read in the test as it cannot for a user; given back at the end.
class WithoutFileRights {
 public:
  WithoutFileRights();
  ~WithoutFileRights();

 private:
  bool dropped_ = false;
  unsigned effective_[2] = {0, 0};
};

// Runs work in a child process that is killed (SIGKILL) right before the first written file
// whose path ends with pathEnd takes its name. True when it was killed there; false when the
// work ended without reaching that moment.
bool killedBeforeNaming(const QString& pathEnd, const std::function<void()>& work);

}  // namespace corvane::test
