#include "restore/ui/CatalogueTree.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

#include "handoff/CutTextTips.h"
#include "handoff/SharedIcons.h"
#include "platform/LosslessUtf8.h"
#include "platform/Wait.h"
#include "restore/RestoreCatalogue.h"
#include "restore/ui/FileList.h"
#include "store/DatabaseJob.h"
#include "store/DatabaseTrouble.h"

namespace corvane::restore::ui {

namespace {

// How long the window waits for the worker before it answers its events again, how many nodes
// it makes between two answers, and how long it deletes old ones at a time.
constexpr int kWaitForPlanMs = 25;
constexpr size_t kNodesPerStep = 5000;
constexpr qint64 kDisposalStepMs = 10;

struct PlannedNode {
  qint32 parent;  // place of the parent node (-1 for the root)
  QString key;
  QString text;
  bool drive;
};

// The nodes of the tree in the order they are added, the root first.
struct Plan {
  std::vector<PlannedNode> nodes;
  QHash<QString, qint32> byKey;
  bool readFolders = false;  // a drive's folders were read (the node list then holds the last)
  QStringList lastFolders;
};

// Drives from DBSelectDrives, then each drive's folders of uploaded files from DBSelectDLNodes,
// each folder level once under its parent level, on the job's connections (a statement ends as
// interrupted when the job is stopped). planned counts the folder nodes so far.
void planTree(const store::JobContext& job, const QString& dbdName, Plan& plan, std::atomic<qint64>& planned) {
  const auto add = [&](qint32 parent, const QString& key, const QString& text, bool drive) {
    const auto place = qint32(plan.nodes.size());
    plan.byKey.insert(key, place);
    plan.nodes.push_back({parent, key, text, drive});
    return place;
  };
  QStringList drives;
  try {
    drives = job.onDatabase(dbdName, [](store::DBConnection& c) { return DBSelectDrives(c); });
  } catch (const store::DBError&) {
    // no drives: the tree holds its root alone
  }
  add(-1, QStringLiteral("Drives"), QStringLiteral("Drives"), true);
  for (const QString& entry : drives) {
    job.throwIfStopped();
    if (entry.isEmpty()) continue;
    const QString drive = entry.left(2);
    qint32 driveNode = plan.byKey.value(drive, -1);
    if (driveNode < 0) driveNode = add(0, drive, drive, true);

    selection::DownloadNodes read;
    int count = 0;
    QString result;
    try {
      job.onDatabase(dbdName, [&](store::DBConnection& c) { read.DBSelectDLNodes(c, drive, count, result); });
    } catch (const store::DBError& e) {
      result = e.description();
    }
    job.throwIfStopped();
    plan.readFolders = true;
    plan.lastFolders = read.DLRawNodeNames;
    if (result != QLatin1String("OK")) continue;
    // Each level of a folder's path is a node under the level above it (FolderLevels' pieces:
    // "C:\a\b\" gives C:, C:\a, C:\a\b). A folder's parent is mostly there already, so the
    // levels are looked for from the deepest up, and those missing added from the top down.
    std::vector<qsizetype> ends;  // where the missing levels' keys end, deepest first
    for (int j = 0; j < count && j < read.DLRawNodeNames.size(); ++j) {
      if (j % 4096 == 0) job.throwIfStopped();
      const QString& path = read.DLRawNodeNames.at(j);
      const QString full = path.endsWith('\\') ? path.chopped(1) : path;
      const qsizetype first = full.indexOf('\\');
      if (QStringView(full).first(first < 0 ? full.size() : first).compare(drive, Qt::CaseInsensitive) != 0) continue;
      if (first < 0) continue;  // the drive alone
      ends.clear();
      qint32 parent = driveNode;
      for (qsizetype end = full.size(); end > first; end = full.lastIndexOf('\\', end - 1)) {
        const qint32 found = plan.byKey.value(end == full.size() ? full : full.left(end), -1);
        if (found >= 0) {
          parent = found;
          break;
        }
        ends.push_back(end);
      }
      for (auto e = ends.rbegin(); e != ends.rend(); ++e) {
        const qsizetype from = full.lastIndexOf('\\', *e - 1) + 1;
        parent = add(parent, *e == full.size() ? full : full.left(*e), full.mid(from, *e - from), false);
        planned.fetch_add(1, std::memory_order_relaxed);
      }
    }
  }
}

// glibc keeps small freed blocks aside and merges them all at the next large allocation: after
// a tree's worth of nodes that took a tenth of a second, wherever it fell. A large block asked
// for (and given back) after each step of deletions has them merged a step at a time.
void mergeFreedBlocks() {
  void* volatile block = std::malloc(4096);
  std::free(block);
}

QTreeWidgetItem* makeNode(QTreeWidgetItem* parent, const PlannedNode& n, const QIcon& driveIcon,
                          const QIcon& folderIcon) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem();
  item->setText(0, platform::shownText(n.text));
  item->setData(0, Qt::UserRole, n.key);
  if (!parent) {
    // A tick on the root means nothing: it has no check box.
    item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    item->setIcon(0, driveIcon);
    return item;
  }
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(0, Qt::Unchecked);
  item->setIcon(0, n.drive ? driveIcon : folderIcon);
  return item;
}

}  // namespace

// Deletes nodes taken out of a tree a few milliseconds at a time (a catalogue's tree holds as
// many nodes as it has folders, and deleting them all at once held the window a fifth of a
// second). Leaves go first, each the last child of its parent, so that no node looks through
// its siblings or the nodes below it as it goes (Qt's own ways of taking a node out do).
class CatalogueTree::NodeDisposal {
 public:
  NodeDisposal() = default;
  void add(std::unique_ptr<QTreeWidgetItem> node) {
    if (node) left_.push_back(node.release());
  }
  ~NodeDisposal() {
    while (!done()) step();
  }
  NodeDisposal(const NodeDisposal&) = delete;
  NodeDisposal& operator=(const NodeDisposal&) = delete;
  bool done() const { return left_.empty(); }
  void step() {
    QElapsedTimer clock;
    clock.start();
    for (int n = 1; !left_.empty(); ++n) {
      QTreeWidgetItem* node = left_.back();
      if (node->childCount() > 0) {
        left_.push_back(node->child(node->childCount() - 1));
        continue;
      }
      left_.pop_back();
      if (QTreeWidgetItem* parent = node->parent()) parent->takeChild(parent->childCount() - 1);
      delete node;
      if (n % 500 == 0) {
        mergeFreedBlocks();
        if (clock.elapsed() >= kDisposalStepMs) break;
      }
    }
    mergeFreedBlocks();
  }

 private:
  std::vector<QTreeWidgetItem*> left_;  // the nodes to delete, each above the ones after it
};

CatalogueTree::CatalogueTree(QTreeWidget* tree, selection::DownloadNodes& nodes)
    : tree_(tree), nodes_(nodes), disposal_(std::make_unique<NodeDisposal>()), disposalTimer_(new QTimer(tree)) {
  tree_->setHeaderHidden(true);
  handoff::showCutTextsAsTips(tree_);
  // Old nodes still to delete once a build is over go from the event loop.
  disposalTimer_->setInterval(0);
  QObject::connect(disposalTimer_, &QTimer::timeout, tree_, [this] {
    disposal_->step();
    if (disposal_->done()) disposalTimer_->stop();
  });
}

CatalogueTree::~CatalogueTree() { delete disposalTimer_; }

QString CatalogueTree::keyOf(const QTreeWidgetItem* node) {
  return node ? node->data(0, Qt::UserRole).toString() : QString();
}

QTreeWidgetItem* CatalogueTree::nodeByKey(const QString& key) const {
  const qint32 place = byKey_.value(key, -1);
  return place < 0 ? nullptr : added_[place];
}

void CatalogueTree::takeNodes() {
  byKey_.clear();
  added_.clear();
  while (tree_->topLevelItemCount() > 0) disposal_->add(std::unique_ptr<QTreeWidgetItem>(tree_->takeTopLevelItem(0)));
}

void CatalogueTree::cancel() {
  ++builds_;
  building_ = false;
  complete_ = false;
}

bool CatalogueTree::build(const QString& dbdName, const std::function<void(const QString&)>& caption,
                          const std::function<bool()>& keepGoing) {
  const quint64 build = ++builds_;
  building_ = true;
  complete_ = false;
  // The old nodes go while the worker plans the new ones.
  takeNodes();
  std::unique_ptr<QTreeWidgetItem> root;  // the new nodes, made out of sight
  const auto wanted = [&] { return build == builds_ && (!keepGoing || keepGoing()); };
  // A newer build or a cancel has left the tree as it wants it; keepGoing alone ends this one.
  const auto givenUp = [&] {
    if (build == builds_) cancel();
    disposal_->add(std::move(root));
    if (!disposal_->done()) disposalTimer_->start();
    return complete_;
  };
  const auto finished = [&] {
    building_ = false;
    complete_ = true;
    if (!disposal_->done()) disposalTimer_->start();
    return true;
  };

  // A damaged page is met only when a statement reads it; a tree of what could be read around it
  // would read as the computer's folders, and queue from them.
  damaged_ = !dbdName.isEmpty() && lookCatalogueThrough(dbdName, wanted);
  if (!wanted()) return givenUp();

  Plan plan;
  if (!damaged_) {
    std::atomic<qint64> planned{0};
    qint64 told = 0;
    try {
      store::runAnswering([&](store::JobContext& context) { planTree(context, dbdName, plan, planned); },
                          [&] {
                            const qint64 n = planned.load(std::memory_order_relaxed) / 200 * 200;
                            if (caption && n > told)
                              caption(QStringLiteral("Corvane Building folder tree - %1 folders...").arg(n));
                            told = std::max(told, n);
                            if (!disposal_->done()) disposal_->step();
                            platform::doEvents();
                            return wanted();  // the job ends as it goes: its statement is interrupted
                          },
                          kWaitForPlanMs);
    } catch (...) {
      if (!wanted()) return givenUp();
      // The statements' own failures leave drives out instead; anything else ends this build.
      if (build == builds_) cancel();
      throw;
    }
  }
  if (!dbdName.isEmpty()) {
    damaged_ = damaged_ || store::isKnownDamaged(dbdName);
    store::tellDatabaseTrouble(QFileInfo(dbdName).absolutePath());
    if (!wanted()) return givenUp();
  }
  if (damaged_) {
    auto* notice = new QTreeWidgetItem(tree_);  // first in added_: never collected as a tick
    notice->setText(0, damagedCatalogueText(dbdName));
    notice->setToolTip(0, notice->text(0));
    notice->setFlags(Qt::ItemIsEnabled);
    added_.append(notice);
    return finished();
  }

  // Made out of sight (no view takes note of each), shown at once below.
  const QIcon driveIcon = handoff::sharedIcon(handoff::SharedIcon::Drive);
  const QIcon folderIcon = handoff::sharedIcon(handoff::SharedIcon::Folder);
  QList<QTreeWidgetItem*> items;
  items.reserve(qsizetype(plan.nodes.size()));
  for (size_t i = 0; i < plan.nodes.size(); ++i) {
    const PlannedNode& n = plan.nodes[i];
    items.append(makeNode(n.parent < 0 ? nullptr : items[n.parent], n, driveIcon, folderIcon));
    if (i == 0) root.reset(items[0]);
    if ((i + 1) % kNodesPerStep == 0) {
      if (!disposal_->done()) disposal_->step();
      platform::doEvents();
      if (!wanted()) return givenUp();
    }
  }
  tree_->addTopLevelItem(root.release());
  byKey_ = std::move(plan.byKey);
  added_ = std::move(items);
  if (plan.readFolders) {
    nodes_.ClearDLNodeArrays();
    nodes_.DLRawNodeNames = plan.lastFolders;
  }
  added_.first()->setExpanded(true);
  return finished();
}

QStringList CatalogueTree::GetAllCheckedNodes() {
  nodes_.ClearDLNodeArrays();
  QStringList keys;
  for (qsizetype i = 1; i < added_.size(); ++i)  // the root, added first, is never collected
    if (added_[i]->checkState(0) == Qt::Checked) keys << keyOf(added_[i]);
  nodes_.DLNodeNames = keys;
  return keys;
}

}  // namespace corvane::restore::ui
