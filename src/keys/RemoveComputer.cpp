#include "keys/RemoveComputer.h"

#include <QDir>
#include <QFile>

#include "keys/KeysTable.h"
#include "keys/RestorePageSeam.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"

namespace corvane::keys {

RemoveOutcome RemoveComputers(const QString& statusDb, const QString& appFolder,
                              const QList<ComputerToRemove>& computers, RestorePageSeam* restore) {
  RemoveOutcome outcome;
  for (const ComputerToRemove& c : computers) {
    if (!DBDeleteKey(statusDb, c.keyId)) continue;
    outcome.removed.append(c.keyId);
    if (restore) restore->RemoveSourceEntry(c.keyId);
    // A name that would reach outside the application folder never names a file to delete.
    if (!IsSafeMachineName(c.machineName)) continue;
    const QString path = platform::joinPath(appFolder, c.machineName + "Download.db");
    if (QFile::exists(path) && !QFile::remove(path)) outcome.filesNotDeleted.append(QDir::toNativeSeparators(path));
  }
  if (!outcome.filesNotDeleted.isEmpty())
    platform::showMessage((outcome.filesNotDeleted.size() == 1
                               ? QStringLiteral("Computer removed, but this file could not be deleted:\n")
                               : QStringLiteral("Computers removed, but these files could not be deleted:\n")) +
                          outcome.filesNotDeleted.join('\n'));
  return outcome;
}

}  // namespace corvane::keys
