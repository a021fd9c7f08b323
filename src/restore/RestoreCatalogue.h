#pragma once
// The catalogue side of the restore page: the uploaded files of a catalogue database as
// records, which catalogue belongs to the chosen computer, the statistics line, the prefix
// filters, and the write-back of this computer's catalogue into Files.db.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

#include "store/Database.h"

namespace corvane::restore {

// One uploaded file of a catalogue as the restore views hold it (text fields plain: the
// stored doubled quotes are undone).
struct UploadedFileRecord {
  double Index = 0;
  QString Folder;
  QString FileName;  // with its trailing dot
  QString Extension; // without dot
  QString FileSize;
  QString DateCreated;       // "YYYY-MM-DD HH-NN-SS"
  QString DateLastModified;
  QString DateUploaded;
};

}  // namespace corvane::restore

// Texts and a number only: the array may grow by moving its bytes.
Q_DECLARE_TYPEINFO(corvane::restore::UploadedFileRecord, Q_RELOCATABLE_TYPE);

namespace corvane::restore {

// The growable record array: entries 0..n-1 filled, plus one spare empty entry at the end.
using UploadedFileRecords = QVector<UploadedFileRecord>;
inline UploadedFileRecords freshRecords() { return UploadedFileRecords(1); }
// The filled entries (every entry but the spare last one).
inline qsizetype filledCount(const UploadedFileRecords& r) { return r.isEmpty() ? 0 : r.size() - 1; }

// "YYYY-MM-DD HH-NN-SS" and back ("2010-09-27 14-05-09"); invalid for a text of another form.
QString recordDateText(const QDateTime& d);
QDateTime recordDateFromText(const QString& text);

using ProgressFn = std::function<void(const QString&)>;

// Progress of a long read: called every few thousand rows with the rows read so far; false
// stops the read.
using ReadProgress = std::function<bool(qint64 rowsRead)>;

// The uploaded rows of a catalogue, newest modification first. No row, a database error or a
// read stopped by progress: records stay as passed (0 is returned). Otherwise records are
// replaced (n entries and the spare one) and n is returned. A busy database is retried for a
// bounded time.
int DBSelectAllUploadedFiles(const QString& dbdName, UploadedFileRecords& records,
                             const ReadProgress& progress = {});

// The same read on a thread of its own: this thread runs waiting at once and then every few
// tens of milliseconds with the rows read so far (so the window answers meanwhile; the database
// sorts a large catalogue before its first row, which no step of this thread could break up).
// waiting returning false gives the read up at once (the database's own sort included): the
// records stay as passed and 0 is returned. busy, when given, tells a read that failed because
// the database stayed busy past the bounded wait (the records then stay as passed too).
int DBSelectAllUploadedFilesAside(const QString& dbdName, UploadedFileRecords& records, const ReadProgress& waiting,
                                  bool* busy = nullptr);

// The uploaded files of one folder (Folder exactly equal). Returns the count; 0 leaves the
// records as passed (busy, when given, tells a catalogue that stayed busy from one without such
// files).
int DBSelectUploadedFiles(const QString& dbdName, const QString& folder, UploadedFileRecords& records,
                          bool* busy = nullptr);

// The catalogue's drive letters followed by ":" (at most 21, in result order); nullopt on a
// database error.
std::optional<QStringList> DBSelectDrives(const QString& dbdName);
// The same on an open connection; a database error is thrown.
QStringList DBSelectDrives(store::DBConnection& c);

// Marks every uploaded row of Files.db as not uploaded. On failure shows
// "Could not delete all uploaded file entries..." and returns false.
bool DBUpdateAllUploadedFiles(const QString& filesDb);

// Copies every File row of sourceDb into destDb as uploaded and unfiltered, DateUploaded =
// DateLastModified, in one transaction; progress every 100 rows through caption (and pending
// events run). On failure shows "Restore directory failed..." and nothing is committed.
bool DBInsertFileEntries(const QString& sourceDb, const QString& destDb, const ProgressFn& caption);

// This computer's fetched catalogue written back into Files.db: every catalogue row is copied
// in (as DBInsertFileEntries) and every other row that was uploaded becomes not uploaded. The
// copy goes in transactions of many rows with the window answering between them, and the
// marking comes last, so the service is never kept waiting long. A catalogue that cannot be
// read leaves Files.db unchanged; a copy that fails part way keeps the rows written so far
// (the server's own figures) and marks none. The failure is shown as the step that failed says.
bool DBWriteBackCatalogue(const QString& sourceDb, const QString& filesDb, const ProgressFn& caption);

// Sets Uploaded of one Files.db row (values bound, text in its stored form). Throws store::DBError.
void DBUpdateFileUploaded(const QString& filesDb, const QString& folder, const QString& fileName,
                          const QString& extension, const QString& uploaded);
// The same on an open connection, inside the caller's transaction.
void DBUpdateFileUploaded(store::DBConnection& c, const QString& folder, const QString& fileName,
                          const QString& extension, const QString& uploaded);

// Statistics line: count, " Files, ", the size total in KBytes/MBytes/GBytes as "###,###.0".
QString StatsLine(double fileCount, double totalBytes);

// Case-insensitive prefix match of the filters (an empty prefix matches everything).
bool MatchesPrefix(const QString& value, const QString& prefix);

// Whether the computer chosen for restore is this one ("Identity" = "DIdentity" as texts, a
// missing row reading as ""). A Status.db that cannot be read (busy past the policy, damaged)
// throws store::DBError: two failed reads are no proof that the two settings are equal.
bool ThisComputerChosen(const QString& statusDb, store::RetryPolicy policy = {});
// The same, false when the settings cannot be read (so that nothing acts on Files.db then).
bool IsThisComputer(const QString& statusDb, store::RetryPolicy policy = {});

// Where a computer's catalogue lies. This computer: Files.db; another computer:
// <appFolder>/<name> + suffix ("Files.db" for the page's catalogue copy, "Download.db" for the
// text catalogue). nullopt when the name cannot be part of a file name. Settings that cannot
// be read throw store::DBError (as ThisComputerChosen).
std::optional<QString> CatalogueDatabase(const QString& statusDb, const QString& filesDb, const QString& appFolder,
                                         const QString& machineName, const QString& suffix,
                                         store::RetryPolicy policy = {});

// Pieces of a catalogue folder path for the tree: "C:\a\b\" gives {"C:", "a", "b"}.
QStringList FolderLevels(const QString& pathWithBackslash);

// A Windows-form path of a catalogue that stays below its drive: a drive letter and colon,
// then pieces none of which is "." or ".." (so a restore cannot write outside its destination).
bool IsSafeCataloguePath(const QString& folder);
// A file name part (name or extension) without separators or a ".." piece.
bool IsSafeNamePart(const QString& part);

}  // namespace corvane::restore
