#include "selection/FolderTick.h"

#include "selection/FolderExclusions.h"
#include "selection/SmallImageFilter.h"
#include "store/Database.h"

namespace corvane::selection {

bool DBStoreFolderTick(store::DBConnection& db, const QString& folder, const FolderFlags& flags, int smallImageFilter) {
  if (!FolderFlagReader(db)(withoutTrailingBackslash(folder))) return false;
  DBUpdateBuandBuAll(db, folder, flags);
  // The folder and everything below it, loaded in the tree or not.
  DBUpdateBusandBusAll(db, folder, flags);
  ExcludeFolders(db);
  DBUpdateSmallImageFiles(db, smallImageFilter);
  return true;
}

bool DBStoreFolderTick(const QString& filesDb, const QString& folder, const FolderFlags& flags, int smallImageFilter) {
  return store::inTransaction(filesDb,
                              [&](store::DBConnection& db) { return DBStoreFolderTick(db, folder, flags, smallImageFilter); });
}

}  // namespace corvane::selection
