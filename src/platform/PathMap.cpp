#include "platform/PathMap.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStringList>

namespace corvane::platform {

namespace {

QString normaliseDrive(QString d) {
  d = d.trimmed();
  while (d.endsWith('\\') || d.endsWith('/')) d.chop(1);
  if (d.size() != 2 || !isWindowsDrivePath(d)) return {};
  return d.toUpper();
}

QString cleanRoot(const QString& root) {
  QString r = QDir::cleanPath(root);
  if (r.size() > 1 && r.endsWith('/')) r.chop(1);
  return r;
}

bool isLocalDiskFs(const QStorageInfo& v) {
  static const QStringList kinds = {"ext2", "ext3", "ext4", "xfs", "btrfs", "vfat", "exfat",
                                    "ntfs", "ntfs3", "fuseblk", "f2fs", "jfs", "reiserfs", "zfs"};
  return v.isValid() && v.isReady() && kinds.contains(QString::fromLatin1(v.fileSystemType()));
}

PathMap& current() {
  static PathMap map = PathMap::fromEnvironment();
  return map;
}

}  // namespace

bool hasWindowsForm(QByteArrayView nativeName) {
  return !nativeName.isEmpty() && nativeName.indexOf('\\') < 0 && nativeName.isValidUtf8();
}

bool isWindowsDrivePath(const QString& path) {
  return path.size() >= 2 && path[0].isLetter() && path[1] == ':';
}

PathMap::PathMap(QList<Entry> entries) : entries_(std::move(entries)) {}

PathMap PathMap::parse(const QString& mapText) {
  QList<Entry> out;
  for (const QString& piece : mapText.split(';', Qt::SkipEmptyParts)) {
    const int eq = piece.indexOf('=');
    if (eq < 0) continue;
    const QString drive = normaliseDrive(piece.left(eq));
    const QString root = piece.mid(eq + 1).trimmed();
    if (drive.isEmpty() || root.isEmpty()) continue;
    bool dup = false;
    for (const Entry& e : out) dup = dup || e.drive == drive;
    if (!dup) out.push_back({drive, cleanRoot(root)});
  }
  return PathMap(out);
}

PathMap PathMap::fromEnvironment() {
  const QByteArray env = qgetenv("CORVANE_DRIVES");
  if (!env.isEmpty()) return parse(QString::fromLocal8Bit(env));
  QList<Entry> out{{"C:", "/"}};
  char letter = 'D';
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
    if (letter > 'Z') break;
    if (!isLocalDiskFs(v)) continue;
    const QString root = cleanRoot(v.rootPath());
    if (root == "/") continue;
    // Files bound onto a path (containers mount /etc/hosts so) are no disk; a folder mounted
    // twice at the same place is one drive.
    if (!QFileInfo(root).isDir()) continue;
    bool seen = false;
    for (const Entry& e : out) seen = seen || e.nativeRoot == root;
    if (seen) continue;
    out.push_back({QString(QChar(letter)) + ':', root});
    ++letter;
  }
  return PathMap(out);
}

std::optional<QString> PathMap::rootOf(const QString& drive) const {
  const QString d = normaliseDrive(drive);
  for (const Entry& e : entries_)
    if (e.drive == d) return e.nativeRoot;
  return std::nullopt;
}

std::optional<QString> PathMap::toNative(const QString& windowsPath) const {
  if (windowsPath.size() < 2 || windowsPath[1] != ':') return std::nullopt;
  const auto root = rootOf(windowsPath.left(2));
  if (!root) return std::nullopt;
  QString rest = windowsPath.mid(2);
  rest.replace('\\', '/');
  QString native = *root;
  for (const QString& name : rest.split('/', Qt::SkipEmptyParts)) {
    if (name == "." || name == "..") return std::nullopt;
    if (!native.endsWith('/')) native += '/';
    native += name;
  }
  return native;
}

std::optional<QString> PathMap::toWindows(const QString& nativePath) const {
  const QString path = cleanRoot(nativePath);
  const Entry* best = nullptr;
  for (const Entry& e : entries_) {
    const bool inside = e.nativeRoot == "/" ? path.startsWith('/')
                                            : (path == e.nativeRoot || path.startsWith(e.nativeRoot + '/'));
    if (inside && (!best || e.nativeRoot.size() > best->nativeRoot.size())) best = &e;
  }
  if (!best) return std::nullopt;
  const QString rest = best->nativeRoot == "/" ? path.mid(1) : path.mid(best->nativeRoot.size() + 1);
  if (rest.contains('\\')) return std::nullopt;
  if (rest.isEmpty()) return best->drive;
  QString out = best->drive;
  for (const QString& name : rest.split('/', Qt::SkipEmptyParts)) out += '\\' + name;
  return out;
}

const PathMap& pathMap() { return current(); }
void setPathMap(const PathMap& map) { current() = map; }

}  // namespace corvane::platform
