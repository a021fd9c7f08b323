#include "restore/ui/CatalogueTree.h"

#include <QFileInfo>
#include <QTreeWidget>

#include "handoff/SharedIcons.h"
#include "platform/LosslessUtf8.h"
#include "platform/Wait.h"
#include "restore/RestoreCatalogue.h"
#include "restore/ui/FileList.h"
#include "store/DatabaseTrouble.h"

namespace corvane::restore::ui {

CatalogueTree::CatalogueTree(QTreeWidget* tree, selection::DownloadNodes& nodes) : tree_(tree), nodes_(nodes) {
  tree_->setHeaderHidden(true);
}

QString CatalogueTree::keyOf(const QTreeWidgetItem* node) { return node ? node->data(0, Qt::UserRole).toString() : QString(); }

QTreeWidgetItem* CatalogueTree::add(QTreeWidgetItem* parent, const QString& key, const QString& text, bool isDrive) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
  item->setText(0, platform::shownText(text));
  item->setData(0, Qt::UserRole, key);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(0, Qt::Unchecked);
  if (parent || isDrive) item->setIcon(0, handoff::sharedIcon(isDrive ? handoff::SharedIcon::Drive : handoff::SharedIcon::Folder));
  byKey_.insert(key, item);
  added_.append(item);
  return item;
}

void CatalogueTree::clear() {
  tree_->clear();
  byKey_.clear();
  added_.clear();
}

bool CatalogueTree::build(const QString& dbdName, const std::function<void(const QString&)>& caption) {
  if (building_) return false;
  building_ = true;
  // A damaged page is met only when a statement reads it; a tree of what could be read around it
  // would read as the computer's folders, and queue from them.
  damaged_ = !dbdName.isEmpty() && lookCatalogueThrough(dbdName, [] { return true; });
  const QStringList drives = damaged_ ? QStringList() : DBSelectDrives(dbdName).value_or(QStringList());
  clear();
  QTreeWidgetItem* root = add(nullptr, QStringLiteral("Drives"), QStringLiteral("Drives"), true);
  // A tick on the root means nothing: it has no check box.
  root->setFlags(root->flags() & ~Qt::ItemIsUserCheckable);
  root->setData(0, Qt::CheckStateRole, QVariant());

  int added = 0;
  for (const QString& entry : drives) {
    if (entry.isEmpty()) continue;
    const QString drive = entry.left(2);
    platform::doEvents();
    QTreeWidgetItem* driveNode = byKey_.value(drive);
    if (!driveNode) driveNode = add(root, drive, drive, true);

    nodes_.ClearDLNodeArrays();
    int count = 0;
    QString result;
    nodes_.DBSelectDLNodes(drive, count, dbdName, result);
    if (result != QLatin1String("OK")) continue;
    for (int j = 0; j < count && j < nodes_.DLRawNodeNames.size(); ++j) {
      const QStringList parts = FolderLevels(nodes_.DLRawNodeNames.at(j));
      if (parts.isEmpty() || parts.first().compare(drive, Qt::CaseInsensitive) != 0) continue;
      QString key = parts.first();
      QTreeWidgetItem* parent = driveNode;
      for (int k = 1; k < parts.size(); ++k) {
        key += '\\' + parts.at(k);
        QTreeWidgetItem* node = byKey_.value(key);
        if (!node) {
          node = add(parent, key, parts.at(k), false);
          if (++added % 200 == 0) {
            if (caption) caption(QStringLiteral("Corvane Building folder tree - %1 folders...").arg(added));
            platform::doEvents();
          }
        }
        parent = node;
      }
    }
  }
  root->setExpanded(true);
  if (!dbdName.isEmpty()) {
    damaged_ = damaged_ || store::isKnownDamaged(dbdName);
    store::tellDatabaseTrouble(QFileInfo(dbdName).absolutePath());
  }
  if (damaged_) {
    clear();
    auto* notice = new QTreeWidgetItem(tree_);  // first in added_: never collected as a tick
    notice->setText(0, damagedCatalogueText(dbdName));
    notice->setToolTip(0, notice->text(0));
    notice->setFlags(Qt::ItemIsEnabled);
    added_.append(notice);
  }
  building_ = false;
  return true;
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
