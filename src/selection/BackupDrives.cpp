#include "selection/BackupDrives.h"

#include "platform/Drives.h"

namespace corvane::selection {

QStringList GetDrives(const platform::PathMap& map) {
  QStringList driveSlots;
  for (int i = 0; i < kDriveSlots; ++i) driveSlots.push_back(QString());
  const QList<platform::DriveInfo> drives = platform::listDrives(map);
  for (qsizetype i = 0; i < drives.size() && i < kDriveSlots; ++i)
    if (drives[i].kind == platform::DriveKind::Fixed) driveSlots[i] = drives[i].rootPath;
  return driveSlots;
}

}  // namespace corvane::selection
