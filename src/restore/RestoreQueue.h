#pragma once
// What the restore actions do with the ticked files: queue them for restore (tempDFile),
// mark them for a new upload (verify), or write them anew and ask the server to delete them.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "restore/RestoreCatalogue.h"
#include "store/FileTables.h"

namespace corvane::keys {
class EncryptionSession;
}

namespace corvane::restore {

// The queue row of a record: its texts, the size as a number, the dates read back from their
// "YYYY-MM-DD HH-NN-SS" text. false for a record whose folder or name could lead a restore
// outside its destination (such records are not queued).
std::optional<store::TempDFileRow> TempDFileRowOf(const UploadedFileRecord& r);

// Progress of queueing: the rows made ready so far.
using QueueProgress = std::function<void(int rowsReady)>;

// Queues the records, in order, one tempDFile row each, all in one transaction: the queue gets
// every row or (on a database failure, which is shown) none. Records with unsafe paths are
// skipped, and so is a file the queue holds already or that came earlier in the list: the
// service restores each file once. The rows are made ready first, with progress every
// thousand rows and pending events run, so the write lock is held only for the writing.
// Returns the rows written.
int QueueRecords(const QString& filesDb, const QList<UploadedFileRecord>& records, const QueueProgress& progress = {});

// What a restore would queue, gathered before anything is written: the chosen files in order,
// and what the user ticked that gave none.
struct RestoreChoice {
  QList<UploadedFileRecord> files;
  bool anythingTicked = false;       // a file or folder was ticked, or a path added
  QStringList foldersWithoutFiles;   // ticked folders whose files all lie in sub-folders
  bool catalogueBusy = false;        // a ticked folder could not be read: the choice is not whole
  QString damagedCatalogue;          // the catalogue the folders were to be read from is damaged: no files

  void append(const RestoreChoice& other);
};

// The uploaded files lying directly in each ticked folder, folder by folder in the order given.
// None from a catalogue known to be damaged, before the reads or through them.
RestoreChoice FilesOfFolders(const QString& catalogue, const QStringList& folders);

// The choice, unless files in it come from a catalogue found damaged since a list read them (its
// folder tree, a chooser or a look-through met the damage): then none of them, and the damage as
// the reason.
RestoreChoice UnlessDamaged(RestoreChoice choice, const QString& catalogue);

// Why the choice cannot be restored as it stands, for the user; "" when its files can be
// queued. Nothing ticked at all is a reason only when nothingTickedIsAReason.
QString NothingToRestoreText(const RestoreChoice& choice, bool nothingTickedIsAReason);

// Progress of queueing as a caption: "Corvane Queueing files for restore - " n " files...".
QueueProgress QueueCaption(std::function<void(const QString&)> caption);

// Empties the restore queue; a database failure is shown and gives false.
bool EmptyRestoreQueue(const QString& filesDb);

// Makes sure a "DownloadAbort" row exists (adding it as "0"), then sets it to "1".
void SignalDownloadAbort(const QString& statusDb, const QDateTime& now);

// The native path of a catalogue file on this computer (folder + "\" + name + extension).
std::optional<QString> LocalPathOf(const UploadedFileRecord& r);

enum class ActionView { Files, Folders };

// How a Verify or a Delete ended: the records handled, and whether it stopped at a record whose
// file is not here (a database failure that ended it has been told already).
struct MarkResult {
  int handled = 0;
  bool stoppedAtMissingFile = false;
};

// Verify: each record's row becomes not uploaded and loses its hashes, so the service uploads
// and checks it again. In file view a record whose file is missing here stops the run, and
// the records handled set "DownloadAbort" (see SignalDownloadAbort). The rows are written many
// to a transaction on a thread of their own with the window painting; progress is told the
// records done.
MarkResult ValidateRecords(const QString& filesDb, const QString& statusDb, const QList<UploadedFileRecord>& records,
                           ActionView view, const QDateTime& now, const QueueProgress& progress = {});

// Delete: each record's row is written anew (not uploaded, size of the file here), its hashes
// go, "DownloadAbort" is signalled; a missing file stops the run. The size is the file's size
// here (file view) or the record's (folder view). Written as Verify writes.
MarkResult RewriteRecordsForDelete(const QString& filesDb, const QString& statusDb,
                                   const QList<UploadedFileRecord>& records, ActionView view, const QDateTime& now,
                                   const QueueProgress& progress = {});
// The delete request that follows: one ReceiveMessage with empty fields. Returns the reply.
QString SendDeleteRequest(const keys::EncryptionSession& session);

}  // namespace corvane::restore
