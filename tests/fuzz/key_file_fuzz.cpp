// Key files: this computer's key file that the installation leaves (config/sysinfo.xml) and a
// key file the user picks (the exported form or the installation's), read into the Keys table,
// read back and exported again.
#include <QDateTime>
#include <QFile>

#include "fuzz/FuzzSupport.h"
#include "keys/KeyFiles.h"
#include "keys/KeysTable.h"
#include "store/DatabasePaths.h"

using namespace corvane;

namespace {

// What was stored reads back as a computer whose name can name its files, and exports into
// the Config folder.
void checkStored(const platform::AppPaths& app, const QString& statusDb, std::optional<qint64> keyId) {
  if (!keyId) return;
  keys::KeyRecord rec;
  fuzz::expect(keys::DBSelectKey(statusDb, *keyId, rec), "a stored key does not read back");
  fuzz::expect(keys::IsSafeMachineName(rec.MachineName), "a stored computer name cannot name a file");
  keys::DBSelectAllMachineNames(statusDb);
  const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 5));
  if (keys::SaveKeyFile(app.configFolderPath, rec.Username, rec.Password, rec.MachineID, rec.MachineName,
                        rec.StoreKey, rec.FileKey, rec.FileKeyKey, when) == keys::SaveKeyResult::Written) {
    const QString exported = platform::joinPath(app.configFolderPath, rec.MachineName + "Sysinfo.xml");
    fuzz::expect(QFile::exists(exported), "an exported key file is not in the Config folder");
    QFile::remove(exported);
  }
  keys::DBDeleteKey(statusDb, *keyId);
}

}  // namespace

CORVANE_FUZZ_TARGET(key_file) {
  const platform::AppPaths& app = fuzz::scratchApp();
  const QString statusDb = store::DatabasePaths::forAppFolder(app.appFolder).statusDb;
  const QByteArray content = fuzz::bytesOf(data, size);

  const QString picked = platform::joinPath(app.appFolder, QStringLiteral("picked.xml"));
  fuzz::writeFile(picked, content);
  checkStored(app, statusDb, keys::ImportKeyFile(statusDb, picked));

  const QString original = platform::joinPath(app.configFolderPath, QStringLiteral("sysinfo.xml"));
  fuzz::writeFile(original, content);
  checkStored(app, statusDb, keys::ImportOriginalKeyFile(statusDb, app.appFolder));
  QFile::remove(original);
  return 0;
}
