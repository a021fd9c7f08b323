#pragma once
// The icons and type names of listed files, fetched once per icon key (the large and the small
// image list of the folder list, kept for the whole run).
#include <QHash>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>
#include <functional>

namespace corvane::status {

class IconCache {
 public:
  using IconSource = std::function<QPixmap(const QString& path, int size)>;  // size 2 large, 1 small
  using TypeSource = std::function<QString(const QString& path)>;

  IconCache();  // the desktop's icons and type names
  IconCache(IconSource icons, TypeSource types);

  // The image index for a path, fetching icons and type name when its key is new (`added`).
  // Runs no events: the caller lets the window work once the new image is in use.
  int indexFor(const QString& path, bool isFolder, bool* added = nullptr);
  int count() const { return int(keys_.size()); }
  const QString& key(int index) const { return keys_[index]; }
  const QString& typeName(int index) const { return tags_[index]; }
  // Both sizes in one icon, made once: every row of that key shows this one.
  const QIcon& icon(int index) const { return iconSet_[index]; }

 private:
  IconSource icons_;
  TypeSource types_;
  QHash<QString, int> byKey_;
  QList<QString> keys_;
  QList<QString> tags_;
  QList<QIcon> iconSet_;
};

}  // namespace corvane::status
