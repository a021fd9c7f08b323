#pragma once
// The space plan before the first image: which drives are imaged and which drive receives the
// images, from the drives' used and free space.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace corvane::imaging {

struct DriveSpace {
  QString slot;  // the drive slot's text ("C:\"); empty for an empty slot
  double total = 0, free = 0;
};

struct SpacePlan {
  QString source;       // "C:+D:"
  QString destination;  // "E:"; empty when no drive has free space
  double totalUsed = 0;
  double maxAvail = 0;
  // Room for all images on one drive: the largest free space above 75/100 of the used bytes.
  bool enough() const { return maxAvail > totalUsed * 75 / 100; }
  // The low-space warning's test.
  bool low() const { return maxAvail <= totalUsed * 20 / 100; }
};

// The plan over the drive slots from slot 0 up to the first empty one (at most 21 slots).
// systemFilesOnC (the paging and hibernation files) do not count as used bytes of drive C:.
SpacePlan planSpace(const QList<DriveSpace>& driveSlots, double systemFilesOnC);

// Total and free bytes of a drive ("C:" or "C:\..."); false when it cannot be read.
using DriveSizeReader = std::function<bool(const QString& drive, double& total, double& free)>;
// The sizes of the file system the drive map gives the drive.
DriveSizeReader mappedDriveSizes();

// The drive slots of the imaging pages, each with its drive's sizes.
QList<DriveSpace> driveSpaces(const QStringList& driveSlots, const DriveSizeReader& sizes);
// Used bytes summed over drives.
double usedBytes(const QStringList& drives, const DriveSizeReader& sizes);
// The drives of the stored forms: "C:+D:" and "C:\D:\" (three characters at a time).
QStringList drivesOfSource(const QString& imageSource);
QStringList drivesOfPresetSource(const QString& imgSource);

}  // namespace corvane::imaging
