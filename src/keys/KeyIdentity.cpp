#include "keys/KeyIdentity.h"

#include "keys/KeyFiles.h"
#include "keys/KeysTable.h"
#include "platform/AppFolder.h"
#include "store/DatabasePaths.h"

namespace corvane::keys {

KeyIdentity::KeyIdentity(QString statusDb, QString appFolder)
    : statusDb_(std::move(statusDb)), appFolder_(std::move(appFolder)) {
  if (appFolder_.isEmpty()) appFolder_ = platform::appPaths().appFolder;
  if (statusDb_.isEmpty()) statusDb_ = store::DatabasePaths::forAppFolder(appFolder_).statusDb;
}

QString KeyIdentity::DBSelectMachineNameByKeyID(qint64 keyId) {
  return keys::DBSelectMachineNameByKeyID(statusDb_, appFolder_, keyId);
}

qint64 KeyIdentity::DBSelectLastKeyID() {
  qint64 id = 0;
  keys::DBSelectLastKeyID(statusDb_, id);
  return id;
}

// Always imported, even into a table that holds other computers: the identity step takes the
// newest KeyID as this computer's, so this computer's row must be the newest one. An own row
// that is already stored is replaced under a new id.
void KeyIdentity::ImportOriginalKeyFile() { keys::ImportOriginalKeyFile(statusDb_, appFolder_); }

}  // namespace corvane::keys
