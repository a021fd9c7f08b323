#pragma once
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

namespace corvane::platform {

// Stored and exchanged paths keep the Windows form ("C:\Users\Public"); the map turns them
// into native paths only where the program touches the file system, and back.
class PathMap {
 public:
  struct Entry {
    QString drive;       // "C:" (upper-case letter and colon)
    QString nativeRoot;  // "/" or "/srv/c", no trailing '/' except for "/"
  };

  PathMap() = default;
  explicit PathMap(QList<Entry> entries);

  // CORVANE_DRIVES ("C:=/srv/c;D:=/mnt/d") when set, else the mounted local disks:
  // "C:" is "/", then "D:", "E:", ... in mount order.
  static PathMap fromEnvironment();
  // Parses the CORVANE_DRIVES form; malformed pieces are skipped.
  static PathMap parse(const QString& mapText);

  const QList<Entry>& entries() const { return entries_; }

  // "C:\a\b", "C:\", "C:" (either slash, any letter case) -> native path; nullopt when the
  // drive is not mapped or the path holds "." or ".." pieces.
  std::optional<QString> toNative(const QString& windowsPath) const;
  // Native path -> Windows form under the drive with the longest matching root;
  // nullopt when no drive holds it or a name holds '\' (it cannot be written in that form).
  std::optional<QString> toWindows(const QString& nativePath) const;
  // Native root of a drive ("C:" or "C:\"), or nullopt.
  std::optional<QString> rootOf(const QString& drive) const;

 private:
  QList<Entry> entries_;
};

// True when a native file or folder name has a Windows form: it is UTF-8 text (decoding other
// bytes would turn each into the same replacement character, so two names would become one)
// and holds no "\" (it would read as two names).
bool hasWindowsForm(QByteArrayView nativeName);

// True when the text starts with a drive letter and ':' ("C:", "c:\x", "D:name"): the Windows
// form of a path. Whether the drive is mapped is not asked.
bool isWindowsDrivePath(const QString& path);

// The process-wide map (from the environment on first use; tests may replace it).
const PathMap& pathMap();
void setPathMap(const PathMap& map);

}  // namespace corvane::platform
