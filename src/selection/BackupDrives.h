#pragma once
// The fixed drives the backup tree and the folder scan walk.
#include <QStringList>

#include "platform/PathMap.h"

namespace corvane::selection {

inline constexpr int kDriveSlots = 21;  // slots 0 to 20
inline constexpr int kShownDriveSlots = 20;  // the tree and the scan use slots 0 to 19

// The root path ("C:\") of each fixed drive at its position in the drive list; every other
// slot empty. Always kDriveSlots entries, built afresh on each call (nothing of an earlier
// fill survives); drives past the last slot are left out.
QStringList GetDrives(const platform::PathMap& map = platform::pathMap());

}  // namespace corvane::selection
