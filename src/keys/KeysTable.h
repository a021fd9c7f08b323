#pragma once
// The Keys table of Status.db: one row per computer whose backups can be restored here.
// Every column except KeyID, FileKeyE and FileKeyKey holds Blowfish (ECB) hex of the text's
// bytes under the bytes of the row's own FileKeyKey.
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

#include "store/Database.h"

namespace corvane::keys {

// The CREATE statement, kept word for word (the stored schema must match what the service knows).
extern const QString kCreateTableKeys;

// E(x): BlowfishEncryptHex(StringToHex(value), StringToHex(fileKeyKey)).
QString EncodeKeyColumn(const QString& value, const QString& fileKeyKey);
// The reverse: HexToString(BlowfishDecryptHex(column, StringToHex(fileKeyKey))).
QString DecodeKeyColumn(const QString& column, const QString& fileKeyKey);

// Creates the table (inside a transaction). Throws store::DBError.
void DBCreateTableKeys(const QString& statusDb);

// Stores one computer. Returns the new row's KeyID (an existing row with the same MachineIDE is
// replaced and the new row gets a new id); on failure shows "Cannot store key... " with the
// error's description and returns nothing. A fileKeyKey that cannot key the cipher (empty, or
// over 72 characters) is such a failure. A missing table is created first.
std::optional<qint64> DBInsertKey(const QString& statusDb, const QString& username, const QString& password,
                                  const QString& machineId, const QString& machineName, const QString& storeKey,
                                  const QString& fileKeyE, const QString& fileKeyKey, const QString& dateCreated);

// A row decoded. FileKey is the computer's catalogue key in hex (deciphered from FileKeyE);
// DateCreated is deciphered the same way and stays hex (HexToString gives the date text).
struct KeyRecord {
  QString Username;
  QString Password;
  QString MachineID;
  QString MachineName;
  QString StoreKey;
  QString FileKey;
  QString FileKeyKey;
  QString DateCreated;
};

// Reads the row with that KeyID into rec and returns true; without such a row rec keeps what it
// held. A database failure shows "Error retrieving key... " with the description.
bool DBSelectKey(const QString& statusDb, qint64 keyId, KeyRecord& rec);

// The highest KeyID into keyId (unchanged when the table is empty). A database failure shows
// "Error retrieving keyID... " with the description and returns false.
bool DBSelectLastKeyID(const QString& statusDb, qint64& keyId);

// Deletes the row. A failing delete is tried again a few times (with short waits); when it
// still fails, "Could not delete key..." is shown once and false is returned.
bool DBDeleteKey(const QString& statusDb, qint64 keyId);
constexpr int kDeleteKeyAttempts = 5;
constexpr int kDeleteKeyWaitMs = 100;

// One entry of a computer list.
struct MachineEntry {
  qint64 keyId = 0;
  QString machineName;  // decoded
  QString fileKeyKey;
};

// Where the list of computers ends: the restore page's source list stops only at a name that
// decodes empty; the keys windows also at a name that repeats an earlier one (names key their
// lists and the file names).
enum class MachineListEnd { AtEmptyName, AtEmptyOrRepeatedName };

// The computers in the order of the stored MachineNameE, up to the end the caller asks for. A
// missing table is created; any other failure gives nothing (the caller keeps its list). A busy
// Status.db is waited for as the policy says.
std::optional<QList<MachineEntry>> DBSelectAllMachineNames(const QString& statusDb,
                                                           MachineListEnd end = MachineListEnd::AtEmptyOrRepeatedName,
                                                           store::RetryPolicy policy = {});

// The decoded name of the row with that KeyID; "" when there is none. When the table has no row
// at all, this computer's key file is imported (ImportOriginalKeyFile) and "" is returned.
// A missing table is created; any other failure gives "".
QString DBSelectMachineNameByKeyID(const QString& statusDb, const QString& appFolder, qint64 keyId);

// True when a computer name can be used as part of a file name in the application folder
// (it holds no "..", "/", "\" or ":"). The empty name does not pass either.
bool IsSafeMachineName(const QString& name);

// The current date and time as text in the system's default form (key rows, exported files).
QString DefaultDateTimeText(const QDateTime& when);

}  // namespace corvane::keys
