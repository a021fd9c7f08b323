#include "snapshot/ImageArchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>
#include <zstd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "snapshot/Control.h"
#include "snapshot/EntryAttributes.h"

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

}  // namespace

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

void syncFolderOf(const std::string& path) {
  const int dir = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

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
    written_ = started_ = 0;
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
  // The disk starts on what is written while the walk goes on, so that the sync before the
  // rename has only the last piece to wait for (and the page cache is not filled with an
  // image nobody reads back).
  written_ += allowed;
  if (written_ - started_ >= kWriteBehind) {
    sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(written_ - started_), SYNC_FILE_RANGE_WRITE);
    started_ = written_;
  }
}

void DestinationFile::sync() {
  if (fsync(fd_) != 0) failWrite(temp_, errno);
}

void DestinationFile::rename() {
  // Renamed while still open, so the lock is held until the temporary name is gone.
  if (::rename(temp_.c_str(), final_.c_str()) != 0) failWrite(final_, errno);
  temp_.clear();
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) failWrite(final_, errno);
}

void DestinationFile::syncFolder() { syncFolderOf(final_); }

void DestinationFile::discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty() && !kept_) unlink(temp_.c_str());
  temp_.clear();
}

void LineWriter::line(const std::string& text) {
  buffer_ += text;
  buffer_ += '\n';
  wrote();
}

void LineWriter::flush() {
  if (buffer_.empty()) return;
  file_.write(buffer_.data(), buffer_.size());
  flushed_ += buffer_.size();
  buffer_.clear();
}

void LineWriter::readBack(uint64_t offset, std::string* line) const {
  line->clear();
  if (offset >= flushed_) {
    const size_t at = static_cast<size_t>(offset - flushed_);
    const size_t end = buffer_.find('\n', at);
    if (at <= buffer_.size()) line->assign(buffer_, at, end == std::string::npos ? std::string::npos : end - at);
    return;
  }
  char chunk[4096];
  for (;;) {
    const ssize_t n = pread(file_.fd(), chunk, sizeof chunk, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EngineFailure{kInternalError, "cannot read back " + file_.tempPath() + ": " + std::strerror(errno)};
    if (n == 0) return;
    const char* nl = static_cast<const char*>(std::memchr(chunk, '\n', static_cast<size_t>(n)));
    line->append(chunk, nl ? static_cast<size_t>(nl - chunk) : static_cast<size_t>(n));
    if (nl) return;
    offset += static_cast<uint64_t>(n);
  }
}

// The zstd stream of an image. The tar stream is held back until it passes a few MiB: a
// differential of a tree with few changes is then compressed on this thread alone, without
// starting (and paying for) the compressor's workers; anything larger gets one worker a core.
class ImageCompressor {
 public:
  ImageCompressor(DestinationFile& out, int level, Control& control) : out_(out), control_(control), buffer_(ZSTD_CStreamOutSize()) {
    cctx_ = ZSTD_createCCtx();
    if (!cctx_ || ZSTD_isError(ZSTD_CCtx_setParameter(cctx_, ZSTD_c_compressionLevel, level)))
      throw EngineFailure{kInternalError, "cannot set up the compressor"};
  }
  ~ImageCompressor() { ZSTD_freeCCtx(cctx_); }
  ImageCompressor(const ImageCompressor&) = delete;
  ImageCompressor& operator=(const ImageCompressor&) = delete;

  void write(const void* data, size_t n) {
    if (!started_) {
      held_.append(static_cast<const char*>(data), n);
      if (held_.size() >= kHeld) start(workers());
      return;
    }
    compress(data, n, ZSTD_e_continue);
  }
  void finish() {
    if (!started_) start(0);
    compress(nullptr, 0, ZSTD_e_end);
  }

 private:
  static constexpr size_t kHeld = size_t{4} << 20;
  static constexpr int kJobSize = 2 << 20;
  static int workers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
  }
  void start(int workers) {
    started_ = true;
    // More threads are a help, never a need: a library built without them compresses alone.
    // zstd's own job size at these levels is 8 MiB, and it keeps a few jobs per worker: 250 MB
    // with eight. Jobs of 2 MiB compress as fast and as small, in a third of that.
    if (workers > 0 && !ZSTD_isError(ZSTD_CCtx_setParameter(cctx_, ZSTD_c_nbWorkers, workers)))
      ZSTD_CCtx_setParameter(cctx_, ZSTD_c_jobSize, kJobSize);
    std::string held;
    held.swap(held_);
    compress(held.data(), held.size(), ZSTD_e_continue);
  }
  void compress(const void* data, size_t n, ZSTD_EndDirective mode) {
    ZSTD_inBuffer in{data, n, 0};
    for (;;) {
      ZSTD_outBuffer o{buffer_.data(), buffer_.size(), 0};
      const size_t left = ZSTD_compressStream2(cctx_, &o, &in, mode);
      if (ZSTD_isError(left)) throw EngineFailure{kInternalError, std::string("the compressor failed: ") + ZSTD_getErrorName(left)};
      if (o.pos > 0) {
        out_.write(buffer_.data(), o.pos);
        control_.addWritten(o.pos);
      }
      if (mode == ZSTD_e_end ? left == 0 : in.pos == in.size) return;
    }
  }
  DestinationFile& out_;
  Control& control_;
  ZSTD_CCtx* cctx_ = nullptr;
  std::vector<char> buffer_;
  std::string held_;
  bool started_ = false;
};

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
      self->compressor_->write(buf, n);
    } catch (const EngineFailure& f) {
      pending() = f;
      archive_set_error(a, EIO, "%s", f.message.c_str());
      return -1;
    }
    return static_cast<la_ssize_t>(n);
  }
};

ImageArchive::ImageArchive(DestinationFile& out, int level, Control& control)
    : compressor_(std::make_unique<ImageCompressor>(out, level, control)) {
  ArchiveCallbacks::pending().reset();
  a_ = archive_write_new();
  if (!a_) throw EngineFailure{kInternalError, "out of memory"};
  // Full pax, not its restricted form: that one drops the fraction of a second unless an entry
  // needs an extended header anyway.
  if (archive_write_set_format_pax(a_) != ARCHIVE_OK) fail("cannot set up the image format");
  // Extended attributes only in the form GNU tar reads too (by default the library writes each
  // twice, and tar warns about the second form on every entry).
  archive_write_set_format_option(a_, "pax", "xattrheader", "SCHILY");
  archive_write_set_bytes_per_block(a_, 1 << 20);
  archive_write_set_bytes_in_last_block(a_, 1);
  if (archive_write_open2(a_, this, nullptr, &ArchiveCallbacks::write, nullptr, nullptr) != ARCHIVE_OK)
    fail("cannot start the image");
}

ImageArchive::~ImageArchive() {
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

void addAcl(archive_entry* e, int type, const std::string& value) {
  std::vector<AclEntry> entries;
  if (value.empty() || !parsePosixAcl(value, &entries)) return;
  for (const AclEntry& a : entries) {
    int tag;
    switch (a.tag) {
      case 0x01: tag = ARCHIVE_ENTRY_ACL_USER_OBJ; break;
      case 0x02: tag = ARCHIVE_ENTRY_ACL_USER; break;
      case 0x04: tag = ARCHIVE_ENTRY_ACL_GROUP_OBJ; break;
      case 0x08: tag = ARCHIVE_ENTRY_ACL_GROUP; break;
      case 0x10: tag = ARCHIVE_ENTRY_ACL_MASK; break;
      case 0x20: tag = ARCHIVE_ENTRY_ACL_OTHER; break;
      default: continue;
    }
    const bool qualified = tag == ARCHIVE_ENTRY_ACL_USER || tag == ARCHIVE_ENTRY_ACL_GROUP;
    // The bits are the same: 4 read, 2 write, 1 execute.
    archive_entry_acl_add_entry(e, type, static_cast<int>(a.perm & 7), tag, qualified ? static_cast<int>(a.id) : -1, nullptr);
  }
}

archive_entry* entryFor(const std::string& path, const struct stat& st, const EntryAttributes* attributes) {
  archive_entry* e = archive_entry_new();
  if (!e) return nullptr;
  archive_entry_copy_stat(e, &st);
  archive_entry_copy_pathname(e, path.c_str());
  // Times beyond the modification time are not restored by tar and only grow the headers.
  archive_entry_unset_atime(e);
  archive_entry_unset_ctime(e);
  archive_entry_unset_birthtime(e);
  // Before 1970 the library writes seconds and fraction as two numbers ("-5.25" for -5 s plus
  // 0.25 s), where the pax form and GNU tar read one number (-5.25 s). Given as the time one
  // second later less the fraction, it comes out as the number tar reads right. Within the last
  // second before 1970 there is no such form; that time is kept to the whole second.
  if (st.st_mtim.tv_sec < 0 && st.st_mtim.tv_nsec > 0) {
    if (st.st_mtim.tv_sec < -1) archive_entry_set_mtime(e, st.st_mtim.tv_sec + 1, 1000000000L - st.st_mtim.tv_nsec);
    else archive_entry_set_mtime(e, -1, 0);
  }
  if (attributes) {
    for (const auto& [name, value] : attributes->xattrs) archive_entry_xattr_add_entry(e, name.c_str(), value.data(), value.size());
    // The owner's, owning group's and others' entries set the mode's bits; with a mask the
    // group bits on the disk are the mask's, and tar with its ACLs gives them back.
    addAcl(e, ARCHIVE_ENTRY_ACL_TYPE_ACCESS, attributes->accessAcl);
    addAcl(e, ARCHIVE_ENTRY_ACL_TYPE_DEFAULT, attributes->defaultAcl);
  }
  return e;
}
}  // namespace

void ImageArchive::addEntry(const std::string& path, const struct stat& st, const EntryAttributes& attributes) {
  EntryHolder h(entryFor(path, st, &attributes));
  archive_entry_set_size(h.e, 0);
  writeHeader(h.e);
}

void ImageArchive::addSymlink(const std::string& path, const struct stat& st, const std::string& target,
                              const EntryAttributes& attributes) {
  EntryHolder h(entryFor(path, st, &attributes));
  archive_entry_set_size(h.e, 0);
  archive_entry_copy_symlink(h.e, target.c_str());
  writeHeader(h.e);
}

void ImageArchive::addHardLink(const std::string& path, const struct stat& st, const std::string& target) {
  EntryHolder h(entryFor(path, st, nullptr));
  archive_entry_set_size(h.e, 0);
  archive_entry_copy_hardlink(h.e, target.c_str());
  writeHeader(h.e);
}

void ImageArchive::beginFile(const std::string& path, const struct stat& st, const EntryAttributes& attributes,
                             const std::vector<DataRegion>& dataRegions) {
  EntryHolder h(entryFor(path, st, &attributes));
  for (const DataRegion& r : dataRegions)
    archive_entry_sparse_add_entry(h.e, static_cast<la_int64_t>(r.offset), static_cast<la_int64_t>(r.length));
  writeHeader(h.e);
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
  EntryHolder h(entryFor(path, st, nullptr));
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
  compressor_->finish();
  finished_ = true;
}

}  // namespace corvane::snapshot
