#pragma once
// The folder tree of a catalogue (the restore page's tvDLFolders, the source folder chooser's
// tvDLSFolders): root "Drives", one node per drive of the catalogue, one per folder level;
// a node's key (Qt::UserRole) is the folder's path without trailing backslash.
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "selection/FolderTable.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace corvane::restore::ui {

class CatalogueTree {
 public:
  CatalogueTree(QTreeWidget* tree, selection::DownloadNodes& nodes);
  ~CatalogueTree();

  // Rebuilds the tree from the catalogue: drives from DBSelectDrives, folders of uploaded
  // files from DBSelectDLNodes. The old nodes go at once; the statements (a second or more on
  // a catalogue of most of a million files) and the planning of the nodes run as a job of their
  // own, the nodes are made out of sight, and the whole tree is shown at once, so that nothing
  // acts on a tree half built. Pending events run meanwhile and progress goes to caption. A
  // build asked for meanwhile takes over; cancel(), or keepGoing turning false (the window
  // closed), ends it with the tree left empty. Returns whether the tree is complete. A catalogue
  // found damaged (it is looked through first) gives no nodes: the tree holds one line saying
  // so, with no tick.
  bool build(const QString& dbdName, const std::function<void(const QString&)>& caption,
             const std::function<bool()>& keepGoing = {});
  bool building() const { return building_; }
  void cancel();
  // The last build found its catalogue damaged.
  bool damaged() const { return damaged_; }

  // The keys of the ticked nodes in the order the nodes were added, the root left out (also
  // kept in the node list). The service restores the queue in its order.
  QStringList GetAllCheckedNodes();

  QTreeWidgetItem* nodeByKey(const QString& key) const;
  static QString keyOf(const QTreeWidgetItem* node);

 private:
  class NodeDisposal;
  // Takes every node out of the tree (and the look-ups), to be deleted a step at a time.
  void takeNodes();
  QTreeWidget* tree_;
  selection::DownloadNodes& nodes_;
  QHash<QString, qint32> byKey_;   // key -> place in added_
  QList<QTreeWidgetItem*> added_;  // every node, in the order it was added
  quint64 builds_ = 0;             // counts builds and cancels: a build that sees it move gives up
  bool building_ = false;
  bool complete_ = false;
  bool damaged_ = false;
  std::unique_ptr<NodeDisposal> disposal_;
  QPointer<QTimer> disposalTimer_;  // a child of the tree widget
};

}  // namespace corvane::restore::ui
