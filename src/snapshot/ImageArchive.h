#pragma once
// Writing an image: a pax archive written by libarchive, compressed with zstd, into a file
// that keeps a temporary name until it is complete.
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct archive;
struct archive_entry;

namespace corvane::snapshot {

class Control;
class ImageCompressor;
struct EntryAttributes;

// A file written under "<final>.part" and put in place by sync() and rename(): until then the final name
// keeps whatever it held. Every write failure ends the image with a status code that says
// whether the destination is full. CORVANE_ENGINE_WRITE_LIMIT (bytes, a test aid) makes
// writes beyond that many bytes, counted over all the engine's destination files, fail as a
// full disk does.
class DestinationFile {
 public:
  DestinationFile() = default;
  DestinationFile(const DestinationFile&) = delete;
  DestinationFile& operator=(const DestinationFile&) = delete;
  ~DestinationFile();  // an uncommitted file is removed

  void create(const std::string& finalPath);
  void write(const void* data, size_t n);
  // Puts everything written on the disk; after it nothing is written any more.
  void sync();
  // Renames the synced file over the final name (the folder is synced by syncFolder).
  void rename();
  void syncFolder();
  void discard();
  // From now on the temporary file stays when this object goes, whatever happens.
  void keep() { kept_ = true; }
  const std::string& tempPath() const { return temp_; }
  int fd() const { return fd_; }

 private:
  static constexpr uint64_t kWriteBehind = 1 << 20;
  std::string final_, temp_;
  int fd_ = -1;
  bool kept_ = false;
  uint64_t written_ = 0, started_ = 0;  // bytes written, and how many of them the disk was told about
};

[[noreturn]] void failWrite(const std::string& what, int err);

// The folder a native path is in ("." for a bare name).
std::string folderOf(const std::string& path);
// Puts the folder a file was renamed into on the disk (a rename is durable only then).
void syncFolderOf(const std::string& path);

// Buffers lines for a DestinationFile (the hash list, the list of deleted paths).
class LineWriter {
 public:
  // The buffer is taken whole at once: grown line by line, it would be copied again and again.
  explicit LineWriter(DestinationFile& file) : file_(file) { buffer_.reserve(kFlushAt + 4096); }
  void line(const std::string& text);
  // For writers that format straight into the buffer: append whole lines to *pending(), then
  // call wrote().
  std::string* pending() { return &buffer_; }
  void wrote() {
    if (buffer_.size() >= kFlushAt) flush();
  }
  void flush();
  // Where the next line starts in the file.
  uint64_t offset() const { return flushed_ + buffer_.size(); }
  // The line that starts at offset, without its line break, from the buffer or the file.
  void readBack(uint64_t offset, std::string* line) const;

 private:
  static constexpr size_t kFlushAt = size_t{1} << 20;
  DestinationFile& file_;
  std::string buffer_;
  uint64_t flushed_ = 0;
};

// A stretch of a sparse file that holds data; the rest of the file is holes.
struct DataRegion {
  uint64_t offset;
  uint64_t length;
};

class ImageArchive {
 public:
  ImageArchive(DestinationFile& out, int level, Control& control);
  ~ImageArchive();
  ImageArchive(const ImageArchive&) = delete;
  ImageArchive& operator=(const ImageArchive&) = delete;

  // Header of an entry without content (folder, fifo, device).
  void addEntry(const std::string& path, const struct stat& st, const EntryAttributes& attributes);
  void addSymlink(const std::string& path, const struct stat& st, const std::string& target, const EntryAttributes& attributes);
  // Another name of a file whose first name (target) is in this image or already on the disk
  // being restored.
  void addHardLink(const std::string& path, const struct stat& st, const std::string& target);
  // Header of a regular file; exactly st.st_size bytes of content follow. With data regions the
  // file is stored sparse: the content still follows whole (holes as zeros), but only the
  // regions take room in the image and on the disk it is restored to.
  void beginFile(const std::string& path, const struct stat& st, const EntryAttributes& attributes,
                 const std::vector<DataRegion>& dataRegions = {});
  void data(const void* buf, size_t n);
  // A file that came from memory or a spool, not from a drive.
  void addGeneratedFile(const std::string& path, int fd, uint64_t size);
  // Flushes the compressor and closes the archive (the file stays uncommitted).
  void finish();

 private:
  void writeHeader(archive_entry* e);
  [[noreturn]] void fail(const std::string& what);
  std::unique_ptr<ImageCompressor> compressor_;
  archive* a_ = nullptr;
  bool finished_ = false;
  friend struct ArchiveCallbacks;
};

}  // namespace corvane::snapshot
