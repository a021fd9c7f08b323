#include "status/ui/IconCache.h"

#include "handoff/FileIcon.h"
#include "handoff/FileTypeName.h"
#include "status/StatusFolders.h"

namespace corvane::status {

IconCache::IconCache() : IconCache(&handoff::GetFileIcon, &handoff::GetFileTypeName) {}

IconCache::IconCache(IconSource icons, TypeSource types) : icons_(std::move(icons)), types_(std::move(types)) {}

int IconCache::indexFor(const QString& path, bool isFolder, bool* added) {
  const QString key = iconKeyFor(path, isFolder);
  if (added) *added = false;
  if (const auto it = byKey_.constFind(key); it != byKey_.constEnd()) return *it;
  // Everything is fetched before the lists grow, so the lists always keep the same length.
  const QPixmap large = icons_(path, 2);
  QString tag = types_(path);
  const QPixmap small = icons_(path, 1);
  QIcon icon;
  if (!large.isNull()) icon.addPixmap(large);
  if (!small.isNull()) icon.addPixmap(small);
  const int index = int(keys_.size());
  keys_ << key;
  tags_ << std::move(tag);
  iconSet_ << std::move(icon);
  byKey_.insert(key, index);
  if (added) *added = true;
  return index;
}

}  // namespace corvane::status
