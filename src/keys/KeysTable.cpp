#include "keys/KeysTable.h"

#include <QLocale>
#include <QSet>

#include "keys/Blowfish.h"
#include "keys/HexConvert.h"
#include "keys/KeyFiles.h"
#include "platform/Messages.h"
#include "platform/Wait.h"
#include "store/Database.h"

namespace corvane::keys {

using store::DBCommand;
using store::DBConnection;
using store::DBError;
using store::DBRecordset;

const QString kCreateTableKeys = QStringLiteral(
    "Create Table Keys (KeyID INTEGER Primary Key AUTOINCREMENT, UsernameE TEXT, PasswordE TEXT, MachineIDE "
    "TEXT,MachineNameE TEXT,StoreKeyE TEXT, FileKeyE TEXT, FileKeyKey TEXT, DateCreatedE TEXT, CONSTRAINT "
    "[MachineIDEMatch] UNIQUE(MachineIDE) ON CONFLICT Replace)");

namespace {

// Runs the work; when it fails because the table does not exist yet, creates the table and
// runs it once more. Busy databases are retried within the store's bounded policy.
template <class Work>
void withKeysTable(const QString& statusDb, Work&& work, store::RetryPolicy policy = {}) {
  store::withCreatedTable(
      QStringLiteral("Keys"), [&] { store::withBusyRetry(work, policy); },
      [&] { store::withBusyRetry([&] { DBCreateTableKeys(statusDb); }, policy); });
}

}  // namespace

QString EncodeKeyColumn(const QString& value, const QString& fileKeyKey) {
  return BlowfishEncryptHex(StringToHex(value), StringToHex(fileKeyKey), QString());
}

QString DecodeKeyColumn(const QString& column, const QString& fileKeyKey) {
  return HexToString(BlowfishDecryptHex(column, StringToHex(fileKeyKey), QString()));
}

void DBCreateTableKeys(const QString& statusDb) {
  DBConnection c;
  c.Open(statusDb);
  c.TransactionSwitch = false;
  c.BeginTransaction();
  c.Execute(kCreateTableKeys);
  c.Commit();
  c.TransactionSwitch = true;
}

std::optional<qint64> DBInsertKey(const QString& statusDb, const QString& username, const QString& password,
                                  const QString& machineId, const QString& machineName, const QString& storeKey,
                                  const QString& fileKeyE, const QString& fileKeyKey, const QString& dateCreated) {
  // Every column but the file key is enciphered under FileKeyKey. A text that cannot key the
  // cipher (empty, or longer than its 72 bytes) would enter a row of empty columns that no one
  // can read back, reported as stored.
  if (EncodeKeyColumn(QString(), fileKeyKey).isEmpty()) {
    platform::showMessage(QStringLiteral("Cannot store key... the key's own key (FileKeyKey) must be 1 to 72 characters"));
    return std::nullopt;
  }
  qint64 newId = 0;
  try {
    withKeysTable(statusDb, [&] {
      DBConnection c;
      c.Open(statusDb);
      DBCommand cmd = c.Prepare("Insert Into Keys Values(?,?,?,?,?,?,?,?,?)");
      c.TransactionSwitch = false;
      c.BeginTransaction();
      cmd.BindText(2, EncodeKeyColumn(username, fileKeyKey));
      cmd.BindText(3, EncodeKeyColumn(password, fileKeyKey));
      cmd.BindText(4, EncodeKeyColumn(machineId, fileKeyKey));
      cmd.BindText(5, EncodeKeyColumn(machineName, fileKeyKey));
      cmd.BindText(6, EncodeKeyColumn(storeKey, fileKeyKey));
      cmd.BindText(7, fileKeyE);
      cmd.BindText(8, fileKeyKey);
      cmd.BindText(9, EncodeKeyColumn(dateCreated, fileKeyKey));
      cmd.Execute();
      newId = c.LastInsertRowId();
      c.Commit();
      c.TransactionSwitch = true;
    });
  } catch (const DBError& e) {
    platform::showMessage("Cannot store key... " + e.description());
    return std::nullopt;
  }
  return newId;
}

bool DBSelectKey(const QString& statusDb, qint64 keyId, KeyRecord& rec) {
  bool found = false;
  try {
    store::onDatabase(statusDb, [&](DBConnection& c) {
      DBRecordset rs = c.Query("SELECT * FROM Keys WHERE KeyID = ?", {keyId});
      if (rs.RowCount() < 1) return;
      const QString fkk = rs.Text("FileKeyKey");
      const QString k = StringToHex(fkk);
      rec.FileKeyKey = fkk;
      rec.Username = DecodeKeyColumn(rs.Text("UserNameE"), fkk);
      rec.Password = DecodeKeyColumn(rs.Text("PasswordE"), fkk);
      rec.MachineID = DecodeKeyColumn(rs.Text("MachineIDE"), fkk);
      rec.MachineName = DecodeKeyColumn(rs.Text("MachineNameE"), fkk);
      rec.StoreKey = DecodeKeyColumn(rs.Text("StoreKeyE"), fkk);
      rec.FileKey = BlowfishDecryptHex(rs.Text("FileKeyE"), k, QString());
      rec.DateCreated = BlowfishDecryptHex(rs.Text("DateCreatedE"), k, QString());
      found = true;
    });
  } catch (const DBError& e) {
    platform::showMessage("Error retrieving key... " + e.description());
    return false;
  }
  return found;
}

bool DBSelectLastKeyID(const QString& statusDb, qint64& keyId) {
  try {
    store::onDatabase(statusDb, [&](DBConnection& c) {
      DBRecordset rs = c.Query("SELECT KeyID FROM Keys ORDER BY KeyID DESC LIMIT 1");
      if (rs.RowCount() >= 1) keyId = rs.Long("KeyID");
    });
  } catch (const DBError& e) {
    platform::showMessage("Error retrieving keyID... " + e.description());
    return false;
  }
  return true;
}

bool DBDeleteKey(const QString& statusDb, qint64 keyId) {
  for (int attempt = 1; attempt <= kDeleteKeyAttempts; ++attempt) {
    try {
      DBConnection c;
      c.Open(statusDb);
      c.TransactionSwitch = false;
      c.BeginTransaction();
      c.Execute("Delete from Keys WHERE keyid = ?", {keyId});
      c.Commit();
      c.TransactionSwitch = true;
      return true;
    } catch (const DBError&) {
      if (attempt < kDeleteKeyAttempts) platform::waitMs(kDeleteKeyWaitMs);
    }
  }
  platform::showMessage("Could not delete key...");
  return false;
}

std::optional<QList<MachineEntry>> DBSelectAllMachineNames(const QString& statusDb, MachineListEnd end,
                                                           store::RetryPolicy policy) {
  QList<MachineEntry> entries;
  try {
    withKeysTable(statusDb, [&] {
      entries.clear();
      DBConnection c;
      c.Open(statusDb);
      DBRecordset rs = c.Query("Select * From Keys ORDER by MachineNameE");
      QSet<QString> seen;
      for (int i = 0; i < rs.RowCount(); ++i, rs.MoveNext()) {
        MachineEntry e;
        e.fileKeyKey = rs.Text("FileKeyKey");
        e.machineName = DecodeKeyColumn(rs.Text("MachineNameE"), e.fileKeyKey);
        e.keyId = rs.Long("KeyID");
        if (e.machineName.isEmpty()) break;
        if (end == MachineListEnd::AtEmptyOrRepeatedName && seen.contains(e.machineName)) break;
        seen.insert(e.machineName);
        entries.append(e);
      }
    }, policy);
  } catch (const DBError& e) {
    store::setLastSwallowedError(e.description());
    return std::nullopt;
  }
  return entries;
}

QString DBSelectMachineNameByKeyID(const QString& statusDb, const QString& appFolder, qint64 keyId) {
  QString name;
  bool tableEmpty = false;
  try {
    withKeysTable(statusDb, [&] {
      DBConnection c;
      c.Open(statusDb);
      DBRecordset rs = c.Query("Select KeyID, MachineNameE, FileKeyKey From Keys WHERE KeyID = ?", {keyId});
      if (rs.RowCount() >= 1) {
        name = DecodeKeyColumn(rs.Text("MachineNameE"), rs.Text("FileKeyKey"));
        return;
      }
      tableEmpty = c.Query("Select KeyID From Keys LIMIT 1").RowCount() == 0;
    });
  } catch (const DBError& e) {
    store::setLastSwallowedError(e.description());
    return QString();
  }
  if (tableEmpty) ImportOriginalKeyFile(statusDb, appFolder);
  return name;
}

bool IsSafeMachineName(const QString& name) {
  if (name.trimmed().isEmpty()) return false;
  return !name.contains(QLatin1String("..")) && !name.contains('/') && !name.contains('\\') && !name.contains(':');
}

QString DefaultDateTimeText(const QDateTime& when) {
  const QLocale locale = QLocale::system();
  return locale.toString(when.date(), QLocale::ShortFormat) + ' ' + when.time().toString("HH:mm:ss");
}

}  // namespace corvane::keys
