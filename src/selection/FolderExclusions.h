#pragma once
// Folders never to be backed up: pieces of paths in the Exclude table of Files.db. Applying
// the list clears both flags of every Folder row whose path holds one of the pieces.
#include <QString>
#include <QStringList>

namespace corvane::store {
class DBConnection;
}

namespace corvane::selection {

// The Folders values of Exclude in the order read (empty when the table has no rows).
QStringList DBSelectExclude(const QString& filesDb);

// Clears Bu and BuAll of every folder whose path holds the piece (the database's LIKE: ASCII
// letters in any case, "%" and "_" act as wildcards). An empty piece changes nothing.
// Returns the number of folders whose flags it cleared.
int DBUpdateExcludedEntries(const QString& filesDb, const QString& piece);

// Reads the list afresh and applies every entry, in one transaction. Returns the number of
// folders whose flags it cleared. The second form works through a connection the caller holds
// (inside its transaction).
int ExcludeFolders(const QString& filesDb);
int ExcludeFolders(store::DBConnection& db);

}  // namespace corvane::selection
