#pragma once
// Fetching another computer's catalogue from the backup server. The database chain gives the
// catalogue copy <name>Files.db the restore page shows; the text chain gives Files.txt, which
// is imported into the download catalogue <name>Download.db. Both files come under two
// Blowfish layers: the session key outside, the computer's file key inside.
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

#include "restore/CatalogueDownload.h"

namespace corvane::keys {
class EncryptionSession;
}

namespace corvane::restore {

// File names in the application folder.
inline const QString kDownloadedDbFile = QStringLiteral("FilesEE.db.ZIP");
inline const QString kInnerDbFile = QStringLiteral("FilesE.db");
inline const QString kTempTextFile = QStringLiteral("temp.tmp");
inline const QString kInnerTextFile = QStringLiteral("FilesE.txt");
inline const QString kTextCatalogueFile = QStringLiteral("Files.txt");
inline QString catalogueCopyName(const QString& machineName) { return machineName + QStringLiteral("Files.db"); }
inline QString catalogueZipName(const QString& machineName) { return machineName + QStringLiteral("FilesE.db.ZIP"); }
inline QString downloadDatabaseName(const QString& machineName) { return machineName + QStringLiteral("Download.db"); }

struct FetchContext {
  QString appFolder;  // native
  QString statusDb;
  keys::EncryptionSession* session = nullptr;  // the main window's session, renewed when stale
  CaptionFn mainCaption;                       // the main window's caption
  CaptionFn ownCaption;                        // the caption of the window that runs the chain
  std::function<QDateTime()> clock;            // now; the system clock when empty
};

// The database chain for one computer: session, download of fullPath ("FilesE.db"), session
// layer off, unzip, file-key layer off into <name>Files.db. Returns "OK" when the whole
// chain succeeded; otherwise the failure was shown and the result is not "OK". A failed
// chain keeps the previous catalogue copy; so does a file key that decrypts without an error
// but gives no catalogue database (the file-key failure, code 5).
QString DownloadDatabaseCatalogue(const FetchContext& ctx, const QString& fileKey, const QString& machineId,
                                  const QString& machineName, const QString& fullPath = kInnerDbFile);

// True when the file opens as an SQLite database holding a File table with the columns of a
// catalogue that stores its columns (not a view, a virtual table or a table with generated
// columns, whose reads could compute without end).
bool IsCatalogueDatabase(const QString& path);

// The text chain: session, download of fullPath ("Files.txt") into temp.tmp, both layers off
// into Files.txt. "OK" on success.
QString DownloadTextCatalogue(const FetchContext& ctx, const QString& fileKey, const QString& machineId,
                              const QString& fullPath = kTextCatalogueFile);

// The restore page's synchronise for one computer: reads its key, runs the database chain,
// stores "DIdentity" = keyId. On failure shows "Directory Download Failed..." and returns
// nullopt; on success the computer's name as stored in the key table.
std::optional<QString> DownloadDirectoryFile(const FetchContext& ctx, const QString& machineName, qint64 keyId);

// Expands an archive into folder (entries' own folders dropped). A failure shows the unzip's
// messages and returns its non-zero code.
int UnzipFile(const QString& archive, const QString& folder);

// Deletes and re-creates <name>Download.db with an empty File table and its five indexes.
// A failing statement shows its description; returns the path on success.
std::optional<QString> DBCreateDatabaseDownload(const QString& appFolder, const QString& machineName);

// One line of Files.txt as a File row: folder without trailing backslash (the bare drive for
// a file in a drive's root), name with its dot, extension. nullopt for a line that is not a
// file of a catalogue folder.
struct CatalogueFile {
  QString folder, fileName, extension;
};
std::optional<CatalogueFile> ParseCatalogueFileLine(const QString& line);
// A name split at its last dot: {"a.", "txt"}; without a dot {"", name}.
QPair<QString, QString> SplitFileName(const QString& name);

// Imports Files.txt (application folder) into the download catalogue dbdName: folder lines
// ("...", code "000") set the current folder, a line with a code above 0 on the current
// folder is skipped, every other line is a file. Rows go in as uploaded, size -1, in
// transactions of many rows; progress in caption with pending events run. Returns the rows
// inserted, nullopt when the file or database could not be used (shown).
std::optional<int> ImportFileToFileDB(const QString& appFolder, const QString& dbdName, const CaptionFn& caption,
                                      const QDateTime& now);

// Makes <name>Download.db anew from Files.txt (DBCreateDatabaseDownload, then ImportFileToFileDB),
// filled beside the old one, which it replaces in one rename only once the import went through.
// The rows inserted; nullopt on failure (shown), the old download catalogue then as it was.
std::optional<int> ImportDownloadCatalogue(const QString& appFolder, const QString& machineName,
                                           const CaptionFn& caption, const QDateTime& now);

}  // namespace corvane::restore
