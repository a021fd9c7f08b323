#include "snapshot/Engine.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "snapshot/BaseList.h"
#include "snapshot/Control.h"
#include "snapshot/EntryAttributes.h"
#include "snapshot/HashList.h"
#include "snapshot/ImageArchive.h"
#include "snapshot/LinkTable.h"
#include "snapshot/SourceFile.h"
#include "snapshot/TreeWalk.h"

namespace corvane::snapshot {

const char* const kDeletedListName = "CorvaneDeleted.txt";

namespace {

constexpr size_t kChunk = 1 << 20;

// The file system stamps change times from a clock that moves in ticks of a few
// milliseconds: an entry changed just after the walk looked at it, within the same tick,
// keeps the change time the walk saw. Entries changed this close to a walk's start have their
// change time listed as unknown, so the next differential looks at them again.
// CORVANE_ENGINE_CHANGE_MARGIN_MS (a test aid) sets another margin, so that trees made by a
// test are treated as real trees, changed long before their image, are.
int64_t changeMarginNs() {
  static const int64_t margin = [] {
    const char* env = std::getenv("CORVANE_ENGINE_CHANGE_MARGIN_MS");
    char* end = nullptr;
    const long long ms = env && *env ? std::strtoll(env, &end, 10) : -1;
    return ms >= 0 && end && *end == '\0' ? ms * 1000000 : int64_t{1000000000};
  }();
  return margin;
}

Timestamp earlier(const Timestamp& t, int64_t ns) {
  int64_t sec = t.sec - ns / 1000000000;
  int64_t nsec = t.nsec - ns % 1000000000;
  if (nsec < 0) {
    nsec += 1000000000;
    --sec;
  }
  return {sec, static_cast<int32_t>(nsec)};
}

std::string nativeOf(const platform::PathMap& drives, const std::string& windowsPath, int32_t code, const char* what) {
  const auto native = drives.toNative(QString::fromStdString(windowsPath));
  if (!native) throw EngineFailure{code, std::string(what) + " is not on a mapped drive: " + windowsPath};
  return native->toStdString();
}

struct FileIdentity {
  dev_t dev;
  ino_t ino;
  bool operator==(const FileIdentity&) const = default;
};
struct FileIdentityHash {
  size_t operator()(const FileIdentity& id) const { return std::hash<uint64_t>()(static_cast<uint64_t>(id.ino) * 31 + id.dev); }
};
FileIdentity identity(const struct stat& st) { return {st.st_dev, st.st_ino}; }

char typeOf(mode_t mode) {
  if (S_ISDIR(mode)) return 'd';
  if (S_ISREG(mode)) return 'f';
  if (S_ISLNK(mode)) return 'l';
  if (S_ISFIFO(mode)) return 'p';
  if (S_ISCHR(mode)) return 'c';
  return 'b';
}

// The listed form of what the walk saw (or a file as opened); the path is set apart.
void describe(const struct stat& st, HashEntry* e) {
  e->type = typeOf(st.st_mode);
  e->mode = st.st_mode & 07777;
  e->links = st.st_nlink;
  e->uid = st.st_uid;
  e->gid = st.st_gid;
  // A device's identity is its number; folders and fifos have no size worth comparing.
  e->size = (e->type == 'c' || e->type == 'b') ? static_cast<uint64_t>(st.st_rdev)
            : (e->type == 'f' || e->type == 'l') ? static_cast<uint64_t>(st.st_size)
                                                 : 0;
  e->mtime = {st.st_mtim.tv_sec, static_cast<int32_t>(st.st_mtim.tv_nsec)};
  e->ctime = {st.st_ctim.tv_sec, static_cast<int32_t>(st.st_ctim.tv_nsec)};
  e->ctimeKnown = true;
  e->inode = st.st_ino;
  e->complete = true;
  e->attributes.clear();
  e->hash.clear();
}

Timestamp now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return {ts.tv_sec, static_cast<int32_t>(ts.tv_nsec)};
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

// A folder being walked. In a differential it goes into the image only when something in it
// does (before it, so that tar gives it its own times back after filling it) or when something
// in it was deleted (the restore deletes it, which touches the folder).
struct OpenFolder {
  size_t pathLength;
  struct stat st;
  int fd;
  bool stored;
  bool touched;  // something in it is deleted
};

class ImageRun : public WalkVisitor {
 public:
  ImageRun(const EngineOptions& options, const platform::PathMap& drives, Control& control)
      : options_(options), drives_(drives), control_(control) {}

  void run();

  void visit(const WalkItem& item) override;
  void enterFolder(int fd, const std::string& archivePath) override;
  void leaveFolder(int fd, const std::string& archivePath) override;
  void leftOut(const std::string& archivePath) override {
    if (base_) base_->leftOut(archivePath);
  }

 private:
  void visitFolder(const WalkItem& item, const HashEntry* before);
  void visitFile(const WalkItem& item, const HashEntry* before);
  void visitLaterName(const WalkItem& item, const HashEntry* before, const LinkTable::Entry& first);
  void visitLink(const WalkItem& item, const HashEntry* before);
  void visitSpecial(const WalkItem& item, const HashEntry* before);
  bool readAttributes(const WalkItem& item, EntryAttributes* out);
  bool storeFile(const WalkItem& item);
  bool hashFile(const WalkItem& item, std::string* hash);
  void gone(const HashEntry* before);
  void deleted(const std::string& path);
  void storeOpenFolders(const std::string& path, size_t count);
  void recordLinks(const struct stat& st, bool stored);
  void findEarlierNames();
  void commit();
  void skipOwnFiles(const std::vector<std::string>& roots, const std::string& imageFolder);

  const EngineOptions& options_;
  const platform::PathMap& drives_;
  Control& control_;
  std::vector<char> buffer_;  // for reading files; made when the first is read
  std::vector<char>& readBuffer() {
    if (buffer_.empty()) buffer_.resize(kChunk);
    return buffer_;
  }
  Hasher hasher_;
  DestinationFile imageFile_, hashFile_, deletedFile_;
  std::unique_ptr<ImageArchive> archive_;
  std::unique_ptr<LineWriter> hashLines_, deletedLines_;
  std::unique_ptr<BaseList> base_;
  WalkRules rules_;
  Timestamp racyFrom_;                   // this walk's: change times from here on are not listed
  std::optional<Timestamp> baseRacyFrom_;  // the full image's
  HashEntry now_;                        // the entry being visited
  EntryAttributes attributes_;
  std::vector<OpenFolder> open_;
  size_t storedOpen_ = 0;                // open_[0, storedOpen_) are in the image
  OpenFolder lastFolder_{};
  // Files with several names, met under their first name: later names go in as links to it,
  // whose path, hash and attributes are read back from its line in the list being written.
  LinkTable links_;
  std::unordered_map<FileIdentity, std::string, FileIdentityHash> unlistedNames_;  // first names, without a list
  HashEntry first_;  // a first name's line read back
  // Whether links_ holds every file with several names met so far. A differential leaves out
  // those whose first name it found untouched (most, and then the map stays small); should a
  // later name need its first one after all, the list written so far gives them back.
  bool allLinks_ = true;
  std::map<char, dev_t> driveDevices_;
};

void ImageRun::skipOwnFiles(const std::vector<std::string>& roots, const std::string& imageFolder) {
  struct stat st {};
  for (DestinationFile* f : {&imageFile_, &hashFile_, &deletedFile_})
    if (f->fd() >= 0 && fstat(f->fd(), &st) == 0) rules_.skipped.insert({st.st_dev, st.st_ino});
  // The image folder is never imaged (an image of earlier images, or of itself while being
  // written, is of no use), unless it is a drive's root: then only the engine's own files are.
  if (stat(imageFolder.c_str(), &st) != 0) return;
  for (const std::string& root : roots) {
    struct stat rs {};
    if (stat(root.c_str(), &rs) == 0 && rs.st_dev == st.st_dev && rs.st_ino == st.st_ino) return;
  }
  rules_.skipped.insert({st.st_dev, st.st_ino});
}

void ImageRun::run() {
  const std::string image = nativeOf(drives_, options_.imagePath, kDestinationUnwritable, "the image");
  const std::string imageFolder = folderOf(image);
  struct stat st {};
  if (stat(imageFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw EngineFailure{kDestinationUnwritable, "the image folder does not exist: " + imageFolder};
  std::vector<std::string> roots;
  for (const std::string& drive : options_.sources) roots.push_back(nativeOf(drives_, drive, kSourceMissing, "source drive"));
  const Timestamp started = now();
  racyFrom_ = earlier(started, changeMarginNs());
  if (!options_.baseHashList.empty()) {
    std::string letters;
    for (const std::string& drive : options_.sources) letters += drive[0];
    const std::string list = nativeOf(drives_, options_.baseHashList, kHashListMissing, "the hash list");
    completeInterruptedPair(list);
    base_ = std::make_unique<BaseList>(list, letters, control_, [this](const std::string& path) { deleted(path); });
    if (const auto baseStarted = base_->started()) baseRacyFrom_ = earlier(*baseStarted, changeMarginNs());
  }

  imageFile_.create(image);
  if (options_.writeHashList) {
    hashFile_.create(nativeOf(drives_, hashListPathFor(options_.imagePath), kDestinationUnwritable, "the hash list"));
    hashLines_ = std::make_unique<LineWriter>(hashFile_);
    // The image's size and inode are filled in once the image is complete.
    hashLines_->line(formatHashListHeader(0, 0, started, image.substr(image.rfind('/') + 1)));
  }
  // Without a list of its own to look back into, a differential keeps every linked file.
  allLinks_ = !base_ || !hashLines_;
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
    if (stat(roots[i].c_str(), &st) == 0) driveDevices_[rules_.drive[0]] = st.st_dev;
    walkDrive(roots[i], rules_, *this);
  }
  if (base_) {
    base_->drain();
    deletedLines_->flush();
    const off_t size = lseek(deletedFile_.fd(), 0, SEEK_END);
    if (size < 0) failWrite(deletedFile_.tempPath(), errno);
    archive_->addGeneratedFile(kDeletedListName, deletedFile_.fd(), static_cast<uint64_t>(size));
  }
  archive_->finish();
  control_.checkpoint();
  commit();
}

// Everything is written and on the disk before the first rename, so a full disk or a failed
// write leaves the earlier image and list as they were; the two renames follow at once, and a
// run ended between them is completed by the next differential (completeInterruptedPair).
void ImageRun::commit() {
  struct stat written {};
  if (fstat(imageFile_.fd(), &written) != 0) failWrite(imageFile_.tempPath(), errno);
  if (hashLines_) {
    hashLines_->flush();
    if (!writeHashListImage(hashFile_.fd(), static_cast<uint64_t>(written.st_size), static_cast<uint64_t>(written.st_ino)))
      failWrite(hashFile_.tempPath(), errno);
    hashFile_.sync();
  }
  imageFile_.sync();
  // The image goes in place before its list: a differential made against an older list only
  // holds more than it needs, one made against a list newer than its full image would miss
  // changes.
  imageFile_.rename();
  if (hashLines_) {
    hashFile_.keep();
    hashFile_.rename();
  }
  imageFile_.syncFolder();
}

void ImageRun::deleted(const std::string& path) {
  deletedLines_->line(escapeListPath(path));
  // Deleted in the folder being walked (anything deeper was in a folder deleted as well).
  const size_t slash = path.rfind('/');
  if (!open_.empty() && slash == open_.back().pathLength) open_.back().touched = true;
}

void ImageRun::gone(const HashEntry* before) {
  // Gone between the folder's listing and its reading: deleted, as far as this image knows.
  if (before) deleted(now_.path);
  now_.path.clear();
}

// The open folders [storedOpen_, count) go into the image, from the top down.
void ImageRun::storeOpenFolders(const std::string& path, size_t count) {
  for (; storedOpen_ < count; ++storedOpen_) {
    OpenFolder& f = open_[storedOpen_];
    EntryAttributes attributes;
    // Gone meanwhile: the header still says what the walk saw.
    readEntryAttributes(f.fd, -1, nullptr, path.substr(0, f.pathLength), &attributes);
    archive_->addEntry(path.substr(0, f.pathLength), f.st, attributes);
    f.stored = true;
  }
}

void ImageRun::enterFolder(int fd, const std::string& archivePath) {
  if (lastFolder_.pathLength != archivePath.size()) throw EngineFailure{kInternalError, "the walk entered a folder it did not visit"};
  OpenFolder f = lastFolder_;
  f.fd = fd;
  open_.push_back(f);
  if (f.stored) storedOpen_ = open_.size();
}

void ImageRun::leaveFolder(int fd, const std::string& archivePath) {
  (void)fd;
  if (base_) base_->passOverWithin(archivePath);
  if (open_.back().touched) storeOpenFolders(archivePath, open_.size());
  open_.pop_back();
  if (storedOpen_ > open_.size()) storedOpen_ = open_.size();
}

void ImageRun::visit(const WalkItem& item) {
  control_.checkpoint();
  describe(item.st, &now_);
  now_.path.assign(item.archivePath);
  // Its line in the full image's list.
  const HashEntry* before = base_ ? base_->take(now_.path) : nullptr;
  if (before) {
    // Of another type now: the restore removes the old one before the new one comes.
    if (before->type != now_.type) {
      deleted(now_.path);
      before = nullptr;
    }
  }
  switch (now_.type) {
    case 'd': visitFolder(item, before); break;
    case 'f': visitFile(item, before); break;
    case 'l': visitLink(item, before); break;
    default: visitSpecial(item, before);
  }
  if (hashLines_ && !now_.path.empty()) {
    if (now_.ctimeKnown && !(now_.ctime < racyFrom_)) now_.ctimeKnown = false;
    appendHashLine(now_, hashLines_->pending());
    hashLines_->wrote();
  }
}

bool ImageRun::readAttributes(const WalkItem& item, EntryAttributes* out) {
  if (!readEntryAttributes(-1, item.dirFd, item.name, now_.path, out)) return false;
  now_.attributes = out->digest();
  return true;
}

void ImageRun::visitFolder(const WalkItem& item, const HashEntry* before) {
  // Set first: a folder gone and back between its visit and its opening is still walked.
  lastFolder_ = OpenFolder{now_.path.size(), item.st, -1, false, false};
  bool store = true;
  if (before && now_.untouchedSince(*before)) {
    now_.attributes = before->attributes;
    store = false;
  } else {
    if (!readAttributes(item, &attributes_)) return gone(before);
    store = !before || !now_.sameAttributes(*before);
  }
  if (store) {
    storeOpenFolders(now_.path, open_.size());
    archive_->addEntry(now_.path, item.st, attributes_);
  }
  lastFolder_.stored = store;
}

void ImageRun::visitSpecial(const WalkItem& item, const HashEntry* before) {
  // Fifos and devices are headers only; a differential takes those new or changed.
  if (before && now_.untouchedSince(*before)) {
    now_.attributes = before->attributes;
    return;
  }
  if (!readAttributes(item, &attributes_)) return gone(before);
  if (before && now_.sameAttributes(*before)) return;
  storeOpenFolders(now_.path, open_.size());
  archive_->addEntry(now_.path, item.st, attributes_);
}

void ImageRun::visitLink(const WalkItem& item, const HashEntry* before) {
  if (before && now_.untouchedSince(*before)) {
    now_.attributes = before->attributes;
    now_.hash = before->hash;
    return;
  }
  std::vector<char> target(static_cast<size_t>(item.st.st_size) + 2);
  ssize_t n;
  while ((n = readlinkat(item.dirFd, item.name, target.data(), target.size())) >= static_cast<ssize_t>(target.size()))
    target.resize(target.size() * 2);
  if (n < 0) {
    if (errno == ENOENT || errno == EINVAL) return gone(before);
    throw EngineFailure{kSourceUnreadable, "cannot read the link " + now_.path + ": " + std::strerror(errno)};
  }
  const std::string text(target.data(), static_cast<size_t>(n));
  now_.size = text.size();
  now_.hash = hexOf(XXH3_128bits(text.data(), text.size()));
  if (!readAttributes(item, &attributes_)) return gone(before);
  if (before && now_.sameAttributes(*before) && before->hash == now_.hash) return;
  storeOpenFolders(now_.path, open_.size());
  archive_->addSymlink(now_.path, item.st, text, attributes_);
}

void ImageRun::visitFile(const WalkItem& item, const HashEntry* before) {
  const bool linked = item.st.st_nlink > 1;
  LinkTable::Entry first;
  if (linked && links_.find(item.st.st_dev, item.st.st_ino, &first)) return visitLaterName(item, before, first);
  const bool untouched = before && now_.untouchedSince(*before) && !before->hash.empty();
  bool store = !before;
  if (untouched) {
    now_.attributes = before->attributes;
    now_.hash = before->hash;
  } else if (before) {
    if (!readAttributes(item, &attributes_)) return gone(before);
    // A file with other names that is another file than before: its names are linked anew.
    store = !now_.sameAttributes(*before) || before->hash.empty() || (linked && before->inode != now_.inode);
    if (!store) {
      // Same size and time, touched all the same: only the content tells whether it changed.
      std::string hash;
      if (!hashFile(item, &hash)) return gone(before);
      store = hash.empty() || hash != before->hash;
      if (!store) now_.hash = hash;
    }
  }
  // A file that has not changed since the full image, stored under a name it did not have then
  // (its folder was renamed): its other names met before, left out as untouched, must be
  // linked to it, so they are looked up.
  if (linked && store && !allLinks_ && baseRacyFrom_ && now_.ctimeKnown && now_.ctime < *baseRacyFrom_) {
    findEarlierNames();
    if (links_.find(item.st.st_dev, item.st.st_ino, &first)) return visitLaterName(item, before, first);
  }
  if (store) {
    storeOpenFolders(now_.path, open_.size());
    if (!storeFile(item)) return gone(before);
  }
  if (linked && (store || !untouched || allLinks_)) recordLinks(item.st, store);
}

void ImageRun::recordLinks(const struct stat& st, bool stored) {
  LinkTable::Entry f;
  // This entry's line is the next one of the list.
  if (hashLines_) f.line = hashLines_->offset();
  else unlistedNames_[identity(st)] = now_.path;
  f.namesLeft = st.st_nlink - 1;
  f.stored = stored;
  links_.put(st.st_dev, st.st_ino, f);
}

void ImageRun::visitLaterName(const WalkItem& item, const HashEntry* before, const LinkTable::Entry& first) {
  const FileIdentity id = identity(item.st);
  const std::string* firstPath;
  if (hashLines_) {
    std::string line;
    hashLines_->readBack(first.line, &line);
    if (!parseHashLine(line, &first_)) throw EngineFailure{kInternalError, "cannot read back the hash list " + hashFile_.tempPath()};
    now_.hash = first_.hash;
    now_.attributes = first_.attributes;
    firstPath = &first_.path;
  } else {
    firstPath = &unlistedNames_[id];
  }
  // Left out only when the restored first name is this file already: unchanged since the full
  // image, as is this name.
  if (first.stored || !before || !now_.untouchedSince(*before) || before->hash.empty()) {
    storeOpenFolders(now_.path, open_.size());
    archive_->addHardLink(now_.path, item.st, *firstPath);
  }
  links_.countName(item.st.st_dev, item.st.st_ino);
  if (!hashLines_ && first.namesLeft <= 1) unlistedNames_.erase(id);
}

// Fills links_ from the list written so far with the first names of files with several names
// it left out, and keeps every first name from now on.
void ImageRun::findEarlierNames() {
  allLinks_ = true;
  hashLines_->flush();
  std::FILE* f = std::fopen(hashFile_.tempPath().c_str(), "rbe");
  if (!f) throw EngineFailure{kInternalError, "cannot read back the hash list " + hashFile_.tempPath() + ": " + std::strerror(errno)};
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(f, &std::fclose);
  HashListReader reader(f);
  if (!reader.start()) throw EngineFailure{kInternalError, "cannot read back the hash list " + hashFile_.tempPath()};
  HashEntry e;
  HashListReader::State state;
  // Files already in links_ are counted there; the others are gathered apart, so that each of
  // their names met so far counts once.
  std::unordered_map<FileIdentity, LinkTable::Entry, FileIdentityHash> found;
  LinkTable::Entry known;
  while ((state = reader.next(&e)) == HashListReader::State::Ok) {
    if (e.type != 'f' || e.links < 2) continue;
    const auto device = driveDevices_.find(e.path[0]);
    if (device == driveDevices_.end()) continue;
    const FileIdentity id{device->second, static_cast<ino_t>(e.inode)};
    if (links_.find(id.dev, id.ino, &known)) continue;
    const auto [it, first] = found.try_emplace(id);
    LinkTable::Entry& linked = it->second;
    if (first) {
      linked.line = reader.lineOffset();
      linked.namesLeft = e.links;
    }
    if (linked.namesLeft > 0) --linked.namesLeft;
  }
  if (state != HashListReader::State::End) throw EngineFailure{kInternalError, "cannot read back the hash list " + hashFile_.tempPath()};
  for (const auto& [id, linked] : found)
    if (linked.namesLeft > 0) links_.put(id.dev, id.ino, linked);
}

bool ImageRun::storeFile(const WalkItem& item) {
  SourceFile file;
  if (!file.open(item.dirFd, item.name, now_.path)) return false;
  // The header and the list carry the file as opened, which is what is read.
  describe(file.st(), &now_);
  EntryAttributes attributes;
  readEntryAttributes(file.fd(), -1, nullptr, now_.path, &attributes);
  now_.attributes = attributes.digest();
  archive_->beginFile(now_.path, file.st(), attributes, file.dataRegions());
  hasher_.reset();
  const bool whole = file.readAll(readBuffer(), control_, [this](const char* p, size_t n) {
    hasher_.update(p, n);
    archive_->data(p, n);
  });
  // The image holds what was read; the list says it is not to be trusted, so that the next
  // differential takes the file again whatever its size and time say then.
  now_.hash = whole ? hasher_.hex() : std::string();
  if (!whole) std::fprintf(stderr, "snapshot: %s changed while it was read; the next image takes it again\n", now_.path.c_str());
  return true;
}

// The content hash of a file, empty when the file changed while it was read.
bool ImageRun::hashFile(const WalkItem& item, std::string* hash) {
  SourceFile file;
  if (!file.open(item.dirFd, item.name, item.archivePath)) return false;
  hasher_.reset();
  const bool whole = file.readAll(readBuffer(), control_, [this](const char* p, size_t n) { hasher_.update(p, n); });
  *hash = whole ? hasher_.hex() : std::string();
  return true;
}

}  // namespace

void makeImage(const EngineOptions& options, const platform::PathMap& drives, Control& control) {
  ImageRun run(options, drives, control);
  run.run();
}

}  // namespace corvane::snapshot
