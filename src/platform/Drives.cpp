#include "platform/Drives.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <sys/statvfs.h>

namespace corvane::platform {

namespace {
DriveKind kindOf(const QString& nativeRoot) {
  if (!qEnvironmentVariableIsEmpty("CORVANE_DRIVES")) return DriveKind::Fixed;
  const QStorageInfo v(nativeRoot);
  const QString fs = QString::fromLatin1(v.fileSystemType());
  if (fs.startsWith("nfs") || fs == "cifs" || fs == "smb3" || fs == "smbfs" || fs.startsWith("fuse.sshfs"))
    return DriveKind::Network;
  const QString dev = QString::fromLatin1(v.device());
  if (dev.startsWith("/dev/")) {
    // A block device that says it is removable (USB sticks, card readers).
    QString name = dev.mid(5);
    while (!name.isEmpty() && name.back().isDigit()) name.chop(1);
    if (name.startsWith("nvme") || name.startsWith("mmcblk")) return DriveKind::Fixed;
    QFile f("/sys/block/" + name + "/removable");
    if (f.open(QIODevice::ReadOnly) && f.readAll().trimmed() == "1") return DriveKind::Removable;
    return DriveKind::Fixed;
  }
  return nativeRoot == "/" ? DriveKind::Fixed : DriveKind::Other;
}
}  // namespace

void volumeSizes(const QString& nativePath, qint64& totalBytes, qint64& freeBytes) {
  totalBytes = freeBytes = 0;
  struct statvfs s {};
  if (statvfs(QFile::encodeName(nativePath).constData(), &s) != 0) return;
  totalBytes = static_cast<qint64>(s.f_blocks) * static_cast<qint64>(s.f_frsize);
  freeBytes = static_cast<qint64>(s.f_bavail) * static_cast<qint64>(s.f_frsize);
}

QList<DriveInfo> listDrives(const PathMap& map) {
  QList<DriveInfo> out;
  for (const PathMap::Entry& e : map.entries()) {
    if (!QFileInfo(e.nativeRoot).isDir()) continue;
    DriveInfo d;
    d.drive = e.drive;
    d.rootPath = e.drive + '\\';
    d.nativeRoot = e.nativeRoot;
    d.kind = kindOf(e.nativeRoot);
    volumeSizes(e.nativeRoot, d.totalBytes, d.freeBytes);
    out.push_back(d);
  }
  return out;
}

}  // namespace corvane::platform
