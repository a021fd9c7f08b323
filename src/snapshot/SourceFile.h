#pragma once
// Reading one file of a source drive for an image: kept open only while it is still a regular
// file, read with its holes kept as holes, and watched for changes made while it is read.
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "snapshot/ImageArchive.h"

namespace corvane::snapshot {

class Control;

class SourceFile {
 public:
  SourceFile() = default;
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  ~SourceFile();

  // False when the name no longer holds a regular file (gone, or replaced by a link, a fifo
  // or a device, which is let go at once); throws kSourceUnreadable when it cannot be read.
  bool open(int dirFd, const char* name, const std::string& path);
  const struct stat& st() const { return st_; }
  int fd() const { return fd_; }
  // Where a file with holes holds data (empty: a file to be read whole).
  const std::vector<DataRegion>& dataRegions() const { return regions_; }

  // Feeds exactly st().st_size bytes to sink, in pieces of at most buf.size(): the data as
  // read, holes as zeros, and zeros for what a file that shrank meanwhile no longer has (the
  // header promised that size). False when the file changed while it was read (its size,
  // modification or change time moved): what was fed is then not its content at any one
  // moment.
  bool readAll(std::vector<char>& buf, Control& control, const std::function<void(const char*, size_t)>& sink);

 private:
  void findDataRegions();
  std::string path_;
  int fd_ = -1;
  struct stat st_ {};
  std::vector<DataRegion> regions_;
};

}  // namespace corvane::snapshot
