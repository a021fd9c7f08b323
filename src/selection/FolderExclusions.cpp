#include "selection/FolderExclusions.h"

#include "store/Database.h"

namespace corvane::selection {

using store::DBConnection;
using store::RetryPolicy;

namespace {

// One statement holds this many pieces at most (SQLite bounds the depth of an expression).
constexpr int kPiecesPerStatement = 100;

// Clears the flags of the folders whose path holds one of the pieces, in one pass over Folder
// for up to kPiecesPerStatement pieces. Folders already cleared are not rewritten (the end is
// the same), so applying the list after every tick writes only what changes.
int clearMatching(DBConnection& db, const QStringList& pieces) {
  QStringList likes;
  QVariantList params;
  for (const QString& piece : pieces) {
    // An empty piece would be LIKE '%%', which matches every folder.
    if (piece.isEmpty()) continue;
    likes << QStringLiteral("Folders LIKE '%' || ? || '%'");
    // Folder paths are stored with each "'" doubled, so the piece is matched in that form.
    params << store::toStoredText(piece);
  }
  if (likes.isEmpty()) return 0;
  return db.Execute(QStringLiteral("UPDATE Folder SET Bu = 0, BuAll = 0 WHERE (Bu IS NOT 0 OR BuAll IS NOT 0) AND (") +
                        likes.join(QStringLiteral(" OR ")) + ')',
                    params);
}

QStringList selectExclude(DBConnection& db) {
  store::DBRecordset rs = db.Query(QStringLiteral("Select * From Exclude"));
  QStringList out;
  for (; !rs.AtEnd(); rs.MoveNext()) out.push_back(rs.Text("Folders"));
  return out;
}

}  // namespace

QStringList DBSelectExclude(const QString& filesDb) {
  return store::onDatabase(filesDb, [&](DBConnection& db) { return selectExclude(db); }, RetryPolicy{100, 3000});
}

int DBUpdateExcludedEntries(const QString& filesDb, const QString& piece) {
  return store::inTransaction(filesDb, [&](DBConnection& db) { return clearMatching(db, {piece}); });
}

int ExcludeFolders(DBConnection& db) {
  const QStringList pieces = selectExclude(db);
  int changed = 0;
  for (qsizetype i = 0; i < pieces.size(); i += kPiecesPerStatement)
    changed += clearMatching(db, pieces.mid(i, kPiecesPerStatement));
  return changed;
}

int ExcludeFolders(const QString& filesDb) {
  return store::inTransaction(filesDb, [&](DBConnection& db) { return ExcludeFolders(db); });
}

}  // namespace corvane::selection
