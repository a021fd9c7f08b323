#include "snapshot/SourceFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "snapshot/Control.h"

namespace corvane::snapshot {

namespace {

// A file broken into more pieces than this is read whole: its map would cost more than the
// holes save.
constexpr size_t kMaxRegions = 16384;

const std::vector<char>& zeros() {
  static const std::vector<char> block(size_t{1} << 20);
  return block;
}

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

SourceFile::~SourceFile() {
  if (fd_ >= 0) close(fd_);
}

bool SourceFile::open(int dirFd, const char* name, const std::string& path) {
  path_ = path;
  // The walk saw a regular file here. Should something else have taken its place since, it is
  // closed again unread: not blocking on a fifo (O_NONBLOCK), not taking a terminal.
  fd_ = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOATIME);
  if (fd_ < 0 && errno == EPERM) fd_ = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    if (errno == ENOENT || errno == ELOOP) return false;
    failRead(path, errno);
  }
  if (fstat(fd_, &st_) != 0) failRead(path, errno);
  if (!S_ISREG(st_.st_mode)) {
    close(fd_);
    fd_ = -1;
    return false;
  }
  posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  findDataRegions();
  return true;
}

void SourceFile::findDataRegions() {
  regions_.clear();
  const off_t size = st_.st_size;
  // Fewer blocks than its size needs: the file has holes.
  if (size <= 0 || st_.st_blocks * 512 >= size) return;
  off_t pos = 0;
  while (pos < size) {
    const off_t data = lseek(fd_, pos, SEEK_DATA);
    if (data < 0 && errno == ENXIO) break;  // only a hole from here to the end
    if (data < 0) {
      regions_.clear();  // the file system cannot say: read it whole
      return;
    }
    if (data >= size) break;
    off_t hole = lseek(fd_, data, SEEK_HOLE);
    if (hole < 0) {
      regions_.clear();
      return;
    }
    hole = std::min(hole, size);
    // Whole 512-byte blocks: tar readers take every region but the last from blocks of its
    // own, so a region of another length would shift everything after it.
    const uint64_t start = static_cast<uint64_t>(data) & ~uint64_t{511};
    const uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(size), (static_cast<uint64_t>(hole) + 511) & ~uint64_t{511});
    if (!regions_.empty() && regions_.back().offset + regions_.back().length >= start)
      regions_.back().length = end - regions_.back().offset;
    else
      regions_.push_back({start, end - start});
    if (regions_.size() > kMaxRegions) {
      regions_.clear();
      return;
    }
    pos = hole;
  }
  // A file that is all hole still needs one region; its last block is as cheap as any.
  if (regions_.empty()) {
    const uint64_t start = static_cast<uint64_t>(size - 1) & ~uint64_t{511};
    regions_.push_back({start, static_cast<uint64_t>(size) - start});
  }
  if (regions_.size() == 1 && regions_[0].offset == 0 && regions_[0].length == static_cast<uint64_t>(size)) regions_.clear();
}

bool SourceFile::readAll(std::vector<char>& buf, Control& control, const std::function<void(const char*, size_t)>& sink) {
  const uint64_t size = static_cast<uint64_t>(st_.st_size);
  bool whole = true;
  uint64_t pos = 0;
  // Holes count as read, so that the figures keep moving through a large one.
  const auto feedZeros = [&](uint64_t n, bool hole) {
    while (n > 0) {
      control.checkpoint();
      const size_t piece = static_cast<size_t>(std::min<uint64_t>(n, std::min(buf.size(), zeros().size())));
      if (hole) control.addRead(piece);
      sink(zeros().data(), piece);
      n -= piece;
    }
  };
  const auto feedData = [&](uint64_t offset, uint64_t length) {
    while (length > 0) {
      control.checkpoint();
      const size_t want = static_cast<size_t>(std::min<uint64_t>(length, buf.size()));
      const ssize_t r = pread(fd_, buf.data(), want, static_cast<off_t>(offset));
      if (r < 0) {
        if (errno == EINTR) continue;
        failRead(path_, errno);
      }
      if (r == 0) {  // shrunk since it was opened
        whole = false;
        feedZeros(length, false);
        return;
      }
      control.addRead(static_cast<uint64_t>(r));
      sink(buf.data(), static_cast<size_t>(r));
      offset += static_cast<uint64_t>(r);
      length -= static_cast<uint64_t>(r);
    }
  };
  if (regions_.empty()) {
    feedData(0, size);
  } else {
    for (const DataRegion& r : regions_) {
      feedZeros(r.offset - pos, true);
      feedData(r.offset, r.length);
      pos = r.offset + r.length;
    }
    feedZeros(size - pos, true);
  }
  struct stat now {};
  if (fstat(fd_, &now) != 0 || now.st_size != st_.st_size || !sameTime(now.st_mtim, st_.st_mtim) ||
      !sameTime(now.st_ctim, st_.st_ctim))
    whole = false;
  return whole;
}

}  // namespace corvane::snapshot
