#include "selection/FolderTick.h"

#include "selection/FolderExclusions.h"
#include "selection/SmallImageFilter.h"
#include "store/Database.h"

namespace corvane::selection {

bool DBStoreFolderTick(const QString& filesDb, const QString& folder, const FolderFlags& flags, int smallImageFilter) {
  return store::inTransaction(filesDb, [&](store::DBConnection& db) {
    const bool hasRow = DBUpdateBuandBuAll(db, folder, flags) > 0;
    // The folder and everything below it, loaded in the tree or not.
    DBUpdateBusandBusAll(db, folder, flags);
    ExcludeFolders(db);
    DBUpdateSmallImageFiles(db, smallImageFilter);
    return hasRow;
  });
}

}  // namespace corvane::selection
