#pragma once
// The space plan before the first image: which drives are imaged and which drive receives the
// images, from the drives' used and free space.
#include <QList>
#include <QString>
#include <QStringList>

#include "platform/PathMap.h"

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

// The plan over the drive driveSlots from slot 0 up to the first empty one (at most 21 driveSlots).
// systemFilesOnC (the paging and hibernation files) do not count as used bytes of drive C:.
SpacePlan planSpace(const QList<DriveSpace>& driveSlots, double systemFilesOnC);

// The drive driveSlots of the imaging pages with each fixed drive's sizes.
QList<DriveSpace> driveSpaces(const platform::PathMap& map = platform::pathMap());

// Total and free bytes of a drive ("C:" or "C:\..."); false when it is not mapped or unreadable.
bool driveSizes(const QString& drive, double& total, double& free,
                const platform::PathMap& map = platform::pathMap());

// Used bytes summed over the drives of a source text ("C:+D:" or the preset form "C:\D:\").
double usedBytes(const QStringList& drives, const platform::PathMap& map = platform::pathMap());
// The drives of the stored forms: "C:+D:" and "C:\D:\" (three characters at a time).
QStringList drivesOfSource(const QString& imageSource);
QStringList drivesOfPresetSource(const QString& imgSource);

}  // namespace corvane::imaging
