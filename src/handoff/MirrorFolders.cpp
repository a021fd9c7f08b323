// The mirror folders under MirrorRootPath that the status page shows as a tree, rebuilt from
// the upload log, and the lists read with them.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_set>
#include <vector>

#include "handoff/ClsUtils.h"
#include "handoff/SharedLists.h"
#include "handoff/SuccessLogReader.h"
#include "platform/PathMap.h"
#include "platform/Wait.h"

namespace corvane::handoff {

namespace {

// Attempts at clearing the mirror when the file system refuses (permission denied); between
// attempts the service gets a moment to let go of its handles.
constexpr int kRemoveAttempts = 3;
constexpr int kRemoveWaitMs = 100;
// Folders made between two passes of the window's events.
constexpr int kFoldersPerPass = 500;

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

// Brings the mirror root to exactly the wanted folders (paths relative to it, in the file
// system's encoding) and their parents. Folders are told from links by the directory entry
// itself, so nothing is followed and a walk of tens of thousands of folders needs no stat of
// each. Only the wanted folders themselves are held, sorted: a parent is found as the start of
// one of them, so a folder nested thousands deep costs its own length and not the square of it.
class MirrorSync {
 public:
  MirrorSync(const std::string& root, const ClsUtils::Progress& progress) : root_(root), progress_(progress) {}

  void want(std::string rel) {
    // A folder whose path is too long for the file system can never be made: it is not kept.
    if (root_.size() + 1 + rel.size() < PATH_MAX) wanted_.push_back(std::move(rel));
  }

  void run() {
    std::sort(wanted_.begin(), wanted_.end());
    wanted_.erase(std::unique(wanted_.begin(), wanted_.end()), wanted_.end());
    if (wanted_.empty()) {  // nothing logged with a drive: no mirror at all, as before a rebuild
      removeMirror(root_);
      return;
    }
    for (int attempt = 1; attempt <= kRemoveAttempts; ++attempt) {
      if (clearRoot()) break;
      if (attempt < kRemoveAttempts) platform::waitMs(kRemoveWaitMs);
    }
    ::mkdir(root_.c_str(), 0777);
    // In sorted order a folder shares its parents with the one before, which are made already.
    std::string_view previous;
    for (const std::string& rel : wanted_) {
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
        pass();
      }
      previous = rel;
    }
  }

 private:
  // The folder itself is wanted, or one below it.
  bool isWanted(const std::string& rel) const {
    if (std::binary_search(wanted_.begin(), wanted_.end(), rel)) return true;
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
        pass();
        ok = prune(path, rel) && ok;
      } else if (!removeTree(path)) {
        struct stat st {};  // a kept folder that is read-only: opened up, then once more
        if (::lstat(folder.c_str(), &st) == 0) openUp(folder, st.st_mode);
        ok = removeTree(path) && ok;
      }
    }
    return ok;
  }

  // Lets the window paint now and then; the rebuild is not stopped half way.
  void pass() {
    if (progress_ && ++steps_ % kFoldersPerPass == 0) progress_(1, 1);
  }

  std::string root_;
  const ClsUtils::Progress& progress_;
  std::vector<std::string> wanted_;
  int steps_ = 0;
};

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
  const QString mirrorRoot = paths_.mirrorRootPath;

  // A log names the same folder many times: each distinct text is mapped once.
  const QString logPath = successLogPath(paths_.logsFolderPath);
  LoggedUploads logged;
  TextStore folderTexts;
  std::unordered_set<std::string_view> seenFolders;
  QStringList mirrors;
  const auto start = [&] {
    logged.clear();
    logged.reserve(QFileInfo(logPath).size() / 400);  // the service writes some 400 bytes a record
    seenFolders.clear();
    folderTexts.clear();
    mirrors.clear();
  };
  start();
  const auto outcome = SuccessLogReader::readWhileWritten(
      logPath,
      [&](const LogRecord& r) {
        logged.add(r[LogField::FileName], r[LogField::UpDTime]);
        const std::string_view folder = r[LogField::FileFolderName];
        if (seenFolders.count(folder)) return;
        seenFolders.insert(folderTexts.view(folderTexts.append({folder}), folder.size()));
        // A folder without a drive prefix, or one that would leave the mirror, gets no mirror.
        if (const auto m = mirrorFolderFor(mirrorRoot, QString::fromUtf8(folder.data(), qsizetype(folder.size()))))
          mirrors << *m;
      },
      progress, start);
  if (outcome == SuccessLogReader::Outcome::Stopped) return false;
  if (outcome == SuccessLogReader::Outcome::NoDocument) {
    removeMirror(QFile::encodeName(mirrorRoot).toStdString());
    return true;
  }

  SharedLists& lists = sharedLists();
  lists.loggedUploads = std::move(logged);
  MirrorSync sync(QFile::encodeName(mirrorRoot).toStdString(), progress);
  for (const QString& folder : UniqueValues(mirrors)) sync.want(QFile::encodeName(folder.mid(mirrorRoot.size() + 1)).toStdString());
  sync.run();

  pugi::xml_document folders;
  const QString foldersPath = platform::joinPath(paths_.dirFolderPath, "FolderCollection.xml");
  if (!folders.load_file(QFile::encodeName(foldersPath).constData()) || !folders.document_element()) return true;
  QStringList excluded;
  for (const pugi::xpath_node& n : folders.select_nodes("FolderCollection/UnSelectedFolders/FolderDetails"))
    excluded << QString::fromUtf8(n.node().child_value("FolderPath"));
  excluded << QString();
  lists.excludedFolders = excluded;
  return true;
}

}  // namespace corvane::handoff
