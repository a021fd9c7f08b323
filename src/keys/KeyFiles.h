#pragma once
// Keys as small XML files: this computer's own key file that the installation leaves in the
// application folder (config/sysinfo.xml, root UserInfo with UserName, Password,
// AccountNumber, MachineName, StoreKey, Clkey, Clkeykey), and the exported key files
// (Config/<name>Sysinfo.xml, root UserInfo with UserName, Password, MachineID, MachineName,
// StoreKey, FileKey, FileKeyKey, FullScanDT).
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane::keys {

// The installation's key file: <appFolder>/config/sysinfo.xml, the folder and file names
// matched without regard to case; an application folder inside the development tree
// ("ExeSource/CorvaneUI") loses that part. "" when there is no such file.
QString OriginalKeyFilePath(const QString& appFolder);

// Imports this computer's key file into the Keys table. Returns the new KeyID; nothing when
// the file is missing, not well-formed, lacks an element, names a computer that cannot be
// used as a file name, or the insert fails (which shows its own message).
std::optional<qint64> ImportOriginalKeyFile(const QString& statusDb, const QString& appFolder);

enum class SaveKeyResult { Written, NoCredentials, UnsafeName, WriteFailed };

// Writes <configFolder>/<machineName>Sysinfo.xml (no XML declaration; the folder is made when
// missing, 0700: it holds passwords). fileKey is the computer's file key in hex. Nothing is
// written without a user name and a password, or for a name that would leave the folder. On
// WriteFailed *error says why.
SaveKeyResult SaveKeyFile(const QString& configFolder, const QString& username, const QString& password,
                          const QString& machineId, const QString& machineName, const QString& storeKey,
                          const QString& fileKey, const QString& fileKeyKey, const QDateTime& now,
                          QString* error = nullptr);

struct ExportOutcome {
  QStringList exported;  // names whose file was written, in list order
  QStringList skipped;   // "<name> (reason)" for the checked computers that were not written
};

// Exports the given computers (their KeyIDs in list order), then tells the user which files
// were written and which were not; with no id at all it asks for one to be checked.
ExportOutcome ExportKeyFile(const QString& statusDb, const QString& configFolder, const QList<qint64>& keyIds,
                            const QDateTime& now);

// Loads a key file the user picked (the exported form, or the installation's form) into the
// Keys table. Returns the new KeyID; on failure shows why and returns nothing.
std::optional<qint64> ImportKeyFile(const QString& statusDb, const QString& path);

}  // namespace corvane::keys
