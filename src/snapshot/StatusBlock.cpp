#include "snapshot/StatusBlock.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace corvane::snapshot {

namespace {

std::string trimTrailingSlashes(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// An open file description lock: unlike a classic POSIX lock it is not dropped when some other
// descriptor of the same file is closed in the same process, and it is released when the
// engine dies however it dies.
flock wholeFileLock(short type) {
  flock fl{};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  return fl;
}

}  // namespace

std::string statusFolder() {
  if (const char* env = std::getenv("CORVANE_APPDIR"); env && *env) return trimTrailingSlashes(env);
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string exe(buf, static_cast<size_t>(n));
  const auto slash = exe.rfind('/');
  return slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : exe.substr(0, slash));
}

std::string statusFilePathIn(const std::string& folder) {
  return folder == "/" ? std::string("/") + kStatusFileName : folder + "/" + kStatusFileName;
}

std::string statusFilePath() { return statusFilePathIn(statusFolder()); }

StatusMapping::StatusMapping(StatusMapping&& other) noexcept { *this = std::move(other); }

StatusMapping& StatusMapping::operator=(StatusMapping&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.fd_;
    block_ = other.block_;
    other.fd_ = -1;
    other.block_ = nullptr;
  }
  return *this;
}

StatusMapping::~StatusMapping() { reset(); }

void StatusMapping::reset() {
  if (block_) munmap(block_, kStatusFileSize);
  if (fd_ >= 0) close(fd_);
  block_ = nullptr;
  fd_ = -1;
}

StatusMapping StatusMapping::openAsOwner(const std::string& path, OwnResult* result) {
  StatusMapping m;
  *result = OwnResult::Failed;
  // Never truncated on open: another engine may own it and its figures must survive.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return m;
  flock fl = wholeFileLock(F_WRLCK);
  if (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    if (errno == EAGAIN || errno == EACCES) *result = OwnResult::AlreadyOwned;
    close(fd);
    return m;
  }
  if (ftruncate(fd, kStatusFileSize) != 0) {
    close(fd);
    return m;
  }
  void* p = mmap(nullptr, kStatusFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    close(fd);
    return m;
  }
  auto* block = static_cast<StatusBlock*>(p);
  // The figures of a new image; "in progress" is raised last so that a reader never sees an
  // image in progress with the figures of the previous one.
  storeField(block->inProgress, 0);
  storeField(block->statusCode, int32_t{kOk});
  storeField(block->pauseRequested, 0);
  storeField(block->paused, 0);
  storeField(block->pausedNaps, 0);
  storeField(block->bytesRead, uint64_t{0});
  storeField(block->bytesWritten, uint64_t{0});
  storeField(block->pid, static_cast<int32_t>(getpid()));
  block->size = sizeof(StatusBlock);
  block->version = kStatusVersion;
  std::memcpy(block->magic, kStatusMagic, sizeof kStatusMagic);
  storeField(block->inProgress, 1);
  m.fd_ = fd;
  m.block_ = block;
  *result = OwnResult::Owned;
  return m;
}

StatusFile::StatusFile(StatusFile&& other) noexcept { *this = std::move(other); }

StatusFile& StatusFile::operator=(StatusFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    writable_ = other.writable_;
    dev_ = other.dev_;
    ino_ = other.ino_;
    other.fd_ = -1;
  }
  return *this;
}

StatusFile::~StatusFile() {
  if (fd_ >= 0) close(fd_);
}

StatusFile StatusFile::open(const std::string& path) {
  StatusFile f;
  f.writable_ = true;
  f.fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (f.fd_ < 0 && errno == EACCES) {
    // Still readable: the figures show, pause and resume are refused.
    f.writable_ = false;
    f.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  }
  struct stat st {};
  if (f.fd_ >= 0 && (fstat(f.fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
    close(f.fd_);
    f.fd_ = -1;
  }
  f.dev_ = st.st_dev;
  f.ino_ = st.st_ino;
  return f;
}

bool StatusFile::read(StatusBlock* out) const {
  if (fd_ < 0) return false;
  // The engine updates its counters while they are copied; two copies that agree are one
  // moment's figures.
  StatusBlock again{};
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (pread(fd_, out, sizeof *out, 0) != static_cast<ssize_t>(sizeof *out)) return false;
    if (pread(fd_, &again, sizeof again, 0) != static_cast<ssize_t>(sizeof again)) return false;
    if (std::memcmp(out, &again, sizeof again) == 0) break;
  }
  return std::memcmp(out->magic, kStatusMagic, sizeof kStatusMagic) == 0 && out->version == kStatusVersion;
}

bool StatusFile::postPause(int32_t value) const {
  return fd_ >= 0 && writable_ &&
         pwrite(fd_, &value, sizeof value, offsetof(StatusBlock, pauseRequested)) == static_cast<ssize_t>(sizeof value);
}

bool StatusFile::ownerAlive() const {
  if (fd_ < 0) return false;
  flock fl = wholeFileLock(F_WRLCK);
  if (fcntl(fd_, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

bool StatusFile::sameFile(const std::string& path) const {
  struct stat st {};
  return fd_ >= 0 && stat(path.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_;
}

}  // namespace corvane::snapshot
