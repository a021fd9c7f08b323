#include "platform/FolderWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <optional>
#include <vector>

#include "platform/PathMap.h"

namespace corvane::platform {

// Each folder of the path being walked stays open down to this depth, so that its sub-folders
// are opened relative to it. Deeper, a folder is let go once its sub-folder is open and opened
// again through the sub-folder's ".." when the walk comes back to it: a tree of any depth holds
// no more descriptors than this, and no path is ever longer than one name (a tree deeper than the
// system's longest path is walked whole).
constexpr int kOpenLevels = 64;

// Where a folder lives: its device and, where the system says, the mount. A bind mount of a
// folder of the same device has the device of the folder above it but a mount of its own. The
// inode tells a folder opened again through ".." from another that took its place.
struct FolderWalk::Mount {
  dev_t device = 0;
  bool hasMountId = false;
  quint64 mountId = 0;
  quint64 inode = 0;

  static std::optional<Mount> of(int fd) {
    struct statx sx {};
    if (statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_INO | STATX_MNT_ID, &sx) == 0)
      return Mount{makedev(sx.stx_dev_major, sx.stx_dev_minor), (sx.stx_mask & STATX_MNT_ID) != 0, sx.stx_mnt_id,
                   sx.stx_ino};
    struct stat st {};
    if (fstat(fd, &st) != 0) return std::nullopt;
    return Mount{st.st_dev, false, 0, st.st_ino};
  }
  bool same(const Mount& o) const {
    if (device != o.device) return false;
    return !(hasMountId && o.hasMountId) || mountId == o.mountId;
  }
  bool sameFolder(const Mount& o) const { return same(o) && inode == o.inode; }
};

namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// One sub-folder of a folder being walked: its name in the folder's name buffer.
struct Entry {
  qsizetype at = 0;
  qsizetype size = 0;
  bool link = false;
};

}  // namespace

// A folder on the path being walked: its sub-folders, read whole when it was opened, and the one
// to take next.
struct FolderWalk::Folder {
  int fd = -1;  // -1 while let go (deep in the tree)
  Mount id;
  QByteArray names;
  std::vector<Entry> entries;
  size_t next = 0;
  qsizetype pathSize = 0;  // of windowsPath_ for this folder

  QByteArrayView name(const Entry& e) const { return QByteArrayView(names.constData() + e.at, e.size); }
  const char* cName(const Entry& e) const { return names.constData() + e.at; }  // ends in a zero byte
};

FolderWalk::FolderWalk(NameFilter take, Visit visit) : take_(std::move(take)), visit_(std::move(visit)) {}
FolderWalk::~FolderWalk() = default;

bool FolderWalk::run(const QString& nativeRoot, const QString& windowsRoot) {
  const QByteArray root = QFile::encodeName(nativeRoot);
  const int fd = open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const std::optional<Mount> mount = Mount::of(fd);
  if (!mount) {
    close(fd);
    return false;
  }
  windowsPath_ = windowsRoot.toUtf8();
  std::vector<Folder> path;  // the root, then each folder entered below it
  path.push_back(readFolder(fd, *mount));
  while (!path.empty()) {
    Folder& folder = path.back();
    if (folder.next == folder.entries.size()) {
      leave(path);
      continue;
    }
    const Entry& e = folder.entries[folder.next++];
    windowsPath_.truncate(folder.pathSize);
    windowsPath_.append('\\').append(folder.name(e));
    visit_(windowsPath_);
    // A link to a folder is listed, never entered; so is a folder that cannot be read (or was
    // turned into a link meanwhile) and one on another mount.
    if (e.link || folder.fd < 0) continue;
    const int child = openat(folder.fd, folder.cName(e), kOpenFlags);
    if (child < 0) continue;
    const std::optional<Mount> at = Mount::of(child);
    if (!at || !at->same(*mount)) {
      close(child);
      continue;
    }
    Folder entered = readFolder(child, *at);
    if (path.size() > static_cast<size_t>(kOpenLevels)) {
      close(folder.fd);
      folder.fd = -1;
    }
    path.push_back(std::move(entered));
  }
  return true;
}

void FolderWalk::leave(std::vector<Folder>& path) {
  Folder done = std::move(path.back());
  path.pop_back();
  if (!path.empty()) {
    Folder& parent = path.back();
    if (parent.fd < 0 && done.fd >= 0) {
      // Back to a folder let go: its sub-folder's ".." is the folder, unless it was moved away
      // meanwhile; then the rest of it is not walked.
      parent.fd = openat(done.fd, "..", kOpenFlags);
      const std::optional<Mount> id = parent.fd >= 0 ? Mount::of(parent.fd) : std::nullopt;
      if (!id || !id->sameFolder(parent.id)) {
        if (parent.fd >= 0) close(parent.fd);
        parent.fd = -1;
        parent.next = parent.entries.size();
      }
    }
  }
  if (done.fd >= 0) close(done.fd);
}

FolderWalk::Folder FolderWalk::readFolder(int fd, const Mount& id) {
  // The folder is read whole before any sub-folder is entered, straight from the system's
  // entry records (no directory stream to allocate for each of many small folders).
  Folder folder;
  folder.fd = fd;
  folder.id = id;
  folder.pathSize = windowsPath_.size();
  for (;;) {
    const ssize_t got = getdents64(fd, buffer_.data(), buffer_.size());
    if (got <= 0) break;  // the end, or a folder that cannot be read further
    for (ssize_t at = 0; at < got;) {
      const auto* e = reinterpret_cast<const dirent64*>(buffer_.data() + at);
      at += e->d_reclen;
      const QByteArrayView name(e->d_name);
      if (name == "." || name == "..") continue;
      if (e->d_type != DT_DIR && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
      if (!take_(name)) continue;
      bool link = e->d_type == DT_LNK;
      if (e->d_type == DT_UNKNOWN) {
        struct stat st {};
        if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISLNK(st.st_mode))
          link = true;
        else if (!S_ISDIR(st.st_mode))
          continue;
      }
      if (link) {
        // Listed when it leads to a folder; never entered.
        struct stat target {};
        if (fstatat(fd, e->d_name, &target, 0) != 0 || !S_ISDIR(target.st_mode)) continue;
      }
      if (!hasWindowsForm(name)) {
        ++skippedNames_;
        continue;
      }
      folder.entries.push_back({folder.names.size(), name.size(), link});
      folder.names.append(name.data(), name.size()).append('\0');
    }
  }
  std::sort(folder.entries.begin(), folder.entries.end(),
            [&](const Entry& a, const Entry& b) { return folder.name(a) < folder.name(b); });
  return folder;
}

}  // namespace corvane::platform
