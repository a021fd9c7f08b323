#include "imaging/SpacePlan.h"

#include "imaging/SetupPage.h"
#include "platform/Drives.h"

namespace corvane::imaging {

SpacePlan planSpace(const QList<DriveSpace>& driveSlots, double systemFilesOnC) {
  SpacePlan plan;
  QList<DriveSpace> drives;
  for (const DriveSpace& d : driveSlots) {
    if (d.slot.isEmpty() || drives.size() >= kDriveSlots) break;
    drives << d;
  }
  QStringList source;
  for (const DriveSpace& d : drives) {
    double used = d.total - d.free;
    if (d.slot.startsWith(QLatin1String("C:"), Qt::CaseInsensitive)) used -= systemFilesOnC;
    plan.totalUsed += used;
    source << d.slot.left(2);
  }
  plan.source = source.join(QLatin1Char('+'));
  for (const DriveSpace& d : drives) {
    if (d.free > plan.maxAvail) {  // the first of equal largest wins
      plan.maxAvail = d.free;
      plan.destination = d.slot.left(2);
    }
  }
  return plan;
}

QList<DriveSpace> driveSpaces(const platform::PathMap& map) {
  const QStringList driveSlots = imageDriveSlots(map);
  const QList<platform::DriveInfo> drives = platform::listDrives(map);
  QList<DriveSpace> out;
  for (const QString& slot : driveSlots) {
    DriveSpace d;
    d.slot = slot;
    for (const platform::DriveInfo& info : drives) {
      if (!slot.isEmpty() && info.rootPath == slot) {
        d.total = double(info.totalBytes);
        d.free = double(info.freeBytes);
        break;
      }
    }
    out << d;
  }
  return out;
}

bool driveSizes(const QString& drive, double& total, double& free, const platform::PathMap& map) {
  total = free = 0;
  const std::optional<QString> root = map.rootOf(drive.left(2));
  if (!root) return false;
  qint64 t = 0, f = 0;
  platform::volumeSizes(*root, t, f);
  total = double(t);
  free = double(f);
  return t > 0;
}

double usedBytes(const QStringList& drives, const platform::PathMap& map) {
  double sum = 0;
  for (const QString& drive : drives) {
    double total = 0, free = 0;
    if (driveSizes(drive, total, free, map)) sum += total - free;
  }
  return sum;
}

QStringList drivesOfSource(const QString& imageSource) {
  QStringList drives;
  for (const QString& piece : imageSource.split(QLatin1Char('+'), Qt::SkipEmptyParts)) drives << piece.left(2);
  return drives;
}

QStringList drivesOfPresetSource(const QString& imgSource) {
  QStringList drives;
  for (qsizetype pos = 0;; pos += 3) {
    const QString piece = imgSource.mid(pos, 3);
    if (piece.isEmpty()) break;
    drives << piece.left(2);
  }
  return drives;
}

}  // namespace corvane::imaging
