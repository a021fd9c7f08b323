// The mirror folders under MirrorRootPath that the status page shows as a tree, rebuilt from
// the upload log, and the lists read with them.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <pugixml.hpp>
#include <string_view>
#include <unordered_set>

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

// Removes a file, a link (the link itself, never what it points to) or a folder with
// everything in it. A folder's own links are removed as links as well.
bool removeEntry(const QFileInfo& entry) {
  if (entry.isSymLink() || !entry.isDir()) return QFile::remove(entry.filePath());
  return QDir(entry.filePath()).removeRecursively();
}

// Removes everything under `folder` that is not a wanted folder (paths relative to the mirror
// root); the wanted folders found are added to `present`.
bool prune(const QString& folder, const QString& relative, const QSet<QString>& wanted, QSet<QString>& present) {
  bool ok = true;
  const QFileInfoList entries =
      QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QFileInfo& entry : entries) {
    const QString rel = relative.isEmpty() ? entry.fileName() : relative + '/' + entry.fileName();
    if (!entry.isSymLink() && entry.isDir() && wanted.contains(rel)) {
      present.insert(rel);
      ok = prune(entry.filePath(), rel, wanted, present) && ok;
    } else {
      ok = removeEntry(entry) && ok;
    }
  }
  return ok;
}

// Makes the mirror root hold exactly `folders` (native paths below it) and their parents.
// What is already there stays; everything else goes, a link in the root's place included.
void syncMirror(const ClsUtils& utils, const QString& root, const QStringList& folders,
                const ClsUtils::Progress& progress) {
  QSet<QString> wanted;
  for (const QString& f : folders) {
    const QString rel = f.mid(root.size() + 1);
    for (int slash = rel.indexOf('/'); slash >= 0; slash = rel.indexOf('/', slash + 1)) wanted.insert(rel.left(slash));
    wanted.insert(rel);
  }
  QSet<QString> present;
  for (int attempt = 1; attempt <= kRemoveAttempts; ++attempt) {
    present.clear();
    const QFileInfo rootInfo(root);
    bool ok = true;
    if (rootInfo.isSymLink() || (rootInfo.exists() && !rootInfo.isDir())) ok = QFile::remove(root);
    else if (rootInfo.exists()) ok = prune(root, QString(), wanted, present);
    if (ok) break;
    if (attempt < kRemoveAttempts) platform::waitMs(kRemoveWaitMs);
  }
  int made = 0;
  for (const QString& f : folders) {
    if (present.contains(f.mid(root.size() + 1))) continue;
    utils.CreateFolder(f);
    if (progress && ++made % kFoldersPerPass == 0) progress(1, 1);  // lets the window paint; no stop here
  }
}

void removeMirror(const QString& root) {
  for (int attempt = 1; attempt <= kRemoveAttempts; ++attempt) {
    const QFileInfo info(root);
    if (!info.exists() && !info.isSymLink()) return;
    if (removeEntry(info)) return;
    if (attempt < kRemoveAttempts) platform::waitMs(kRemoveWaitMs);
  }
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
  const QString mirrorRoot = paths_.mirrorRootPath;

  // A log names the same folder many times: each distinct text is mapped once.
  LoggedUploads logged;
  TextStore folderTexts;
  std::unordered_set<std::string_view> seenFolders;
  QStringList mirrors;
  const auto outcome = SuccessLogReader::read(
      successLogPath(paths_.logsFolderPath),
      [&](const LogRecord& r) {
        logged.add(r[LogField::FileName], r[LogField::UpDTime]);
        const std::string_view folder = r[LogField::FileFolderName];
        if (seenFolders.count(folder)) return;
        seenFolders.insert(folderTexts.view(folderTexts.append({folder}), folder.size()));
        // A folder without a drive prefix, or one that would leave the mirror, gets no mirror.
        if (const auto m = mirrorFolderFor(mirrorRoot, QString::fromUtf8(folder.data(), qsizetype(folder.size()))))
          mirrors << *m;
      },
      progress);
  if (outcome == SuccessLogReader::Outcome::Stopped) return false;
  if (outcome == SuccessLogReader::Outcome::NoDocument) {
    removeMirror(mirrorRoot);
    return true;
  }

  SharedLists& lists = sharedLists();
  lists.loggedUploads = std::move(logged);
  syncMirror(*this, mirrorRoot, UniqueValues(mirrors), progress);

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
