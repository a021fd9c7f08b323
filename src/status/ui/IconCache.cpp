#include "status/ui/IconCache.h"

#include "handoff/FileIcon.h"
#include "handoff/FileTypeName.h"
#include "platform/Wait.h"
#include "status/StatusFolders.h"

namespace corvane::status {

IconCache::IconCache() : IconCache(&handoff::GetFileIcon, &handoff::GetFileTypeName) {}

IconCache::IconCache(IconSource icons, TypeSource types) : icons_(std::move(icons)), types_(std::move(types)) {}

int IconCache::indexFor(const QString& path, bool isFolder, bool* added) {
  const QString key = iconKeyFor(path, isFolder);
  if (added) *added = false;
  if (const auto it = byKey_.constFind(key); it != byKey_.constEnd()) return *it;
  const int index = int(keys_.size());
  keys_ << key;
  large_ << icons_(path, 2);
  platform::doEvents();
  tags_ << types_(path);
  small_ << icons_(path, 1);
  platform::doEvents();
  byKey_.insert(key, index);
  if (added) *added = true;
  return index;
}

}  // namespace corvane::status
