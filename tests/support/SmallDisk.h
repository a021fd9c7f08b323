#pragma once
// A full disk made in a test: a small tmpfs mounted on a folder of its own, filled on demand.
// Mounting needs root; without it whyNot says so and the test skips.
#include <QString>
#include <QTemporaryDir>

namespace corvane::test {

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

}  // namespace corvane::test
