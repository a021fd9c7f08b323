#include "selection/SmallImageFilter.h"

#include "selection/ExtensionMatch.h"
#include "store/Database.h"

namespace corvane::selection {

void DBUpdateSmallImageFiles(store::DBConnection& db, int filtered) {
  const int value = filtered != 0 ? 1 : 0;
  const ExtensionMatch match = extensionMatch(QStringLiteral("extension"), {"jpeg", "gif", "bmp", "jpg"});
  withExtensionIndex(match.indexed, [&](const QString& hint) {
    // Rows that already hold the value are left as they are (the end is the same), so a tick
    // of the tree rewrites no rows and holds the write lock only for the look-up.
    QVariantList params{value};
    params << match.params << kSmallImageLimit << value;
    return db.Execute(QStringLiteral("Update file%1 SET Filtered = ? WHERE %2 AND FileSize < ? AND Filtered IS NOT ?")
                          .arg(hint, match.condition),
                      params);
  });
}

void DBUpdateSmallImageFiles(const QString& filesDb, int filtered) {
  store::inTransaction(
      filesDb, [&](store::DBConnection& db) { DBUpdateSmallImageFiles(db, filtered); }, store::RetryPolicy{50, 3000});
}

}  // namespace corvane::selection
