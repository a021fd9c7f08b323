// The mirror folders under MirrorRootPath that the status page shows as a tree, rebuilt from
// the upload log, and the lists read with them.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "handoff/ClsUtils.h"
#include "handoff/SharedLists.h"
#include "handoff/SuccessLogReader.h"
#include "platform/PathMap.h"
#include "platform/RunAside.h"
#include "platform/Wait.h"

namespace corvane::handoff {

namespace {

// Attempts at clearing the mirror when the file system refuses (permission denied); between
// attempts the service gets a moment to let go of its handles.
constexpr int kRemoveAttempts = 3;
constexpr int kRemoveWaitMs = 100;
// How often the window gets its events while the mirror is changed on a thread of its own.
constexpr int kAnswerMs = 20;

// The names of a folder's entries with their kinds as the directory gives them.
std::vector<std::pair<std::string, unsigned char>> entriesOf(const std::string& folder, bool* ok) {
  std::vector<std::pair<std::string, unsigned char>> entries;
  DIR* dir = ::opendir(folder.c_str());
  *ok = dir != nullptr;
  if (!dir) return entries;
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view name(e->d_name);
    if (name != "." && name != "..") entries.emplace_back(name, e->d_type);
  }
  ::closedir(dir);
  return entries;
}

// A folder's entries can only be removed when the folder itself may be written and read.
void openUp(const std::string& folder, mode_t mode) {
  if ((mode & S_IRWXU) != S_IRWXU) ::chmod(folder.c_str(), mode | S_IRWXU);
}

// Removes a file, a link (the link itself, never what it points to) or a folder with
// everything in it, read-only ones too; names are taken as their bytes.
bool removeTree(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0;
  openUp(path, st.st_mode);
  bool listed = false;
  for (const auto& entry : entriesOf(path, &listed)) removeTree(path + '/' + entry.first);
  return ::rmdir(path.c_str()) == 0;  // fails when anything inside stayed
}

void removeMirror(const std::string& root) {
  for (int attempt = 1; attempt <= kRemoveAttempts; ++attempt) {
    if (removeTree(root)) return;
    if (attempt < kRemoveAttempts) platform::waitMs(kRemoveWaitMs);
  }
}

// Work on the mirror (sorting a couple of hundred thousand names, removing or making as many
// folders) has no step the window could be let in at: with a progress to give the window its
// events, it runs on a thread of its own meanwhile. It is never stopped half way.
void aside(const std::function<void()>& work, const ClsUtils::Progress& progress) {
  if (!progress) return work();
  platform::runAside([&](const std::atomic<bool>&) { work(); },
                     [&] {
                       progress(1, 1);
                       return true;
                     },
                     kAnswerMs);
}

// What a folder tree holds, every entry below the root in walk order (a folder before what it
// holds), paths relative to the root; read on a thread of its own, so that the walk of a mirror
// of a couple of hundred thousand folders costs the window nothing while the log is read.
class TreeListing {
 public:
  struct Entry {
    std::string relative;
    bool isFolder;
  };

  explicit TreeListing(std::string root) : root_(std::move(root)) {
    thread_ = std::thread([this] {
      struct stat st {};
      if (::lstat(root_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) list(root_, std::string());
    });
  }
  ~TreeListing() { finish(true); }

  // Waits for the walk (stopped first when asked); true when it went through the whole tree.
  bool finish(bool stop = false) {
    if (stop) stop_ = true;
    if (thread_.joinable()) thread_.join();
    return complete_ && !stop_;
  }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  void list(const std::string& folder, const std::string& relative) {
    if (stop_) return;
    bool ok = false;
    const auto found = entriesOf(folder, &ok);
    if (!ok) complete_ = false;
    for (const auto& [name, type] : found) {
      const std::string path = folder + '/' + name;
      std::string rel = relative.empty() ? name : relative + '/' + name;
      bool isFolder = type == DT_DIR;
      if (type == DT_UNKNOWN) {
        struct stat st {};
        isFolder = ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      }
      entries_.push_back({rel, isFolder});
      if (isFolder) list(path, rel);
    }
  }

  std::string root_;
  std::vector<Entry> entries_;
  std::atomic<bool> stop_{false};
  bool complete_ = true;
  std::thread thread_;
};

// Brings the mirror root to exactly the wanted folders (paths relative to it, in the file
// system's encoding) and their parents. Folders are told from links by the directory entry
// itself, so nothing is followed and a walk of tens of thousands of folders needs no stat of
// each. Only the wanted folders themselves are held, sorted: a parent is found as the start of
// one of them, so a folder nested thousands deep costs its own length and not the square of it.
// What the mirror holds is listed from the start, on a thread of its own, while the caller
// finds the wanted folders; folders found in place are neither removed nor made again.
class MirrorSync {
 public:
  MirrorSync(const std::string& root, const ClsUtils::Progress& progress)
      : root_(root), progress_(progress), listing_(root) {}

  void want(std::string rel) {
    // A folder whose path is too long for the file system can never be made: it is not kept.
    if (root_.size() + 1 + rel.size() < PATH_MAX) wanted_.push_back(std::move(rel));
  }

  // Stops the listing (before the mirror is removed some other way).
  void cancel() { listing_.finish(true); }

  void run() {
    aside([this] { update(); }, progress_);
  }

 private:
  void update() {
    std::sort(wanted_.begin(), wanted_.end());
    wanted_.erase(std::unique(wanted_.begin(), wanted_.end()), wanted_.end());
    if (wanted_.empty()) {  // nothing logged with a drive: no mirror at all, as before a rebuild
      cancel();
      removeMirror(root_);
      return;
    }
    inPlace_.assign(wanted_.size(), false);
    // The listing serves the first attempt; should anything stay, the next ones walk again.
    for (int attempt = 1; attempt <= kRemoveAttempts; ++attempt) {
      if (attempt == 1 ? clearRootListed() : clearRoot()) break;
      if (attempt < kRemoveAttempts) platform::waitMs(kRemoveWaitMs);
    }
    ::mkdir(root_.c_str(), 0777);
    // In sorted order a folder shares its parents with the one before, which are made already.
    std::string_view previous;
    for (size_t i = 0; i < wanted_.size(); ++i) {
      const std::string& rel = wanted_[i];
      if (inPlace_[i]) {  // so are its parents: they were found in place before it
        previous = rel;
        continue;
      }
      size_t same = 0;
      while (same < rel.size() && same < previous.size() && rel[same] == previous[same]) ++same;
      const auto boundary = [](std::string_view p, size_t at) { return at == p.size() || p[at] == '/'; };
      size_t made = same;  // rel up to here is made (0: nothing of it)
      if (!boundary(rel, same) || !boundary(previous, same)) {
        const size_t slash = same == 0 ? std::string::npos : rel.rfind('/', same - 1);
        made = slash == std::string::npos ? 0 : slash;
      }
      for (size_t slash = rel.find('/', made == 0 ? 0 : made + 1); made < rel.size(); slash = rel.find('/', slash + 1)) {
        made = slash == std::string::npos ? rel.size() : slash;
        // One that cannot be made is simply missing (and so is what lies below it).
        ::mkdir((root_ + '/' + rel.substr(0, made)).c_str(), 0777);
      }
      previous = rel;
    }
  }

  // The folder itself is wanted (noted as in place), or one below it.
  bool isWanted(const std::string& rel) {
    if (const auto it = std::lower_bound(wanted_.begin(), wanted_.end(), rel); it != wanted_.end() && *it == rel) {
      inPlace_[size_t(it - wanted_.begin())] = true;
      return true;
    }
    const std::string below = rel + '/';
    const auto it = std::lower_bound(wanted_.begin(), wanted_.end(), below);
    return it != wanted_.end() && it->compare(0, below.size(), below) == 0;
  }

  bool clearRoot() {
    struct stat st {};
    if (::lstat(root_.c_str(), &st) != 0) return true;  // nothing there yet
    if (!S_ISDIR(st.st_mode)) return ::unlink(root_.c_str()) == 0;  // a link or a file
    return prune(root_, std::string());
  }

  // As clearRoot, from what the listing found.
  bool clearRootListed() {
    const bool whole = listing_.finish();
    struct stat st {};
    if (::lstat(root_.c_str(), &st) != 0) return true;
    if (!S_ISDIR(st.st_mode)) return ::unlink(root_.c_str()) == 0;
    bool ok = whole;
    std::string removed;  // the last entry removed: what the listing holds below it went with it
    for (const TreeListing::Entry& e : listing_.entries()) {
      if (!removed.empty() && e.relative.size() > removed.size() && e.relative.compare(0, removed.size(), removed) == 0 &&
          e.relative[removed.size()] == '/')
        continue;
      if (e.isFolder && isWanted(e.relative)) continue;
      removed = e.relative;
      const std::string path = root_ + '/' + e.relative;
      if (!removeTree(path)) {
        const std::string folder = path.substr(0, path.rfind('/'));
        struct stat fst {};  // a kept folder that is read-only: opened up, then once more
        if (::lstat(folder.c_str(), &fst) == 0) openUp(folder, fst.st_mode);
        ok = removeTree(path) && ok;
      }
    }
    return ok;
  }

  bool prune(const std::string& folder, const std::string& relative) {
    bool ok = false;
    const auto entries = entriesOf(folder, &ok);
    for (const auto& [name, type] : entries) {
      const std::string path = folder + '/' + name;
      const std::string rel = relative.empty() ? name : relative + '/' + name;
      bool isFolder = type == DT_DIR;
      if (type == DT_UNKNOWN) {
        struct stat st {};
        isFolder = ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      }
      if (isFolder && isWanted(rel)) {
        ok = prune(path, rel) && ok;
      } else if (!removeTree(path)) {
        struct stat st {};  // a kept folder that is read-only: opened up, then once more
        if (::lstat(folder.c_str(), &st) == 0) openUp(folder, st.st_mode);
        ok = removeTree(path) && ok;
      }
    }
    return ok;
  }

  std::string root_;
  const ClsUtils::Progress& progress_;
  TreeListing listing_;
  std::vector<std::string> wanted_;
  std::vector<bool> inPlace_;  // by wanted_ index: found in place, so not made again
};

// Texts handed in on this thread and taken one record at a time, in the order given, on a
// thread of its own: the log's reading (here) and the filing of what it names (there) go side
// by side. A reset handed in runs there in its turn.
class RecordPipe {
 public:
  using Take = std::function<void(const std::string_view* fields)>;
  RecordPipe(size_t fields, Take take, std::function<void()> reset)
      : fields_(fields), take_(std::move(take)), reset_(std::move(reset)), thread_([this] { run(); }) {}
  ~RecordPipe() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  void put(std::initializer_list<std::string_view> fields) {
    for (const std::string_view f : fields) {
      filling_.text.append(f);
      filling_.lengths.push_back(quint32(f.size()));
    }
    if (filling_.lengths.size() >= kRecordsPerBatch * fields_ || filling_.text.size() >= kBytesPerBatch) handOver();
  }
  void reset() {
    handOver();
    filling_.reset = true;
    handOver();
  }
  // Waits until everything handed in has been taken, calling `waiting` every few tens of
  // milliseconds meanwhile.
  void finish(const std::function<void()>& waiting) {
    handOver();
    std::unique_lock<std::mutex> lock(mutex_);
    closing_ = true;
    changed_.notify_all();
    while (!finished_) {
      if (changed_.wait_for(lock, std::chrono::milliseconds(kAnswerMs), [this] { return finished_; })) break;
      lock.unlock();
      if (waiting) waiting();
      lock.lock();
    }
  }

 private:
  static constexpr size_t kRecordsPerBatch = 4096;
  static constexpr size_t kBytesPerBatch = size_t(1) << 20;
  // Then the reading waits for the filing (a log of huge texts is held a few at a time).
  static constexpr size_t kBatchesAhead = 64;
  static constexpr size_t kBytesAhead = size_t(64) << 20;
  struct Batch {
    std::string text;
    std::vector<quint32> lengths;
    bool reset = false;
  };

  void handOver() {
    if (filling_.lengths.empty() && !filling_.reset) return;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] {
      return queue_.empty() || (queue_.size() < kBatchesAhead && queuedBytes_ < kBytesAhead) || stop_;
    });
    queuedBytes_ += filling_.text.size();
    queue_.push_back(std::move(filling_));
    filling_ = Batch();
    changed_.notify_all();
  }

  void run() {
    std::vector<std::string_view> record(fields_);
    for (;;) {
      Batch batch;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return stop_ || closing_ || !queue_.empty(); });
        if (stop_) return;
        if (queue_.empty()) {  // closing, and all taken
          finished_ = true;
          changed_.notify_all();
          return;
        }
        batch = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= batch.text.size();
        changed_.notify_all();
      }
      if (batch.reset) {
        reset_();
        continue;
      }
      size_t at = 0;
      for (size_t i = 0; i + fields_ <= batch.lengths.size(); i += fields_) {
        for (size_t f = 0; f < fields_; ++f) {
          record[f] = std::string_view(batch.text).substr(at, batch.lengths[i + f]);
          at += batch.lengths[i + f];
        }
        take_(record.data());
      }
    }
  }

  const size_t fields_;
  Take take_;
  std::function<void()> reset_;
  Batch filling_;  // on the handing thread
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> queue_;
  size_t queuedBytes_ = 0;
  bool stop_ = false, closing_ = false, finished_ = false;
  std::thread thread_;  // last: started once the rest is made
};

// The mirror folder of a logged folder (UTF-8), relative to the mirror root, in the file
// system's encoding ("CDrive/Data/Mail"), and the key it is told apart from other spellings by
// (letter case aside, as UniqueValues compares); empty when it gets none. A log names a couple
// of hundred thousand folders, nearly all plain ASCII: those are mapped on their bytes, with the
// rules of mirrorFolderFor; any other text goes the full way through it.
struct MirrorName {
  std::string relative, key;
};
MirrorName mirrorNameOf(std::string_view folder, const QString& mirrorRoot) {
  MirrorName out;
  const bool ascii = std::all_of(folder.begin(), folder.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii) {
    const auto m = ClsUtils::mirrorFolderFor(mirrorRoot, QString::fromUtf8(folder.data(), qsizetype(folder.size())));
    if (!m) return out;
    const QString relative = m->mid(mirrorRoot.size() + 1);
    out.relative = QFile::encodeName(relative).toStdString();
    out.key = relative.toCaseFolded().toUtf8().toStdString();
    return out;
  }
  const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (folder.size() < 3 || !isLetter(folder[0]) || folder[1] != ':' || (folder[2] != '\\' && folder[2] != '/')) return out;
  std::string relative(1, char(folder[0] & ~0x20));
  relative += "Drive";
  for (size_t at = 3; at <= folder.size();) {
    size_t end = at;
    while (end < folder.size() && folder[end] != '\\' && folder[end] != '/') ++end;
    const std::string_view piece = folder.substr(at, end - at);
    if (piece == "." || piece == "..") return out;
    if (!piece.empty()) (relative += '/') += piece;
    at = end + 1;
  }
  out.key = relative;
  for (char& c : out.key)
    if (c >= 'A' && c <= 'Z') c = char(c | 0x20);
  out.relative = std::move(relative);
  return out;
}

}  // namespace

std::optional<QString> ClsUtils::mirrorFolderFor(const QString& mirrorRoot, const QString& windowsFolder) {
  if (!platform::isWindowsDrivePath(windowsFolder) || windowsFolder.size() < 3 ||
      (windowsFolder[2] != '\\' && windowsFolder[2] != '/'))
    return std::nullopt;
  const QString letter = windowsFolder.left(1).toUpper();
  static const QRegularExpression separators("[\\\\/]");
  QStringList pieces;
  for (const QString& piece : windowsFolder.mid(3).split(separators, Qt::SkipEmptyParts)) {
    if (piece == "." || piece == "..") return std::nullopt;
    pieces << piece;
  }
  QString folder = platform::joinPath(mirrorRoot, letter + "Drive");
  if (!pieces.isEmpty()) folder += '/' + pieces.join('/');
  // Belt and braces: the result must stay below the mirror root.
  const QString root = QDir::cleanPath(mirrorRoot) + '/';
  if (!QDir::cleanPath(folder).startsWith(root)) return std::nullopt;
  return folder;
}

bool ClsUtils::CreateFolderList(const Progress& progress) {
  // The window's events run in here: what is read of this object is taken first.
  const platform::AppPaths paths = paths_;
  const QString mirrorRoot = paths.mirrorRootPath;

  // A log names the same folder many times, most often the one of the record before: each
  // distinct text is mapped once, and each mirror folder wanted once, in its first spelling.
  const QString logPath = successLogPath(paths.logsFolderPath);
  const std::string rootPath = QFile::encodeName(mirrorRoot).toStdString();
  const size_t rootBytes = rootPath.size();
  MirrorSync sync(rootPath, progress);
  // Each record's name and upload time are filed on one thread, its folder on another, while
  // this one reads the log.
  LoggedUploads logged;
  TextSet seenFolders;
  TextSet mirrorKeys;
  std::vector<std::string> mirrors;
  const qint64 records = QFileInfo(logPath).size() / 400;  // the service writes some 400 bytes a record
  RecordPipe names(
      2, [&](const std::string_view* f) { logged.add(f[0], f[1]); },
      [&] {
        logged.clear();
        logged.reserve(records);
      });
  RecordPipe folders(
      1,
      [&](const std::string_view* f) {
        // The reader hands a folder in once for a run of its records, so each one that comes
        // differs from the one before. Texts longer than any path are mapped each time they
        // come rather than kept.
        const std::string_view folder = f[0];
        if (folder.size() < PATH_MAX && !seenFolders.insert(folder).second) return;
        // A folder without a drive prefix, or one that would leave the mirror, gets no mirror;
        // nor does one whose path is too long for the file system, which could never be made.
        MirrorName m = mirrorNameOf(folder, mirrorRoot);
        if (m.relative.empty() || rootBytes + 1 + m.relative.size() >= PATH_MAX) return;
        if (mirrorKeys.insert(m.key).second) mirrors.push_back(std::move(m.relative));
      },
      [&] {
        seenFolders.clear();
        seenFolders.reserve(size_t(records / 4));
        mirrorKeys.clear();
        mirrors.clear();
      });
  std::string previousFolder;  // records of one folder mostly come together: it is handed in once
  const auto start = [&] {
    names.reset();
    folders.reset();
    previousFolder.clear();
  };
  start();
  const auto outcome = SuccessLogReader::readWhileWritten(
      logPath,
      [&](const LogRecord& r) {
        names.put({r[LogField::FileName], r[LogField::UpDTime]});
        const std::string_view folder = r[LogField::FileFolderName];
        if (folder == previousFolder) return;
        previousFolder.assign(folder);
        folders.put({folder});
      },
      progress, start);
  if (outcome == SuccessLogReader::Outcome::Stopped) return false;
  if (outcome == SuccessLogReader::Outcome::NoDocument) {
    sync.cancel();
    aside([&] { removeMirror(rootPath); }, progress);
    return true;
  }

  const auto waiting = [&] {
    if (progress) progress(1, 1);
  };
  names.finish(waiting);
  folders.finish(waiting);
  SharedLists& lists = sharedLists();
  lists.loggedUploads = std::move(logged);
  seenFolders.clear();
  mirrorKeys.clear();
  for (std::string& folder : mirrors) sync.want(std::move(folder));
  sync.run();

  pugi::xml_document collection;
  const QString foldersPath = platform::joinPath(paths.dirFolderPath, "FolderCollection.xml");
  if (!collection.load_file(QFile::encodeName(foldersPath).constData()) || !collection.document_element()) return true;
  QStringList excluded;
  for (const pugi::xpath_node& n : collection.select_nodes("FolderCollection/UnSelectedFolders/FolderDetails"))
    excluded << QString::fromUtf8(n.node().child_value("FolderPath"));
  excluded << QString();
  lists.excludedFolders = excluded;
  return true;
}

}  // namespace corvane::handoff
