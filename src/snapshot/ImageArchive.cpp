#include "snapshot/ImageArchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "snapshot/Control.h"

namespace corvane::snapshot {

namespace {

// Bytes all destination files may still take; only set through the test aid.
std::optional<uint64_t>& writeAllowance() {
  static std::optional<uint64_t> allowance = [] () -> std::optional<uint64_t> {
    const char* env = std::getenv("CORVANE_ENGINE_WRITE_LIMIT");
    if (!env || !*env) return std::nullopt;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(env, &end, 10);
    if (*end != '\0') return std::nullopt;
    return static_cast<uint64_t>(v);
  }();
  return allowance;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

void failWrite(const std::string& what, int err) {
  const bool full = err == ENOSPC || err == EDQUOT || err == EFBIG;
  throw EngineFailure{full ? kDestinationFull : kDestinationUnwritable, "cannot write " + what + ": " + std::strerror(err)};
}

DestinationFile::~DestinationFile() { discard(); }

void DestinationFile::create(const std::string& finalPath) {
  discard();
  // The temporary name is locked for as long as it is written: an engine of another
  // application folder writing the same image must not truncate it under this one (both
  // would then report a whole image made of two). The lock is tried a few times, because the
  // engine that held it may have renamed the file to its final name in between.
  const std::string temp = finalPath + ".part";
  for (int attempt = 0; attempt < 3; ++attempt) {
    // Images hold everything the user can read; nobody else reads them.
    const int fd = open(temp.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) failWrite(temp, errno);
    flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
      const int err = errno;
      close(fd);
      if (err == EAGAIN || err == EACCES) throw EngineFailure{kAlreadyRunning, "another engine is writing " + finalPath};
      failWrite(temp, err);
    }
    struct stat opened {}, named {};
    if (fstat(fd, &opened) != 0 || stat(temp.c_str(), &named) != 0 || opened.st_dev != named.st_dev ||
        opened.st_ino != named.st_ino) {
      close(fd);
      continue;
    }
    fd_ = fd;
    final_ = finalPath;
    temp_ = temp;
    if (ftruncate(fd_, 0) != 0) failWrite(temp_, errno);
    return;
  }
  throw EngineFailure{kAlreadyRunning, "another engine is writing " + finalPath};
}

void DestinationFile::write(const void* data, size_t n) {
  auto& allowance = writeAllowance();
  size_t allowed = n;
  if (allowance && *allowance < n) allowed = static_cast<size_t>(*allowance);
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < allowed) {
    const ssize_t w = ::write(fd_, p + done, allowed - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      failWrite(temp_, errno);
    }
    done += static_cast<size_t>(w);
  }
  if (allowance) *allowance -= allowed;
  if (allowed < n) failWrite(temp_, ENOSPC);
}

void DestinationFile::commit() {
  if (fsync(fd_) != 0) failWrite(temp_, errno);
  // Renamed while still open, so the lock is held until the temporary name is gone.
  if (rename(temp_.c_str(), final_.c_str()) != 0) failWrite(final_, errno);
  temp_.clear();
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) failWrite(final_, errno);
  // The rename itself is only durable once the folder is on disk.
  const int dir = open(folderOf(final_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

void DestinationFile::discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

void LineWriter::line(const std::string& text) {
  buffer_ += text;
  buffer_ += '\n';
  if (buffer_.size() >= (1u << 20)) flush();
}

void LineWriter::flush() {
  if (buffer_.empty()) return;
  file_.write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

// libarchive is C: nothing may be thrown through it. The write callback keeps the failure and
// reports a plain error; ImageArchive::fail throws it once libarchive has returned.
struct ArchiveCallbacks {
  static std::optional<EngineFailure>& pending() {
    static thread_local std::optional<EngineFailure> failure;
    return failure;
  }
  static la_ssize_t write(archive* a, void* client, const void* buf, size_t n) {
    auto* self = static_cast<ImageArchive*>(client);
    try {
      self->out_.write(buf, n);
    } catch (const EngineFailure& f) {
      pending() = f;
      archive_set_error(a, EIO, "%s", f.message.c_str());
      return -1;
    }
    self->control_.addWritten(n);
    return static_cast<la_ssize_t>(n);
  }
};

ImageArchive::ImageArchive(DestinationFile& out, int level, Control& control) : out_(out), control_(control) {
  ArchiveCallbacks::pending().reset();
  a_ = archive_write_new();
  if (!a_) throw EngineFailure{kInternalError, "out of memory"};
  const std::string levelText = std::to_string(level);
  const unsigned cores = std::thread::hardware_concurrency();
  const std::string threads = std::to_string(cores == 0 ? 1 : cores);
  if (archive_write_set_format_pax_restricted(a_) != ARCHIVE_OK || archive_write_add_filter_zstd(a_) != ARCHIVE_OK ||
      archive_write_set_filter_option(a_, "zstd", "compression-level", levelText.c_str()) != ARCHIVE_OK)
    fail("cannot set up the image format");
  // More compressor threads are a help, never a need: an older library without the option
  // still writes the same image on one thread.
  archive_write_set_filter_option(a_, "zstd", "threads", threads.c_str());
  archive_write_set_bytes_per_block(a_, 1 << 20);
  archive_write_set_bytes_in_last_block(a_, 1);
  if (archive_write_open2(a_, this, nullptr, &ArchiveCallbacks::write, nullptr, nullptr) != ARCHIVE_OK)
    fail("cannot start the image");
  links_ = archive_entry_linkresolver_new();
  if (!links_) throw EngineFailure{kInternalError, "out of memory"};
  archive_entry_linkresolver_set_strategy(links_, ARCHIVE_FORMAT_TAR_PAX_RESTRICTED);
}

ImageArchive::~ImageArchive() {
  if (links_) archive_entry_linkresolver_free(links_);
  if (!a_) return;
  if (finished_) {
    archive_write_free(a_);
    return;
  }
  // An image given up half way must not be closed: a close first pads the open entry to the
  // size its header promised (gigabytes of zeros through the compressor for a large file).
  // Marked failed, it is freed without a close, but then libarchive keeps its output buffer;
  // the archive is kept reachable instead, as the engine ends right after a given-up image.
  archive_write_fail(a_);
  static auto* abandoned = new std::vector<archive*>;
  abandoned->push_back(a_);
}

void ImageArchive::fail(const std::string& what) {
  if (auto& p = ArchiveCallbacks::pending()) {
    EngineFailure f = *p;
    p.reset();
    throw f;
  }
  const char* detail = a_ ? archive_error_string(a_) : nullptr;
  throw EngineFailure{kInternalError, what + (detail ? std::string(": ") + detail : std::string())};
}

void ImageArchive::writeHeader(archive_entry* e) {
  const int r = archive_write_header(a_, e);
  if (r < ARCHIVE_WARN) fail("cannot write the entry " + std::string(archive_entry_pathname(e)));
}

namespace {
struct EntryHolder {
  archive_entry* e;
  explicit EntryHolder(archive_entry* entry) : e(entry) {
    if (!e) throw EngineFailure{kInternalError, "out of memory"};
  }
  ~EntryHolder() { archive_entry_free(e); }
};

archive_entry* entryFor(const std::string& path, const struct stat& st) {
  archive_entry* e = archive_entry_new();
  if (!e) return nullptr;
  archive_entry_copy_stat(e, &st);
  archive_entry_copy_pathname(e, path.c_str());
  // Times beyond the modification time are not restored by tar and only grow the headers.
  archive_entry_unset_atime(e);
  archive_entry_unset_ctime(e);
  archive_entry_unset_birthtime(e);
  return e;
}
}  // namespace

void ImageArchive::addEntry(const std::string& path, const struct stat& st) {
  EntryHolder h(entryFor(path, st));
  archive_entry_set_size(h.e, 0);
  writeHeader(h.e);
}

void ImageArchive::addSymlink(const std::string& path, const struct stat& st, const std::string& target) {
  EntryHolder h(entryFor(path, st));
  archive_entry_set_size(h.e, 0);
  archive_entry_copy_symlink(h.e, target.c_str());
  writeHeader(h.e);
}

bool ImageArchive::beginFile(const std::string& path, const struct stat& st, const std::vector<DataRegion>& dataRegions) {
  archive_entry* e = entryFor(path, st);
  if (!e) throw EngineFailure{kInternalError, "out of memory"};
  for (const DataRegion& r : dataRegions)
    archive_entry_sparse_add_entry(e, static_cast<la_int64_t>(r.offset), static_cast<la_int64_t>(r.length));
  if (st.st_nlink <= 1) {
    EntryHolder h(e);
    writeHeader(h.e);
    return true;
  }
  // The resolver hands back the first name of a linked file as it is and every later name as
  // a link to it; it keeps only files with links not yet seen.
  archive_entry* spare = nullptr;
  archive_entry_linkify(links_, &e, &spare);
  if (spare) archive_entry_free(spare);
  EntryHolder h(e);
  const bool content = archive_entry_hardlink(h.e) == nullptr;
  if (!content) archive_entry_set_size(h.e, 0);
  writeHeader(h.e);
  return content;
}

void ImageArchive::data(const void* buf, size_t n) {
  if (n == 0) return;
  const la_ssize_t w = archive_write_data(a_, buf, n);
  if (w < 0 || static_cast<size_t>(w) != n) fail("cannot write file content");
}

void ImageArchive::addGeneratedFile(const std::string& path, int fd, uint64_t size) {
  struct stat st {};
  st.st_mode = S_IFREG | 0644;
  st.st_nlink = 1;
  st.st_size = static_cast<off_t>(size);
  st.st_mtime = time(nullptr);
  EntryHolder h(entryFor(path, st));
  writeHeader(h.e);
  std::vector<char> buf(1 << 16);
  uint64_t left = size;
  off_t offset = 0;
  while (left > 0) {
    const ssize_t r = pread(fd, buf.data(), left < buf.size() ? left : buf.size(), offset);
    if (r <= 0) throw EngineFailure{kInternalError, "cannot read back the list of deleted paths"};
    data(buf.data(), static_cast<size_t>(r));
    left -= static_cast<uint64_t>(r);
    offset += r;
  }
}

void ImageArchive::finish() {
  if (archive_write_close(a_) != ARCHIVE_OK) fail("cannot complete the image");
  finished_ = true;
}

}  // namespace corvane::snapshot
