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

struct Entry {
  QByteArray nativeName;
  QString name;
  bool link = false;
};

}  // namespace

FolderWalk::FolderWalk(NameFilter take, Visit visit) : take_(std::move(take)), visit_(std::move(visit)) {}

bool FolderWalk::run(const QString& nativeRoot, const QString& windowsRoot) {
  const QByteArray root = QFile::encodeName(nativeRoot);
  const int fd = open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const std::optional<Mount> mount = Mount::of(fd);
  if (!mount) {
    close(fd);
    return false;
  }
  walkOpen(fd, root, windowsRoot, 0, *mount);
  return true;
}

void FolderWalk::walkOpen(int dirFd, const QByteArray& nativePath, const QString& windowsPath, int depth,
                          const Mount& root) {
  DIR* dir = fdopendir(dirFd);
  if (!dir) {
    close(dirFd);
    return;
  }
  // The entries are read whole before any is entered, so that the folder is read in one go.
  std::vector<Entry> entries;
  while (const dirent* e = readdir(dir)) {
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
    std::optional<QString> windows = windowsName(name);
    if (!windows) {
      ++skippedNames_;
      continue;
    }
    entries.push_back({name.toByteArray(), std::move(*windows), link});
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.nativeName < b.nativeName; });

  const bool openRelative = depth < kOpenLevels;
  if (!openRelative) {
    closedir(dir);
    dir = nullptr;
  }
  const QByteArray prefix = nativePath.endsWith('/') ? nativePath : nativePath + '/';
  for (const Entry& e : entries) {
    const QString path = windowsPath + QLatin1Char('\\') + e.name;
    visit_(path);
    if (e.link) continue;
    const QByteArray child = prefix + e.nativeName;
    const int fd = openRelative ? openat(dirFd, e.nativeName.constData(), kOpenFlags) : open(child.constData(), kOpenFlags);
    if (fd < 0) continue;  // cannot be read (or turned into a link meanwhile): listed, not entered
    const std::optional<Mount> mount = Mount::of(fd);
    if (!mount || !mount->same(root)) {
      close(fd);  // another mount: listed, not entered
      continue;
    }
    walkOpen(fd, child, path, depth + 1, root);
  }
  if (dir) closedir(dir);
}

}  // namespace corvane::platform
