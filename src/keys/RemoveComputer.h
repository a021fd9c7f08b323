#pragma once
// Forgetting computers: their Keys row, their entry in the restore page's list of sources and
// their download database (<name>Download.db). Their catalogue copy (<name>Files.db) stays.
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane::keys {

class RestorePageSeam;

struct ComputerToRemove {
  qint64 keyId = 0;
  QString machineName;
};

struct RemoveOutcome {
  QList<qint64> removed;        // rows deleted
  QStringList filesNotDeleted;  // download databases that exist but could not be deleted
};

// For each computer in order: delete the row (a failed delete is reported by DBDeleteKey and
// that computer is left as it is), remove its restore-page entry, delete its download
// database when it exists. Files that could not be deleted are reported in one message.
RemoveOutcome RemoveComputers(const QString& statusDb, const QString& appFolder,
                              const QList<ComputerToRemove>& computers, RestorePageSeam* restore);

}  // namespace corvane::keys
