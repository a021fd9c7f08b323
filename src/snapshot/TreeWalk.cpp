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

// The names of one folder in the walk's order: one block of text for all of them, as a folder
// may hold a million.
struct FolderNames {
  std::string text;               // the names, each ended by a NUL
  std::vector<uint32_t> starts;   // where each begins in text, sorted by name
  size_t size() const { return starts.size(); }
  const char* operator[](size_t i) const { return text.data() + starts[i]; }
};

// One open folder of the walk: its names, and how far the walk has come through them.
struct Level {
  int fd;
  bool owned;
  FolderNames names;
  size_t next = 0;
  size_t archiveLength = 0;  // of the folder's own path in the walker's path buffers
  size_t windowsLength = 0;
};

// The walk keeps one path buffer per form instead of a copy per level, and its own stack of
// open folders instead of the call stack: a tree tens of thousands of folders deep costs
// memory in proportion to its depth, and never the program's stack.
class Walker {
 public:
  Walker(const WalkRules& rules, WalkVisitor& visitor) : rules_(rules), visitor_(visitor) {}
  ~Walker() {
    for (const Level& l : stack_)
      if (l.owned) close(l.fd);
  }

  void run(int rootFd, const struct stat& rootSt);

 private:
  FolderNames sortedNames(int fd);
  void enter(int fd, bool owned);
  void step(Level& level, dev_t rootDev);
  bool excluded(bool folder) {
    for (const std::string& p : rules_.excludes)
      if (matchesExclude(p, windows_) || (folder && matchesFolder(p))) return true;
    return false;
  }

  // A folder is also matched with a trailing '\' ("\CorvaneImage\*" leaves out the folder).
  bool matchesFolder(const std::string& pattern) {
    windows_ += '\\';
    const bool m = matchesExclude(pattern, windows_);
    windows_.pop_back();
    return m;
  }

  const WalkRules& rules_;
  WalkVisitor& visitor_;
  std::vector<Level> stack_;
  std::vector<char> listing_ = std::vector<char>(size_t{1} << 16);
  std::string archive_;  // "C/Users/a.txt"
  std::string windows_;  // "C:\Users\a.txt", as the exclusion patterns see it
};

// Read straight from the folder's own descriptor: a DIR stream would cost a descriptor of its
// own and a few calls more per folder, and a walk is mostly folders' listings and names' looks.
FolderNames Walker::sortedNames(int fd) {
  FolderNames names;
  for (;;) {
    const ssize_t n = getdents64(fd, listing_.data(), listing_.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      failRead(archive_, errno);
    }
    if (n == 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const dirent64*>(listing_.data() + at);
      at += e->d_reclen;
      const char* name = e->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      if (names.text.size() > UINT32_MAX - 512) failRead(archive_, EOVERFLOW);
      names.starts.push_back(static_cast<uint32_t>(names.text.size()));
      names.text.append(name, std::strlen(name) + 1);
      // A folder of a million names takes a while to list; a pause or an end is not kept waiting.
      if (rules_.control && names.size() % 4096 == 0) rules_.control->checkpoint();
    }
  }
  const char* text = names.text.data();
  // strcmp compares bytes as unsigned, as the hash list's order does.
  std::sort(names.starts.begin(), names.starts.end(), [text](uint32_t a, uint32_t b) { return std::strcmp(text + a, text + b) < 0; });
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
  archive_.resize(stack_.back().archiveLength);
  visitor_.enterFolder(fd, archive_);
}

void Walker::step(Level& level, dev_t rootDev) {
  const char* const name = level.names[level.next++];
  archive_.resize(level.archiveLength);
  archive_ += '/';
  archive_ += name;
  // A name holding '\' has no Windows form; its '\' must never pass for a separator in an
  // exclusion pattern ("\CorvaneImage\*" is not a folder named "CorvaneImage\old").
  windows_.resize(level.windowsLength);
  windows_ += '\\';
  const size_t nameAt = windows_.size();
  windows_ += name;
  for (size_t i = nameAt; i < windows_.size(); ++i)
    if (windows_[i] == '\\') windows_[i] = '\x01';
  if (archive_.size() > kMaxImagePath) failRead(archive_.substr(0, 200) + "...", ENAMETOOLONG);

  struct stat st {};
  bool mountRoot = false;
  if (!statEntry(level.fd, name, &st, &mountRoot)) {
    if (errno == ENOENT) return;  // removed since the folder was read
    failRead(archive_, errno);
  }
  if (S_ISSOCK(st.st_mode)) return;
  const bool folder = S_ISDIR(st.st_mode);
  // A file mounted over another belongs to the mount, not to this drive.
  if ((mountRoot && !folder) || excluded(folder) || rules_.skipped.count({st.st_dev, st.st_ino})) return visitor_.leftOut(archive_);
  visitor_.visit(WalkItem{level.fd, name, archive_, st});
  if (!folder) return;
  // A mount point is kept as an empty folder; what is mounted there is another drive, and
  // what it hides is still on this one.
  if (mountRoot || st.st_dev != rootDev) return visitor_.leftOut(archive_);
  const int child = openat(level.fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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
  visitor_.visit(WalkItem{rootFd, ".", archive_, rootSt});
  enter(rootFd, false);
  while (!stack_.empty()) {
    Level& top = stack_.back();
    if (top.next == top.names.size()) {
      archive_.resize(top.archiveLength);
      windows_.resize(top.windowsLength);
      visitor_.leaveFolder(top.fd, archive_);
      if (top.owned) close(top.fd);
      stack_.pop_back();
      continue;
    }
    step(top, rootSt.st_dev);
  }
}

}  // namespace

void walkDrive(const std::string& nativeRoot, const WalkRules& rules, WalkVisitor& visitor) {
  const int fd = open(nativeRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw EngineFailure{kSourceMissing, "cannot open drive " + rules.drive + " at " + nativeRoot + ": " + std::strerror(errno)};
  struct stat rootSt {};
  if (fstat(fd, &rootSt) != 0) {
    const int err = errno;
    close(fd);
    throw EngineFailure{kSourceMissing, "cannot read drive " + rules.drive + ": " + std::strerror(err)};
  }
  try {
    Walker(rules, visitor).run(fd, rootSt);
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
}

}  // namespace corvane::snapshot
