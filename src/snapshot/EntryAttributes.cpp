#include "snapshot/EntryAttributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "snapshot/Control.h"

namespace corvane::snapshot {

namespace {

constexpr const char* kAccessAcl = "system.posix_acl_access";
constexpr const char* kDefaultAcl = "system.posix_acl_default";

bool kept(const char* name) {
  for (const char* prefix : {"user.", "trusted.", "security."})
    if (std::strncmp(name, prefix, std::strlen(prefix)) == 0) return true;
  return std::strcmp(name, kAccessAcl) == 0 || std::strcmp(name, kDefaultAcl) == 0;
}

// Set once /proc turned out not to show this process's descriptors (a chroot without it, or
// it hidden): the rest of the walk opens folders and files instead.
bool procUnusable = false;

// Where the entry is, for the calls that take a path: the folder's descriptor through /proc,
// so that paths longer than the system takes in one call still work. Without /proc folders
// and files are opened instead, and other entries go without attributes.
class Target {
 public:
  Target(int fd, int dirFd, const char* name) : fd_(fd) {
    if (fd_ >= 0) return;
    if (std::strcmp(name, ".") == 0) {
      fd_ = dirFd;
    } else if (!procUnusable) {
      path_ = "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
    } else {
      struct stat st {};
      if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        gone_ = errno == ENOENT || errno == ENOTDIR;
        none_ = true;
      } else if (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)) {
        fd_ = owned_ = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        gone_ = fd_ < 0 && (errno == ENOENT || errno == ENOTDIR || errno == ELOOP);
        none_ = fd_ < 0;
      } else {
        none_ = true;
      }
    }
  }
  ~Target() {
    if (owned_ >= 0) close(owned_);
  }
  Target(const Target&) = delete;
  Target& operator=(const Target&) = delete;
  bool gone() const { return gone_; }
  bool none() const { return none_; }
  bool throughProc() const { return !path_.empty(); }
  ssize_t list(char* buf, size_t n) const { return fd_ >= 0 ? flistxattr(fd_, buf, n) : llistxattr(path_.c_str(), buf, n); }
  ssize_t get(const char* name, void* buf, size_t n) const {
    return fd_ >= 0 ? fgetxattr(fd_, name, buf, n) : lgetxattr(path_.c_str(), name, buf, n);
  }

 private:
  int fd_;
  int owned_ = -1;
  bool gone_ = false, none_ = false;
  std::string path_;
};

bool unsupported(int err) { return err == ENOTSUP || err == ENOSYS; }

}  // namespace

std::string EntryAttributes::digest() const {
  if (empty()) return {};
  XXH3_state_t* state = XXH3_createState();
  if (!state) throw EngineFailure{kInternalError, "out of memory"};
  XXH3_64bits_reset(state);
  const auto add = [state](const std::string& name, const std::string& value) {
    const uint64_t size = value.size();
    XXH3_64bits_update(state, name.c_str(), name.size() + 1);
    XXH3_64bits_update(state, &size, sizeof size);
    XXH3_64bits_update(state, value.data(), value.size());
  };
  for (const auto& [name, value] : xattrs) add(name, value);
  if (!accessAcl.empty()) add(kAccessAcl, accessAcl);
  if (!defaultAcl.empty()) add(kDefaultAcl, defaultAcl);
  const uint64_t h = XXH3_64bits_digest(state);
  XXH3_freeState(state);
  static const char digits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 0; i < 16; ++i) out[i] = digits[(h >> (60 - 4 * i)) & 15];
  return out;
}

namespace {
// read(buffer, size) until buffer holds the whole answer: a list or a value may grow between
// asking its size and reading it. The answer's length, or -1 with errno set.
template <class Read>
ssize_t readWhole(std::string& buffer, const Read& read) {
  ssize_t n;
  while ((n = read(buffer.data(), buffer.size())) < 0 && errno == ERANGE) {
    const ssize_t need = read(nullptr, 0);
    if (need < 0 && errno != ERANGE) break;
    buffer.resize(std::max<size_t>(buffer.size() * 2, static_cast<size_t>(need > 0 ? need : 0) + 64));
  }
  return n;
}
}  // namespace

bool readEntryAttributes(int fd, int dirFd, const char* name, const std::string& path, EntryAttributes* out) {
  *out = {};
  const Target target(fd, dirFd, name);
  if (target.gone()) return false;
  if (target.none()) return true;
  std::string names(256, '\0');
  const ssize_t n = readWhole(names, [&](char* to, size_t size) { return target.list(to, size); });
  if (n < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      // Gone, or /proc does not show the folder's descriptor: only the folder can tell.
      struct stat st {};
      if (target.throughProc() && fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        procUnusable = true;
        return readEntryAttributes(fd, dirFd, name, path, out);
      }
      return false;
    }
    if (unsupported(errno)) return true;
    failRead(path + " (its extended attributes)", errno);
  }
  if (n == 0) return true;  // most entries have none
  std::string value(256, '\0');
  for (size_t at = 0; at < static_cast<size_t>(n);) {
    const char* attr = names.data() + at;
    at += std::strlen(attr) + 1;
    if (!kept(attr)) continue;
    const ssize_t v = readWhole(value, [&](char* to, size_t size) { return target.get(attr, to, size); });
    if (v < 0) {
      if (errno == ENODATA) continue;  // removed since the list was read
      if (errno == ENOENT || errno == ENOTDIR) return false;
      failRead(path + " (its extended attribute " + attr + ")", errno);
    }
    std::string content(value.data(), static_cast<size_t>(v));
    if (std::strcmp(attr, kAccessAcl) == 0) out->accessAcl = std::move(content);
    else if (std::strcmp(attr, kDefaultAcl) == 0) out->defaultAcl = std::move(content);
    else out->xattrs.emplace_back(attr, std::move(content));
  }
  std::sort(out->xattrs.begin(), out->xattrs.end());
  return true;
}

bool parsePosixAcl(const std::string& value, std::vector<AclEntry>* out) {
  out->clear();
  const auto word = [&value](size_t at, size_t bytes) {
    unsigned v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= static_cast<unsigned>(static_cast<unsigned char>(value[at + i])) << (8 * i);
    return v;
  };
  if (value.size() < 4 || (value.size() - 4) % 8 != 0 || word(0, 4) != 2) return false;
  for (size_t at = 4; at < value.size(); at += 8) out->push_back({word(at, 2), word(at + 2, 2), word(at + 4, 4)});
  return true;
}

}  // namespace corvane::snapshot
