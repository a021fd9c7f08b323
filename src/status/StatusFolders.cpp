#include "status/StatusFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include "platform/AppFolder.h"
#include "platform/PathMap.h"

namespace corvane::status {

QStringList subFolderPaths(const QString& nativeFolder) {
  // Mirror folders are made by the program, so dot-named ones are listed too.
  const QDir dir(nativeFolder);
  QStringList out;
  if (nativeFolder.isEmpty() || !dir.exists()) return out;
  for (const QFileInfo& info :
       dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name | QDir::IgnoreCase))
    out << platform::joinPath(nativeFolder, info.fileName());
  return out;
}

QString leafName(const QString& entry, const QString& parent) {
  return entry.right(entry.size() - parent.size() - 1);
}

std::optional<QString> realFolderOf(const QString& mirrorRoot, const QString& mirrorFolder) {
  const QString root = mirrorRoot + '/';
  if (!mirrorFolder.startsWith(root)) return std::nullopt;
  const QString rest = mirrorFolder.mid(root.size());  // "CDrive/Data/Mail"
  const int slash = rest.indexOf('/');
  const QString drive = slash < 0 ? rest : rest.left(slash);
  if (drive.size() != 6 || !drive[0].isLetter() || !drive.endsWith("Drive")) return std::nullopt;
  QString real = drive.left(1) + ':';
  if (slash >= 0) real += '\\' + QString(rest.mid(slash + 1)).replace('/', '\\');
  return real;
}

QList<FolderEntry> listFolderEntries(const QString& windowsFolder, const QSet<QString>& excluded,
                                     const handoff::LoggedUploads& logged, bool* ok) {
  QList<FolderEntry> entries;
  if (ok) *ok = false;
  QString folder = windowsFolder;
  if (!folder.endsWith('\\')) folder += '\\';
  const auto native = platform::pathMap().toNative(folder);
  if (!native) return entries;
  const QDir dir(*native);
  if (!dir.exists()) return entries;
  if (ok) *ok = true;

  QList<FolderEntry> files;
  for (const QFileInfo& info :
       dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
    const QString name = info.fileName();
    if (name.contains('\\')) continue;
    const QString path = folder + name;
    if (info.isDir()) {
      if (!excluded.contains(path)) entries << FolderEntry{path, true, QString()};
    } else if (const auto time = logged.uploadTimeOf(name)) {
      files << FolderEntry{path, false, *time};
    }
  }
  entries << files;
  return entries;
}

QString iconKeyFor(const QString& path, bool isFolder) {
  if (isFolder) return QStringLiteral("DIR");
  const int dot = path.lastIndexOf('.');
  const QString ext = dot < 0 ? QString() : path.mid(dot + 1).toUpper();
  if (ext == "ICO" || ext == "EXE" || ext == "DLL" || ext == "OCX") return path.toUpper();
  return ext;
}

QString modifiedText(const QString& windowsPath) {
  const auto native = platform::pathMap().toNative(windowsPath);
  if (!native) return {};
  const QFileInfo info(*native);
  if (!info.exists()) return {};
  const QDateTime when = info.lastModified();
  const QLocale locale = QLocale::system();
  // The long time form without the time zone.
  QString timeForm = locale.timeFormat(QLocale::LongFormat);
  timeForm.remove('t');
  return locale.toString(when.date(), QLocale::ShortFormat) + ' ' + locale.toString(when.time(), timeForm.trimmed());
}

}  // namespace corvane::status
