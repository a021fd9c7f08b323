#include "selection/FolderExclusions.h"

#include "store/Database.h"

namespace corvane::selection {

using store::DBConnection;
using store::RetryPolicy;
using store::withBusyRetry;

QStringList DBSelectExclude(const QString& filesDb) {
  return store::onDatabase(
      filesDb,
      [&](DBConnection& db) {
        store::DBRecordset rs = db.Query(QStringLiteral("Select * From Exclude"));
        QStringList out;
        for (; !rs.AtEnd(); rs.MoveNext()) out.push_back(rs.Text("Folders"));
        return out;
      },
      RetryPolicy{100, 3000});
}

int DBUpdateExcludedEntries(const QString& filesDb, const QString& piece) {
  // An empty piece would be LIKE '%%', which matches every folder.
  if (piece.isEmpty()) return 0;
  // Folder paths are stored with each "'" doubled, so the piece is matched in that form.
  const QString stored = store::toStoredText(piece);
  return store::inTransaction(filesDb, [&](DBConnection& db) {
    const int n =
        db.Execute(QStringLiteral("UPDATE Folder SET Bu = 0, BuAll = 0 WHERE Folders LIKE '%' || ? || '%'"), {stored});
    return n;
  });
}

int ExcludeFolders(const QString& filesDb) {
  int changed = 0;
  for (const QString& piece : DBSelectExclude(filesDb)) changed += DBUpdateExcludedEntries(filesDb, piece);
  return changed;
}

}  // namespace corvane::selection
