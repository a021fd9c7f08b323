#pragma once
// What the "Status" page reads: the mirror folders under MirrorRootPath (one per logged
// folder, CDrive/Data/Mail for C:\Data\Mail) and the real folders they stand for, listed with
// the logged files only.
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

#include "handoff/LoggedUploads.h"

namespace corvane::status {

// Full native paths of the immediate sub-folders of a native folder, by name without regard to
// letter case; none when it cannot be read.
QStringList subFolderPaths(const QString& nativeFolder);

// The entry without its parent path and separator.
QString leafName(const QString& entry, const QString& parent);

// The real folder (Windows form) of a mirror folder: MirrorRootPath/CDrive/Data/Mail gives
// C:\Data\Mail, the drive folder MirrorRootPath/CDrive gives "C:". nullopt for the mirror root
// itself or anything that is not a drive folder below it.
std::optional<QString> realFolderOf(const QString& mirrorRoot, const QString& mirrorFolder);

// One row of the folder list.
struct FolderEntry {
  QString path;  // Windows form
  bool isFolder = false;
  QString uploadTime;
};

// The contents of a real folder (Windows form, "C:" or "C:\Data"): its sub-folders that are not
// excluded (exact comparison), then its files that the log names, each group by name. Hidden
// entries and names that cannot be written in the Windows form are left out. `ok` is false when
// the folder cannot be read.
QList<FolderEntry> listFolderEntries(const QString& windowsFolder, const QSet<QString>& excluded,
                                     const handoff::LoggedUploads& logged, bool* ok = nullptr);

// The key under which a file's icon and type name are cached: "DIR" for folders; the whole
// path upper-cased for files that carry their own icon (.ico, .exe, .dll, .ocx); otherwise the
// upper-cased extension (text after the last "." of the path, "" without one).
QString iconKeyFor(const QString& path, bool isFolder);

// The last-modified time of a Windows-form path in the system's short date and long time form;
// "" when it cannot be read.
QString modifiedText(const QString& windowsPath);

}  // namespace corvane::status
