#pragma once
#include <QString>

#include "selection/FolderTable.h"

namespace corvane::selection {

// What one tick of the folder tree stores, in one transaction, so that a tick is stored whole
// or not at all and the service waits for one write lock instead of four: the folder's own
// flags, those of every folder below it, the excluded folders cleared again, and the small
// image files marked (1) or unmarked (0) as the filter setting says. Returns whether the folder
// has a row of its own: one the scan has not stored yet has none, so its tick is not kept.
// Retries a bounded while when busy; throws store::DBError otherwise.
bool DBStoreFolderTick(const QString& filesDb, const QString& folder, const FolderFlags& flags, int smallImageFilter);

}  // namespace corvane::selection
