#include "snapshot/Engine.h"

#include <fcntl.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "snapshot/Control.h"
#include "snapshot/HashList.h"
#include "snapshot/ImageArchive.h"
#include "snapshot/SourceFile.h"
#include "snapshot/TreeWalk.h"

namespace corvane::snapshot {

const char* const kDeletedListName = "CorvaneDeleted.txt";

namespace {

constexpr size_t kChunk = 1 << 20;

std::string nativeOf(const platform::PathMap& drives, const std::string& windowsPath, int32_t code, const char* what) {
  const auto native = drives.toNative(QString::fromStdString(windowsPath));
  if (!native) throw EngineFailure{code, std::string(what) + " is not on a mapped drive: " + windowsPath};
  return native->toStdString();
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::pair<dev_t, ino_t> identity(const struct stat& st) { return {st.st_dev, st.st_ino}; }

char typeOf(mode_t mode) {
  if (S_ISDIR(mode)) return 'd';
  if (S_ISREG(mode)) return 'f';
  if (S_ISLNK(mode)) return 'l';
  if (S_ISFIFO(mode)) return 'p';
  if (S_ISCHR(mode)) return 'c';
  return 'b';
}

HashEntry entryOf(const WalkItem& item) {
  HashEntry e;
  e.type = typeOf(item.st.st_mode);
  e.mode = item.st.st_mode & 07777;
  // A device's identity is its number; folders and fifos have no size worth comparing.
  e.size = (e.type == 'c' || e.type == 'b') ? static_cast<uint64_t>(item.st.st_rdev)
           : (e.type == 'f' || e.type == 'l') ? static_cast<uint64_t>(item.st.st_size)
                                              : 0;
  e.mtimeSec = item.st.st_mtim.tv_sec;
  e.mtimeNsec = static_cast<int32_t>(item.st.st_mtim.tv_nsec);
  e.path = item.archivePath;
  return e;
}

std::string hexOf(const XXH128_hash_t& h) {
  XXH128_canonical_t c;
  XXH128_canonicalFromHash(&c, h);
  static const char digits[] = "0123456789abcdef";
  std::string out(32, '0');
  for (int i = 0; i < 16; ++i) {
    out[2 * i] = digits[c.digest[i] >> 4];
    out[2 * i + 1] = digits[c.digest[i] & 15];
  }
  return out;
}

class Hasher {
 public:
  Hasher() : state_(XXH3_createState()) {
    if (!state_) throw EngineFailure{kInternalError, "out of memory"};
  }
  ~Hasher() { XXH3_freeState(state_); }
  void reset() { XXH3_128bits_reset(state_); }
  void update(const void* p, size_t n) { XXH3_128bits_update(state_, p, n); }
  std::string hex() const { return hexOf(XXH3_128bits_digest(state_)); }

 private:
  XXH3_state_t* state_;
};

// The full image's hash list, read alongside the walk: both are in the same order, so one
// entry at a time is enough to tell new, changed, unchanged and deleted paths apart.
class BaseList {
 public:
  // drives: the letters of the drives this image walks; the list's entries of other drives
  // were not looked at, so they are neither compared nor reported deleted.
  BaseList(const std::string& nativePath, std::string drives, Control& control)
      : path_(nativePath), drives_(std::move(drives)), control_(control) {
    file_ = std::fopen(nativePath.c_str(), "rbe");
    if (!file_) {
      if (errno == ENOENT || errno == ENOTDIR)
        throw EngineFailure{kHashListMissing, "the hash list of the full image is missing: " + nativePath};
      throw EngineFailure{kHashListDamaged, "cannot read the hash list " + nativePath + ": " + std::strerror(errno)};
    }
    reader_ = std::make_unique<HashListReader>(file_);
    if (!reader_->start()) damaged();
    checkImage();
    advance();
  }
  ~BaseList() { std::fclose(file_); }

  // The entry for path, if the list has one; every listed path before it has been deleted.
  std::optional<HashEntry> take(const std::string& path, LineWriter& deleted) {
    while (has_ && comparePaths(current_.path, path) < 0) passOver(deleted);
    if (!has_ || current_.path != path) return std::nullopt;
    std::optional<HashEntry> found(std::move(current_));
    advance();
    return found;
  }
  void drain(LineWriter& deleted) {
    while (has_) passOver(deleted);
  }

 private:
  [[noreturn]] void damaged() {
    throw EngineFailure{kHashListDamaged, "the hash list " + path_ + " is damaged near line " +
                                              std::to_string(reader_->lineNumber())};
  }
  // A differential is only of use beside the full image it builds on: that image must still
  // be there, and be the one the list was written with.
  void checkImage() {
    if (!reader_->namesImage()) return;
    const auto slash = path_.rfind('/');
    const std::string image = (slash == std::string::npos ? std::string() : path_.substr(0, slash + 1)) + reader_->imageName();
    struct stat st {};
    if (stat(image.c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR)
        throw EngineFailure{kHashListMissing, "the full image of the hash list " + path_ + " is missing: " + image};
      throw EngineFailure{kHashListDamaged, "cannot look at the full image " + image + ": " + std::strerror(errno)};
    }
    if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) != reader_->imageSize())
      throw EngineFailure{kHashListDamaged, "the hash list " + path_ + " is not the list of the image " + image};
  }
  void passOver(LineWriter& deleted) {
    if (drives_.find(current_.path[0]) != std::string::npos) deleted.line(escapeListPath(current_.path));
    // Thousands of deletions in a row are read without the walk's own pauses.
    if (++passed_ % 4096 == 0) control_.checkpoint();
    advance();
  }
  void advance() {
    switch (reader_->next(&current_)) {
      case HashListReader::State::Ok: has_ = true; break;
      case HashListReader::State::End: has_ = false; break;
      case HashListReader::State::Damaged: damaged();
    }
  }
  std::string path_;
  std::string drives_;
  Control& control_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<HashListReader> reader_;
  HashEntry current_;
  bool has_ = false;
  uint64_t passed_ = 0;
};

class ImageRun {
 public:
  ImageRun(const EngineOptions& options, const platform::PathMap& drives, Control& control)
      : options_(options), drives_(drives), control_(control), buffer_(kChunk) {}

  void run();

 private:
  void visit(const WalkItem& item);
  void visitFile(const WalkItem& item, HashEntry& entry, const std::optional<HashEntry>& before);
  void visitLink(const WalkItem& item, HashEntry& entry, const std::optional<HashEntry>& before);
  bool storeFile(const WalkItem& item, HashEntry& entry);
  bool hashFile(const WalkItem& item, std::string* hash);
  void skipOwnFiles(const std::vector<std::string>& roots, const std::string& imageFolder);

  const EngineOptions& options_;
  const platform::PathMap& drives_;
  Control& control_;
  std::vector<char> buffer_;
  Hasher hasher_;
  DestinationFile imageFile_, hashFile_, deletedFile_;
  std::unique_ptr<ImageArchive> archive_;
  std::unique_ptr<LineWriter> hashLines_, deletedLines_;
  std::unique_ptr<BaseList> base_;
  WalkRules rules_;
  // Hashes of files with more than one name, for the names that go in as links.
  std::map<std::pair<dev_t, ino_t>, std::string> linkedHashes_;
};

void ImageRun::skipOwnFiles(const std::vector<std::string>& roots, const std::string& imageFolder) {
  struct stat st {};
  for (DestinationFile* f : {&imageFile_, &hashFile_, &deletedFile_})
    if (f->fd() >= 0 && fstat(f->fd(), &st) == 0) rules_.skipped.insert(identity(st));
  // The image folder is never imaged (an image of earlier images, or of itself while being
  // written, is of no use), unless it is a drive's root: then only the engine's own files are.
  if (stat(imageFolder.c_str(), &st) != 0) return;
  for (const std::string& root : roots) {
    struct stat rs {};
    if (stat(root.c_str(), &rs) == 0 && identity(rs) == identity(st)) return;
  }
  rules_.skipped.insert(identity(st));
}

void ImageRun::run() {
  const std::string image = nativeOf(drives_, options_.imagePath, kDestinationUnwritable, "the image");
  const std::string imageFolder = folderOf(image);
  struct stat st {};
  if (stat(imageFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw EngineFailure{kDestinationUnwritable, "the image folder does not exist: " + imageFolder};
  std::vector<std::string> roots;
  for (const std::string& drive : options_.sources) roots.push_back(nativeOf(drives_, drive, kSourceMissing, "source drive"));
  if (!options_.baseHashList.empty()) {
    std::string letters;
    for (const std::string& drive : options_.sources) letters += drive[0];
    base_ = std::make_unique<BaseList>(nativeOf(drives_, options_.baseHashList, kHashListMissing, "the hash list"), letters, control_);
  }

  imageFile_.create(image);
  if (options_.writeHashList) {
    hashFile_.create(nativeOf(drives_, hashListPathFor(options_.imagePath), kDestinationUnwritable, "the hash list"));
    hashLines_ = std::make_unique<LineWriter>(hashFile_);
    // The image's size is filled in once the image is complete.
    hashLines_->line(formatHashListHeader(0, image.substr(image.rfind('/') + 1)));
  }
  if (base_) {
    deletedFile_.create(image + ".deleted");
    deletedLines_ = std::make_unique<LineWriter>(deletedFile_);
  }
  skipOwnFiles(roots, imageFolder);
  rules_.excludes = options_.excludes;
  rules_.control = &control_;
  archive_ = std::make_unique<ImageArchive>(imageFile_, options_.level, control_);

  for (size_t i = 0; i < roots.size(); ++i) {
    rules_.drive = options_.sources[i];
    walkDrive(roots[i], rules_, [this](const WalkItem& item) { visit(item); });
  }
  if (base_) {
    base_->drain(*deletedLines_);
    deletedLines_->flush();
    const off_t size = lseek(deletedFile_.fd(), 0, SEEK_END);
    if (size < 0) failWrite(deletedFile_.tempPath(), errno);
    archive_->addGeneratedFile(kDeletedListName, deletedFile_.fd(), static_cast<uint64_t>(size));
  }
  archive_->finish();
  control_.checkpoint();
  // The image goes in place before its hash list: a differential made against an older list
  // only holds more than it needs, one made against a list newer than its full image would
  // miss changes.
  struct stat written {};
  if (fstat(imageFile_.fd(), &written) != 0) failWrite(imageFile_.tempPath(), errno);
  imageFile_.commit();
  if (hashLines_) {
    hashLines_->flush();
    if (!writeHashListImageSize(hashFile_.fd(), static_cast<uint64_t>(written.st_size))) failWrite(hashFile_.tempPath(), errno);
    hashFile_.commit();
  }
}

void ImageRun::visit(const WalkItem& item) {
  control_.checkpoint();
  HashEntry entry = entryOf(item);
  std::optional<HashEntry> before;
  if (base_) before = base_->take(entry.path, *deletedLines_);
  if (entry.type == 'f') {
    visitFile(item, entry, before);
  } else if (entry.type == 'l') {
    visitLink(item, entry, before);
  } else {
    // Folders, fifos and devices are headers only; a differential takes those new or changed.
    if (!before || !before->sameMetadata(entry)) archive_->addEntry(entry.path, item.st);
  }
  if (hashLines_ && !entry.path.empty()) hashLines_->line(formatHashLine(entry));
}

void ImageRun::visitFile(const WalkItem& item, HashEntry& entry, const std::optional<HashEntry>& before) {
  bool present = true;
  // A file listed without a hash was changing while the last image read it: taken again.
  if (!before || before->type != 'f' || before->size != entry.size || before->mode != entry.mode || before->hash.empty()) {
    present = storeFile(item, entry);
  } else if (before->sameMetadata(entry)) {
    entry.hash = before->hash;
  } else {
    // Same size, other time: only the content tells whether it changed.
    std::string hash;
    present = hashFile(item, &hash);
    if (present && !hash.empty() && hash == before->hash) entry.hash = hash;
    else if (present) present = storeFile(item, entry);
  }
  if (!present) {
    // Gone between the folder's listing and its reading: deleted, as far as this image knows.
    if (before) deletedLines_->line(escapeListPath(entry.path));
    entry.path.clear();
  }
}

void ImageRun::visitLink(const WalkItem& item, HashEntry& entry, const std::optional<HashEntry>& before) {
  std::vector<char> target(static_cast<size_t>(item.st.st_size) + 2);
  ssize_t n;
  while ((n = readlinkat(item.dirFd, item.name, target.data(), target.size())) >= static_cast<ssize_t>(target.size()))
    target.resize(target.size() * 2);
  if (n < 0) {
    if (errno == ENOENT || errno == EINVAL) {
      if (before) deletedLines_->line(escapeListPath(entry.path));
      entry.path.clear();
      return;
    }
    throw EngineFailure{kSourceUnreadable, "cannot read the link " + entry.path + ": " + std::strerror(errno)};
  }
  const std::string text(target.data(), static_cast<size_t>(n));
  entry.size = text.size();
  entry.hash = hexOf(XXH3_128bits(text.data(), text.size()));
  if (!before || before->type != 'l' || before->hash != entry.hash) archive_->addSymlink(entry.path, item.st, text);
}

bool ImageRun::storeFile(const WalkItem& item, HashEntry& entry) {
  SourceFile file;
  if (!file.open(item.dirFd, item.name, entry.path)) return false;
  // The header carries the file as opened, which is what is read.
  entry.mode = file.st().st_mode & 07777;
  entry.size = static_cast<uint64_t>(file.st().st_size);
  entry.mtimeSec = file.st().st_mtim.tv_sec;
  entry.mtimeNsec = static_cast<int32_t>(file.st().st_mtim.tv_nsec);
  if (!archive_->beginFile(entry.path, file.st(), file.dataRegions())) {
    const auto known = linkedHashes_.find(identity(file.st()));
    if (known != linkedHashes_.end()) {
      entry.hash = known->second;
      return true;
    }
    // A link to a file stored under a name not taken in this image: hash it for the list.
    return hashFile(item, &entry.hash);
  }
  hasher_.reset();
  const bool whole = file.readAll(buffer_, control_, [this](const char* p, size_t n) {
    hasher_.update(p, n);
    archive_->data(p, n);
  });
  // The image holds what was read; the list says it is not to be trusted, so that the next
  // differential takes the file again whatever its size and time say then.
  entry.hash = whole ? hasher_.hex() : std::string();
  if (!whole) std::fprintf(stderr, "snapshot: %s changed while it was read; the next image takes it again\n", entry.path.c_str());
  if (file.st().st_nlink > 1) linkedHashes_[identity(file.st())] = entry.hash;
  return true;
}

// The content hash of a file, empty when the file changed while it was read.
bool ImageRun::hashFile(const WalkItem& item, std::string* hash) {
  SourceFile file;
  if (!file.open(item.dirFd, item.name, item.archivePath)) return false;
  hasher_.reset();
  const bool whole = file.readAll(buffer_, control_, [this](const char* p, size_t n) { hasher_.update(p, n); });
  *hash = whole ? hasher_.hex() : std::string();
  return true;
}

}  // namespace

void makeImage(const EngineOptions& options, const platform::PathMap& drives, Control& control) {
  ImageRun run(options, drives, control);
  run.run();
}

}  // namespace corvane::snapshot
