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

// The lookup above already imports the key file into an empty table; importing again would
// only replace that row under a new id.
void KeyIdentity::ImportOriginalKeyFile() {
  if (DBSelectLastKeyID() == 0) keys::ImportOriginalKeyFile(statusDb_, appFolder_);
}

}  // namespace corvane::keys
