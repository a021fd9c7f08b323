#include "imaging/SpacePlan.h"

#include "imaging/SetupPage.h"
#include "platform/Drives.h"
#include "platform/PathMap.h"

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

DriveSizeReader mappedDriveSizes() {
  return [](const QString& drive, double& total, double& free) {
    total = free = 0;
    const std::optional<QString> root = platform::pathMap().rootOf(drive.left(2));
    if (!root) return false;
    qint64 t = 0, f = 0;
    platform::volumeSizes(*root, t, f);
    total = double(t);
    free = double(f);
    return t > 0;
  };
}

QList<DriveSpace> driveSpaces(const QStringList& driveSlots, const DriveSizeReader& sizes) {
  QList<DriveSpace> out;
  for (const QString& slot : driveSlots) {
    DriveSpace d;
    d.slot = slot;
    if (!slot.isEmpty()) sizes(slot, d.total, d.free);
    out << d;
  }
  return out;
}

double usedBytes(const QStringList& drives, const DriveSizeReader& sizes) {
  double sum = 0;
  for (const QString& drive : drives) {
    double total = 0, free = 0;
    if (sizes(drive, total, free)) sum += total - free;
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
