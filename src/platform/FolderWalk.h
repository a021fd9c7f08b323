#pragma once
// The walk of the folders of a drive, as the folder scan needs it: fast (one open and one read
// of each folder, no stat per entry where the file system gives the entry's type, no text
// conversion), never into another mount (a bind mount of the same device included), never
// through a link.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <vector>

namespace corvane::platform {

class FolderWalk {
 public:
  // Whether a sub-folder of this name is taken (listed and entered) at all.
  using NameFilter = std::function<bool(QByteArrayView nativeName)>;
  // Called for each folder taken, with its path in the Windows form as UTF-8 (valid until the
  // call returns).
  using Visit = std::function<void(QByteArrayView windowsPath)>;

  FolderWalk(NameFilter take, Visit visit);
  ~FolderWalk();

  // Walks below nativeRoot, whose Windows form is windowsRoot ("C:" for a drive): depth first,
  // each folder's sub-folders in name order and each one's own sub-folders directly after it,
  // however deep the tree.
  // A link that leads to a folder and a folder on another mount are visited but not entered;
  // a folder that cannot be read is visited and its contents skipped. Returns false when the
  // root itself cannot be read.
  bool run(const QString& nativeRoot, const QString& windowsRoot);

  // Names taken by the filter that have no Windows form (hasWindowsForm), left out with
  // everything below them.
  qint64 skippedNames() const { return skippedNames_; }

 private:
  struct Mount;
  struct Folder;
  Folder readFolder(int fd, const Mount& id);
  void leave(std::vector<Folder>& path);

  NameFilter take_;
  Visit visit_;
  QByteArray windowsPath_;  // the folder being walked, UTF-8; names are added and taken off
  std::vector<char> buffer_ = std::vector<char>(32768);  // entry records, read a folder at a time
  qint64 skippedNames_ = 0;
};

}  // namespace corvane::platform
