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

// Below this depth each folder stays open while its sub-folders are walked, so they are opened
// relative to it; deeper, they are opened by their full path, so that a tree of any depth never
// holds more than this many descriptors.
constexpr int kOpenLevels = 64;

// Where a folder lives: its device and, where the system says, the mount. A bind mount of a
// folder of the same device has the device of the folder above it but a mount of its own.
struct FolderWalk::Mount {
  dev_t device = 0;
  bool hasMountId = false;
  quint64 mountId = 0;

  static std::optional<Mount> of(int fd) {
    struct statx sx {};
    if (statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_MNT_ID, &sx) == 0)
      return Mount{makedev(sx.stx_dev_major, sx.stx_dev_minor), (sx.stx_mask & STATX_MNT_ID) != 0, sx.stx_mnt_id};
    struct stat st {};
    if (fstat(fd, &st) != 0) return std::nullopt;
    return Mount{st.st_dev, false, 0};
  }
  bool same(const Mount& o) const {
    if (device != o.device) return false;
    return !(hasMountId && o.hasMountId) || mountId == o.mountId;
  }
};

namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// One sub-folder of the folder being read: its name in the folder's name buffer.
struct Entry {
  qsizetype at = 0;
  qsizetype size = 0;
  bool link = false;
};

}  // namespace

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
  walkOpen(fd, root, 0, *mount);
  return true;
}

void FolderWalk::walkOpen(int dirFd, const QByteArray& nativePath, int depth, const Mount& root) {
  // The folder is read whole before any sub-folder is entered, straight from the system's
  // entry records (no directory stream to allocate for each of many small folders).
  QByteArray names;
  std::vector<Entry> entries;
  for (;;) {
    const ssize_t got = getdents64(dirFd, buffer_.data(), buffer_.size());
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
        if (fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISLNK(st.st_mode))
          link = true;
        else if (!S_ISDIR(st.st_mode))
          continue;
      }
      if (link) {
        // Listed when it leads to a folder; never entered.
        struct stat target {};
        if (fstatat(dirFd, e->d_name, &target, 0) != 0 || !S_ISDIR(target.st_mode)) continue;
      }
      if (!hasWindowsForm(name)) {
        ++skippedNames_;
        continue;
      }
      entries.push_back({names.size(), name.size(), link});
      names.append(name.data(), name.size()).append('\0');
    }
  }
  const auto nameOf = [&](const Entry& e) { return QByteArrayView(names.constData() + e.at, e.size); };
  std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) { return nameOf(a) < nameOf(b); });

  const bool openRelative = depth < kOpenLevels;
  if (!openRelative) close(dirFd);
  const QByteArray prefix = nativePath.endsWith('/') ? nativePath : nativePath + '/';
  const qsizetype parentSize = windowsPath_.size();
  for (const Entry& e : entries) {
    windowsPath_.append('\\').append(nameOf(e));
    visit_(windowsPath_);
    const char* name = names.constData() + e.at;  // ends in a zero byte
    if (!e.link) {
      QByteArray child = prefix;
      child.append(name, e.size);
      const int fd = openRelative ? openat(dirFd, name, kOpenFlags) : open(child.constData(), kOpenFlags);
      // A folder that cannot be read (or turned into a link meanwhile), or on another mount,
      // is listed and not entered.
      if (fd >= 0) {
        const std::optional<Mount> mount = Mount::of(fd);
        if (mount && mount->same(root))
          walkOpen(fd, child, depth + 1, root);
        else
          close(fd);
      }
    }
    windowsPath_.truncate(parentSize);
  }
  if (openRelative) close(dirFd);
}

}  // namespace corvane::platform
