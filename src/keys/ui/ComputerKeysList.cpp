#include "keys/ui/ComputerKeysList.h"

#include <QHeaderView>
#include <QTreeWidget>

#include "platform/Wait.h"

namespace corvane::keys::ui {

QTreeWidget* makeComputerKeysList(QWidget* parent) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName("LstComputerKeys");
  list->setColumnCount(2);
  list->setHeaderLabels({QStringLiteral("Key"), QStringLiteral("Computer Name")});
  list->setRootIsDecorated(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->header()->setStretchLastSection(true);
  list->setColumnWidth(0, 60);
  return list;
}

void fillComputerKeysList(QTreeWidget* list, const QString& statusDb) {
  const auto entries = DBSelectAllMachineNames(statusDb);
  if (entries) {
    list->clear();
    for (const MachineEntry& e : *entries) {
      auto* item = new QTreeWidgetItem(list);
      item->setText(0, QString::number(e.keyId));
      item->setData(0, Qt::UserRole, e.machineName);
      item->setText(1, e.machineName);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, Qt::Unchecked);
    }
  }
  list->viewport()->update();
  platform::doEvents();
}

QList<ComputerToRemove> checkedComputers(const QTreeWidget* list) {
  QList<ComputerToRemove> out;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    if (item->checkState(0) != Qt::Checked) continue;
    out.append({item->text(0).toLongLong(), item->data(0, Qt::UserRole).toString()});
  }
  return out;
}

}  // namespace corvane::keys::ui
