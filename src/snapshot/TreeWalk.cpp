#include "snapshot/TreeWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "snapshot/Control.h"
#include "snapshot/EngineOptions.h"

namespace corvane::snapshot {

namespace {

class Walker {
 public:
  Walker(const WalkRules& rules, const std::function<void(const WalkItem&)>& visit) : rules_(rules), visit_(visit) {}

  void walkFolder(int fd, const std::string& archivePath, const std::string& windowsPath, dev_t rootDev);

 private:
  bool excluded(const std::string& windowsPath, bool folder) const {
    for (const std::string& p : rules_.excludes)
      if (matchesExclude(p, windowsPath) || (folder && matchesExclude(p, windowsPath + "\\"))) return true;
    return false;
  }
  const WalkRules& rules_;
  const std::function<void(const WalkItem&)>& visit_;
};

[[noreturn]] void unreadable(const std::string& what, int err) {
  throw EngineFailure{kSourceUnreadable, "cannot read " + what + ": " + std::strerror(err)};
}

std::vector<std::string> sortedNames(int fd, const std::string& archivePath) {
  const int copy = dup(fd);
  if (copy < 0) unreadable(archivePath, errno);
  DIR* d = fdopendir(copy);
  if (!d) {
    const int err = errno;
    close(copy);
    unreadable(archivePath, err);
  }
  std::vector<std::string> names;
  errno = 0;
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    errno = 0;
  }
  const int err = errno;
  closedir(d);
  if (err != 0) unreadable(archivePath, err);
  std::sort(names.begin(), names.end());  // std::string compares bytes as unsigned
  return names;
}

void Walker::walkFolder(int fd, const std::string& archivePath, const std::string& windowsPath, dev_t rootDev) {
  for (const std::string& name : sortedNames(fd, archivePath)) {
    WalkItem item{fd, name.c_str(), archivePath + "/" + name, {}};
    if (fstatat(fd, name.c_str(), &item.st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;  // removed since the folder was read
      unreadable(item.archivePath, errno);
    }
    if (S_ISSOCK(item.st.st_mode)) continue;
    const bool folder = S_ISDIR(item.st.st_mode);
    const std::string childWindows = windowsPath + "\\" + name;
    if (excluded(childWindows, folder)) continue;
    if (rules_.skipped.count({item.st.st_dev, item.st.st_ino})) continue;
    visit_(item);
    // A mount point is kept as an empty folder; what is mounted there is another drive.
    if (!folder || item.st.st_dev != rootDev) continue;
    const int child = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) {
      if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) continue;  // replaced meanwhile
      unreadable(item.archivePath, errno);
    }
    try {
      walkFolder(child, item.archivePath, childWindows, rootDev);
    } catch (...) {
      close(child);
      throw;
    }
    close(child);
  }
}

}  // namespace

void walkDrive(const std::string& nativeRoot, const WalkRules& rules, const std::function<void(const WalkItem&)>& visit) {
  const int fd = open(nativeRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw EngineFailure{kSourceMissing, "cannot open drive " + rules.drive + " at " + nativeRoot + ": " + std::strerror(errno)};
  const std::string top(1, rules.drive.empty() ? '?' : rules.drive[0]);
  WalkItem root{fd, ".", top, {}};
  if (fstat(fd, &root.st) != 0) {
    const int err = errno;
    close(fd);
    throw EngineFailure{kSourceMissing, "cannot read drive " + rules.drive + ": " + std::strerror(err)};
  }
  Walker walker(rules, visit);
  try {
    visit(root);
    walker.walkFolder(fd, top, rules.drive, root.st.st_dev);
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
}

}  // namespace corvane::snapshot
