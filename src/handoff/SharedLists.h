#pragma once
// Process-wide lists shared by the launcher, the hand-off utilities and the status and log
// pages. Every list is indexed from 0 and ends with one empty entry.
#include <QStringList>

#include "handoff/LoggedUploads.h"

namespace corvane::handoff {

struct SharedLists {
  QStringList searchFolders;      // folders to walk for a file search
  QStringList excludedFolders;    // unselected folders of FolderCollection.xml
  QStringList walkedFolders;      // folders a file search has walked
  // FileName and UpDTime of each FileDetails of SuccessLog.xml: for each name, the time of its
  // first record, which is all that is ever looked up.
  LoggedUploads loggedUploads;
};

SharedLists& sharedLists();

// Resets SearchFolders, ExcludedFolders and WalkedFolders to one empty entry each.
void resetSearchLists();

}  // namespace corvane::handoff
