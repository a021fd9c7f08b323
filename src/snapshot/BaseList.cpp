#include "snapshot/BaseList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "snapshot/Control.h"
#include "snapshot/ImageArchive.h"

namespace corvane::snapshot {

void completeInterruptedPair(const std::string& list) {
  const std::string part = list + ".part";
  const int fd = open(part.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return;
  flock fl{};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  // Locked: an engine is writing it now.
  if (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    close(fd);
    return;
  }
  bool belongs = false;
  const int copy = dup(fd);
  if (std::FILE* f = copy >= 0 ? fdopen(copy, "rb") : nullptr) {
    HashListReader reader(f);
    if (reader.start() && !reader.firstFormat() && reader.namesImage() && reader.imageSize() > 0) {
      struct stat st {};
      const std::string image = folderOf(list) + "/" + reader.imageName();
      belongs = stat(image.c_str(), &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) == reader.imageSize() &&
                static_cast<uint64_t>(st.st_ino) == reader.imageInode();
    }
    std::fclose(f);
  } else if (copy >= 0) {
    close(copy);
  }
  if (belongs && rename(part.c_str(), list.c_str()) == 0) {
    std::fprintf(stderr, "snapshot: %s completed the image it belongs to\n", list.c_str());
    syncFolderOf(list);
  }
  close(fd);
}

BaseList::BaseList(const std::string& nativePath, std::string drives, Control& control, std::function<void(const std::string&)> onDeleted)
    : path_(nativePath), drives_(std::move(drives)), control_(control), onDeleted_(std::move(onDeleted)) {
  file_ = std::fopen(nativePath.c_str(), "rbe");
  if (!file_) {
    if (errno == ENOENT || errno == ENOTDIR)
      throw EngineFailure{kHashListMissing, "the hash list of the full image is missing: " + nativePath};
    throw EngineFailure{kHashListDamaged, "cannot read the hash list " + nativePath + ": " + std::strerror(errno)};
  }
  // The reader takes the list in large pieces of its own.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  reader_ = std::make_unique<HashListReader>(file_);
  try {
    if (!reader_->start()) damaged();
    checkImage();
    if (reader_->firstFormat())
      std::fprintf(stderr, "snapshot: %s is of the earlier format; the differential takes every entry again\n", path_.c_str());
    advance();
  } catch (...) {
    std::fclose(file_);
    throw;
  }
}

BaseList::~BaseList() { std::fclose(file_); }

std::optional<Timestamp> BaseList::started() const {
  if (reader_->firstFormat()) return std::nullopt;
  return reader_->started();
}

const HashEntry* BaseList::take(const std::string& path) {
  while (has_ && comparePaths(current_->path, path) < 0) passOver();
  if (!has_ || current_->path != path) return nullptr;
  const HashEntry* found = current_;
  advance();
  return found;
}

namespace {

bool isWithin(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path[folder.size()] == '/' && path.compare(0, folder.size(), folder) == 0;
}

}  // namespace

void BaseList::passOverWithin(const std::string& folder) {
  while (has_ && isWithin(current_->path, folder)) passOver();
}

void BaseList::leftOut(const std::string& path) {
  while (has_ && comparePaths(current_->path, path) < 0) passOver();
  while (has_ && (current_->path == path || isWithin(current_->path, path))) passOver(false);
}

void BaseList::drain() {
  while (has_) passOver();
}

void BaseList::damaged() {
  throw EngineFailure{kHashListDamaged, "the hash list " + path_ + " is damaged near line " + std::to_string(reader_->lineNumber())};
}

// A differential is only of use beside the full image it builds on: that image must still be
// there, and be the one the list was written with.
void BaseList::checkImage() {
  if (!reader_->namesImage()) return;
  const std::string image = folderOf(path_) + "/" + reader_->imageName();
  struct stat st {};
  if (stat(image.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      throw EngineFailure{kHashListMissing, "the full image of the hash list " + path_ + " is missing: " + image};
    throw EngineFailure{kHashListDamaged, "cannot look at the full image " + image + ": " + std::strerror(errno)};
  }
  if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) != reader_->imageSize())
    throw EngineFailure{kHashListDamaged, "the hash list " + path_ + " is not the list of the image " + image};
}

void BaseList::passOver(bool deleted) {
  if (deleted && drives_.find(current_->path[0]) != std::string::npos) onDeleted_(current_->path);
  // Thousands of deletions in a row are read without the walk's own pauses.
  if (++passed_ % 4096 == 0) control_.checkpoint();
  advance();
}

void BaseList::advance() {
  switch (reader_->next(&current_)) {
    case HashListReader::State::Ok: has_ = true; break;
    case HashListReader::State::End: has_ = false; break;
    case HashListReader::State::Damaged: damaged();
  }
}

}  // namespace corvane::snapshot
