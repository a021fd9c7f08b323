#pragma once
#include <QString>

#include "selection/FolderTable.h"

namespace corvane::selection {

// What one tick of the folder tree stores, in one transaction, so that a tick is stored whole
// or not at all and the service waits for one write lock instead of four: the folder's own
// flags, those of every folder below it, the excluded folders cleared again, and the small
// image files marked (1) or unmarked (0) as the filter setting says. A folder the scan has not
// stored yet has no row of its own and cannot keep a tick: then nothing at all is written, the
// folders below it included. Returns whether the folder has a row. Retries a bounded while
// when busy; throws store::DBError otherwise. The second form writes through a connection the
// caller holds, inside its transaction.
bool DBStoreFolderTick(const QString& filesDb, const QString& folder, const FolderFlags& flags, int smallImageFilter);
bool DBStoreFolderTick(store::DBConnection& db, const QString& folder, const FolderFlags& flags, int smallImageFilter);

}  // namespace corvane::selection
