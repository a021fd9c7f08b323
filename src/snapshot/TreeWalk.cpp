#include "snapshot/TreeWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "snapshot/Control.h"
#include "snapshot/EngineOptions.h"
#include "snapshot/HashList.h"

#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

namespace corvane::snapshot {

namespace {

// An entry's status, and whether it is the root of a mount. A bind mount shares the device
// number of what it is mounted on, so only the kernel's own mark tells it apart; without
// statx (an old kernel) the device number is all there is.
bool statEntry(int dirFd, const char* name, struct stat* st, bool* mountRoot) {
  static bool noStatx = false;
  *mountRoot = false;
  if (!noStatx) {
    struct statx sx {};
    if (statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) == 0) {
      *st = {};
      st->st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
      st->st_ino = sx.stx_ino;
      st->st_mode = sx.stx_mode;
      st->st_nlink = sx.stx_nlink;
      st->st_uid = sx.stx_uid;
      st->st_gid = sx.stx_gid;
      st->st_rdev = makedev(sx.stx_rdev_major, sx.stx_rdev_minor);
      st->st_size = static_cast<off_t>(sx.stx_size);
      st->st_blksize = static_cast<blksize_t>(sx.stx_blksize);
      st->st_blocks = static_cast<blkcnt_t>(sx.stx_blocks);
      st->st_atim = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
      st->st_mtim = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
      st->st_ctim = {sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec};
      *mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
      return true;
    }
    if (errno != ENOSYS) return false;
    noStatx = true;
  }
  return fstatat(dirFd, name, st, AT_SYMLINK_NOFOLLOW) == 0;
}

// One open folder of the walk: its names, and how far the walk has come through them.
struct Level {
  int fd;
  bool owned;
  std::vector<std::string> names;
  size_t next = 0;
  size_t archiveLength = 0;  // of the folder's own path in the walker's path buffers
  size_t windowsLength = 0;
};

// The walk keeps one path buffer per form instead of a copy per level, and its own stack of
// open folders instead of the call stack: a tree tens of thousands of folders deep costs
// memory in proportion to its depth, and never the program's stack.
class Walker {
 public:
  Walker(const WalkRules& rules, const std::function<void(const WalkItem&)>& visit) : rules_(rules), visit_(visit) {}
  ~Walker() {
    for (const Level& l : stack_)
      if (l.owned) close(l.fd);
  }

  void run(int rootFd, const struct stat& rootSt);

 private:
  std::vector<std::string> sortedNames(int fd);
  void enter(int fd, bool owned);
  void step(Level& level, dev_t rootDev);
  bool excluded(bool folder) const {
    for (const std::string& p : rules_.excludes)
      if (matchesExclude(p, windows_) || (folder && matchesExclude(p, windows_ + "\\"))) return true;
    return false;
  }

  const WalkRules& rules_;
  const std::function<void(const WalkItem&)>& visit_;
  std::vector<Level> stack_;
  std::string archive_;  // "C/Users/a.txt"
  std::string windows_;  // "C:\Users\a.txt", as the exclusion patterns see it
};

std::vector<std::string> Walker::sortedNames(int fd) {
  const int copy = dup(fd);
  if (copy < 0) failRead(archive_, errno);
  std::unique_ptr<DIR, int (*)(DIR*)> d(fdopendir(copy), &closedir);
  if (!d) {
    const int err = errno;
    close(copy);
    failRead(archive_, err);
  }
  std::vector<std::string> names;
  errno = 0;
  while (dirent* e = readdir(d.get())) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    // A folder of a million names takes a while to list; a pause or an end is not kept waiting.
    if (rules_.control && names.size() % 4096 == 0) rules_.control->checkpoint();
    errno = 0;
  }
  if (errno != 0) failRead(archive_, errno);
  std::sort(names.begin(), names.end());  // std::string compares bytes as unsigned
  return names;
}

void Walker::enter(int fd, bool owned) {
  Level level{fd, owned, {}, 0, archive_.size(), windows_.size()};
  try {
    level.names = sortedNames(fd);
  } catch (...) {
    if (owned) close(fd);
    throw;
  }
  stack_.push_back(std::move(level));
}

void Walker::step(Level& level, dev_t rootDev) {
  const std::string& name = level.names[level.next++];
  archive_.resize(level.archiveLength);
  archive_ += '/';
  archive_ += name;
  // A name holding '\' has no Windows form; its '\' must never pass for a separator in an
  // exclusion pattern ("\CorvaneImage\*" is not a folder named "CorvaneImage\old").
  windows_.resize(level.windowsLength);
  windows_ += '\\';
  for (char c : name) windows_ += c == '\\' ? '\x01' : c;
  if (archive_.size() > kMaxImagePath) failRead(archive_.substr(0, 200) + "...", ENAMETOOLONG);

  struct stat st {};
  bool mountRoot = false;
  if (!statEntry(level.fd, name.c_str(), &st, &mountRoot)) {
    if (errno == ENOENT) return;  // removed since the folder was read
    failRead(archive_, errno);
  }
  if (S_ISSOCK(st.st_mode)) return;
  const bool folder = S_ISDIR(st.st_mode);
  // A file mounted over another belongs to the mount, not to this drive.
  if (mountRoot && !folder) return;
  if (excluded(folder)) return;
  if (rules_.skipped.count({st.st_dev, st.st_ino})) return;
  visit_(WalkItem{level.fd, name.c_str(), archive_, st});
  // A mount point is kept as an empty folder; what is mounted there is another drive.
  if (!folder || mountRoot || st.st_dev != rootDev) return;
  const int child = openat(level.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (child < 0) {
    if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return;  // replaced meanwhile
    failRead(archive_, errno);
  }
  // Replaced by another folder (or had something mounted on it) since it was looked at.
  struct stat opened {};
  if (fstat(child, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
    close(child);
    return;
  }
  enter(child, true);
}

void Walker::run(int rootFd, const struct stat& rootSt) {
  archive_.assign(1, rules_.drive.empty() ? '?' : rules_.drive[0]);
  windows_ = rules_.drive;
  visit_(WalkItem{rootFd, ".", archive_, rootSt});
  enter(rootFd, false);
  while (!stack_.empty()) {
    Level& top = stack_.back();
    if (top.next == top.names.size()) {
      if (top.owned) close(top.fd);
      stack_.pop_back();
      continue;
    }
    step(top, rootSt.st_dev);
  }
}

}  // namespace

void walkDrive(const std::string& nativeRoot, const WalkRules& rules, const std::function<void(const WalkItem&)>& visit) {
  const int fd = open(nativeRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw EngineFailure{kSourceMissing, "cannot open drive " + rules.drive + " at " + nativeRoot + ": " + std::strerror(errno)};
  struct stat rootSt {};
  if (fstat(fd, &rootSt) != 0) {
    const int err = errno;
    close(fd);
    throw EngineFailure{kSourceMissing, "cannot read drive " + rules.drive + ": " + std::strerror(err)};
  }
  try {
    Walker(rules, visit).run(fd, rootSt);
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
}

}  // namespace corvane::snapshot
