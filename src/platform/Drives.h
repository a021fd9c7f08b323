#pragma once
#include <QList>
#include <QString>

#include "platform/PathMap.h"

namespace corvane::platform {

enum class DriveKind { Fixed, Removable, Network, Other };

struct DriveInfo {
  QString drive;       // "C:"
  QString rootPath;    // "C:\"
  QString nativeRoot;  // "/srv/c"
  DriveKind kind = DriveKind::Other;
  qint64 totalBytes = 0;
  qint64 freeBytes = 0;
};

// The drives of the map in its order, with their kind and sizes. Drives given through
// CORVANE_DRIVES are fixed; mapped folders that do not exist are left out.
QList<DriveInfo> listDrives(const PathMap& map = pathMap());

// Total and free bytes of the file system that holds a native path (0/0 when unknown).
void volumeSizes(const QString& nativePath, qint64& totalBytes, qint64& freeBytes);

}  // namespace corvane::platform
