#pragma once
// Process-wide lists shared by the launcher, the hand-off utilities and the status and log
// pages. Every list is indexed from 0 and ends with one empty entry.
#include <QStringList>

namespace corvane::handoff {

struct SharedLists {
  QStringList searchFolders;      // folders to walk for a file search
  QStringList excludedFolders;    // unselected folders of FolderCollection.xml
  QStringList walkedFolders;      // folders a file search has walked
  QStringList loggedFileNames;    // FileName of each FileDetails of SuccessLog.xml
  QStringList loggedUploadTimes;  // UpDTime of each FileDetails, parallel to loggedFileNames
};

SharedLists& sharedLists();

// Resets SearchFolders, ExcludedFolders and WalkedFolders to one empty entry each.
void resetSearchLists();

}  // namespace corvane::handoff
