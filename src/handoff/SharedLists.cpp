#include "handoff/SharedLists.h"

namespace corvane::handoff {

SharedLists& sharedLists() {
  static SharedLists lists;
  return lists;
}

void resetSearchLists() {
  SharedLists& l = sharedLists();
  l.searchFolders = QStringList{QString()};
  l.excludedFolders = QStringList{QString()};
  l.walkedFolders = QStringList{QString()};
}

}  // namespace corvane::handoff
