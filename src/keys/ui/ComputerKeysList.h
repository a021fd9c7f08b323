#pragma once
// The LstComputerKeys list of the key windows: one checkable item per Keys row, the item's text
// is its KeyID (column 0), its key (Qt::UserRole) and first sub-item (column 1) the machine name.
#include <QList>
#include <QString>

#include "keys/KeysTable.h"
#include "keys/RemoveComputer.h"

class QTreeWidget;
class QWidget;

namespace corvane::keys::ui {

QTreeWidget* makeComputerKeysList(QWidget* parent);

// Refills the list from the Keys table; when the table cannot be read the list keeps what it
// showed. Pending window events are processed afterwards.
void fillComputerKeysList(QTreeWidget* list, const QString& statusDb);

// The checked items, first to last.
QList<ComputerToRemove> checkedComputers(const QTreeWidget* list);

}  // namespace corvane::keys::ui
