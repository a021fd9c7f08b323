#pragma once
// The folder tree of a catalogue (the restore page's tvDLFolders, the source folder chooser's
// tvDLSFolders): root "Drives", one node per drive of the catalogue, one per folder level;
// a node's key (Qt::UserRole) is the folder's path without trailing backslash.
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "selection/FolderTable.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace corvane::restore::ui {

class CatalogueTree {
 public:
  CatalogueTree(QTreeWidget* tree, selection::DownloadNodes& nodes);

  // Rebuilds the tree from the catalogue: drives from DBSelectDrives, folders of uploaded
  // files from DBSelectDLNodes. Pending events run as it goes and progress goes to caption.
  // A rebuild asked for while one runs is refused (false). A catalogue found damaged (it is
  // looked through first) gives no nodes: the tree holds one line saying so, with no tick.
  bool build(const QString& dbdName, const std::function<void(const QString&)>& caption);
  bool building() const { return building_; }
  // The last build found its catalogue damaged.
  bool damaged() const { return damaged_; }

  // The keys of the ticked nodes in the order the nodes were added, the root left out (also
  // kept in the node list). The service restores the queue in its order.
  QStringList GetAllCheckedNodes();

  QTreeWidgetItem* nodeByKey(const QString& key) const { return byKey_.value(key); }
  static QString keyOf(const QTreeWidgetItem* node);

 private:
  QTreeWidgetItem* add(QTreeWidgetItem* parent, const QString& key, const QString& text, bool isDrive);
  void clear();
  QTreeWidget* tree_;
  selection::DownloadNodes& nodes_;
  QHash<QString, QTreeWidgetItem*> byKey_;
  QList<QTreeWidgetItem*> added_;  // every node, in the order it was added
  bool building_ = false;
  bool damaged_ = false;
};

}  // namespace corvane::restore::ui
